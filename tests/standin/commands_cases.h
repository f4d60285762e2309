// What the command tests share: the starting scene, its snapshot, the table runner.
#pragma once

#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>
#include "standin/layout/commands.h"

namespace standin {
namespace commands_cases {

constexpr double kDeg = kPi / 180;

// The scene every case starts from:
//   Body 10000000: Root 40000000 (rest length 2) > Arm 40010000
//   Prop 10000001: PropBone 40000001
//   Key 20000000, Camera 30000000
constexpr ItemId kBody = 0x10000000, kProp = 0x10000001, kRoot = 0x40000000, kArm = 0x40010000,
                 kPropBone = 0x40000001, kLight = 0x20000000, kCamera = 0x30000000;
constexpr ItemId kNewBone = 0x40020000;  // the next bone of Body

inline Scene startingScene() {
  Scene scene;
  scene.addObject("Body");
  scene.addObject("Prop");
  scene.addLight("Key");
  scene.addCamera("Camera");
  scene.addBone(kBody, kBody, "Root");
  scene.addBone(kBody, kRoot, "Arm");
  scene.addBone(kProp, kProp, "PropBone");
  scene.find(kRoot)->restLength = 2;
  scene.setPosition(kArm, {0, 0, 2});
  return scene;
}

// Everything a command could change, as text, so that "changed nothing" is one comparison.
inline std::string snapshot(const Scene& scene) {
  std::ostringstream out;
  out.precision(17);
  auto vec = [&out](const Vec3& v) { out << v[0] << ',' << v[1] << ',' << v[2] << ' '; };
  out << "time " << scene.time() << " inPlace " << scene.parentInPlace << '\n';
  for (ItemId id : scene.allItems()) {
    const Item& item = *scene.find(id);
    out << idText(id) << " '" << item.name << "' type " << static_cast<int>(item.type) << " parent "
        << idText(item.parent) << " owner " << idText(item.owner) << " cur ";
    for (double v : item.current) out << v << ',';
    out << " keys ";
    for (const auto& channel : item.keys) {
      for (const Key& k : channel) out << k.time << ':' << k.value << ',';
      out << '|';
    }
    out << " piv ";
    vec(item.pivot);
    vec(item.pivotRotation);
    out << "rest ";
    vec(item.restPosition);
    vec(item.restRotation);
    vec(item.restScale);
    out << item.restLength << ' ' << item.active << " children";
    for (ItemId c = scene.firstChild(id); c != 0; c = scene.nextChild(id, c))
      out << ' ' << idText(c);
    out << '\n';
  }
  for (ItemId o = scene.first(ItemType::Object, 0); o != 0; o = scene.next(o)) {
    out << "bones of " << idText(o) << ':';
    for (ItemId b = scene.first(ItemType::Bone, o); b != 0; b = scene.next(b))
      out << ' ' << idText(b);
    out << '\n';
  }
  out << "selection";
  for (ItemId id : scene.selection()) out << ' ' << idText(id);
  return out.str();
}

struct Case {
  const char* name;
  std::vector<ItemId> selected;  // in order; the last is current
  std::string line;
  bool ok;
  // Checks the outcome of an accepted command (before, after).
  std::function<void(const Scene&, const Scene&)> check = nullptr;
  std::function<void(Scene&)> prepare = nullptr;  // changes to the starting scene
};

inline void run(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + ": \"" + c.line + "\"");
    Scene scene = startingScene();
    if (c.prepare) c.prepare(scene);
    scene.clearSelection();
    for (ItemId id : c.selected) scene.addToSelection(id);
    const Scene before = scene;
    const std::string was = snapshot(scene);

    CommandOutcome outcome = executeCommand(scene, c.line);
    EXPECT_EQ(outcome.ok, c.ok) << outcome.why;
    if (c.ok) {
      EXPECT_EQ(outcome.why, "");
      if (c.check) c.check(before, scene);
    } else {
      EXPECT_FALSE(outcome.why.empty());
      EXPECT_EQ(snapshot(scene), was) << "a refused command changed the scene";
    }
    EXPECT_EQ(scene.validate(), "");
  }
}

inline void unchanged(const Scene& before, const Scene& after) {
  EXPECT_EQ(snapshot(after), snapshot(before));
}

inline ::testing::AssertionResult near(const Vec3& a, const Vec3& b) {
  for (int i = 0; i < 3; ++i) {
    if (!(std::fabs(a[i] - b[i]) <= 1e-9)) {
      return ::testing::AssertionFailure()
             << "(" << a[0] << ", " << a[1] << ", " << a[2] << ") vs (" << b[0] << ", " << b[1]
             << ", " << b[2] << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace commands_cases
}  // namespace standin
