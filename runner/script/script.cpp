// The runner's script language: parsing only; script_runner.cpp carries the steps out.
#include "runner/script/script.h"

#include <charconv>
#include <cmath>
#include <cstddef>

namespace runner {
namespace {

[[noreturn]] void fail(const std::string& message) { throw ScriptError(message); }

std::string quote(const std::string& text) { return "\"" + text + "\""; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Plain decimal only ([+-]digits[.digits][e[+-]digits]): no hex, inf or nan spellings.
bool parseNumber(const std::string& text, double& out) {
  const std::size_t n = text.size();
  std::size_t i = 0;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  for (; i < n && isDigit(text[i]); ++i) ++digits;
  if (i < n && text[i] == '.') {
    for (++i; i < n && isDigit(text[i]); ++i) ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponent = 0;
    for (; i < n && isDigit(text[i]); ++i) ++exponent;
    if (exponent == 0) return false;
  }
  if (i != n) return false;
  // from_chars is locale-independent but takes no '+'.
  const char* begin = text.data() + (text[0] == '+' ? 1 : 0);
  double value = 0;
  const auto result = std::from_chars(begin, text.data() + n, value);
  if (result.ec != std::errc() || result.ptr != text.data() + n || !std::isfinite(value)) {
    return false;
  }
  out = value;
  return true;
}

bool isInteger(const std::string& text) {
  const std::size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
  if (start == text.size()) return false;
  for (std::size_t i = start; i < text.size(); ++i) {
    if (!isDigit(text[i])) return false;
  }
  int value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc();  // fits in an int
}

std::string knownTools() {
  std::string list;
  for (const std::string& name : toolNames()) list += (list.empty() ? "" : ", ") + name;
  return list;
}

// The answers each tool's dialog takes, for checks and for messages.
struct ToolAnswers {
  const char* tool;
  bool percent, item, action, axis, count;
  const char* actions;  // the words `action` accepts besides an integer
};
const ToolAnswers kAnswers[] = {
    {"BoneUtil", false, true, true, false, false,
     "\"Restore rest\", \"Record rest\", \"Enable\", \"Disable\""},
    {"BoneSplit", true, false, false, false, false, ""},
    {"BoneUnParent", false, false, true, false, false, "\"Unparent\", \"Recover\""},
    {"BoneSubdivide", false, false, false, false, true, ""},
    {"PasteKeyMirror", false, false, false, true, false, ""},
};

const ToolAnswers& answersOf(const std::string& tool) {
  static const ToolAnswers none{"", false, false, false, false, false, ""};
  for (const ToolAnswers& a : kAnswers) {
    if (tool == a.tool) return a;
  }
  return none;
}

bool takes(const ToolAnswers& a, const std::string& key) {
  return (key == "percent" && a.percent) || (key == "item" && a.item) ||
         (key == "action" && a.action) || (key == "axis" && a.axis) || (key == "count" && a.count);
}

std::string takesText(const ToolAnswers& a) {
  std::string text = "cancel";
  if (a.percent) text += ", percent=N";
  if (a.item) text += ", item=NAME";
  if (a.action) text += ", action=N|TEXT";
  if (a.axis) text += ", axis=x|y|z";
  if (a.count) text += ", count=2..100";
  return text;
}

bool isActionWord(const std::string& tool, const std::string& value) {
  if (tool == "BoneUtil") {
    return value == "Restore rest" || value == "Record rest" || value == "Enable" ||
           value == "Disable";
  }
  return value == "Unparent" || value == "Recover";
}

std::string onePath(const std::string& step, const std::vector<std::string>& args) {
  if (args.empty() || (args.size() == 1 && args[0].empty())) {
    fail(step + " needs a file name");
  }
  if (args.size() > 1) fail(step + " takes one file name (quote a name with spaces)");
  return args[0];
}

}  // namespace

const std::vector<std::string>& toolNames() {
  static const std::vector<std::string> names{
      "BoneUtil", "BoneSplit", "BoneMerge", "BoneUnParent",  "QuickParent",
      "CutKey",   "CopyKey",   "PasteKey",  "BoneSubdivide", "PasteKeyMirror"};
  return names;
}

std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;  // a pair of quotes makes a word even when empty
  bool quoted = false;
  for (char c : line) {
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else {
        word += c;
      }
    } else if (c == '"') {
      quoted = true;
      inWord = true;
    } else if (c == '#') {
      break;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quoted) fail("unterminated quote");
  if (inWord) words.push_back(word);
  return words;
}

RunRequest parseRunRequest(const std::vector<std::string>& words) {
  if (words.empty()) fail("run needs a tool name (one of " + knownTools() + ")");
  RunRequest request;
  // Layout's server names carry the "Vorrik:" prefix; accept them as written there too.
  const std::string prefix = "Vorrik:";
  request.tool =
      words[0].compare(0, prefix.size(), prefix) == 0 ? words[0].substr(prefix.size()) : words[0];
  bool known = false;
  for (const std::string& name : toolNames()) known = known || name == request.tool;
  if (!known) fail("unknown tool " + quote(words[0]) + " (known tools: " + knownTools() + ")");

  const ToolAnswers& allowed = answersOf(request.tool);
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "cancel") {
      if (request.cancel) fail("cancel given twice");
      request.cancel = true;
      continue;
    }
    const std::size_t eq = word.find('=');
    if (eq == std::string::npos || eq == 0) {
      fail("malformed answer " + quote(word) + " (expected cancel or key=value)");
    }
    Answer answer{word.substr(0, eq), word.substr(eq + 1)};
    if (!takes(allowed, answer.key)) {
      fail(request.tool + " takes no " + quote(answer.key) + " answer (it takes " +
           takesText(allowed) + ")");
    }
    for (const Answer& earlier : request.answers) {
      if (earlier.key == answer.key) fail("answer " + quote(answer.key) + " given twice");
    }
    if (answer.value.empty()) fail("answer " + quote(answer.key) + " has no value");
    if (answer.key == "percent") {
      double ignored = 0;
      if (!parseNumber(answer.value, ignored)) {
        fail("percent must be a finite number, not " + quote(answer.value));
      }
    } else if (answer.key == "axis") {
      if (answer.value != "x" && answer.value != "y" && answer.value != "z") {
        fail("axis must be x, y or z, not " + quote(answer.value));
      }
    } else if (answer.key == "count") {
      // The dialog's slider offers 2 to 100 bones and can be set to nothing else.
      int count = 0;
      if (!isInteger(answer.value) ||
          std::from_chars(answer.value.data(), answer.value.data() + answer.value.size(), count)
                  .ec != std::errc() ||
          count < 2 || count > 100) {
        fail("count must be a whole number from 2 to 100, not " + quote(answer.value));
      }
    } else if (answer.key == "action") {
      if (!isInteger(answer.value) && !isActionWord(request.tool, answer.value)) {
        fail(request.tool + " action must be an integer or one of " + allowed.actions + ", not " +
             quote(answer.value));
      }
    }
    request.answers.push_back(std::move(answer));
  }
  return request;
}

