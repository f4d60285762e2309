#include "tools/bones/bone_parts.h"

#include <cmath>
#include <string>
#include <unordered_set>
#include <vector>

#include "host/loop_guard.h"
#include "scene/bone_names.h"
#include "scene/bone_settings.h"
#include "scene/item_helpers.h"
#include "scene/keyed_motion.h"
#include "scene/not_kept.h"

namespace vorrik {

namespace {

const char* const kSingleBone = "Select only single bone.";

// A child bone of A, which moves to the last part.
struct MovedChild {
  LWItemID bone;
  Vec3 position;      // now, in A's frame
  Vec3 restPosition;  // in A's rest frame
  ItemKeys keys;      // its keys, when Layout gives them
};

// Puts a new part at the tip of the part before it, unturned and unscaled, with its rest
// pose there too. Layout adds a child bone just so; only what differs is sent.
void placeNextPart(const Host& host, LWItemID part, double tipLength) {
  const Vec3 tip{0, 0, tipLength};
  const Vec3 none{0, 0, 0};
  const Vec3 unscaled{1, 1, 1};
  const Vec3 position = host.param(part, LWIP_POSITION);
  const Vec3 rotation = host.param(part, LWIP_ROTATION);
  const Vec3 scaling = host.param(part, LWIP_SCALING);
  const bool movePosition = !sameWhenSent(position, tip);
  const bool turn = !sameAnglesWhenSent(rotation, none);
  const bool scale = !sameWhenSent(scaling, unscaled);
  if (movePosition || turn || scale) {
    emitTransform(host, part, movePosition ? &tip : nullptr, turn ? &none : nullptr,
                  scale ? &unscaled : nullptr);
  }
  const bool movePivot = !sameWhenSent(host.param(part, LWIP_PIVOT), none);
  const bool turnPivot = !sameAnglesWhenSent(host.param(part, LWIP_PIVOT_ROT), none);
  if (movePivot || turnPivot) {
    emitPivot(host, part, movePivot ? &none : nullptr, turnPivot ? &none : nullptr);
  }
  const bool moveRest = !sameWhenSent(host.restParam(part, LWIP_POSITION), tip);
  const bool turnRest = !sameAnglesWhenSent(host.restParam(part, LWIP_ROTATION), none);
  if (moveRest || turnRest) {
    emitRest(host, part, moveRest ? &tip : nullptr, turnRest ? &none : nullptr, nullptr);
  }
}

// Moves child H from A to the last part, which starts `shift` along A's axis: its position
// and rest position come that much closer to its new parent. The keys of its Position.Z
// move with it, so it keeps its place at every time, keyed or between keys.
void moveChild(const Host& host, const MovedChild& child, LWItemID last, double shift,
               double restShift, NotKept& notKept) {
  host.send("SelectItem %x", idArg(child.bone));
  host.send("ParentItem %x", idArg(last));
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
    notKept.addPlacedNowOnly(host, child.bone);
  }
  Vec3 restPosition = child.restPosition;
  restPosition[2] -= restShift;
  if (!sameWhenSent(restPosition, child.restPosition)) {
    emitRest(host, child.bone, &restPosition, nullptr, nullptr);
  }
}

}  // namespace

LWItemID singleSelectedBone(const Host& host) {
  const auto selection = host.selection();
  if (!selection) return LWITEM_NULL;
  const LWItemID bone = selection->empty() ? LWITEM_NULL : selection->front();
  if ((bone != LWITEM_NULL && selection->size() > 1) || host.type(bone) != LWI_BONE) {
    host.info(kSingleBone);
    return LWITEM_NULL;
  }
  return bone;
}

