#include <cmath>
#include <vector>

#include "host/loop_guard.h"
#include "scene/bone_settings.h"
#include "scene/item_helpers.h"
#include "tools/bones/bone_tools.h"

namespace vorrik {

namespace {

const char* const kSingleBone = "Select only single bone.";
const char* const kNoNewBone = "BoneSplit stopped: the new bone could not be found.";
const char* const kNotFinite = "BoneSplit stopped: the bone's values are out of range.";

// The share of the old bone's rest length that the first new bone keeps.
double clampedRatio(double percent) {
  const double ratio = percent * 0.01;
  if (ratio > 0.999) return 0.999;
  if (ratio < 0.001 || std::isnan(ratio)) return 0.001;
  return ratio;
}

// A child bone of A and where it will sit under the second new bone.
struct MovedChild {
  LWItemID bone;
  Vec3 position;
  Vec3 restPosition;
};

// Replaces bone A by two chained bones: the first takes A's place and the ratio r of its
// rest length, the second hangs from it with the rest; A's child bones move to the second.
void splitBone(const Host& host, LWItemID a, double r) {
  if (host.type(a) != LWI_BONE) return;
  const Vec3 position = host.param(a, LWIP_POSITION);
  const Vec3 rotation = host.param(a, LWIP_ROTATION);
  const Vec3 scaling = host.param(a, LWIP_SCALING);
  const Vec3 pivot = host.param(a, LWIP_PIVOT);
  const Vec3 pivotRotation = host.param(a, LWIP_PIVOT_ROT);
  const Vec3 restPosition = host.restParam(a, LWIP_POSITION);
  const Vec3 restRotation = host.restParam(a, LWIP_ROTATION);
  const double length = host.restLength(a);
  const double firstLength = length * r;
  const double secondLength = (1 - r) * length;
  // Both new bones deform as A did: same weight map, strength, range and compensation.
  const BoneSettings settings = readBoneSettings(host, a);

  const LWItemID parent = host.parent(a);
  const LWItemID owner = ownerObject(host, a);

  // One pass over the owner's bones: those there before the adds, and A's child bones with
  // their new places, which now start firstLength further along A's axis.
  KnownBones known;
  LoopGuard guard;
  std::vector<MovedChild> children;
  bool finite = isFinite(position) && isFiniteInDegrees(rotation) && isFinite(scaling) &&
                isFinite(pivot) && isFiniteInDegrees(pivotRotation) && isFinite(restPosition) &&
                isFiniteInDegrees(restRotation) && std::isfinite(firstLength) &&
                std::isfinite(secondLength) && canSendSettings(settings);
  for (LWItemID bone = host.first(LWI_BONE, owner); bone != LWITEM_NULL; bone = host.next(bone)) {
    guard.step(bone);
    known.append(bone);
    if (host.parent(bone) != a) continue;
    MovedChild child{bone, host.param(bone, LWIP_POSITION), host.restParam(bone, LWIP_POSITION)};
    child.position[2] -= firstLength;
    child.restPosition[2] -= firstLength;
    finite = finite && isFinite(child.position) && isFinite(child.restPosition);
    children.push_back(child);
  }
  // Everything is checked before the first command, so a value that cannot be sent stops
  // the split before the rig is touched.
  if (!finite) {
    host.info(kNotFinite);
    return;
  }

  const LWItemID first = addBoneAndFind(host, owner, parent, "Bone", known);
  if (first == LWITEM_NULL) {
    // Nothing to place or to re-parent to: leave A and its children as they are.
    host.info(kNoNewBone);
    return;
  }
  emitTransform(host, first, &position, &rotation, &scaling);
  emitRest(host, first, &restPosition, &restRotation, &firstLength);
  emitPivot(host, first, &pivot, &pivotRotation);
  emitBoneSettings(host, first, settings);

  const LWItemID second = addBoneAndFind(host, owner, first, "Bone", known);
  if (second == LWITEM_NULL) {
    host.info(kNoNewBone);
    return;
  }
  emitRest(host, second, nullptr, nullptr, &secondLength);
  emitBoneSettings(host, second, settings);

  for (const MovedChild& child : children) {
    host.send("SelectItem %x", idArg(child.bone));
    host.send("ParentItem %x", idArg(second));
    emitTransform(host, child.bone, &child.position, nullptr, nullptr);
    emitRest(host, child.bone, &child.restPosition, nullptr, nullptr);
  }

  host.send("SelectItem %x", idArg(a));
  host.send("ClearSelected");
}

}  // namespace

void runBoneSplit(Host& host) {
  const auto selection = host.selection();
  if (!selection) return;
  const LWItemID bone = selection->empty() ? LWITEM_NULL : selection->front();
  if (bone != LWITEM_NULL && selection->size() > 1) {
    host.info(kSingleBone);
    return;
  }
  if (host.type(bone) != LWI_BONE) {
    host.info(kSingleBone);
    return;
  }

  Dialog dialog = host.createDialog("Vorrik version 0.17b : BoneSplit");
  LWPanControlDesc descriptor{};
  descriptor.range.type = LWT_RANGE;
  descriptor.range.min = 0;
  descriptor.range.max = 100;
  DialogControl percent = dialog.addControl("PercentControl", descriptor, "Parent length ratio : ");
  percent.setInt(CTL_X, 8);
  percent.setInt(CTL_Y, 0);
  percent.setFloat(CTL_VALUE, 50.0);
  if (!dialog.open()) return;

  splitBone(host, bone, clampedRatio(percent.getFloat(CTL_VALUE)));
}

}  // namespace vorrik
