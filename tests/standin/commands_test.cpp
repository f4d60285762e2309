// The stand-in's Layout commands: selection, parenting, adding bones, placement and number forms.
#include "standin/layout/commands.h"
#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>
#include "commands_cases.h"

namespace standin {
namespace {

using namespace commands_cases;

TEST(StandinCommands, Selection) {
  auto twelveObjects = [](Scene& s) {
    for (int i = 0; i < 10; ++i) s.addObject("filler");
  };
  auto twelfthIsCurrent = [](const Scene&, const Scene& s) {
    EXPECT_EQ(s.currentItem(), 0x1000000bu);
  };
  run({
      {"select a bone",
       {kLight},
       "SelectItem 40010000",
       true,
       [](const Scene&, const Scene& s) { EXPECT_EQ(s.selection(), std::vector<ItemId>{kArm}); }},
      {"leading zeros",
       {},
       "SelectItem 0020000000",
       true,
       [](const Scene&, const Scene& s) { EXPECT_EQ(s.currentItem(), kLight); }},
      {"short id", {}, "SelectItem 0", false},
      {"upper-case hex", {}, "SelectItem 1000000B", true, twelfthIsCurrent, twelveObjects},
      {"lower-case hex", {}, "SelectItem 1000000b", true, twelfthIsCurrent, twelveObjects},
      {"unknown item", {kLight}, "SelectItem 4001ffff", false},
      {"removed item", {}, "SelectItem 40010000", false, nullptr, [](Scene& s) { s.remove(kArm); }},
      {"0x prefix", {}, "SelectItem 0x10000000", false},
      {"not hex", {}, "SelectItem 1000000g", false},
      {"negative", {}, "SelectItem -10000000", false},
      {"past 32 bits", {}, "SelectItem 110000000", false},
      {"missing id", {}, "SelectItem", false},
      {"extra id", {}, "SelectItem 10000000 20000000", false},
      {"add to the selection",
       {kBody},
       "AddToSelection 20000000",
       true,
       [](const Scene&, const Scene& s) {
         EXPECT_EQ(s.selection(), (std::vector<ItemId>{kBody, kLight}));
         EXPECT_EQ(s.currentItem(), kLight);
       }},
      {"add again: moves to the end",
       {kBody, kLight},
       "AddToSelection 10000000",
       true,
       [](const Scene&, const Scene& s) {
         EXPECT_EQ(s.selection(), (std::vector<ItemId>{kLight, kBody}));
       }},
      {"add unknown", {kBody}, "AddToSelection 30000009", false},
  });
}

// The record of a command keeps the item its id argument names, so a report can name it
// without reading the text again; refused commands too, since a report names those.
TEST(StandinCommands, TheItemACommandNames) {
  const std::pair<const char*, ItemId> cases[] = {
      {"SelectItem 40010000", kArm},  {"AddToSelection 20000000", kLight},
      {"ParentItem 10000000", kBody}, {"SelectItem 4001ffff", 0x4001ffff},
      {"SelectItem 0x10000000", 0},   {"SelectItem 10000000 20000000", 0},
      {"Position 1 2 3", 0},          {"AddBone 40010000", 0},
  };
  for (const auto& [line, item] : cases) {
    Scene scene = startingScene();
    scene.addToSelection(kArm);
    EXPECT_EQ(executeCommand(scene, line).item, item) << line;
  }
}

TEST(StandinCommands, ClearSelected) {
  run({
      {"a bone",
       {kArm},
       "ClearSelected",
       true,
       [](const Scene&, const Scene& s) {
         EXPECT_EQ(s.find(kArm), nullptr);
         EXPECT_NE(s.find(kRoot), nullptr);
         EXPECT_TRUE(s.selection().empty());
       }},
      {"a bone with its child and a light",
       {kRoot, kLight},
       "ClearSelected",
       true,
       [](const Scene&, const Scene& s) {
         for (ItemId gone : {kRoot, kArm, kLight}) EXPECT_EQ(s.typeOf(gone), kNoItemType);
         EXPECT_EQ(s.itemCount(), 4u);
       }},
      {"an object and one of its bones",
       {kBody, kArm},
       "ClearSelected",
       true,
       [](const Scene&, const Scene& s) {
         EXPECT_EQ(s.itemCount(), 4u);
         EXPECT_EQ(s.first(ItemType::Object, 0), kProp);
       }},
      {"a hanging camera is re-homed",
       {kRoot},
       "ClearSelected",
       true,
       [](const Scene&, const Scene& s) { EXPECT_EQ(s.parentOf(kCamera), kBody); },
       [](Scene& s) { s.setParent(kCamera, kArm, false); }},
      {"nothing selected", {}, "ClearSelected", false},
      {"with an argument", {kArm}, "ClearSelected 40010000", false},
  });
}

TEST(StandinCommands, ParentItem) {
  auto posed = [](Scene& s) {
    s.setPosition(kBody, {1, 2, 3});
    s.setRotation(kBody, {0.5, 0.25, -0.75});
    s.setPosition(kLight, {4, -1, 2});
    s.setRotation(kLight, {1, 0.3, 0});
  };
  run({
      {"in place",
       {kLight},
       "ParentItem 10000000",
       true,
       [](const Scene& before, const Scene& s) {
         EXPECT_EQ(s.parentOf(kLight), kBody);
         EXPECT_TRUE(near(s.worldOrigin(kLight), before.worldOrigin(kLight)));
         EXPECT_TRUE(
             near(s.param(kLight, kWorldForward, 0), before.param(kLight, kWorldForward, 0)));
         EXPECT_NE(s.find(kLight)->position(), before.find(kLight)->position());
       },
       posed},
      {"not in place",
       {kLight},
       "ParentItem 10000000",
       true,
       [](const Scene& before, const Scene& s) {
         EXPECT_EQ(s.parentOf(kLight), kBody);
         EXPECT_EQ(s.find(kLight)->current, before.find(kLight)->current);
       },
       [posed](Scene& s) {
         posed(s);
         s.parentInPlace = false;
       }},
      {"to a bone of another object",
       {kProp},
       "ParentItem 40010000",
       true,
       [](const Scene&, const Scene& s) { EXPECT_EQ(s.parentOf(kProp), kArm); }},
      {"to no parent",
       {kLight},
       "ParentItem 0",
       true,
       [](const Scene& before, const Scene& s) {
         EXPECT_EQ(s.parentOf(kLight), 0u);
         EXPECT_TRUE(near(s.worldOrigin(kLight), before.worldOrigin(kLight)));
       },
       [posed](Scene& s) {
         posed(s);
         s.setParent(kLight, kBody, false);
       }},
      {"bone up to its object",
       {kArm},
       "ParentItem 10000000",
       true,
       [](const Scene&, const Scene& s) { EXPECT_EQ(s.parentOf(kArm), kBody); }},
      {"nothing current", {}, "ParentItem 10000000", false},
      {"cycle", {kBody}, "ParentItem 40010000", false},
      {"to itself", {kLight}, "ParentItem 20000000", false},
      {"bone to no parent", {kArm}, "ParentItem 0", false},
      {"bone to another object", {kArm}, "ParentItem 10000001", false},
      {"bone to another object's bone", {kArm}, "ParentItem 40000001", false},
      {"unknown parent", {kLight}, "ParentItem 10000009", false},
      {"other object's bone to this one's", {kPropBone}, "ParentItem 40000000", false},
      {"missing parent", {kLight}, "ParentItem", false},
  });
}

TEST(StandinCommands, AddBones) {
  auto nothing = [](Scene& s) { s.addCommandsAddNothing = true; };
  auto freshBone = [](const Scene& s, ItemId parent, const char* name, double at) {
    const Item* bone = s.find(kNewBone);
    ASSERT_NE(bone, nullptr);
    EXPECT_EQ(bone->type, ItemType::Bone);
    EXPECT_EQ(bone->owner, kBody);
    EXPECT_EQ(bone->parent, parent);
    EXPECT_EQ(bone->name, name);
    EXPECT_EQ(bone->position(), (Vec3{0, 0, at}));
    EXPECT_EQ(bone->restPosition, (Vec3{0, 0, at}));
    EXPECT_EQ(bone->rotation(), (Vec3{0, 0, 0}));
    EXPECT_EQ(bone->restRotation, (Vec3{0, 0, 0}));
    EXPECT_TRUE(bone->active);
    EXPECT_FALSE(bone->hasKeys());
    EXPECT_EQ(s.selection(), std::vector<ItemId>{kNewBone});
  };
  run({
      {"to the current object",
       {kLight, kBody},
       "AddBone Hand",
       true,
       [=](const Scene&, const Scene& s) {
         freshBone(s, kBody, "Hand", 0);
         EXPECT_EQ(s.find(kNewBone)->restLength, 1);
       }},
      {"beside the current bone, with a unique name",
       {kRoot},
       "AddBone Arm",
       true,
       [=](const Scene&, const Scene& s) { freshBone(s, kBody, "Arm (2)", 0); }},
      {"a name with spaces",
       {kBody},
       "AddBone Left Hand  2",
       true,
       [=](const Scene&, const Scene& s) { freshBone(s, kBody, "Left Hand  2", 0); }},
      {"found anywhere in the listing",
       {kBody},
       "AddBone Hand",
       true,
       [](const Scene&, const Scene& s) { EXPECT_EQ(s.first(ItemType::Bone, kBody), kNewBone); },
       [](Scene& s) { s.insertNewBonesAt = 0; }},
      {"adding nothing", {kBody}, "AddBone Hand", true, unchanged, nothing},
      {"to a light", {kLight}, "AddBone Hand", false},
      {"adding nothing to a light", {kLight}, "AddBone Hand", false, nullptr, nothing},
      {"nothing current", {}, "AddBone Hand", false},
      {"no name", {kBody}, "AddBone", false},
      {"empty name", {kBody}, "AddBone ", false},
      {"double space", {kBody}, "AddBone  Hand", false},
      {"trailing space", {kBody}, "AddBone Hand ", false},
      {"child at the tip",
       {kRoot},
       "AddChildBone Tip",
       true,
       [=](const Scene&, const Scene& s) {
         freshBone(s, kRoot, "Tip", 2);
         EXPECT_EQ(s.find(kNewBone)->restLength, 2);
         EXPECT_TRUE(near(s.worldOrigin(kNewBone), s.worldTip(kRoot)));
       }},
      {"child with a taken name",
       {kRoot},
       "AddChildBone Root",
       true,
       [=](const Scene&, const Scene& s) { freshBone(s, kRoot, "Root (2)", 2); }},
      {"child adding nothing", {kRoot}, "AddChildBone Tip", true, unchanged, nothing},
      {"child of an object", {kBody}, "AddChildBone Tip", false},
      {"child of nothing", {}, "AddChildBone Tip", false},
      {"child without a name", {kRoot}, "AddChildBone", false},
  });
}

TEST(StandinCommands, Placement) {
  run({
      {"position",
       {kLight},
       "Position 1 -2.5 3e+00",
       true,
       [](const Scene&, const Scene& s) {
         EXPECT_EQ(s.find(kLight)->position(), (Vec3{1, -2.5, 3}));
         EXPECT_FALSE(s.find(kLight)->hasKeys());
       }},
      {"position keeps keys",
       {kLight},
       "Position 9 9 9",
       true,
       [](const Scene&, const Scene& s) {
         ASSERT_EQ(s.find(kLight)->keys[kPosX].size(), 1u);
         EXPECT_EQ(s.find(kLight)->keys[kPosX][0].value, 0);
         EXPECT_EQ(s.find(kLight)->position(), (Vec3{9, 9, 9}));
       },
       [](Scene& s) { s.createKey(kLight, 0); }},
      {"rotation in degrees",
       {kCamera},
       "Rotation 90 -45 1.5e+006",
       true,
       [](const Scene&, const Scene& s) {
         EXPECT_TRUE(near(s.find(kCamera)->rotation(), {90 * kDeg, -45 * kDeg, 1.5e6 * kDeg}));
       }},
      {"scale",
       {kBody},
       "Scale 0.5 2 -1",
       true,
       [](const Scene&, const Scene& s) {
         EXPECT_EQ(s.find(kBody)->scale(), (Vec3{0.5, 2, -1}));
       }},
      {"pivot",
       {kArm},
       "PivotPosition 1 2 3",
       true,
       [](const Scene&, const Scene& s) {
         EXPECT_EQ(s.find(kArm)->pivot, (Vec3{1, 2, 3}));
       }},
      {"pivot rotation",
       {kArm},
       "PivotRotation 0 90 -180",
       true,
       [](const Scene&, const Scene& s) {
         EXPECT_TRUE(near(s.find(kArm)->pivotRotation, {0, 90 * kDeg, -180 * kDeg}));
       }},
      {"only the current item",
       {kArm, kLight},
       "Position 1 1 1",
       true,
       [](const Scene& before, const Scene& s) {
         EXPECT_EQ(s.find(kArm)->current, before.find(kArm)->current);
       }},
      {"nothing current", {}, "Position 1 2 3", false},
      {"missing number", {kLight}, "Position 1 2", false},
      {"extra number", {kLight}, "Position 1 2 3 4", false},
      {"bad number", {kLight}, "Position 1 2 x", false},
      {"nan", {kLight}, "Position nan 0 0", false},
      {"inf", {kLight}, "Position 0 inf 0", false},
      {"overflowing", {kLight}, "Rotation 0 0 1e999", false},
      {"double space", {kLight}, "Position 1  2 3", false},
      {"leading space", {kLight}, " Position 1 2 3", false},
      {"trailing space", {kLight}, "Position 1 2 3 ", false},
      {"tab", {kLight}, "Position 1\t2 3", false},
      {"newline", {kLight}, "Position 1 2 3\n", false},
      {"wrong case", {kLight}, "position 1 2 3", false},
      {"pivot missing", {kLight}, "PivotPosition 1 2", false},
      {"pivot rotation bad", {kLight}, "PivotRotation 1 2 -", false},
  });
}

TEST(StandinCommands, NumberForms) {
  const struct {
    const char* text;
    bool ok;
    double value;
  } cases[] = {
      {"0.5", true, 0.5},       {"-45", true, -45},
      {"1.5e+06", true, 1.5e6}, {"1.5e+006", true, 1.5e6},
      {"1e-05", true, 1e-5},    {"-0", true, -0.0},
      {"2.", true, 2},          {".25", true, 0.25},
      {"1E+02", true, 100},     {"1.79769e+308", true, 1.79769e308},
      {"nan", false, 0},        {"-nan", false, 0},
      {"inf", false, 0},        {"-inf", false, 0},
      {"1e999", false, 0},      {"", false, 0},
      {"-", false, 0},          {".", false, 0},
      {"1e", false, 0},         {"1e+", false, 0},
      {"e5", false, 0},         {"1,5", false, 0},
      {"0x10", false, 0},       {"+1", false, 0},
      {"1.5.2", false, 0},      {"--1", false, 0},
      {"1f", false, 0},
  };
  for (const auto& c : cases) {
    Scene scene = startingScene();
    scene.select(kRoot);
    std::string line = std::string("BoneRestLength ") + c.text;
    CommandOutcome outcome = executeCommand(scene, line);
    EXPECT_EQ(outcome.ok, c.ok) << line;
    double stored = scene.find(kRoot)->restLength;
    if (c.ok) {
      EXPECT_EQ(stored, c.value) << line;
      EXPECT_EQ(std::signbit(stored), std::signbit(c.value)) << line;
    } else {
      EXPECT_EQ(stored, 2) << line;
    }
  }
}

}  // namespace
}  // namespace standin
