// Re-expressed rotations stay next to the values the item had: the nearest of every heading,
// pitch and bank that give the same orientation.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "standin/scene/scene.h"
#include "standin/scene/transform.h"

namespace standin {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180;

double largestDifference(const Mat4& a, const Mat4& b) {
  double worst = 0;
  for (std::size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::fabs(a[i] - b[i]));
  return worst;
}

double distance(const Vec3& a, const Vec3& b) { return length(minus(a, b)); }

struct NearestCase {
  const char* name;
  Vec3 given;  // degrees: the orientation to re-express
  Vec3 near;   // degrees: the item's values before
  Vec3 want;   // degrees
};

TEST(NearestHPB, PicksTheTripleNearestToTheOldValues) {
  const NearestCase cases[] = {
      {"already nearest", {10, 20, 30}, {10, 20, 30}, {10, 20, 30}},
      // The canonical answer for pitch beyond 90 degrees flips heading and bank by 180.
      {"pitch beyond 90", {0, 117.3, 3.2}, {0, 117.3, 3.2}, {0, 117.3, 3.2}},
      {"pitch beyond -90", {5, -117.3, 3.2}, {5, -117.3, 3.2}, {5, -117.3, 3.2}},
      {"heading past a whole turn", {370, 10, 0}, {365, 10, 0}, {370, 10, 0}},
      {"bank two turns down", {0, 10, -725}, {0, 10, -720}, {0, 10, -725}},
      {"second solution wrapped", {0, 63, 0}, {-178, 117, 179}, {-180, 117, 180}},
      // At the pole only heading - bank is fixed: the split keeps both moves small.
      {"pole, heading minus bank", {50, 90, 20}, {45, 90, 10}, {42.5, 90, 12.5}},
      {"pole, heading plus bank", {50, -90, 20}, {40, -90, 20}, {45, -90, 25}},
      {"pole reached from near it", {30, 90, 0}, {10, 89.9, -15}, {12.5, 90, -17.5}},
  };
  for (const NearestCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Mat4 r = rotationHPB(scaled(c.given, kDeg));
    const Vec3 got = nearestHPB(r, scaled(c.near, kDeg));
    EXPECT_LT(largestDifference(rotationHPB(got), r), 1e-12);
    EXPECT_LT(distance(got, scaled(c.want, kDeg)), 1e-9)
        << got[0] / kDeg << " " << got[1] / kDeg << " " << got[2] / kDeg;
  }
}

TEST(NearestHPB, NeverFartherThanTheCanonicalAnswer) {
  // A sweep of orientations and old values around them, near the pole included.
  for (double pitch : {-179.0, -120.0, -90.0, -89.999, -45.0, 0.0, 60.0, 89.9999, 90.0, 150.0}) {
    for (double heading : {-170.0, -30.0, 0.0, 95.0, 400.0}) {
      for (double bank : {-200.0, 0.0, 33.0}) {
        const Vec3 old = scaled(Vec3{heading, pitch, bank}, kDeg);
        const Mat4 r = rotationHPB(old);
        const Vec3 got = nearestHPB(r, old);
        EXPECT_LT(largestDifference(rotationHPB(got), r), 1e-9) << heading << " " << pitch;
        EXPECT_LT(distance(got, old), 1e-6) << heading << " " << pitch << " " << bank;
      }
    }
  }
}

// Parent in place through a chain and back: the values come back, not an equivalent flip.
TEST(NearestHPB, ParentingInPlaceAndBackKeepsTheValues) {
  struct Case {
    const char* name;
    Vec3 parent, child;  // degrees
    bool sameValues;     // exactly at the pole only heading - bank survives the trip
  };
  const Case cases[] = {
      {"plain", {30, 10, 0}, {0, -117.3, 3.2}, true},
      {"child pitch beyond -90", {0, -90, 0}, {0, -117.3, 3.2}, true},
      {"child near the pole", {12, 40, 5}, {20, 89.99, -30}, true},
      {"child at the pole", {12, 0, 5}, {20, 90, -30}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scene scene;
    const ItemId object = scene.addObject("Rig");
    const ItemId upper = scene.addBone(object, object, "Upper");
    const ItemId lower = scene.addBone(object, upper, "Lower");
    scene.setRotation(upper, scaled(c.parent, kDeg));
    scene.setPosition(lower, {0, 0.2, 1});
    scene.setRotation(lower, scaled(c.child, kDeg));
    const Vec3 tip = scene.worldTip(lower);
    ASSERT_TRUE(scene.setParent(lower, object, true));
    ASSERT_TRUE(scene.setParent(lower, upper, true));
    EXPECT_LT(distance(scene.worldTip(lower), tip), 1e-9);
    const Vec3 now = scene.find(lower)->rotation();
    if (c.sameValues) {
      EXPECT_LT(distance(now, scaled(c.child, kDeg)), 1e-9);
    } else {
      EXPECT_NEAR(now[0] - now[2], (c.child[0] - c.child[2]) * kDeg, 1e-9);
      EXPECT_NEAR(now[1], c.child[1] * kDeg, 1e-9);
      EXPECT_LT(distance(now, scaled(c.child, kDeg)), kPi);  // no half-turn flip
    }
  }
}

}  // namespace
}  // namespace standin
