// LWO2/LWO3 reading. The file is an IFF FORM of chunks (ID4, U4 length, data, a pad byte
// after odd lengths); every number is big-endian. Each read is checked against the end of
// the chunk it belongs to, and nothing is allocated ahead of the bytes that hold it.
#include "standin/files/lwo/lwo_reader.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "standin/files/base/file_read.h"

namespace standin {

const Mesh* LwoFile::layer(int number) const {
  for (const Mesh& mesh : layers) {
    if (mesh.layer == number) return &mesh;
  }
  return nullptr;
}

namespace {

constexpr std::uint32_t tag(const char (&text)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(text[3]));
}

// An ID4 as text for messages; bytes that are not printable show as '?'.
std::string tagText(std::uint32_t id) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((id >> shift) & 0xff);
    text += c >= 0x20 && c < 0x7f ? c : '?';
  }
  return text;
}

// Polygon point counts are the low 10 bits; curves use 4 more of the flag bits.
constexpr std::uint16_t kPolygonCountMask = 0x03ff;
constexpr std::uint16_t kCurveCountMask = 0x3fff;
constexpr std::uint32_t kNoParentLayer = 0xffff;
// The FORM tag, its length and its type.
constexpr std::size_t kHeadBytes = 12;

[[noreturn]] void failAt(const std::string& name, std::size_t at, const std::string& message) {
  throw ObjectFileError(name + ": byte " + std::to_string(at) + ": " + message);
}

std::uint32_t bigEndian4(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = at; i < at + 4; ++i) {
    value = value << 8 | static_cast<unsigned char>(bytes[i]);
  }
  return value;
}

// The IFF FORM header and its type, from the first kHeadBytes bytes (all of a shorter file).
void checkHead(std::string_view head, const std::string& name) {
  if (head.size() < kHeadBytes || head.substr(0, 4) != "FORM") {
    std::string begins = "is empty";
    if (!head.empty()) {
      begins = "begins with '" + std::string(head.substr(0, 4)) + "'";
      for (char& c : begins) {
        if (c < 0x20 || c >= 0x7f) c = '?';
      }
    }
    failAt(name, 0, "not a LightWave object file: it " + begins + ", not an IFF FORM header");
  }
  const std::string form = tagText(bigEndian4(head, 8));
  if (form == "LWOB" || form == "LWLO") {
    failAt(name, 8,
           "the file is in the old " + form +
               " format (LightWave 5.5 and older), which is not read; save it from "
               "Modeler as an LWO2 or LWO3 object");
  }
  if (form != "LWO2" && form != "LWO3") {
    failAt(name, 8,
           "the file is an IFF FORM of type '" + form + "', not a LightWave object (LWO2 or LWO3)");
  }
}

class Reader {
public:
  Reader(const std::string& bytes, const std::string& name)
      : data_(reinterpret_cast<const unsigned char*>(bytes.data())),
        size_(bytes.size()),
        name_(name) {}

  LwoFile read() {
    checkHead(std::string_view(reinterpret_cast<const char*>(data_), size_), name_);
    pos_ = 4;
    end_ = size_;
    const std::uint32_t formLength = u4("the FORM length");
    file_.form = tagText(u4("the FORM type"));
    if (formLength < 4 || formLength > size_ - 8) {
      fail(4, "the FORM says it holds " + std::to_string(formLength) + " bytes, but " +
                  std::to_string(size_ - 8) + " follow its header");
    }
    // Bytes past the FORM are not part of it.
    const std::size_t formEnd = 8 + static_cast<std::size_t>(formLength);
    while (pos_ < formEnd) {
      const std::size_t chunkStart = pos_;
      end_ = formEnd;
      if (formEnd - pos_ < 8) fail(pos_, "a chunk header is cut off by the end of the FORM");
      const std::uint32_t id = u4("a chunk tag");
      const std::uint32_t length = u4("a chunk length");
      if (length > formEnd - pos_) {
        fail(chunkStart, "chunk " + tagText(id) + " says it holds " + std::to_string(length) +
                             " bytes, but only " + std::to_string(formEnd - pos_) + " remain");
      }
      end_ = pos_ + length;
      chunk(id, chunkStart);
      pos_ = end_;
      if ((length & 1) != 0 && pos_ < formEnd) ++pos_;  // the pad byte
    }
    return std::move(file_);
  }

private:
  [[noreturn]] void fail(std::size_t at, const std::string& message) const {
    failAt(name_, at, message);
  }

