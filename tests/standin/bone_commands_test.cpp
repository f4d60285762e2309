// The stand-in's Layout commands: bone values, keys and text it does not know.
#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>
#include "commands_cases.h"
#include "standin/layout/commands.h"

namespace standin {
namespace {

using namespace commands_cases;

TEST(StandinCommands, BoneValues) {
  auto posedArm = [](Scene& s) {
    s.setPosition(kArm, {0.5, 1, 2});
    s.setRotation(kArm, {0.1, 0.2, 0.3});
    s.find(kArm)->restScale = {2, 2, 2};
  };
  run({
      {"rest position",
       {kArm},
       "BoneRestPosition 1 2 3",
       true,
       [](const Scene& before, const Scene& s) {
         EXPECT_EQ(s.find(kArm)->restPosition, (Vec3{1, 2, 3}));
         EXPECT_EQ(s.find(kArm)->current, before.find(kArm)->current);
       }},
      {"rest rotation",
       {kArm},
       "BoneRestRotation 0 90 45",
       true,
       [](const Scene&, const Scene& s) {
         EXPECT_TRUE(near(s.find(kArm)->restRotation, {0, 90 * kDeg, 45 * kDeg}));
       }},
      {"rest length",
       {kArm},
       "BoneRestLength 3.25",
       true,
       [](const Scene&, const Scene& s) { EXPECT_EQ(s.find(kArm)->restLength, 3.25); }},
      {"zero rest length",
       {kArm},
       "BoneRestLength 0",
       true,
       [](const Scene&, const Scene& s) { EXPECT_EQ(s.find(kArm)->restLength, 0); }},
      {"negative rest length",
       {kArm},
       "BoneRestLength -2.5",
       true,
       [](const Scene&, const Scene& s) { EXPECT_EQ(s.find(kArm)->restLength, -2.5); }},
      {"record rest position",
       {kArm},
       "RecordRestPosition",
       true,
       [](const Scene&, const Scene& s) {
         const Item& arm = *s.find(kArm);
         EXPECT_EQ(arm.restPosition, (Vec3{0.5, 1, 2}));
         EXPECT_EQ(arm.restRotation, (Vec3{0.1, 0.2, 0.3}));
         EXPECT_EQ(arm.restScale, (Vec3{2, 2, 2}));
       },
       posedArm},
      {"deactivate",
       {kArm},
       "BoneActive",
       true,
       [](const Scene&, const Scene& s) { EXPECT_FALSE(s.find(kArm)->active); }},
      {"activate",
       {kArm},
       "BoneActive",
       true,
       [](const Scene&, const Scene& s) { EXPECT_TRUE(s.find(kArm)->active); },
       [](Scene& s) { s.find(kArm)->active = false; }},
      {"rest position of a light", {kLight}, "BoneRestPosition 1 2 3", false},
      {"rest rotation of an object", {kBody}, "BoneRestRotation 0 0 0", false},
      {"rest length of a camera", {kCamera}, "BoneRestLength 1", false},
      {"rest length nan", {kArm}, "BoneRestLength nan", false},
      {"rest length missing", {kArm}, "BoneRestLength", false},
      {"rest position short", {kArm}, "BoneRestPosition 1 2", false},
      {"record on an object", {kBody}, "RecordRestPosition", false, nullptr, posedArm},
      {"record with nothing current", {}, "RecordRestPosition", false},
      {"toggle a light", {kLight}, "BoneActive", false},
      {"toggle with an argument", {kArm}, "BoneActive 1", false},
  });
}

TEST(StandinCommands, Keys) {
  auto keyedAtOne = [](Scene& s) {
    s.setPosition(kLight, {1, 1, 1});
    s.createKey(kLight, 1);
    s.setPosition(kLight, {3, 0, 0});
  };
  run({
      {"create",
       {kLight},
       "CreateKey 1.5",
       true,
       [](const Scene&, const Scene& s) {
         const Item& light = *s.find(kLight);
         for (int c = 0; c < kChannelCount; ++c) {
           ASSERT_EQ(light.keys[c].size(), 1u) << c;
           EXPECT_EQ(light.keys[c][0].time, 1.5);
           EXPECT_EQ(light.keys[c][0].value, light.current[c]);
         }
         EXPECT_EQ(light.keys[kPosX][0].value, 3);
       },
       [](Scene& s) {
         s.setPosition(kLight, {3, 0, 0});
       }},
      {"update",
       {kLight},
       "CreateKey 1",
       true,
       [](const Scene&, const Scene& s) {
         ASSERT_EQ(s.find(kLight)->keys[kPosX].size(), 1u);
         EXPECT_EQ(s.find(kLight)->keys[kPosX][0].value, 3);
       },
       keyedAtOne},
      {"delete",
       {kLight},
       "DeleteKey 1",
       true,
       [](const Scene&, const Scene& s) {
         EXPECT_FALSE(s.find(kLight)->hasKeys());
         EXPECT_EQ(s.find(kLight)->position(), (Vec3{3, 0, 0}));
       },
       keyedAtOne},
      {"delete where there is no key", {kLight}, "DeleteKey 2", true, unchanged, keyedAtOne},
      {"create with nothing current", {}, "CreateKey 1", false},
      {"delete with nothing current", {}, "DeleteKey 1", false, nullptr, keyedAtOne},
      {"create at inf", {kLight}, "CreateKey inf", false},
      {"create without a time", {kLight}, "CreateKey", false},
      {"create with two times", {kLight}, "CreateKey 1 2", false},
      {"delete at a bad time", {kLight}, "DeleteKey one", false, nullptr, keyedAtOne},
  });
}

TEST(StandinCommands, UnknownText) {
  run({
      {"empty", {kBody}, "", false},
      {"a space", {kBody}, " ", false},
      {"unknown command", {kBody}, "Frobnicate", false},
      {"wrong case", {}, "selectitem 10000000", false},
      {"joined", {kBody}, "ClearSelected;", false},
      {"carriage return", {kBody}, "ClearSelected\r", false},
      {"leading space", {kBody}, " ClearSelected", false},
      {"trailing space", {kBody}, "ClearSelected ", false},
  });
}

}  // namespace
}  // namespace standin
