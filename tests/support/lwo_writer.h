// A small LWO2/LWO3 writer for tests: chunks and their parts byte by byte, so that tests can
// make good files and every kind of bad one.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace lwo_test {

inline std::string u2(std::uint32_t v) {
  return {static_cast<char>((v >> 8) & 0xff), static_cast<char>(v & 0xff)};
}
inline std::string u4(std::uint32_t v) { return u2(v >> 16) + u2(v & 0xffff); }
inline std::string f4(float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return u4(bits);
}
inline std::string vec(float x, float y, float z) { return f4(x) + f4(y) + f4(z); }
// A variable-length index: two bytes below 0xFF00 unless `wide`, else four.
inline std::string vx(std::uint32_t index, bool wide = false) {
  return index < 0xff00 && !wide ? u2(index) : u4(index | 0xff000000u);
}
// A NUL-terminated string padded to an even length.
inline std::string s0(const std::string& text) {
  std::string out = text + '\0';
  if (out.size() % 2 != 0) out += '\0';
  return out;
}
// A chunk: tag, length, data and the pad byte after an odd length.
inline std::string chunk(const std::string& id, const std::string& data, bool pad = true) {
  std::string out = id + u4(static_cast<std::uint32_t>(data.size())) + data;
  if (pad && data.size() % 2 != 0) out += '\0';
  return out;
}
inline std::string form(const std::string& type, const std::string& chunks) {
  return "FORM" + u4(static_cast<std::uint32_t>(chunks.size() + 4)) + type + chunks;
}

inline std::string layr(int number, int flags = 0, const std::string& pivot = vec(0, 0, 0),
                        const std::string& name = "", int parent = -2) {
  std::string data = u2(number) + u2(flags) + pivot + s0(name);
  if (parent != -2) data += u2(parent < 0 ? 0xffff : parent);
  return chunk("LAYR", data);
}
struct P {
  float x, y, z;
};
inline std::string pnts(const std::vector<P>& points) {
  std::string data;
  for (const P& p : points) data += vec(p.x, p.y, p.z);
  return chunk("PNTS", data);
}
// Polygons of one type; `flags` go into the high bits of each point count.
inline std::string pols(const std::string& type,
                        const std::vector<std::vector<std::uint32_t>>& polygons, bool wide = false,
                        std::uint32_t flags = 0) {
  std::string data = type;
  for (const auto& polygon : polygons) {
    data += u2(static_cast<std::uint32_t>(polygon.size()) | flags);
    for (std::uint32_t index : polygon) data += vx(index, wide);
  }
  return chunk("POLS", data);
}
struct W {
  std::uint32_t point;
  float weight;
};
inline std::string vmap(const std::string& type, const std::string& name,
                        const std::vector<W>& values, int dimension = 1, bool wide = false) {
  std::string data = type + u2(dimension) + s0(name);
  for (const W& w : values) {
    data += vx(w.point, wide);
    for (int d = 0; d < dimension; ++d) data += f4(w.weight + static_cast<float>(d));
  }
  return chunk("VMAP", data);
}
struct C {
  std::uint32_t point, polygon;
  float weight;
};
inline std::string vmad(const std::string& type, const std::string& name,
                        const std::vector<C>& values, bool wide = false) {
  std::string data = type + u2(1) + s0(name);
  for (const C& c : values) data += vx(c.point, wide) + vx(c.polygon, wide) + f4(c.weight);
  return chunk("VMAD", data);
}

// A unit square in layer `number`, one face, with a weight map "Arm" on two corners.
inline std::string squareLayer(int number = 0) {
  return layr(number) + pnts({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}) +
         pols("FACE", {{0, 1, 2, 3}}) + vmap("WGHT", "Arm", {{1, 1.0f}, {2, 0.5f}});
}

}  // namespace lwo_test
