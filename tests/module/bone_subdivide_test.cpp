// BoneSubdivide: the dialog and its remembered count, the command lines, the names of the
// new parts, where the parts and the old bone's children are over the animation, and how it
// stops.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "standin/scene/auto_key.h"
#include "support/tool_harness.h"

namespace {

using standin::Answers;
using standin::ItemId;
using standin::RunRecord;
using standin::Scene;
using standin::Vec3;
using testing_support::ToolHarness;

Answers count(const std::string& value) { return Answers{true, {{"MiniSliderControl", value}}}; }

// A under the object O, with one child bone H at its tip; lengths chosen so "%g" prints
// every part exactly.
const char* const kSimple = R"({"items": [
  {"name": "O", "type": "object"},
  {"name": "A", "type": "bone", "parent": "O", "position": [0.1, 0.2, 0.3],
   "rotation": [10, 20, 30], "restPosition": [0.1, 0.2, 0.3], "restRotation": [10, 20, 30],
   "restLength": 2},
  {"name": "H", "type": "bone", "parent": "A", "position": [0, 0, 2], "restPosition": [0, 0, 2]}
]})";

std::vector<std::string> keyLines(const RunRecord& record) {
  std::vector<std::string> lines;
  for (const std::string& line : record.trace) {
    if (line.rfind("[Key] : ", 0) == 0) lines.push_back(line);
  }
  return lines;
}

