// A scene that was not read from a .lws file (a JSON scene, the demo rig), written as a new
// version-3 file: the scene settings, then each object with its bones, the lights and the
// cameras, numbered by their order as version 3 does.
#include <algorithm>
#include <cmath>

#include "standin/files/lws/lws_item_lines.h"
#include "standin/files/lws/lws_text.h"
#include "standin/files/lws/lws_writer_parts.h"

namespace standin {
namespace lws {

std::string freshFile(const Scene& scene, std::unordered_map<ItemId, ItemId>& fileIds) {
  Context cx(scene);
  std::vector<ItemId> objects, lights, cameras;
  for (ItemId id = scene.first(ItemType::Object, 0); id; id = scene.next(id)) objects.push_back(id);
  for (ItemId id = scene.first(ItemType::Light, 0); id; id = scene.next(id)) lights.push_back(id);
  for (ItemId id = scene.first(ItemType::Camera, 0); id; id = scene.next(id)) cameras.push_back(id);
  for (std::size_t o = 0; o < objects.size(); ++o) {
    cx.ids.add(objects[o], 0x10000000u | static_cast<ItemId>(o));
    std::uint32_t b = 0;
    for (ItemId bone = scene.first(ItemType::Bone, objects[o]); bone;
         bone = scene.next(bone), ++b) {
      if (b >= 0x1000 || o >= 0x10000) refuse("more bones or objects than Layout's ids can number");
      cx.ids.add(bone, 0x40000000u | (b << 16) | static_cast<ItemId>(o));
    }
  }
  for (std::size_t l = 0; l < lights.size(); ++l)
    cx.ids.add(lights[l], 0x20000000u | static_cast<ItemId>(l));
  for (std::size_t c = 0; c < cameras.size(); ++c) {
    cx.ids.add(cameras[c], 0x30000000u | static_cast<ItemId>(c));
  }

  const double fps = 30;
  double lastTime = 0;
  for (ItemId id : scene.allItems()) {
    for (const std::vector<Key>& keys : scene.find(id)->keys) {
      if (!keys.empty()) lastTime = std::max(lastTime, keys.back().time);
    }
  }
  const long long lastFrame =
      std::max(60LL, wholeFrame(std::ceil(lastTime * fps), "the key time", lastTime));
  const long long frame = currentFrame(scene.time(), fps);
  Lines out = {"LWSC",
               "3",
               "",
               "FirstFrame 1",
               "LastFrame " + std::to_string(lastFrame),
               "FrameStep 1",
               "PreviewFirstFrame 0",
               "PreviewLastFrame " + std::to_string(lastFrame),
               "PreviewFrameStep 1",
               "CurrentFrame " + std::to_string(frame),
               "FramesPerSecond 30"};

  auto common = [&](const Item& item) {
    appendMotion(out, scene, item);
    if (item.pivot != Vec3{0, 0, 0}) out.push_back("PivotPosition " + vec3Text(item.pivot));
    if (item.pivotRotation != Vec3{0, 0, 0}) {
      out.push_back("PivotRotation " + degreesText(item.pivotRotation));
    }
    if (item.parent) out.push_back(cx.parentLine(item));
  };
  for (ItemId id : objects) {
    const Item& object = *scene.find(id);
    checkName(object.name);
    out.push_back("");
    if (const ObjectMesh* named = scene.objectMesh(id)) {
      // Layout names a loaded object after its file.
      checkName(named->file);
      out.push_back((named->layerGiven ? "LoadObjectLayer " + std::to_string(named->layer) + " "
                                       : std::string("LoadObject ")) +
                    named->file);
    } else {
      out.push_back("AddNullObject " + object.name);
    }
    out.push_back("ShowObject 6 3");
    common(object);
    const ItemId firstBone = scene.first(ItemType::Bone, id);
    const ItemId source = object.boneSettings.useBonesFrom;
    if (source && scene.find(source)) out.push_back("UseBonesFrom " + cx.hex(source));
    // An object without bones keeps settings that differ from those of no lines at all.
    ObjectBoneSettings plain = object.boneSettings;
    plain.falloffType = ObjectBoneSettings{}.falloffType;
    plain.fasterBones = false;
    plain.boneMode = -1;
    plain.numLimitedBones = ObjectBoneSettings{}.numLimitedBones;
    if (firstBone || plain != object.boneSettings) {
      for (std::string& line : objectBoneLines(object)) out.push_back(std::move(line));
    }
    for (ItemId bone = firstBone; bone; bone = scene.next(bone)) {
      for (std::string& line : newBone(cx, *scene.find(bone))) out.push_back(std::move(line));
    }
  }
  out.push_back("");
  out.push_back("AmbientColor 1 1 1");
  out.push_back("AmbientIntensity 0.25");
  for (ItemId id : lights) {
    const Item& light = *scene.find(id);
    checkName(light.name);
    out.insert(out.end(), {"", "AddLight", "LightName " + light.name, "ShowLight 1 5"});
    common(light);
    out.insert(out.end(), {"LightColor 1 1 1", "LightIntensity 1", "LightType 0"});
  }
  for (ItemId id : cameras) {
    const Item& camera = *scene.find(id);
    checkName(camera.name);
    out.insert(out.end(), {"", "AddCamera", "CameraName " + camera.name, "ShowCamera 1 2"});
    common(camera);
    out.push_back("ZoomFactor 3.2");
  }
  for (const auto& [sceneId, fileId] : cx.ids.all()) {
    if (sceneId != fileId) fileIds.emplace(sceneId, fileId);
  }
  std::string text;
  for (const std::string& line : out) text += line + "\n";
  return text;
}

}  // namespace lws
}  // namespace standin
