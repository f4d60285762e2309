#include "standin/files/lwo/lwo_file_writer.h"

#include <cstdint>
#include <cstring>

namespace standin {
namespace {

// Big-endian fields, as the format stores every number.
void u2(std::string& out, std::uint32_t value) {
  out += static_cast<char>((value >> 8) & 0xff);
  out += static_cast<char>(value & 0xff);
}
void u4(std::string& out, std::uint32_t value) {
  u2(out, value >> 16);
  u2(out, value & 0xffff);
}
void f4(std::string& out, double value) {
  const auto single = static_cast<float>(value);
  std::uint32_t bits = 0;
  std::memcpy(&bits, &single, sizeof bits);
  u4(out, bits);
}
void vec12(std::string& out, const Vec3& v) {
  for (double c : v) f4(out, c);
}
// Indices below 0xFF00 take two bytes, larger ones four with the top byte set.
void vx(std::string& out, std::uint32_t index) {
  if (index < 0xff00) {
    u2(out, index);
  } else {
    u4(out, index | 0xff000000u);
  }
}
// NUL-terminated, padded to an even length.
void s0(std::string& out, const std::string& text) {
  out += text;
  out += '\0';
  if ((text.size() + 1) % 2 != 0) out += '\0';
}
void chunk(std::string& out, const char* id, const std::string& data) {
  out += id;
  u4(out, static_cast<std::uint32_t>(data.size()));
  out += data;
  if (data.size() % 2 != 0) out += '\0';
}
void subchunk(std::string& out, const char* id, const std::string& data) {
  out += id;
  u2(out, static_cast<std::uint32_t>(data.size()));
  out += data;
  if (data.size() % 2 != 0) out += '\0';
}

constexpr std::uint32_t kLargestIndex = 0xffffff;
constexpr std::size_t kMostCorners = 1023;
const char* const kSurface = "Default";

}  // namespace

std::string lwo2Bytes(const Mesh& mesh) {
  if (mesh.points.size() > kLargestIndex + std::size_t{1}) {
    throw MeshWriteError("the mesh has " + std::to_string(mesh.points.size()) +
                         " points, more than one layer of an object file can index");
  }
  for (const WeightMap& map : mesh.weightMaps) {
    if (!map.cornerWeights.empty()) {
      throw MeshWriteError("weight map '" + map.name + "' has per-polygon weights");
    }
  }
  for (std::size_t i = 0; i < mesh.polygonCount(); ++i) {
    if (mesh.polygonKinds[i] != mesh.polygonKinds[0]) {
      throw MeshWriteError("the mesh mixes faces and patches");
    }
    if (mesh.polygonKinds[i] == PolygonKind::Other) {
      throw MeshWriteError("polygon " + std::to_string(i) + " is neither a face nor a patch");
    }
    if (mesh.polygonStart[i + 1] - mesh.polygonStart[i] > kMostCorners) {
      throw MeshWriteError("polygon " + std::to_string(i) + " has more than 1023 corners");
    }
  }

  std::string body = "LWO2";
  std::string data;
  s0(data, kSurface);
  chunk(body, "TAGS", data);

  data.clear();
  u2(data, static_cast<std::uint32_t>(mesh.layer));
  u2(data, mesh.hidden ? 1 : 0);
  vec12(data, mesh.pivot);
  s0(data, mesh.layerName);
  if (mesh.parentLayer >= 0) u2(data, static_cast<std::uint32_t>(mesh.parentLayer));
  chunk(body, "LAYR", data);

  data.clear();
  for (const Vec3& p : mesh.points) vec12(data, p);
  chunk(body, "PNTS", data);

  for (const WeightMap& map : mesh.weightMaps) {
    data = "WGHT";
    u2(data, 1);
    s0(data, map.name);
    for (const PointWeight& value : map.weights) {
      vx(data, value.point);
      f4(data, value.weight);
    }
    chunk(body, "VMAP", data);
  }

  if (mesh.polygonCount() > 0) {
    data = mesh.polygonKinds[0] == PolygonKind::Patch ? "PTCH" : "FACE";
    for (std::size_t i = 0; i < mesh.polygonCount(); ++i) {
      u2(data, mesh.polygonStart[i + 1] - mesh.polygonStart[i]);
      for (std::uint32_t k = mesh.polygonStart[i]; k < mesh.polygonStart[i + 1]; ++k) {
        vx(data, mesh.polygonPoints[k]);
      }
    }
    chunk(body, "POLS", data);
    data = "SURF";
    for (std::size_t i = 0; i < mesh.polygonCount(); ++i) {
      vx(data, static_cast<std::uint32_t>(i));
      u2(data, 0);
    }
    chunk(body, "PTAG", data);
  }

  // A light grey, mostly diffuse surface.
  data.clear();
  s0(data, kSurface);
  s0(data, "");
  std::string value;
  vec12(value, {0.78, 0.78, 0.8});
  vx(value, 0);
  subchunk(data, "COLR", value);
  value.clear();
  f4(value, 0.9);
  vx(value, 0);
  subchunk(data, "DIFF", value);
  chunk(body, "SURF", data);

  std::string file = "FORM";
  u4(file, static_cast<std::uint32_t>(body.size()));
  return file + body;
}

}  // namespace standin
