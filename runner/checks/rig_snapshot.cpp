#include "runner/checks/rig_snapshot.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_set>

namespace runner {

namespace {

// The item's frame in its parent's, as scene.h defines it: T(position) R(rotation)
// R(pivot rotation) S(scale) T(-pivot).
standin::Mat4 localMatrix(const standin::Item& item, const standin::Vec3& position,
                          const standin::Vec3& rotation, const standin::Vec3& scale) {
  standin::Mat4 m =
      standin::multiply(standin::translation(position), standin::rotationHPB(rotation));
  m = standin::multiply(m, standin::rotationHPB(item.pivotRotation));
  m = standin::multiply(m, standin::scaling(scale));
  return standin::multiply(m,
                           standin::translation({-item.pivot[0], -item.pivot[1], -item.pivot[2]}));
}

}  // namespace

RigSnapshot::RigSnapshot(const standin::Scene& scene) : RigSnapshot(scene, scene.time()) {}

RigSnapshot::RigSnapshot(const standin::Scene& scene, double atTime) : time(atTime) {
  const bool now = atTime == scene.time();
  const std::unordered_set<standin::ItemId> selected(scene.selection().begin(),
                                                     scene.selection().end());
  // World matrices top down, each parent's once: Scene::worldMatrix walks the whole chain
  // for every item, which a deep rig pays for quadratically.
  std::unordered_map<standin::ItemId, standin::Mat4> world;
  auto worldOf = [&](standin::ItemId id) -> const standin::Mat4& {
    std::vector<standin::ItemId> chain;
    for (standin::ItemId cur = id; cur != 0 && world.count(cur) == 0;
         cur = scene.find(cur)->parent) {
      chain.push_back(cur);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      const standin::Item& item = *scene.find(*it);
      const standin::Mat4 local =
          now ? localMatrix(item, item.position(), item.rotation(), item.scale())
              : localMatrix(item, scene.param(*it, standin::kPosition, atTime),
                            scene.param(*it, standin::kRotation, atTime),
                            scene.param(*it, standin::kScaling, atTime));
      world[*it] = item.parent == 0 ? local : standin::multiply(world.at(item.parent), local);
    }
    return world.at(id);
  };
  for (standin::ItemId id : scene.allItems()) {
    const standin::Item& source = *scene.find(id);
    const standin::Mat4& matrix = worldOf(id);
    RigItem item;
    item.id = id;
    item.type = source.type;
    item.name = source.name;
    item.parent = source.parent;
    item.origin = {matrix[3], matrix[7], matrix[11]};
    item.tip =
        item.isBone() ? standin::transformPoint(matrix, {0, 0, source.restLength}) : item.origin;
    item.selected = selected.count(id) != 0;
    if (item.isBone()) {
      item.restPosition = source.restPosition;
      item.restRotation = source.restRotation;
      item.restLength = source.restLength;
      item.active = source.active;
      item.owner = source.owner;
      item.strength = source.strength;
      item.scaleStrength = source.scaleStrength;
      item.deformation = source.deformation;
    }
    index_[id] = items.size();
    items.push_back(std::move(item));
  }
}

const RigItem* RigSnapshot::find(standin::ItemId id) const {
  const auto found = index_.find(id);
  return found == index_.end() ? nullptr : &items[found->second];
}

double RigSnapshot::size() const {
  if (items.empty()) return 0;
  standin::Vec3 low{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                    std::numeric_limits<double>::max()};
  standin::Vec3 high{-low[0], -low[1], -low[2]};
  for (const RigItem& item : items) {
    for (const standin::Vec3* point : {&item.origin, &item.tip}) {
      for (int axis = 0; axis < 3; ++axis) {
        low[axis] = std::min(low[axis], (*point)[axis]);
        high[axis] = std::max(high[axis], (*point)[axis]);
      }
    }
  }
  return boxDiagonal(low, high);
}

double boxDiagonal(const standin::Vec3& low, const standin::Vec3& high) {
  // Each extent halved first: high - low overflows where both are near the largest double.
  const double diagonal =
      2 * std::hypot(high[0] / 2 - low[0] / 2, high[1] / 2 - low[1] / 2, high[2] / 2 - low[2] / 2);
  return std::isfinite(diagonal) ? diagonal : std::numeric_limits<double>::max();
}

double lengthTolerance(double rigSize) { return 1e-5 * rigSize + 1e-9; }

}  // namespace runner
