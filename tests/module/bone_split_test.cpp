// BoneSplit: the dialog, the command sequence, and where every bone is afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "support/tool_harness.h"

namespace {

using standin::Answers;
using standin::ItemId;
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
  // A stays as the first part; the second, added at its tip, is renamed after it.
  const std::vector<std::string> expected = {
      "SelectItem {A}",  "BoneRestLength 0.5", "SelectItem {A}",  "AddChildBone Bone",
      "SelectItem {A2}", "Rename A2",          "SelectItem {A2}", "BoneRestLength 1.5",
      "SelectItem {H}",  "ParentItem {A2}",    "SelectItem {H}",  "BoneRestPosition 0 0 1.5",
  };
  EXPECT_EQ(record.commandTexts(), harness.expand(expected));
  for (const auto& command : record.commands) EXPECT_TRUE(command.ok) << command.text;
  // Every command is also on the debugger output, in order, and so is the key edit that
  // brings H's position nearer by the first part's length.
  std::vector<std::string> commandLines;
  std::vector<std::string> keyLines;
  for (const std::string& line : record.trace) {
    (line.rfind("[Key] : ", 0) == 0 ? keyLines : commandLines).push_back(line);
  }
  ASSERT_EQ(commandLines.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(commandLines[i], "[Command] : " + record.commands[i].text);
  }
  EXPECT_EQ(keyLines,
            harness.expand(std::vector<std::string>{"[Key] : set {H} Position.Z at 0 to 1.5"}));
  EXPECT_TRUE(record.messages.empty());
  const Scene& scene = harness.scene();
  EXPECT_EQ(scene.find(harness.id("H"))->position(), (Vec3{0, 0, 1.5}));
  EXPECT_EQ(scene.find(harness.id("A"))->name, "A");
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
    std::string firstLength, secondLength;  // "": the second part already has that length
    double childZ;
  };
  const Case cases[] = {
      {"25", "0.5", "1.5", 1.5},         {"50", "1", "", 1},
      {"0", "0.002", "1.998", 1.998},    {"-30", "0.002", "1.998", 1.998},
      {"100", "1.998", "0.002", 0.002},  {"250", "1.998", "0.002", 0.002},
      {"99.9", "1.998", "0.002", 0.002}, {"0.1", "0.002", "1.998", 1.998},
      {"nan", "0.002", "1.998", 1.998},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kSimple);
    harness.select({"A"});
    const std::vector<std::string> commands =
        harness.run("BoneSplit", percent(c.percent)).commandTexts();
    ASSERT_EQ(commands.size(), c.secondLength.empty() ? 10u : 12u) << c.percent;
    EXPECT_EQ(commands[1], "BoneRestLength " + c.firstLength) << c.percent;
    if (!c.secondLength.empty()) {
      EXPECT_EQ(commands[7], "BoneRestLength " + c.secondLength) << c.percent;
    }
    std::ostringstream childRest;
    childRest << "BoneRestPosition 0 0 " << c.childZ;
    EXPECT_EQ(commands.back(), childRest.str()) << c.percent;
    EXPECT_NEAR(harness.scene().find(harness.id("H"))->position()[2], c.childZ, 1e-12) << c.percent;
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
  const ItemId a = harness.id("A");
  harness.select({"A"});
  const std::vector<std::string> commands = harness.run("BoneSplit", percent("50")).commandTexts();
  EXPECT_EQ(commands[0], harness.expand("SelectItem {A}"));
  EXPECT_EQ(commands[1], "BoneRestLength 2");
  EXPECT_EQ(commands[3], "AddChildBone Bone");
  // K moves; Grand, Other, Root and Prop get no command of their own.
  for (const std::string name : {"Grand", "Other", "Root", "Prop"}) {
    const std::string select = harness.expand("SelectItem {" + name + "}");
    EXPECT_EQ(std::count(commands.begin(), commands.end(), select), 0) << name;
  }
  const Scene& scene = harness.scene();
  // A is the first part, with its id and name; the prop stays on it.
  EXPECT_EQ(harness.id("A"), a);
  EXPECT_EQ(scene.parentOf(a), harness.id("Root"));
  EXPECT_EQ(scene.parentOf(harness.id("A2")), a);
  EXPECT_EQ(scene.parentOf(harness.id("K")), harness.id("A2"));
  EXPECT_EQ(scene.parentOf(harness.id("Grand")), harness.id("K"));
  EXPECT_EQ(scene.parentOf(harness.id("Prop")), a);
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

