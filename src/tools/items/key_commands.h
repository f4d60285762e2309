// What the key tools share: the selection taken before any command, the selection made again
// at the end, and the five commands that key one item.
#pragma once

#include <vector>

#include "host/host_session.h"
#include "math/vec3.h"

namespace vorrik {

// The selected items in selection order, ids of nothing left out; a missing list counts as
// empty.
std::vector<LWItemID> selectionSnapshot(const Host& host);

// Selects the snapshot again: the last item first, then the others back to the first, so
// the first selected item ends up the most recently added.
void reselect(const Host& host, const std::vector<LWItemID>& items);

// Selects the target and keys it at `time` with these values (rotation in radians).
void sendKey(const Host& host, LWItemID target, const Vec3& position, const Vec3& rotation,
             const Vec3& scaling, double time);

// Values a key command can carry: finite, rotations finite in degrees too.
bool sendableKey(const Vec3& position, const Vec3& rotation, const Vec3& scaling);

}  // namespace vorrik
