#include "runner/pictures/rig_shapes.h"

#include <algorithm>
#include <cmath>

#include "runner/pictures/palette.h"

namespace runner::svg {

using standin::ItemType;

Style styleOf(Kind kind) {
  switch (kind) {
    case Kind::Added: return {colour::kAdded, colour::kAddedStroke, "added"};
    case Kind::Removed: return {colour::kRemoved, colour::kRemovedStroke, "removed"};
    case Kind::Moved: return {colour::kMoved, colour::kMovedStroke, "moved"};
    case Kind::Reparented: return {colour::kReparented, colour::kReparentedStroke, "re-parented"};
    case Kind::Rest: return {colour::kRest, colour::kRestStroke, "rest changed"};
    case Kind::Plain: break;
  }
  return {colour::kBone, colour::kBoneStroke, "bone"};
}

Kinds kindsOf(const RigChanges& changes) {
  Kinds kinds;
  // Later lines win: an added bone is shown as added even if it also counts as moved.
  for (const RestChanged& item : changes.restChanged) kinds[item.id] = Kind::Rest;
  for (const Reparented& item : changes.reparented) kinds[item.id] = Kind::Reparented;
  for (const Moved& item : changes.moved) kinds[item.id] = Kind::Moved;
  for (const Removed& item : changes.removed) kinds[item.id] = Kind::Removed;
  for (const Added& item : changes.added) kinds[item.id] = Kind::Added;
  return kinds;
}

Kind kindOf(const Kinds& kinds, standin::ItemId id) {
  const auto found = kinds.find(id);
  return found == kinds.end() ? Kind::Plain : found->second;
}

std::vector<Point> boneShape(Point a, Point b, double* halfWidth) {
  const double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
  *halfWidth = std::clamp(length * 0.12, 1.5, 7.0);
  if (length < 2) return {a};
  const double nx = -dy / length * *halfWidth, ny = dx / length * *halfWidth;
  const Point waist{a.x + dx * 0.18, a.y + dy * 0.18};
  return {a, {waist.x + nx, waist.y + ny}, b, {waist.x - nx, waist.y - ny}};
}

std::vector<Point> markShape(ItemType type, Point p) {
  const double r = 4;
  switch (type) {
    case ItemType::Light:
      return {{p.x, p.y - r - 1}, {p.x + r + 1, p.y}, {p.x, p.y + r + 1}, {p.x - r - 1, p.y}};
    case ItemType::Camera:
      return {{p.x, p.y - r - 1}, {p.x + r + 1, p.y + r}, {p.x - r - 1, p.y + r}};
    default:
      return {{p.x - r, p.y - r}, {p.x + r, p.y - r}, {p.x + r, p.y + r}, {p.x - r, p.y + r}};
  }
}

const char* markFill(ItemType type) {
  return type == ItemType::Light    ? colour::kLight
         : type == ItemType::Camera ? colour::kCamera
                                    : colour::kObject;
}

}  // namespace runner::svg
