// The runner's script parser on arbitrary bytes. Properties: it returns steps or throws
// ScriptError whose message names a line of the script; steps come in line order, name
// known tools, hold finite times, and never carry a line feed in a path or name.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "runner/script/script.h"

namespace {

// A quoted word may hold a carriage return, but never the line feed that ends its line.
bool hasLineBreak(const std::string& text) { return text.find('\n') != std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const long long lines = 1 + std::count(text.begin(), text.end(), '\n');
  std::vector<runner::Step> steps;
  try {
    steps = runner::parseScript(text);
  } catch (const runner::ScriptError& error) {
    const std::string message = error.what();
    long long line = 0;
    if (std::sscanf(message.c_str(), "line %lld: ", &line) != 1 || line < 1 || line > lines) {
      fuzzcheck::fail("a script error names a line of the script", message);
    }
    return 0;
  }
  int previous = 0;
  const std::vector<std::string>& tools = runner::toolNames();
  for (const runner::Step& step : steps) {
    if (step.line < previous || step.line < 1 || step.line > lines) {
      fuzzcheck::fail("steps come in line order", std::to_string(step.line));
    }
    previous = step.line;
    if (hasLineBreak(step.path)) fuzzcheck::fail("a path is one line", step.path);
    for (const std::string& name : step.names) {
      if (name.empty() || hasLineBreak(name)) fuzzcheck::fail("a name is one line", name);
    }
    if (step.kind == runner::Step::Kind::Time && !std::isfinite(step.time)) {
      fuzzcheck::fail("a time is finite", std::to_string(step.time));
    }
    if (step.kind == runner::Step::Kind::Run &&
        std::find(tools.begin(), tools.end(), step.run.tool) == tools.end()) {
      fuzzcheck::fail("a run names a tool", step.run.tool);
    }
  }
  return 0;
}
