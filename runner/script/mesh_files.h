// Object files for meshes that exist only in memory (the demo rig's body): a saved scene
// names its objects' files, so those files are written beside it, and the scene finds its
// meshes again when it is loaded.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "standin/scene/scene.h"

namespace runner {

// A mesh that cannot be put beside the scene; what() is one line.
struct MeshFileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct MeshFile {
  std::string path;     // beside the scene, as the scene names it
  std::string objects;  // the objects whose mesh it is, comma separated
  std::string bytes;    // empty when the same file is there already
};

// The files to write with a scene saved at `scenePath`: one per file name that objects with
// an in-memory mesh give. A file that is already there with the same bytes is listed but
// not written again. Throws MeshFileError for a name that does not lie beside the scene, for
// two different meshes under one name, for a mesh the object file cannot hold, and for an
// existing file with other bytes, which is never overwritten.
std::vector<MeshFile> meshFilesBeside(const standin::Scene& scene, const std::string& scenePath);

}  // namespace runner
