// Scene files on disk (saving, loading, failed saves) and the demo rig.
#include <gtest/gtest.h>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>
#include "scene_json_cases.h"
#include "standin/files/demo_rig.h"
#include "standin/files/json/scene_json.h"
#include "standin/files/scene_file.h"
#include "standin/scene/scene.h"
#include "support/file_text.h"
#include "support/temp_folder.h"

namespace standin {
namespace {

using namespace scene_json_cases;

// --- files ---

using SceneFiles = testing_support::FolderTest;
using testing_support::readFile;

TEST_F(SceneFiles, SaveThenLoad) {
  const Scene rig = demoRig();
  saveSceneFile(rig, path("rig.json"));
  EXPECT_EQ(readFile(path("rig.json")), sceneToJson(rig));
  // Saving again replaces the file and leaves no temporary behind.
  Scene other;
  other.addObject("Only");
  saveSceneFile(other, path("rig.json"));
  EXPECT_EQ(listing(), std::vector<std::string>{"rig.json"});
  EXPECT_EQ(loadSceneFile(path("rig.json")).itemCount(), 1u);
}

TEST_F(SceneFiles, LoadErrorsNameTheFile) {
  { std::ofstream(path("bad.json")) << R"({"items": [{"name": "A"}]})"; }
  { std::ofstream(path("bad.LWS")) << R"({"items": []})"; }  // .lws by its name
  struct Case {
    std::string file;
    std::string error;
  };
  const Case cases[] = {
      {path("missing.json"), "cannot read " + path("missing.json") + ": "},
      {folder_.string(), "cannot read " + folder_.string() + ": "},
      {path("bad.json"), path("bad.json") + ": items[0] (\"A\"): missing \"type\""},
      {path("scene.lws"), "cannot read " + path("scene.lws") + ": "},
      {path("bad.LWS"), path("bad.LWS") + ":1: not a LightWave scene"},
  };
  for (const Case& c : cases) {
    try {
      loadSceneFile(c.file);
      ADD_FAILURE() << c.file << " loaded";
    } catch (const SceneFileError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.error, 0), 0u) << e.what();
    }
  }
}

TEST_F(SceneFiles, FailedSaveLeavesTheTargetAlone) {
  const Scene rig = demoRig();
  // A folder in the way: the rename fails, the folder stays, the temporary goes.
  std::filesystem::create_directories(folder_ / "taken.json" / "inside");
  EXPECT_THROW(saveSceneFile(rig, path("taken.json")), SceneFileError);
  EXPECT_TRUE(std::filesystem::is_directory(folder_ / "taken.json" / "inside"));
  EXPECT_EQ(listing(), std::vector<std::string>{"taken.json"});

  try {
    saveSceneFile(rig, path("no/such/folder/x.json"));
    ADD_FAILURE() << "saved into a missing folder";
  } catch (const SceneFileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("cannot write " + path("no/such/folder/x.json"), 0), 0u)
        << e.what();
  }
  Scene unwritable;
  unwritable.addObject("Two\nlines");  // a name .lws cannot hold
  EXPECT_THROW(saveSceneFile(unwritable, path("x.lws")), SceneFileError);
  EXPECT_EQ(listing(), std::vector<std::string>{"taken.json"});
}

// --- the demo rig ---

TEST(DemoRig, IsValidAndComplete) {
  const Scene rig = demoRig();
  EXPECT_EQ(rig.validate(), "");
  EXPECT_EQ(rig.time(), 0);

  struct Part {
    const char* name;
    ItemType type;
    const char* parent;  // "(none)" for top-level items
  };
  const Part parts[] = {
      {"Hero", ItemType::Object, "(none)"},        {"Hips", ItemType::Bone, "Hero"},
      {"Spine", ItemType::Bone, "Hips"},           {"Chest", ItemType::Bone, "Spine"},
      {"Neck", ItemType::Bone, "Chest"},           {"Head", ItemType::Bone, "Neck"},
      {"L_Shoulder", ItemType::Bone, "Chest"},     {"L_UpperArm", ItemType::Bone, "L_Shoulder"},
      {"L_Forearm", ItemType::Bone, "L_UpperArm"}, {"L_Hand", ItemType::Bone, "L_Forearm"},
      {"L_Finger", ItemType::Bone, "L_Hand"},      {"L_FingerTip", ItemType::Bone, "L_Finger"},
      {"R_Shoulder", ItemType::Bone, "Chest"},     {"R_UpperArm", ItemType::Bone, "R_Shoulder"},
      {"R_Forearm", ItemType::Bone, "R_UpperArm"}, {"R_Hand", ItemType::Bone, "R_Forearm"},
      {"R_Finger", ItemType::Bone, "R_Hand"},      {"R_FingerTip", ItemType::Bone, "R_Finger"},
      {"L_Thigh", ItemType::Bone, "Hips"},         {"L_Shin", ItemType::Bone, "L_Thigh"},
      {"L_Foot", ItemType::Bone, "L_Shin"},        {"R_Thigh", ItemType::Bone, "Hips"},
      {"R_Shin", ItemType::Bone, "R_Thigh"},       {"R_Foot", ItemType::Bone, "R_Shin"},
      {"Key Light", ItemType::Light, "(none)"},    {"Camera", ItemType::Camera, "(none)"},
      {"Sword", ItemType::Object, "(none)"},       {"Shield", ItemType::Object, "(none)"},
  };
  EXPECT_EQ(rig.itemCount(), std::size(parts));  // and so every name is unique
  std::set<std::string> names;
  for (ItemId id : rig.allItems()) names.insert(rig.find(id)->name);
  EXPECT_EQ(names.size(), rig.itemCount());
  const ItemId hero = rig.findByName("Hero");
  for (const Part& p : parts) {
    SCOPED_TRACE(p.name);
    const Item* item = rig.find(rig.findByName(p.name));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->type, p.type);
    EXPECT_EQ(parentName(rig, p.name), p.parent);
    if (p.type != ItemType::Bone) continue;
    EXPECT_EQ(item->owner, hero);
    EXPECT_GT(item->restLength, 0);
    EXPECT_LT(item->restLength, 0.5);
    // Rest values are the pose at time 0.
    EXPECT_EQ(item->restPosition, item->position());
    EXPECT_EQ(item->restRotation, item->rotation());
  }
}

