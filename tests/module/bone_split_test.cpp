// BoneSplit: the dialog, the command sequence, and where every bone is afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support/tool_harness.h"

namespace {

using standin::Answers;
using standin::RunRecord;
using standin::Scene;
using standin::Vec3;
using testing_support::ToolHarness;

Answers percent(const std::string& value) { return Answers{true, {{"PercentControl", value}}}; }

// A under the object O, with one child bone H; values chosen so "%g" prints them exactly.
const char* const kSimple = R"({"items": [
  {"name": "O", "type": "object"},
  {"name": "A", "type": "bone", "parent": "O", "position": [0.1, 0.2, 0.3],
   "rotation": [10, 20, 30], "scale": [1, 2, 1], "pivot": [0, 0.5, 0],
   "pivotRotation": [0, 0, 15], "restPosition": [0.1, 0.2, 0.3], "restRotation": [10, 20, 30],
   "restLength": 2},
  {"name": "H", "type": "bone", "parent": "A", "position": [0, 0, 2], "restPosition": [0, 0, 2]}
]})";

TEST(BoneSplit, TheFullSequenceForABoneUnderItsObjectWithOneChild) {
  ToolHarness harness(kSimple);
  harness.select({"A"});
  const RunRecord record = harness.run("BoneSplit", percent("25"));
  // E is the first new bone ("Bone"), G the second ("Bone (2)").
  const std::vector<std::string> expected = {
      "SelectItem {O}",
      "AddBone Bone",
      "SelectItem {Bone}",
      "Position 0.1 0.2 0.3",
      "Rotation 10 20 30",
      "Scale 1 2 1",
      "SelectItem {Bone}",
      "BoneRestPosition 0.1 0.2 0.3",
      "BoneRestRotation 10 20 30",
      "BoneRestLength 0.5",
      "SelectItem {Bone}",
      "PivotPosition 0 0.5 0",
      "PivotRotation 0 0 15",
      "SelectItem {Bone}",
      "AddChildBone Bone",
      "SelectItem {Bone (2)}",
      "BoneRestLength 1.5",
      "SelectItem {H}",
      "ParentItem {Bone (2)}",
      "SelectItem {H}",
      "Position 0 0 1.5",
      "SelectItem {H}",
      "BoneRestPosition 0 0 1.5",
      "SelectItem {A}",
      "ClearSelected",
  };
  EXPECT_EQ(record.commandTexts(), harness.expand(expected));
  for (const auto& command : record.commands) EXPECT_TRUE(command.ok) << command.text;
  // Every command is also on the debugger output.
  ASSERT_EQ(record.trace.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(record.trace[i], "[Command] : " + record.commands[i].text);
  }
  EXPECT_TRUE(record.messages.empty());
}

TEST(BoneSplit, TheDialogIsBuiltAsLayoutShowsIt) {
  ToolHarness harness(kSimple);
  harness.select({"A"});
  const RunRecord record = harness.run("BoneSplit", Answers{false, {}});
  ASSERT_EQ(record.dialogs.size(), 1u);
  const standin::DialogRecord& dialog = record.dialogs[0];
  EXPECT_EQ(dialog.title, "Vorrik version 0.17b : BoneSplit");
  EXPECT_EQ(dialog.openFlags, 7);
  ASSERT_EQ(dialog.controls.size(), 1u);
  const standin::ControlRecord& control = dialog.controls[0];
  EXPECT_EQ(control.kind, "PercentControl");
  EXPECT_EQ(control.label, "Parent length ratio : ");
  EXPECT_EQ(control.descriptorType, 15);
  EXPECT_EQ(control.rangeMin, 0);
  EXPECT_EQ(control.rangeMax, 100);
  EXPECT_EQ(control.placement.at(0), 8);
  EXPECT_EQ(control.placement.at(1), 0);
  EXPECT_EQ(control.valueSets, std::vector<std::string>{"float 50"});
  // Cancel: nothing is sent and the scene is as it was.
  EXPECT_TRUE(record.commands.empty());
  EXPECT_NE(harness.scene().find(harness.id("A")), nullptr);
  // The messages and panel services are both looked up before the selection is read.
  std::vector<std::string> lookups;
  for (const auto& lookup : record.lookups) lookups.push_back(lookup.name);
  ASSERT_GE(lookups.size(), 2u);
  EXPECT_EQ(lookups[lookups.size() - 2], "Info Messages 2");
  EXPECT_EQ(lookups.back(), "LWPanelServices");
}

