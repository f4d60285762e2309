// What the JSON scene reader and writer share; for the files of this folder only.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "standin/files/base/name_bytes.h"
#include "standin/scene/scene.h"

namespace standin {
namespace scene_json {

// Throws SceneFileError with `message`.
[[noreturn]] void fail(const std::string& message);
// JSON-quoted, so odd characters in names stay readable in one-line messages.
std::string quote(const std::string& text);

// The optional deformation fields of a bone (weight map, range, compensation). Reading one
// sets it in `d`; where says which item, for messages.
bool isDeformationField(const std::string& field);
void readDeformationField(const std::string& field, const nlohmann::json& value,
                          const std::string& where, BoneDeformation& d);

// The optional fields of an object's settings for all of its bones ("useBonesFrom", a name,
// is resolved by the caller once every item exists).
bool isObjectBoneField(const std::string& field);
void readObjectBoneField(const std::string& field, const nlohmann::json& value,
                         const std::string& where, ObjectBoneSettings& s);

// Writes the object bone settings that differ from those of a scene that gives none.
template <class J>
void writeObjectBoneSettings(J& out, const ObjectBoneSettings& s) {
  const ObjectBoneSettings plain;
  if (s.falloffType != plain.falloffType) out["boneFalloffType"] = s.falloffType;
  if (s.fasterBones != plain.fasterBones) out["fasterBones"] = s.fasterBones;
  if (s.boneMode != plain.boneMode) out["boneMode"] = s.boneMode;
  if (s.numLimitedBones != plain.numLimitedBones) out["numLimitedBones"] = s.numLimitedBones;
}

// Writes the deformation fields that differ from a new bone's into `out`, a JSON object.
template <class J>
void writeDeformation(J& out, const BoneDeformation& d) {
  const BoneDeformation plain;
  if (!d.weightMap.empty()) {
    // A map name that is not UTF-8 keeps its bytes, as item names do (base/name_bytes.h).
    if (isValidUtf8(d.weightMap)) {
      out["weightMap"] = d.weightMap;
    } else {
      J bytes = J::object();
      bytes["bytes"] = percentEscapeBytes(d.weightMap);
      out["weightMap"] = bytes;
    }
  }
  if (d.weightMapOnly != plain.weightMapOnly) out["weightMapOnly"] = d.weightMapOnly;
  if (d.normalization != plain.normalization) out["normalization"] = d.normalization;
  if (d.limitedRange != plain.limitedRange) out["limitedRange"] = d.limitedRange;
  if (d.minRange != plain.minRange) out["minRange"] = d.minRange + 0.0;
  if (d.maxRange != plain.maxRange) out["maxRange"] = d.maxRange + 0.0;
  if (d.jointComp != plain.jointComp) out["jointComp"] = d.jointComp;
  if (d.jointCompParent != plain.jointCompParent) out["jointCompParent"] = d.jointCompParent;
  if (d.jointCompSelfAmount != plain.jointCompSelfAmount ||
      d.jointCompParentAmount != plain.jointCompParentAmount) {
    out["jointCompAmounts"] =
        J::array({d.jointCompSelfAmount + 0.0, d.jointCompParentAmount + 0.0});
  }
  if (d.muscleFlex != plain.muscleFlex) out["muscleFlex"] = d.muscleFlex;
  if (d.muscleFlexParent != plain.muscleFlexParent) out["muscleFlexParent"] = d.muscleFlexParent;
  if (d.muscleFlexSelfAmount != plain.muscleFlexSelfAmount ||
      d.muscleFlexParentAmount != plain.muscleFlexParentAmount) {
    out["muscleFlexAmounts"] =
        J::array({d.muscleFlexSelfAmount + 0.0, d.muscleFlexParentAmount + 0.0});
  }
}

}  // namespace scene_json
}  // namespace standin
