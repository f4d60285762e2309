// BoneUnParent: Unparent and Recover over several runs of one loaded module, the commands
// they send, the hierarchy they leave, and the record they carry between runs.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/tool_harness.h"

namespace {

using standin::Answers;
using standin::RunRecord;
using standin::Vec3;
using testing_support::ToolHarness;

// B hangs from P and has the child bones K1 (with D below it) and K2, and a light and an
// object of its own. Top sits right under the object; Solo has no children.
const char* const kScene = R"({"items": [
  {"name": "Rig", "type": "object", "position": [0, 1, 0]},
  {"name": "P", "type": "bone", "parent": "Rig", "position": [1, 0, 0], "rotation": [0, 45, 0]},
  {"name": "B", "type": "bone", "parent": "P", "position": [0, 0, 2], "rotation": [30, 0, 0]},
  {"name": "K1", "type": "bone", "parent": "B", "position": [0, 0, 1], "rotation": [0, 20, 0]},
  {"name": "D", "type": "bone", "parent": "K1", "position": [0, 0, 1]},
  {"name": "K2", "type": "bone", "parent": "B", "position": [0.5, 0, 1], "rotation": [0, 0, 15]},
  {"name": "Lamp", "type": "light", "parent": "B"},
  {"name": "Prop", "type": "object", "parent": "B"},
  {"name": "Top", "type": "bone", "parent": "Rig"},
  {"name": "T1", "type": "bone", "parent": "Top"},
  {"name": "T2", "type": "bone", "parent": "Top"},
  {"name": "Solo", "type": "bone", "parent": "Rig"},
  {"name": "Cam", "type": "camera"},
  {"name": "Sun", "type": "light"},
  {"name": "Box", "type": "object"}
]})";

const char* const kSingleBone = "Select only single bone.";
const char* const kEmpty = "Unparent recovery data is empty.";
const char* const kDeleted = "Unparented bone may be deleted.";
constexpr int kNoDialog = -1;

Answers choose(const std::string& action) {
  Answers answers;
  answers.values["ChoiceControl"] = action;
  return answers;
}

Answers cancel() {
  Answers answers;
  answers.ok = false;
  return answers;
}

// Every item's parent by name ("" for none).
std::map<std::string, std::string> hierarchy(ToolHarness& harness) {
  std::map<std::string, std::string> parents;
  standin::Scene& scene = harness.scene();
  for (standin::ItemId item : scene.allItems()) {
    const standin::ItemId parent = scene.parentOf(item);
    parents[scene.find(item)->name] = parent == 0 ? "" : scene.find(parent)->name;
  }
  return parents;
}

using Parents = std::vector<std::pair<std::string, std::string>>;

const std::vector<std::string> kUnparentB = {"SelectItem {K1}", "ParentItem {P}", "SelectItem {K2}",
                                             "ParentItem {P}", "SelectItem {B}"};
const std::vector<std::string> kRecoverB = {"SelectItem {K1}", "ParentItem {B}", "SelectItem {K2}",
                                            "ParentItem {B}", "SelectItem {B}"};
const std::vector<std::string> kUnparentTop = {"SelectItem {T1}", "ParentItem {Rig}",
                                               "SelectItem {T2}", "ParentItem {Rig}",
                                               "SelectItem {Top}"};
const std::vector<std::string> kRecoverTop = {"SelectItem {T1}", "ParentItem {Top}",
                                              "SelectItem {T2}", "ParentItem {Top}",
                                              "SelectItem {Top}"};
const Parents kOriginalB = {{"K1", "B"}, {"K2", "B"}, {"D", "K1"}, {"Lamp", "B"}, {"Prop", "B"}};

struct Step {
  void (*before)(ToolHarness&);  // a change made by hand before the run; null for none
  std::vector<std::string> selection;
  Answers answers;
  int initial;  // the dialog's initial choice, or kNoDialog
  std::vector<std::string> commands;
  std::vector<std::string> messages;
  Parents parents;  // checked after the run
};

void moveK1UnderTop(ToolHarness& harness) {
  ASSERT_TRUE(harness.scene().setParent(harness.id("K1"), harness.id("Top"), true));
}

