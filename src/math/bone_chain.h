// Transforms between a bone's own frame and its skeleton's frame (the frame of the object the
// chain hangs from), read from the host at the current time on every call.
#pragma once

#include "host/host_session.h"
#include "math/matrix.h"
#include "math/vec3.h"

namespace vorrik {

// Bone frame to skeleton frame: the bone's own placement, preceded by every bone above it.
// Identity for a null item or one that is not a bone. Scaling plays no part.
Matrix4& boneToSkeleton(Matrix4& out, const Host& host, LWItemID item);

// The inverse of boneToSkeleton.
Matrix4& skeletonToBone(Matrix4& out, const Host& host, LWItemID item);

// The tip of bone b, (0, 0, rest length) in b's frame, seen in a's frame; in the skeleton
// frame when a is null or not a bone.
Vec3& childTipInBone(Vec3& out, const Host& host, LWItemID a, LWItemID b);

// The tip of bone q, a child bone of p, in p's frame and in the frame p hangs in. The same
// as childTipInBone(p, q) and childTipInBone(parent of p, q) without the bones above p,
// which cancel out: two bones are read however deep the chain. Bit for bit the same
// numbers when p hangs from its object.
void childTipNearParent(Vec3& inP, Vec3& inParent, const Host& host, LWItemID p, LWItemID q);

}  // namespace vorrik
