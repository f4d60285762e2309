#include "scene/bone_settings.h"

#include <cmath>

namespace vorrik {

namespace {

constexpr std::size_t kMapCommandLength = sizeof("BoneWeightMapName ") - 1;

bool sameNumbers(double a, double b) { return a == b; }

// What a command can change: the map only when one is wanted.
bool differs(const BoneSettings& now, const BoneSettings& wanted) {
  // Without a map on either side "weight map only" cannot be set, so it does not count.
  const unsigned int reachable =
      now.weightMap.empty() && wanted.weightMap.empty() ? ~LWBONEF_WEIGHT_MAP_ONLY : ~0u;
  return (now.flags & reachable) != (wanted.flags & reachable) ||
         (!wanted.weightMap.empty() && now.weightMap != wanted.weightMap) ||
         !sameNumbers(now.strength, wanted.strength) ||
         !sameNumbers(now.minRange, wanted.minRange) ||
         !sameNumbers(now.maxRange, wanted.maxRange) ||
         !sameNumbers(now.jointCompSelf, wanted.jointCompSelf) ||
         !sameNumbers(now.jointCompParent, wanted.jointCompParent) ||
         !sameNumbers(now.muscleFlexSelf, wanted.muscleFlexSelf) ||
         !sameNumbers(now.muscleFlexParent, wanted.muscleFlexParent);
}

// Sends the toggle when the bone's flag, read now, is not the wanted one.
void toggle(const Host& host, LWItemID bone, const BoneSettings& wanted, unsigned int flag,
            const char* command) {
  const bool on = (host.boneFlags(bone) & flag) != 0;
  const bool want = (wanted.flags & flag) != 0;
  if (on != want) host.send("%s", command);
}

}  // namespace

BoneSettings readBoneSettings(const Host& host, LWItemID bone) {
  BoneSettings settings;
  settings.flags = host.boneFlags(bone) & kDeformationFlags;
  settings.weightMap = host.boneWeightMap(bone);
  settings.strength = host.boneStrength(bone);
  host.boneLimits(bone, settings.minRange, settings.maxRange);
  host.boneJointComp(bone, settings.jointCompSelf, settings.jointCompParent);
  host.boneMuscleFlex(bone, settings.muscleFlexSelf, settings.muscleFlexParent);
  return settings;
}

bool canSendSettings(const BoneSettings& settings) {
  const double numbers[] = {settings.strength,        settings.minRange,
                            settings.maxRange,        settings.jointCompSelf,
                            settings.jointCompParent, settings.muscleFlexSelf,
                            settings.muscleFlexParent};
  for (double value : numbers) {
    if (!std::isfinite(value)) return false;
  }
  const std::string& name = settings.weightMap;
  if (name.empty()) return true;
  if (kMapCommandLength + name.size() + 1 > kCommandBufferSize) return false;
  if (name.front() == ' ' || name.back() == ' ') return false;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return false;
  }
  return true;
}

void emitBoneSettings(const Host& host, LWItemID bone, const BoneSettings& wanted) {
  const BoneSettings now = readBoneSettings(host, bone);
  if (!differs(now, wanted)) return;
  host.send("SelectItem %x", idArg(bone));
  toggle(host, bone, wanted, LWBONEF_ACTIVE, "BoneActive");

  if (!wanted.weightMap.empty() && now.weightMap != wanted.weightMap) {
    host.send("BoneWeightMapName %s", wanted.weightMap.c_str());
  }
  // Layout refuses "weight map only" for a bone without a map.
  if (!host.boneWeightMap(bone).empty()) {
    toggle(host, bone, wanted, LWBONEF_WEIGHT_MAP_ONLY, "BoneWeightMapOnly");
  }
  toggle(host, bone, wanted, LWBONEF_WEIGHT_NORM, "BoneNormalization");

  if (!sameNumbers(now.strength, wanted.strength)) {
    host.send("BoneStrength %g", wanted.strength);
  }
  toggle(host, bone, wanted, LWBONEF_SCALE_STRENGTH, "BoneStrengthMultiply");

  toggle(host, bone, wanted, LWBONEF_LIMITED_RANGE, "BoneLimitedRange");
  if (!sameNumbers(now.minRange, wanted.minRange)) host.send("BoneMinRange %g", wanted.minRange);
  if (!sameNumbers(now.maxRange, wanted.maxRange)) host.send("BoneMaxRange %g", wanted.maxRange);

  toggle(host, bone, wanted, LWBONEF_JOINT_COMP, "BoneJointComp");
  toggle(host, bone, wanted, LWBONEF_JOINT_COMP_PAR, "BoneJointCompParent");
  if (!sameNumbers(now.jointCompSelf, wanted.jointCompSelf) ||
      !sameNumbers(now.jointCompParent, wanted.jointCompParent)) {
    host.send("BoneJointCompAmounts %g %g", wanted.jointCompSelf, wanted.jointCompParent);
  }

  toggle(host, bone, wanted, LWBONEF_MUSCLE_FLEX, "BoneMuscleFlex");
  toggle(host, bone, wanted, LWBONEF_MUSCLE_FLEX_PAR, "BoneMuscleFlexParent");
  if (!sameNumbers(now.muscleFlexSelf, wanted.muscleFlexSelf) ||
      !sameNumbers(now.muscleFlexParent, wanted.muscleFlexParent)) {
    host.send("BoneMuscleFlexAmounts %g %g", wanted.muscleFlexSelf, wanted.muscleFlexParent);
  }
}

}  // namespace vorrik
