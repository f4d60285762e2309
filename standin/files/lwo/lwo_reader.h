// Reads LightWave object files (.lwo, the LWO2 and LWO3 forms): every layer's number, pivot,
// parent, points, polygons and weight maps. Everything else in the file is skipped.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "standin/scene/mesh.h"

namespace standin {

// An object file that cannot be used; what() names the file and, for a bad file, the byte
// offset: "hero.lwo: byte 1234: polygon 7 uses point 90, but the layer has 80 points".
struct ObjectFileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct LwoFile {
  std::string form;          // "LWO2" or "LWO3"
  std::vector<Mesh> layers;  // in file order

  const Mesh* layer(int number) const;  // by the layer's own number; null if absent
};

// `bytes` is the whole file; `name` starts every message. Throws ObjectFileError.
LwoFile readLwo(const std::string& bytes, const std::string& name);
// Reads the file at `path`: its header first, so that a file that is no object is refused
// before the rest is read, then the rest up to 1 GiB. Throws ObjectFileError also when it
// cannot be read (a folder, a pipe, a device, a larger file).
LwoFile readLwoFile(const std::string& path);

}  // namespace standin
