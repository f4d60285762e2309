#include <cmath>
#include <string>
#include <vector>

#include "host/loop_guard.h"
#include "scene/bone_names.h"
#include "scene/bone_settings.h"
#include "scene/item_helpers.h"
#include "scene/keyed_motion.h"
#include "scene/not_kept.h"
#include "tools/bones/bone_tools.h"

namespace vorrik {

namespace {

const char* const kSingleBone = "Select only single bone.";
const char* const kNoNewBone = "BoneSplit stopped: the new bone could not be found.";
const char* const kNotFinite = "BoneSplit stopped: the bone's values are out of range.";

// The share of the old bone's rest length that the first part keeps.
double clampedRatio(double percent) {
  const double ratio = percent * 0.01;
  if (ratio > 0.999) return 0.999;
  if (ratio < 0.001 || std::isnan(ratio)) return 0.001;
  return ratio;
}

// A child bone of A, which moves to the second part.
struct MovedChild {
  LWItemID bone;
  Vec3 position;      // now, in A's frame
  Vec3 restPosition;  // in A's rest frame
  ItemKeys keys;      // its keys, when Layout gives them
};

// Puts the second part at the first part's tip, unturned and unscaled, with its rest pose
// there too. Layout adds a child bone just so; only what differs is sent.
void placeSecondPart(const Host& host, LWItemID second, double firstLength) {
  const Vec3 tip{0, 0, firstLength};
  const Vec3 none{0, 0, 0};
  const Vec3 unscaled{1, 1, 1};
  const Vec3 position = host.param(second, LWIP_POSITION);
  const Vec3 rotation = host.param(second, LWIP_ROTATION);
  const Vec3 scaling = host.param(second, LWIP_SCALING);
  const bool movePosition = !sameWhenSent(position, tip);
  const bool turn = !sameAnglesWhenSent(rotation, none);
  const bool scale = !sameWhenSent(scaling, unscaled);
  if (movePosition || turn || scale) {
    emitTransform(host, second, movePosition ? &tip : nullptr, turn ? &none : nullptr,
                  scale ? &unscaled : nullptr);
  }
  const bool movePivot = !sameWhenSent(host.param(second, LWIP_PIVOT), none);
  const bool turnPivot = !sameAnglesWhenSent(host.param(second, LWIP_PIVOT_ROT), none);
  if (movePivot || turnPivot) {
    emitPivot(host, second, movePivot ? &none : nullptr, turnPivot ? &none : nullptr);
  }
  const bool moveRest = !sameWhenSent(host.restParam(second, LWIP_POSITION), tip);
  const bool turnRest = !sameAnglesWhenSent(host.restParam(second, LWIP_ROTATION), none);
  if (moveRest || turnRest) {
    emitRest(host, second, moveRest ? &tip : nullptr, turnRest ? &none : nullptr, nullptr);
  }
}

// Moves child H from A to the second part, which starts `shift` along A's axis: its
// position and rest position come that much closer to its new parent. The keys of its
// Position.Z move with it, so it keeps its place at every time, keyed or between keys.
void moveChild(const Host& host, const MovedChild& child, LWItemID second, double shift,
               double restShift, NotKept& notKept) {
  host.send("SelectItem %x", idArg(child.bone));
  host.send("ParentItem %x", idArg(second));
  if (child.keys.complete()) {
    std::vector<KeyEdit> edits;
    planShift(child.keys, kPositionZ, -shift, edits);
    if (!applyKeyEdits(host, child.keys, edits)) {
      notKept.add("Layout refused some key edits", host.name(child.bone));
    }
    const ChannelRef& z = child.keys.channels[kPositionZ];
    if (child.keys.keys[kPositionZ].size() > 1 &&
        (host.behavior(z, true) == LWBEH_RESET || host.behavior(z, false) == LWBEH_RESET)) {
      // "Reset" gives 0 outside the keys, whatever they hold: there the bone is off.
      notKept.add("Position.Z resets to 0 outside its keys, so there it is off by the shift",
                  host.name(child.bone));
    }
  } else {
    Vec3 position = child.position;
    position[2] -= shift;
    emitTransform(host, child.bone, &position, nullptr, nullptr);
    notKept.add(host.hasKeyServices()
                    ? "Layout did not list the motion keys; placed at the current time only"
                    : "No channel and envelope services from Layout; placed at the current "
                      "time only",
                host.name(child.bone));
  }
  Vec3 restPosition = child.restPosition;
  restPosition[2] -= restShift;
  if (!sameWhenSent(restPosition, child.restPosition)) {
    emitRest(host, child.bone, &restPosition, nullptr, nullptr);
  }
}

// Splits bone A in two: A stays as the first part with the ratio r of its rest length, and
// a new child bone at its tip, named after it, takes the rest and A's child bones. A keeps
// its name, id, keys, settings and everything else hanging from it.
void splitBone(const Host& host, LWItemID a, double r) {
  if (host.type(a) != LWI_BONE) return;
  const double length = host.restLength(a);
  const double firstLength = length * r;
  const double secondLength = (1 - r) * length;
  // The second part deforms as A did: same weight map, strength, range and compensation.
  const BoneSettings settings = readBoneSettings(host, a);
  const LWItemID owner = ownerObject(host, a);
  const std::string name = derivedBoneName(host.name(a), sceneNames(host));

  // One pass over the owner's bones: those there before the add, and A's child bones.
  KnownBones known;
  LoopGuard guard;
  std::vector<MovedChild> children;
  bool finite =
      std::isfinite(firstLength) && std::isfinite(secondLength) && canSendSettings(settings);
  for (LWItemID bone = host.first(LWI_BONE, owner); bone != LWITEM_NULL; bone = host.next(bone)) {
    guard.step(bone);
    known.append(bone);
    if (host.parent(bone) != a) continue;
    MovedChild child{bone, host.param(bone, LWIP_POSITION), host.restParam(bone, LWIP_POSITION),
                     readItemKeys(host, bone)};
    std::vector<KeyEdit> edits;
    if (child.keys.complete()) planShift(child.keys, kPositionZ, -firstLength, edits);
    finite = finite && isFinite(child.position) && isFinite(child.restPosition) &&
             std::isfinite(child.position[2] - firstLength) &&
             std::isfinite(child.restPosition[2] - firstLength) && finiteEdits(edits);
    children.push_back(std::move(child));
  }
  // Everything is checked before the first command, so a value that cannot be sent stops
  // the split before the rig is touched.
  if (!finite) {
    host.info(kNotFinite);
    return;
  }

  const bool shorten = !sameWhenSent(firstLength, length);
  if (shorten) emitRest(host, a, nullptr, nullptr, &firstLength);
  // Added under A, the new bone starts at A's tip as A now has it.
  const LWItemID second = addBoneAndFind(host, owner, a, "Bone", known);
  if (second == LWITEM_NULL) {
    // Nothing to move the children to: give A its length back and leave the rest as it is.
    if (shorten) emitRest(host, a, nullptr, nullptr, &length);
    host.info(kNoNewBone);
    return;
  }
  // A's length as Layout holds it: the new bone's place and the children's shift.
  const double heldLength = host.restLength(a);
  placeSecondPart(host, second, heldLength);
  if (host.name(second) != name) {
    host.send("SelectItem %x", idArg(second));
    host.send("Rename %s", name.c_str());
  }
  if (!sameWhenSent(host.restLength(second), secondLength)) {
    emitRest(host, second, nullptr, nullptr, &secondLength);
  }
  emitBoneSettings(host, second, settings);

  const double shift = host.param(second, LWIP_POSITION)[2];
  const double restShift = host.restParam(second, LWIP_POSITION)[2];
  NotKept notKept;
  for (const MovedChild& child : children) {
    moveChild(host, child, second, shift, restShift, notKept);
  }
  notKept.report(host, "BoneSplit");
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
