#include "math/matrix.h"

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using vorrik::HALF_PI;
using vorrik::Matrix4;
using vorrik::PI;
using vorrik::Vec3;

std::string text(const Vec3& v) {
  return std::to_string(v[0]) + " " + std::to_string(v[1]) + " " + std::to_string(v[2]);
}

void expectNear(const Vec3& actual, const Vec3& expected, double tolerance,
                const std::string& what) {
  for (int i = 0; i < 3; ++i)
    EXPECT_NEAR(actual[i], expected[i], tolerance) << what << " [" << i << "]";
}

// Integer matrices with their products worked out independently.
const Matrix4 kA = Matrix4{{2, -1, 0, 3, 1, 4, -2, 0, 0, 5, 1, -3, 1, 0, 2, 1}};
const Matrix4 kB = Matrix4{{1, 0, 2, -1, 3, -2, 0, 1, 0, 1, 4, 2, -1, 3, 0, 1}};
const Matrix4 kAB = Matrix4{{-4, 11, 4, 0, 13, -10, -6, -1, 18, -18, 4, 4, 0, 5, 10, 4}};
const Matrix4 kBA = Matrix4{{1, 9, 0, -4, 5, -11, 6, 10, 3, 24, 6, -10, 2, 13, -4, -2}};

TEST(MatrixMultiply, OrdinaryProductInBothOrders) {
  Matrix4 out;
  EXPECT_EQ(vorrik::matMultiply(out, kA, kB).e, kAB.e);
  EXPECT_EQ(out.e, kAB.e);
  EXPECT_EQ(vorrik::matMultiply(out, kB, kA).e, kBA.e);
  EXPECT_EQ(&vorrik::matMultiply(out, kA, kB), &out);
}

TEST(MatrixMultiply, IdentityOnEitherSide) {
  const Matrix4 identity;
  Matrix4 out;
  EXPECT_EQ(vorrik::matMultiply(out, identity, kA).e, kA.e);
  EXPECT_EQ(vorrik::matMultiply(out, kA, identity).e, kA.e);
}

