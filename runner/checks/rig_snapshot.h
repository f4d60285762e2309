// The rig as the checks and the pictures see it: every item's place in the world at one
// time, with the bones' rest values and deformation settings.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "standin/scene/scene.h"

namespace runner {

// One item as the check and the pictures need it, at the snapshot's time.
struct RigItem {
  standin::ItemId id = 0;
  standin::ItemType type = standin::ItemType::Object;
  std::string name;
  standin::ItemId parent = 0;
  standin::Vec3 origin{0, 0, 0};  // world
  standin::Vec3 tip{0, 0, 0};     // world; bones only, the origin for other items
  bool selected = false;
  // Bones only.
  standin::Vec3 restPosition{0, 0, 0};
  standin::Vec3 restRotation{0, 0, 0};  // radians
  double restLength = 0;
  bool active = true;
  standin::ItemId owner = 0;
  double strength = 1;
  bool scaleStrength = true;
  standin::BoneDeformation deformation;

  bool isBone() const { return type == standin::ItemType::Bone; }
};

class RigSnapshot {
public:
  RigSnapshot() = default;
  explicit RigSnapshot(const standin::Scene& scene);
  // The rig at `time`: the current values at the scene's time, the keyed ones elsewhere.
  RigSnapshot(const standin::Scene& scene, double time);

  double time = 0;
  std::vector<RigItem> items;  // in the scene's listing order

  const RigItem* find(standin::ItemId id) const;
  // The diagonal of the box around every item's origin and every bone's tip (0 if none).
  double size() const;

private:
  std::unordered_map<standin::ItemId, std::size_t> index_;
};

// The diagonal of the box from `low` to `high`, kept finite for boxes as wide as doubles
// reach, so that a tolerance taken from it still finds moves.
double boxDiagonal(const standin::Vec3& low, const standin::Vec3& high);

// Moves up to this much are noise: float arithmetic, and what "%g" cannot show anyway.
// Relative to the rig's size, with a floor for a rig that is a single point.
double lengthTolerance(double rigSize);
// Rest rotations, in radians (about 0.0006 degrees).
constexpr double kAngleTolerance = 1e-5;

}  // namespace runner
