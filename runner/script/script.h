// The runner's scripts: one step per line, '#' starts a comment.
//   load FILE | demo | time T | select NAME... | run TOOL [ANSWERS] | save FILE | draw FILE
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace runner {

// One `key=value` answer of a run step, in the order given.
struct Answer {
  std::string key;    // "percent", "item", "action", "axis" or "count"
  std::string value;  // as written, quotes removed
};

struct RunRequest {
  std::string tool;  // the part after "Vorrik:", e.g. "BoneSplit"
  bool cancel = false;
  std::vector<Answer> answers;
};

struct Step {
  enum class Kind { Load, Demo, Time, Select, Run, Save, Draw };
  Kind kind = Kind::Demo;
  int line = 0;                    // 1-based line in the script
  std::string path;                // load, save, draw
  std::string title;               // draw: the picture's heading ("": from the script)
  double time = 0;                 // time
  std::vector<std::string> names;  // select (may be empty: clears the selection)
  RunRequest run;                  // run
};

// Bad input; what() is "line N: reason" for scripts, "reason" for single requests.
struct ScriptError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The tools, in server-table order.
const std::vector<std::string>& toolNames();

// Splits a line into words: whitespace separates, double quotes group (key="a b" is one
// word `key=a b`); an unquoted '#' ends the line. Throws ScriptError on an unterminated
// quote.
std::vector<std::string> splitWords(const std::string& line);

// Parses the words after `run`: TOOL, then `cancel` and key=value answers. Checks the tool
// name and that each answer belongs to that tool and is well-formed.
RunRequest parseRunRequest(const std::vector<std::string>& words);

std::vector<Step> parseScript(const std::string& text);

}  // namespace runner