void withholdTheSelectionList(ToolHarness& harness) { harness.standIn().nullSelection = true; }

void deleteB(ToolHarness& harness) { harness.scene().remove(harness.id("B")); }

TEST(BoneUnParent, RunsOfOneLoadedModule) {
  struct Case {
    const char* what;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"Unparent gives the child bones B's parent; Recover puts them back",
       {{nullptr,
         {"B"},
         choose("Unparent"),
         0,
         kUnparentB,
         {},
         {{"K1", "P"}, {"K2", "P"}, {"D", "K1"}, {"Lamp", "B"}, {"Prop", "B"}}},
        {nullptr, {"B"}, choose("Recover"), 1, kRecoverB, {}, kOriginalB},
        {nullptr, {"B"}, cancel(), 0, {}, {}, kOriginalB}}},
      {"the choices by number",
       {{nullptr, {"B"}, choose("0"), 0, kUnparentB, {}, {{"K1", "P"}, {"K2", "P"}}},
        {nullptr, {"B"}, choose("1"), 1, kRecoverB, {}, kOriginalB}}},
      {"a bone right under its object: the children go to the object",
       {{nullptr,
         {"Top"},
         choose("Unparent"),
         0,
         kUnparentTop,
         {},
         {{"T1", "Rig"}, {"T2", "Rig"}}}}},
      {"a bone without children still leaves recovery data",
       {{nullptr, {"Solo"}, choose("Unparent"), 0, {"SelectItem {Solo}"}, {}, {}},
        {nullptr, {"Solo"}, choose("Recover"), 1, {"SelectItem {Solo}"}, {}, {}},
        {nullptr, {"Solo"}, cancel(), 0, {}, {}, {}}}},
      {"Recover with another bone selected works on the remembered one",
       {{nullptr, {"B"}, choose("Unparent"), 0, kUnparentB, {}, {}},
        {nullptr,
         {"Solo"},
         choose("Recover"),
         1,
         kRecoverB,
         {},
         {{"K1", "B"}, {"K2", "B"}, {"Solo", "Rig"}}}}},
      {"a bone moved by hand since is skipped; the record is emptied all the same",
       {{nullptr, {"B"}, choose("Unparent"), 0, kUnparentB, {}, {}},
        {moveK1UnderTop,
         {"B"},
         choose("Recover"),
         1,
         {"SelectItem {K2}", "ParentItem {B}", "SelectItem {B}"},
         {},
         {{"K1", "Top"}, {"K2", "B"}, {"D", "K1"}}},
        {nullptr, {"B"}, cancel(), 0, {}, {}, {}}}},
      {"the remembered bone deleted: told so each time, record kept",
       {{nullptr, {"B"}, choose("Unparent"), 0, kUnparentB, {}, {}},
        {deleteB, {"K1"}, choose("Recover"), 0, {}, {kDeleted}, {{"K1", "P"}, {"K2", "P"}}},
        {nullptr, {"K2"}, choose("Recover"), 0, {}, {kDeleted}, {{"K1", "P"}, {"K2", "P"}}}}},
      {"a second Unparent replaces the record",
       {{nullptr, {"B"}, choose("Unparent"), 0, kUnparentB, {}, {}},
        {nullptr, {"Top"}, choose("Unparent"), 1, kUnparentTop, {}, {}},
        {nullptr,
         {"Solo"},
         choose("Recover"),
         1,
         kRecoverTop,
         {},
         {{"T1", "Top"}, {"T2", "Top"}, {"K1", "P"}, {"K2", "P"}}}}},
      {"a second Unparent that moves nothing still forgets the first",
       {{nullptr, {"Top"}, choose("Unparent"), 0, kUnparentTop, {}, {}},
        {nullptr, {"Solo"}, choose("Unparent"), 1, {"SelectItem {Solo}"}, {}, {}},
        {nullptr,
         {"Solo"},
         choose("Recover"),
         1,
         {"SelectItem {Solo}"},
         {},
         {{"T1", "Rig"}, {"T2", "Rig"}}}}},
      {"Recover before any Unparent",
       {{nullptr, {"B"}, choose("Recover"), 0, {}, {kEmpty}, kOriginalB}}},
      {"Recover after a Recover",
       {{nullptr, {"Top"}, choose("Unparent"), 0, kUnparentTop, {}, {}},
        {nullptr, {"Top"}, choose("Recover"), 1, kRecoverTop, {}, {}},
        {nullptr, {"Top"}, choose("Recover"), 0, {}, {kEmpty}, {{"T1", "Top"}, {"T2", "Top"}}}}},
      {"Cancel sends nothing and keeps the record",
       {{nullptr, {"B"}, choose("Unparent"), 0, kUnparentB, {}, {}},
        {nullptr, {"B"}, cancel(), 1, {}, {}, {{"K1", "P"}, {"K2", "P"}}},
        {nullptr, {"B"}, choose("Recover"), 1, kRecoverB, {}, kOriginalB}}},
      {"an unknown choice does nothing",
       {{nullptr, {"B"}, choose("Unparent"), 0, kUnparentB, {}, {}},
        {nullptr, {"B"}, choose("2"), 1, {}, {}, {{"K1", "P"}, {"K2", "P"}}},
        {nullptr, {"B"}, choose("-1"), 1, {}, {}, {{"K1", "P"}, {"K2", "P"}}}}},
      {"two items selected",
       {{nullptr, {"B", "Solo"}, Answers(), kNoDialog, {}, {kSingleBone}, {}}}},
      {"a bone and an object",
       {{nullptr, {"Rig", "B"}, Answers(), kNoDialog, {}, {kSingleBone}, {}}}},
      {"an object", {{nullptr, {"Box"}, Answers(), kNoDialog, {}, {kSingleBone}, {}}}},
      {"a light", {{nullptr, {"Sun"}, Answers(), kNoDialog, {}, {kSingleBone}, {}}}},
      {"a camera", {{nullptr, {"Cam"}, Answers(), kNoDialog, {}, {kSingleBone}, {}}}},
      {"no selection list at all: nothing, not even a message",
       {{withholdTheSelectionList, {"B"}, Answers(), kNoDialog, {}, {}, {}}}},
      {"an empty selection", {{nullptr, {}, Answers(), kNoDialog, {}, {kSingleBone}, {}}}},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kScene);
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const Step& step = c.steps[i];
      const std::string what = std::string(c.what) + ", run " + std::to_string(i + 1);
      if (step.before) step.before(harness);
      harness.select(step.selection);
      const RunRecord record = harness.run("BoneUnParent", step.answers);
      EXPECT_EQ(record.result, 0) << what;
      EXPECT_EQ(record.answerError, "") << what;
      EXPECT_EQ(record.commandTexts(), harness.expand(step.commands)) << what;
      for (const auto& command : record.commands) EXPECT_TRUE(command.ok) << what << command.why;
      EXPECT_TRUE(record.trace.empty()) << what;
      std::vector<std::string> messages;
      for (const auto& message : record.messages) {
        EXPECT_EQ(message.kind, "info") << what;
        EXPECT_EQ(message.text2, "") << what;
        messages.push_back(message.text);
      }
      EXPECT_EQ(messages, step.messages) << what;
      if (step.initial == kNoDialog) {
        EXPECT_TRUE(record.dialogs.empty()) << what;
      } else {
        ASSERT_EQ(record.dialogs.size(), 1u) << what;
        EXPECT_EQ(record.dialogs[0].controls.at(0).valueSets,
                  std::vector<std::string>{"int " + std::to_string(step.initial)})
            << what;
      }
      const auto parents = hierarchy(harness);
      for (const auto& expected : step.parents) {
        EXPECT_EQ(parents.at(expected.first), expected.second)
            << what << ": parent of " << expected.first;
      }
      EXPECT_EQ(harness.scene().validate(), "") << what;
    }
  }
}

