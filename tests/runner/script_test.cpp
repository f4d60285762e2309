// The runner's script parser.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runner/script/script.h"

namespace runner {
namespace {

using Kind = Step::Kind;

std::string errorOf(const std::string& script) {
  try {
    parseScript(script);
  } catch (const ScriptError& e) {
    return e.what();
  }
  return "(no error)";
}

Step only(const std::string& line) {
  const std::vector<Step> steps = parseScript(line);
  EXPECT_EQ(steps.size(), 1u) << line;
  return steps.empty() ? Step{} : steps[0];
}

TEST(SplitWords, QuotesGroupAndCommentsEnd) {
  struct Case {
    const char* line;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"", {}},
      {"  \t ", {}},
      {"run BoneSplit percent=50", {"run", "BoneSplit", "percent=50"}},
      {"  select   A\tB  ", {"select", "A", "B"}},
      {R"(run BoneUtil action="Record rest")", {"run", "BoneUtil", "action=Record rest"}},
      {R"(select "Left Arm" Right)", {"select", "Left Arm", "Right"}},
      {R"(a"b c"d)", {"ab cd"}},
      {R"(select "")", {"select", ""}},
      {"time 1 # one second", {"time", "1"}},
      {"time 1#one", {"time", "1"}},
      {"# only a comment", {}},
      {R"(load "scene #2.json")", {"load", "scene #2.json"}},
      {R"(load C:\scenes\a.json)", {"load", R"(C:\scenes\a.json)"}},
  };
  for (const Case& c : cases) EXPECT_EQ(splitWords(c.line), c.words) << c.line;
  EXPECT_THROW(splitWords(R"(select "Left Arm)"), ScriptError);
  EXPECT_THROW(splitWords(R"(load a" # b)"), ScriptError);
}

TEST(ParseScript, SimpleSteps) {
  struct Case {
    const char* line;
    Kind kind;
    std::string path;
    double time;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"load rig.json", Kind::Load, "rig.json", 0, {}},
      {R"(load "my scenes/rig one.json")", Kind::Load, "my scenes/rig one.json", 0, {}},
      {"save out.json", Kind::Save, "out.json", 0, {}},
      {"demo", Kind::Demo, "", 0, {}},
      {"time 1.5", Kind::Time, "", 1.5, {}},
      {"time -2", Kind::Time, "", -2, {}},
      {"time +.25", Kind::Time, "", 0.25, {}},
      {"time 3.", Kind::Time, "", 3, {}},
      {"select", Kind::Select, "", 0, {}},
      {"select Hips", Kind::Select, "", 0, {"Hips"}},
      {R"(select L_Hand "Key Light" Hips)", Kind::Select, "", 0, {"L_Hand", "Key Light", "Hips"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const Step step = only(c.line);
    EXPECT_EQ(step.kind, c.kind);
    EXPECT_EQ(step.line, 1);
    EXPECT_EQ(step.path, c.path);
    EXPECT_EQ(step.time, c.time);
    EXPECT_EQ(step.names, c.names);
  }
}

TEST(ParseScript, RunSteps) {
  struct Case {
    const char* line;
    std::string tool;
    bool cancel;
    std::vector<std::pair<std::string, std::string>> answers;
  };
  const Case cases[] = {
      {"run BoneMerge", "BoneMerge", false, {}},
      {"run PasteKey cancel", "PasteKey", true, {}},
      {"run Vorrik:CutKey", "CutKey", false, {}},
      {"run BoneSplit percent=25.5", "BoneSplit", false, {{"percent", "25.5"}}},
      {"run BoneSplit cancel percent=-10", "BoneSplit", true, {{"percent", "-10"}}},
      {R"(run BoneUtil item="L Hand" action="Record rest")",
       "BoneUtil",
       false,
       {{"item", "L Hand"}, {"action", "Record rest"}}},
      {"run BoneUtil action=2 item=none", "BoneUtil", false, {{"action", "2"}, {"item", "none"}}},
      {R"(run BoneUtil action="Restore rest")", "BoneUtil", false, {{"action", "Restore rest"}}},
      {"run BoneUtil action=Disable cancel", "BoneUtil", true, {{"action", "Disable"}}},
      {"run BoneUtil item=a=b", "BoneUtil", false, {{"item", "a=b"}}},
      {"run BoneUnParent action=Recover", "BoneUnParent", false, {{"action", "Recover"}}},
      {"run BoneUnParent action=-1", "BoneUnParent", false, {{"action", "-1"}}},
      {"run BoneSubdivide count=2", "BoneSubdivide", false, {{"count", "2"}}},
      {"run BoneSubdivide cancel count=100", "BoneSubdivide", true, {{"count", "100"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const Step step = only(c.line);
    EXPECT_EQ(step.kind, Kind::Run);
    EXPECT_EQ(step.run.tool, c.tool);
    EXPECT_EQ(step.run.cancel, c.cancel);
    std::vector<std::pair<std::string, std::string>> answers;
    for (const Answer& a : step.run.answers) answers.emplace_back(a.key, a.value);
    EXPECT_EQ(answers, c.answers);
  }
}

TEST(ParseScript, BadLines) {
  const std::string tools =
      "BoneUtil, BoneSplit, BoneMerge, BoneUnParent, QuickParent, CutKey, CopyKey, PasteKey, "
      "BoneSubdivide, PasteKeyMirror";
  struct Case {
    const char* line;
    std::string error;
  };
  const Case cases[] = {
      {"lod rig.json",
       "line 1: unknown step \"lod\" (expected load, demo, time, select, run or save)"},
      {"Load rig.json", "line 1: unknown step \"Load\""},
      {"load", "line 1: load needs a file name"},
      {R"(load "")", "line 1: load needs a file name"},
      {"load a.json b.json", "line 1: load takes one file name (quote a name with spaces)"},
      {"save my scene.json", "line 1: save takes one file name"},
      {"demo rig", "line 1: demo takes no arguments"},
      {"time", "line 1: time takes one number (seconds)"},
      {"time 1 2", "line 1: time takes one number (seconds)"},
      {"time soon", "line 1: time must be a finite number, not \"soon\""},
      {"time nan", "line 1: time must be a finite number"},
      {"time 1e999", "line 1: time must be a finite number"},
      {"time 0x10", "line 1: time must be a finite number"},
      {"time 1.5s", "line 1: time must be a finite number"},
      {"time 1e", "line 1: time must be a finite number"},
      {R"(select "")", "line 1: select: empty item name"},
      {R"(select "Left)", "line 1: unterminated quote"},
      {"run", "line 1: run needs a tool name (one of " + tools + ")"},
      {"run BoneSlpit", "line 1: unknown tool \"BoneSlpit\" (known tools: " + tools + ")"},
      {"run bonesplit", "line 1: unknown tool \"bonesplit\""},
      {"run QuickParent percent=5",
       "line 1: QuickParent takes no \"percent\" answer (it takes cancel)"},
      {"run BoneSplit item=Hips",
       "line 1: BoneSplit takes no \"item\" answer (it takes cancel, percent=N)"},
      {"run BoneUnParent item=Hips",
       "line 1: BoneUnParent takes no \"item\" answer (it takes cancel, action=N|TEXT)"},
      {"run BoneUtil percent=5",
       "line 1: BoneUtil takes no \"percent\" answer (it takes cancel, item=NAME, "
       "action=N|TEXT)"},
      {"run BoneSplit Percent=5", "line 1: BoneSplit takes no \"Percent\" answer"},
      {"run BoneSplit percent=5 percent=6", "line 1: answer \"percent\" given twice"},
      {"run BoneMerge cancel cancel", "line 1: cancel given twice"},
      {"run BoneSplit 50", "line 1: malformed answer \"50\" (expected cancel or key=value)"},
      {"run BoneSplit Cancel", "line 1: malformed answer \"Cancel\""},
      {"run BoneSplit percent=", "line 1: answer \"percent\" has no value"},
      {R"(run BoneUtil item="")", "line 1: answer \"item\" has no value"},
      {"run BoneSplit percent=half", "line 1: percent must be a finite number, not \"half\""},
      {"run BoneUtil action=record",
       "line 1: BoneUtil action must be an integer or one of \"Restore rest\", \"Record rest\", "
       "\"Enable\", \"Disable\", not \"record\""},
      {"run BoneUtil action=99999999999", "line 1: BoneUtil action must be an integer"},
      {"run BoneUtil action=Recover", "line 1: BoneUtil action must be an integer"},
      {"run BoneUnParent action=Enable",
       "line 1: BoneUnParent action must be an integer or one of \"Unparent\", \"Recover\", "
       "not \"Enable\""},
      {"run BoneSubdivide percent=50",
       "line 1: BoneSubdivide takes no \"percent\" answer (it takes cancel, count=2..100)"},
      {"run BoneSplit count=3", "line 1: BoneSplit takes no \"count\" answer"},
      {"run BoneSubdivide count=1",
       "line 1: count must be a whole number from 2 to 100, not \"1\""},
      {"run BoneSubdivide count=101", "line 1: count must be a whole number from 2 to 100"},
      {"run BoneSubdivide count=3.0", "line 1: count must be a whole number from 2 to 100"},
      {"run BoneSubdivide count=99999999999", "line 1: count must be a whole number from 2 to 100"},
  };
  for (const Case& c : cases) {
    const std::string error = errorOf(c.line);
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.line << "\n  got: " << error;
  }
}

TEST(ParseScript, LinesCommentsAndLineNumbers) {
  const std::string script =
      "\xEF\xBB\xBF# a test script\r\n"
      "demo\r\n"
      "\n"
      "   # indented comment\n"
      "select \"L_UpperArm\" L_Forearm   # two bones\n"
      "time 0.5\n"
      "run BoneSplit percent=50\n"
      "save out.json";  // no final newline
  const std::vector<Step> steps = parseScript(script);
  ASSERT_EQ(steps.size(), 5u);
  const Kind kinds[] = {Kind::Demo, Kind::Select, Kind::Time, Kind::Run, Kind::Save};
  const int lines[] = {2, 5, 6, 7, 8};
  for (std::size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(steps[i].kind, kinds[i]) << i;
    EXPECT_EQ(steps[i].line, lines[i]) << i;
  }
  EXPECT_EQ(steps[1].names, (std::vector<std::string>{"L_UpperArm", "L_Forearm"}));
  EXPECT_EQ(steps[4].path, "out.json");

  EXPECT_TRUE(parseScript("").empty());
  EXPECT_TRUE(parseScript("\n\n# nothing\n").empty());
  EXPECT_EQ(errorOf("demo\n\n# fine\ntime x\ndemo\n"),
            "line 4: time must be a finite number, not \"x\"");
  EXPECT_EQ(errorOf("demo\r\nrun Nope\r\n").rfind("line 2: unknown tool \"Nope\"", 0), 0u);
}

TEST(ParseRunRequest, ErrorsHaveNoLinePrefix) {
  EXPECT_EQ(parseRunRequest({"BoneSplit", "percent=5"}).answers.size(), 1u);
  try {
    parseRunRequest({"BoneSplit", "percent=x"});
    ADD_FAILURE() << "accepted";
  } catch (const ScriptError& e) {
    EXPECT_EQ(std::string(e.what()), "percent must be a finite number, not \"x\"");
  }
  EXPECT_THROW(parseRunRequest({}), ScriptError);
}

}  // namespace
}  // namespace runner