double distance(const Vec3& a, const Vec3& b) {
  return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

TEST(BoneSubdivide, CommandLinesAndTwoPartsAsBoneSplitAtHalf) {
  ToolHarness harness(kSimple);
  harness.select({"A"});
  const RunRecord four = harness.run("BoneSubdivide", count("4"));
  // A is the first part; each new part is added at the tip of the one before and renamed.
  EXPECT_EQ(
      four.commandTexts(),
      harness.expand(std::vector<std::string>{
          "SelectItem {A}", "BoneRestLength 0.5", "SelectItem {A}", "AddChildBone Bone",
          "SelectItem {A2}", "Rename A2", "SelectItem {A2}", "AddChildBone Bone", "SelectItem {A3}",
          "Rename A3", "SelectItem {A3}", "AddChildBone Bone", "SelectItem {A4}", "Rename A4",
          "SelectItem {H}", "ParentItem {A4}", "SelectItem {H}", "BoneRestPosition 0 0 0.5"}));
  EXPECT_EQ(keyLines(four),
            harness.expand(std::vector<std::string>{"[Key] : set {H} Position.Z at 0 to 0.5"}));
  EXPECT_TRUE(four.messages.empty());

  // Two parts are BoneSplit at 50 percent: the same commands, key edits and scene.
  ToolHarness split(kSimple), subdivide(kSimple);
  split.select({"A"});
  subdivide.select({"A"});
  const RunRecord bySplit = split.run("BoneSplit", Answers{true, {{"PercentControl", "50"}}});
  const RunRecord bySubdivide = subdivide.run("BoneSubdivide", count("2"));
  EXPECT_EQ(bySubdivide.commandTexts(), bySplit.commandTexts());
  EXPECT_EQ(keyLines(bySubdivide), keyLines(bySplit));
  for (const char* name : {"A", "A2", "H"}) {
    const standin::Item& a = *split.scene().find(split.id(name));
    const standin::Item& b = *subdivide.scene().find(subdivide.id(name));
    EXPECT_EQ(a.position(), b.position()) << name;
    EXPECT_EQ(a.restPosition, b.restPosition) << name;
    EXPECT_EQ(a.restLength, b.restLength) << name;
    EXPECT_EQ(split.scene().parentOf(a.id), subdivide.scene().parentOf(b.id)) << name;
  }
}

// The dialog comes only for one selected bone, offers 2 to 100 and the count chosen last
// while the module is loaded, and holds a host's out-of-range answer to that range.
TEST(BoneSubdivide, TheDialogOffersTheLastCountWhileTheModuleIsLoaded) {
  const auto offered = [](const RunRecord& record) {
    return record.dialogs.at(0).controls.at(0).valueSets;
  };
  const auto bones = [](const Scene& scene) { return scene.allItems().size() - 1; };
  {
    ToolHarness harness(kSimple);
    harness.select({"A", "H"});
    const RunRecord two = harness.run("BoneSubdivide", count("3"));
    EXPECT_TRUE(two.dialogs.empty() && two.commands.empty());
    ASSERT_EQ(two.messages.size(), 1u);
    EXPECT_EQ(two.messages[0].text, "Select only single bone.");

    harness.select({"A"});
    const RunRecord first = harness.run("BoneSubdivide", Answers{false, {}});
    const standin::ControlRecord& control = first.dialogs.at(0).controls.at(0);
    EXPECT_EQ(first.dialogs[0].title, "Vorrik version 0.17b : BoneSubdivide");
    EXPECT_EQ(control.kind, "MiniSliderControl");
    EXPECT_EQ(control.label, "Number of bones : ");
    EXPECT_EQ(control.rangeMin, 2);
    EXPECT_EQ(control.rangeMax, 100);
    EXPECT_EQ(offered(first), std::vector<std::string>{"int 2"});
    EXPECT_TRUE(first.commands.empty());  // Cancel

    harness.run("BoneSubdivide", count("3"));
    harness.select({"A"});
    const RunRecord cancelled = harness.run("BoneSubdivide", Answers{false, {}});
    EXPECT_EQ(offered(cancelled), std::vector<std::string>{"int 3"});
    harness.run("BoneSubdivide");  // OK with the count offered
    EXPECT_EQ(bones(harness.scene()), 6u);
  }
  for (const auto& [answer, parts] :
       {std::pair<const char*, std::size_t>{"1", 2}, {"-7", 2}, {"2147483647", 100}}) {
    ToolHarness harness(kSimple);
    harness.select({"A"});
    harness.run("BoneSubdivide", count(answer));
    EXPECT_EQ(bones(harness.scene()), parts + 1) << answer;
    harness.select({"A"});
    EXPECT_EQ(offered(harness.run("BoneSubdivide", Answers{false, {}})),
              std::vector<std::string>{"int " + std::to_string(parts)})
        << answer;
  }
}

// The new parts take BoneSplit's name for a second part, numbered on in order, skipping
// names the scene already has.
TEST(BoneSubdivide, TheNewPartsAreNamedInOrderAlongTheChain) {
  struct Case {
    std::string bone;
    std::string otherBone;  // another bone of the object, to show a name taken
    int parts;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"Spine", "Neck", 4, {"Spine2", "Spine3", "Spine4"}},
      {"Spine", "Spine3", 4, {"Spine2", "Spine4", "Spine5"}},
      {"Spine1", "Neck", 3, {"Spine1_2", "Spine1_3"}},
      {"Hand_L", "Neck", 3, {"Hand2_L", "Hand3_L"}},
      {"L_Tail", "L_Tail2", 3, {"L_Tail3", "L_Tail4"}},
  };
  for (const Case& c : cases) {
    ToolHarness harness(R"({"items": [{"name": "O", "type": "object"},
      {"name": ")" + c.bone +
                        R"(", "type": "bone", "parent": "O", "restLength": 3},
      {"name": ")" + c.otherBone +
                        R"(", "type": "bone", "parent": "O"}]})");
    harness.select({c.bone});
    harness.run("BoneSubdivide", count(std::to_string(c.parts)));
    const Scene& scene = harness.scene();
    ItemId previous = harness.id(c.bone);
    for (const std::string& name : c.names) {
      const ItemId part = scene.findByName(name);
      ASSERT_NE(part, 0u) << c.bone << ": " << name;
      EXPECT_EQ(scene.parentOf(part), previous) << c.bone << ": " << name;
      previous = part;
    }
    EXPECT_EQ(scene.allItems().size(), 3 + c.names.size()) << c.bone;
  }
}

