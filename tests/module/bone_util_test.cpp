// BoneUtil: the object the dialog offers, the commands each action sends down a hierarchy,
// and what the bones hold afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/tool_harness.h"

namespace {

using standin::Answers;
using standin::ItemId;
using standin::RunRecord;
using standin::Vec3;
using testing_support::ToolHarness;

const double kPi = std::acos(-1.0);

// Rig holds the chain B1 -> B2 -> B3 and a second root bone B4, then a light and the object
// Kid with bones of its own. Other and Empty stand apart.
const char* const kScene = R"({"items": [
  {"name": "Rig", "type": "object"},
  {"name": "B1", "type": "bone", "parent": "Rig", "position": [0, 0, 1], "rotation": [10, 0, 0]},
  {"name": "B2", "type": "bone", "parent": "B1", "position": [0, 0, 2], "active": false},
  {"name": "B3", "type": "bone", "parent": "B2", "restPosition": [0, 0, 1], "scale": [2, 2, 2]},
  {"name": "B4", "type": "bone", "parent": "Rig", "position": [1, 0, 0]},
  {"name": "Lamp", "type": "light", "parent": "Rig"},
  {"name": "Kid", "type": "object", "parent": "Rig"},
  {"name": "KB1", "type": "bone", "parent": "Kid", "position": [0, 1, 0]},
  {"name": "KB2", "type": "bone", "parent": "KB1", "active": false, "rotation": [0, 5, 0]},
  {"name": "Other", "type": "object"},
  {"name": "OB", "type": "bone", "parent": "Other", "position": [5, 5, 5],
   "restPosition": [1, 2, 3], "restScale": [1, 2, 0.5]},
  {"name": "Empty", "type": "object"},
  {"name": "Cam", "type": "camera"}
]})";

const char* const kAllBones[] = {"B1", "B2", "B3", "B4", "KB1", "KB2", "OB"};

// Exact radians, as Layout would hand them out.
void setRestRotation(ToolHarness& harness) {
  harness.scene().find(harness.id("OB"))->restRotation = {kPi / 2, 0, -kPi / 4};
}

Answers choose(const std::string& item, const std::string& action) {
  Answers answers;
  if (!item.empty()) answers.values["LWListControl"] = item;
  if (!action.empty()) answers.values["ChoiceControl"] = action;
  return answers;
}

Answers cancel() {
  Answers answers;
  answers.ok = false;
  return answers;
}

// What a bone must show after the run.
enum class Outcome { RestRecorded, RestRestored, Active, Inactive };

struct BoneState {
  Vec3 position, rotation, scale, restPosition, restRotation, restScale;
  bool active;
  bool operator==(const BoneState& o) const {
    return position == o.position && rotation == o.rotation && scale == o.scale &&
           restPosition == o.restPosition && restRotation == o.restRotation &&
           restScale == o.restScale && active == o.active;
  }
};

BoneState stateOf(const standin::Item& bone) {
  return {bone.position(),   bone.rotation(), bone.scale(), bone.restPosition,
          bone.restRotation, bone.restScale,  bone.active};
}

void expectNear(const Vec3& actual, const Vec3& expected, const std::string& what) {
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_NEAR(actual[axis], expected[axis], 1e-9) << what << " axis " << axis;
  }
}

void expectOutcome(const standin::Item& bone, Outcome outcome, const std::string& what) {
  switch (outcome) {
    case Outcome::RestRecorded:
      EXPECT_EQ(bone.restPosition, bone.position()) << what;
      EXPECT_EQ(bone.restRotation, bone.rotation()) << what;
      break;
    case Outcome::RestRestored:
      expectNear(bone.position(), bone.restPosition, what + " position");
      expectNear(bone.rotation(), bone.restRotation, what + " rotation");
      expectNear(bone.scale(), bone.restScale, what + " scale");
      break;
    case Outcome::Active: EXPECT_TRUE(bone.active) << what; break;
    case Outcome::Inactive: EXPECT_FALSE(bone.active) << what; break;
  }
}

std::vector<std::string> pairs(const std::vector<std::string>& bones, const char* command) {
  std::vector<std::string> out;
  for (const std::string& bone : bones) {
    out.push_back("SelectItem {" + bone + "}");
    out.push_back(command);
  }
  return out;
}

