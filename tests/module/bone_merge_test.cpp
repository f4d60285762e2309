// BoneMerge: the selection check, the confirmation, the command sequence, and the rig after.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "support/tool_harness.h"

namespace {

using standin::Answers;
using standin::RunRecord;
using standin::Scene;
using standin::Vec3;
using testing_support::ToolHarness;

const char* const kChain = R"({"items": [
  {"name": "O", "type": "object"},
  {"name": "P", "type": "bone", "parent": "O"},
  {"name": "Q", "type": "bone", "parent": "P", "position": [0, 0, 1], "restPosition": [0, 0, 1]},
  {"name": "H", "type": "bone", "parent": "Q", "position": [0, 0, 1], "restPosition": [0, 0, 1]},
  {"name": "Side", "type": "bone", "parent": "O", "position": [1, 0, 0]},
  {"name": "Lamp", "type": "light"}
]})";

TEST(BoneMerge, TheFullSequenceForAParentUnderItsObject) {
  ToolHarness harness(kChain);
  const standin::ItemId p = harness.id("P");
  harness.select({"P", "Q"});
  const RunRecord record = harness.run("BoneMerge");
  // P stays and reaches Q's tip; Q's child moves to it, its rest pose carried over.
  const std::vector<std::string> expected = {
      "SelectItem {P}", "BoneRestLength 2",       "SelectItem {H}", "ParentItem {P}",
      "SelectItem {H}", "BoneRestPosition 0 0 2", "SelectItem {Q}", "ClearSelected",
  };
  EXPECT_EQ(record.commandTexts(), harness.expand(expected));
  ASSERT_EQ(record.messages.size(), 1u);
  EXPECT_EQ(record.messages[0].kind, "okCancel");
  EXPECT_EQ(record.messages[0].title, "Vorrik version 0.17b : MergeBone");
  EXPECT_EQ(record.messages[0].text, "Merge selected bones, OK?");
  // Every command is traced, and so is each key H's move writes (its six motion channels).
  EXPECT_EQ(record.trace.size(), expected.size() + 6);
  EXPECT_EQ(record.keyEdits.size(), 6u);

  const Scene& scene = harness.scene();
  EXPECT_EQ(harness.id("P"), p);
  EXPECT_EQ(scene.find(p)->name, "P");
  EXPECT_EQ(scene.find(harness.id("Q")), nullptr);
  EXPECT_EQ(scene.parentOf(harness.id("H")), p);
  EXPECT_EQ(scene.find(harness.id("H"))->position(), (Vec3{0, 0, 2}));
  EXPECT_EQ(scene.parentOf(harness.id("Side")), harness.id("O"));
  EXPECT_TRUE(scene.validate().empty()) << scene.validate();
}

void expectNear(const Vec3& actual, const Vec3& expected, const std::string& what) {
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_NEAR(actual[axis], expected[axis], 1e-4) << what << " axis " << axis;
  }
}