TEST(DemoRig, StandsLikeAFigure) {
  const Scene rig = demoRig();
  auto origin = [&](const char* name) { return rig.worldOrigin(rig.findByName(name)); };
  auto tip = [&](const char* name) { return rig.worldTip(rig.findByName(name)); };
  EXPECT_GT(origin("Head")[1], origin("Hips")[1] + 0.4);
  EXPECT_NEAR(tip("Head")[1], 1.8, 0.1);         // about 1.8 m tall
  EXPECT_GT(tip("Head")[1], origin("Head")[1]);  // the spine points up
  for (const char* foot : {"L_Foot", "R_Foot"}) {
    EXPECT_NEAR(origin(foot)[1], 0.1, 0.1) << foot;    // feet near the ground
    EXPECT_LT(tip(foot)[2], origin(foot)[2]) << foot;  // toes toward the camera
  }
  // Left on +X, right on -X, mirrored, arms out sideways.
  const Vec3 left = origin("L_Hand");
  const Vec3 right = origin("R_Hand");
  EXPECT_GT(left[0], 0.5);
  expectNear3(right, {-left[0], left[1], left[2]}, 1e-12, "mirrored hands");
  EXPECT_GT(left[1], origin("Hips")[1]);
  EXPECT_LT(origin("L_Thigh")[1] - origin("L_Shin")[1], 0.5);
  EXPECT_GT(origin("L_Thigh")[1], origin("L_Shin")[1]);  // legs point down
  // Props sit near the hands without hanging from them.
  auto distance = [](const Vec3& a, const Vec3& b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]));
  };
  EXPECT_LT(distance(origin("Shield"), left), 0.3);
  EXPECT_LT(distance(origin("Sword"), right), 0.3);

  const Item& light = *rig.find(rig.findByName("Key Light"));
  EXPECT_EQ(light.position(), (Vec3{-2, 2, -2}));
  expectNear3(light.rotation(), {45 * kDeg, 35 * kDeg, 0}, 1e-15, "light");
  EXPECT_EQ(rig.find(rig.findByName("Camera"))->position(), (Vec3{0, 1.5, -5}));
}

TEST(DemoRig, KeysMoveArmsAndHead) {
  Scene rig = demoRig();
  for (const char* name : {"L_UpperArm", "R_UpperArm", "Head"}) {
    const Item& item = *rig.find(rig.findByName(name));
    ASSERT_EQ(item.keys[kHeading].size(), 2u) << name;
    EXPECT_EQ(item.keys[kHeading][0].time, 0) << name;
    EXPECT_EQ(item.keys[kHeading][1].time, 1) << name;
    EXPECT_NE(rig.param(item.id, kRotation, 0), rig.param(item.id, kRotation, 1)) << name;
  }
  const double handAtZero = rig.worldOrigin(rig.findByName("L_Hand"))[1];
  rig.setTime(1);
  EXPECT_LT(rig.worldOrigin(rig.findByName("L_Hand"))[1], handAtZero - 0.2);  // arm lowered
  const Vec3 left = rig.worldOrigin(rig.findByName("L_Hand"));
  const Vec3 right = rig.worldOrigin(rig.findByName("R_Hand"));
  expectNear3(right, {-left[0], left[1], left[2]}, 1e-12, "mirrored at time 1");
}

}  // namespace
}  // namespace standin
