// Kept apart from the module's src/math on purpose: an independent check of the module's math.
#include "standin/scene/transform.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace standin {

namespace {

bool usable(const Vec3& v) {
  double len = length(v);
  return std::isfinite(len) && len > 0;
}

}  // namespace

Mat4 identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

Mat4 multiply(const Mat4& a, const Mat4& b) {
  Mat4 r{};
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 4; ++col) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[4 * row + k] * b[4 * k + col];
      r[4 * row + col] = sum;
    }
  }
  return r;
}

Vec3 transformPoint(const Mat4& m, const Vec3& p) {
  Vec3 r = applyLinear(m, p);
  r[0] += m[3];
  r[1] += m[7];
  r[2] += m[11];
  double w = m[12] * p[0] + m[13] * p[1] + m[14] * p[2] + m[15];
  if (w != 1 && w != 0) r = scaled(r, 1 / w);
  return r;
}

Mat4 rotationHPB(const Vec3& radians) {
  double ch = std::cos(radians[0]), sh = std::sin(radians[0]);
  double cp = std::cos(radians[1]), sp = std::sin(radians[1]);
  double cb = std::cos(radians[2]), sb = std::sin(radians[2]);
  // Ry(h) Rx(p) Rz(b) multiplied out.
  // clang-format off
  return {ch * cb + sh * sp * sb, -ch * sb + sh * sp * cb, sh * cp, 0,
          cp * sb,                cp * cb,                 -sp,     0,
          -sh * cb + ch * sp * sb, sh * sb + ch * sp * cb, ch * cp, 0,
          0,                      0,                       0,       1};
  // clang-format on
}

Mat4 translation(const Vec3& v) {
  Mat4 m = identity();
  m[3] = v[0];
  m[7] = v[1];
  m[11] = v[2];
  return m;
}

Mat4 scaling(const Vec3& v) {
  Mat4 m = identity();
  m[0] = v[0];
  m[5] = v[1];
  m[10] = v[2];
  return m;
}

Mat4 inverseAffine(const Mat4& m) {
  auto at = [&m](int row, int col) { return m[4 * row + col]; };
  double c00 = at(1, 1) * at(2, 2) - at(1, 2) * at(2, 1);
  double c01 = at(1, 2) * at(2, 0) - at(1, 0) * at(2, 2);
  double c02 = at(1, 0) * at(2, 1) - at(1, 1) * at(2, 0);
  double det = at(0, 0) * c00 + at(0, 1) * c01 + at(0, 2) * c02;
  Mat4 r = identity();
  if (det == 0 || !std::isfinite(det)) {
    // Singular: callers check for finite results rather than get a made-up inverse.
    std::fill(r.begin(), r.begin() + 12, std::numeric_limits<double>::quiet_NaN());
    return r;
  }
  double k = 1 / det;
  r[0] = c00 * k;
  r[1] = (at(0, 2) * at(2, 1) - at(0, 1) * at(2, 2)) * k;
  r[2] = (at(0, 1) * at(1, 2) - at(0, 2) * at(1, 1)) * k;
  r[4] = c01 * k;
  r[5] = (at(0, 0) * at(2, 2) - at(0, 2) * at(2, 0)) * k;
  r[6] = (at(0, 2) * at(1, 0) - at(0, 0) * at(1, 2)) * k;
  r[8] = c02 * k;
  r[9] = (at(0, 1) * at(2, 0) - at(0, 0) * at(2, 1)) * k;
  r[10] = (at(0, 0) * at(1, 1) - at(0, 1) * at(1, 0)) * k;
  Vec3 t = applyLinear(r, {m[3], m[7], m[11]});
  r[3] = -t[0];
  r[7] = -t[1];
  r[11] = -t[2];
  return r;
}

