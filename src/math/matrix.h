// 4x4 transforms, points and directions. Nothing here allocates.
#pragma once

#include <array>
#include <cstddef>

#include "math/vec3.h"

namespace vorrik {

constexpr double PI = 3.141592653589793;
constexpr double HALF_PI = 1.5707963267948966;

// Row-major: element k is row k / 4, column k % 4. Points are columns (x, y, z, 1) acted on
// from the left, so translation sits in elements 3, 7 and 11. A new matrix is the identity.
struct Matrix4 {
  std::array<double, 16> e{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

  double& operator[](std::size_t k) { return e[k]; }
  double operator[](std::size_t k) const { return e[k]; }
};

// out := a x b. out may be a or b.
Matrix4& matMultiply(Matrix4& out, const Matrix4& a, const Matrix4& b);

// m := T(x, y, z) x m.
void preTranslate(Matrix4& m, double x, double y, double z);
// m := R(angle) x m, about X (pitch), Y (heading) or Z (bank); angles in radians.
void preRotateX(Matrix4& m, double angle);
void preRotateY(Matrix4& m, double angle);
void preRotateZ(Matrix4& m, double angle);

// out := m applied to the point p, divided by w unless w is exactly 0. out may be p.
Vec3& transformPoint(Vec3& out, const Matrix4& m, const Vec3& p);

double vecLength(const Vec3& v);
// Scales v to unit length in place (a zero vector stays zero) and returns the result.
Vec3 vecNormalize(Vec3& v);

// Heading into angles[0] and pitch into angles[1] such that Ry(heading) x Rx(pitch) turns +Z
// along dir; angles[2] is left alone. dir need not be unit length.
void directionToAngles(const Vec3& dir, Vec3& angles);

}  // namespace vorrik