TEST(BoneSplit, TheRatioIsClampedAndTheLengthsFollowIt) {
  struct Case {
    std::string percent;
    std::string firstLength, secondLength, childZ;
  };
  const Case cases[] = {
      {"25", "0.5", "1.5", "1.5"},         {"50", "1", "1", "1"},
      {"0", "0.002", "1.998", "1.998"},    {"-30", "0.002", "1.998", "1.998"},
      {"100", "1.998", "0.002", "0.002"},  {"250", "1.998", "0.002", "0.002"},
      {"99.9", "1.998", "0.002", "0.002"}, {"0.1", "0.002", "1.998", "1.998"},
      {"nan", "0.002", "1.998", "1.998"},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kSimple);
    harness.select({"A"});
    const std::vector<std::string> commands =
        harness.run("BoneSplit", percent(c.percent)).commandTexts();
    ASSERT_EQ(commands.size(), 25u) << c.percent;
    EXPECT_EQ(commands[9], "BoneRestLength " + c.firstLength) << c.percent;
    EXPECT_EQ(commands[16], "BoneRestLength " + c.secondLength) << c.percent;
    EXPECT_EQ(commands[20], "Position 0 0 " + c.childZ) << c.percent;
  }
}

TEST(BoneSplit, WrongSelectionsGetTheMessageAndNoDialog) {
  const char* const scene = R"({"items": [
    {"name": "O", "type": "object"},
    {"name": "A", "type": "bone", "parent": "O"},
    {"name": "B", "type": "bone", "parent": "A"},
    {"name": "Lamp", "type": "light"}]})";
  struct Case {
    const char* what;
    std::vector<std::string> selection;
    bool nullList;
    bool message;
  };
  const Case cases[] = {
      {"two bones", {"A", "B"}, false, true}, {"an object", {"O"}, false, true},
      {"a light", {"Lamp"}, false, true},     {"a bone and an object", {"A", "O"}, false, true},
      {"an empty list", {}, false, true},     {"no list at all", {"A"}, true, false},
  };
  for (const Case& c : cases) {
    ToolHarness harness(scene);
    harness.select(c.selection);
    harness.standIn().nullSelection = c.nullList;
    const RunRecord record = harness.run("BoneSplit", percent("30"));
    EXPECT_EQ(record.result, 0) << c.what;
    EXPECT_TRUE(record.commands.empty()) << c.what;
    EXPECT_TRUE(record.dialogs.empty()) << c.what;
    ASSERT_EQ(record.messages.size(), c.message ? 1u : 0u) << c.what;
    if (c.message) {
      EXPECT_EQ(record.messages[0].text, "Select only single bone.") << c.what;
    }
  }
}

