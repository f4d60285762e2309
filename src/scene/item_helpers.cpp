#include "scene/item_helpers.h"

#include <algorithm>
#include <cstddef>

#include "host/loop_guard.h"

namespace vorrik {

bool isItem(const Host& host, LWItemID item) {
  const int type = host.type(item);
  return type == LWI_OBJECT || type == LWI_LIGHT || type == LWI_CAMERA || type == LWI_BONE;
}

std::vector<LWItemID> knownItems(const Host& host, const std::vector<LWItemID>& items) {
  std::vector<LWItemID> known;
  known.reserve(items.size());
  for (LWItemID item : items) {
    if (isItem(host, item)) known.push_back(item);
  }
  return known;
}

LWItemID ownerObject(const Host& host, LWItemID item) {
  if (host.type(item) != LWI_BONE) return item;
  // A loop, not recursion: a skeleton can be a very long chain.
  LoopGuard guard;
  for (;;) {
    guard.step(item);
    item = host.parent(item);
    if (item == LWITEM_NULL) return LWITEM_NULL;
    if (host.type(item) != LWI_BONE) return item;
  }
}

bool KnownBones::contains(LWItemID bone, int& lookups) {
  if (!lookupMade_ && lookups++ == 0) {
    return std::find(listed_.begin(), listed_.end(), bone) != listed_.end();
  }
  if (!lookupMade_) {
    for (LWItemID known : listed_) lookup_.insert(known);
    lookupMade_ = true;
  }
  return lookup_.contains(bone);
}

LWItemID KnownBones::findNew(const Host& host, LWItemID owner) {
  LoopGuard guard;
  std::size_t agreed = 0;  // listed_[0, agreed) met in order so far
  int lookups = 0;
  for (LWItemID bone = host.first(LWI_BONE, owner); bone != LWITEM_NULL; bone = host.next(bone)) {
    guard.step(bone);
    if (agreed < listed_.size() && bone == listed_[agreed]) {
      ++agreed;
      continue;
    }
    if (contains(bone, lookups)) continue;  // listed before, elsewhere
    // Where it was listed, so that the next search can walk beside the new listing too.
    listed_.insert(listed_.begin() + static_cast<std::ptrdiff_t>(agreed), bone);
    if (lookupMade_) lookup_.insert(bone);
    return bone;
  }
  return LWITEM_NULL;
}

LWItemID addBoneAndFind(const Host& host, LWItemID owner, LWItemID parentItem, const char* name) {
  KnownBones before;
  LoopGuard guard;
  for (LWItemID bone = host.first(LWI_BONE, owner); bone != LWITEM_NULL; bone = host.next(bone)) {
    guard.step(bone);
    before.append(bone);
  }
  return addBoneAndFind(host, owner, parentItem, name, before);
}

LWItemID addBoneAndFind(const Host& host, LWItemID owner, LWItemID parentItem, const char* name,
                        KnownBones& known) {
  host.send("SelectItem %x", idArg(parentItem));
  if (host.type(parentItem) == LWI_BONE) {
    host.send("AddChildBone %s", name);
  } else {
    host.send("AddBone %s", name);
  }
  return known.findNew(host, owner);
}

void emitTransform(const Host& host, LWItemID item, const Vec3* position, const Vec3* rotation,
                   const Vec3* scale) {
  host.send("SelectItem %x", idArg(item));
  if (position) host.send("Position %g %g %g", (*position)[0], (*position)[1], (*position)[2]);
  if (rotation) {
    const Vec3 d = toDegrees(*rotation);
    host.send("Rotation %g %g %g", d[0], d[1], d[2]);
  }
  if (scale) host.send("Scale %g %g %g", (*scale)[0], (*scale)[1], (*scale)[2]);
}

void emitRest(const Host& host, LWItemID item, const Vec3* restPosition, const Vec3* restRotation,
              const double* restLength) {
  host.send("SelectItem %x", idArg(item));
  if (host.type(item) != LWI_BONE) return;
  if (restPosition) {
    const Vec3& p = *restPosition;
    host.send("BoneRestPosition %g %g %g", p[0], p[1], p[2]);
  }
  if (restRotation) {
    const Vec3 d = toDegrees(*restRotation);
    host.send("BoneRestRotation %g %g %g", d[0], d[1], d[2]);
  }
  if (restLength) host.send("BoneRestLength %g", *restLength);
}

void emitPivot(const Host& host, LWItemID item, const Vec3* pivot, const Vec3* pivotRotation) {
  host.send("SelectItem %x", idArg(item));
  if (pivot) host.send("PivotPosition %g %g %g", (*pivot)[0], (*pivot)[1], (*pivot)[2]);
  if (pivotRotation) {
    const Vec3 d = toDegrees(*pivotRotation);
    host.send("PivotRotation %g %g %g", d[0], d[1], d[2]);
  }
}

}  // namespace vorrik
