// Cutting one bone into a chain of parts, shared by BoneSplit (two parts at a ratio) and
// BoneSubdivide (n equal parts).
#pragma once

#include <vector>

#include "host/host_session.h"

namespace vorrik {

// The one bone selected, or null. Anything but exactly one bone shows "Select only single
// bone."; a host that gives no selection list at all gets no message.
LWItemID singleSelectedBone(const Host& host);

// Cuts bone A into parts along its axis, part k having shares[k] of A's rest length (two
// parts at least). A stays as the first part, keeping its name, id, keys, settings and the
// items hanging from it; each further part is a new bone at the tip of the one before, with
// A's deformation settings and a name derived from A's, numbered in order ("Spine2",
// "Spine3", ...). A's child bones move to the last part and keep their place at every time.
// Values that cannot be sent stop it before its first command; messages name `tool`.
void splitIntoParts(const Host& host, LWItemID a, const std::vector<double>& shares,
                    const char* tool);

}  // namespace vorrik