TEST(BoneSplit, ABoneUnderABoneIsAddedAsAChildAndOnlyDirectChildBonesMove) {
  ToolHarness harness(R"({"items": [
    {"name": "O", "type": "object"},
    {"name": "Root", "type": "bone", "parent": "O"},
    {"name": "A", "type": "bone", "parent": "Root", "position": [0, 0, 1], "restLength": 4},
    {"name": "K", "type": "bone", "parent": "A", "position": [0, 0, 4]},
    {"name": "Grand", "type": "bone", "parent": "K", "position": [0, 0, 1]},
    {"name": "Prop", "type": "object", "parent": "A"},
    {"name": "Other", "type": "bone", "parent": "Root"}]})");
  harness.select({"A"});
  const std::vector<std::string> commands = harness.run("BoneSplit", percent("50")).commandTexts();
  EXPECT_EQ(commands[0], harness.expand("SelectItem {Root}"));
  EXPECT_EQ(commands[1], "AddChildBone Bone");
  // K moves; Grand, Other and Prop get no command of their own.
  for (const std::string name : {"Grand", "Other", "Prop"}) {
    const std::string select = harness.expand("SelectItem {" + name + "}");
    EXPECT_EQ(std::count(commands.begin(), commands.end(), select), 0) << name;
  }
  const Scene& scene = harness.scene();
  EXPECT_EQ(scene.parentOf(harness.id("Bone")), harness.id("Root"));
  EXPECT_EQ(scene.parentOf(harness.id("Bone (2)")), harness.id("Bone"));
  EXPECT_EQ(scene.parentOf(harness.id("K")), harness.id("Bone (2)"));
  EXPECT_EQ(scene.parentOf(harness.id("Grand")), harness.id("K"));
  EXPECT_EQ(scene.find(harness.id("A")), nullptr);
  EXPECT_NE(scene.find(harness.id("Prop")), nullptr);
  EXPECT_TRUE(scene.validate().empty()) << scene.validate();
}

// The rest pose in the world: the owner's placement, then each bone's rest values down the chain.
standin::Mat4 restWorld(const Scene& scene, standin::ItemId bone) {
  std::vector<standin::ItemId> chain;
  standin::ItemId item = bone;
  while (scene.typeOf(item) == static_cast<int>(standin::ItemType::Bone)) {
    chain.push_back(item);
    item = scene.parentOf(item);
  }
  standin::Mat4 m = scene.worldMatrix(item);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const standin::Item& b = *scene.find(*it);
    m = standin::multiply(m, standin::multiply(standin::translation(b.restPosition),
                                               standin::rotationHPB(b.restRotation)));
  }
  return m;
}

Vec3 restTip(const Scene& scene, standin::ItemId bone) {
  return standin::transformPoint(restWorld(scene, bone), {0, 0, scene.find(bone)->restLength});
}

void expectNear(const Vec3& actual, const Vec3& expected, double tolerance,
                const std::string& what) {
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_NEAR(actual[axis], expected[axis], tolerance) << what << " axis " << axis;
  }
}

// A rig with rotated, pivoted and keyed bones, split at the current time between keys.
const char* const kRig = R"({"time": 0.5, "items": [
  {"name": "Rig", "type": "object", "position": [1, 0, 0], "rotation": [30, 0, 0]},
  {"name": "Root", "type": "bone", "parent": "Rig", "position": [0, 0.5, 0],
   "rotation": [0, -90, 0], "restPosition": [0, 0.5, 0], "restRotation": [0, -90, 0]},
  {"name": "A", "type": "bone", "parent": "Root", "position": [0, 0, 1],
   "rotation": [20, 10, 5], "pivot": [0.1, 0, 0], "pivotRotation": [0, 0, 10],
   "restPosition": [0, 0, 1], "restRotation": [25, 10, 0], "restLength": 2},
  {"name": "H1", "type": "bone", "parent": "A", "restPosition": [0, 0, 2],
   "restRotation": [0, 30, 0], "keys": [
     {"time": 0, "position": [0.1, 0, 2], "rotation": [0, 30, 0], "scale": [1, 1, 1]},
     {"time": 1, "position": [0.3, 0, 2], "rotation": [0, 50, 10], "scale": [1, 1, 1]}]},
  {"name": "H2", "type": "bone", "parent": "A", "position": [0, 0.2, 1.5],
   "rotation": [45, 0, 0], "restPosition": [0, 0.2, 1.5], "restRotation": [45, 0, 0]},
  {"name": "D", "type": "bone", "parent": "H1", "position": [0, 0, 1], "restPosition": [0, 0, 1]},
  {"name": "Other", "type": "bone", "parent": "Root", "position": [0, 0, 1],
   "rotation": [-40, 0, 0]},
  {"name": "Lamp", "type": "light", "parent": "A", "position": [0, 1, 0]}
]})";

