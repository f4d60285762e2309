#include "runner/pictures/mesh_picture.h"

#include <algorithm>
#include <cmath>

#include "standin/scene/deformation.h"

namespace runner {

using standin::ItemId;
using standin::ItemType;
using standin::Mesh;
using standin::PolygonKind;
using standin::Vec3;

MeshSnapshot::MeshSnapshot(const standin::Scene& scene) {
  for (ItemId id = scene.first(ItemType::Object, 0); id != 0; id = scene.next(id)) {
    const standin::ObjectMesh* named = scene.objectMesh(id);
    if (!named || !named->mesh) continue;
    MeshPoints entry;
    entry.object = id;
    entry.name = scene.find(id)->name;
    entry.mesh = named->mesh;
    entry.points = standin::deformedWorldPoints(scene, id);
    for (const Vec3& p : entry.points) {
      if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
      if (!entry.hasBox) {
        entry.low = entry.high = p;
        entry.hasBox = true;
      }
      for (int axis = 0; axis < 3; ++axis) {
        entry.low[axis] = std::min(entry.low[axis], p[axis]);
        entry.high[axis] = std::max(entry.high[axis], p[axis]);
      }
    }
    meshes.push_back(std::move(entry));
  }
}

const MeshPoints* MeshSnapshot::find(ItemId object) const {
  for (const MeshPoints& entry : meshes) {
    if (entry.object == object) return &entry;
  }
  return nullptr;
}

namespace {

// Grid nodes are packed as x << 16 | y, each coordinate below 2^15; an edge is its two
// nodes, the smaller one high. No node or edge packs to all ones, which marks a free slot.
constexpr std::uint64_t kFree = ~std::uint64_t{0};
constexpr double kLargestCoordinate = 16383;

std::uint32_t pack(std::uint32_t x, std::uint32_t y) { return x << 16 | y; }
std::uint32_t coarser(std::uint32_t node) { return pack((node >> 16) >> 1, (node & 0xffff) >> 1); }
std::uint64_t edgeKey(std::uint32_t a, std::uint32_t b) {
  return a < b ? std::uint64_t{a} << 32 | b : std::uint64_t{b} << 32 | a;
}

// An open-addressing set of keys: one flat array, so that merging millions of strokes into
// a few thousand costs a hash and a probe or two each.
class KeySet {
public:
  explicit KeySet(std::size_t largest) {
    std::size_t capacity = 64;
    while (capacity < 2 * (largest + 1)) capacity *= 2;
    slots_.assign(capacity, kFree);
  }
  void insert(std::uint64_t key) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash(key) & mask;; i = (i + 1) & mask) {
      if (slots_[i] == key) return;
      if (slots_[i] == kFree) {
        slots_[i] = key;
        ++count_;
        return;
      }
    }
  }
  std::size_t size() const { return count_; }
  std::vector<std::uint64_t> keys() const {
    std::vector<std::uint64_t> out;
    out.reserve(count_);
    for (std::uint64_t key : slots_) {
      if (key != kFree) out.push_back(key);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  void clear() {
    std::fill(slots_.begin(), slots_.end(), kFree);
    count_ = 0;
  }

private:
  static std::size_t hash(std::uint64_t k) {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdULL;
    k ^= k >> 33;
    return static_cast<std::size_t>(k);
  }
  std::vector<std::uint64_t> slots_;
  std::size_t count_ = 0;
};

// Each screen point as a node of the finest grid; kFree for points that are not finite.
std::vector<std::uint64_t> finestNodes(const std::vector<Pixel>& screen, double grid) {
  std::vector<std::uint64_t> nodes(screen.size(), kFree);
  const double last = std::floor(kLargestCoordinate / grid);
  for (std::size_t i = 0; i < screen.size(); ++i) {
    const Pixel& p = screen[i];
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
    const double x = std::clamp(std::floor(p.x / grid), 0.0, last);
    const double y = std::clamp(std::floor(p.y / grid), 0.0, last);
    nodes[i] = pack(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
  }
  return nodes;
}

std::uint32_t atLevel(std::uint64_t finest, int level) {
  const auto node = static_cast<std::uint32_t>(finest);
  return pack((node >> 16) >> level, (node & 0xffff) >> level);
}

Pixel centreOf(std::uint32_t node, double step) {
  return {(static_cast<double>(node >> 16) + 0.5) * step,
          (static_cast<double>(node & 0xffff) + 0.5) * step};
}

// Collects keys into a set that never holds more than a few times the budget: when it
// would, every key so far moves to the next coarser grid and so do the ones still to come.
class GridMerge {
public:
  GridMerge(std::size_t budget, bool edges)
      : budget_(std::max<std::size_t>(budget, 1)),
        working_(4 * budget_ + 64),
        set_(working_),
        edges_(edges) {}

  int level() const { return level_; }
  void add(std::uint64_t key) {
    set_.insert(key);
    if (set_.size() > working_) coarsen();
  }
  // The keys, coarsened until no more than the budget remain.
  std::vector<std::uint64_t> finish() {
    while (set_.size() > budget_) coarsen();
    return set_.keys();
  }

private:
  void coarsen() {
    const std::vector<std::uint64_t> keys = set_.keys();
    set_.clear();
    ++level_;
    for (std::uint64_t key : keys) {
      if (!edges_) {
        set_.insert(coarser(static_cast<std::uint32_t>(key)));
        continue;
      }
      const std::uint32_t a = coarser(static_cast<std::uint32_t>(key >> 32));
      const std::uint32_t b = coarser(static_cast<std::uint32_t>(key));
      if (a != b) set_.insert(edgeKey(a, b));
    }
  }

  std::size_t budget_, working_;
  KeySet set_;
  bool edges_;
  int level_ = 0;
};

std::vector<Pixel> dotsFrom(const std::vector<std::uint64_t>& keys, double step) {
  std::vector<Pixel> dots;
  dots.reserve(keys.size());
  for (std::uint64_t key : keys) dots.push_back(centreOf(static_cast<std::uint32_t>(key), step));
  return dots;
}

}  // namespace

MeshStrokes meshStrokes(const std::vector<Pixel>& screen, const Mesh& mesh, std::size_t edgeBudget,
                        std::size_t dotBudget) {
  MeshStrokes strokes;
  const std::vector<std::uint64_t> nodes = finestNodes(screen, kFinestEdgeGrid);
  GridMerge edges(edgeBudget, true);
  std::vector<std::uint32_t> dotPoints;
  auto usable = [&](std::uint32_t point) { return point < nodes.size() && nodes[point] != kFree; };
  auto addEdge = [&](std::uint32_t from, std::uint32_t to) {
    ++strokes.meshEdges;
    if (!usable(from) || !usable(to)) return;
    const std::uint32_t a = atLevel(nodes[from], edges.level());
    const std::uint32_t b = atLevel(nodes[to], edges.level());
    if (a != b) edges.add(edgeKey(a, b));
  };
  for (std::size_t polygon = 0; polygon < mesh.polygonCount(); ++polygon) {
    const std::uint32_t* corners = mesh.polygonPoints.data() + mesh.polygonStart[polygon];
    const std::size_t count = mesh.polygonStart[polygon + 1] - mesh.polygonStart[polygon];
    if (mesh.polygonKinds[polygon] == PolygonKind::Other || count == 1) {
      dotPoints.insert(dotPoints.end(), corners, corners + count);
      continue;
    }
    for (std::size_t i = 0; i + 1 < count; ++i) addEdge(corners[i], corners[i + 1]);
    if (count > 2) addEdge(corners[count - 1], corners[0]);
  }
  if (mesh.polygonCount() == 0) {
    dotPoints.resize(mesh.points.size());
    for (std::size_t i = 0; i < dotPoints.size(); ++i) dotPoints[i] = static_cast<std::uint32_t>(i);
  }
  const std::vector<std::uint64_t> keys = edges.finish();
  strokes.edgeGrid = kFinestEdgeGrid * std::ldexp(1.0, edges.level());
  strokes.edges.reserve(keys.size());
  for (std::uint64_t key : keys) {
    strokes.edges.push_back({centreOf(static_cast<std::uint32_t>(key >> 32), strokes.edgeGrid),
                             centreOf(static_cast<std::uint32_t>(key), strokes.edgeGrid)});
  }
  strokes.dots = pointDots(screen, dotPoints, dotBudget, &strokes.dotGrid);
  return strokes;
}

std::vector<Pixel> pointDots(const std::vector<Pixel>& screen,
                             const std::vector<std::uint32_t>& which, std::size_t budget,
                             double* grid) {
  GridMerge dots(budget, false);
  const double last = std::floor(kLargestCoordinate / kFinestDotGrid);
  for (std::uint32_t point : which) {
    if (point >= screen.size()) continue;
    const Pixel& p = screen[point];
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
    const auto x =
        static_cast<std::uint32_t>(std::clamp(std::floor(p.x / kFinestDotGrid), 0.0, last));
    const auto y =
        static_cast<std::uint32_t>(std::clamp(std::floor(p.y / kFinestDotGrid), 0.0, last));
    dots.add(atLevel(pack(x, y), dots.level()));
  }
  const std::vector<std::uint64_t> keys = dots.finish();
  const double step = kFinestDotGrid * std::ldexp(1.0, dots.level());
  if (grid) *grid = step;
  return dotsFrom(keys, step);
}

std::vector<PointMoves> pointMoves(const MeshSnapshot& before, const MeshSnapshot& after,
                                   double tolerance) {
  std::vector<PointMoves> all;
  for (const MeshPoints& now : after.meshes) {
    const MeshPoints* was = before.find(now.object);
    if (!was || was->points.size() != now.points.size()) continue;
    PointMoves moves;
    moves.object = now.object;
    moves.name = now.name;
    for (std::size_t i = 0; i < now.points.size(); ++i) {
      const Vec3& a = was->points[i];
      const Vec3& b = now.points[i];
      const double distance = std::hypot(b[0] - a[0], b[1] - a[1], b[2] - a[2]);
      if (!std::isfinite(distance) || distance <= tolerance) continue;
      moves.points.push_back(static_cast<std::uint32_t>(i));
      moves.largest = std::max(moves.largest, distance);
    }
    if (!moves.points.empty()) all.push_back(std::move(moves));
  }
  return all;
}

}  // namespace runner