TEST(BoneUnParent, UnparentThenRecoverKeepsTheHierarchyAndTheWorldPlacement) {
  ToolHarness harness(kScene);
  ASSERT_TRUE(harness.scene().parentInPlace);
  const auto original = hierarchy(harness);
  std::map<std::string, std::pair<Vec3, Vec3>> world;  // origin and tip
  for (const char* bone : {"K1", "K2", "D"}) {
    const standin::ItemId id = harness.id(bone);
    world[bone] = {harness.scene().worldOrigin(id), harness.scene().worldTip(id)};
  }
  const auto expectWorldKept = [&](const std::string& when) {
    for (const auto& entry : world) {
      const standin::ItemId id = harness.id(entry.first);
      const Vec3 origin = harness.scene().worldOrigin(id);
      const Vec3 tip = harness.scene().worldTip(id);
      for (int axis = 0; axis < 3; ++axis) {
        EXPECT_NEAR(origin[axis], entry.second.first[axis], 1e-9) << when << " " << entry.first;
        EXPECT_NEAR(tip[axis], entry.second.second[axis], 1e-9) << when << " " << entry.first;
      }
    }
  };
  harness.select({"B"});
  harness.run("BoneUnParent", choose("Unparent"));
  EXPECT_NE(hierarchy(harness), original);
  expectWorldKept("after Unparent");
  harness.run("BoneUnParent", choose("Recover"));
  EXPECT_EQ(hierarchy(harness), original);
  expectWorldKept("after Recover");
  // The remembered bone is the one left selected.
  EXPECT_EQ(harness.scene().selection(), std::vector<standin::ItemId>{harness.id("B")});
}

