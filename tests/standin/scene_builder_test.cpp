// The two scene readers build their scenes through one builder: the same rig written as a
// .lws file and as JSON reads into the same scene, values, links and child order alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "standin/files/base/scene_builder.h"
#include "standin/files/json/scene_json.h"
#include "standin/files/lws/lws_reader.h"
#include "standin/files/lws/lws_writer.h"

namespace {

using standin::Scene;

// Each item's children by name, in the order the scene walks them.
std::vector<std::string> childOrder(const Scene& scene) {
  std::vector<std::string> out;
  for (standin::ItemId id : scene.allItems()) {
    std::string line = scene.find(id)->name + ":";
    for (standin::ItemId c = scene.firstChild(id); c; c = scene.nextChild(id, c)) {
      line += " " + scene.find(c)->name;
    }
    out.push_back(line);
  }
  return out;
}

struct SameRig {
  const char* what;
  std::string lws;
  std::string json;
  std::vector<std::string> children;  // childOrder, the same for both
};

const std::string kOneKey = "{ Envelope\n  1\n  Key 0 0 3 0 0 0 0 0 0\n  Behaviors 1 1\n}\n";

std::string motion(const char* keyword, const std::string& x) {
  std::string text = std::string(keyword) + "\nNumChannels 9\n";
  for (int c = 0; c < 9; ++c) {
    text += "Channel " + std::to_string(c) + "\n";
    if (c == 0) {
      text += x;
    } else {
      const char* value = c >= 6 ? "1" : "0";
      text +=
          std::string("{ Envelope\n  1\n  Key ") + value + " 0 3 0 0 0 0 0 0\n  Behaviors 1 1\n}\n";
    }
  }
  return text;
}

TEST(SceneBuilder, LwsAndJsonGiveTheSameScene) {
  const std::vector<SameRig> rigs = {
      {"siblings keep the file's order",
       "LWSC\n3\n\nAddNullObject Rig\n"
       "AddBone\nBoneName Root\nBoneActive 1\nScaleBoneStrength 1\nParentItem 10000000\n"
       "AddBone\nBoneName Left\nBoneActive 1\nScaleBoneStrength 1\nParentItem 40000000\n"
       "AddBone\nBoneName Right\nBoneActive 1\nScaleBoneStrength 1\nParentItem 40000000\n"
       "AddBone\nBoneName Tail\nBoneActive 1\nScaleBoneStrength 1\nParentItem 40000000\n",
       R"({"items": [{"name": "Rig", "type": "object"},
          {"name": "Root", "type": "bone", "parent": "Rig"},
          {"name": "Left", "type": "bone", "parent": "Root"},
          {"name": "Right", "type": "bone", "parent": "Root"},
          {"name": "Tail", "type": "bone", "parent": "Root"}]})",
       {"Rig: Root", "Root: Left Right Tail", "Left:", "Right:", "Tail:"}},
      {"parents named before they are declared",
       "LWSC\n3\n\nAddNullObject Hand\nParentItem 10000002\nAddNullObject Cup\n"
       "ParentItem 10000002\nAddNullObject Arm\nAddLight\nLightName Lamp\nParentItem 10000001\n",
       R"({"items": [{"name": "Hand", "type": "object", "parent": "Arm"},
          {"name": "Cup", "type": "object", "parent": "Arm"},
          {"name": "Arm", "type": "object"},
          {"name": "Lamp", "type": "light", "parent": "Cup"}]})",
       {"Hand:", "Cup: Lamp", "Arm: Hand Cup", "Lamp:"}},
      {"every value a bone and its object keep",
       "LWSC\n3\n\nCurrentFrame 15\nFramesPerSecond 30\n"
       "LoadObjectLayer 2 Objects/body.lwo\nPivotPosition 1 2 3\nBoneFalloffType 3\n"
       "FasterBones 1\nBoneMode 2\nNumLimitedBones 6\n"
       "AddBone\nBoneName Arm\nBoneActive 1\nBoneRestPosition 0.5 0 1\n"
       "BoneRestDirection 90 -45 0\nBoneRestLength 0.25\nBoneWeightMapName Arm Map\n"
       "BoneWeightMapOnly 1\nBoneNormalization 0\nBoneStrength 2.5\nScaleBoneStrength 0\n"
       "BoneLimitedRange 1\nBoneMinRange 0.1\nBoneMaxRange 0.9\nBoneJointComp 0.5\n"
       "BoneMuscleFlexParent 0.75\nBoneType 1\n" +
           motion("BoneMotion",
                  "{ Envelope\n  2\n  Key 0 0 0 0.5 0 0 0 0 0\n  Key 2 1 1 0 0 0 0.25 1 0\n"
                  "  Behaviors 2 5\n}\n") +
           "PivotRotation 0 90 0\nParentItem 10000000\n"
           "AddNullObject Cloth\nUseBonesFrom 10000000\n",
       R"({"time": 0.5, "items": [
          {"name": "body", "type": "object", "objectFile": "Objects/body.lwo",
           "objectLayer": 2, "pivot": [1, 2, 3], "boneFalloffType": 3, "fasterBones": true,
           "boneMode": 2, "numLimitedBones": 6},
          {"name": "Arm", "type": "bone", "parent": "body", "restPosition": [0.5, 0, 1],
           "restRotation": [90, -45, 0], "restLength": 0.25, "weightMap": "Arm Map",
           "weightMapOnly": true, "normalization": false, "strength": 2.5,
           "scaleStrength": false, "limitedRange": true, "minRange": 0.1, "maxRange": 0.9,
           "jointComp": true, "jointCompAmounts": [0.5, 1], "muscleFlexParent": true,
           "muscleFlexAmounts": [1, 0.75], "boneType": 1, "pivotRotation": [0, 90, 0],
           "behaviors": [[2, 5], [1, 1], [1, 1], [1, 1], [1, 1], [1, 1], [1, 1], [1, 1], [1, 1]],
           "keys": [{"time": 0, "position": [0, 0, 0], "rotation": [0, 0, 0], "scale": [1, 1, 1],
                     "span": [0, 3, 3, 3, 3, 3, 3, 3, 3],
                     "params": [[0.5, 0, 0, 0, 0, 0], null, null, null, null, null, null, null,
                                null]},
                    {"time": 1, "position": [2, null, null], "rotation": [null, null, null],
                     "scale": [null, null, null], "span": 1, "params": [0, 0, 0, 0.25, 1, 0]}]},
          {"name": "Cloth", "type": "object", "useBonesFrom": "body"}]})",
       {"body: Arm", "Arm:", "Cloth:"}},
  };
  for (const SameRig& rig : rigs) {
    SCOPED_TRACE(rig.what);
    const Scene fromLws = standin::sceneFromLws(rig.lws, "rig.lws");
    const Scene fromJson = standin::sceneFromJson(rig.json);
    EXPECT_EQ(standin::sceneToJson(fromLws), standin::sceneToJson(fromJson));
    EXPECT_EQ(childOrder(fromLws), rig.children);
    EXPECT_EQ(childOrder(fromJson), rig.children);
  }
}

