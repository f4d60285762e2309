// .lws scene files saved after tool runs and scene edits, and the runner on .lws files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "lws_scenes.h"
#include "standin/files/json/scene_json.h"
#include "standin/files/lws/lws_reader.h"
#include "standin/files/lws/lws_writer.h"
#include "standin/files/scene_file.h"
#include "standin/layout/commands.h"
#include "standin/scene/scene.h"
#include "support/file_text.h"
#include "support/temp_folder.h"
#include "support/tool_harness.h"

namespace standin {
namespace {

using namespace lws_test;

// Loads `text`, changes it, saves, and reads the result again.
struct Saved {
  std::string text;
  Scene scene;
};

Saved saveAndRead(const Scene& scene) {
  Saved s;
  s.text = sceneToLws(scene);
  s.scene = read(s.text);
  return s;
}

// Every line of `before` that a run should not touch is still in `after`.
void expectUntouchedLinesKept(const std::string& after) {
  for (const char* line :
       {"RenderRangeType 0", "FasterBones 1", "HController 0", "HController 1", "PController 1",
        "ShadowOptions 7", "Plugin MeshDeformerHandler 1 _Bones", "  ParentItem 99999999",
        "EndPlugin", "AmbientIntensity 0.25", "LightType 0", "ZoomFactor 3.2", "GraphEditorData",
        "{ GraphEd_Favorites", "CurrentLight 0"}) {
    EXPECT_TRUE(hasLine(after, line)) << line;
  }
}

standin::Answers percent(const std::string& value) {
  return standin::Answers{true, {{"PercentControl", value}}};
}

TEST(LwsWrite, BoneSplitInBothNumberings) {
  for (int version : {3, 4}) {
    SCOPED_TRACE("version " + std::to_string(version));
    testing_support::ToolHarness harness(read(rig(version)));
    const ItemId arm = harness.id("Arm");
    harness.select({"Arm"});
    const standin::RunRecord record = harness.run("BoneSplit", percent("40"));
    ASSERT_EQ(record.result, 0);
    const Saved saved = saveAndRead(harness.scene());
    const Scene& s = saved.scene;
    ASSERT_NE(s.findByName("Arm2"), 0u) << saved.text;
    EXPECT_EQ(s.findByName("Arm"), arm);
    EXPECT_EQ(parentName(s, "Arm"), "Spine");
    EXPECT_EQ(parentName(s, "Arm2"), "Arm");
    EXPECT_EQ(parentName(s, "Hand"), "Arm2");
    EXPECT_EQ(named(s, "Arm").restLength, 0.3);
    EXPECT_NEAR(named(s, "Arm2").restLength, 0.45, 1e-12);
    EXPECT_EQ(named(s, "Arm").restPosition, (Vec3{0, 0, 0.5}));
    EXPECT_EQ(named(s, "Arm2").restPosition, (Vec3{0, 0, 0.3}));
    EXPECT_NEAR(named(s, "Hand").restPosition[2], 0.45, 1e-12);
    EXPECT_NEAR(named(s, "Hand").position()[2], 0.45, 1e-12);  // its one key took the move
    // Arm keeps its keys: the heading's two keys and their behaviours.
    EXPECT_EQ(named(s, "Arm").keys[kHeading].size(), 2u);
    EXPECT_EQ(named(s, "Arm").behaviors[kHeading].post, kEndOffsetRepeat);
    // The run's result survives the file: tips where the harness had them.
    for (const char* name : {"Arm", "Arm2", "Hand", "Aim"}) {
      expectNear3(s.worldTip(named(s, name).id),
                  harness.scene().worldTip(harness.scene().findByName(name)), name, 1e-9);
    }
    // The new bone goes after the last bone's own lines, before the object's settings.
    EXPECT_LT(lineIndex(saved.text, "BoneName Arm2"), lineIndex(saved.text, "ShadowOptions 7"));
    EXPECT_GT(lineIndex(saved.text, "BoneName Arm2"), lineIndex(saved.text, "BoneName Aim"));
    EXPECT_LT(lineIndex(saved.text, "BoneName Arm"), lineIndex(saved.text, "BoneName Hand"));
    expectUntouchedLinesKept(saved.text);
    if (version == 3) {
      // Bones are numbered by their place: Arm keeps 1, the new one after Aim is 4.
      EXPECT_EQ(idText(named(s, "Arm").id), "40010000");
      EXPECT_EQ(idText(named(s, "Hand").id), "40020000");
      EXPECT_EQ(idText(named(s, "Arm2").id), "40040000");
      EXPECT_TRUE(hasLine(saved.text, "TargetItem 40020000"));  // Aim still aims at Hand
      EXPECT_TRUE(hasLine(saved.text, "ParentItem 40040000"));  // Hand under Arm2
      EXPECT_TRUE(hasLine(saved.text, "GoalObject 2"));
      EXPECT_TRUE(hasLine(saved.text, "CurrentObject 1"));
    } else {
      // Ids stay; the new bone takes a free number under its object.
      EXPECT_EQ(idText(named(s, "Arm").id), "40020002");
      EXPECT_EQ(idText(named(s, "Hand").id), "40030002");
      EXPECT_EQ(idText(named(s, "Arm2").id), "40060002");
      EXPECT_TRUE(hasLine(saved.text, "AddBone 40060002"));
      EXPECT_TRUE(hasLine(saved.text, "TargetItem 40030002"));
      EXPECT_TRUE(hasLine(saved.text, "ParentItem 40060002"));
    }
    // Saving the result again changes nothing.
    EXPECT_EQ(sceneToLws(s), saved.text);
  }
}

TEST(LwsWrite, BoneMergeInBothNumberings) {
  for (int version : {3, 4}) {
    SCOPED_TRACE("version " + std::to_string(version));
    testing_support::ToolHarness harness(read(rig(version)));
    harness.select({"Arm", "Hand"});
    const standin::RunRecord record = harness.run("BoneMerge");
    ASSERT_EQ(record.result, 0);
    const Scene& live = harness.scene();
    const Saved saved = saveAndRead(live);
    const Scene& s = saved.scene;
    EXPECT_EQ(s.itemCount(), live.itemCount());
    for (ItemId item : live.allItems()) {
      const Item& a = *live.find(item);
      SCOPED_TRACE(a.name);
      const Item& b = named(s, a.name);
      EXPECT_EQ(parentName(s, a.name), parentName(live, a.name));
      EXPECT_EQ(b.restPosition, a.restPosition);
      EXPECT_EQ(b.restLength, a.restLength);
      expectNear3(b.restRotation, a.restRotation, "rest", 1e-15);
      expectNear3(s.worldOrigin(b.id), live.worldOrigin(a.id), "origin", 1e-9);
      if (version >= 4) {
        EXPECT_EQ(b.id, a.id);
      }
    }
    // Arm stays as the merged bone, with its id; Hand is gone.
    EXPECT_EQ(s.findByName("Arm") == 0, false);
    EXPECT_EQ(s.findByName("Hand"), 0u);
    EXPECT_EQ(named(s, "Arm").keys[kHeading].size(), 2u);
    expectUntouchedLinesKept(saved.text);
  }
}

TEST(LwsWrite, BoneUnParentAndQuickParent) {
  for (int version : {3, 4}) {
    SCOPED_TRACE("version " + std::to_string(version));
    testing_support::ToolHarness harness(read(rig(version)));
    Answers unparent;
    unparent.values["ChoiceControl"] = "Unparent";
    harness.select({"Spine"});
    harness.run("BoneUnParent", unparent);
    harness.select({"Camera", "Goal Null"});
    const standin::RunRecord quick = harness.run("QuickParent");
    ASSERT_EQ(quick.result, 0);
    const Scene& live = harness.scene();
    const Saved saved = saveAndRead(live);
    for (ItemId item : live.allItems()) {
      const std::string& name = live.find(item)->name;
      EXPECT_EQ(parentName(saved.scene, name), parentName(live, name)) << name;
      expectNear3(saved.scene.worldOrigin(named(saved.scene, name).id), live.worldOrigin(item),
                  name, 1e-9);
    }
    EXPECT_EQ(parentName(saved.scene, "Goal Null"), "Camera");
    // The null had no ParentItem line: it gets one after its motion, before the blank line.
    const std::vector<std::string> all = lines(saved.text);
    EXPECT_EQ(std::count(all.begin(), all.end(), "ParentItem 30000000"), 2);
    expectUntouchedLinesKept(saved.text);
    EXPECT_EQ(sceneToLws(saved.scene), saved.text);
  }
}

TEST(LwsWrite, PasteKeyAddsTcbKeys) {
  for (int version : {3, 4}) {
    SCOPED_TRACE("version " + std::to_string(version));
    testing_support::ToolHarness harness(read(rig(version)));
    harness.select({"Aim"});
    harness.run("CopyKey");
    harness.scene().setTime(2);
    harness.select({"Hand"});
    harness.run("PasteKey");
    const Saved saved = saveAndRead(harness.scene());
    const Item& hand = named(saved.scene, "Hand");
    ASSERT_EQ(hand.keys[kHeading].size(), 2u);
    EXPECT_EQ(hand.keys[kHeading][1].time, 2);
    EXPECT_EQ(hand.keys[kHeading][1].span, kSpanTCB);
    EXPECT_NEAR(hand.keys[kHeading][1].value, 30 * kDeg, 1e-12);
    EXPECT_NEAR(hand.keys[kPosX][1].value, 0.25, 1e-12);
    EXPECT_EQ(hand.keys[kHeading][0].value, 0);  // the old key stays
    EXPECT_EQ(saved.scene.time(), 2);
    EXPECT_TRUE(hasLine(saved.text, "CurrentFrame 60"));
    // Only Hand's envelopes changed: Aim's lines are as they were.
    const std::string before = rig(version);
    std::size_t changed = 0;
    const std::vector<std::string> a = lines(before), b = lines(saved.text);
    for (const std::string& l : b) changed += hasLine(before, l) ? 0 : 1;
    EXPECT_EQ(changed, 9u + 1u) << saved.text;  // nine new Key lines and CurrentFrame
    EXPECT_EQ(b.size(), a.size() + 9);
    expectUntouchedLinesKept(saved.text);
  }
}

TEST(LwsWrite, RestValuesPivotsAndUnkeyedChanges) {
  Scene scene = read(rig(3));
  auto run = [&scene](const std::string& name, const std::string& command) {
    scene.select(scene.findByName(name));
    const CommandOutcome outcome = executeCommand(scene, command);
    ASSERT_TRUE(outcome.ok) << command << ": " << outcome.why;
  };
  run("Hand", "BoneRestRotation 12.5 0 -90");
  run("Hand", "BoneRestLength 0.3");
  run("Hand", "BoneActive");
  run("Hand", "PivotPosition 0 0.1 0");
  scene.setTime(1);
  run("Arm", "Rotation 45 0 0");     // Arm has a heading key at time 1: it takes the value
  run("Arm", "Position 0 0.2 0.5");  // y has one key (at 0): a static channel takes it too
  const Saved saved = saveAndRead(scene);
  const Item& hand = named(saved.scene, "Hand");
  EXPECT_EQ(hand.restRotation, (named(scene, "Hand").restRotation));
  EXPECT_EQ(hand.restLength, 0.3);
  EXPECT_TRUE(hand.active);
  EXPECT_EQ(hand.pivot, (Vec3{0, 0.1, 0}));
  EXPECT_TRUE(hasLine(saved.text, "BoneRestDirection 12.5 0 -90"));
  EXPECT_TRUE(hasLine(saved.text, "BoneActive 1"));
  EXPECT_TRUE(hasLine(saved.text, "BoneRestLength 0.3"));
  EXPECT_FALSE(hasLine(saved.text, "BoneActive 0"));
  EXPECT_LT(lineIndex(saved.text, "PivotPosition 0 0.1 0"),
            lineIndex(saved.text, "ParentItem 40010000"));
  const Item& arm = named(saved.scene, "Arm");
  EXPECT_EQ(arm.keys[kPosY][0].value, 0.2);
  ASSERT_EQ(arm.keys[kHeading].size(), 2u);
  EXPECT_NEAR(arm.keys[kHeading][1].value, 45 * kDeg, 1e-15);
  EXPECT_EQ(arm.keys[kHeading][0].value, 0);
  EXPECT_EQ(saved.scene.time(), 1);

  // Between keys a change that is not keyed is not saved, as in Layout.
  Scene between = read(rig(3));
  between.setTime(0.5);
  between.select(between.findByName("Arm"));
  ASSERT_TRUE(executeCommand(between, "Rotation 10 0 0").ok);
  const Scene reread = read(sceneToLws(between));
  const Item& kept = named(reread, "Arm");
  EXPECT_EQ(kept.keys[kHeading][1].value, named(between, "Arm").keys[kHeading][1].value);
  EXPECT_EQ(kept.keys[kHeading].size(), 2u);
}

TEST(LwsWrite, RemovingObjectsRenumbersWhatFollows) {
  // Object A goes; B and its bones move up in version 3, and references follow.
  const std::string text = header(3) +
                           "AddNullObject A\nAddNullObject B\nBoneFalloffType 5\n"
                           "AddBone\nBoneName Root\nParentItem 10000001\nAddNullObject Goal\n"
                           "GoalObject 3\nTargetItem 40000001\nCurrentObject 2\n";
  Scene scene = read(text);
  scene.remove(scene.findByName("A"));
  const std::string out = sceneToLws(scene);
  EXPECT_FALSE(hasLine(out, "AddNullObject A"));
  EXPECT_TRUE(hasLine(out, "ParentItem 10000000"));
  EXPECT_TRUE(hasLine(out, "GoalObject 2"));
  EXPECT_TRUE(hasLine(out, "TargetItem 40000000"));
  EXPECT_TRUE(hasLine(out, "CurrentObject 1"));
  const Scene again = read(out);
  EXPECT_EQ(parentName(again, "Root"), "B");

  // The last of a kind cannot be placed, nor can new objects, lights or cameras.
  Scene last = read(text);
  last.remove(last.findByName("Goal"));
  EXPECT_THROW(sceneToLws(last), SceneFileError);
  Scene added = read(text);
  added.addLight("New");
  EXPECT_THROW(sceneToLws(added), SceneFileError);
  Scene broken;
  broken.addObject("Two\nlines");
  EXPECT_THROW(sceneToLws(broken), SceneFileError);
}

TEST(LwsWrite, ChannelsAFileLeavesOutAreAddedWhenTheyHoldSomething) {
  const std::string text = header(3) + "AddNullObject A\nObjectMotion\nNumChannels 1\n" +
                           envelope(0, {"1 0 0 0 0 0 0 0 0"}) + "AddNullObject B\n";
  Scene scene = read(text);
  scene.setScale(scene.findByName("A"), {1, 2, 1});     // channel 7
  scene.setPosition(scene.findByName("B"), {0, 0, 4});  // B has no motion at all
  const Saved saved = saveAndRead(scene);
  EXPECT_EQ(named(saved.scene, "A").scale(), (Vec3{1, 2, 1}));
  EXPECT_EQ(named(saved.scene, "A").position()[0], 1);
  EXPECT_TRUE(hasLine(saved.text, "NumChannels 8"));
  EXPECT_EQ(named(saved.scene, "B").position(), (Vec3{0, 0, 4}));
  EXPECT_EQ(saved.scene.find(saved.scene.findByName("B"))->keys[kPosZ].size(), 1u);
}

TEST(LwsWrite, TheFirstBoneOfAnObjectGoesAfterItsBoneSettings) {
  const std::string text = header(4) + "AddNullObject 10000000 Rig\nShowObject 6 3\n" +
                           motion("ObjectMotion") +
                           "ShadowOptions 7\n\nAddNullObject 10000001 Other\n";
  Scene scene = read(text);
  const ItemId rig = scene.findByName("Rig");
  const ItemId root = scene.addBone(rig, rig, "Root");
  scene.addBone(rig, root, "Tip");
  const Saved saved = saveAndRead(scene);
  EXPECT_EQ(parentName(saved.scene, "Tip"), "Root");
  EXPECT_EQ(idText(named(saved.scene, "Root").id), "40000000");
  EXPECT_TRUE(hasLine(saved.text, "AddBone 40010000"));
  EXPECT_LT(lineIndex(saved.text, "BoneFalloffType 5"), lineIndex(saved.text, "AddBone 40000000"));
  EXPECT_LT(lineIndex(saved.text, "ParentItem 40000000"), lineIndex(saved.text, "ShadowOptions 7"));
}

// Lines inside an item's section that are about something else: the scene's settings, and
// an object's bone settings written after one of its bones. They are read as theirs, and
// they stay, or go, with what they are about.
TEST(LwsWrite, LinesAboutOthersGoWithWhatTheyAreAbout) {
  const std::string bone = "ShowBone 1 3\nBoneActive 1\nBoneRestLength 1\n";
  const std::string text = header(3) + "AddNullObject Source\nAddNullObject Rig\n" +
                           "AddBone\nBoneName Upper\n" + bone + "BoneFalloffType 3\n" +
                           "AddBone\nBoneName Lower\n" + bone + "CurrentFrame 12\n" +
                           "FramesPerSecond 24\nUseBonesFrom 10000000\n" +
                           "AddNullObject Plain\nShowObject 6 3\nUseBonesFrom 10000000\n";
  struct Case {
    const char* what;
    std::function<void(Scene&)> edit;
    int rigFalloff;  // the Rig's BoneFalloffType after saving and reading back
    bool rigUsesSource, plainUsesSource;
  };
  const Case cases[] = {
      {"nothing changed", [](Scene&) {}, 3, true, true},
      {"the bone before the object's setting goes",
       [](Scene& s) { s.remove(s.findByName("Upper")); }, 3, true, true},
      {"the last bone goes", [](Scene& s) { s.remove(s.findByName("Lower")); }, 3, true, true},
      {"both bones go",
       [](Scene& s) {
         s.remove(s.findByName("Upper"));
         s.remove(s.findByName("Lower"));
       },
       3, true, true},
      {"a first bone comes to an object whose last line is UseBonesFrom",
       [](Scene& s) { s.addBone(s.findByName("Plain"), s.findByName("Plain"), "New"); }, 3, true,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene = read(text);
    EXPECT_EQ(scene.time(), 0.5);
    c.edit(scene);
    const Saved saved = saveAndRead(scene);
    const Item& rig = named(saved.scene, "Rig");
    const ItemId source = saved.scene.findByName("Source");
    EXPECT_EQ(saved.scene.time(), 0.5);
    EXPECT_EQ(rig.boneSettings.falloffType, c.rigFalloff);
    EXPECT_EQ(rig.boneSettings.useBonesFrom == source, c.rigUsesSource);
    EXPECT_EQ(named(saved.scene, "Plain").boneSettings.useBonesFrom == source, c.plainUsesSource);
  }

  // The object goes with its settings, wherever they stand; the scene's stay.
  Scene scene = read(text);
  scene.remove(scene.findByName("Rig"));
  const std::string out = sceneToLws(scene);
  EXPECT_FALSE(hasLine(out, "BoneFalloffType 3"));
  EXPECT_TRUE(hasLine(out, "CurrentFrame 12"));
  EXPECT_EQ(read(out).time(), 0.5);
}

// A removed bone's IK, controllers, limits, goal and plug-ins go with it, and the save
// lists each; what merely describes it (its name, motion, rest values) is not listed.
TEST(LwsWrite, WhatARemovedBoneTakesWithItIsListed) {
  const std::string bone = "ShowBone 1 3\nBoneActive 1\nBoneRestLength 1\n";
  const std::string text =
      header(3) + "AddNullObject Rig\n" + "AddBone\nBoneName Thigh\n" + bone +
      "HController 0\nPController 1\nPLimits -2.4 0\nLockedChannels 0\n" +
      "AddBone\nBoneName Shin\n" + bone + "HController 1\nPController 1\nLockedChannels 4\n" +
      "GoalObject 2\nFullTimeIK 1\nPlugin ItemMotionHandler 1 LW_Expression\n{ Expr\n"
      "  \"Rig.Thigh.rot(Time).p\"\n}\nEndPlugin\nParentItem 40000000\n" +
      "AddNullObject Goal\nAddNullObject Other\n";
  struct Case {
    const char* removed;
    std::vector<std::string> listed;  // "item line: text"
  };
  const Case cases[] = {
      {"Shin",
       {"Shin 28: HController 1", "Shin 29: PController 1", "Shin 30: LockedChannels 4",
        "Shin 31: GoalObject 2", "Shin 32: FullTimeIK 1",
        "Shin 33: Plugin ItemMotionHandler 1 LW_Expression"}},
      {"Goal", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.removed);
    Scene scene = read(text);
    scene.remove(scene.findByName(c.removed));
    const LwsSaved saved = saveLws(scene);
    std::vector<std::string> listed;
    for (const LostSetup& setup : saved.lostSetup) {
      listed.push_back(setup.item + " " + std::to_string(setup.line) + ": " + setup.text);
    }
    EXPECT_EQ(listed, c.listed);
  }
}

// Words in plug-in data that named a removed item and name no item left are listed: in
// expressions, in motion-mixer channel names, at scene level. A removed item's own blocks
// go with it and are not searched; a name another item still has is not listed. A renamed
// item's old name is rewritten to the new one, and listed.
TEST(LwsWrite, NamesInPlugInDataLeftNamingNothingAreListed) {
  const std::string bone = "ShowBone 1 3\nBoneActive 1\nBoneRestLength 1\n";
  const std::string text =
      header(3) + "AddNullObject Rig\n" + "AddBone\nBoneName Thigh\n" + bone +
      "AddBone\nBoneName Shin\n" + bone +
      "Plugin ItemMotionHandler 1 LW_Expression\n{ Expr\n  "
      "\"Rig.Foot.rot(Time).p\"\n}\nEndPlugin\n" +
      "AddBone\nBoneName Foot\n" + bone +
      "Plugin ItemMotionHandler 1 LW_Expression\n{ Expr\n  \"[Rig.Shin.rot(Time).h] * 0.5\"\n"
      "  \"Rig.Thigh.pos(Time).y\"\n}\nEndPlugin\nAddNullObject Other\n"
      "Plugin MasterHandler 1 MotionMixer\n{ Mixer\n  ItemName \"Rig.Shin\"\n"
      "  ItemCLock \"Rig.Shin.Position.X\"\n}\nEndPlugin\n";
  struct Case {
    std::vector<const char*> removed;
    std::vector<std::pair<const char*, const char*>> renamed;
    std::vector<std::string> listed;  // "line plugin holder: name[ -> now]"
    std::vector<std::string> lines;   // in the saved file
  };
  const Case cases[] = {
      {{"Shin"},
       {},
       {"36 LW_Expression Foot: Shin", "43 MotionMixer Other: Shin", "44 MotionMixer Other: Shin"},
       {}},
      {{"Thigh"}, {}, {"37 LW_Expression Foot: Thigh"}, {}},
      {{}, {}, {}, {}},
      {{},
       {{"Shin", "L_Shin"}},
       {"36 LW_Expression Foot: Shin -> L_Shin", "43 MotionMixer Other: Shin -> L_Shin",
        "44 MotionMixer Other: Shin -> L_Shin"},
       {"BoneName L_Shin", "  \"[Rig.L_Shin.rot(Time).h] * 0.5\"", "  ItemName \"Rig.L_Shin\"",
        "  ItemCLock \"Rig.L_Shin.Position.X\""}},
      // Renamed to the name of a removed item: that name is taken, not orphaned.
      {{"Thigh"},
       {{"Foot", "Thigh"}},
       {"26 LW_Expression Shin: Foot -> Thigh"},
       {"BoneName Thigh", "  \"Rig.Thigh.rot(Time).p\"", "  \"Rig.Thigh.pos(Time).y\""}},
  };
  for (const Case& c : cases) {
    Scene scene = read(text);
    std::string what;
    for (const char* name : c.removed) {
      what += name;
      scene.remove(scene.findByName(name));
    }
    for (const auto& [from, to] : c.renamed) {
      what += std::string(from) + "->" + to;
      scene.find(scene.findByName(from))->name = to;
    }
    SCOPED_TRACE(what);
    const LwsSaved saved = saveLws(scene);
    std::vector<std::string> listed;
    for (const NameReference& ref : saved.nameReferences) {
      listed.push_back(std::to_string(ref.line) + " " + ref.plugin + " " + ref.holder + ": " +
                       ref.name + (ref.now.empty() ? "" : " -> " + ref.now));
    }
    EXPECT_EQ(listed, c.listed);
    for (const std::string& line : c.lines) {
      EXPECT_NE(saved.text.find("\n" + line + "\n"), std::string::npos) << line << saved.text;
    }
    const Scene back = sceneFromLws(saved.text, "s.lws");
    for (const auto& [from, to] : c.renamed) {
      EXPECT_NE(back.findByName(to), 0u) << to;
      EXPECT_EQ(back.findByName(from), 0u) << from;
    }
  }
}

// The lines a version-8 file writes for every item, with made-up values.
std::string v8Common(const std::string& parent) {
  return "IKInitCustomFrame 0\nGoalStrength 1\nIKFKBlending 0\nIKSoftMin 0.25\nIKSoftMax 0.75\n"
         "CtrlPosItemBlend 1\nCtrlRotItemBlend 1\nCtrlScaleItemBlend 1\n\n"
         "PathAlignLookAhead 0.033\nPathAlignMaxLookSteps 10\nPathAlignReliableDist 0.001\n"
         "PivotPosition 0 0 0\nPivotRotation 0 0 0\n" +
         (parent.empty() ? "" : "ParentItem " + parent + "\n") +
         "SplineFlags 0\nSplineFit 0\nIKInitialState 0\nUseIKChainValues 0\n";
}

TEST(LwsWrite, SplittingTheLastBoneOfAVersion8Object) {
  const std::string bone =
      "ShowBone 1 3\nBoneActive 1\nBoneRestDirection 0 -90 0\nBoneStrength 1\n"
      "ScaleBoneStrength 1\nBoneType 0\n";
  const std::string text =
      header(8) + "LoadObjectLayer 1 10000000 Weights.lwo\nChangeObject 0\nShowObject 7 3\n" +
      motion("ObjectMotion") + v8Common("") + "SubPatchLevel 3 3\nAPSDisplay\n{ APS\n  1\n}\n" +
      "BoneFalloffType 5\nFasterBones 1\nBoneMode 2\nNumLimitedBones 4\n" +
      "AddBone 40000000\nBoneName Lower\nBoneRestPosition 0 0 0\nBoneRestLength 0.5\n" + bone +
      motion("BoneMotion", {"", "", "", "", "-1.5707963705062866211"}) + v8Common("10000000") +
      "AddBone 40010000\nBoneName Upper\nBoneRestPosition 0 0 0.5\nBoneRestLength 0.5\n" + bone +
      motion("BoneMotion", {"", "", "0.5"}) + v8Common("40000000") +
      "Plugin MeshDeformerHandler 2 _Bones\nEndPlugin\nPluginEnabled 0\nShadowOptions 7\n";
  EXPECT_EQ(sceneToLws(read(text)), text);

  testing_support::ToolHarness harness(read(text));
  harness.select({"Upper"});
  ASSERT_EQ(harness.run("BoneSplit", percent("50")).result, 0);
  const Saved saved = saveAndRead(harness.scene());
  EXPECT_EQ(idText(named(saved.scene, "Upper").id), "40010000");
  EXPECT_EQ(parentName(saved.scene, "Upper"), "Lower");
  EXPECT_EQ(parentName(saved.scene, "Upper2"), "Upper");
  EXPECT_EQ(idText(named(saved.scene, "Upper2").id), "40020000");
  expectNear3(saved.scene.worldTip(named(saved.scene, "Upper2").id), {0, 1, 0}, "tip", 1e-6);
  // Upper keeps its lines; the new bone follows them, before the object's deformer.
  const std::vector<std::string> all = lines(saved.text);
  const std::size_t plugin = lineIndex(saved.text, "Plugin MeshDeformerHandler 2 _Bones");
  ASSERT_LT(plugin, all.size());
  // New bones get the lines every item of the file has, after ParentItem too.
  EXPECT_EQ(all[plugin - 1], "UseIKChainValues 0");
  EXPECT_EQ(all[plugin - 5], "ParentItem 40010000");
  EXPECT_EQ(all[plugin - 6], "PivotRotation 0 0 0");
  EXPECT_EQ(all[plugin - 7], "PivotPosition 0 0 0");
  EXPECT_EQ(std::count(all.begin(), all.end(), "BoneType 0"), 3);
  // The object, Lower, Upper and the new bone.
  EXPECT_EQ(std::count(all.begin(), all.end(), "UseIKChainValues 0"), 4);
  EXPECT_EQ(std::count(all.begin(), all.end(), "IKSoftMin 0.25"), 4);
  EXPECT_TRUE(hasLine(saved.text, "AddBone 40020000"));
  EXPECT_EQ(all.back(), "ShadowOptions 7");
}

// --- files and the runner ---

using LwsFiles = testing_support::FolderTest;
using testing_support::readFile;

TEST_F(LwsFiles, LoadAndSaveByExtension) {
  write("rig.LWS", rig(5));
  const Scene scene = loadSceneFile(path("rig.LWS"));
  EXPECT_EQ(sceneFileText(scene, "x.lws"), rig(5));
  saveSceneFile(scene, path("copy.lws"));
  EXPECT_EQ(readFile(path("copy.lws")), rig(5));
  saveSceneFile(scene, path("copy.json"));
  EXPECT_EQ(loadSceneFile(path("copy.json")).itemCount(), scene.itemCount());

  write("bad.lws", header(3) + "AddNullObject A\nParentItem 1000000f\n");
  try {
    loadSceneFile(path("bad.lws"));
    ADD_FAILURE() << "loaded";
  } catch (const SceneFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              path("bad.lws") + ":14: ParentItem 1000000f names no item of this file");
  }
}

// The README's example: examples/arm.lws, its arm split at 40%.
TEST_F(LwsFiles, TheReadmeExample) {
  const std::string file = std::string(VORRIK_EXAMPLES_DIR) + "/arm.lws";
  const std::string original = readFile(file);
  testing_support::ToolHarness harness(loadSceneFile(file));
  EXPECT_EQ(sceneToLws(harness.scene()), original);
  harness.select({"Arm"});
  ASSERT_EQ(harness.run("BoneSplit", percent("40")).result, 0);
  const std::string text = sceneToLws(harness.scene());
  for (const char* line : {"BoneRestPosition 0 0 0.36", "  Key 0.36 0 0 0 0 0 0 0 0",
                           "ParentItem 40030000", "BoneName Arm2", "BoneRestLength 0.24"}) {
    EXPECT_TRUE(hasLine(text, line)) << line;
  }
  // Arm keeps its place and number; the new bone follows Hand.
  EXPECT_LT(lineIndex(text, "BoneName Arm"), lineIndex(text, "BoneName Hand"));
  EXPECT_LT(lineIndex(text, "BoneName Hand"), lineIndex(text, "BoneName Arm2"));
  EXPECT_EQ(lines(text)[lineIndex(text, "ShadowOptions 7") - 1], "ParentItem 40010000");
}

int runVorrik(const std::string& arguments, const std::string& errFile) {
  const std::string command =
      std::string("'") + VORRIK_RUNNER_PATH + "' " + arguments + " >/dev/null 2>'" + errFile + "'";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(LwsFiles, TheRunnerReadsRunsAndWrites) {
  write("rig.lws", rig(3));
  EXPECT_EQ(runVorrik("run BoneSplit percent=50 --scene " + path("rig.lws") +
                          " --select Arm --out " + path("out.lws"),
                      path("err.txt")),
            0)
      << readFile(path("err.txt"));
  const Scene out = loadSceneFile(path("out.lws"));
  EXPECT_EQ(parentName(out, "Hand"), "Arm2");

  write("broken.lws", header(3) +
                          "AddNullObject A\nObjectMotion\nNumChannels 1\nChannel 0\n"
                          "{ Envelope\n  1\n  Key 1 2 3\n}\n");
  EXPECT_EQ(runVorrik("run QuickParent --scene " + path("broken.lws") + " --out " + path("no.lws"),
                      path("err.txt")),
            2);
  EXPECT_NE(readFile(path("err.txt")).find(path("broken.lws") + ":19: a Key line needs 9 numbers"),
            std::string::npos)
      << readFile(path("err.txt"));
  EXPECT_FALSE(std::filesystem::exists(path("no.lws")));
}

}  // namespace
}  // namespace standin
