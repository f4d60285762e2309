// Three doubles: a position, a scale, or a rotation as heading, pitch, bank.
#pragma once

#include <array>

namespace vorrik {

using Vec3 = std::array<double, 3>;

// The factor that turns the host's radians into the degrees that commands carry.
constexpr double RAD_TO_DEG = 57.29577951308232;

}  // namespace vorrik
