#include "math/matrix.h"

#include <algorithm>
#include <cmath>

namespace vorrik {

namespace {

void preMultiply(Matrix4& m, const Matrix4& left) { matMultiply(m, left, m); }

}  // namespace

Matrix4& matMultiply(Matrix4& out, const Matrix4& a, const Matrix4& b) {
  // A temporary, so that out may alias either operand. Raw pointers keep unoptimised
  // builds quick on long bone chains.
  double product[16];
  const double* pa = a.e.data();
  const double* pb = b.e.data();
  for (int row = 0; row < 4; ++row) {
    const double* ra = pa + 4 * row;
    for (int col = 0; col < 4; ++col) {
      product[4 * row + col] =
          ra[0] * pb[col] + ra[1] * pb[4 + col] + ra[2] * pb[8 + col] + ra[3] * pb[12 + col];
    }
  }
  std::copy(product, product + 16, out.e.begin());
  return out;
}

void preTranslate(Matrix4& m, double x, double y, double z) {
  Matrix4 t;
  t[3] = x;
  t[7] = y;
  t[11] = z;
  preMultiply(m, t);
}

void preRotateX(Matrix4& m, double angle) {
  const double c = std::cos(angle), s = std::sin(angle);
  Matrix4 r;
  r[5] = c;
  r[6] = -s;
  r[9] = s;
  r[10] = c;
  preMultiply(m, r);
}

void preRotateY(Matrix4& m, double angle) {
  const double c = std::cos(angle), s = std::sin(angle);
  Matrix4 r;
  r[0] = c;
  r[2] = s;
  r[8] = -s;
  r[10] = c;
  preMultiply(m, r);
}

void preRotateZ(Matrix4& m, double angle) {
  const double c = std::cos(angle), s = std::sin(angle);
  Matrix4 r;
  r[0] = c;
  r[1] = -s;
  r[4] = s;
  r[5] = c;
  preMultiply(m, r);
}

Vec3& transformPoint(Vec3& out, const Matrix4& m, const Vec3& p) {
  const double x = p[0], y = p[1], z = p[2];
  const double tx = m[0] * x + m[1] * y + m[2] * z + m[3];
  const double ty = m[4] * x + m[5] * y + m[6] * z + m[7];
  const double tz = m[8] * x + m[9] * y + m[10] * z + m[11];
  const double w = m[12] * x + m[13] * y + m[14] * z + m[15];
  if (w == 0) {
    out = {tx, ty, tz};
  } else {
    out = {tx / w, ty / w, tz / w};
  }
  return out;
}

double vecLength(const Vec3& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

Vec3 vecNormalize(Vec3& v) {
  const double length = vecLength(v);
  if (length == 0) {
    v = {0, 0, 0};
  } else {
    v = {v[0] / length, v[1] / length, v[2] / length};
  }
  return v;
}

void directionToAngles(const Vec3& dir, Vec3& angles) {
  const double x = dir[0], y = dir[1], z = dir[2];
  // The axis cases are exact so that axis-aligned directions give exact angles; straight
  // back (x 0, z negative) turns a half circle.
  double heading;
  if (x == 0) {
    heading = z < 0 ? PI : 0.0;
  } else if (z == 0) {
    heading = x > 0 ? HALF_PI : -HALF_PI;
  } else {
    heading = std::atan2(x, z);
  }
  // The reach along the heading, never negative, so the pitch alone gives the rise.
  const double reach = z * std::cos(-heading) - x * std::sin(-heading);
  double pitch;
  if (y == 0) {
    pitch = 0;
  } else if (reach == 0) {
    pitch = y > 0 ? -HALF_PI : HALF_PI;
  } else {
    pitch = -std::atan2(y, reach);
  }
  angles[0] = heading;
  angles[1] = pitch;
}

}  // namespace vorrik
