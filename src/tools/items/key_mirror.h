// The part of PasteKeyMirror that CopyKey and CutKey run: where each copied item sits in its
// rig, kept in the clipboard beside its values.
#pragma once

#include <optional>
#include <unordered_map>
#include <vector>

#include "host/host_session.h"
#include "math/placement.h"
#include "tools/items/key_clipboard.h"

namespace vorrik {

// The item's position, rotation, scale, pivot and pivot rotation now.
Placement readPlacement(const Host& host, LWItemID item);

// Reads where the copied items sit, for one capture. An ancestor that several items share
// (a chain of sided bones, each copied) is read and multiplied once, so a capture stays one
// pass over the items and the ancestors between them and their centre items.
class MirrorSourceReader {
public:
  explicit MirrorSourceReader(const Host& host) : host_(host) {}

  // Where the record's item sits, its own values taken from the record; read before any
  // command. Without the bone services a bone's rest rotation is left out. A host that
  // fails on the way (a member missing, links that loop, anything thrown) does not stop the
  // caller: the result then says why in `missing`, and CopyKey and CutKey go on as they
  // always did.
  MirrorSource capture(const KeyRecord& record);

private:
  // A sided ancestor's frame in its reference's frame, with the rest rotations multiplied
  // alongside for a walk that started at a bone.
  struct Above {
    LWItemID reference = LWITEM_NULL;
    Matrix4 frame;
    std::optional<Matrix4> restTurn;
  };
  void read(const KeyRecord& record, MirrorSource& source);
  // True when the walk up from an item (a bone when `fromBone`) goes on through `up`.
  bool walksThrough(LWItemID up, bool fromBone) const;
  // The frame of `up`, which the walk goes through, found from the items above it.
  const Above& above(LWItemID up, bool fromBone);

  const Host& host_;
  // Per walk kind (from an item that is not a bone, from a bone): the ancestors done so far.
  std::unordered_map<LWItemID, Above> known_[2];
};

}  // namespace vorrik
