// Left and right in item names: the pairs the naming rule finds, the names that only look like
// they have a side, and the centre names that are their own counterpart.
#include "scene/side_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SideNames, EachSideWordOrLetterSwapsWithTheOther) {
  struct Case {
    const char* name;
    const char* other;
  };
  const Case cases[] = {
      // Letters at the start, with each separator.
      {"L_Arm", "R_Arm"},
      {"R_Arm", "L_Arm"},
      {"l_arm", "r_arm"},
      {"L.Arm", "R.Arm"},
      {"L-Arm", "R-Arm"},
      {"L Arm", "R Arm"},
      // Letters at the end.
      {"Arm_L", "Arm_R"},
      {"arm.r", "arm.l"},
      {"Arm-L", "Arm-R"},
      {"Upper Arm R", "Upper Arm L"},
      // Words, in the three cases, at either end.
      {"Left_Leg", "Right_Leg"},
      {"right leg", "left leg"},
      {"LEFT_LEG", "RIGHT_LEG"},
      {"Leg_Left", "Leg_Right"},
      {"leg.right", "leg.left"},
      {"LEG-LEFT", "LEG-RIGHT"},
      // A change from lower to upper case parts a side too.
      {"LeftArm", "RightArm"},
      {"leftArm", "rightArm"},
      {"ArmRight", "ArmLeft"},
      {"lHand", "rHand"},
      {"HandL", "HandR"},
      // Only the start is swapped when both ends have a side; the middle is never read.
      {"L_Arm_R", "R_Arm_R"},
      {"Arm_Left_Upper", "Arm_Left_Upper"},
      // What only looks like a side.
      {"Lefty", "Lefty"},
      {"Rib", "Rib"},
      {"Collar", "Collar"},
      {"Leftover", "Leftover"},
      {"Ball", "Ball"},
      {"Bright", "Bright"},
      {"LArm", "LArm"},
      {"LEFTArm", "LEFTArm"},
      {"L1_Arm", "L1_Arm"},
      // Centre names, and sides with nothing else.
      {"Spine", "Spine"},
      {"Hips", "Hips"},
      {"", ""},
      {"L", "L"},
      {"Left", "Left"},
      {"L_", "L_"},
      {"_R", "_R"},
      {"Right.", "Right."}};
  for (const Case& c : cases) {
    EXPECT_EQ(vorrik::otherSideName(c.name), c.other) << c.name;
    EXPECT_EQ(vorrik::hasSide(c.name), std::string(c.name) != c.other) << c.name;
    // Swapping twice comes back.
    EXPECT_EQ(vorrik::otherSideName(c.other), c.name) << c.name;
  }
}

}  // namespace
