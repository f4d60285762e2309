#include "math/rotation.h"

#include <cmath>

namespace vorrik {

namespace {

constexpr double kTurn = 2 * PI;

// `angle` moved by whole turns to lie within half a turn of `near`.
double wrapNear(double angle, double near) {
  const double turns = std::round((near - angle) / kTurn);
  return std::isfinite(turns) ? angle + turns * kTurn : angle;
}

Vec3 wrappedNear(const Vec3& angles, const Vec3& near) {
  return {wrapNear(angles[0], near[0]), wrapNear(angles[1], near[1]), wrapNear(angles[2], near[2])};
}

double squaredDistance(const Vec3& a, const Vec3& b) {
  const double x = a[0] - b[0], y = a[1] - b[1], z = a[2] - b[2];
  return x * x + y * y + z * z;
}

}  // namespace

Matrix4 rotationMatrix(const Vec3& angles) {
  Matrix4 m;
  preRotateZ(m, angles[2]);
  preRotateX(m, angles[1]);
  preRotateY(m, angles[0]);
  return m;
}

Vec3 keyAnglesNear(const Matrix4& m, const Vec3& near) {
  // R = Ry(h) Rx(p) Rz(b): its third column is (sin h cos p, -sin p, cos h cos p) and its
  // second row starts (cos p sin b, cos p cos b).
  const double across = std::hypot(m[2], m[10]);
  const double pitch = std::atan2(-m[6], across);
  if (across < 1e-12) {
    // Pitched straight up or down: heading and bank turn about one axis. Keep the heading
    // asked for and give the bank the rest.
    const double heading = near[0];
    Matrix4 undo;
    preRotateY(undo, -heading);
    preRotateX(undo, -pitch);
    matMultiply(undo, undo, m);
    const double bank = std::atan2(undo[4], undo[0]);
    return wrappedNear({heading, pitch, bank}, near);
  }
  const Vec3 one = wrappedNear({std::atan2(m[2], m[10]), pitch, std::atan2(m[4], m[5])}, near);
  const Vec3 other = wrappedNear({one[0] + PI, PI - one[1], one[2] + PI}, near);
  return squaredDistance(other, near) < squaredDistance(one, near) ? other : one;
}

Matrix4 turnFromZ(const Vec3& to) {
  Vec3 d = to;
  vecNormalize(d);
  Matrix4 m;
  if (d[0] == 0 && d[1] == 0) {
    if (d[2] < 0) {
      // Straight back: half a turn about X.
      m[5] = -1;
      m[10] = -1;
    }
    return m;
  }
  // Rodrigues' formula for the axis Z x d = (-dy, dx, 0) and cos = dz; written with
  // 1 / (1 + cos), which stays finite everywhere but straight back (handled above).
  const double vx = -d[1], vy = d[0], c = d[2];
  const double k = 1 / (1 + c);
  m[0] = 1 - k * vy * vy;
  m[1] = k * vx * vy;
  m[2] = vy;
  m[4] = k * vx * vy;
  m[5] = 1 - k * vx * vx;
  m[6] = -vx;
  m[8] = -vy;
  m[9] = vx;
  m[10] = c;
  return m;
}

Matrix4 rigidInverse(const Matrix4& m) {
  Matrix4 inverse;
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) inverse[4 * row + col] = m[4 * col + row];
  }
  for (int row = 0; row < 3; ++row) {
    inverse[4 * row + 3] =
        -(inverse[4 * row] * m[3] + inverse[4 * row + 1] * m[7] + inverse[4 * row + 2] * m[11]);
  }
  return inverse;
}

Matrix4 itemPlacement(const Vec3& position, const Vec3& angles, const Vec3& pivot,
                      const Vec3& pivotAngles) {
  Matrix4 m;
  preTranslate(m, -pivot[0], -pivot[1], -pivot[2]);
  preRotateZ(m, pivotAngles[2]);
  preRotateX(m, pivotAngles[1]);
  preRotateY(m, pivotAngles[0]);
  preRotateZ(m, angles[2]);
  preRotateX(m, angles[1]);
  preRotateY(m, angles[0]);
  preTranslate(m, position[0], position[1], position[2]);
  return m;
}

}  // namespace vorrik