// A keyed rig subdivided between keys: A keeps its name, id and keys, the parts lie along
// the old bone at every time with equal lengths adding up to the old one, and everything
// hanging from A stays where it was at every time.
const char* const kKeyedRig = R"({"time": 0.5, "items": [
  {"name": "Rig", "type": "object", "position": [1, 0, 0], "rotation": [30, 0, 0]},
  {"name": "Root", "type": "bone", "parent": "Rig", "restRotation": [0, -90, 0],
   "rotation": [0, -90, 0]},
  {"name": "A", "type": "bone", "parent": "Root", "restPosition": [0, 0, 1],
   "restRotation": [25, 10, 0], "restLength": 2, "pivot": [0.1, 0, 0], "keys": [
     {"time": 0, "position": [0, 0, 1], "rotation": [20, 10, 5], "scale": [1, 1, 1]},
     {"time": 2, "position": [0, 0.2, 1], "rotation": [60, -20, 0], "scale": [1, 1.5, 1]}]},
  {"name": "H1", "type": "bone", "parent": "A", "restPosition": [0, 0, 2],
   "restRotation": [0, 30, 0], "keys": [
     {"time": 0, "position": [0.1, 0, 2], "rotation": [0, 30, 0], "scale": [1, 1, 1]},
     {"time": 1, "position": [0.3, 0, 1.8], "rotation": [0, 50, 10], "scale": [1, 1, 1]},
     {"time": 3, "position": [0, 0, 2.2], "rotation": [0, 0, 0], "scale": [1, 1, 1]}]},
  {"name": "H2", "type": "bone", "parent": "A", "position": [0, 0.2, 1.5],
   "rotation": [45, 0, 0], "restPosition": [0, 0.2, 1.5], "restRotation": [45, 0, 0]},
  {"name": "D", "type": "bone", "parent": "H1", "position": [0, 0, 1], "restPosition": [0, 0, 1]},
  {"name": "Lamp", "type": "light", "parent": "A", "position": [0, 1, 0]}
]})";

// The scene as a saved file would hold it, at time t.
Scene at(const Scene& scene, double t) {
  Scene copy = scene;
  standin::settleIntoKeys(copy);
  copy.setTime(t);
  return copy;
}

TEST(BoneSubdivide, PartsLieOnTheOldBoneAndTheRestStaysPutOverTheAnimation) {
  const double times[] = {0, 0.25, 0.5, 1, 1.7, 2, 2.5, 3.5};
  for (bool parentInPlace : {true, false}) {
    for (int parts : {3, 5, 10}) {
      const std::string what =
          std::to_string(parts) + (parentInPlace ? " parts, in place" : " parts, not in place");
      ToolHarness harness(kKeyedRig);
      harness.scene().parentInPlace = parentInPlace;
      const ItemId a = harness.id("A");
      std::vector<Scene> before;
      for (double t : times) before.push_back(at(harness.scene(), t));

      harness.select({"A"});
      const RunRecord record = harness.run("BoneSubdivide", count(std::to_string(parts)));
      EXPECT_TRUE(record.messages.empty()) << what;
      for (const auto& c : record.commands) EXPECT_TRUE(c.ok) << what << ": " << c.text;
      for (const auto& e : record.keyEdits) EXPECT_TRUE(e.ok) << what << ": " << e.text;
      const Scene& scene = harness.scene();
      EXPECT_EQ(standin::keyAutoCreated(harness.scene()), 0u) << what;

      EXPECT_EQ(scene.find(a)->name, "A") << what;
      std::vector<ItemId> chain = {a};
      for (int k = 2; k <= parts; ++k) {
        chain.push_back(scene.findByName("A" + std::to_string(k)));
        ASSERT_NE(chain.back(), 0u) << what << " part " << k;
        EXPECT_EQ(scene.parentOf(chain.back()), chain[chain.size() - 2]) << what;
      }
      EXPECT_EQ(scene.parentOf(harness.id("H1")), chain.back()) << what;
      EXPECT_EQ(scene.parentOf(harness.id("Lamp")), a) << what;

      for (std::size_t i = 0; i < std::size(times); ++i) {
        const std::string when = what + " at " + std::to_string(times[i]);
        const Scene now = at(scene, times[i]);
        const Vec3 origin = before[i].worldOrigin(a);
        const Vec3 tip = before[i].worldTip(a);
        // Part k ends k/n of the way along the old bone, wherever A's keys have it: equal
        // lengths that add up to the old one ("%g" carries six digits).
        for (std::size_t k = 0; k < chain.size(); ++k) {
          const double along = static_cast<double>(k + 1) / parts;
          const Vec3 expected{origin[0] + along * (tip[0] - origin[0]),
                              origin[1] + along * (tip[1] - origin[1]),
                              origin[2] + along * (tip[2] - origin[2])};
          EXPECT_LT(distance(now.worldTip(chain[k]), expected), 1e-5) << when << " part " << k;
        }
        EXPECT_LT(distance(now.worldOrigin(a), origin), 1e-12) << when;
        for (const char* name : {"Root", "H1", "H2", "D", "Lamp"}) {
          const ItemId id = harness.id(name);
          EXPECT_LT(distance(now.worldOrigin(id), before[i].worldOrigin(id)), 1e-9)
              << when << ": " << name;
          EXPECT_LT(distance(now.worldTip(id), before[i].worldTip(id)), 1e-9)
              << when << ": " << name;
        }
      }
      EXPECT_TRUE(scene.validate().empty()) << scene.validate();
    }
  }
}