TEST(BoneSplit, TheNewBonesRunAlongTheOldOneAndEverythingElseStays) {
  for (bool parentInPlace : {true, false}) {
    for (const double share : {0.3, 0.5, 0.85}) {
      ToolHarness harness(kRig);
      Scene& scene = harness.scene();
      scene.parentInPlace = parentInPlace;
      const std::string what =
          std::string(parentInPlace ? "in place, " : "not in place, ") + std::to_string(share);
      const standin::ItemId a = harness.id("A");
      const standin::Mat4 aWorld = scene.worldMatrix(a);
      const Vec3 aTip = scene.worldTip(a);
      const Vec3 aRestTip = restTip(scene, a);
      struct Placement {
        std::string name;
        Vec3 origin, tip, restTip;
      };
      std::vector<Placement> kept;
      for (const char* name : {"Root", "H1", "H2", "D", "Other"}) {
        const standin::ItemId id = harness.id(name);
        kept.push_back({name, scene.worldOrigin(id), scene.worldTip(id), restTip(scene, id)});
      }

      harness.select({"A"});
      const RunRecord record = harness.run("BoneSplit", percent(std::to_string(share * 100)));
      EXPECT_TRUE(record.messages.empty()) << what;
      for (const auto& command : record.commands) EXPECT_TRUE(command.ok) << command.text;

      const standin::ItemId e = harness.id("Bone");
      const standin::ItemId g = harness.id("Bone (2)");
      const double tolerance = 1e-4;  // commands carry six significant digits
      expectNear(scene.worldOrigin(e), standin::transformPoint(aWorld, {0, 0, 0}), tolerance,
                 what + ": first bone's origin");
      expectNear(scene.worldTip(e), standin::transformPoint(aWorld, {0, 0, 2 * share}), tolerance,
                 what + ": first bone's tip");
      expectNear(scene.worldTip(g), aTip, tolerance, what + ": second bone's tip");
      expectNear(restTip(scene, g), aRestTip, tolerance, what + ": second bone's rest tip");
      EXPECT_NEAR(scene.find(e)->restLength + scene.find(g)->restLength, 2, 1e-6) << what;

      for (const Placement& before : kept) {
        const standin::ItemId id = harness.id(before.name);
        expectNear(scene.worldOrigin(id), before.origin, tolerance, what + ": " + before.name);
        expectNear(scene.worldTip(id), before.tip, tolerance, what + ": " + before.name + " tip");
        expectNear(restTip(scene, id), before.restTip, tolerance,
                   what + ": " + before.name + " rest tip");
      }
      EXPECT_EQ(scene.parentOf(harness.id("H1")), g) << what;
      EXPECT_EQ(scene.parentOf(harness.id("H2")), g) << what;
      EXPECT_EQ(scene.find(a), nullptr) << what;
      // H1 keeps its keys: at another time it is where its keys put it, under the new bone.
      EXPECT_EQ(scene.find(harness.id("H1"))->keys[standin::kPosX].size(), 2u) << what;
      EXPECT_TRUE(scene.validate().empty()) << scene.validate();
    }
  }
}

TEST(BoneSplit, ANewBoneListedFirstIsStillTheOneFound) {
  ToolHarness harness(kSimple);
  harness.scene().insertNewBonesAt = 0;
  harness.select({"A"});
  harness.run("BoneSplit", percent("40"));
  const Scene& scene = harness.scene();
  EXPECT_EQ(scene.parentOf(harness.id("H")), harness.id("Bone (2)"));
  EXPECT_NEAR(scene.find(harness.id("Bone"))->restLength, 0.8, 1e-12);
  EXPECT_NEAR(scene.find(harness.id("Bone (2)"))->restLength, 1.2, 1e-12);
}