TEST(BoneMerge, TheUpperBoneTurnsByItsPivotToReachTheChildsTip) {
  struct Case {
    const char* what;
    const char* q;              // Q's fields under P at the origin
    const char* p;              // P's extra fields
    const char* pivotRotation;  // null: none sent
    std::string length;
  };
  const Case cases[] = {
      {"a straight pair", R"("position": [0, 0, 1])", "", nullptr, "BoneRestLength 2"},
      {"a child turned 90 degrees", R"("position": [0, 0, 1], "rotation": [90, 0, 0])", "",
       "PivotRotation 45 0 0", "BoneRestLength 1.41421"},
      {"a child pitched up", R"("position": [0, 0, 1], "rotation": [0, -90, 0])", "",
       "PivotRotation 0 -45 0", "BoneRestLength 1.41421"},
      {"a pair pitched up", R"("position": [0, 0, 1])", R"(, "rotation": [0, -90, 0])", nullptr,
       "BoneRestLength 2"},
      {"banked bones keep their bank", R"("position": [0, 0, 1], "rotation": [0, 0, 40])",
       R"(, "rotation": [0, 0, 25])", nullptr, "BoneRestLength 2"},
  };
  for (const Case& c : cases) {
    ToolHarness harness(std::string(R"({"items": [{"name": "O", "type": "object"},
      {"name": "P", "type": "bone", "parent": "O")") +
                        c.p + R"(},
      {"name": "Q", "type": "bone", "parent": "P", )" +
                        c.q + "}]}");
    Scene& scene = harness.scene();
    const standin::ItemId p = harness.id("P");
    const Vec3 origin = scene.worldOrigin(p);
    const Vec3 tip = scene.worldTip(harness.id("Q"));
    const Vec3 rotation = scene.find(p)->rotation();
    harness.select({"Q", "P"});
    const std::vector<std::string> commands = harness.run("BoneMerge").commandTexts();
    std::vector<std::string> expected = {"SelectItem {P}"};
    if (c.pivotRotation != nullptr) {
      expected.push_back(c.pivotRotation);
      expected.push_back("SelectItem {P}");
      expected.push_back("BoneRest" + std::string(c.pivotRotation).substr(5));  // "Rotation ..."
    }
    expected.insert(expected.end(), {c.length, "SelectItem {Q}", "ClearSelected"});
    EXPECT_EQ(commands, harness.expand(expected)) << c.what;
    expectNear(scene.worldOrigin(p), origin, std::string(c.what) + ": start");
    expectNear(scene.worldTip(p), tip, std::string(c.what) + ": tip");
    EXPECT_EQ(scene.find(p)->rotation(), rotation) << c.what;
  }
}

TEST(BoneMerge, WrongSelectionsGetTheirMessageAndNothingIsSent) {
  const char* const scene = R"({"items": [
    {"name": "O", "type": "object"}, {"name": "O2", "type": "object"},
    {"name": "A", "type": "bone", "parent": "O"},
    {"name": "B", "type": "bone", "parent": "A"},
    {"name": "C", "type": "bone", "parent": "B"},
    {"name": "S", "type": "bone", "parent": "O"}]})";
  struct Case {
    std::vector<std::string> selection;
    const char* message;  // null: none
  };
  const Case cases[] = {
      {{}, "Select 2 bones."},
      {{"A"}, "Select 2 bones."},
      {{"A", "B", "C"}, "Select 2 bones."},
      {{"A", "O"}, "Select 2 bones."},
      {{"O", "O2"}, "Select 2 bones."},
      {{"A", "S"}, "Selected bone must be parented with another."},
      {{"A", "C"}, "Selected bone must be parented with another."},
  };
  for (const Case& c : cases) {
    ToolHarness harness(scene);
    harness.select(c.selection);
    const RunRecord record = harness.run("BoneMerge");
    EXPECT_TRUE(record.commands.empty());
    ASSERT_EQ(record.messages.size(), 1u) << c.message;
    EXPECT_EQ(record.messages[0].kind, "info");
    EXPECT_EQ(record.messages[0].text, c.message);
  }
  ToolHarness harness(scene);
  harness.select({"A", "B"});
  harness.standIn().nullSelection = true;
  const RunRecord silent = harness.run("BoneMerge");
  EXPECT_TRUE(silent.commands.empty());
  EXPECT_TRUE(silent.messages.empty());

  harness.standIn().nullSelection = false;
  const RunRecord cancelled = harness.run("BoneMerge", Answers{false, {}});
  EXPECT_TRUE(cancelled.commands.empty());
  ASSERT_EQ(cancelled.messages.size(), 1u);
  EXPECT_EQ(cancelled.messages[0].kind, "okCancel");
  EXPECT_NE(harness.scene().find(harness.id("B")), nullptr);
}

TEST(BoneMerge, APairUnderABoneStaysUnderThatBone) {
  ToolHarness harness(R"({"items": [{"name": "O", "type": "object"},
    {"name": "Root", "type": "bone", "parent": "O"},
    {"name": "P", "type": "bone", "parent": "Root", "position": [0, 0, 1]},
    {"name": "Q", "type": "bone", "parent": "P", "position": [0, 0, 1]}]})");
  harness.select({"P", "Q"});
  const std::vector<std::string> commands = harness.run("BoneMerge").commandTexts();
  EXPECT_EQ(commands[0], harness.expand("SelectItem {P}"));
  EXPECT_EQ(commands[1], "BoneRestLength 2");
  EXPECT_EQ(harness.scene().parentOf(harness.id("P")), harness.id("Root"));
}

