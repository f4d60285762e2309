#include <cmath>
#include <string>
#include <vector>

#include "host/loop_guard.h"
#include "scene/item_helpers.h"
#include "tools/bones/bone_tools.h"
#include "tools/bones/merge_plan.h"

namespace vorrik {

namespace {

const char* const kSelectTwo = "Select 2 bones.";
const char* const kNotParented = "Selected bone must be parented with another.";
const char* const kNotFinite = "BoneMerge stopped: the bones' values are out of range.";

// Turns P's frame as planned, through its pivot, so that P's rotation keys stay as they
// are; its rest rotation turns alike, and its rest length reaches Q's tip.
void turnUpperBone(const Host& host, LWItemID p, const MergePlan& plan) {
  const UpperBoneChange& change = plan.upper;
  if (change.movePivot || change.turnPivot) {
    emitPivot(host, p, change.movePivot ? &change.pivot : nullptr,
              change.turnPivot ? &change.pivotRotation : nullptr);
  }
  if (change.turnRest || change.lengthen) {
    emitRest(host, p, nullptr, change.turnRest ? &change.restRotation : nullptr,
             change.lengthen ? &change.length : nullptr);
  }
}

// Puts one follower where the plan says, by keys when Layout gives them.
void placeFollower(const Host& host, LWItemID p, const Follower& follower,
                   const FollowerValues& values, NotKept& notKept) {
  if (follower.moves) {
    host.send("SelectItem %x", idArg(follower.item));
    host.send("ParentItem %x", idArg(p));
  }
  if (follower.keys.complete()) {
    if (!applyKeyEdits(host, follower.keys, values.edits)) {
      notKept.add("Layout refused some key edits", host.name(follower.item));
    }
  } else if (follower.moves || values.changesNow) {
    // Without keys only the current time can be kept, by commands.
    const Vec3 position = host.param(follower.item, LWIP_POSITION);
    const Vec3 rotation = host.param(follower.item, LWIP_ROTATION);
    const bool move = !sameWhenSent(position, values.positionNow);
    const bool turn = !sameAnglesWhenSent(rotation, values.rotationNow);
    if (move || turn) {
      emitTransform(host, follower.item, move ? &values.positionNow : nullptr,
                    turn ? &values.rotationNow : nullptr, nullptr);
    }
    notKept.addPlacedNowOnly(host, follower.item);
  }
  if (follower.bone && (values.moveRest || values.turnRest)) {
    emitRest(host, follower.item, values.moveRest ? &values.restPosition : nullptr,
             values.turnRest ? &values.restRotation : nullptr, nullptr);
  }
}

// Merges P with its child bone Q into P: P turns (by its pivot) to aim at Q's tip and takes
// the length to it; Q's children move to P, and they and P's other children keep their
// places at the current time and at every key time; Q is removed. P keeps its name, id,
// keys, settings and everything that hangs from it.
void mergeBones(const Host& host, LWItemID p, LWItemID q) {
  MergePlan plan = planMerge(host, p, q);
  // A length or a value that overflowed would stop the merge half-way; stop before it
  // starts.
  if (!plan.finite) {
    host.info(kNotFinite);
    return;
  }
  turnUpperBone(host, p, plan);
  // What Layout now holds for P decides where the followers go.
  const FollowerFrames frames = followerFrames(host, p, plan);
  NotKept notKept;
  for (const Follower& follower : plan.followers) {
    placeFollower(host, p, follower, valuesFor(follower, frames, true), notKept);
  }
  host.send("SelectItem %x", idArg(q));
  host.send("ClearSelected");
  notKept.report(host, "BoneMerge");
}

}  // namespace

void runBoneMerge(Host& host) {
  const auto selection = host.selection();
  if (!selection) return;
  if (selection->size() != 2) {
    host.info(kSelectTwo);
    return;
  }
  const LWItemID first = (*selection)[0];
  const LWItemID second = (*selection)[1];
  if (host.type(first) != LWI_BONE || host.type(second) != LWI_BONE) {
    host.info(kSelectTwo);
    return;
  }
  // Either selection order: the bone that is the other's parent is P.
  LWItemID p = LWITEM_NULL;
  LWItemID q = LWITEM_NULL;
  if (host.parent(first) == second) {
    p = second;
    q = first;
  } else if (host.parent(second) == first) {
    p = first;
    q = second;
  } else {
    host.info(kNotParented);
    return;
  }
  if (!host.okCancel("Vorrik version 0.17b : MergeBone", "Merge selected bones, OK?")) return;
  mergeBones(host, p, q);
}

}  // namespace vorrik
