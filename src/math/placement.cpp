#include "math/placement.h"

#include <cmath>

namespace vorrik {

namespace {

constexpr double kTurn = 2 * PI;
// Angles beyond this many radians are not unwrapped towards: whole turns of them are lost to
// rounding.
constexpr double kModestAngle = 1e4;

double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

Vec3 column(const Matrix4& m, int c) { return {m[c], m[4 + c], m[8 + c]}; }

// v scaled to unit length; false when it has none to scale.
bool unit(Vec3& v) {
  const double length = vecLength(v);
  if (!(length > 0) || !std::isfinite(length)) return false;
  v = {v[0] / length, v[1] / length, v[2] / length};
  return true;
}

// A unit vector square to the unit vector z.
Vec3 anyPerpendicular(const Vec3& z) {
  const Vec3 away = std::fabs(z[0]) < 0.6 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
  Vec3 p = cross(z, away);
  unit(p);
  return p;
}

// The rotation nearest to m's 3x3 part that keeps the direction of its z axis, then the
// plane of its z and y axes; a lost axis is made up from the others.
void orthonormalAxes(const Matrix4& m, Vec3& x, Vec3& y, Vec3& z) {
  z = column(m, 2);
  if (!unit(z)) {
    z = cross(column(m, 0), column(m, 1));
    if (!unit(z)) z = {0, 0, 1};
  }
  const Vec3 c1 = column(m, 1);
  const double along = dot(c1, z);
  y = {c1[0] - along * z[0], c1[1] - along * z[1], c1[2] - along * z[2]};
  if (!unit(y)) {
    y = cross(z, column(m, 0));
    if (!unit(y)) y = anyPerpendicular(z);
  }
  x = cross(y, z);
}

bool modest(const Vec3& angles) {
  for (double a : angles) {
    if (!std::isfinite(a) || std::fabs(a) > kModestAngle) return false;
  }
  return true;
}

// a moved by whole turns as close as it gets to `near`.
double turnedNear(double a, double near) { return a + kTurn * std::round((near - a) / kTurn); }

double distance(const Vec3& a, const Vec3& b) {
  return std::fabs(a[0] - b[0]) + std::fabs(a[1] - b[1]) + std::fabs(a[2] - b[2]);
}

}  // namespace

Matrix4 placementMatrix(const Placement& values) {
  Matrix4 turn;
  matMultiply(turn, rotationMatrix(values.rotation), rotationMatrix(values.pivotRotation));
  Matrix4 m = turn;
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) m[4 * row + col] *= values.scale[col];
  }
  Vec3 shifted;
  transformPoint(shifted, m, values.pivot);  // m has no translation yet
  for (int row = 0; row < 3; ++row) m[4 * row + 3] = values.position[row] - shifted[row];
  return m;
}

bool invertAffine(Matrix4& out, const Matrix4& m) {
  // Cofactors of the 3x3 part.
  const double c00 = m[5] * m[10] - m[6] * m[9];
  const double c01 = m[6] * m[8] - m[4] * m[10];
  const double c02 = m[4] * m[9] - m[5] * m[8];
  const double det = m[0] * c00 + m[1] * c01 + m[2] * c02;
  if (det == 0 || !std::isfinite(det)) return false;
  Matrix4 inverse;
  inverse[0] = c00 / det;
  inverse[1] = (m[2] * m[9] - m[1] * m[10]) / det;
  inverse[2] = (m[1] * m[6] - m[2] * m[5]) / det;
  inverse[4] = c01 / det;
  inverse[5] = (m[0] * m[10] - m[2] * m[8]) / det;
  inverse[6] = (m[2] * m[4] - m[0] * m[6]) / det;
  inverse[8] = c02 / det;
  inverse[9] = (m[1] * m[8] - m[0] * m[9]) / det;
  inverse[10] = (m[0] * m[5] - m[1] * m[4]) / det;
  for (int row = 0; row < 3; ++row) {
    const double* r = &inverse.e[static_cast<std::size_t>(4 * row)];
    inverse[static_cast<std::size_t>(4 * row + 3)] = -(r[0] * m[3] + r[1] * m[7] + r[2] * m[11]);
  }
  for (double v : inverse.e) {
    if (!std::isfinite(v)) return false;
  }
  out = inverse;
  return true;
}

Matrix4 mirrored(const Matrix4& m, int axis) {
  Matrix4 out = m;
  for (std::size_t k = 0; k < 4; ++k) {
    const auto a = static_cast<std::size_t>(axis);
    if (k != a) {
      out[4 * a + k] = -out[4 * a + k];  // row `axis`, but its diagonal element
      out[4 * k + a] = -out[4 * k + a];  // column `axis`
    }
  }
  return out;
}

Vec3 anglesNear(const Matrix4& m, const Vec3& near) {
  const bool useNear = modest(near);
  const double sinPitch = std::fmax(-1.0, std::fmin(1.0, -m[6]));
  const double cosPitch = std::hypot(m[4], m[5]);
  Vec3 first;
  if (cosPitch > 1e-9) {
    first = {std::atan2(m[2], m[10]), std::atan2(sinPitch, cosPitch), std::atan2(m[4], m[5])};
  } else {
    // Straight up or down: only heading minus bank (up) or plus bank (down) is fixed, so the
    // bank stays where it was.
    const double bank = useNear ? near[2] : 0.0;
    if (sinPitch > 0) {
      first = {std::atan2(m[1], m[0]) + bank, HALF_PI, bank};
    } else {
      first = {std::atan2(-m[1], m[0]) - bank, -HALF_PI, bank};
    }
  }
  if (!useNear) return first;
  const Vec3 second{first[0] + PI, PI - first[1], first[2] + PI};
  Vec3 best = first;
  double bestDistance = -1;
  for (const Vec3& candidate : {first, second}) {
    const Vec3 turned{turnedNear(candidate[0], near[0]), turnedNear(candidate[1], near[1]),
                      turnedNear(candidate[2], near[2])};
    const double d = distance(turned, near);
    if (bestDistance < 0 || d < bestDistance) {
      best = turned;
      bestDistance = d;
    }
  }
  return best;
}

void placementValues(const Matrix4& m, Placement& values, const Vec3& near) {
  Vec3 x, y, z;
  orthonormalAxes(m, x, y, z);
  values.scale = {dot(x, column(m, 0)), dot(y, column(m, 1)), dot(z, column(m, 2))};
  // The axes are the item's rotation followed by its pivot rotation.
  Matrix4 axes;
  for (int row = 0; row < 3; ++row) {
    axes[4 * row + 0] = x[row];
    axes[4 * row + 1] = y[row];
    axes[4 * row + 2] = z[row];
  }
  const Vec3& pr = values.pivotRotation;
  Matrix4 undoPivotTurn;  // Rz(-b) Rx(-p) Ry(-h), the inverse of the pivot rotation
  preRotateY(undoPivotTurn, -pr[0]);
  preRotateX(undoPivotTurn, -pr[1]);
  preRotateZ(undoPivotTurn, -pr[2]);
  Matrix4 turn;
  matMultiply(turn, axes, undoPivotTurn);
  values.rotation = anglesNear(turn, near);
  // The pivot lands where m puts it.
  Vec3 pivotPoint;
  transformPoint(pivotPoint, m, values.pivot);
  values.position = pivotPoint;
}

}  // namespace vorrik
