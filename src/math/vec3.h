// Three doubles: a position, a scale, or a rotation as heading, pitch, bank.
#pragma once

#include <array>
#include <cmath>

namespace vorrik {

using Vec3 = std::array<double, 3>;

// The factor that turns the host's radians into the degrees that commands carry.
constexpr double RAD_TO_DEG = 57.29577951308232;

inline bool isFinite(const Vec3& v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// The one conversion of the host's radians into the degrees that commands carry.
inline Vec3 toDegrees(const Vec3& radians) {
  return {radians[0] * RAD_TO_DEG, radians[1] * RAD_TO_DEG, radians[2] * RAD_TO_DEG};
}

// Radians that still make a finite number of degrees.
inline bool isFiniteInDegrees(const Vec3& radians) { return isFinite(toDegrees(radians)); }

}  // namespace vorrik
