// JSON scene files: refusing invalid files, reading, writing and round trips.
#include "standin/files/json/scene_json.h"
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
#include "standin/files/scene_file.h"
#include "standin/scene/scene.h"
#include "support/file_text.h"
#include "support/temp_folder.h"

namespace standin {
namespace {

using namespace scene_json_cases;

// --- invalid files ---

struct BadFile {
  const char* what;
  const char* text;
  const char* error;  // expected substring of the message
};

const BadFile kBadFiles[] = {
    {"syntax", R"({"items": [})", "invalid JSON: parse error at line 1, column 12"},
    {"not an object", "[1, 2]", "a scene file must be a JSON object"},
    {"huge exponent", R"({"time": 1e999})", "invalid JSON: number overflow"},
    {"repeated field", R"({"time": 0, "time": 1})", "field \"time\" appears twice"},
    {"repeated item field",
     R"({"items": [{"name": "A", "type": "object", "parent": null, "parent": "A"}]})",
     "field \"parent\" appears twice"},
    {"time not a number", R"({"time": "0"})", "\"time\" must be a finite number"},
    {"unknown top field", R"({"tiem": 0})", "unknown field \"tiem\""},
    {"parentInPlace not bool", R"({"parentInPlace": 1})",
     "\"parentInPlace\" must be true or false"},
    {"items not array", R"({"items": {}})", "\"items\" must be an array"},
    {"item not object", R"({"items": [3]})", "items[0]: must be an object"},
    {"missing name", R"({"items": [{"type": "object"}]})", "items[0]: missing \"name\""},
    {"name not string", R"({"items": [{"name": 5, "type": "object"}]})",
     "items[0]: \"name\" must be a string"},
    {"empty name", R"({"items": [{"name": "", "type": "object"}]})", "items[0]: empty name"},
    {"missing type", R"({"items": [{"name": "A"}]})", "items[0] (\"A\"): missing \"type\""},
    {"unknown type", R"({"items": [{"name": "A", "type": "null"}]})",
     "items[0] (\"A\"): unknown type \"null\" (expected object, light, camera or bone)"},
    {"short vector",
     R"({"items": [{"name": "A", "type": "object"},
                   {"name": "Forearm", "type": "bone", "parent": "A", "position": [1, 2]}]})",
     "items[1] (\"Forearm\"): \"position\" must be an array of 3 finite numbers"},
    {"string in vector", R"({"items": [{"name": "A", "type": "object", "scale": [1, "2", 3]}]})",
     "items[0] (\"A\"): \"scale\" must be an array of 3 finite numbers"},
    {"overflow in vector",
     R"({"items": [{"name": "A", "type": "object", "pivot": [0, 1e400, 0]}]})",
     "invalid JSON: number overflow"},
    {"misspelt field", R"({"items": [{"name": "A", "type": "object", "positon": [0, 0, 0]}]})",
     "items[0] (\"A\"): unknown field \"positon\""},
    {"bone field on object", R"({"items": [{"name": "A", "type": "object", "restLength": 2}]})",
     "items[0] (\"A\"): \"restLength\" is for bones only"},
    {"active not bool",
     R"({"items": [{"name": "A", "type": "object"},
                   {"name": "B", "type": "bone", "parent": "A", "active": 1}]})",
     "items[1] (\"B\"): \"active\" must be true or false"},
    {"restLength not number",
     R"({"items": [{"name": "A", "type": "object"},
                   {"name": "B", "type": "bone", "parent": "A", "restLength": null}]})",
     "\"restLength\" must be a finite number"},
    {"id not string", R"({"items": [{"name": "A", "type": "object", "id": 7}]})",
     "\"id\" must be a string"},
    {"parent not a name", R"({"items": [{"name": "A", "type": "object", "parent": 3}]})",
     "\"parent\" must be a name or null"},
    {"duplicate name",
     R"({"items": [{"name": "A", "type": "object"}, {"name": "A", "type": "light"}]})",
     "items[1] (\"A\"): duplicate name (also items[0])"},
    {"unknown parent", R"({"items": [{"name": "Forearm", "type": "object", "parent": "Elbow"}]})",
     "items[0] (\"Forearm\"): unknown parent \"Elbow\""},
    {"own parent", R"({"items": [{"name": "A", "type": "object", "parent": "A"}]})",
     "parenting cycle \"A\" -> \"A\""},
    {"cycle of objects",
     R"({"items": [{"name": "A", "type": "object", "parent": "B"},
                   {"name": "B", "type": "light", "parent": "A"}]})",
     "parenting cycle \"A\" -> \"B\" -> \"A\""},
    {"object under its own bone",
     R"({"items": [{"name": "A", "type": "object", "parent": "B"},
                   {"name": "B", "type": "bone", "parent": "A"}]})",
     "parenting cycle"},
    {"bone without parent", R"({"items": [{"name": "B", "type": "bone"}]})",
     "items[0] (\"B\"): a bone needs a parent"},
    {"bone under a light",
     R"({"items": [{"name": "L", "type": "light"}, {"name": "B", "type": "bone", "parent": "L"}]})",
     "items[1] (\"B\"): a bone must be under an object, not the light \"L\""},
    {"bone chain ending at a camera",
     R"({"items": [{"name": "B2", "type": "bone", "parent": "B1"},
                   {"name": "B1", "type": "bone", "parent": "C"},
                   {"name": "C", "type": "camera"}]})",
     "items[1] (\"B1\"): a bone must be under an object, not the camera \"C\""},
    {"bone chain ending nowhere",
     R"({"items": [{"name": "B2", "type": "bone", "parent": "B1"},
                   {"name": "B1", "type": "bone"}]})",
     "items[1] (\"B1\"): a bone needs a parent"},
    {"key not object", R"({"items": [{"name": "A", "type": "object", "keys": [0]}]})",
     "items[0] (\"A\"): keys[0]: must be an object"},
    {"key without time",
     R"({"items": [{"name": "A", "type": "object", "keys": [{"position": [0, 0, 0]}]}]})",
     "items[0] (\"A\"): keys[0]: missing \"time\""},
    {"key field misspelt",
     R"({"items": [{"name": "A", "type": "object", "keys": [{"time": 0, "rot": [0, 0, 0]}]}]})",
     "keys[0]: unknown field \"rot\""},
    {"key vector bad",
     R"({"items": [{"name": "A", "type": "object", "keys": [{"time": 0, "scale": [1]}]}]})",
     "keys[0]: \"scale\" must be an array of 3 finite numbers"},
    {"two keys at one time",
     R"({"items": [{"name": "A", "type": "object", "keys": [{"time": 1}, {"time": 0}, {"time": 1.0}]}]})",
     "items[0] (\"A\"): two keys at time 1"},
    {"selection entry not name",
     R"({"items": [{"name": "A", "type": "object"}], "selection": [null]})",
     "selection[0] must be a name"},
    {"selection unknown", R"({"items": [{"name": "A", "type": "object"}], "selection": ["B"]})",
     "selection: unknown item \"B\""},
    {"selection twice", R"({"items": [{"name": "A", "type": "object"}], "selection": ["A", "A"]})",
     "selection: \"A\" is listed twice"},
};

