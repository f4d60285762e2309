// What the JSON scene-file tests share: errors, items by name, scenes compared.
#pragma once

#include <gtest/gtest.h>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>
#include "standin/files/demo_rig.h"
#include "standin/files/json/scene_json.h"
#include "standin/files/scene_file.h"
#include "standin/scene/scene.h"
#include "support/file_text.h"
#include "support/temp_folder.h"

namespace standin {
namespace scene_json_cases {

constexpr double kDeg = kPi / 180;

inline std::string errorOf(const std::string& text) {
  try {
    sceneFromJson(text);
  } catch (const SceneFileError& e) {
    return e.what();
  }
  return "(no error)";
}

inline ItemId idOf(const Scene& scene, const std::string& name) {
  const ItemId id = scene.findByName(name);
  EXPECT_NE(id, 0u) << name;
  return id;
}

inline std::string parentName(const Scene& scene, const std::string& name) {
  const Item* parent = scene.find(scene.parentOf(idOf(scene, name)));
  return parent ? parent->name : "(none)";
}

inline void expectNear3(const Vec3& a, const Vec3& b, double tolerance, const std::string& what) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], tolerance) << what << " [" << i << "]";
}

// Same items in the same order with the same values, and the same motion at sample times.
inline void expectSameScene(const Scene& a, const Scene& b, double tolerance) {
  ASSERT_EQ(a.itemCount(), b.itemCount());
  EXPECT_EQ(a.time(), b.time());
  EXPECT_EQ(a.parentInPlace, b.parentInPlace);
  const std::vector<ItemId> ia = a.allItems();
  const std::vector<ItemId> ib = b.allItems();
  std::vector<double> times{-1, 0, 0.25, 0.5, 0.75, 1, 1.5, 2, 3, 10};
  for (std::size_t i = 0; i < ia.size(); ++i) {
    const Item& x = *a.find(ia[i]);
    const Item& y = *b.find(ib[i]);
    SCOPED_TRACE(x.name);
    EXPECT_EQ(x.id, y.id);
    EXPECT_EQ(x.name, y.name);
    EXPECT_EQ(x.type, y.type);
    const Item* px = a.find(x.parent);
    const Item* py = b.find(y.parent);
    EXPECT_EQ(px ? px->name : "", py ? py->name : "");
    EXPECT_EQ(x.owner, y.owner);
    for (int c = 0; c < kChannelCount; ++c) EXPECT_NEAR(x.current[c], y.current[c], tolerance);
    expectNear3(x.pivot, y.pivot, tolerance, "pivot");
    expectNear3(x.pivotRotation, y.pivotRotation, tolerance, "pivotRotation");
    expectNear3(x.restPosition, y.restPosition, tolerance, "restPosition");
    expectNear3(x.restRotation, y.restRotation, tolerance, "restRotation");
    expectNear3(x.restScale, y.restScale, tolerance, "restScale");
    EXPECT_EQ(x.restLength, y.restLength);
    EXPECT_EQ(x.active, y.active);
    EXPECT_EQ(x.hasKeys(), y.hasKeys());
    for (const auto& channel : x.keys) {
      for (const Key& k : channel) times.push_back(k.time);
    }
    for (double t : times) {
      for (int which : {kPosition, kRotation, kScaling}) {
        expectNear3(a.param(x.id, which, t), b.param(y.id, which, t), tolerance,
                    "param " + std::to_string(which) + " at " + std::to_string(t));
      }
    }
  }
  ASSERT_EQ(a.selection().size(), b.selection().size());
  for (std::size_t i = 0; i < a.selection().size(); ++i) {
    EXPECT_EQ(a.find(a.selection()[i])->name, b.find(b.selection()[i])->name);
  }
}

}  // namespace scene_json_cases
}  // namespace standin