TEST(BoneUnParent, TheDialog) {
  ToolHarness harness(kScene);
  harness.select({"B"});
  const RunRecord record = harness.run("BoneUnParent", choose("Recover"));
  ASSERT_EQ(record.dialogs.size(), 1u);
  const standin::ControlRecord& action = record.dialogs[0].controls.at(0);
  EXPECT_EQ(action.descriptorType, LWT_CHOICE);
  EXPECT_EQ(action.choices, (std::vector<std::string>{"Unparent", "Recover"}));
  // Every panel call in order; a destroy would show here too.
  std::vector<std::string> calls;
  for (const std::string& event : record.events) {
    if (event.rfind("panel ", 0) == 0 || event.find(" set ") != std::string::npos ||
        event.find(" get ") != std::string::npos || event.rfind("info ", 0) == 0) {
      calls.push_back(event);
    }
  }
  EXPECT_EQ(calls, (std::vector<std::string>{
                       "panel create \"Vorrik version 0.17b [ BoneUnParent ]\"",
                       "panel addControl ChoiceControl \"Action : \" choice[2] vertical 0",
                       "ChoiceControl set CTL_X int 8",
                       "ChoiceControl set CTL_Y int 0",
                       "ChoiceControl set CTL_VALUE int 0",
                       "panel open 7 -> OK",
                       "ChoiceControl get CTL_VALUE -> int 1",
                       "info \"" + std::string(kEmpty) + "\"",
                   }));
}

TEST(BoneUnParent, TheRecordLastsAsLongAsTheLoadedModule) {
  {
    ToolHarness harness(kScene);
    harness.select({"B"});
    harness.run("BoneUnParent", choose("Unparent"));
    // Unloading and loading the module again forgets it, even with the same scene.
    harness.standIn().unloadModule();
    harness.standIn().loadModule(testing_support::modulePath());
    const RunRecord record = harness.run("BoneUnParent", choose("Recover"));
    EXPECT_EQ(record.dialogs.at(0).controls.at(0).valueSets, std::vector<std::string>{"int 0"});
    ASSERT_EQ(record.messages.size(), 1u);
    EXPECT_EQ(record.messages[0].text, kEmpty);
    harness.run("BoneUnParent", choose("Unparent"));
  }
  // A fresh harness over the same scene file: the same item ids, but nothing remembered.
  ToolHarness harness(kScene);
  harness.select({"B"});
  const RunRecord record = harness.run("BoneUnParent", choose("Recover"));
  EXPECT_EQ(record.dialogs.at(0).controls.at(0).valueSets, std::vector<std::string>{"int 0"});
  ASSERT_EQ(record.messages.size(), 1u);
  EXPECT_EQ(record.messages[0].text, kEmpty);
  EXPECT_TRUE(record.commands.empty());
}

}  // namespace
