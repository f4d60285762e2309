// Writes a mesh as a one-layer LWO2 object file: the layer, its points, its polygons (one
// kind per file), its weight maps and a single default surface, so that Layout and our own
// reader both load it. Used for meshes that exist only in memory (the demo rig's body) and
// must sit beside a saved scene for the scene to find them again.
#pragma once

#include <stdexcept>
#include <string>

#include "standin/scene/mesh.h"

namespace standin {

// A mesh this writer cannot store faithfully; what() says what it holds that cannot be kept.
struct MeshWriteError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The file's bytes. Throws MeshWriteError for a mesh with polygons of more than one kind,
// of the "other" kind, with more than 1023 corners, with per-polygon weights, or with more
// points than a variable-length index reaches.
std::string lwo2Bytes(const Mesh& mesh);

}  // namespace standin
