// What --check counts as asked of a run: a key tool's change to the items it keys or cuts
// (and what hangs from them) between their neighbouring keys, and BoneUtil's rest actions.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "runner/checks/run_check.h"
#include "standin/files/json/scene_json.h"
#include "support/runner_process.h"
#include "support/temp_folder.h"

namespace {

// Linear keys, as JSON scenes have them: L_Arm keyed at 0, 0.5, 2 and 3.
const char* kArms = R"({"time": 0, "items": [
  {"name": "Hero", "type": "object"},
  {"name": "L_Arm", "type": "bone", "parent": "Hero", "restLength": 0.3, "keys": [
     {"time": 0, "position": [0.1, 1.4, 0], "rotation": [90, 0, 0], "scale": [1, 1, 1]},
     {"time": 0.5, "position": [0.1, 1.4, 0], "rotation": [90, -30, 0], "scale": [1, 1, 1]},
     {"time": 2, "position": [0.1, 1.4, 0], "rotation": [90, 20, 0], "scale": [1, 1, 1]},
     {"time": 3, "position": [0.1, 1.4, 0], "rotation": [90, 0, 0], "scale": [1, 1, 1]}]},
  {"name": "L_Forearm", "type": "bone", "parent": "L_Arm", "position": [0, 0, 0.3],
   "restPosition": [0, 0, 0.3], "restLength": 0.25},
  {"name": "R_Arm", "type": "bone", "parent": "Hero", "restLength": 0.3, "keys": [
     {"time": 0, "position": [-0.1, 1.4, 0], "rotation": [-90, 0, 0], "scale": [1, 1, 1]},
     {"time": 3, "position": [-0.1, 1.4, 0], "rotation": [-90, 10, 0], "scale": [1, 1, 1]}]}
]})";

using Names = std::vector<std::string>;

// Turns `name` at the scene's time and keys it there.
void keyTurned(standin::Scene& scene, const std::string& name, double time) {
  const standin::ItemId id = scene.findByName(name);
  scene.setTime(time);
  scene.setRotation(id, {1, 0.4, 0});
  scene.createKey(id, time);
}

TEST(CheckIntent, KeyToolsMayMoveWhatTheyKeyBetweenItsNeighbouringKeysOnly) {
  struct Case {
    const char* what;
    const char* server;
    double time;
    std::vector<std::pair<std::string, std::string>> commands;  // text, item named
    bool refused;
    std::function<void(standin::Scene&)> change;
    bool curved;  // L_Arm's keys are TCB
    Names intended, failing;
    std::string why;  // L_Arm's intended line
  };
  const auto pasteAt1 = [](standin::Scene& s) { keyTurned(s, "L_Arm", 1); };
  const std::vector<std::pair<std::string, std::string>> paste = {{"SelectItem", "L_Arm"},
                                                                  {"CreateKey 1", ""}};
  const Case cases[] = {
      {"a paste between keys", "Vorrik:PasteKey", 1, paste, false, pasteAt1, false,
       Names{"L_Arm", "L_Forearm"}, Names{}, "pasted at 1 s (moves between 0.5 s and 2 s)"},
      {"PasteKeyMirror the same", "Vorrik:PasteKeyMirror", 1, paste, false, pasteAt1, false,
       Names{"L_Arm", "L_Forearm"}, Names{}, "pasted at 1 s (moves between 0.5 s and 2 s)"},
      {"a curve reaches one key further", "Vorrik:PasteKey", 1, paste, false, pasteAt1, true,
       Names{"L_Arm", "L_Forearm"}, Names{}, "pasted at 1 s (moves between 0 s and 3 s)"},
      {"an item not pasted onto still fails", "Vorrik:PasteKey", 1, paste, false,
       [](standin::Scene& s) {
         keyTurned(s, "R_Arm", 1);
         keyTurned(s, "L_Arm", 1);
       },
       false, Names{"L_Arm", "L_Forearm"}, Names{"R_Arm"},
       "pasted at 1 s (moves between 0.5 s and 2 s)"},
      {"a change beyond the neighbouring keys still fails", "Vorrik:PasteKey", 1, paste, false,
       [](standin::Scene& s) {
         keyTurned(s, "L_Arm", 3);
         keyTurned(s, "L_Arm", 1);
       },
       false, Names{"L_Arm", "L_Forearm"}, Names{"L_Arm", "L_Forearm"},
       "pasted at 1 s (moves between 0.5 s and 2 s)"},
      {"a cut at a key",
       "Vorrik:CutKey",
       0.5,
       {{"SelectItem", "L_Arm"}, {"DeleteKey 0.5", ""}},
       false,
       [](standin::Scene& s) { s.deleteKey(s.findByName("L_Arm"), 0.5); },
       false,
       Names{"L_Arm", "L_Forearm"},
       Names{},
       "cut at 0.5 s (moves between 0 s and 2 s)"},
      {"a refused key asks nothing", "Vorrik:PasteKey", 1, paste, true, pasteAt1, false, Names{},
       Names{"L_Arm", "L_Forearm"}, ""},
      {"other tools are asked nothing", "Vorrik:BoneSplit", 1, paste, false, pasteAt1, false,
       Names{}, Names{"L_Arm", "L_Forearm"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    standin::Scene scene = standin::sceneFromJson(kArms);
    if (c.curved) {
      for (auto& keys : scene.find(scene.findByName("L_Arm"))->keys) {
        for (standin::Key& key : keys) key.span = standin::kSpanTCB;
      }
    }
    scene.setTime(c.time);
    runner::SceneBefore before(scene);
    c.change(scene);
    scene.setTime(c.time);
    standin::RunRecord record;
    record.server = c.server;
    for (const auto& [text, item] : c.commands) {
      record.commands.push_back({text, !c.refused, "", item.empty() ? 0 : scene.findByName(item)});
    }
    const runner::RunFindings found = runner::checkRun(std::move(before), scene, record);
    Names intended, failing;
    std::string why;
    for (const auto& change : found.changes.intended) {
      intended.push_back(change.name);
      if (change.name == "L_Arm") why = change.why;
    }
    for (const auto& move : found.changes.moved) {
      if (!move.intended) failing.push_back(move.name);
    }
    for (const auto& move : found.changes.movedOverTime) {
      if (std::find(failing.begin(), failing.end(), move.name) == failing.end()) {
        failing.push_back(move.name);
      }
    }
    EXPECT_EQ(intended, c.intended);
    EXPECT_EQ(failing, c.failing);
    EXPECT_EQ(why, c.why);
    if (std::string(c.server) == "Vorrik:BoneSplit") {
      EXPECT_FALSE(found.changes.intentApplies);
    } else {
      EXPECT_TRUE(found.changes.intentApplies);
    }
  }
}

class CheckIntentRunner : public testing_support::FolderTest {};

// The line of `text` that holds every one of `parts`, or "" for none.
std::string lineWith(const std::string& text, const Names& parts) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    bool all = true;
    for (const std::string& part : parts) all = all && line.find(part) != std::string::npos;
    if (all) return line;
  }
  return "";
}