TEST(MatrixMultiply, OutputMayBeAnOperand) {
  Matrix4 left = kA;
  vorrik::matMultiply(left, left, kB);
  EXPECT_EQ(left.e, kAB.e);
  Matrix4 right = kB;
  vorrik::matMultiply(right, kA, right);
  EXPECT_EQ(right.e, kAB.e);
  Matrix4 both = Matrix4{{1, 2, 0, 0, 3, 4, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
  vorrik::matMultiply(both, both, both);
  EXPECT_EQ(both.e, (Matrix4{{7, 10, 0, 0, 15, 22, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}.e));
}

TEST(MatrixPre, TranslateFillsTheLastColumn) {
  Matrix4 m;
  vorrik::preTranslate(m, 1, 2, 3);
  EXPECT_EQ(m.e, (Matrix4{{1, 0, 0, 1, 0, 1, 0, 2, 0, 0, 1, 3, 0, 0, 0, 1}}.e));
}

// Each case applies its operations to the identity in order, then carries a point.
struct PreCase {
  const char* name;
  std::function<void(Matrix4&)> build;
  Vec3 point, expected;
};

TEST(MatrixPre, LaterOperationsActAfterEarlierOnes) {
  const std::vector<PreCase> cases = {
      {"heading turns +Z to +X",
       [](Matrix4& m) { vorrik::preRotateY(m, HALF_PI); },
       {0, 0, 1},
       {1, 0, 0}},
      {"pitch turns +Z to -Y",
       [](Matrix4& m) { vorrik::preRotateX(m, HALF_PI); },
       {0, 0, 1},
       {0, -1, 0}},
      {"bank turns +X to +Y",
       [](Matrix4& m) { vorrik::preRotateZ(m, HALF_PI); },
       {1, 0, 0},
       {0, 1, 0}},
      {"X then Y is Ry x Rx",
       [](Matrix4& m) {
         vorrik::preRotateX(m, HALF_PI);
         vorrik::preRotateY(m, HALF_PI);
       },
       {0, 1, 0},
       {1, 0, 0}},
      {"rotate then translate",
       [](Matrix4& m) {
         vorrik::preRotateY(m, HALF_PI);
         vorrik::preTranslate(m, 1, 2, 3);
       },
       {0, 0, 1},
       {2, 2, 3}},
      {"translate then rotate",
       [](Matrix4& m) {
         vorrik::preTranslate(m, 1, 2, 3);
         vorrik::preRotateY(m, HALF_PI);
       },
       {0, 0, 1},
       {4, 2, -1}},
  };
  for (const PreCase& c : cases) {
    Matrix4 m;
    c.build(m);
    Vec3 out;
    expectNear(vorrik::transformPoint(out, m, c.point), c.expected, 1e-15, c.name);
    EXPECT_EQ(m[15], 1) << c.name;
  }
}

TEST(MatrixTransformPoint, LastRowDividesUnlessZero) {
  const struct {
    const char* name;
    std::array<double, 4> lastRow;
    Vec3 point, expected;
  } cases[] = {
      {"affine", {0, 0, 0, 1}, {1, 1, 1}, {4, 3, 3}},
      {"w = 2 halves", {0, 0, 0, 2}, {1, 1, 1}, {2, 1.5, 1.5}},
      {"w = 0 leaves it undivided", {0, 0, 0, 0}, {1, 1, 1}, {4, 3, 3}},
      {"w from the point", {0, 0, 1, 0}, {2, 1, 2}, {3, 1, 2}},
  };
  for (const auto& c : cases) {
    Matrix4 m = kA;
    for (int k = 0; k < 4; ++k) m[12 + k] = c.lastRow[k];
    Vec3 out{9, 9, 9};
    EXPECT_EQ(vorrik::transformPoint(out, m, c.point), c.expected) << c.name;
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

TEST(MatrixTransformPoint, OutputMayBeTheInput) {
  Vec3 p{1, 1, 1};
  vorrik::transformPoint(p, kA, p);
  EXPECT_EQ(p, (Vec3{1, 0.75, 0.75}));
}

TEST(VectorNormalize, UnitLengthInPlaceAndReturned) {
  Vec3 v{3, 0, 4};
  EXPECT_EQ(vorrik::vecLength(v), 5);
  const Vec3 returned = vorrik::vecNormalize(v);
  expectNear(v, {0.6, 0, 0.8}, 1e-16, "in place");
  EXPECT_EQ(returned, v);
  Vec3 zero{0, -0.0, 0};
  EXPECT_EQ(vorrik::vecNormalize(zero), (Vec3{0, 0, 0}));
  EXPECT_FALSE(std::signbit(zero[1]));
}

TEST(DirectionToAngles, AxesAndDiagonals) {
  const double q = PI / 4;
  const struct {
    Vec3 dir;
    double heading, pitch;
  } cases[] = {
      {{0, 0, 1}, 0, 0},
      {{1, 0, 0}, HALF_PI, 0},
      {{-1, 0, 0}, -HALF_PI, 0},
      {{1, 0, 1}, q, 0},
      {{0, 1, 1}, 0, -q},
      {{0, 1, 0}, 0, -HALF_PI},
      {{0, -1, 0}, 0, HALF_PI},
      {{0, 0, -1}, PI, 0},
      {{0, 1, -1}, PI, -q},
      {{0, 0, 0}, 0, 0},
      {{-2, 0, -2}, -3 * q, 0},
      {{0, 0, 5}, 0, 0},
      // An exact test of zero: a tiny x still turns the heading.
      {{1e-300, 0, 1}, 1e-300, 0},
  };
  for (const auto& c : cases) {
    Vec3 angles{-3, -3, 7.5};
    vorrik::directionToAngles(c.dir, angles);
    const std::string what = text(c.dir);
    EXPECT_DOUBLE_EQ(angles[0], c.heading) << what;
    EXPECT_DOUBLE_EQ(angles[1], c.pitch) << what;
    EXPECT_EQ(angles[2], 7.5) << what;
  }
}

TEST(DirectionToAngles, AnglesTurnPlusZAlongTheDirection) {
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> component(-10, 10);
  std::uniform_int_distribution<int> pick(0, 5);
  const double special[] = {0.0, -0.0, 1.0, -1.0};
  for (int n = 0; n < 20000; ++n) {
    Vec3 dir;
    // Half the components are exact zeros (of either sign) or unit values.
    for (double& d : dir) d = pick(random) < 3 ? component(random) : special[pick(random) % 4];
    if (vorrik::vecLength(dir) == 0) continue;
    Vec3 angles{0, 0, 0};
    vorrik::directionToAngles(dir, angles);
    Matrix4 m;
    vorrik::preRotateX(m, angles[1]);
    vorrik::preRotateY(m, angles[0]);
    Vec3 turned;
    vorrik::transformPoint(turned, m, {0, 0, 1});
    Vec3 unit = dir;
    vorrik::vecNormalize(unit);
    expectNear(turned, unit, 1e-12, text(dir));
  }
}

}  // namespace