// Rotated, banked and pivot-rotated bones; P's other child K and Q's children C1, C2.
std::string rigWithPairUnder(const std::string& pParent) {
  return std::string(R"({"time": 0, "items": [
    {"name": "Rig", "type": "object", "position": [0, 1, 0], "rotation": [15, 0, 0]},
    {"name": "Root", "type": "bone", "parent": "Rig", "rotation": [0, -80, 10],
     "pivotRotation": [5, 0, 0]},
    {"name": "P", "type": "bone", "parent": ")") +
         pParent + R"(", "position": [0.2, 0, 1],
     "rotation": [30, 20, 15], "pivotRotation": [0, 10, 20], "restLength": 1.5},
    {"name": "Q", "type": "bone", "parent": "P", "position": [0, 0.1, 1.5],
     "rotation": [-45, 30, 60], "pivotRotation": [10, 0, -5], "restLength": 0.7},
    {"name": "K", "type": "bone", "parent": "P", "position": [0.3, 0, 0.5],
     "rotation": [90, 0, 0]},
    {"name": "C1", "type": "bone", "parent": "Q", "position": [0, 0, 0.7], "rotation": [0, 45, 0]},
    {"name": "C2", "type": "bone", "parent": "Q", "position": [0.1, 0.1, 0.2]},
    {"name": "G1", "type": "bone", "parent": "C1", "position": [0, 0, 1]},
    {"name": "Far", "type": "bone", "parent": "Root", "position": [1, 0, 0], "rotation": [0, 0, 33]}
  ]})";
}

// P keeps its id, name and rotation and reaches Q's tip; K stays on P, C1 and C2 move to it;
// all of them stay where they were, whatever the option says and whichever is selected first.
TEST(BoneMerge, WithParentInPlaceTheRigStaysWhereItWas) {
  for (const bool parentInPlace : {true, false}) {
    for (const std::string pParent : {"Rig", "Root"}) {
      for (const bool childFirst : {false, true}) {
        const std::string what = "P under " + pParent + (childFirst ? ", child first" : "") +
                                 (parentInPlace ? "" : ", not in place");
        ToolHarness harness(rigWithPairUnder(pParent));
        Scene& scene = harness.scene();
        scene.parentInPlace = parentInPlace;
        const standin::ItemId p = harness.id("P");
        const Vec3 pOrigin = scene.worldOrigin(p);
        const Vec3 qTip = scene.worldTip(harness.id("Q"));
        const Vec3 pRotation = scene.find(p)->rotation();
        struct Placement {
          std::string name;
          Vec3 origin, tip;
        };
        std::vector<Placement> kept;
        for (const char* name : {"Root", "K", "C1", "C2", "G1", "Far"}) {
          const standin::ItemId id = harness.id(name);
          kept.push_back({name, scene.worldOrigin(id), scene.worldTip(id)});
        }
        harness.select(childFirst ? std::vector<std::string>{"Q", "P"}
                                  : std::vector<std::string>{"P", "Q"});
        const RunRecord record = harness.run("BoneMerge");
        for (const auto& command : record.commands) EXPECT_TRUE(command.ok) << command.text;
        for (const auto& edit : record.keyEdits) EXPECT_TRUE(edit.ok) << edit.text;

        expectNear(scene.worldOrigin(p), pOrigin, what + ": merged bone's start");
        expectNear(scene.worldTip(p), qTip, what + ": merged bone's tip");
        EXPECT_EQ(scene.find(p)->rotation(), pRotation) << what;
        EXPECT_EQ(scene.parentOf(p), harness.id(pParent)) << what;
        for (const Placement& before : kept) {
          const standin::ItemId id = harness.id(before.name);
          expectNear(scene.worldOrigin(id), before.origin, what + ": " + before.name);
          expectNear(scene.worldTip(id), before.tip, what + ": " + before.name + " tip");
        }
        for (const char* onP : {"K", "C1", "C2"}) {
          EXPECT_EQ(scene.parentOf(harness.id(onP)), p) << what << ": " << onP;
        }
        EXPECT_EQ(scene.parentOf(harness.id("G1")), harness.id("C1")) << what;
        EXPECT_EQ(scene.find(harness.id("Q")), nullptr) << what;
        EXPECT_TRUE(scene.validate().empty()) << scene.validate();
        // Each moved bone got exactly one SelectItem/ParentItem pair, in Q's order of children.
        std::vector<std::string> pairs;
        const std::vector<std::string> commands = record.commandTexts();
        for (std::size_t i = 1; i < commands.size(); ++i) {
          if (commands[i].rfind("ParentItem", 0) == 0) {
            pairs.insert(pairs.end(), {commands[i - 1], commands[i]});
          }
        }
        EXPECT_EQ(pairs,
                  harness.expand(std::vector<std::string>{"SelectItem {C1}", "ParentItem {P}",
                                                          "SelectItem {C2}", "ParentItem {P}"}))
            << what;
      }
    }
  }
}