std::vector<Step> parseScript(const std::string& text) {
  std::vector<Step> steps;
  std::size_t start = 0;
  // A UTF-8 byte order mark from some editors is not part of the first word.
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
  for (int line = 1; start <= text.size(); ++line) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string content = text.substr(start, end - start);
    start = end + 1;
    try {
      std::vector<std::string> words = splitWords(content);
      if (words.empty()) continue;
      const std::string keyword = words[0];
      words.erase(words.begin());
      Step step;
      step.line = line;
      if (keyword == "load" || keyword == "save" || keyword == "draw") {
        step.kind = keyword == "load"   ? Step::Kind::Load
                    : keyword == "save" ? Step::Kind::Save
                                        : Step::Kind::Draw;
        step.path = onePath(keyword, words);
      } else if (keyword == "demo") {
        step.kind = Step::Kind::Demo;
        if (!words.empty()) fail("demo takes no arguments");
      } else if (keyword == "time") {
        step.kind = Step::Kind::Time;
        if (words.size() != 1) fail("time takes one number (seconds)");
        if (!parseNumber(words[0], step.time)) {
          fail("time must be a finite number, not " + quote(words[0]));
        }
      } else if (keyword == "select") {
        step.kind = Step::Kind::Select;
        for (const std::string& name : words) {
          if (name.empty()) fail("select: empty item name");
        }
        step.names = std::move(words);
      } else if (keyword == "run") {
        step.kind = Step::Kind::Run;
        step.run = parseRunRequest(words);
      } else {
        fail("unknown step " + quote(keyword) +
             " (expected load, demo, time, select, run or save); draw FILE writes a picture");
      }
      steps.push_back(std::move(step));
    } catch (const ScriptError& e) {
      fail("line " + std::to_string(line) + ": " + e.what());
    }
  }
  return steps;
}

}  // namespace runner
