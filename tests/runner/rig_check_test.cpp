// The rig check: what a run added, removed, re-parented and moved, with the tolerance that
// separates a real move from float noise.
#include "runner/checks/rig_check.h"
#include "runner/report/rig_check_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "runner/script/script.h"
#include "runner/script/script_runner.h"
#include "standin/files/demo_rig.h"

namespace runner {
namespace {

using standin::ItemId;
using standin::Scene;

constexpr double kPi = 3.14159265358979323846;

template <typename List>
std::vector<std::string> namesOf(const List& list) {
  std::vector<std::string> names;
  for (const auto& entry : list) names.push_back(entry.name);
  return names;
}

template <typename List>
std::string joined(const List& list) {
  std::string text;
  for (const std::string& name : namesOf(list)) text += name + " ";
  return text;
}

// A chain Root -> Mid -> End under the object Rig, each bone `length` long, pointing +Z.
Scene chain(double length) {
  Scene scene;
  const ItemId rig = scene.addObject("Rig");
  ItemId parent = rig;
  for (const char* name : {"Root", "Mid", "End"}) {
    const ItemId bone = scene.addBone(rig, parent, name);
    scene.find(bone)->restLength = length;
    if (parent != rig) scene.setPosition(bone, {0, 0, length});
    parent = bone;
  }
  return scene;
}

RigChanges changeOf(Scene scene, const std::function<void(Scene&)>& edit) {
  const RigSnapshot before(scene);
  edit(scene);
  return compareRigs(before, RigSnapshot(scene));
}

TEST(RigCheck, SnapshotsPlaceItemsAsTheSceneDoes) {
  Scene scene = standin::demoRig();
  scene.setTime(0.5);  // between the keys
  const ItemId hero = scene.findByName("Hero");
  scene.setScale(hero, {1.5, 0.5, 2});
  scene.find(hero)->pivot = {0.1, 0.2, 0.3};
  scene.find(scene.findByName("L_Forearm"))->pivotRotation = {0.3, -0.2, 0.1};
  // A parent listed after its child.
  const ItemId stand = scene.addObject("Stand");
  scene.setPosition(stand, {1, 2, 3});
  scene.setRotation(stand, {0.4, 0.5, 0.6});
  ASSERT_TRUE(scene.setParent(hero, stand, false));
  const RigSnapshot snapshot(scene);
  ASSERT_EQ(snapshot.items.size(), scene.itemCount());
  for (const RigItem& item : snapshot.items) {
    const standin::Vec3 origin = scene.worldOrigin(item.id);
    const standin::Vec3 tip = item.isBone() ? scene.worldTip(item.id) : origin;
    for (int axis = 0; axis < 3; ++axis) {
      EXPECT_NEAR(item.origin[axis], origin[axis], 1e-12) << item.name;
      EXPECT_NEAR(item.tip[axis], tip[axis], 1e-12) << item.name;
    }
  }
}

TEST(RigCheck, AMoveCountsOnlyAboveTheToleranceWhichFollowsTheRigSize) {
  struct Case {
    double boneLength;  // the rig is three of these tall
    double move;
    bool flagged;
  };
  const Case cases[] = {
      {1, 1e-3, true},   {1, 1e-6, false},    {1, 1e-4, true},      {1000, 1e-3, false},
      {1000, 0.1, true}, {0.001, 1e-6, true}, {0.001, 1e-9, false},
  };
  for (const Case& c : cases) {
    const RigChanges changes = changeOf(chain(c.boneLength), [&](Scene& scene) {
      scene.setPosition(scene.findByName("Root"), {c.move, 0, 0});
    });
    const std::string what =
        "bone length " + std::to_string(c.boneLength) + ", move " + std::to_string(c.move);
    EXPECT_NEAR(changes.tolerance, 1e-5 * 3 * c.boneLength, 1e-8 + 1e-9) << what;
    if (c.flagged) {
      // Moving the root carries its children along: all three moved, in listing order.
      EXPECT_EQ(namesOf(changes.moved), (std::vector<std::string>{"Root", "Mid", "End"})) << what;
      EXPECT_NEAR(changes.moved[0].distance, c.move, c.move * 1e-9) << what;
    } else {
      EXPECT_TRUE(changes.empty()) << what;
    }
  }
}

// Items far out, on both sides: the box's diagonal overflows a double when computed head on,
// which made the tolerance infinite and hid every move.
TEST(RigCheck, RigsAsWideAsDoublesReachStillShowMoves) {
  struct Case {
    double reach;  // an object at -reach and one at +reach
    double move;
  };
  const Case cases[] = {{1e300, 1e299}, {1e308, 1e306}, {1.7e308, 1e307}};
  for (const Case& c : cases) {
    Scene scene;
    const ItemId left = scene.addObject("Left");
    const ItemId right = scene.addObject("Right");
    scene.setPosition(left, {-c.reach, 0, 0});
    scene.setPosition(right, {c.reach, 0, 0});
    const RigChanges changes = changeOf(scene, [&](Scene& edited) {
      edited.setPosition(edited.findByName("Right"), {c.reach - c.move, 0, 0});
    });
    EXPECT_TRUE(std::isfinite(changes.tolerance)) << c.reach;
    EXPECT_LT(changes.tolerance, c.move) << c.reach;
    EXPECT_EQ(namesOf(changes.moved), (std::vector<std::string>{"Right"})) << c.reach;
  }
  EXPECT_DOUBLE_EQ(boxDiagonal({0, 0, 0}, {3, 4, 12}), 13);
  EXPECT_DOUBLE_EQ(boxDiagonal({-1e300, 0, 0}, {1e300, 0, 0}), 2e300);
}

TEST(RigCheck, ATurnThatLeavesTheOriginMovesTheTip) {
  const RigChanges changes = changeOf(chain(1), [](Scene& scene) {
    scene.setRotation(scene.findByName("End"), {kPi / 2, 0, 0});
  });
  ASSERT_EQ(namesOf(changes.moved), std::vector<std::string>{"End"});
  const Moved& end = changes.moved[0];
  EXPECT_TRUE(end.isBone);
  EXPECT_NEAR(end.distance, std::sqrt(2.0), 1e-9);
  EXPECT_NEAR(end.tipAfter[0], 1, 1e-9);
  EXPECT_NEAR(end.tipBefore[2], 3, 1e-9);
}

TEST(RigCheck, AddedRemovedReparentedAndRenamedAreTold) {
  const RigChanges changes = changeOf(chain(1), [](Scene& scene) {
    const ItemId rig = scene.findByName("Rig");
    // Removing Mid takes End with it; a new bone of the same name is a different bone.
    scene.remove(scene.findByName("Mid"));
    const ItemId mid = scene.addBone(rig, scene.findByName("Root"), "Mid");
    scene.find(mid)->restLength = 1;
    scene.setPosition(mid, {0, 0, 1});
    const ItemId lamp = scene.addLight("Lamp");
    scene.setParent(lamp, rig, true);
    scene.setParent(scene.findByName("Root"), rig, true);  // same parent: not re-parented
    scene.find(scene.findByName("Root"))->name = "Base";
  });
  std::vector<std::string> added;
  for (const Added& item : changes.added) added.push_back(item.name + " under " + item.under);
  EXPECT_EQ(added, (std::vector<std::string>{"Mid under Base", "Lamp under Rig"}));
  EXPECT_EQ(namesOf(changes.removed), (std::vector<std::string>{"Mid", "End"}));
  EXPECT_TRUE(changes.reparented.empty());
  ASSERT_EQ(changes.renamed.size(), 1u);
  EXPECT_EQ(changes.renamed[0].from, "Root");
  EXPECT_EQ(changes.renamed[0].to, "Base");
  EXPECT_TRUE(changes.moved.empty());
}

TEST(RigCheck, ReparentingInPlaceMovesNothingOutOfPlaceMoves) {
  for (bool inPlace : {true, false}) {
    const RigChanges changes = changeOf(chain(1), [&](Scene& scene) {
      scene.setParent(scene.findByName("End"), scene.findByName("Root"), inPlace);
    });
    ASSERT_EQ(changes.reparented.size(), 1u);
    EXPECT_EQ(changes.reparented[0].name, "End");
    EXPECT_EQ(changes.reparented[0].from, "Mid");
    EXPECT_EQ(changes.reparented[0].to, "Root");
    EXPECT_EQ(changes.moved.empty(), inPlace);
  }
}

TEST(RigCheck, RestValuesAndSwitchesAreTold) {
  struct Case {
    const char* what;
    std::function<void(standin::Item&)> edit;
    std::string field;  // "" for no change
  };
  const Case cases[] = {
      {"rest length", [](standin::Item& b) { b.restLength = 1.5; }, "length"},
      {"rest position",
       [](standin::Item& b) {
         b.restPosition = {0, 0.2, 0};
       },
       "position"},
      {"rest rotation",
       [](standin::Item& b) {
         b.restRotation = {0, kPi / 4, 0};
       },
       "rotation"},
      {"rest rotation below tolerance",
       [](standin::Item& b) {
         b.restRotation = {1e-7, 0, 0};
       },
       ""},
      {"rest length below tolerance", [](standin::Item& b) { b.restLength = 1 + 1e-7; }, ""},
  };
  for (const Case& c : cases) {
    const RigChanges changes =
        changeOf(chain(1), [&](Scene& scene) { c.edit(*scene.find(scene.findByName("End"))); });
    if (c.field.empty()) {
      EXPECT_TRUE(changes.restChanged.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(changes.restChanged.size(), 1u) << c.what;
    ASSERT_EQ(changes.restChanged[0].values.size(), 1u) << c.what;
    EXPECT_EQ(changes.restChanged[0].values[0].field, c.field) << c.what;
  }
  // Rotations are told in degrees.
  const RigChanges turned = changeOf(chain(1), [](Scene& scene) {
    scene.find(scene.findByName("End"))->restRotation = {0, kPi / 4, 0};
  });
  EXPECT_NEAR(turned.restChanged[0].values[0].after[1], 45, 1e-9);

  const RigChanges off =
      changeOf(chain(1), [](Scene& scene) { scene.find(scene.findByName("Mid"))->active = false; });
  ASSERT_EQ(off.switched.size(), 1u);
  EXPECT_EQ(off.switched[0].name, "Mid");
  EXPECT_FALSE(off.switched[0].active);
}

TEST(RigCheck, JsonListsNamesAndBeforeAfterPairs) {
  const RigChanges changes = changeOf(chain(1), [](Scene& scene) {
    scene.setParent(scene.findByName("End"), scene.findByName("Root"), false);
    scene.addBone(scene.findByName("Rig"), scene.findByName("Rig"), "Extra");
  });
  const nlohmann::json json = changesToJson(changes);
  EXPECT_EQ(json["added"], nlohmann::json::array({"Extra"}));
  EXPECT_EQ(json["reparented"],
            nlohmann::json::parse(R"([{"name": "End", "from": "Mid", "to": "Root"}])"));
  ASSERT_EQ(json["moved"].size(), 1u);
  EXPECT_EQ(json["moved"][0]["name"], "End");
  EXPECT_EQ(json["moved"][0]["origin"][0], nlohmann::json::array({0.0, 0.0, 2.0}));
  EXPECT_EQ(json["moved"][0]["origin"][1], nlohmann::json::array({0.0, 0.0, 1.0}));
  EXPECT_EQ(json["moved"][0]["tip"][1], nlohmann::json::array({0.0, 0.0, 2.0}));
  // No parent is null, not "".
  Scene props = chain(1);
  props.addObject("Prop");
  const RigChanges parented = changeOf(props, [](Scene& scene) {
    scene.setParent(scene.findByName("Prop"), scene.findByName("Rig"), true);
  });
  EXPECT_EQ(changesToJson(parented)["reparented"][0]["from"], nullptr);
  EXPECT_EQ(changesToJson(parented)["moved"], nlohmann::json::array());
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(RigCheck, ThePrintedCheckIsInAlignedColumns) {
  const RigChanges changes = changeOf(chain(1), [](Scene& scene) {
    scene.setParent(scene.findByName("End"), scene.findByName("Root"), false);
    scene.setPosition(scene.findByName("Root"), {0.5, 0, 0});
    scene.find(scene.findByName("Mid"))->restLength = 2;
    scene.addBone(scene.findByName("Rig"), scene.findByName("Rig"), "A_Long_Bone_Name");
  });
  std::ostringstream out;
  printChanges(out, changes);
  const std::vector<std::string> lines = linesOf(out.str());
  ASSERT_GE(lines.size(), 6u) << out.str();
  EXPECT_EQ(lines[0].rfind("  rig check  (moves under ", 0), 0u) << out.str();
  // Every row's name starts in the same column, and every arrow of the value rows too.
  std::vector<std::size_t> nameColumns, arrowColumns;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::size_t arrow = line.find("-> (");
    if (arrow != std::string::npos) arrowColumns.push_back(arrow);
    if (line.size() > 4 && line[4] != ' ' && line.find("no item moved") == std::string::npos) {
      nameColumns.push_back(line.find_first_not_of(' ', line.find(' ', 4)));
    }
  }
  ASSERT_GE(nameColumns.size(), 4u) << out.str();
  EXPECT_EQ(std::count(nameColumns.begin(), nameColumns.end(), nameColumns[0]),
            static_cast<long>(nameColumns.size()))
      << out.str();
  ASSERT_GE(arrowColumns.size(), 4u) << out.str();
  EXPECT_EQ(std::count(arrowColumns.begin(), arrowColumns.end(), arrowColumns[0]),
            static_cast<long>(arrowColumns.size()))
      << out.str();
  EXPECT_EQ(out.str().find("e-1"), std::string::npos) << "float noise printed:\n" << out.str();

  std::ostringstream quiet;
  printChanges(quiet, changeOf(chain(1), [](Scene&) {}));
  EXPECT_NE(quiet.str().find("no changes"), std::string::npos);
}

// --- with the real module ---

std::vector<RunOutcome> runScript(const std::string& script,
                                  const std::function<void(Scene&)>& setUp = {}) {
  ScriptRunner runner(VORRIK_MODULE_PATH);
  std::vector<Step> steps = parseScript(script);
  // The first step loads the rig; the set-up changes it before the tools run.
  runner.runSteps({steps.front()});
  if (setUp) setUp(runner.standIn().scene());
  runner.runSteps(std::vector<Step>(steps.begin() + 1, steps.end()));
  return runner.runs();
}

// The split bone stays as the first part: one bone added under it, nothing removed, its
// length a rest change (its tip is where the new length puts it, not a move).
TEST(RigCheckWithTheModule, ACleanSplitAddsOneRemovesNoneAndMovesNothing) {
  const std::vector<RunOutcome> runs =
      runScript("demo\nselect L_Forearm\nrun BoneSplit percent=30\n");
  ASSERT_EQ(runs.size(), 1u);
  const RigChanges& changes = runs[0].changes;
  ASSERT_EQ(changes.added.size(), 1u);
  EXPECT_EQ(changes.added[0].name, "L_Forearm2");
  EXPECT_EQ(changes.added[0].under, "L_Forearm");
  EXPECT_TRUE(changes.removed.empty());
  ASSERT_EQ(changes.reparented.size(), 1u);
  EXPECT_EQ(changes.reparented[0].name, "L_Hand");
  EXPECT_EQ(changes.reparented[0].from, "L_Forearm");
  EXPECT_EQ(changes.reparented[0].to, "L_Forearm2");
  EXPECT_TRUE(changes.moved.empty()) << joined(changes.moved);
  EXPECT_TRUE(changes.movedOverTime.empty());
}

// The merge places the moved bones itself: nothing moves, whatever Parent in Place says.
TEST(RigCheckWithTheModule, MergingWithoutParentInPlaceMovesTheReparentedBones) {
  for (bool inPlace : {true, false}) {
    const std::vector<RunOutcome> runs =
        runScript("demo\nselect L_UpperArm L_Forearm\nrun BoneMerge\n",
                  [inPlace](Scene& scene) { scene.parentInPlace = inPlace; });
    ASSERT_EQ(runs.size(), 1u);
    const RigChanges& changes = runs[0].changes;
    EXPECT_EQ(namesOf(changes.removed), (std::vector<std::string>{"L_Forearm"}));
    ASSERT_EQ(namesOf(changes.reparented), std::vector<std::string>{"L_Hand"});
    EXPECT_EQ(changes.reparented[0].to, "L_UpperArm");
    EXPECT_TRUE(changes.moved.empty()) << joined(changes.moved);
  }
}

TEST(RigCheckWithTheModule, UnparentAndRecoverMoveNothingAndRoundTrip) {
  const std::vector<RunOutcome> runs = runScript(
      "demo\nselect L_Hand\nrun BoneUnParent action=Unparent\n"
      "run BoneUnParent action=Recover\n");
  ASSERT_EQ(runs.size(), 2u);
  ASSERT_EQ(runs[0].changes.reparented.size(), 1u);
  EXPECT_EQ(runs[0].changes.reparented[0].name, "L_Finger");
  EXPECT_EQ(runs[0].changes.reparented[0].from, "L_Hand");
  EXPECT_TRUE(runs[0].changes.moved.empty());
  ASSERT_EQ(runs[1].changes.reparented.size(), 1u);
  EXPECT_EQ(runs[1].changes.reparented[0].to, "L_Hand");
  EXPECT_TRUE(compareRigs(runs[0].before, runs[1].after).empty());
}

}  // namespace
}  // namespace runner