TEST(SceneJson, RejectsInvalidFiles) {
  for (const BadFile& bad : kBadFiles) {
    const std::string error = errorOf(bad.text);
    EXPECT_NE(error.find(bad.error), std::string::npos)
        << bad.what << ": got \"" << error << "\", expected \"" << bad.error << "\"";
    EXPECT_EQ(error.find('\n'), std::string::npos) << bad.what << ": not one line";
  }
}

TEST(SceneJson, RejectsNonFiniteValuesBuiltInCode) {
  nlohmann::json item = {{"name", "A"}, {"type", "object"}};
  item["position"] = {0.0, std::nan(""), 0.0};
  nlohmann::json scene = {{"items", nlohmann::json::array({item})}};
  EXPECT_THROW(sceneFromJsonValue(scene), SceneFileError);
  scene = {{"time", HUGE_VAL}};
  EXPECT_THROW(sceneFromJsonValue(scene), SceneFileError);
}

// --- reading ---

TEST(SceneJson, MissingFieldsTakeLayoutDefaults) {
  const Scene scene = sceneFromJson(R"({"items": [
      {"name": "Rig", "type": "object"},
      {"name": "Bone", "type": "bone", "parent": "Rig"}]})");
  EXPECT_EQ(scene.time(), 0);
  EXPECT_TRUE(scene.parentInPlace);
  EXPECT_TRUE(scene.selection().empty());
  const Item& rig = *scene.find(idOf(scene, "Rig"));
  EXPECT_EQ(rig.parent, 0u);
  EXPECT_EQ(rig.scale(), (Vec3{1, 1, 1}));
  EXPECT_EQ(rig.position(), (Vec3{0, 0, 0}));
  EXPECT_FALSE(rig.hasKeys());
  const Item& bone = *scene.find(idOf(scene, "Bone"));
  EXPECT_EQ(bone.restLength, 1);
  EXPECT_TRUE(bone.active);
  EXPECT_EQ(bone.restScale, (Vec3{1, 1, 1}));
  EXPECT_EQ(bone.owner, rig.id);
}