void splitIntoParts(const Host& host, LWItemID a, const std::vector<double>& shares,
                    const char* tool) {
  if (host.type(a) != LWI_BONE || shares.size() < 2) return;
  const double length = host.restLength(a);
  std::vector<double> lengths;
  bool finite = true;
  for (double share : shares) {
    lengths.push_back(length * share);
    finite = finite && std::isfinite(lengths.back());
  }
  // How far the last part starts along A, for the range check before anything is made.
  double plannedShift = 0;
  for (std::size_t k = 0; k + 1 < lengths.size(); ++k) plannedShift += lengths[k];
  // The new parts deform as A did: same weight map, strength, range and compensation.
  const BoneSettings settings = readBoneSettings(host, a);
  const LWItemID owner = ownerObject(host, a);
  // Each new part's name is taken before the next is chosen: "A2", "A3", ...
  const std::string oldName = host.name(a);
  std::unordered_set<std::string> taken = sceneNames(host);
  std::vector<std::string> names;
  for (std::size_t k = 1; k < shares.size(); ++k) {
    names.push_back(derivedBoneName(oldName, taken));
    taken.insert(names.back());
  }

  // One pass over the owner's bones: those there before the adds, and A's child bones.
  KnownBones known;
  LoopGuard guard;
  std::vector<MovedChild> children;
  finite = finite && std::isfinite(plannedShift) && canSendSettings(settings);
  for (LWItemID bone = host.first(LWI_BONE, owner); bone != LWITEM_NULL; bone = host.next(bone)) {
    guard.step(bone);
    known.append(bone);
    if (host.parent(bone) != a) continue;
    MovedChild child{bone, host.param(bone, LWIP_POSITION), host.restParam(bone, LWIP_POSITION),
                     readItemKeys(host, bone)};
    std::vector<KeyEdit> edits;
    if (child.keys.complete()) planShift(child.keys, kPositionZ, -plannedShift, edits);
    finite = finite && isFinite(child.position) && isFinite(child.restPosition) &&
             std::isfinite(child.position[2] - plannedShift) &&
             std::isfinite(child.restPosition[2] - plannedShift) && finiteEdits(edits);
    children.push_back(std::move(child));
  }
  // Everything is checked before the first command, so a value that cannot be sent stops
  // the tool before the rig is touched.
  if (!finite) {
    host.info((std::string(tool) + " stopped: the bone's values are out of range.").c_str());
    return;
  }

  const bool shorten = !sameWhenSent(lengths.front(), length);
  if (shorten) emitRest(host, a, nullptr, nullptr, &lengths.front());
  LWItemID previous = a;
  LWItemID second = LWITEM_NULL;
  double shift = 0;
  double restShift = 0;
  for (std::size_t k = 1; k < lengths.size(); ++k) {
    // Added under the part before, the new bone starts at its tip as Layout holds it.
    const LWItemID part = addBoneAndFind(host, owner, previous, "Bone", known);
    if (part == LWITEM_NULL) {
      // Nothing to move the children to: the parts made go (their children with them), A
      // gets its length back, and the rest stays as it is.
      if (second != LWITEM_NULL) {
        host.send("SelectItem %x", idArg(second));
        host.send("ClearSelected");
      }
      if (shorten) emitRest(host, a, nullptr, nullptr, &length);
      host.info((std::string(tool) + " stopped: the new bone could not be found.").c_str());
      return;
    }
    if (second == LWITEM_NULL) second = part;
    placeNextPart(host, part, host.restLength(previous));
    if (host.name(part) != names[k - 1]) {
      host.send("SelectItem %x", idArg(part));
      host.send("Rename %s", names[k - 1].c_str());
    }
    if (!sameWhenSent(host.restLength(part), lengths[k])) {
      emitRest(host, part, nullptr, nullptr, &lengths[k]);
    }
    emitBoneSettings(host, part, settings);
    // The parts' places as Layout holds them add up to the children's shift.
    shift += host.param(part, LWIP_POSITION)[2];
    restShift += host.restParam(part, LWIP_POSITION)[2];
    previous = part;
  }

  NotKept notKept;
  for (const MovedChild& child : children) {
    moveChild(host, child, previous, shift, restShift, notKept);
  }
  notKept.report(host, tool);
}

}  // namespace vorrik