TEST(BoneUtil, ActionsWalkTheChosenHierarchy) {
  struct Case {
    const char* what;
    std::vector<std::string> selection;
    Answers answers;
    std::vector<std::string> commands;
    // These bones must show the outcome; every other bone is left exactly as it was.
    std::vector<std::string> touched;
    Outcome outcome;
  };
  const std::vector<std::string> rigBones = {"B1", "B2", "B3", "B4", "KB1", "KB2"};
  const Case cases[] = {
      {"Record rest by text: depth first, siblings in child order, into child objects",
       {},
       choose("Rig", "Record rest"),
       pairs(rigBones, "RecordRestPosition"),
       rigBones,
       Outcome::RestRecorded},
      {"Record rest by number on the preset object (the selected bone's owner)",
       {"B3"},
       choose("", "1"),
       pairs(rigBones, "RecordRestPosition"),
       rigBones,
       Outcome::RestRecorded},
      {"the preset action is Record rest",
       {"Kid"},
       {},
       pairs({"KB1", "KB2"}, "RecordRestPosition"),
       {"KB1", "KB2"},
       Outcome::RestRecorded},
      {"Enable toggles only the inactive bones",
       {},
       choose("Rig", "Enable"),
       pairs({"B2", "KB2"}, "BoneActive"),
       rigBones,
       Outcome::Active},
      {"Disable toggles only the active bones",
       {"Rig"},
       choose("", "3"),
       pairs({"B1", "B3", "B4", "KB1"}, "BoneActive"),
       rigBones,
       Outcome::Inactive},
      {"Enable when all are active sends nothing",
       {},
       choose("Other", "2"),
       {},
       {"OB"},
       Outcome::Active},
      {"Restore rest sends the rest pose, rotation in degrees",
       {"OB"},
       choose("", "Restore rest"),
       {"SelectItem {OB}", "Position 1 2 3", "Rotation 90 0 -45", "Scale 1 2 0.5"},
       {"OB"},
       Outcome::RestRestored},
      {"Restore rest on a child object's bones",
       {},
       choose("Kid", "0"),
       {"SelectItem {KB1}", "Position 0 0 0", "Rotation 0 0 0", "Scale 1 1 1", "SelectItem {KB2}",
        "Position 0 0 0", "Rotation 0 0 0", "Scale 1 1 1"},
       {"KB1", "KB2"},
       Outcome::RestRestored},
      {"a bone given as the item starts the walk at itself",
       {},
       choose("#{B2}", "Disable"),
       pairs({"B3"}, "BoneActive"),
       {"B2", "B3"},
       Outcome::Inactive},
      {"an object without bones: nothing", {"Empty"}, choose("", "Record rest"), {}, {}, {}},
      {"the item set to none: nothing", {"B1"}, choose("none", "Record rest"), {}, {}, {}},
      {"a light selected leaves no item: nothing", {"Lamp"}, choose("", "Record rest"), {}, {}, {}},
      {"an unknown action: nothing", {"Rig"}, choose("", "4"), {}, {}, {}},
      {"a negative action: nothing", {"Rig"}, choose("", "-1"), {}, {}, {}},
      {"Cancel: nothing", {"Rig"}, cancel(), {}, {}, {}},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kScene);
    setRestRotation(harness);
    Answers answers = c.answers;
    for (auto& entry : answers.values) entry.second = harness.expand(entry.second);
    std::map<std::string, BoneState> before;
    for (const char* bone : kAllBones) {
      before[bone] = stateOf(*harness.scene().find(harness.id(bone)));
    }

    harness.select(c.selection);
    const RunRecord record = harness.run("BoneUtil", answers);
    EXPECT_EQ(record.result, 0) << c.what;
    EXPECT_EQ(record.answerError, "") << c.what;
    ASSERT_EQ(record.dialogs.size(), 1u) << c.what;
    EXPECT_TRUE(record.messages.empty()) << c.what;
    EXPECT_EQ(record.commandTexts(), harness.expand(c.commands)) << c.what;
    ASSERT_EQ(record.trace.size(), record.commands.size()) << c.what;
    for (std::size_t i = 0; i < record.commands.size(); ++i) {
      EXPECT_TRUE(record.commands[i].ok) << c.what << ": " << record.commands[i].why;
      EXPECT_EQ(record.trace[i], "[Command] : " + record.commands[i].text) << c.what;
    }
    for (const char* name : kAllBones) {
      const standin::Item& bone = *harness.scene().find(harness.id(name));
      bool touched = false;
      for (const std::string& t : c.touched) touched = touched || t == name;
      if (touched) {
        expectOutcome(bone, c.outcome, std::string(c.what) + ": " + name);
      } else {
        EXPECT_TRUE(stateOf(bone) == before[name]) << c.what << ": " << name << " changed";
      }
    }
  }
}

