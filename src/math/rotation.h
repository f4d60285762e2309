// Rotations as heading, pitch and bank (R = Ry(heading) Rx(pitch) Rz(bank), radians) and
// the rigid placements of items built from them, for tools that move an item from one
// frame into another and must give it angles Layout can key.
#pragma once

#include "math/matrix.h"
#include "math/vec3.h"

namespace vorrik {

// The rotation with these angles.
Matrix4 rotationMatrix(const Vec3& angles);

// Angles of the rotation part of `m` (a rotation, no scaling): of the two sets every
// rotation has, and their whole turns, the one nearest to `near`, so that keys made from
// them run on from neighbouring keys instead of turning the long way round.
Vec3 keyAnglesNear(const Matrix4& m, const Vec3& near);

// The shortest rotation that turns +Z onto the direction `to` (identity for a zero one).
Matrix4 turnFromZ(const Vec3& to);

// The inverse of a rigid placement (rotation and translation only).
Matrix4 rigidInverse(const Matrix4& m);

// T(position) R(angles) R(pivot angles) T(-pivot): an item's placement in its parent's
// frame, scaling left out as the bone chain transforms leave it out.
Matrix4 itemPlacement(const Vec3& position, const Vec3& angles, const Vec3& pivot,
                      const Vec3& pivotAngles);

// Where a placement puts its origin: its translation part.
inline Vec3 translationOf(const Matrix4& m) { return {m[3], m[7], m[11]}; }

}  // namespace vorrik
