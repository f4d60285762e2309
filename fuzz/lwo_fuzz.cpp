// libFuzzer target: the input bytes are an object file. The reader must refuse it with the
// file's name and a byte offset inside the input, or give meshes whose every index points
// into them and whose every number is finite. A failed check prints why and aborts.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "standin/files/lwo/lwo_reader.h"

namespace {

[[noreturn]] void broken(const char* why) {
  std::fprintf(stderr, "lwo_fuzz: %s\n", why);
  std::abort();
}

void check(bool ok, const char* why) {
  if (!ok) broken(why);
}

void checkMesh(const standin::Mesh& mesh) {
  for (const standin::Vec3& point : mesh.points) {
    check(std::isfinite(point[0]) && std::isfinite(point[1]) && std::isfinite(point[2]),
          "a point is not finite");
  }
  check(
      std::isfinite(mesh.pivot[0]) && std::isfinite(mesh.pivot[1]) && std::isfinite(mesh.pivot[2]),
      "the pivot is not finite");
  check(mesh.polygonStart.size() == mesh.polygonCount() + 1, "polygon starts and kinds differ");
  check(mesh.polygonStart.front() == 0 && mesh.polygonStart.back() == mesh.polygonPoints.size(),
        "polygon starts do not span the corners");
  for (std::size_t i = 1; i < mesh.polygonStart.size(); ++i) {
    check(mesh.polygonStart[i - 1] <= mesh.polygonStart[i], "polygon starts go backwards");
  }
  for (std::uint32_t index : mesh.polygonPoints) {
    check(index < mesh.points.size(), "a corner points past the points");
  }
  for (const standin::WeightMap& map : mesh.weightMaps) {
    for (const standin::PointWeight& w : map.weights) {
      check(w.point < mesh.points.size(), "a weight points past the points");
      check(std::isfinite(w.weight), "a weight is not finite");
    }
    for (const standin::CornerWeight& w : map.cornerWeights) {
      check(w.point < mesh.points.size(), "a corner weight points past the points");
      check(w.polygon < mesh.polygonCount(), "a corner weight names no polygon");
      check(std::isfinite(w.weight), "a corner weight is not finite");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    const standin::LwoFile file = standin::readLwo(bytes, "fuzz.lwo");
    check(file.form == "LWO2" || file.form == "LWO3", "read a form that is not LWO2 or LWO3");
    for (const standin::Mesh& mesh : file.layers) {
      checkMesh(mesh);
      check(file.layer(mesh.layer) == &mesh, "a layer number is not unique");
    }
  } catch (const standin::ObjectFileError& error) {
    const std::string message = error.what();
    const std::string prefix = "fuzz.lwo: byte ";
    check(message.rfind(prefix, 0) == 0, "a refusal does not name the file and byte");
    const unsigned long long at = std::strtoull(message.c_str() + prefix.size(), nullptr, 10);
    check(at <= size, "a refusal names a byte past the end");
  }
  return 0;
}
