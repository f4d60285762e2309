#include <cmath>

#include "scene/item_helpers.h"
#include "tools/bones/bone_tools.h"

namespace vorrik {

namespace {

const char* const kSingleBone = "Select only single bone.";
const char* const kNoNewBone = "BoneSplit stopped: the new bone could not be found.";

// The share of the old bone's rest length that the first new bone keeps.
double clampedRatio(double percent) {
  const double ratio = percent * 0.01;
  if (ratio > 0.999) return 0.999;
  if (ratio < 0.001 || std::isnan(ratio)) return 0.001;
  return ratio;
}

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

  const LWItemID parent = host.parent(a);
  const LWItemID owner = ownerObject(host, a);

  const LWItemID first = addBoneAndFind(host, owner, parent, "Bone");
  if (first == LWITEM_NULL) {
    // Nothing to place or to re-parent to: leave A and its children as they are.
    host.info(kNoNewBone);
    return;
  }
  emitTransform(host, first, &position, &rotation, &scaling);
  emitRest(host, first, &restPosition, &restRotation, &firstLength);
  emitPivot(host, first, &pivot, &pivotRotation);

  const LWItemID second = addBoneAndFind(host, owner, first, "Bone");
  if (second == LWITEM_NULL) {
    host.info(kNoNewBone);
    return;
  }
  emitRest(host, second, nullptr, nullptr, &secondLength);

  // The children now hang from a bone that starts firstLength further along A's axis.
  for (LWItemID bone = host.first(LWI_BONE, owner); bone != LWITEM_NULL;
       bone = host.next(bone)) {
    if (host.parent(bone) != a) continue;
    Vec3 childPosition = host.param(bone, LWIP_POSITION);
    Vec3 childRest = host.restParam(bone, LWIP_POSITION);
    childPosition[2] -= firstLength;
    childRest[2] -= firstLength;
    host.send("SelectItem %x", idArg(bone));
    host.send("ParentItem %x", idArg(second));
    emitTransform(host, bone, &childPosition, nullptr, nullptr);
    emitRest(host, bone, &childRest, nullptr, nullptr);
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
