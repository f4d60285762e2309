// Kept apart from the module's src/math on purpose: an independent check of the module's math.
// The stand-in's own 4x4 transform math, used by its scene model and by checks in tests.
#pragma once

#include <array>
#include <cmath>

namespace standin {

using Vec3 = std::array<double, 3>;

// The stand-in's one π and its one conversion each way, used by the files, the commands and
// the checks alike, so that an angle converted there and back gives the same double.
constexpr double kPi = 3.14159265358979323846;
inline double toRadians(double degrees) { return degrees * (kPi / 180); }
inline double toDegrees(double radians) { return radians * (180 / kPi); }
inline Vec3 toRadians(const Vec3& degrees) {
  return {toRadians(degrees[0]), toRadians(degrees[1]), toRadians(degrees[2])};
}
inline Vec3 toDegrees(const Vec3& radians) {
  return {toDegrees(radians[0]), toDegrees(radians[1]), toDegrees(radians[2])};
}
// Row-major 4x4, points are column vectors (x, y, z, 1).
using Mat4 = std::array<double, 16>;

Mat4 identity();
Mat4 multiply(const Mat4& a, const Mat4& b);
Vec3 transformPoint(const Mat4& m, const Vec3& p);
Mat4 rotationHPB(const Vec3& radians);  // Ry(h) Rx(p) Rz(b)
Mat4 translation(const Vec3& v);
Mat4 scaling(const Vec3& v);
Mat4 inverseAffine(const Mat4& m);

// The upper 3x3 and translation column of `m` times the affine `n`: both bottom rows are
// taken as (0 0 0 1). Written on raw arrays because world matrices walk the whole chain.
inline Mat4 multiplyAffine(const Mat4& m, const Mat4& n) {
  Mat4 r{};
  const double* a = m.data();
  const double* b = n.data();
  double* c = r.data();
  for (int row = 0; row < 3; ++row) {
    const double* ar = a + 4 * row;
    double* cr = c + 4 * row;
    for (int col = 0; col < 4; ++col) {
      cr[col] = ar[0] * b[col] + ar[1] * b[4 + col] + ar[2] * b[8 + col];
    }
    cr[3] += ar[3];
  }
  c[15] = 1;
  return r;
}

// Column c of the 3x3 part.
inline Vec3 column(const Mat4& m, int c) { return {m[c], m[4 + c], m[8 + c]}; }

inline Vec3 applyLinear(const Mat4& m, const Vec3& v) {
  return {m[0] * v[0] + m[1] * v[1] + m[2] * v[2], m[4] * v[0] + m[5] * v[1] + m[6] * v[2],
          m[8] * v[0] + m[9] * v[1] + m[10] * v[2]};
}

inline double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline double length(const Vec3& a) { return std::sqrt(dot(a, a)); }
inline Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline Vec3 scaled(const Vec3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
inline Vec3 minus(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

// The rotation nearest in spirit to `m`'s 3x3 part, keeping its +Z axis (a bone's length
// direction) where possible. Copes with shear from non-uniform parent scale and with
// columns that collapsed to zero.
Mat4 orthonormalised(const Mat4& m);
// Heading, pitch, bank of a rotation R = Ry(h) Rx(p) Rz(b).
Vec3 decomposeHPB(const Mat4& r);
// Of every heading, pitch and bank that give the rotation `r` (both Euler solutions, whole
// turns of each angle, and at the pole every split of heading and bank), the one nearest to
// `near`: a re-expressed rotation stays next to the item's keys, so that it does not swing
// the long way round between them.
Vec3 nearestHPB(const Mat4& r, const Vec3& near);
bool finiteMatrix(const Mat4& m);

}  // namespace standin