// JSON holds a bone's rest scale; no line of a .lws file does. Saving one as .lws is refused
// rather than losing it, whether the file is new or was read.
TEST(SceneBuilder, ARestScaleThatALwsFileCannotHoldIsRefused) {
  const std::string rig = R"({"items": [{"name": "Rig", "type": "object"},
      {"name": "Root", "type": "bone", "parent": "Rig", "restScale": [1, 2, 1]}]})";
  Scene scaled = standin::sceneFromJson(rig);
  try {
    standin::sceneToLws(scaled);
    ADD_FAILURE() << "written";
  } catch (const standin::SceneFileError& error) {
    EXPECT_EQ(std::string(error.what()),
              "cannot write the scene as .lws: the bone \"Root\" has the rest scale 1 2 1, which "
              "no line of a .lws file holds");
  }
  scaled.find(scaled.findByName("Root"))->restScale = {1, 1, 1};
  Scene read = standin::sceneFromLws(standin::sceneToLws(scaled), "rig.lws");
  EXPECT_NO_THROW(standin::sceneToLws(read));
  read.find(read.findByName("Root"))->restScale = {0.5, 1, 1};
  EXPECT_THROW(standin::sceneToLws(read), standin::SceneFileError);
}

// The builder's own refusals, which each reader words as its own.
TEST(SceneBuilder, RefusesWhatCannotBeBuiltNamingTheItem) {
  auto item = [](const char* name, standin::ItemType type, std::size_t parent) {
    standin::DraftItem d;
    d.values.name = name;
    d.values.type = type;
    d.parent = parent;
    return d;
  };
  using standin::ItemType;
  using Step = standin::SceneBuildError::Step;
  struct Case {
    const char* what;
    std::vector<standin::DraftItem> items;
    Step step;
    std::size_t item;
  };
  std::vector<Case> cases = {
      {"a cycle, at the item where the walk from the first comes round",
       {item("A", ItemType::Object, 2), item("B", ItemType::Object, 0),
        item("C", ItemType::Object, 1)},
       Step::Parent,
       0},
      {"a bone with no object", {item("B", ItemType::Bone, standin::kNoDraftItem)}, Step::Add, 0},
      {"a bone under a light",
       {item("L", ItemType::Light, standin::kNoDraftItem), item("B", ItemType::Bone, 0)},
       Step::Add,
       1},
      {"an id taken twice",
       {item("A", ItemType::Object, standin::kNoDraftItem),
        item("B", ItemType::Object, standin::kNoDraftItem)},
       Step::Add,
       1},
  };
  cases[2].items[1].owner = 0;
  cases[3].items[0].id = 0x10000000;
  cases[3].items[1].id = 0x10000000;
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    standin::SceneDraft draft;
    draft.items = c.items;
    try {
      standin::buildScene(draft);
      ADD_FAILURE() << "built";
    } catch (const standin::SceneBuildError& error) {
      EXPECT_EQ(error.step, c.step);
      EXPECT_EQ(error.item, c.item);
    }
  }

  // A bone listed before its object waits for it, and values given at the scene time stay
  // over what the keys say there.
  standin::SceneDraft draft;
  draft.items = {item("Bone", ItemType::Bone, standin::kNoDraftItem),
                 item("Rig", ItemType::Object, standin::kNoDraftItem)};
  draft.items[0].owner = 1;
  draft.items[1].values.keys[standin::kPosX] = {{0, 1}, {2, 3}};
  draft.items[1].values.current[standin::kPosX] = 7;
  draft.items[1].currentGiven[0] = true;
  draft.time = 1;
  const Scene scene = standin::buildScene(draft);
  ASSERT_EQ(scene.allItems().size(), 2u);
  EXPECT_EQ(scene.find(scene.allItems()[1])->name, "Bone");
  EXPECT_EQ(scene.find(scene.findByName("Rig"))->current[standin::kPosX], 7);
}

}  // namespace
