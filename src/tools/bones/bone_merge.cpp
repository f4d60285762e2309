#include <cmath>
#include <vector>

#include "host/loop_guard.h"
#include "math/bone_chain.h"
#include "math/matrix.h"
#include "scene/bone_settings.h"
#include "scene/item_helpers.h"
#include "tools/bones/bone_tools.h"

namespace vorrik {

namespace {

const char* const kSelectTwo = "Select 2 bones.";
const char* const kNotParented = "Selected bone must be parented with another.";
const char* const kNoNewBone = "BoneMerge stopped: the new bone could not be found.";
const char* const kNotFinite = "BoneMerge stopped: the bones' values are out of range.";

// Replaces bone P and its child bone Q by one bone N that starts where P starts and ends at
// Q's tip. P's other children and Q's children move to N; Q goes with P when P is cleared.
void mergeBones(const Host& host, LWItemID p, LWItemID q) {
  Vec3 tipInP, farTip;
  childTipNearParent(tipInP, farTip, host, p, q);
  const double newLength = vecLength(tipInP);
  const LWItemID parent = host.parent(p);
  const Vec3 position = host.param(p, LWIP_POSITION);

  Vec3 direction{farTip[0] - position[0], farTip[1] - position[1], farTip[2] - position[2]};
  const double reach = vecLength(direction);
  vecNormalize(direction);
  Vec3 angles{0, 0, 0};
  directionToAngles(direction, angles);

  const LWItemID owner = ownerObject(host, p);
  const Vec3 scaling = host.param(p, LWIP_SCALING);
  const Vec3 pivot = host.param(p, LWIP_PIVOT);
  const Vec3 restPosition = host.restParam(p, LWIP_POSITION);
  // N takes P's place, so it deforms as P did.
  const BoneSettings settings = readBoneSettings(host, p);

  // One pass over the owner's bones: those there before the add, and the ones that move.
  KnownBones known;
  LoopGuard guard;
  std::vector<LWItemID> moving;
  for (LWItemID bone = host.first(LWI_BONE, owner); bone != LWITEM_NULL; bone = host.next(bone)) {
    guard.step(bone);
    known.append(bone);
    if (bone == p || bone == q) continue;
    const LWItemID boneParent = host.parent(bone);
    if (boneParent == p || boneParent == q) moving.push_back(bone);
  }
  // A length or an aim that overflowed would stop the merge half-way; stop before it starts.
  if (!std::isfinite(newLength) || !std::isfinite(reach) || !isFiniteInDegrees(angles) ||
      !isFinite(position) || !isFinite(scaling) || !isFinite(pivot) || !isFinite(restPosition) ||
      !canSendSettings(settings)) {
    host.info(kNotFinite);
    return;
  }

  const LWItemID merged = addBoneAndFind(host, owner, parent, "Bone", known);
  if (merged == LWITEM_NULL) {
    // Without the new bone there is nothing to move the children to: keep P and Q.
    host.info(kNoNewBone);
    return;
  }
  emitTransform(host, merged, &position, &angles, &scaling);
  emitRest(host, merged, &restPosition, &angles, &newLength);
  emitPivot(host, merged, &pivot, nullptr);
  emitBoneSettings(host, merged, settings);

  for (LWItemID bone : moving) {
    host.send("SelectItem %x", idArg(bone));
    host.send("ParentItem %x", idArg(merged));
  }

  host.send("SelectItem %x", idArg(p));
  host.send("ClearSelected");
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