TEST(BoneMerge, WithoutParentInPlaceTheMovedBonesKeepTheirPlacesToo) {
  ToolHarness harness(rigWithPairUnder("Rig"));
  Scene& scene = harness.scene();
  scene.parentInPlace = false;
  const standin::ItemId c1 = harness.id("C1");
  const Vec3 before = scene.worldOrigin(c1);
  const Vec3 storedBefore = scene.find(c1)->position();
  harness.select({"P", "Q"});
  harness.run("BoneMerge");
  // The option would keep C1's stored offset; its keys are written under P instead.
  EXPECT_NE(scene.find(c1)->position(), storedBefore);
  expectNear(scene.worldOrigin(c1), before, "C1");
}

// The merge adds no bone, so a Layout whose add commands add nothing does not stop it.
TEST(BoneMerge, WhenAddCommandsAddNothingItStillMerges) {
  ToolHarness harness(kChain);
  harness.scene().addCommandsAddNothing = true;
  harness.select({"P", "Q"});
  const RunRecord record = harness.run("BoneMerge");
  for (const std::string& command : record.commandTexts()) {
    EXPECT_EQ(command.find("AddBone"), std::string::npos) << command;
  }
  ASSERT_EQ(record.messages.size(), 1u);
  EXPECT_EQ(harness.scene().parentOf(harness.id("H")), harness.id("P"));
  EXPECT_EQ(harness.scene().find(harness.id("Q")), nullptr);
}

}  // namespace

namespace {

// A pivot on P: P turns about its origin, not its pivot point, so its start stays and its
// tip reaches Q's; the pivot point is turned back to keep the origin.
TEST(BoneMerge, APivotOnTheParentKeepsItsStart) {
  ToolHarness harness(R"({"items": [{"name": "O", "type": "object"},
    {"name": "P", "type": "bone", "parent": "O", "pivot": [0.5, 0, 0]},
    {"name": "Q", "type": "bone", "parent": "P", "position": [0, 0, 1], "rotation": [90, 0, 0]},
    {"name": "H", "type": "bone", "parent": "Q", "position": [0, 0, 1]}]})");
  Scene& scene = harness.scene();
  const standin::ItemId p = harness.id("P");
  const Vec3 pOrigin = scene.worldOrigin(p);
  const Vec3 qTip = scene.worldTip(harness.id("Q"));
  const Vec3 hOrigin = scene.worldOrigin(harness.id("H"));
  harness.select({"P", "Q"});
  const std::vector<std::string> commands = harness.run("BoneMerge").commandTexts();
  EXPECT_EQ(commands[1], "PivotPosition 0.353553 0 0.353553");
  EXPECT_EQ(commands[2], "PivotRotation 45 0 0");
  expectNear(pOrigin, {-0.5, 0, 0}, "P's origin");
  expectNear(scene.worldOrigin(p), pOrigin, "merged bone's start");
  expectNear(scene.worldTip(p), qTip, "merged bone's tip");
  expectNear(scene.worldOrigin(harness.id("H")), hOrigin, "H");
}

