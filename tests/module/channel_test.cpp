// The command channel: what reaches evaluate and the debugger output, and where lines stop.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "host/command_channel.h"
#include "host/host_fault.h"
#include "standin/layout/module_loader.h"

namespace {

struct Evaluated {
  std::vector<std::string> lines;
  int answer = 1;
};

int recordEvaluate(void* data, const char* command) {
  auto* evaluated = static_cast<Evaluated*>(data);
  evaluated->lines.push_back(command);
  return evaluated->answer;
}

LWLayoutGeneric localFor(Evaluated& evaluated) {
  LWLayoutGeneric local{};
  local.data = &evaluated;
  local.evaluate = recordEvaluate;
  return local;
}

TEST(CommandChannel, FormatsTracesAndEvaluatesInOrder) {
  struct Case {
    const char* what;
    std::string expected;
    int (*send)(const LWLayoutGeneric*);
  };
  const Case cases[] = {
      {"an item id is lower-case hex without prefix", "SelectItem 2f",
       [](const LWLayoutGeneric* l) { return vorrik::sendCommand(l, "SelectItem %x", 0x2Fu); }},
      {"the top digit of a bone id survives", "SelectItem 40010000",
       [](const LWLayoutGeneric* l) {
         return vorrik::sendCommand(l, "SelectItem %x", 0x40010000u);
       }},
      {"%g keeps six significant digits", "Position 0.5 2 1.5e+06",
       [](const LWLayoutGeneric* l) {
         return vorrik::sendCommand(l, "Position %g %g %g", 0.5, 2.0, 1500000.0);
       }},
      {"%g drops trailing zeros and rounds", "Rotation 90 0 -45",
       [](const LWLayoutGeneric* l) {
         return vorrik::sendCommand(l, "Rotation %g %g %g", 89.9999999, 0.0, -45.0000001);
       }},
      {"a command without arguments", "ClearSelected",
       [](const LWLayoutGeneric* l) { return vorrik::sendCommand(l, "ClearSelected"); }},
  };
  for (const Case& c : cases) {
    Evaluated evaluated;
    const LWLayoutGeneric local = localFor(evaluated);
    standin::TraceCapture capture;
    const int result = c.send(&local);
    const std::vector<std::string> trace = capture.finish();
    EXPECT_EQ(result, 1) << c.what;
    EXPECT_EQ(evaluated.lines, std::vector<std::string>{c.expected}) << c.what;
    EXPECT_EQ(trace, std::vector<std::string>{"[Command] : " + c.expected}) << c.what;
  }
}

TEST(CommandChannel, ARefusedCommandIsReportedAndTheNextOneStillGoes) {
  Evaluated evaluated;
  evaluated.answer = 0;
  const LWLayoutGeneric local = localFor(evaluated);
  standin::TraceCapture capture;
  EXPECT_EQ(vorrik::sendCommand(&local, "SelectItem %x", 0x99u), 0);
  evaluated.answer = 1;
  EXPECT_EQ(vorrik::sendCommand(&local, "ClearSelected"), 1);
  capture.finish();
  EXPECT_EQ(evaluated.lines, (std::vector<std::string>{"SelectItem 99", "ClearSelected"}));
}

TEST(CommandChannel, LinesAreBoundedAndACutLineIsNeverEvaluated) {
  Evaluated evaluated;
  const LWLayoutGeneric local = localFor(evaluated);
  // "AddBone " is 8 characters: a 1015-character name fills the 1023 usable bytes exactly.
  const std::string fits(1015, 'x');
  const std::string tooLong(1016, 'x');
  standin::TraceCapture capture;
  EXPECT_EQ(vorrik::sendCommand(&local, "AddBone %s", fits.c_str()), 1);
  EXPECT_EQ(vorrik::sendCommand(&local, "AddBone %s", tooLong.c_str()), 0);
  const std::vector<std::string> trace = capture.finish();
  ASSERT_EQ(evaluated.lines.size(), 1u);
  EXPECT_EQ(evaluated.lines[0], "AddBone " + fits);
  ASSERT_EQ(trace.size(), 2u);
  for (const std::string& line : trace) EXPECT_LE(line.size(), vorrik::kCommandBufferSize - 1);
  EXPECT_EQ(trace[1].compare(0, 20, "[Command] : AddBone "), 0);
}

TEST(CommandChannel, UntracedCommandsWriteNoDebuggerLine) {
  Evaluated evaluated;
  const LWLayoutGeneric local = localFor(evaluated);
  standin::TraceCapture capture;
  auto sendQuietly = [&](const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = vorrik::sendUntracedV(&local, format, args);
    va_end(args);
    return result;
  };
  EXPECT_EQ(sendQuietly("ParentItem %x", 0x10000000u), 1);
  EXPECT_TRUE(capture.finish().empty());
  EXPECT_EQ(evaluated.lines, std::vector<std::string>{"ParentItem 10000000"});
}

}  // namespace

namespace {

TEST(CommandChannel, NonFiniteNumbersAreNeverSent) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double bad : {inf, -inf, nan}) {
    Evaluated evaluated;
    const LWLayoutGeneric local = localFor(evaluated);
    standin::TraceCapture capture;
    EXPECT_THROW(vorrik::sendCommand(&local, "Position %g %g %g", 1.0, bad, 2.0),
                 vorrik::HostFault);
    EXPECT_TRUE(capture.finish().empty());
    EXPECT_TRUE(evaluated.lines.empty());
  }
  // Huge but finite numbers go out as they are.
  Evaluated evaluated;
  const LWLayoutGeneric local = localFor(evaluated);
  standin::TraceCapture capture;
  vorrik::sendCommand(&local, "BoneRestLength %g", 1e300);
  capture.finish();
  EXPECT_EQ(evaluated.lines, std::vector<std::string>{"BoneRestLength 1e+300"});
}

}  // namespace

namespace {

// Inside an activation the trace is gathered and written in whole lines; whatever the
// buffer's size, every line must come out once, whole and in order, by the batch's end.
TEST(CommandChannel, BatchedTraceKeepsEveryLineWholeAndInOrder) {
  struct Case {
    const char* what;
    std::size_t lines;
    std::size_t nameLength;  // of the "AddBone %s" argument; 1003 fills a trace line exactly
  };
  const Case cases[] = {
      {"a few short lines", 3, 1},
      {"many lines, several buffers full", 5000, 40},
      {"the longest lines, never split over two writes", 300, 1003},
  };
  for (const Case& c : cases) {
    Evaluated evaluated;
    const LWLayoutGeneric local = localFor(evaluated);
    standin::TraceCapture capture;
    {
      const vorrik::TraceBatch outer;
      const vorrik::TraceBatch inner;  // a nested batch must not write the lines early
      for (std::size_t i = 0; i < c.lines; ++i) {
        std::string name = std::to_string(i);
        name.resize(c.nameLength, 'x');
        vorrik::sendCommand(&local, "AddBone %s", name.c_str());
      }
    }
    const std::vector<std::string> trace = capture.finish();
    ASSERT_EQ(trace.size(), c.lines) << c.what;
    for (std::size_t i = 0; i < c.lines; ++i) {
      ASSERT_EQ(trace[i], "[Command] : " + evaluated.lines[i]) << c.what << ", line " << i;
    }
  }
}

TEST(CommandChannel, OutsideABatchEachLineIsWrittenAtOnce) {
  standin::TraceCapture capture;
  vorrik::debugTrace("first %d", 1);
  const std::vector<std::string> early = capture.finish();
  EXPECT_EQ(early, std::vector<std::string>{"first 1"});
}

}  // namespace