// The rotation nearest in spirit to `m`'s 3x3 part, keeping its +Z axis (a bone's length
// direction) where possible. Copes with shear from non-uniform parent scale and with
// columns that collapsed to zero.
Mat4 orthonormalised(const Mat4& m) {
  Vec3 x = column(m, 0), y = column(m, 1), z = column(m, 2);
  if (usable(z)) {
    z = scaled(z, 1 / length(z));
  } else if (usable(cross(x, y))) {
    Vec3 c = cross(x, y);
    z = scaled(c, 1 / length(c));
  } else {
    z = {0, 0, 1};
  }
  Vec3 xs = minus(x, scaled(z, dot(x, z)));
  if (!usable(xs) || length(xs) < 1e-9 * length(x)) {
    Vec3 fromY = cross(y, z);
    if (usable(fromY) && length(fromY) >= 1e-9 * length(y)) {
      xs = fromY;
    } else {
      // Anything perpendicular to z.
      xs = std::fabs(z[0]) < 0.9 ? cross(Vec3{0, 1, 0}, z) : cross(Vec3{0, 0, 1}, z);
    }
  }
  Vec3 ys = cross(z, xs);
  ys = scaled(ys, 1 / length(ys));
  Vec3 xr = cross(ys, z);
  Mat4 r = identity();
  for (int row = 0; row < 3; ++row) {
    r[4 * row + 0] = xr[row];
    r[4 * row + 1] = ys[row];
    r[4 * row + 2] = z[row];
  }
  return r;
}

// Heading, pitch, bank of a rotation R = Ry(h) Rx(p) Rz(b).
Vec3 decomposeHPB(const Mat4& r) {
  auto at = [&r](int row, int col) { return r[4 * row + col]; };
  double p = std::asin(std::clamp(-at(1, 2), -1.0, 1.0));
  double cosP = std::sqrt(at(1, 0) * at(1, 0) + at(1, 1) * at(1, 1));
  if (cosP < 1e-9) {
    return {std::atan2(-at(2, 0), at(0, 0)), p, 0};
  }
  return {std::atan2(at(0, 2), at(2, 2)), p, std::atan2(at(1, 0), at(1, 1))};
}

namespace {

constexpr double kTurn = 2 * kPi;

// `angle` plus the whole turns that bring it nearest to `target`.
double turnedNear(double angle, double target) {
  const double turns = std::round((target - angle) / kTurn);
  return std::isfinite(turns) ? angle + kTurn * turns : angle;
}

Vec3 turnedNear(const Vec3& angles, const Vec3& target) {
  return {turnedNear(angles[0], target[0]), turnedNear(angles[1], target[1]),
          turnedNear(angles[2], target[2])};
}

double squaredDistance(const Vec3& a, const Vec3& b) {
  const Vec3 d = minus(a, b);
  return dot(d, d);
}

}  // namespace

Vec3 nearestHPB(const Mat4& r, const Vec3& near) {
  auto at = [&r](int row, int col) { return r[4 * row + col]; };
  const double sinP = std::clamp(-at(1, 2), -1.0, 1.0);
  const double cosP = std::sqrt(at(1, 0) * at(1, 0) + at(1, 1) * at(1, 1));
  if (cosP < 1e-9) {
    // At the pole only heading minus bank (pitch +90 degrees) or heading plus bank (pitch
    // -90 degrees) is fixed; the split nearest to `near` moves both by the same amount.
    const double pitch = turnedNear(sinP > 0 ? kPi / 2 : -kPi / 2, near[1]);
    if (sinP > 0) {
      const double wanted = near[0] - near[2];
      const double shift = turnedNear(std::atan2(at(0, 1), at(0, 0)), wanted) - wanted;
      return {near[0] + shift / 2, pitch, near[2] - shift / 2};
    }
    const double wanted = near[0] + near[2];
    const double shift = turnedNear(std::atan2(-at(0, 1), at(0, 0)), wanted) - wanted;
    return {near[0] + shift / 2, pitch, near[2] + shift / 2};
  }
  const Vec3 first{std::atan2(at(0, 2), at(2, 2)), std::asin(sinP), std::atan2(at(1, 0), at(1, 1))};
  // Ry(h + pi) Rx(pi - p) Rz(b + pi) is the same rotation.
  const Vec3 second{first[0] + kPi, kPi - first[1], first[2] + kPi};
  const Vec3 a = turnedNear(first, near), b = turnedNear(second, near);
  return squaredDistance(b, near) < squaredDistance(a, near) ? b : a;
}

bool finiteMatrix(const Mat4& m) {
  return std::all_of(m.begin(), m.end(), [](double d) { return std::isfinite(d); });
}

}  // namespace standin
