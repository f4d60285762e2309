// Numbers as the runner's findings show them, in reports, in the --check line and in the
// setting texts that the rig check compares: "%g", six significant digits.
#pragma once

#include <string>
#include <vector>

#include "standin/scene/transform.h"

namespace runner {

// A number in reports: "%g", six significant digits.
std::string numberText(double value);

// Values within `noise` of zero print as 0: a 3e-17 left by the matrix arithmetic (or a -0)
// says nothing to the reader. One value bare, several as "(a, b, c)".
std::string listText(const std::vector<double>& values, double noise);

// "%g" of each coordinate, those within `noise` of zero as 0: "(0.75, 1.52, 0)".
std::string vectorText(const standin::Vec3& v, double noise);

}  // namespace runner