// What cannot be finished leaves the rig as it was: values no command can carry stop it
// before its first command; a part Layout does not add undoes the parts made so far.
TEST(BoneSubdivide, WhatItCannotFinishLeavesTheRigAsItWas) {
  struct Case {
    const char* what;
    std::function<void(Scene&, ItemId a, ItemId h)> setUp;
    std::vector<std::string> commands;
    const char* message;
  };
  const Case cases[] = {
      {"a child whose new rest position overflows",
       [](Scene& s, ItemId a, ItemId h) {
         s.find(a)->restLength = 1.5e308;
         s.find(h)->restPosition = {0, 0, -1.5e308};
       },
       {},
       "BoneSubdivide stopped: the bone's values are out of range."},
      {"no bone added at all",
       [](Scene& s, ItemId, ItemId) { s.addsThatWork = 0; },
       {"SelectItem {A}", "BoneRestLength 0.5", "SelectItem {A}", "AddChildBone Bone",
        "SelectItem {A}", "BoneRestLength 2"},
       "BoneSubdivide stopped: the new bone could not be found."},
      // The parts made and removed are O's third and fourth bones, 40020000 and 40030000.
      {"the fourth part not added",
       [](Scene& s, ItemId, ItemId) { s.addsThatWork = 2; },
       {"SelectItem {A}", "BoneRestLength 0.5", "SelectItem {A}", "AddChildBone Bone",
        "SelectItem 40020000", "Rename A2", "SelectItem 40020000", "AddChildBone Bone",
        "SelectItem 40030000", "Rename A3", "SelectItem 40030000", "AddChildBone Bone",
        "SelectItem 40020000", "ClearSelected", "SelectItem {A}", "BoneRestLength 2"},
       "BoneSubdivide stopped: the new bone could not be found."},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kSimple);
    Scene& scene = harness.scene();
    c.setUp(scene, harness.id("A"), harness.id("H"));
    const double length = scene.find(harness.id("A"))->restLength;
    harness.select({"A"});
    const RunRecord record = harness.run("BoneSubdivide", count("4"));
    EXPECT_EQ(record.commandTexts(), harness.expand(c.commands)) << c.what;
    ASSERT_EQ(record.messages.size(), 1u) << c.what;
    EXPECT_EQ(record.messages[0].text, c.message) << c.what;
    EXPECT_TRUE(record.keyEdits.empty()) << c.what;
    EXPECT_EQ(scene.allItems().size(), 3u) << c.what;
    EXPECT_EQ(scene.parentOf(harness.id("H")), harness.id("A")) << c.what;
    EXPECT_EQ(scene.find(harness.id("A"))->restLength, length) << c.what;
  }
}

}  // namespace