// A bone whose rest rotation has no finite number of degrees keeps its pose and gets no
// command; a half-sent group would have moved it without turning it and ended the walk.
TEST(BoneUtil, RestoreRestPassesOverABoneWhoseRestPoseCannotBeSent) {
  struct Case {
    const char* what;
    Vec3 restRotation;  // KB1's, in radians
    std::vector<std::string> commands;
  };
  const Case cases[] = {
      {"past the largest number of degrees",
       {4e306, 0, 0},
       {"SelectItem {KB2}", "Position 0 0 0", "Rotation 0 0 0", "Scale 1 1 1"}},
      {"huge but sendable",
       {1e300, 0, 0},
       {"SelectItem {KB1}", "Position 0 0 0", "Rotation 5.72958e+301 0 0", "Scale 1 1 1",
        "SelectItem {KB2}", "Position 0 0 0", "Rotation 0 0 0", "Scale 1 1 1"}},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kScene);
    harness.scene().find(harness.id("KB1"))->restRotation = c.restRotation;
    const BoneState before = stateOf(*harness.scene().find(harness.id("KB1")));
    const RunRecord record = harness.run("BoneUtil", choose("Kid", "Restore rest"));
    EXPECT_EQ(record.commandTexts(), harness.expand(c.commands)) << c.what;
    if (c.commands.size() == 4) {
      EXPECT_TRUE(stateOf(*harness.scene().find(harness.id("KB1"))) == before) << c.what;
    }
    EXPECT_EQ(harness.scene().validate(), "") << c.what;
  }
}

TEST(BoneUtil, TheSelectionPresetsTheItem) {
  struct Case {
    const char* what;
    std::vector<std::string> selection;
    bool nullSelection;
    std::string preset;  // "" for none
  };
  const Case cases[] = {
      {"a bone: its object", {"B3"}, false, "Rig"},
      {"a bone of a child object: that object", {"KB2"}, false, "Kid"},
      {"an object: itself", {"Kid"}, false, "Kid"},
      {"only the first entry counts", {"KB1", "Rig"}, false, "Kid"},
      {"a light first: none", {"Lamp", "Rig"}, false, ""},
      {"a camera: none", {"Cam"}, false, ""},
      {"an empty list: none", {}, false, ""},
      {"no list at all: none", {"Rig"}, true, ""},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kScene);
    harness.select(c.selection);
    harness.standIn().nullSelection = c.nullSelection;
    const RunRecord record = harness.run("BoneUtil", cancel());
    ASSERT_EQ(record.dialogs.size(), 1u) << c.what;
    const standin::ControlRecord& item = record.dialogs[0].controls.at(0);
    std::vector<std::string> sets = {"int 0"};
    double value = 0;
    if (!c.preset.empty()) {
      value = harness.id(c.preset);
      sets.push_back("int " + std::to_string(static_cast<std::int32_t>(harness.id(c.preset))));
    }
    EXPECT_EQ(item.valueSets, sets) << c.what;
    EXPECT_EQ(item.value, value) << c.what;
    EXPECT_TRUE(record.commands.empty()) << c.what;
    EXPECT_TRUE(record.messages.empty()) << c.what;
  }
}

TEST(BoneUtil, TheDialog) {
  ToolHarness harness(kScene);
  harness.select({"B1"});
  const std::string rig = std::to_string(harness.id("Rig"));
  const RunRecord record = harness.run("BoneUtil", choose("", "Enable"));
  ASSERT_EQ(record.dialogs.size(), 1u);
  const std::vector<standin::ControlRecord>& controls = record.dialogs[0].controls;
  ASSERT_EQ(controls.size(), 2u);
  EXPECT_EQ(controls[0].descriptorType, LWT_LWITEM);
  EXPECT_TRUE(controls[0].itemGlobalGiven);
  EXPECT_EQ(controls[1].descriptorType, LWT_CHOICE);
  EXPECT_EQ(controls[1].choices,
            (std::vector<std::string>{"Restore rest", "Record rest", "Enable", "Disable"}));

  // Every panel call in order (a destroy would show here too): placements as each control
  // is added, the initial values, the preset, then the item is read before the action.
  std::vector<std::string> panelCalls;
  for (const std::string& event : record.events) {
    if (event.rfind("panel ", 0) == 0 || event.find(" set ") != std::string::npos ||
        event.find(" get ") != std::string::npos) {
      panelCalls.push_back(event);
    }
  }
  EXPECT_EQ(panelCalls,
            (std::vector<std::string>{
                "panel create \"Vorrik version 0.17b : BoneUtil\"",
                "panel addControl LWListControl \"Item : \" items of type 0 list none count 0 "
                "width 0",
                "LWListControl set CTL_X int 8",
                "LWListControl set CTL_Y int 0",
                "panel addControl ChoiceControl \"Bone action : \" choice[4] vertical 0",
                "ChoiceControl set CTL_X int 8",
                "ChoiceControl set CTL_Y int 24",
                "LWListControl set CTL_VALUE int 0",
                "ChoiceControl set CTL_VALUE int 1",
                "LWListControl set CTL_VALUE int " + rig,
                "panel open 7 -> OK",
                "LWListControl get CTL_VALUE -> int " + rig,
                "ChoiceControl get CTL_VALUE -> int 2",
            }));
}