TEST_F(CheckIntentRunner, CheckPassesWhatTheToolWasAskedToDo) {
  struct Case {
    const char* what;
    std::string script;
    int status;
    std::vector<Names> lines;  // each must be found on one line of the report
  };
  const Case cases[] = {
      {"PasteKey between keys",
       "select L_Arm\nrun CopyKey\ntime 1\nrun PasteKey\n",
       0,
       {{"intended", "L_Arm", "pasted at 1 s (moves between 0.5 s and 2 s)"},
        {"intended", "L_Forearm", "hangs from L_Arm, pasted at 1 s"},
        {"no other item moved"}}},
      {"PasteKey of L_Arm's pose onto R_Arm",
       "select L_Arm\nrun CopyKey\nselect R_Arm\ntime 1\nrun PasteKey\n",
       0,
       {{"intended", "R_Arm", "pasted at 1 s (moves between 0 s and 3 s)"}}},
      {"CutKey at a key",
       "time 0.5\nselect L_Arm\nrun CutKey\n",
       0,
       {{"intended", "L_Arm", "cut at 0.5 s (moves between 0 s and 2 s)"}}},
      {"BoneUtil Restore rest",
       "time 1\nselect L_Arm\nrun BoneUtil item=Hero action=\"Restore rest\"\n",
       0,
       {{"intended", "L_Arm", "rest restored at 1 s (moves between 0.5 s and 2 s)"},
        {"intended", "R_Arm", "rest restored at 1 s (moves between 0 s and 3 s)"}}},
      {"BoneUtil Record rest",
       "time 1\nselect L_Arm\nrun BoneUtil item=Hero action=\"Record rest\"\n",
       0,
       {{"intended", "L_Arm", "rest recorded"}, {"no item moved"}}},
      {"BoneMerge passes as before",
       "select L_Arm L_Forearm\nrun BoneMerge\n",
       0,
       {{"no item moved"}}},
      {"BoneUnParent fails as before",
       "select L_Arm\nrun BoneUnParent action=Unparent\n",
       3,
       {{"moved", "L_Forearm", "at", "0.5 s"}}},
  };
  const std::string scene = write("arms.json", kArms).string();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write("play.vrk", "load " + scene + "\n" + c.script);
    const runner_process::Outcome outcome =
        runner_process::run("play '" + path("play.vrk") + "' --check --dry-run", folder_);
    EXPECT_EQ(outcome.status, c.status) << outcome.out << outcome.err;
    // Only the key tools and BoneUtil have intended changes to list.
    const bool asked =
        c.script.find("Key") != std::string::npos || c.script.find("BoneUtil") != std::string::npos;
    EXPECT_EQ(lineWith(outcome.out, {"intended"}) != "", asked);
    for (const Names& parts : c.lines) {
      EXPECT_NE(lineWith(outcome.out, parts), "") << parts.back() << "\n" << outcome.out;
    }
  }
}

}  // namespace
