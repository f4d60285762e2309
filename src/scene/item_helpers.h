// Small scene-editing operations the bone tools share: the object that owns a bone, adding a
// bone and finding out which one Layout made, and the groups of parameter commands that
// place an item, give a bone its rest pose, and set an item's pivot.
#pragma once

#include <string>
#include <vector>

#include "host/host_session.h"
#include "math/vec3.h"
#include "scene/item_set.h"

namespace vorrik {

// True when the host knows the item: its type is one of the four item types.
bool isItem(const Host& host, LWItemID item);

// The entries of a selection list that name an item, in order. A list from an out-of-date
// or damaged host may hold ids of nothing, and a command naming one would be refused while
// the next acted on whatever item was current.
std::vector<LWItemID> knownItems(const Host& host, const std::vector<LWItemID>& items);

// The item itself if it is not a bone; otherwise its nearest ancestor that is not a bone;
// null when the chain of bone parents ends without one.
LWItemID ownerObject(const Host& host, LWItemID item);

// An object's bones as the host listed them, in that order, for finding the bone an add
// made: the first bone listed afterwards that was not listed before. The new listing is
// walked beside the old one, and while the two agree no lookup is needed. Layout lists a
// new bone among the others without reordering them, so they part once, at the new bone,
// which one scan of the old list confirms. A host that lists the old bones in another
// order makes them part again; from then on each bone is looked up in a hash set of the
// old ones. Either way the bone found is exactly the one a scan of the old list for every
// bone listed would find, in time linear in the bone count.
class KnownBones {
public:
  // Called for each bone of a listing, in order.
  void append(LWItemID bone) { listed_.push_back(bone); }
  // Lists the owner's bones again and returns the first one not known, which becomes known
  // (where it was listed); null when every bone listed is known.
  LWItemID findNew(const Host& host, LWItemID owner);
  std::size_t size() const { return listed_.size(); }

private:
  // `lookups` counts this search's lookups: the first scans listed_, later ones use the set.
  bool contains(LWItemID bone, int& lookups);
  std::vector<LWItemID> listed_;
  ItemSet lookup_;  // the same bones, once a listing has parted from listed_
  bool lookupMade_ = false;
};

// Adds a bone named `name` under `parentItem` (the owner object itself, or one of its
// bones) and returns the bone that appeared among the owner's bones, wherever Layout
// listed it; null when none did.
LWItemID addBoneAndFind(const Host& host, LWItemID owner, LWItemID parentItem, const char* name);
// The same with the owner's bones as listed before the add already in `known`; the new bone
// joins them. One pass over a large object then serves several adds.
LWItemID addBoneAndFind(const Host& host, LWItemID owner, LWItemID parentItem, const char* name,
                        KnownBones& known);

// Each selects the item, then sends one command per value given (null: not sent), in a
// fixed order. Rotations are in radians and go out in degrees.
void emitTransform(const Host& host, LWItemID item, const Vec3* position, const Vec3* rotation,
                   const Vec3* scale);
// Sends nothing after the selection when the item is not a bone.
void emitRest(const Host& host, LWItemID item, const Vec3* restPosition, const Vec3* restRotation,
              const double* restLength);
void emitPivot(const Host& host, LWItemID item, const Vec3* pivot, const Vec3* pivotRotation);

// True when a command would carry `a` exactly as it carries `b` ("%g"), so that sending `a`
// where `b` is would change nothing. Angles are radians, compared as the degrees sent.
bool sameWhenSent(double a, double b);
bool sameWhenSent(const Vec3& a, const Vec3& b);
bool sameAnglesWhenSent(const Vec3& a, const Vec3& b);

}  // namespace vorrik
