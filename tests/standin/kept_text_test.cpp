// Numbers a run did not change keep the text the file had.
#include <gtest/gtest.h>

#include <string>

#include "standin/files/lws/lws_kept_text.h"
#include "standin/files/lws/lws_reader.h"

namespace standin {
namespace {

TEST(KeptText, SignificantDigits) {
  const std::pair<const char*, int> cases[] = {
      {"0", 0},
      {"1", 1},
      {"0.0500", 3},
      {"-1.5e-008", 2},
      {"1.8066856", 8},
      {"5.6824807e-009", 8},
      {"0.66666666666666663", 17},
      {"-0", 0},
  };
  for (const auto& [text, digits] : cases) EXPECT_EQ(lws::significantDigits(text), digits) << text;
}

TEST(KeptText, StillReadsWithinTheWrittenPrecision) {
  struct Case {
    const char* text;
    double value;
    int digits;
    bool reads;
  };
  const Case cases[] = {
      {"1.8066856", 1.8066856000000002, 8, true},
      {"1.8066856", 1.80668566, 8, false},  // more than half a unit
      {"1.8066856", 1.8066857, 8, false},
      {"0", 3.469446951953614e-17, 8, true},
      {"0", 3.469446951953614e-17, 17, true},
      {"0", 1e-9, 17, false},
      {"0", 1e-9, 8, true},
      {"5.6824807e-009", 5.68248070001e-09, 8, true},
      // Below the last digit of a number near 1 that digit counts: near zero a relative test
      // would call any rounding a change.
      {"5.6824807e-009", 5.6824808e-09, 8, true},
      {"-6.1125499e-010", -6.112549355563601e-10, 8, true},
      {"-6.1125499e-010", -6.112549355563601e-10, 17, false},
      {"-6.1125499e-010", 6e-8, 8, false},
      {"0.41887903", 0.41887903000000004, 8, true},
      {"0.41887903", 0.41887913, 8, false},
      {"0.25000001", 0.25, 8, false},  // above it a number keeps its own precision
      {"-2.047", -2.0470000000000002, 8, true},
      {"-2.047", 2.047, 8, false},
      {"0.66666666666666663", 2.0 / 3, 17, true},
      {"not a number", 0, 8, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lws::stillReads(c.text, c.value, c.digits), c.reads) << c.text << " " << c.value;
  }
}

TEST(KeptText, KeyLinesKeepEveryFieldThatStillReads) {
  Key key{0.4, 1.8066856000000002};
  key.span = 0;
  struct Case {
    const char* what;
    const char* original;
    Key key;
    const char* want;
  };
  Key moved = key;
  moved.value = 2.5;
  Key spanChanged = key;
  spanChanged.span = 3;
  const Case cases[] = {
      {"unchanged, odd spacing kept", "    Key 1.8066856 0.4  0 0 0 0 0 0 0", key,
       "    Key 1.8066856 0.4  0 0 0 0 0 0 0"},
      {"three-digit exponent kept", "  Key 1.8066856 0.40000000 0 5.6824807e-009 0 0 0 0 0",
       Key{0.4, 1.8066856, 0, {5.6824807e-09, 0, 0, 0, 0, 0}},
       "  Key 1.8066856 0.40000000 0 5.6824807e-009 0 0 0 0 0"},
      {"the value changed", "  Key 1.8066856 0.40000000 0 0 0 0 0 0 0", moved,
       "  Key 2.5 0.40000000 0 0 0 0 0 0 0"},
      {"the span changed", "  Key 1.8066856 0.4 0 0 0 0 0 0 0", spanChanged,
       "  Key 1.8066856 0.4 3 0 0 0 0 0 0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lws::keptKeyLine(c.original, c.key, 8, "  "), c.want) << c.what;
  }
}

TEST(KeptText, TheWriterPrecisionComesFromTheKeys) {
  auto scene = [](const std::string& keys) {
    return "LWSC\n3\n\nFramesPerSecond 30\n\nAddNullObject N\nObjectMotion\nNumChannels 1\n"
           "Channel 0\n{ Envelope\n  2\n" +
           keys + "  Behaviors 1 1\n}\n";
  };
  const std::pair<std::string, int> cases[] = {
      {"  Key 0 0 0 0 0 0 0 0 0\n  Key 1.5 1 0 0 0 0 0 0 0\n", 17},  // nothing to tell
      {"  Key 0.78539813 0 0 0 0 0 0 0 0\n  Key 1 1 0 0 0 0 0 0 0\n", 8},
      {"  Key 0.78539816339744828 0 0 0 0 0 0 0 0\n  Key 1 1 0 0 0 0 0 0 0\n", 17},
      {"  Key -1.5707963705062866211 0 0 0 0 0 0 0 0\n  Key 1 1 0 0 0 0 0 0 0\n", 17},
  };
  for (const auto& [keys, digits] : cases) {
    const Scene read = sceneFromLws(scene(keys), "t.lws");
    EXPECT_EQ(lws::writerDigits(*read.source), digits) << keys;
  }
}

}  // namespace
}  // namespace standin