TEST(BoneSplit, TheFirstPartKeepsItsPlaceAndTheSecondRunsOnToTheOldTip) {
  for (bool parentInPlace : {true, false}) {
    for (const double share : {0.3, 0.5, 0.85}) {
      ToolHarness harness(kRig);
      Scene& scene = harness.scene();
      scene.parentInPlace = parentInPlace;
      const std::string what =
          std::string(parentInPlace ? "in place, " : "not in place, ") + std::to_string(share);
      const ItemId a = harness.id("A");
      const standin::Mat4 aWorld = scene.worldMatrix(a);
      const Vec3 aTip = scene.worldTip(a);
      const Vec3 aRestTip = restTip(scene, a);
      struct Placement {
        std::string name;
        Vec3 origin, tip, restTip;
      };
      std::vector<Placement> kept;
      for (const char* name : {"Root", "H1", "H2", "D", "Other", "Lamp"}) {
        const ItemId id = harness.id(name);
        kept.push_back({name, scene.worldOrigin(id), scene.worldTip(id), restTip(scene, id)});
      }

      harness.select({"A"});
      const RunRecord record = harness.run("BoneSplit", percent(std::to_string(share * 100)));
      EXPECT_TRUE(record.messages.empty()) << what;
      for (const auto& command : record.commands) EXPECT_TRUE(command.ok) << command.text;
      for (const auto& edit : record.keyEdits) EXPECT_TRUE(edit.ok) << edit.text;

      const ItemId g = harness.id("A2");
      const double tolerance = 1e-4;  // commands carry six significant digits
      expectNear(scene.worldOrigin(a), standin::transformPoint(aWorld, {0, 0, 0}), tolerance,
                 what + ": first part's origin");
      expectNear(scene.worldTip(a), standin::transformPoint(aWorld, {0, 0, 2 * share}), tolerance,
                 what + ": first part's tip");
      expectNear(scene.worldOrigin(g), scene.worldTip(a), 1e-12, what + ": second part's start");
      expectNear(scene.worldTip(g), aTip, tolerance, what + ": second part's tip");
      expectNear(restTip(scene, g), aRestTip, tolerance, what + ": second part's rest tip");
      EXPECT_NEAR(scene.find(a)->restLength + scene.find(g)->restLength, 2, 1e-6) << what;

      for (const Placement& before : kept) {
        const ItemId id = harness.id(before.name);
        expectNear(scene.worldOrigin(id), before.origin, tolerance, what + ": " + before.name);
        expectNear(scene.worldTip(id), before.tip, tolerance, what + ": " + before.name + " tip");
        expectNear(restTip(scene, id), before.restTip, tolerance,
                   what + ": " + before.name + " rest tip");
      }
      EXPECT_EQ(scene.parentOf(harness.id("H1")), g) << what;
      EXPECT_EQ(scene.parentOf(harness.id("H2")), g) << what;
      EXPECT_EQ(scene.parentOf(harness.id("Lamp")), a) << what;
      // H1 keeps its keys, each lowered along the old bone by the first part's length.
      const standin::Item& h1 = *scene.find(harness.id("H1"));
      ASSERT_EQ(h1.keys[standin::kPosZ].size(), 2u) << what;
      EXPECT_NEAR(h1.keys[standin::kPosZ][1].value, 2 - 2 * share, 1e-6) << what;
      EXPECT_EQ(h1.keys[standin::kPosX][1].value, 0.3) << what;
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
  EXPECT_EQ(scene.parentOf(harness.id("H")), harness.id("A2"));
  EXPECT_NEAR(scene.find(harness.id("A"))->restLength, 0.8, 1e-12);
  EXPECT_NEAR(scene.find(harness.id("A2"))->restLength, 1.2, 1e-12);
}

TEST(BoneSplit, WhenNoNewBoneAppearsItStopsAndSaysSo) {
  ToolHarness harness(kSimple);
  harness.scene().addCommandsAddNothing = true;
  harness.select({"A"});
  const RunRecord record = harness.run("BoneSplit", percent("40"));
  // A's length goes back once no second part can take the rest.
  EXPECT_EQ(record.commandTexts(), harness.expand(std::vector<std::string>{
                                       "SelectItem {A}", "BoneRestLength 0.8", "SelectItem {A}",
                                       "AddChildBone Bone", "SelectItem {A}", "BoneRestLength 2"}));
  ASSERT_EQ(record.messages.size(), 1u);
  EXPECT_EQ(record.messages[0].text, "BoneSplit stopped: the new bone could not be found.");
  // A and its child are as they were.
  EXPECT_EQ(harness.scene().parentOf(harness.id("H")), harness.id("A"));
  EXPECT_EQ(harness.scene().find(harness.id("A"))->restLength, 2);
  EXPECT_TRUE(record.keyEdits.empty());
}

TEST(BoneSplit, WorksThroughTheRunnerScriptAnswers) {
  ToolHarness harness(kSimple);
  harness.select({"A"});
  const RunRecord record = harness.run("BoneSplit", percent("12.5"));
  EXPECT_EQ(record.commandTexts()[1], "BoneRestLength 0.25");
}

// Values whose command form would not be finite stop the split before its first command:
// the channel's own guard would stop it half-way, with the new bone already made. The
// first part's own placement is never sent, so values there that no command could carry
// do not stop it.
TEST(BoneSplit, ValuesThatCannotBeSentStopItBeforeTheFirstCommand) {
  struct Case {
    const char* what;
    void (*damage)(Scene&, standin::ItemId a, standin::ItemId h);
    bool stops;
  };
  const Case cases[] = {
      {"a rotation past the degrees a number holds",
       [](Scene& s, standin::ItemId a, standin::ItemId) {
         s.setRotation(a, {4e306, 0, 0});
       },
       false},
      {"a pivot rotation past them",
       [](Scene& s, standin::ItemId a, standin::ItemId) {
         s.find(a)->pivotRotation = {0, -4e306, 0};
       },
       false},
      {"a rest rotation past them",
       [](Scene& s, standin::ItemId a, standin::ItemId) {
         s.find(a)->restRotation = {0, 0, 4e306};
       },
       false},
      {"a child whose new position overflows",
       [](Scene& s, standin::ItemId a, standin::ItemId h) {
         s.find(a)->restLength = 1.5e308;
         s.setPosition(h, {0, 0, -1.5e308});
       },
       true},
      {"a child whose new rest position overflows",
       [](Scene& s, standin::ItemId a, standin::ItemId h) {
         s.find(a)->restLength = 1.5e308;
         s.find(h)->restPosition = {0, 0, -1.5e308};
       },
       true},
      {"a child whose keys would overflow",
       [](Scene& s, standin::ItemId a, standin::ItemId h) {
         s.find(a)->restLength = 1.5e308;
         s.find(h)->keys[standin::kPosZ] = {standin::Key{0, 2}, standin::Key{1, -1.5e308}};
       },
       true},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kSimple);
    Scene& scene = harness.scene();
    c.damage(scene, harness.id("A"), harness.id("H"));
    const standin::Item before = *scene.find(harness.id("A"));
    harness.select({"A"});
    const RunRecord record = harness.run("BoneSplit", percent("40"));
    EXPECT_EQ(record.result, 0) << c.what;
    if (c.stops) {
      EXPECT_TRUE(record.commands.empty()) << c.what;
      ASSERT_EQ(record.messages.size(), 1u) << c.what;
      EXPECT_EQ(record.messages[0].text, "BoneSplit stopped: the bone's values are out of range.")
          << c.what;
      EXPECT_EQ(scene.parentOf(harness.id("H")), harness.id("A")) << c.what;
      EXPECT_EQ(scene.itemCount(), 3u) << c.what;
    } else {
      EXPECT_TRUE(record.messages.empty()) << c.what;
      EXPECT_EQ(scene.parentOf(harness.id("H")), harness.id("A2")) << c.what;
      // The first part keeps what it had, sendable or not.
      const standin::Item& after = *scene.find(harness.id("A"));
      EXPECT_EQ(after.rotation(), before.rotation()) << c.what;
      EXPECT_EQ(after.pivotRotation, before.pivotRotation) << c.what;
      EXPECT_EQ(after.restRotation, before.restRotation) << c.what;
    }
  }
  // Huge but sendable values go through.
  ToolHarness harness(kSimple);
  harness.scene().find(harness.id("A"))->restLength = 1e300;
  harness.select({"A"});
  const RunRecord record = harness.run("BoneSplit", percent("50"));
  EXPECT_EQ(record.commands.size(), 10u);
  EXPECT_TRUE(record.messages.empty());
}

}  // namespace