TEST(SceneJson, RotationsAreDegreesInTheFile) {
  const Scene scene = sceneFromJson(R"({"items": [
      {"name": "Rig", "type": "object", "rotation": [90, -45, 180], "pivotRotation": [0, 30, 0]},
      {"name": "B", "type": "bone", "parent": "Rig", "restRotation": [10, 0, 0]}]})");
  const Item& rig = *scene.find(idOf(scene, "Rig"));
  expectNear3(rig.rotation(), {kPi / 2, -kPi / 4, kPi}, 1e-15, "rotation");
  expectNear3(rig.pivotRotation, {0, kPi / 6, 0}, 1e-15, "pivotRotation");
  expectNear3(scene.find(idOf(scene, "B"))->restRotation, {10 * kDeg, 0, 0}, 1e-15, "rest");

  const nlohmann::json out = sceneToJsonValue(scene);
  EXPECT_EQ(out["items"][0]["rotation"], nlohmann::json::parse("[90.0, -45.0, 180.0]"));
  EXPECT_EQ(out["items"][0]["pivotRotation"][1], 30.0);
}

TEST(SceneJson, KeysGiveValuesAtTheSceneTimeUnlessCurrentValuesAreGiven) {
  const Scene scene = sceneFromJson(R"({"time": 0.5, "items": [
      {"name": "Keyed", "type": "object", "scale": [2, 2, 2],
       "keys": [{"time": 1, "position": [10, 0, 0], "rotation": [90, 0, 0]},
                {"time": 0, "position": [0, 0, 0], "rotation": [0, 0, 0]}]},
      {"name": "Moved", "type": "object", "position": [7, 8, 9],
       "keys": [{"time": 0, "position": [0, 0, 0]}, {"time": 1, "position": [4, 0, 0]},
                {"time": 2}]}]})");
  const Item& keyed = *scene.find(idOf(scene, "Keyed"));
  expectNear3(keyed.position(), {5, 0, 0}, 1e-12, "interpolated position");
  expectNear3(keyed.rotation(), {kPi / 4, 0, 0}, 1e-12, "interpolated rotation");
  // Parts a key leaves out hold the item's static value.
  ASSERT_EQ(keyed.keys[kScaleX].size(), 2u);
  EXPECT_EQ(keyed.keys[kScaleX][0].value, 2);
  EXPECT_EQ(keyed.keys[kPosX][0].time, 0);  // sorted
  EXPECT_EQ(keyed.keys[kPosX][1].value, 10);

  const Item& moved = *scene.find(idOf(scene, "Moved"));
  EXPECT_EQ(moved.position(), (Vec3{7, 8, 9}));  // off the keys, as saved
  EXPECT_EQ(moved.keys[kPosX][1].value, 4);
  EXPECT_EQ(moved.keys[kPosY][2].value, 8);  // the static value fills the key
}

TEST(SceneJson, ForwardParentReferences) {
  const Scene scene = sceneFromJson(R"({"items": [
      {"name": "Tip", "type": "bone", "parent": "Mid", "position": [0, 0, 1]},
      {"name": "Lamp", "type": "light", "parent": "Stand"},
      {"name": "Mid", "type": "bone", "parent": "Root"},
      {"name": "Root", "type": "bone", "parent": "Rig"},
      {"name": "Rig", "type": "object", "parent": "Stand"},
      {"name": "Stand", "type": "object"},
      {"name": "Prop", "type": "object", "parent": "Tip"}]})");
  EXPECT_EQ(scene.validate(), "");
  EXPECT_EQ(parentName(scene, "Tip"), "Mid");
  EXPECT_EQ(parentName(scene, "Mid"), "Root");
  EXPECT_EQ(parentName(scene, "Root"), "Rig");
  EXPECT_EQ(parentName(scene, "Rig"), "Stand");
  EXPECT_EQ(parentName(scene, "Lamp"), "Stand");
  EXPECT_EQ(parentName(scene, "Prop"), "Tip");
  const ItemId rig = idOf(scene, "Rig");
  EXPECT_EQ(scene.find(idOf(scene, "Tip"))->owner, rig);
  // Bones keep the file's listing order even though Tip was made before its parent.
  std::vector<std::string> bones;
  for (ItemId b = scene.first(ItemType::Bone, rig); b != 0; b = scene.next(b)) {
    bones.push_back(scene.find(b)->name);
  }
  EXPECT_EQ(bones, (std::vector<std::string>{"Tip", "Mid", "Root"}));
  // Values stay relative to the parent as written.
  EXPECT_EQ(scene.find(idOf(scene, "Tip"))->position(), (Vec3{0, 0, 1}));

  const std::string saved = sceneToJson(scene);
  EXPECT_EQ(sceneToJson(sceneFromJson(saved)), saved);
}

