// The optional fields of a bone's settings and of an object's settings for its bones in the
// JSON form.
#include <cmath>

#include "standin/files/json/scene_json_parts.h"
#include "standin/scene/bone_settings.h"

namespace standin {
namespace scene_json {

namespace {

bool flag(const nlohmann::json& value, const std::string& where, const std::string& field) {
  if (!value.is_boolean()) fail(where + quote(field) + " must be true or false");
  return value.get<bool>();
}

double amount(const nlohmann::json& value, const std::string& where, const std::string& field) {
  if (!value.is_number() || !std::isfinite(value.get<double>())) {
    fail(where + quote(field) + " must be a finite number");
  }
  return value.get<double>();
}

// A name, or {"bytes": "..."} for one that is not UTF-8 (base/name_bytes.h); null for none.
void readName(const nlohmann::json& value, const std::string& where, const std::string& field,
              std::string& name) {
  if (value.is_null()) {
    name.clear();
    return;
  }
  const bool bytesForm = value.is_object() && value.size() == 1 && value.contains("bytes") &&
                         value["bytes"].is_string();
  if (bytesForm) {
    if (!percentUnescapeBytes(value["bytes"].get_ref<const std::string&>(), name)) {
      fail(where + quote(field) + " has a % not followed by two hex digits");
    }
  } else if (value.is_string()) {
    name = value.get<std::string>();
  } else {
    fail(where + quote(field) + " must be a name or null");
  }
  if (name.find_first_of("\r\n") != std::string::npos)
    fail(where + quote(field) + " holds a line break");
}

}  // namespace

bool isBoneSettingField(const std::string& field) {
  return findBoneSetting(&BoneSetting::json, field) != nullptr;
}

void readBoneSettingField(const std::string& field, const nlohmann::json& value,
                          const std::string& where, Item& bone) {
  const BoneSetting* s = findBoneSetting(&BoneSetting::json, field);
  if (!s) return;
  switch (s->kind) {
    case BoneSettingKind::Name: readName(value, where, field, bone.deformation.*s->name); break;
    case BoneSettingKind::Flag:
    case BoneSettingKind::FlagAmount: flagOf(*s, bone) = flag(value, where, field); break;
    case BoneSettingKind::Number: numberOf(*s, bone) = amount(value, where, field); break;
    case BoneSettingKind::AmountPair:
      if (!value.is_array() || value.size() != 2) {
        fail(where + quote(field) + " must be [self, parent]");
      }
      bone.deformation.*s->number = amount(value[0], where, field);
      bone.deformation.*s->parent = amount(value[1], where, field);
      break;
  }
}

bool isObjectBoneField(const std::string& field) {
  return field == "boneFalloffType" || field == "fasterBones" || field == "boneMode" ||
         field == "numLimitedBones";
}

void readObjectBoneField(const std::string& field, const nlohmann::json& value,
                         const std::string& where, ObjectBoneSettings& s) {
  auto whole = [&](long long low, long long high, const std::string& range) {
    if (!value.is_number_integer() || value.get<long long>() < low ||
        value.get<long long>() > high) {
      fail(where + quote(field) + " must be " + range);
    }
    return static_cast<int>(value.get<long long>());
  };
  if (field == "boneFalloffType") {
    s.falloffType = whole(1, 8, "a falloff type from 1 to 8");
  } else if (field == "fasterBones") {
    s.fasterBones = flag(value, where, field);
  } else if (field == "boneMode") {
    // -1 is what the writer never writes but a reader may: "not given".
    s.boneMode = whole(-1, kBoneModeLimited, "0 (full), 1 (faster) or 2 (limited)");
  } else if (field == "numLimitedBones") {
    s.numLimitedBones = whole(1, 1000000, "a bone count from 1 to 1000000");
  }
}

}  // namespace scene_json
}  // namespace standin