// A length or a value that overflows stops the merge after the confirmation, before any
// command; the channel's own guard would stop it half-way. A value the merge never sends
// does not stop it.
TEST(BoneMerge, ValuesThatCannotBeSentStopItBeforeTheFirstCommand) {
  struct Case {
    const char* what;
    void (*damage)(Scene&, standin::ItemId p, standin::ItemId q);
    bool stops;
  };
  const Case cases[] = {
      {"a child so far off that the length overflows",
       [](Scene& s, standin::ItemId, standin::ItemId q) {
         s.setPosition(q, {1e200, 0, 1});
       },
       true},
      {"a tip past the largest number",
       [](Scene& s, standin::ItemId, standin::ItemId q) {
         s.setPosition(q, {0, 0, 1e308});
         s.find(q)->restLength = 1e308;
       },
       true},
      {"a pivot far off, which is never sent",
       [](Scene& s, standin::ItemId p, standin::ItemId) {
         s.find(p)->pivot = {1e200, 0, 0};
       },
       false},
      {"a follower whose new rest position overflows",
       [](Scene& s, standin::ItemId, standin::ItemId q) {
         s.find(q)->restPosition = {0, 0, 1.5e308};
         s.find(s.findByName("H"))->restPosition = {0, 0, 1.5e308};
       },
       true},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kChain);
    Scene& scene = harness.scene();
    c.damage(scene, harness.id("P"), harness.id("Q"));
    harness.select({"P", "Q"});
    const RunRecord record = harness.run("BoneMerge");
    EXPECT_EQ(record.result, 0) << c.what;
    if (!c.stops) {
      EXPECT_EQ(record.messages.size(), 1u) << c.what;
      EXPECT_EQ(scene.parentOf(harness.id("H")), harness.id("P")) << c.what;
      continue;
    }
    EXPECT_TRUE(record.commands.empty()) << c.what;
    ASSERT_EQ(record.messages.size(), 2u) << c.what;
    EXPECT_EQ(record.messages[0].kind, "okCancel") << c.what;
    EXPECT_EQ(record.messages[1].text, "BoneMerge stopped: the bones' values are out of range.")
        << c.what;
    EXPECT_EQ(scene.parentOf(harness.id("H")), harness.id("Q")) << c.what;
    EXPECT_NE(scene.find(harness.id("P")), nullptr) << c.what;
  }
}

// The bones above the pair cancel out: a pair at the end of a long, turned chain is merged
// from the two bones alone, and lands where the whole chain puts it.
TEST(BoneMerge, APairDeepInATurnedChainLandsWhereTheChainPutsIt) {
  standin::Scene scene;
  const standin::ItemId rig = scene.addObject("Rig");
  scene.setRotation(rig, {0.3, 0, 0});
  standin::ItemId parent = rig;
  std::vector<standin::ItemId> chain;
  for (int i = 0; i < 200; ++i) {
    parent = scene.addBone(rig, parent, "c" + std::to_string(i));
    scene.setPosition(parent, {0.01 * (i % 5), 0, 0.5});
    scene.setRotation(parent, {0.05 * (i % 3), -0.02 * (i % 4), 0.1});
    chain.push_back(parent);
  }
  ToolHarness harness(std::move(scene));
  Scene& live = harness.scene();
  const standin::ItemId p = chain[198], q = chain[199];
  const Vec3 start = live.worldOrigin(p), tip = live.worldTip(q);
  harness.select({"c199", "c198"});
  const RunRecord record = harness.run("BoneMerge");
  for (const auto& command : record.commands) EXPECT_TRUE(command.ok) << command.text;
  const standin::ItemId merged = harness.id("c198");
  EXPECT_EQ(merged, p);
  EXPECT_EQ(live.parentOf(merged), chain[197]);
  expectNear(live.worldOrigin(merged), start, "the merged bone's start");
  expectNear(live.worldTip(merged), tip, "the merged bone's tip");
  // Two bones' placements, not the whole chain's four times over.
  EXPECT_LT(record.hostCalls, 6u * 200);
}

}  // namespace
