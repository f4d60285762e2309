// An item's values to its placement matrix and back, and the angles nearest to an item's own.
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

}  // namespace