TEST(SceneJson, IdsFollowCreationOrderAndFileIdsAreIgnored) {
  const Scene scene = sceneFromJson(R"({"items": [
      {"name": "First", "type": "object", "id": "deadbeef"},
      {"name": "B1", "type": "bone", "parent": "First"},
      {"name": "B2", "type": "bone", "parent": "B1", "id": "1"},
      {"name": "Second", "type": "object"},
      {"name": "S1", "type": "bone", "parent": "Second"},
      {"name": "Lamp", "type": "light"},
      {"name": "Cam", "type": "camera"}]})");
  const std::vector<std::pair<const char*, const char*>> expected = {
      {"First", "10000000"}, {"B1", "40000000"},   {"B2", "40010000"}, {"Second", "10000001"},
      {"S1", "40000001"},    {"Lamp", "20000000"}, {"Cam", "30000000"}};
  for (const auto& [name, id] : expected) EXPECT_EQ(idText(idOf(scene, name)), id) << name;
  const nlohmann::json out = sceneToJsonValue(scene);
  EXPECT_EQ(out["items"][2]["id"], "40010000");
}

TEST(SceneJson, SelectionKeepsItsOrder) {
  const Scene scene = sceneFromJson(R"({"selection": ["C", "A", "B"], "items": [
      {"name": "A", "type": "object"}, {"name": "B", "type": "light"},
      {"name": "C", "type": "camera"}]})");
  ASSERT_EQ(scene.selection().size(), 3u);
  EXPECT_EQ(scene.find(scene.selection()[0])->name, "C");
  EXPECT_EQ(scene.find(scene.currentItem())->name, "B");
}

// --- writing and round trips ---

// A scene with everything a file can hold, built through the API.
Scene richScene() {
  Scene scene;
  scene.parentInPlace = false;
  const ItemId rig = scene.addObject("Rig");
  const ItemId root = scene.addBone(rig, rig, "Root");
  const ItemId arm = scene.addBone(rig, root, "Arm \"left\"");
  const ItemId lamp = scene.addLight("Lamp");
  scene.addCamera("Cam");
  const ItemId prop = scene.addObject("Prop");
  scene.setParent(prop, arm, false);
  scene.setParent(lamp, rig, false);

  scene.setPosition(rig, {1.25, -0.5, 3});
  scene.setRotation(rig, {0.1234567, -3.0, 1e-7});
  scene.setScale(rig, {1, 2.5, 0.75});
  Item& rigItem = *scene.find(rig);
  rigItem.pivot = {0.1, 0.2, 0.3};
  rigItem.pivotRotation = {0.3, -0.2, 2.9};

  Item& armItem = *scene.find(arm);
  armItem.restPosition = {0, 0, 0.7};
  armItem.restRotation = {0.25, 1.1, -0.05};
  armItem.restScale = {1, 1.5, 1};
  armItem.restLength = 0.333;
  armItem.active = false;

  scene.setRotation(arm, {0.2, 0.4, 0.6});
  scene.createKey(arm, 0);
  scene.setRotation(arm, {-1.7, 0.9, 2 * kPi + 0.1});
  scene.setPosition(arm, {0, 0.5, 0.7});
  scene.createKey(arm, 1.5);
  // Channels keyed at different times: the file merges them into one key per time.
  Item& propItem = *scene.find(prop);
  propItem.keys[kPosX] = {{0, 1}, {2, 3}};
  propItem.keys[kBank] = {{1, 0.5}};
  scene.setTime(0.75);
  scene.setPosition(root, {0.3, 0.1, 0});      // a current value off any key
  scene.setRotation(arm, {0.01, 0.02, 0.03});  // keyed item moved without a key
  scene.select(prop);
  scene.addToSelection(rig);
  return scene;
}

