// An item's placement in its parent's frame as one matrix, and back: from the values Layout
// keeps (position, rotation, scale, pivot, pivot rotation) to a 4x4 and from a 4x4 to values.
#pragma once

#include "math/matrix.h"
#include "math/rotation.h"
#include "math/vec3.h"

namespace vorrik {

// The values Layout keeps for an item, relative to its parent; rotations in radians.
struct Placement {
  Vec3 position{0, 0, 0};
  Vec3 rotation{0, 0, 0};
  Vec3 scale{1, 1, 1};
  Vec3 pivot{0, 0, 0};
  Vec3 pivotRotation{0, 0, 0};
};

// The item's frame in its parent's: T(position) R(rotation) R(pivot rotation) S(scale)
// T(-pivot).
Matrix4 placementMatrix(const Placement& values);

// The inverse of an affine matrix (last row 0 0 0 1); false when its 3x3 part is singular or
// the result is not finite.
bool invertAffine(Matrix4& out, const Matrix4& m);

// The matrix seen in a mirror: m conjugated by the reflection that turns `axis` (0 x, 1 y,
// 2 z) round, so that a frame placed by m is placed by the result on the other side.
Matrix4 mirrored(const Matrix4& m, int axis);

// Heading, pitch and bank of the rotation in m's 3x3 part (taken as a rotation). Of every
// triple that gives it (both solutions, whole turns, every split at the poles), the one
// nearest to `near`; principal values when `near` is not a finite, modest angle.
Vec3 anglesNear(const Matrix4& m, const Vec3& near);

// Position, rotation and scale that give an item with values.pivot and values.pivotRotation
// the frame m, written into `values`; a frame with shear gets the nearest frame without it,
// its z axis kept. The rotation is the one nearest to `near`. Scale signs follow m's axes:
// a frame turned inside out gets a negative x scale.
void placementValues(const Matrix4& m, Placement& values, const Vec3& near);

}  // namespace vorrik
