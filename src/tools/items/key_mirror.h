// The part of PasteKeyMirror that CopyKey and CutKey run: where each copied item sits in its
// rig, kept in the clipboard beside its values.
#pragma once

#include "host/host_session.h"
#include "math/placement.h"
#include "tools/items/key_clipboard.h"

namespace vorrik {

// The item's position, rotation, scale, pivot and pivot rotation now.
Placement readPlacement(const Host& host, LWItemID item);

// Where the record's item sits, its own values taken from the record; read before any
// command. Without the bone services a bone's rest rotation is left out. A host that fails
// on the way (a member missing, links that loop, anything thrown) does not stop the caller:
// the result then says why in `missing`, and CopyKey and CutKey go on as they always did.
MirrorSource captureMirrorSource(const Host& host, const KeyRecord& record);

}  // namespace vorrik