TEST(SceneJson, RoundTripsKeepTextAndValues) {
  struct Case {
    const char* what;
    Scene scene;
  };
  Case cases[] = {{"demo rig", demoRig()}, {"rich scene", richScene()}, {"empty", Scene()}};
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(c.scene.validate(), "");
    const std::string first = sceneToJson(c.scene);
    const Scene loaded = sceneFromJson(first);
    EXPECT_EQ(sceneToJson(loaded), first);
    expectSameScene(c.scene, loaded, 1e-12);
    // The value form loads the same way as the text.
    EXPECT_EQ(sceneToJson(sceneFromJsonValue(sceneToJsonValue(c.scene))), first);
  }
}

TEST(SceneJson, AnglesSurviveRepeatedRoundTrips) {
  // Degrees <-> radians is inexact; many varied angles make a drift show in the text.
  Scene scene;
  const ItemId spinner = scene.addObject("Spinner");
  std::uint64_t state = 12345;
  auto next = [&state]() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 11) / 9007199254740992.0;  // [0, 1)
  };
  for (int k = 0; k < 1000; ++k) {
    const double scale = std::pow(10.0, static_cast<int>(next() * 8) - 4);
    scene.setRotation(spinner, {(next() - 0.5) * scale, next() * 7, -next()});
    scene.createKey(spinner, k * 0.1);
  }
  const std::string first = sceneToJson(scene);
  const Scene loaded = sceneFromJson(first);
  EXPECT_TRUE(sceneToJson(loaded) == first);  // EXPECT_EQ would diff megabytes
  const Item& a = *scene.find(spinner);
  const Item& b = *loaded.find(loaded.findByName("Spinner"));
  for (int c = kHeading; c <= kBank; ++c) {
    ASSERT_EQ(a.keys[c].size(), b.keys[c].size());
    for (std::size_t k = 0; k < a.keys[c].size(); ++k) {
      EXPECT_NEAR(a.keys[c][k].value, b.keys[c][k].value,
                  1e-12 * (1 + std::fabs(a.keys[c][k].value)));
    }
  }
}

TEST(SceneJson, WritesEveryFieldAndOneKeyPerTime) {
  const nlohmann::json out = sceneToJsonValue(richScene());
  EXPECT_EQ(out["time"], 0.75);
  EXPECT_EQ(out["parentInPlace"], false);
  EXPECT_EQ(out["selection"], nlohmann::json::parse(R"(["Prop", "Rig"])"));
  const auto& items = out["items"];
  ASSERT_EQ(items.size(), 6u);
  const std::set<std::string> common{"id",       "name",  "type",  "parent",        "position",
                                     "rotation", "scale", "pivot", "pivotRotation", "keys"};
  std::set<std::string> boneFields = common;
  boneFields.insert({"restPosition", "restRotation", "restScale", "restLength", "active"});
  for (const auto& item : items) {
    std::set<std::string> fields;
    for (const auto& [key, value] : item.items()) fields.insert(key);
    EXPECT_EQ(fields, item["type"] == "bone" ? boneFields : common) << item["name"];
  }
  EXPECT_EQ(items[0]["parent"], nullptr);
  EXPECT_EQ(items[2]["name"], "Arm \"left\"");
  EXPECT_EQ(items[2]["parent"], "Root");
  EXPECT_EQ(items[2]["active"], false);
  EXPECT_EQ(items[3]["type"], "light");
  EXPECT_EQ(items[3]["parent"], "Rig");

  const auto& propKeys = items[5]["keys"];
  ASSERT_EQ(propKeys.size(), 3u);  // times 0, 1, 2 from two channels
  EXPECT_EQ(propKeys[1]["time"], 1.0);
  // A channel without a key at that time is null, so that no key is made up for it.
  EXPECT_EQ(propKeys[1]["position"], nlohmann::json::parse("[null, null, null]"));
  EXPECT_NEAR(propKeys[1]["rotation"][2].get<double>(), 0.5 / kDeg, 1e-9);
  EXPECT_EQ(propKeys[2]["position"][0], 3.0);
  EXPECT_EQ(propKeys[2]["scale"], nlohmann::json::parse("[null, null, null]"));
  EXPECT_FALSE(propKeys[0].contains("span"));  // linear keys stay as they always were
}

