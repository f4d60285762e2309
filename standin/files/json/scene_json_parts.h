// What the JSON scene reader and writer share; for the files of this folder only.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "standin/files/base/name_bytes.h"
#include "standin/scene/bone_settings.h"
#include "standin/scene/scene.h"

namespace standin {
namespace scene_json {

// Throws SceneFileError with `message`.
[[noreturn]] void fail(const std::string& message);
// JSON-quoted, so odd characters in names stay readable in one-line messages.
std::string quote(const std::string& text);

// The optional fields of a bone's settings (bone_settings.h). Reading one sets it in `bone`;
// where says which item, for messages.
bool isBoneSettingField(const std::string& field);
void readBoneSettingField(const std::string& field, const nlohmann::json& value,
                          const std::string& where, Item& bone);

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

// Names that are not UTF-8 keep every byte: {"bytes": "Schulter%E4"} (base/name_bytes.h).
template <class J>
J nameJson(const std::string& name) {
  if (isValidUtf8(name)) return J(name);
  J bytes = J::object();
  bytes["bytes"] = percentEscapeBytes(name);
  return bytes;
}

// Writes the bone's settings that differ from a new bone's into `out`, a JSON object, so
// that files from before a setting existed read the same; those marked so always.
template <class J>
void writeBoneSettings(J& out, const Item& bone) {
  for (const BoneSetting& s : kBoneSettings) {
    if (!s.jsonAlways && isNewBone(s, bone)) continue;
    J& field = out[std::string(s.json)];
    switch (s.kind) {
      case BoneSettingKind::Name: field = nameJson<J>(bone.deformation.*s.name); break;
      case BoneSettingKind::Flag:
      case BoneSettingKind::FlagAmount: field = flagOf(s, bone); break;
      case BoneSettingKind::Number: field = numberOf(s, bone) + 0.0; break;
      case BoneSettingKind::AmountPair:
        field = J::array({bone.deformation.*s.number + 0.0, bone.deformation.*s.parent + 0.0});
        break;
    }
  }
}

}  // namespace scene_json
}  // namespace standin
