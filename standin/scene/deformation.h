// Where the points of an object's mesh are at the scene's current time, as its bones move
// them. Both the pictures and the rig check read meshes through here, so they always agree.
#pragma once

#include <vector>

#include "standin/scene/scene.h"

namespace standin {

// The points of `object`'s loaded mesh at the scene's current time, in world space, in the
// mesh's point order. Empty when the object has no loaded mesh.
std::vector<Vec3> deformedWorldPoints(const Scene& scene, ItemId object);

}  // namespace standin
