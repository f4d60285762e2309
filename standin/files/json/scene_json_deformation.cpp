// The optional deformation fields of a bone in the JSON form.
#include <cmath>

#include "standin/files/json/scene_json_parts.h"

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

void amounts(const nlohmann::json& value, const std::string& where, const std::string& field,
             double& self, double& parent) {
  if (!value.is_array() || value.size() != 2) {
    fail(where + quote(field) + " must be [self, parent]");
  }
  self = amount(value[0], where, field);
  parent = amount(value[1], where, field);
}

}  // namespace

bool isDeformationField(const std::string& field) {
  static const char* const kFields[] = {"weightMap",    "weightMapOnly",    "normalization",
                                        "limitedRange", "minRange",         "maxRange",
                                        "jointComp",    "jointCompParent",  "jointCompAmounts",
                                        "muscleFlex",   "muscleFlexParent", "muscleFlexAmounts"};
  for (const char* known : kFields) {
    if (field == known) return true;
  }
  return false;
}

void readDeformationField(const std::string& field, const nlohmann::json& value,
                          const std::string& where, BoneDeformation& d) {
  if (field == "weightMap") {
    if (value.is_null()) {
      d.weightMap.clear();
      return;
    }
    const bool bytesForm = value.is_object() && value.size() == 1 && value.contains("bytes") &&
                           value["bytes"].is_string();
    if (bytesForm) {
      if (!percentUnescapeBytes(value["bytes"].get_ref<const std::string&>(), d.weightMap)) {
        fail(where + "\"weightMap\" has a % not followed by two hex digits");
      }
    } else if (value.is_string()) {
      d.weightMap = value.get<std::string>();
    } else {
      fail(where + "\"weightMap\" must be a name or null");
    }
    if (d.weightMap.find_first_of("\r\n") != std::string::npos) {
      fail(where + "\"weightMap\" holds a line break");
    }
  } else if (field == "weightMapOnly") {
    d.weightMapOnly = flag(value, where, field);
  } else if (field == "normalization") {
    d.normalization = flag(value, where, field);
  } else if (field == "limitedRange") {
    d.limitedRange = flag(value, where, field);
  } else if (field == "minRange") {
    d.minRange = amount(value, where, field);
  } else if (field == "maxRange") {
    d.maxRange = amount(value, where, field);
  } else if (field == "jointComp") {
    d.jointComp = flag(value, where, field);
  } else if (field == "jointCompParent") {
    d.jointCompParent = flag(value, where, field);
  } else if (field == "jointCompAmounts") {
    amounts(value, where, field, d.jointCompSelfAmount, d.jointCompParentAmount);
  } else if (field == "muscleFlex") {
    d.muscleFlex = flag(value, where, field);
  } else if (field == "muscleFlexParent") {
    d.muscleFlexParent = flag(value, where, field);
  } else if (field == "muscleFlexAmounts") {
    amounts(value, where, field, d.muscleFlexSelfAmount, d.muscleFlexParentAmount);
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
