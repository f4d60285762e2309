// An item's values to its placement matrix and back, the affine inverse, the mirror of a
// matrix, and the angles nearest to an item's own.
#include "math/placement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using vorrik::Matrix4;
using vorrik::PI;
using vorrik::Placement;
using vorrik::Vec3;

constexpr double kDeg = PI / 180;

Vec3 radians(const Vec3& degrees) {
  return {degrees[0] * kDeg, degrees[1] * kDeg, degrees[2] * kDeg};
}

void expectNear(const Vec3& actual, const Vec3& expected, double tolerance,
                const std::string& what) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << what << " " << i;
}

void expectNear(const Matrix4& actual, const Matrix4& expected, const std::string& what) {
  for (std::size_t k = 0; k < 16; ++k)
    EXPECT_NEAR(actual[k], expected[k], 1e-9) << what << " " << k;
}

TEST(Placement, ValuesGiveTheFrameTheyCameFrom) {
  struct Case {
    const char* what;
    Placement values;  // rotations in degrees here
  };
  const Case cases[] = {
      {"nothing", {}},
      {"moved and turned", {{1, 2, 3}, {30, -20, 45}, {1, 1, 1}, {0, 0, 0}, {0, 0, 0}}},
      {"scaled unevenly", {{0, 0.5, 0}, {-100, 10, 170}, {2, 0.5, 3}, {0, 0, 0}, {0, 0, 0}}},
      {"with a pivot and a pivot rotation",
       {{-1, 4, 2}, {15, 60, -30}, {1, 2, 1}, {0.3, -0.2, 0.5}, {0, 0, 25}}},
      {"turned inside out", {{1, 1, 1}, {40, 0, 0}, {-1, 2, 2}, {0, 0, 0}, {0, 0, 0}}},
  };
  for (const Case& c : cases) {
    Placement given = c.values;
    given.rotation = radians(c.values.rotation);
    given.pivotRotation = radians(c.values.pivotRotation);
    const Matrix4 frame = vorrik::placementMatrix(given);
    Placement found;
    found.pivot = given.pivot;
    found.pivotRotation = given.pivotRotation;
    vorrik::placementValues(frame, found, given.rotation);
    expectNear(found.position, given.position, 1e-9, std::string(c.what) + " position");
    expectNear(found.rotation, given.rotation, 1e-9, std::string(c.what) + " rotation");
    expectNear(found.scale, given.scale, 1e-9, std::string(c.what) + " scale");
    // The pivot point lands where the frame puts it.
    Vec3 pivotAt;
    vorrik::transformPoint(pivotAt, frame, given.pivot);
    expectNear(pivotAt, given.position, 1e-9, std::string(c.what) + " pivot point");
  }
}

TEST(Placement, AnglesAreTheOnesNearestTheItemsOwn) {
  struct Case {
    const char* what;
    Vec3 given;  // degrees: the rotation to express
    Vec3 near;   // degrees
    Vec3 want;   // degrees
  };
  const Case cases[] = {
      {"near nothing: the principal angles", {30, 20, 10}, {0, 0, 0}, {30, 20, 10}},
      {"a whole turn up", {-10, 0, 0}, {350, 0, 0}, {350, 0, 0}},
      {"two turns down in bank", {0, 10, 5}, {0, 10, -715}, {0, 10, -715}},
      {"the other solution past a quarter turn of pitch",
       {10, 120, 30},
       {10, 120, 30},
       {10, 120, 30}},
      {"straight up keeps the bank it had", {40, -90, 25}, {0, -90, 25}, {40, -90, 25}},
      {"straight down keeps the bank it had", {40, 90, -30}, {0, 90, -30}, {40, 90, -30}},
      {"an absurd angle to be near: principal values", {30, 20, 10}, {1e300, 0, 0}, {30, 20, 10}},
  };
  for (const Case& c : cases) {
    const Matrix4 turn = vorrik::rotationMatrix(radians(c.given));
    const Vec3 found = vorrik::anglesNear(turn, radians(c.near));
    expectNear(found, radians(c.want), 1e-9, c.what);
  }
}

TEST(Placement, InverseAndMirror) {
  Placement values;
  values.position = {1, -2, 3};
  values.rotation = radians({25, -35, 80});
  values.scale = {2, 3, 0.5};
  values.pivot = {0.1, 0.2, 0.3};
  const Matrix4 m = vorrik::placementMatrix(values);
  Matrix4 inverse, product;
  ASSERT_TRUE(vorrik::invertAffine(inverse, m));
  expectNear(vorrik::matMultiply(product, m, inverse), Matrix4{}, "m x inverse");

  Matrix4 flat = m;
  for (std::size_t k : {0, 1, 2}) flat[k] = 0;  // no x axis left
  EXPECT_FALSE(vorrik::invertAffine(inverse, flat));
  Matrix4 tiny;  // its determinant is below the smallest double
  tiny[0] = tiny[5] = tiny[10] = 1e-300;
  EXPECT_FALSE(vorrik::invertAffine(inverse, tiny));

  // The mirror across each axis turns that axis's coordinate of every point round.
  for (int axis = 0; axis < 3; ++axis) {
    const Matrix4 seen = vorrik::mirrored(m, axis);
    for (const Vec3& p : {Vec3{0, 0, 0}, Vec3{1, 2, 3}, Vec3{-0.5, 4, 1}}) {
      Vec3 flipped = p;
      flipped[axis] = -flipped[axis];
      Vec3 a, b;
      vorrik::transformPoint(a, seen, flipped);
      vorrik::transformPoint(b, m, p);
      b[axis] = -b[axis];
      expectNear(a, b, 1e-12, "mirror across " + std::to_string(axis));
    }
    expectNear(vorrik::mirrored(seen, axis), m, "mirrored twice");
  }
}

}  // namespace
