// An object's settings for all of its bones (falloff, faster bones, bone mode, limited bones,
// bones from another object) and the bone type: read from .lws and JSON, kept byte for byte
// on save, written for scenes that did not come from a file, refused when out of range.
#include <gtest/gtest.h>

#include <string>

#include "standin/files/json/scene_json.h"
#include "standin/files/lws/lws_reader.h"
#include "standin/files/lws/lws_writer.h"

namespace {

using standin::ObjectBoneSettings;
using standin::Scene;

std::string header() {
  return "LWSC\n3\n\nFirstFrame 1\nLastFrame 60\nFrameStep 1\nCurrentFrame 0\n"
         "FramesPerSecond 30\n\n";
}

// An object Body whose object lines end with `settings`, with one bone; and a null Cloth
// whose lines end with `clothLines`.
std::string scene(const std::string& settings, const std::string& boneLines = "",
                  const std::string& clothLines = "") {
  return header() + "LoadObjectLayer 1 Objects/Body.lwo\nShowObject 6 3\n" + settings +
         "AddBone\nBoneName Arm\nShowBone 1 3\nBoneActive 1\nBoneRestPosition 0 0 0\n"
         "BoneRestDirection 0 0 0\nBoneRestLength 1\nBoneStrength 1\nScaleBoneStrength 1\n" +
         boneLines + "\nAddNullObject Cloth\nShowObject 6 3\n" + clothLines;
}

ObjectBoneSettings settingsOf(const Scene& s, const char* name) {
  return s.find(s.findByName(name))->boneSettings;
}

TEST(ObjectBoneSettings, LwsLinesLoadAsSettingsAndSaveByteForByte) {
  const struct {
    const char* label;
    std::string text;
    int falloff, mode, limited, boneType;
    bool fromOther;
  } cases[] = {
      {"none given: full bones, falloff 5", scene(""), 5, standin::kBoneModeFull, 4, 0, false},
      {"older scenes: FasterBones 1", scene("BoneFalloffType 5\nFasterBones 1\n"), 5,
       standin::kBoneModeFaster, 4, 0, false},
      {"falloff 8 (^128)", scene("BoneFalloffType 8\nFasterBones 0\n"), 8, standin::kBoneModeFull,
       4, 0, false},
      // BoneMode wins over FasterBones.
      {"limited to 3", scene("BoneFalloffType 2\nFasterBones 1\nBoneMode 2\nNumLimitedBones 3\n"),
       2, standin::kBoneModeLimited, 3, 0, false},
      {"joint bone", scene("BoneFalloffType 5\n", "BoneType 1\n"), 5, standin::kBoneModeFull, 4, 1,
       false},
      {"bones from Body", scene("BoneFalloffType 5\n", "", "UseBonesFrom 10000000\n"), 5,
       standin::kBoneModeFull, 4, 0, true},
      // A count without a mode, and settings on an object without bones, stay as given.
      {"a count alone", scene("NumLimitedBones 3\n", "", "BoneFalloffType 2\nFasterBones 1\n"), 5,
       standin::kBoneModeFull, 3, 0, false},
  };
  for (const auto& c : cases) {
    const Scene s = standin::sceneFromLws(c.text, "rig.lws");
    const ObjectBoneSettings body = settingsOf(s, "Body");
    EXPECT_EQ(body.falloffType, c.falloff) << c.label;
    EXPECT_EQ(body.mode(), c.mode) << c.label;
    EXPECT_EQ(body.numLimitedBones, c.limited) << c.label;
    EXPECT_EQ(s.find(s.findByName("Arm"))->boneType, c.boneType) << c.label;
    ObjectBoneSettings cloth = settingsOf(s, "Cloth");
    EXPECT_EQ(cloth.bonesFromOtherObject, c.fromOther) << c.label;
    EXPECT_EQ(cloth.useBonesFrom, c.fromOther ? s.findByName("Body") : 0u) << c.label;
    EXPECT_EQ(standin::sceneToLws(s), c.text) << c.label;

    // Through JSON and back to a new .lws file the values stay.
    const Scene fromJson = standin::sceneFromJson(standin::sceneToJson(s));
    EXPECT_EQ(settingsOf(fromJson, "Body"), body) << c.label;
    EXPECT_EQ(settingsOf(fromJson, "Cloth").useBonesFrom,
              fromJson.findByName(c.fromOther ? "Body" : ""))
        << c.label;
    // A new file (LWSC 3) writes them all the same.
    const Scene fresh = standin::sceneFromLws(standin::sceneToLws(fromJson), "again.lws");
    EXPECT_EQ(settingsOf(fresh, "Body"), body) << c.label;
    ObjectBoneSettings cloth2 = settingsOf(fresh, "Cloth");
    EXPECT_EQ(cloth2.bonesFromOtherObject, c.fromOther) << c.label;
    cloth2.useBonesFrom = cloth.useBonesFrom = 0;
    cloth2.bonesFromOtherObject = cloth.bonesFromOtherObject;
    EXPECT_EQ(cloth2, cloth) << c.label;
    EXPECT_EQ(fresh.find(fresh.findByName("Arm"))->boneType, c.boneType) << c.label;
  }
}

TEST(ObjectBoneSettings, ValuesLayoutDoesNotOfferAreRefused) {
  const struct {
    std::string text;
    const char* says;
  } cases[] = {
      {scene("BoneFalloffType 0\n"), "BoneFalloffType must be from 1 to 8"},
      {scene("BoneFalloffType 9\n"), "BoneFalloffType must be from 1 to 8"},
      {scene("BoneFalloffType x\n"), "is not a whole number"},
      {scene("BoneMode 3\n"), "BoneMode must be 0, 1 or 2"},
      {scene("NumLimitedBones 0\n"), "NumLimitedBones must be from 1"},
      {scene("", "BoneType 2\n"), "BoneType must be 0 or 1"},
      {scene("", "", "UseBonesFrom\n"), "UseBonesFrom needs an item id"},
  };
  for (const auto& c : cases) {
    try {
      standin::sceneFromLws(c.text, "rig.lws");
      ADD_FAILURE() << c.says;
    } catch (const standin::SceneFileError& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
}

TEST(ObjectBoneSettings, JsonFieldsAreOptionalCheckedAndWrittenOnlyWhenSet) {
  const Scene plain = standin::sceneFromJson(R"({"items": [
    {"name": "Body", "type": "object"},
    {"name": "Arm", "type": "bone", "parent": "Body"}]})");
  EXPECT_EQ(settingsOf(plain, "Body"), ObjectBoneSettings{});
  const std::string written = standin::sceneToJson(plain);
  for (const char* field : {"boneFalloffType", "fasterBones", "boneMode", "numLimitedBones",
                            "useBonesFrom", "boneType"}) {
    EXPECT_EQ(written.find(field), std::string::npos) << field;
  }

  const Scene set = standin::sceneFromJson(R"({"items": [
    {"name": "Body", "type": "object", "boneFalloffType": 3, "fasterBones": true,
     "boneMode": 2, "numLimitedBones": 2},
    {"name": "Cloth", "type": "object", "useBonesFrom": "Body"},
    {"name": "Arm", "type": "bone", "parent": "Body", "boneType": 1}]})");
  const ObjectBoneSettings body = settingsOf(set, "Body");
  EXPECT_EQ(body.falloffType, 3);
  EXPECT_TRUE(body.fasterBones);
  EXPECT_EQ(body.mode(), standin::kBoneModeLimited);
  EXPECT_EQ(body.numLimitedBones, 2);
  EXPECT_EQ(settingsOf(set, "Cloth").useBonesFrom, set.findByName("Body"));
  EXPECT_EQ(set.find(set.findByName("Arm"))->boneType, standin::kBoneTypeJoint);

  const struct {
    const char* items;
    const char* says;
  } bad[] = {
      {R"({"name": "O", "type": "object", "boneFalloffType": 0})", "falloff type from 1 to 8"},
      {R"({"name": "O", "type": "object", "boneFalloffType": 2.5})", "falloff type from 1 to 8"},
      {R"({"name": "O", "type": "object", "boneMode": 3})", "0 (full), 1 (faster) or 2"},
      {R"({"name": "O", "type": "object", "numLimitedBones": 0})", "bone count from 1"},
      {R"({"name": "O", "type": "object", "fasterBones": 1})", "must be true or false"},
      {R"({"name": "L", "type": "light", "boneFalloffType": 5})", "is for objects only"},
      {R"({"name": "O", "type": "object", "useBonesFrom": "Nobody"})", "names no object"},
      {R"({"name": "O", "type": "object"}, {"name": "B", "type": "bone", "parent": "O",
          "boneType": 2})",
       "must be 0 (z-axis) or 1 (joint)"},
  };
  for (const auto& b : bad) {
    try {
      standin::sceneFromJson(std::string(R"({"items": [)") + b.items + "]}");
      ADD_FAILURE() << b.items;
    } catch (const standin::SceneFileError& error) {
      EXPECT_NE(std::string(error.what()).find(b.says), std::string::npos) << error.what();
    }
  }
}

}  // namespace

namespace {

// Layout writes the map flags only after a map name; a file that gives them without one
// keeps them through JSON and a new .lws file.
TEST(ObjectBoneSettings, MapFlagsWithoutAMapSurviveANewFile) {
  const Scene s = standin::sceneFromLws(
      scene("BoneFalloffType 5\n", "BoneWeightMapOnly 1\nBoneNormalization 0\n"), "rig.lws");
  const Scene fresh = standin::sceneFromLws(
      standin::sceneToLws(standin::sceneFromJson(standin::sceneToJson(s))), "again.lws");
  const standin::BoneDeformation& d = fresh.find(fresh.findByName("Arm"))->deformation;
  EXPECT_TRUE(d.weightMap.empty());
  EXPECT_TRUE(d.weightMapOnly);
  EXPECT_FALSE(d.normalization);
}

}  // namespace