TEST(BoneSplit, WhenNoNewBoneAppearsItStopsAndSaysSo) {
  ToolHarness harness(kSimple);
  harness.scene().addCommandsAddNothing = true;
  harness.select({"A"});
  const RunRecord record = harness.run("BoneSplit", percent("40"));
  EXPECT_EQ(record.commandTexts(),
            harness.expand(std::vector<std::string>{"SelectItem {O}", "AddBone Bone"}));
  ASSERT_EQ(record.messages.size(), 1u);
  EXPECT_EQ(record.messages[0].text, "BoneSplit stopped: the new bone could not be found.");
  // A and its child are untouched.
  EXPECT_EQ(harness.scene().parentOf(harness.id("H")), harness.id("A"));
  EXPECT_EQ(harness.scene().find(harness.id("A"))->restLength, 2);
}

TEST(BoneSplit, WorksThroughTheRunnerScriptAnswers) {
  ToolHarness harness(kSimple);
  harness.select({"A"});
  const RunRecord record = harness.run("BoneSplit", percent("12.5"));
  EXPECT_EQ(record.commandTexts()[9], "BoneRestLength 0.25");
}

// Values whose command form would not be finite stop the split before its first command:
// the channel's own guard would stop it half-way, with the new bones already made.
TEST(BoneSplit, ValuesThatCannotBeSentStopItBeforeTheFirstCommand) {
  struct Case {
    const char* what;
    void (*damage)(Scene&, standin::ItemId a, standin::ItemId h);
  };
  const Case cases[] = {
      {"a rotation past the degrees a number holds",
       [](Scene& s, standin::ItemId a, standin::ItemId) {
         s.setRotation(a, {4e306, 0, 0});
       }},
      {"a pivot rotation past them",
       [](Scene& s, standin::ItemId a, standin::ItemId) {
         s.find(a)->pivotRotation = {0, -4e306, 0};
       }},
      {"a rest rotation past them",
       [](Scene& s, standin::ItemId a, standin::ItemId) {
         s.find(a)->restRotation = {0, 0, 4e306};
       }},
      {"a child whose new position overflows",
       [](Scene& s, standin::ItemId a, standin::ItemId h) {
         s.find(a)->restLength = 1.5e308;
         s.setPosition(h, {0, 0, -1.5e308});
       }},
      {"a child whose new rest position overflows",
       [](Scene& s, standin::ItemId a, standin::ItemId h) {
         s.find(a)->restLength = 1.5e308;
         s.find(h)->restPosition = {0, 0, -1.5e308};
       }},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kSimple);
    Scene& scene = harness.scene();
    c.damage(scene, harness.id("A"), harness.id("H"));
    harness.select({"A"});
    const RunRecord record = harness.run("BoneSplit", percent("40"));
    EXPECT_EQ(record.result, 0) << c.what;
    EXPECT_TRUE(record.commands.empty()) << c.what;
    ASSERT_EQ(record.messages.size(), 1u) << c.what;
    EXPECT_EQ(record.messages[0].text, "BoneSplit stopped: the bone's values are out of range.")
        << c.what;
    EXPECT_EQ(scene.parentOf(harness.id("H")), harness.id("A")) << c.what;
    EXPECT_EQ(scene.itemCount(), 3u) << c.what;
  }
  // Huge but sendable values go through.
  ToolHarness harness(kSimple);
  harness.scene().find(harness.id("A"))->restLength = 1e300;
  harness.select({"A"});
  const RunRecord record = harness.run("BoneSplit", percent("50"));
  EXPECT_EQ(record.commands.size(), 25u);
  EXPECT_TRUE(record.messages.empty());
}

}  // namespace