TEST(SceneJson, SpanTypesParametersAndBehaviours) {
  const Scene scene = sceneFromJson(R"({"items": [
      {"name": "A", "type": "object", "behaviors": [2, 5],
       "keys": [{"time": 0, "position": [0, 0, 0], "span": 0, "params": [0.5, 0, 0, 0, 0, 0]},
                {"time": 1, "position": [1, null, 2],
                 "span": [4, 0, 1, 3, 3, 3, 3, 3, 3],
                 "params": [null, null, [0, 0, 0, 1.5, -2, 0], null, null, null, null, null,
                            null]}]},
      {"name": "B", "type": "object",
       "behaviors": [[0, 1], [1, 1], [1, 1], [1, 1], [1, 1], [1, 1], [1, 1], [1, 1], [3, 4]]},
      {"name": "Bone", "type": "bone", "parent": "A", "strength": 2.5, "scaleStrength": false}]})");
  const Item& a = *scene.find(idOf(scene, "A"));
  ASSERT_EQ(a.keys[kPosY].size(), 1u);  // null: no key at time 1
  ASSERT_EQ(a.keys[kPosX].size(), 2u);
  EXPECT_EQ(a.keys[kPosX][0].span, kSpanTCB);
  EXPECT_EQ(a.keys[kPosX][0].params[0], 0.5);
  EXPECT_EQ(a.keys[kPosX][1].span, kSpanStepped);
  EXPECT_EQ(a.keys[kPosZ][1].span, kSpanHermite);
  EXPECT_EQ(a.keys[kPosZ][1].params[4], -2);
  EXPECT_EQ(a.keys[kHeading][1].span, kSpanLinear);
  EXPECT_EQ(a.behaviors[kScaleZ].pre, kEndRepeat);
  EXPECT_EQ(a.behaviors[kScaleZ].post, kEndLinear);
  const Item& b = *scene.find(idOf(scene, "B"));
  EXPECT_EQ(b.behaviors[kPosX].pre, kEndReset);
  EXPECT_EQ(b.behaviors[kScaleZ].post, kEndOffsetRepeat);
  EXPECT_EQ(scene.find(idOf(scene, "Bone"))->strength, 2.5);
  EXPECT_FALSE(scene.find(idOf(scene, "Bone"))->scaleStrength);

  const std::string saved = sceneToJson(scene);
  const Scene again = sceneFromJson(saved);
  EXPECT_EQ(sceneToJson(again), saved);
  expectSameScene(scene, again, 0);
  const Item& a2 = *again.find(idOf(again, "A"));
  for (int c = 0; c < kChannelCount; ++c) {
    ASSERT_EQ(a2.keys[c].size(), a.keys[c].size()) << c;
    for (std::size_t k = 0; k < a.keys[c].size(); ++k) {
      EXPECT_EQ(a2.keys[c][k].span, a.keys[c][k].span);
      EXPECT_EQ(a2.keys[c][k].params, a.keys[c][k].params);
    }
    EXPECT_EQ(a2.behaviors[c], a.behaviors[c]);
  }
  EXPECT_EQ(again.find(idOf(again, "Bone"))->strength, 2.5);

  const BadFile bad[] = {
      {"span out of range", R"({"items": [{"name": "A", "type": "object",
        "keys": [{"time": 0, "span": 6}]}]})",
       "\"span\" must be a span type from 0 to 5"},
      {"params too short", R"({"items": [{"name": "A", "type": "object",
        "keys": [{"time": 0, "params": [1, 2]}]}]})",
       "\"params\" must be 6 finite numbers"},
      {"behaviour out of range", R"({"items": [{"name": "A", "type": "object",
        "behaviors": [1, 7]}]})",
       "\"behaviors\" must be [pre, post]"},
      {"strength on a light", R"({"items": [{"name": "A", "type": "light",
        "strength": 1}]})",
       "\"strength\" is for bones only"},
  };
  for (const BadFile& f : bad) {
    EXPECT_NE(errorOf(f.text).find(f.error), std::string::npos) << f.what;
  }
}

TEST(SceneJson, TextIsPrettyAndEndsWithNewline) {
  const std::string text = sceneToJson(demoRig());
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  EXPECT_NE(text.find("\n      \"position\": [0.0, 1.0, 0.0],\n"), std::string::npos);
  // Readable order: an item starts with its id and name.
  EXPECT_NE(text.find("\"id\": \"10000000\",\n      \"name\": \"Hero\""), std::string::npos);
}

}  // namespace
}  // namespace standin