// Host calls the walk makes, logged by wrapping the stand-in's tables.
struct CallLog {
  static inline LWItemInfo items{};
  static inline LWBoneInfo bones{};
  static inline const standin::Scene* scene = nullptr;
  static inline std::vector<std::string> calls;

  static std::string name(LWItemID item) {
    const standin::Item* found = scene->find(lwItemNumber(item));
    return found ? found->name : "none";
  }
  static void install(ToolHarness& harness) {
    scene = &harness.scene();
    calls.clear();
    items = harness.standIn().itemInfoTable();
    bones = harness.standIn().boneInfoTable();
    LWItemInfo& table = harness.standIn().itemInfoTable();
    table.type = [](LWItemID item) {
      calls.push_back("type " + name(item));
      return items.type(item);
    };
    table.firstChild = [](LWItemID parent) {
      const LWItemID child = items.firstChild(parent);
      calls.push_back("firstChild " + name(parent) + " -> " + name(child));
      return child;
    };
    table.nextChild = [](LWItemID parent, LWItemID previous) {
      const LWItemID child = items.nextChild(parent, previous);
      calls.push_back("nextChild " + name(parent) + " " + name(previous) + " -> " + name(child));
      return child;
    };
    LWBoneInfo& boneTable = harness.standIn().boneInfoTable();
    boneTable.flags = [](LWItemID bone) {
      calls.push_back("boneFlags " + name(bone));
      return bones.flags(bone);
    };
    boneTable.restParam = [](LWItemID bone, LWItemParam which, LWDVector vector) {
      calls.push_back("restParam " + name(bone) + " " + std::to_string(which));
      bones.restParam(bone, which, vector);
    };
  }
};

TEST(BoneUtil, HostCallsComeInTheOrderOfTheRecursiveWalk) {
  struct Case {
    const char* what;
    Answers answers;
    std::vector<std::string> commands;
    std::vector<std::string> calls;  // after "type none" for the empty selection
  };
  const Case cases[] = {
      {"each item's own work, then its children, then its next sibling",
       choose("Rig", "Enable"),
       pairs({"C"}, "BoneActive"),
       {"type Rig", "firstChild Rig -> A", "type A", "boneFlags A", "firstChild A -> A1", "type A1",
        "boneFlags A1", "firstChild A1 -> none", "nextChild A A1 -> none", "nextChild Rig A -> C",
        "type C", "boneFlags C", "firstChild C -> none", "nextChild Rig C -> Lamp", "type Lamp",
        "firstChild Lamp -> none", "nextChild Rig Lamp -> none"}},
      {"Restore rest reads position, rotation, scaling",
       choose("#{A1}", "Restore rest"),
       {"SelectItem {A1}", "Position 0 0 0", "Rotation 0 0 0", "Scale 1 1 1"},
       {"type A1", "restParam A1 1", "restParam A1 5", "restParam A1 6", "firstChild A1 -> none"}},
      {"no item: no walk", choose("none", "Enable"), {}, {}},
      {"an unknown action: no walk", choose("Rig", "9"), {}, {}},
  };
  for (const Case& c : cases) {
    // The scene file makes bones under Rig first, so Rig's children are A, C, Lamp.
    ToolHarness harness(R"({"items": [
      {"name": "Rig", "type": "object"},
      {"name": "A", "type": "bone", "parent": "Rig"},
      {"name": "A1", "type": "bone", "parent": "A"},
      {"name": "Lamp", "type": "light", "parent": "Rig"},
      {"name": "C", "type": "bone", "parent": "Rig", "active": false}
    ]})");
    CallLog::install(harness);
    harness.select({});
    Answers answers = c.answers;
    for (auto& entry : answers.values) entry.second = harness.expand(entry.second);
    const RunRecord record = harness.run("BoneUtil", answers);
    EXPECT_EQ(record.answerError, "") << c.what;
    EXPECT_EQ(record.commandTexts(), harness.expand(c.commands)) << c.what;
    std::vector<std::string> calls = {"type none"};  // the empty selection's first entry
    calls.insert(calls.end(), c.calls.begin(), c.calls.end());
    EXPECT_EQ(CallLog::calls, calls) << c.what;
  }
}

