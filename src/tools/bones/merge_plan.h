// BoneMerge's reading and arithmetic. The upper bone P stays and turns, through its pivot
// rotation, about its origin until it aims at the lower bone Q's tip; its rotation keys stay
// as they are. Everything that hangs from P afterwards (Q's children, which move to P, and
// P's other children) is a follower: it keeps its place at the current time and at every
// key time of P, Q and its own. All is read before the first command.
#pragma once

#include <map>
#include <vector>

#include "host/host_session.h"
#include "math/matrix.h"
#include "scene/keyed_motion.h"
#include "scene/not_kept.h"

namespace vorrik {

struct UpperBoneChange {
  Matrix4 turn;  // about P's origin, in P's frame: +Z onto the direction of Q's tip
  double length = 0;
  Vec3 pivot{0, 0, 0}, pivotRotation{0, 0, 0}, restRotation{0, 0, 0};  // to send
  bool movePivot = false, turnPivot = false, turnRest = false, lengthen = false;
  // As they were, to tell how far P's frames turned once Layout holds the new values.
  Vec3 oldPivot{0, 0, 0}, oldPivotRotation{0, 0, 0}, oldRestRotation{0, 0, 0};
};

// An item that hangs from P once the merge is done.
struct Follower {
  LWItemID item = LWITEM_NULL;
  bool moves = false;  // a child of Q, moving to P
  bool bone = false;
  ItemKeys keys;
  std::vector<double> times;      // in order; the current time among them
  std::size_t now = 0;            // index of the current time in `times`
  std::vector<Matrix4> carriers;  // per time: Q's placement for Q's children, else identity
  std::vector<Vec3> positions;    // per time: the item's own position ...
  std::vector<Vec3> rotations;    // ... and rotation (radians)
  Matrix4 restCarrier;            // Q's rest frame for Q's child bones, else identity
  Vec3 restPosition{0, 0, 0}, restRotation{0, 0, 0};  // bones: as they are
};

struct MergePlan {
  bool finite = true;
  UpperBoneChange upper;
  std::vector<Follower> followers;
};

// Reads P, Q and every follower, and works out P's change; `finite` is false when a value
// to send, or a key value, would not be finite.
MergePlan planMerge(const Host& host, LWItemID p, LWItemID q);

// How P's frame and rest frame turned: followers' placements are carried through these.
struct FollowerFrames {
  Matrix4 motion;  // P's new frame from its old one
  Matrix4 rest;    // P's new rest frame from its old one
};
// From what Layout holds for P now (its pivot and rest rotation as the commands left them).
FollowerFrames followerFrames(const Host& host, LWItemID p, const MergePlan& plan);

struct FollowerValues {
  std::vector<KeyEdit> edits;  // with keys
  Vec3 positionNow{0, 0, 0}, rotationNow{0, 0, 0};
  bool changesNow = false;  // the values at the current time differ from what the item has
  Vec3 restPosition{0, 0, 0}, restRotation{0, 0, 0};
  bool moveRest = false, turnRest = false;
  bool finite = true;
};
// The follower's values under P's new frames. A follower that moves gets every key of its
// position and rotation written (`refresh`), so that nothing Parent in Place did at the
// current time outlasts the keys.
FollowerValues valuesFor(const Follower& follower, const FollowerFrames& frames, bool refresh);

}  // namespace vorrik
