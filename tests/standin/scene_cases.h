// What the scene-model tests share: matrices built the long way, the placements Layout's
// composition gives, listings.
#pragma once

#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <vector>
#include "standin/scene/scene.h"

namespace standin {
namespace scene_cases {

constexpr double kDeg = kPi / 180;

// Elementary matrices written out from Layout's conventions, independent of the scene's
// own helpers so that the two can be checked against each other.
inline Mat4 one() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }
inline Mat4 rx(double a) {
  Mat4 m = one();
  m[5] = std::cos(a), m[6] = -std::sin(a), m[9] = std::sin(a), m[10] = std::cos(a);
  return m;
}
inline Mat4 ry(double a) {
  Mat4 m = one();
  m[0] = std::cos(a), m[2] = std::sin(a), m[8] = -std::sin(a), m[10] = std::cos(a);
  return m;
}
inline Mat4 rz(double a) {
  Mat4 m = one();
  m[0] = std::cos(a), m[1] = -std::sin(a), m[4] = std::sin(a), m[5] = std::cos(a);
  return m;
}
inline Mat4 shift(const Vec3& v) {
  Mat4 m = one();
  m[3] = v[0], m[7] = v[1], m[11] = v[2];
  return m;
}
inline Mat4 grow(const Vec3& v) {
  Mat4 m = one();
  m[0] = v[0], m[5] = v[1], m[10] = v[2];
  return m;
}
inline Mat4 mul(const Mat4& a, const Mat4& b) {
  Mat4 r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k) r[4 * i + j] += a[4 * i + k] * b[4 * k + j];
  return r;
}
inline Mat4 hpb(const Vec3& a) { return mul(mul(ry(a[0]), rx(a[1])), rz(a[2])); }

// The local matrix as Layout composes it, from the item's stored values.
inline Mat4 expectedLocal(const Item& item) {
  Vec3 negPivot{-item.pivot[0], -item.pivot[1], -item.pivot[2]};
  return mul(mul(mul(mul(shift(item.position()), hpb(item.rotation())), hpb(item.pivotRotation)),
                 grow(item.scale())),
             shift(negPivot));
}

inline Mat4 expectedWorld(const Scene& scene, ItemId id) {
  Mat4 w = one();
  for (ItemId at = id; at != 0; at = scene.parentOf(at)) w = mul(expectedLocal(*scene.find(at)), w);
  return w;
}

inline ::testing::AssertionResult near(const Mat4& a, const Mat4& b, double tolerance) {
  for (int i = 0; i < 16; ++i) {
    if (!(std::fabs(a[i] - b[i]) <= tolerance)) {
      return ::testing::AssertionFailure() << "element " << i << ": " << a[i] << " vs " << b[i];
    }
  }
  return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult near(const Vec3& a, const Vec3& b, double tolerance) {
  for (int i = 0; i < 3; ++i) {
    if (!(std::fabs(a[i] - b[i]) <= tolerance)) {
      return ::testing::AssertionFailure()
             << "(" << a[0] << ", " << a[1] << ", " << a[2] << ") vs (" << b[0] << ", " << b[1]
             << ", " << b[2] << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

inline std::vector<ItemId> listed(const Scene& scene, ItemType type, ItemId object = 0) {
  std::vector<ItemId> ids;
  for (ItemId id = scene.first(type, object); id != 0; id = scene.next(id)) ids.push_back(id);
  return ids;
}

inline std::vector<ItemId> children(const Scene& scene, ItemId parent) {
  std::vector<ItemId> ids;
  for (ItemId id = scene.firstChild(parent); id != 0; id = scene.nextChild(parent, id)) {
    ids.push_back(id);
  }
  return ids;
}

}  // namespace scene_cases
}  // namespace standin
