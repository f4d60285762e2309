#include "runner/checks/rig_check.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "runner/checks/rig_deformation.h"

namespace runner {

namespace {

double distance(const standin::Vec3& a, const standin::Vec3& b) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                   (a[2] - b[2]) * (a[2] - b[2]));
}

std::vector<double> degrees(const standin::Vec3& radians) {
  const standin::Vec3 d = standin::toDegrees(radians);
  return {d[0], d[1], d[2]};
}

std::vector<double> asList(const standin::Vec3& v) { return {v[0], v[1], v[2]}; }

std::string parentName(const RigSnapshot& rig, standin::ItemId parent) {
  const RigItem* item = rig.find(parent);
  return item ? item->name : "";
}

// How far an item moved: its origin, and a bone's tip too unless the run gave it a new rest
// length, which puts the tip elsewhere on purpose (and is listed as a rest change).
double placementMove(const RigItem& was, const RigItem& now) {
  const double origin = distance(was.origin, now.origin);
  if (now.isBone() && was.restLength != now.restLength) return origin;
  return std::max(origin, distance(was.tip, now.tip));
}

}  // namespace

RigChanges compareRigs(const RigSnapshot& before, const RigSnapshot& after) {
  RigChanges changes;
  changes.tolerance = lengthTolerance(before.size());
  const double tolerance = changes.tolerance;
  for (const RigItem& old : before.items) {
    if (!after.find(old.id)) changes.removed.push_back({old.id, old.name});
  }
  for (const RigItem& now : after.items) {
    const RigItem* old = before.find(now.id);
    if (!old) {
      changes.added.push_back({now.id, now.name, parentName(after, now.parent), ""});
      continue;
    }
    if (old->name != now.name) changes.renamed.push_back({now.id, old->name, now.name});
    if (old->parent != now.parent) {
      changes.reparented.push_back(
          {now.id, now.name, parentName(before, old->parent), parentName(after, now.parent)});
    }
    const double moved = placementMove(*old, now);
    if (moved > tolerance) {
      changes.moved.push_back(
          {now.id, now.name, now.isBone(), old->origin, now.origin, old->tip, now.tip, moved});
    }
    if (!now.isBone()) continue;
    RestChanged rest{now.id, now.name, {}};
    if (distance(old->restPosition, now.restPosition) > tolerance) {
      rest.values.push_back({"position", asList(old->restPosition), asList(now.restPosition)});
    }
    bool turned = false;
    for (int axis = 0; axis < 3; ++axis) {
      turned =
          turned || std::abs(old->restRotation[axis] - now.restRotation[axis]) > kAngleTolerance;
    }
    if (turned) {
      rest.values.push_back({"rotation", degrees(old->restRotation), degrees(now.restRotation)});
    }
    if (std::abs(old->restLength - now.restLength) > tolerance) {
      rest.values.push_back({"length", {old->restLength}, {now.restLength}});
    }
    if (!rest.values.empty()) changes.restChanged.push_back(std::move(rest));
    if (old->active != now.active) changes.switched.push_back({now.id, now.name, now.active});
  }
  compareDeformation(before, after, changes);
  return changes;
}

namespace {

template <typename BeforeAt>
void largestMoves(RigChanges& changes, const BeforeAt& beforeAt, const standin::Scene& after,
                  const std::vector<double>& times, const RunIntent* intent) {
  changes.timesChecked = times.size();
  std::unordered_map<standin::ItemId, LargestMove> largest, asked;
  for (double t : times) {
    const RigSnapshot& old = beforeAt(t);
    const RigSnapshot now(after, t);
    for (const RigItem& item : now.items) {
      const RigItem* was = old.find(item.id);
      if (!was) continue;
      const double moved = placementMove(*was, item);
      const bool intended = intent && intent->windowAt(item.id, t);
      LargestMove& entry = (intended ? asked : largest)[item.id];
      if (moved > entry.distance) entry = {item.id, item.name, moved, t};
    }
  }
  changes.movedOverTime.clear();
  for (standin::ItemId id : after.allItems()) {
    const auto found = largest.find(id);
    if (found != largest.end() && found->second.distance > changes.tolerance) {
      changes.movedOverTime.push_back(found->second);
    }
    const auto wanted = asked.find(id);
    if (wanted != asked.end() && wanted->second.distance > changes.tolerance) {
      const LargestMove& move = wanted->second;
      changes.intended.push_back({id, move.name, move.distance, move.time, ""});
    }
  }
}

}  // namespace

void checkOverTime(RigChanges& changes, const standin::Scene& before, const standin::Scene& after,
                   const std::vector<double>& times, const RunIntent* intent) {
  RigSnapshot snapshot;
  largestMoves(
      changes,
      [&](double t) -> const RigSnapshot& {
        snapshot = RigSnapshot(before, t);
        return snapshot;
      },
      after, times, intent);
}

void checkOverTime(RigChanges& changes, const RigSnapshot& before, const standin::Scene& after,
                   const std::vector<double>& times, const RunIntent* intent) {
  largestMoves(
      changes, [&](double) -> const RigSnapshot& { return before; }, after, times, intent);
}

}  // namespace runner
