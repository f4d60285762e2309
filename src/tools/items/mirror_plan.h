// PasteKeyMirror's plan: the values each paste will send, all worked out before the first
// command, parents before children, each child below its parent's values as they will be
// sent. Every item above the targets is read once for each reference a paste climbs to, so
// a long chain of sided bones pasted onto its mirror costs one pass.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "host/host_session.h"
#include "math/placement.h"
#include "tools/items/key_clipboard.h"

namespace vorrik {

// One remembered item on its way to its counterpart.
struct Paste {
  const MirrorSource* source = nullptr;
  LWItemID target = LWITEM_NULL;
  // Whether the target hangs below the reference (always, for the world). When it does not,
  // its frame is found through the world's.
  bool belowReference = true;
  // The target's pivot and pivot rotation as they are, then the values to send.
  Placement values;
  Vec3 rotationNow{0, 0, 0};
  std::optional<Matrix4> restTurn;  // the target's rest rotation in the reference's frame
  int mirrorAxis = 0;               // the axis of the reference's frame that is turned round
  Matrix4 sentPlacement;            // the placement the sent values give, rounded as sent
  bool placed = false;
};

// An item and the item a walk up from it ends at (LWITEM_NULL: the world).
using ItemAndTop = std::pair<LWItemID, LWItemID>;
struct ItemAndTopHash {
  std::size_t operator()(const ItemAndTop& key) const {
    const std::hash<LWItemID> hash;
    return hash(key.first) * 31u + hash(key.second);
  }
};

// The items above the targets, read as the walks up from them need them, each once.
class Ancestry {
public:
  explicit Ancestry(const Host& host) : host_(host) {}

  // The item's parent, read once.
  LWItemID parent(LWItemID item);
  // The object a bone belongs to (the nearest ancestor that is not a bone); the item itself
  // when it is not a bone. Found once for each bone.
  LWItemID ownerObject(LWItemID item);
  // A bone's frame in its object's frame, from the values of the bones on the way as they
  // are now; each bone is read once.
  const Matrix4& frameInOwner(LWItemID bone);
  // The items from `item` up to, not including, `top` (or up to the world, when `top` is
  // not above it), stopping early at the first for which `stop` says true; nearest first.
  // Stepped through a loop guard.
  std::vector<LWItemID> climb(LWItemID item, LWItemID top,
                              const std::function<bool(LWItemID)>& stop);
  // Whether `item` is `top` or hangs below it; everything hangs below the world.
  bool reaches(LWItemID item, LWItemID top);
  // The rest rotations from `item` up to, not including, `top` multiplied from the top down;
  // none when an item on the way is not a bone. `item` must reach `top`.
  const std::optional<Matrix4>& restAbove(LWItemID item, LWItemID top);

  const Host& host() const { return host_; }

private:
  const Host& host_;
  std::unordered_map<LWItemID, LWItemID> parents_;
  std::unordered_map<LWItemID, LWItemID> owners_;
  std::unordered_map<LWItemID, Matrix4> frameInOwner_;
  std::unordered_map<ItemAndTop, bool, ItemAndTopHash> reaches_;
  std::unordered_map<ItemAndTop, std::optional<Matrix4>, ItemAndTopHash> restAbove_;
};

// Whether the paste's target hangs below its reference, and the target's rest turn there.
void readAncestry(Ancestry& ancestry, Paste& paste);

// Works out the values of every paste; false, with some left unplaced, when a value cannot
// be sent.
bool planPastes(Ancestry& ancestry, std::vector<Paste>& pastes);

}  // namespace vorrik