// One chain far deeper than any call stack would take, through every action in turn.
TEST(BoneUtil, AHundredThousandBoneChain) {
  constexpr std::size_t kBones = 100000;
  standin::Scene scene;
  const ItemId rig = scene.addObject("Rig");
  std::vector<ItemId> bones;
  bones.reserve(kBones);
  std::size_t activeCount = 0;
  for (std::size_t i = 0; i < kBones; ++i) {
    const ItemId bone = scene.addBone(rig, bones.empty() ? rig : bones.back(), "Bone");
    ASSERT_NE(bone, 0u);
    bones.push_back(bone);
    const double step = static_cast<double>(i % 8);
    scene.setPosition(bone, {0.5 * step, 0, 1});
    scene.setRotation(bone, {step * 10 * kPi / 180, 0, -step * kPi / 180});
    scene.find(bone)->active = i % 3 != 0;
    if (i % 3 != 0) ++activeCount;
  }
  scene.select(rig);
  // The stand-in directly: the harness's name bookkeeping is not built for this many items.
  standin::StandIn standIn(std::move(scene));
  standIn.loadModule(testing_support::modulePath());
  standin::Scene& live = standIn.scene();
  const auto started = std::chrono::steady_clock::now();
  RunRecord record;
  const auto run = [&](const Answers& answers) {
    testing_support::runOnSmallStack(
        [&] { record = standIn.activate("Vorrik:BoneUtil", answers); });
  };

  run(choose("", "Record rest"));
  ASSERT_EQ(record.commands.size(), 2 * kBones);
  EXPECT_EQ(record.trace.size(), 2 * kBones);
  for (std::size_t i = 0; i < kBones; ++i) {
    ASSERT_EQ(record.commands[2 * i].text, "SelectItem " + standin::idText(bones[i])) << i;
    ASSERT_EQ(record.commands[2 * i + 1].text, "RecordRestPosition") << i;
    const standin::Item& bone = *live.find(bones[i]);
    ASSERT_EQ(bone.restPosition, bone.position()) << i;
    ASSERT_EQ(bone.restRotation, bone.rotation()) << i;
  }

  // Move every bone away from its rest pose, with rest scales to come back to.
  for (std::size_t i = 0; i < kBones; ++i) {
    live.setPosition(bones[i], {3, 2, 1});
    live.setRotation(bones[i], {0.5, 0.25, 0});
    live.setScale(bones[i], {4, 4, 4});
    live.find(bones[i])->restScale = {i % 2 ? 2.0 : 1.0, 1, 0.5};
  }
  run(choose("Rig", "0"));
  ASSERT_EQ(record.commands.size(), 4 * kBones);
  for (std::size_t i = 0; i < kBones; ++i) {
    const standin::Item& bone = *live.find(bones[i]);
    for (int axis = 0; axis < 3; ++axis) {
      ASSERT_NEAR(bone.position()[axis], bone.restPosition[axis], 1e-9) << i;
      ASSERT_NEAR(bone.rotation()[axis], bone.restRotation[axis], 1e-9) << i;
      ASSERT_NEAR(bone.scale()[axis], bone.restScale[axis], 1e-9) << i;
    }
  }

  run(choose("", "Disable"));
  EXPECT_EQ(record.commands.size(), 2 * activeCount);
  for (ItemId bone : bones) ASSERT_FALSE(live.find(bone)->active);
  run(choose("", "2"));
  EXPECT_EQ(record.commands.size(), 2 * kBones);
  for (ItemId bone : bones) ASSERT_TRUE(live.find(bone)->active);
  for (const auto& command : record.commands) ASSERT_TRUE(command.ok) << command.why;

  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  RecordProperty("four_runs_seconds", std::to_string(seconds));
}

}  // namespace
