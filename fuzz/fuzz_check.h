// What the file-reader fuzzers share: a failed property prints why and aborts, so that
// libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzcheck {

[[noreturn]] inline void fail(const char* property, const std::string& detail) {
  // Written whole: the detail may hold NUL bytes from the input.
  std::fprintf(stderr, "property failed: %s\n", property);
  std::fwrite(detail.data(), 1, detail.size(), stderr);
  std::fputc('\n', stderr);
  std::abort();
}

inline void same(const char* property, const std::string& expected, const std::string& got) {
  if (expected == got) return;
  std::size_t at = 0;
  while (at < expected.size() && at < got.size() && expected[at] == got[at]) ++at;
  const std::size_t from = at > 80 ? at - 80 : 0;
  fail(property, "first difference at byte " + std::to_string(at) + "\nexpected: ..." +
                     expected.substr(from, 200) + "\ngot:      ..." + got.substr(from, 200));
}

// A one-line message: the runner prints it as "vorrik: MESSAGE" after escaping.
inline void oneLine(const std::string& message) {
  if (message.empty()) fail("an error says what is wrong", "(empty message)");
}

}  // namespace fuzzcheck