  void need(std::size_t count, const char* what) const {
    if (end_ - pos_ < count) {
      fail(pos_, std::string(what) + " runs past the end of its chunk");
    }
  }
  std::uint16_t u2(const char* what) {
    need(2, what);
    const std::uint16_t value = static_cast<std::uint16_t>(data_[pos_] << 8 | data_[pos_ + 1]);
    pos_ += 2;
    return value;
  }
  std::uint32_t u4(const char* what) {
    need(4, what);
    const std::uint32_t value = static_cast<std::uint32_t>(data_[pos_]) << 24 |
                                static_cast<std::uint32_t>(data_[pos_ + 1]) << 16 |
                                static_cast<std::uint32_t>(data_[pos_ + 2]) << 8 |
                                static_cast<std::uint32_t>(data_[pos_ + 3]);
    pos_ += 4;
    return value;
  }
  // A finite float; `what` names it in the message otherwise.
  float f4(const char* what) {
    const std::size_t at = pos_;
    const std::uint32_t bits = u4(what);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) fail(at, std::string(what) + " is not a finite number");
    return value;
  }
  Vec3 vec12(const char* what) {
    const double x = f4(what);
    const double y = f4(what);
    const double z = f4(what);
    return {x, y, z};
  }
  // Variable-length index: two bytes below 0xFF00, else four with the top byte 0xFF.
  std::uint32_t vx(const char* what) {
    need(2, what);
    if (data_[pos_] != 0xff) return u2(what);
    return u4(what) & 0x00ffffffu;
  }
  // A NUL-terminated string padded to an even length.
  std::string s0(const char* what) {
    const std::size_t start = pos_;
    const void* nul = std::memchr(data_ + pos_, 0, end_ - pos_);
    if (!nul) fail(start, std::string(what) + " has no terminating NUL inside its chunk");
    const std::size_t length = static_cast<const unsigned char*>(nul) - (data_ + pos_);
    std::string text(reinterpret_cast<const char*>(data_ + pos_), length);
    pos_ += length + 1;
    if (((length + 1) & 1) != 0) {
      need(1, what);
      ++pos_;
    }
    return text;
  }

  // The layer that geometry goes to: data before any layer chunk makes layer 0.
  Mesh& layer(std::size_t at) {
    if (!current_) startLayer(at, 0);
    return *current_;
  }
  void startLayer(std::size_t at, int number) {
    if (!numbers_.emplace(number, file_.layers.size()).second) {
      fail(at, "layer " + std::to_string(number) + " appears twice");
    }
    file_.layers.emplace_back();
    current_ = &file_.layers.back();
    current_->layer = number;
    pointsBase_ = pointsCount_ = 0;
    polygonsBase_ = polygonsCount_ = 0;
    weightMapsByName_.clear();
  }

  void chunk(std::uint32_t id, std::size_t chunkStart) {
    switch (id) {
      case tag("LAYR"): layerChunk(chunkStart); break;
      case tag("PNTS"): pointsChunk(chunkStart); break;
      case tag("POLS"): polygonsChunk(chunkStart); break;
      case tag("VMAP"): mapChunk(chunkStart, false); break;
      case tag("VMAD"): mapChunk(chunkStart, true); break;
      default: break;  // surfaces, tags, bounds, clips, envelopes, nested forms, the unknown
    }
  }

  void layerChunk(std::size_t chunkStart) {
    const int number = u2("the layer number");
    const std::uint16_t flags = u2("the layer flags");
    const Vec3 pivot = vec12("the layer pivot");
    std::string name = s0("the layer name");
    int parent = -1;
    if (end_ - pos_ >= 2) {
      const std::uint16_t raw = u2("the parent layer");
      if (raw != kNoParentLayer) parent = raw;
    }
    startLayer(chunkStart, number);
    current_->hidden = (flags & 1) != 0;
    current_->pivot = pivot;
    current_->layerName = std::move(name);
    current_->parentLayer = parent;
  }

  void pointsChunk(std::size_t chunkStart) {
    Mesh& mesh = layer(chunkStart);
    const std::size_t length = end_ - pos_;
    if (length % 12 != 0) {
      fail(chunkStart, "the points chunk holds " + std::to_string(length) +
                           " bytes, not a whole number of 12-byte points");
    }
    const std::size_t count = length / 12;
    if (mesh.points.size() + count > 0xffffffffu) fail(chunkStart, "too many points");
    pointsBase_ = static_cast<std::uint32_t>(mesh.points.size());
    pointsCount_ = static_cast<std::uint32_t>(count);
    mesh.points.reserve(mesh.points.size() + count);
    for (std::size_t i = 0; i < count; ++i) mesh.points.push_back(vec12("a point"));
  }

  // A point index of the latest points chunk, made an index into the layer's points.
  std::uint32_t pointIndex(const char* what) {
    const std::size_t at = pos_;
    const std::uint32_t index = vx(what);
    if (index >= pointsCount_) {
      fail(at, std::string(what) + " is point " + std::to_string(index) + ", but the points " +
                   "chunk before it holds " + std::to_string(pointsCount_));
    }
    return pointsBase_ + index;
  }

  void polygonsChunk(std::size_t chunkStart) {
    Mesh& mesh = layer(chunkStart);
    const std::uint32_t type = u4("the polygon type");
    const PolygonKind kind = type == tag("FACE")   ? PolygonKind::Face
                             : type == tag("PTCH") ? PolygonKind::Patch
                                                   : PolygonKind::Other;
    const std::uint16_t countMask = type == tag("CURV") ? kCurveCountMask : kPolygonCountMask;
    polygonsBase_ = static_cast<std::uint32_t>(mesh.polygonCount());
    while (pos_ < end_) {
      const std::uint16_t count = u2("a polygon's point count") & countMask;
      for (std::uint16_t i = 0; i < count; ++i) {
        mesh.polygonPoints.push_back(pointIndex("a polygon corner"));
      }
      mesh.polygonStart.push_back(static_cast<std::uint32_t>(mesh.polygonPoints.size()));
      mesh.polygonKinds.push_back(kind);
    }
    polygonsCount_ = static_cast<std::uint32_t>(mesh.polygonCount()) - polygonsBase_;
  }

  // VMAP (per point) and VMAD (per polygon corner); only weight maps are kept.
  void mapChunk(std::size_t chunkStart, bool perCorner) {
    Mesh& mesh = layer(chunkStart);
    const std::uint32_t type = u4("the vertex map type");
    const std::uint16_t dimension = u2("the vertex map dimension");
    std::string name = s0("the vertex map name");
    if (type != tag("WGHT")) return;
    if (dimension == 0) fail(chunkStart, "weight map '" + name + "' has no values (dimension 0)");
    const auto [found, added] = weightMapsByName_.emplace(name, mesh.weightMaps.size());
    if (added) {
      mesh.weightMaps.emplace_back();
      mesh.weightMaps.back().name = std::move(name);
    }
    WeightMap& map = mesh.weightMaps[found->second];
    while (pos_ < end_) {
      const std::uint32_t point = pointIndex("a weight map entry");
      std::uint32_t polygon = 0;
      if (perCorner) {
        const std::size_t at = pos_;
        const std::uint32_t index = vx("a weight map polygon");
        if (index >= polygonsCount_) {
          fail(at, "a weight map entry names polygon " + std::to_string(index) +
                       ", but the polygons chunk before it holds " +
                       std::to_string(polygonsCount_));
        }
        polygon = polygonsBase_ + index;
      }
      const float weight = f4("a weight");
      need(4 * (static_cast<std::size_t>(dimension) - 1), "a weight map entry");
      pos_ += 4 * (static_cast<std::size_t>(dimension) - 1);  // a weight has one value
      if (perCorner) {
        map.cornerWeights.push_back({point, polygon, weight});
      } else {
        map.weights.push_back({point, weight});
      }
    }
  }

  const unsigned char* data_;
  std::size_t size_;
  const std::string& name_;
  std::size_t pos_ = 0, end_ = 0;  // end_: the end of the chunk being read
  LwoFile file_;
  Mesh* current_ = nullptr;  // into file_.layers, valid until the next layer starts
  std::unordered_map<int, std::size_t> numbers_;  // layer number -> index in file_.layers
  std::unordered_map<std::string, std::size_t> weightMapsByName_;  // current layer's maps
  // Indices in point and polygon lists refer to the latest chunk of that kind.
  std::uint32_t pointsBase_ = 0, pointsCount_ = 0;
  std::uint32_t polygonsBase_ = 0, polygonsCount_ = 0;
};

}  // namespace

LwoFile readLwo(const std::string& bytes, const std::string& name) {
  return Reader(bytes, name).read();
}

LwoFile readLwoFile(const std::string& path) {
  // The header first: a file that is no object is refused before the rest is read.
  std::string bytes;
  try {
    bytes = readFileBytes(path, true, kHeadBytes,
                          [&](std::string_view head) { checkHead(head, path); });
  } catch (const FileReadError& error) {
    throw ObjectFileError(path + ": cannot read: " + error.what());
  }
  return readLwo(bytes, path);
}

}  // namespace standin
