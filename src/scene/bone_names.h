// The name a bone made from another is given: derived from the old name, used by no item
// of the scene, and keeping a left/right marker at the end of the name at the end.
#pragma once

#include <string>
#include <unordered_set>

#include "host/host_session.h"

namespace vorrik {

// Every item name of the scene: objects, lights, cameras and the bones of every object.
std::unordered_set<std::string> sceneNames(const Host& host);

// The old name with a number added to its stem: 2, or 3, 4, ... until `taken` has no item
// of that name. The stem is the name without a side marker at its end: a separator ('_',
// '.', '-' or a space) and L, R, Left or Right in any case ("Hand_L", "arm.r"), or Left or
// Right joined to a lower-case letter or digit ("HandLeft"). A stem ending in a digit gets
// an underscore before the number. A marker at the start stays where it is by itself:
// "L_Hand" gives "L_Hand2", "Hand_L" "Hand2_L", "Spine1" "Spine1_2", "ArmLeft" "Arm2Left".
// Characters a command cannot carry (control characters, outer spaces) are left out, and
// a name that leaves nothing becomes "Bone2".
std::string derivedBoneName(const std::string& old, const std::unordered_set<std::string>& taken);

}  // namespace vorrik
