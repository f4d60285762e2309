// Left and right in item names: which side a name says, and the name of the same item on the
// other side of the character.
#pragma once

#include <string>

namespace vorrik {

// The name with its side swapped: "L_Arm" -> "R_Arm", "LeftLeg" -> "RightLeg",
// "hand.r" -> "hand.l". A side is "Left"/"Right" (also all lower or all upper case) or a
// single "L"/"R" ("l"/"r") at the start or the end of the name, parted from the rest by
// "_", ".", "-" or " ", or by a change from a lower-case to an upper-case letter
// ("LeftArm", "lArm", "ArmR"). The rest of the name must not be empty, so "L_" alone has no
// side. A name with a side at both ends has the one at its start swapped. A name without a
// side ("Spine", "Lefty", "Rib", "Collar") comes back unchanged: its item is its own
// counterpart.
std::string otherSideName(const std::string& name);

// True when the name has a side (otherSideName changes it).
bool hasSide(const std::string& name);

}  // namespace vorrik
