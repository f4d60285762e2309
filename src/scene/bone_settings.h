// A bone's deformation settings as Layout's bone services report them, and the commands
// that give a new bone the settings of the bone it replaces.
#pragma once

#include <string>

#include "host/host_session.h"

namespace vorrik {

// The flag bits a bone's deformation settings are made of: active, limited range, strength
// multiplied by the rest length, weight map only, normalization, joint compensation (self
// and parent) and muscle flexing (self and parent).
constexpr unsigned int kDeformationFlags =
    LWBONEF_ACTIVE | LWBONEF_LIMITED_RANGE | LWBONEF_SCALE_STRENGTH | LWBONEF_WEIGHT_MAP_ONLY |
    LWBONEF_WEIGHT_NORM | LWBONEF_JOINT_COMP | LWBONEF_JOINT_COMP_PAR | LWBONEF_MUSCLE_FLEX |
    LWBONEF_MUSCLE_FLEX_PAR;

struct BoneSettings {
  unsigned int flags = 0;  // only kDeformationFlags bits
  std::string weightMap;   // "" for none
  double strength = 1;
  double minRange = 0, maxRange = 0;
  double jointCompSelf = 0, jointCompParent = 0;
  double muscleFlexSelf = 0, muscleFlexParent = 0;
};

BoneSettings readBoneSettings(const Host& host, LWItemID bone);

// True when every value can go out in a command as it stands: finite numbers, and a weight
// map name that fits one command line and has no control characters or outer spaces
// (Layout takes the rest of the line as the name).
bool canSendSettings(const BoneSettings& settings);

// Gives `bone` the settings `wanted`: reads what it has now and, only when something
// differs, selects it and sends one command per differing setting, in the order of Layout's
// bone panel. Each toggle is decided from the bone's flags read just before it, since one
// toggle may turn another on. A bone without a weight map cannot take "weight map only",
// and a map it has cannot be taken away by a command: both are left as they are.
void emitBoneSettings(const Host& host, LWItemID bone, const BoneSettings& wanted);

}  // namespace vorrik
