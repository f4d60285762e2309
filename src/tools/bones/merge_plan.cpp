#include "tools/bones/merge_plan.h"

#include <cmath>

#include "host/loop_guard.h"
#include "math/rotation.h"
#include "scene/item_helpers.h"

namespace vorrik {

namespace {

bool finiteMatrix(const Matrix4& m) {
  for (double v : m.e) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

Matrix4 multiply(const Matrix4& a, const Matrix4& b) {
  Matrix4 out;
  matMultiply(out, a, b);
  return out;
}

Matrix4 restFrame(const Vec3& position, const Vec3& rotation) {
  Matrix4 m = rotationMatrix(rotation);
  m[3] = position[0];
  m[7] = position[1];
  m[11] = position[2];
  return m;
}

Matrix4 placementAt(const Host& host, LWItemID item, double time) {
  const Pose pose = poseAt(host, item, time);
  return itemPlacement(pose.position, pose.rotation, pose.pivot, pose.pivotRotation);
}

// The children of an item, in Layout's order, read before anything changes them.
std::vector<LWItemID> childrenOf(const Host& host, LWItemID parent) {
  std::vector<LWItemID> children;
  LoopGuard guard;
  for (LWItemID child = host.firstChild(parent); child != LWITEM_NULL;
       child = host.nextChild(parent, child)) {
    guard.step(child);
    children.push_back(child);
  }
  return children;
}

// Q's placement in P's frame at each time asked, read once per time.
class LowerBoneMotion {
public:
  LowerBoneMotion(const Host& host, LWItemID q) : host_(host), q_(q) {}
  const Matrix4& at(double time) {
    auto found = placements_.find(time);
    if (found == placements_.end()) {
      found = placements_.emplace(time, placementAt(host_, q_, time)).first;
    }
    return found->second;
  }

private:
  const Host& host_;
  LWItemID q_;
  std::map<double, Matrix4> placements_;
};

// The turn of P's frame, and the values P is sent for it.
UpperBoneChange upperChange(const Host& host, LWItemID p, LWItemID q, bool& finite) {
  UpperBoneChange change;
  const double now = host.currentTime();
  Vec3 tip{0, 0, host.restLength(q)};
  transformPoint(tip, placementAt(host, q, now), tip);
  change.length = vecLength(tip);
  change.turn = turnFromZ(tip);
  change.oldPivot = host.param(p, LWIP_PIVOT);
  change.oldPivotRotation = host.param(p, LWIP_PIVOT_ROT);
  change.oldRestRotation = host.restParam(p, LWIP_ROTATION);
  // P's frame is T(position) R(rotation) R(pivot rotation) T(-pivot); turned by A about its
  // origin it is T(position) R(rotation) [R(pivot rotation) A] T(-A^-1 pivot).
  const Matrix4 turned = multiply(rotationMatrix(change.oldPivotRotation), change.turn);
  change.pivotRotation = keyAnglesNear(turned, change.oldPivotRotation);
  transformPoint(change.pivot, rigidInverse(change.turn), change.oldPivot);
  change.restRotation = keyAnglesNear(multiply(rotationMatrix(change.oldRestRotation), change.turn),
                                      change.oldRestRotation);
  change.movePivot = !sameWhenSent(change.pivot, change.oldPivot);
  change.turnPivot = !sameAnglesWhenSent(change.pivotRotation, change.oldPivotRotation);
  change.turnRest = !sameAnglesWhenSent(change.restRotation, change.oldRestRotation);
  change.lengthen = !sameWhenSent(change.length, host.restLength(p));
  finite = finite && std::isfinite(change.length) && finiteMatrix(change.turn) &&
           isFinite(change.pivot) && isFiniteInDegrees(change.pivotRotation) &&
           isFiniteInDegrees(change.restRotation) && isFinite(change.oldPivot) &&
           isFiniteInDegrees(change.oldPivotRotation) && isFiniteInDegrees(change.oldRestRotation);
  return change;
}

Follower readFollower(const Host& host, LWItemID item, bool moves, const ItemKeys& upperKeys,
                      const ItemKeys& lowerKeys, LowerBoneMotion& lower, LWItemID q) {
  Follower follower;
  follower.item = item;
  follower.moves = moves;
  follower.bone = host.type(item) == LWI_BONE;
  follower.keys = readItemKeys(host, item);
  const double now = host.currentTime();
  follower.times.push_back(now);
  if (follower.keys.complete()) {
    addKeyTimes(upperKeys, follower.times);
    addKeyTimes(lowerKeys, follower.times);
    addKeyTimes(follower.keys, follower.times);
  }
  sortTimes(follower.times);
  for (std::size_t i = 0; i < follower.times.size(); ++i) {
    const double time = follower.times[i];
    if (sameKeyTime(time, now)) follower.now = i;
    follower.carriers.push_back(moves ? lower.at(time) : Matrix4{});
    follower.positions.push_back(host.paramAt(item, LWIP_POSITION, time));
    follower.rotations.push_back(host.paramAt(item, LWIP_ROTATION, time));
  }
  if (follower.bone) {
    follower.restPosition = host.restParam(item, LWIP_POSITION);
    follower.restRotation = host.restParam(item, LWIP_ROTATION);
    if (moves) {
      follower.restCarrier =
          restFrame(host.restParam(q, LWIP_POSITION), host.restParam(q, LWIP_ROTATION));
    }
  }
  return follower;
}

// The planned change itself, for the check before the first command.
FollowerFrames plannedFrames(const UpperBoneChange& change) {
  const Matrix4 inverse = rigidInverse(change.turn);
  return {inverse, inverse};
}

}  // namespace

MergePlan planMerge(const Host& host, LWItemID p, LWItemID q) {
  MergePlan plan;
  plan.upper = upperChange(host, p, q, plan.finite);
  const ItemKeys upperKeys = readItemKeys(host, p);
  const ItemKeys lowerKeys = readItemKeys(host, q);
  LowerBoneMotion lower(host, q);
  // Q's children first (they move), then P's others: each in Layout's order of children.
  for (LWItemID child : childrenOf(host, q)) {
    plan.followers.push_back(readFollower(host, child, true, upperKeys, lowerKeys, lower, q));
  }
  for (LWItemID child : childrenOf(host, p)) {
    if (child == q) continue;
    plan.followers.push_back(readFollower(host, child, false, upperKeys, lowerKeys, lower, q));
  }
  const FollowerFrames planned = plannedFrames(plan.upper);
  for (const Follower& follower : plan.followers) {
    plan.finite = plan.finite && valuesFor(follower, planned, true).finite;
  }
  return plan;
}

FollowerFrames followerFrames(const Host& host, LWItemID p, const MergePlan& plan) {
  const UpperBoneChange& change = plan.upper;
  // P's frame before and after share the position and rotation: what is left of
  // F_after^-1 F_before is the pivot's part, T(pivot') R(pivot rotation')^-1 R(pivot rotation)
  // T(-pivot). Both come from what Layout holds, so the followers fit P as it is.
  const Vec3 pivot = host.param(p, LWIP_PIVOT);
  const Vec3 pivotRotation = host.param(p, LWIP_PIVOT_ROT);
  const Vec3 restRotation = host.restParam(p, LWIP_ROTATION);
  const Matrix4 before =
      itemPlacement({0, 0, 0}, {0, 0, 0}, change.oldPivot, change.oldPivotRotation);
  const Matrix4 after = itemPlacement({0, 0, 0}, {0, 0, 0}, pivot, pivotRotation);
  return {
      multiply(rigidInverse(after), before),
      multiply(rigidInverse(rotationMatrix(restRotation)), rotationMatrix(change.oldRestRotation))};
}

FollowerValues valuesFor(const Follower& follower, const FollowerFrames& frames, bool refresh) {
  FollowerValues values;
  const std::size_t count = follower.times.size();
  std::vector<std::vector<double>> channels(6, std::vector<double>(count));
  Vec3 offset{0, 0, 0};  // new angles minus old at the time before, to keep them running on
  for (std::size_t i = 0; i < count; ++i) {
    const Matrix4 carry = multiply(frames.motion, follower.carriers[i]);
    Vec3 position;
    transformPoint(position, carry, follower.positions[i]);
    const Vec3& old = follower.rotations[i];
    const Vec3 near{old[0] + offset[0], old[1] + offset[1], old[2] + offset[2]};
    Matrix4 turn = carry;
    turn[3] = turn[7] = turn[11] = 0;
    const Vec3 rotation = keyAnglesNear(multiply(turn, rotationMatrix(old)), near);
    offset = {rotation[0] - old[0], rotation[1] - old[1], rotation[2] - old[2]};
    for (int axis = 0; axis < 3; ++axis) {
      channels[static_cast<std::size_t>(axis)][i] = position[static_cast<std::size_t>(axis)];
      channels[static_cast<std::size_t>(3 + axis)][i] = rotation[static_cast<std::size_t>(axis)];
    }
    if (i == follower.now) {
      values.positionNow = position;
      values.rotationNow = rotation;
      values.finite = values.finite && isFinite(position) && isFiniteInDegrees(rotation);
      values.changesNow =
          !sameWhenSent(position, follower.positions[i]) || !sameAnglesWhenSent(rotation, old);
    }
  }
  if (follower.keys.complete()) {
    for (int c = 0; c < 6; ++c) {
      planChannel(follower.keys, c, follower.times, channels[static_cast<std::size_t>(c)],
                  refresh && follower.moves, values.edits);
    }
    values.finite = values.finite && finiteEdits(values.edits);
  }
  if (follower.bone) {
    const Matrix4 rest = multiply(multiply(frames.rest, follower.restCarrier),
                                  restFrame(follower.restPosition, follower.restRotation));
    values.restPosition = translationOf(rest);
    values.restRotation = keyAnglesNear(rest, follower.restRotation);
    values.moveRest = !sameWhenSent(values.restPosition, follower.restPosition);
    values.turnRest = !sameAnglesWhenSent(values.restRotation, follower.restRotation);
    values.finite =
        values.finite && isFinite(values.restPosition) && isFiniteInDegrees(values.restRotation);
  }
  return values;
}

}  // namespace vorrik
