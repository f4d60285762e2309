// Meshes as the pictures draw them: every loaded mesh's points where the scene puts them at
// one time, and the flat strokes that stand for a mesh in one view. A mesh of any size turns
// into at most a fixed number of strokes: edges are snapped to a pixel grid and merged, and
// the grid is coarsened until they fit the budget, so a dense mesh reads as a coarser
// wireframe of the same shape instead of a solid blot, and the SVG stays small.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "standin/scene/mesh.h"
#include "standin/scene/scene.h"

namespace runner {

// One object's loaded mesh with its points in world space.
struct MeshPoints {
  standin::ItemId object = 0;
  std::string name;
  std::shared_ptr<const standin::Mesh> mesh;  // shared with the scene, never changed
  std::vector<standin::Vec3> points;          // world, in the mesh's point order
  standin::Vec3 low{0, 0, 0}, high{0, 0, 0};  // the box around the finite points
  bool hasBox = false;                        // false when no point is finite
};

class MeshSnapshot {
public:
  MeshSnapshot() = default;
  // Every object with a loaded mesh, at the scene's current time, in listing order.
  explicit MeshSnapshot(const standin::Scene& scene);

  std::vector<MeshPoints> meshes;

  const MeshPoints* find(standin::ItemId object) const;
  bool empty() const { return meshes.empty(); }
};

// A point on screen, in pixels.
struct Pixel {
  double x = 0, y = 0;
};

struct Stroke {
  Pixel from, to;  // equal for a dot
};

// What one mesh becomes in one view.
struct MeshStrokes {
  std::vector<Stroke> edges;  // polygon edges (faces, and patches as their cage)
  std::vector<Pixel> dots;    // points of other polygon kinds, or of a mesh without polygons
  double edgeGrid = 0;        // the grid the edges were snapped to, in pixels
  double dotGrid = 0;
  std::size_t meshEdges = 0;  // edges the polygons have, counting shared ones once per side
};

// Grid steps: the finest is half a pixel for edges and a pixel for dots; each coarsening
// doubles it.
constexpr double kFinestEdgeGrid = 0.5;
constexpr double kFinestDotGrid = 1;

// The strokes of `mesh` whose points are at `screen` (one per mesh point; points that are
// not finite are left out with every edge that touches them): at most `edgeBudget` edges
// and `dotBudget` dots. Coordinates are clamped to 0 .. 16383 pixels; callers keep them
// inside their drawing area.
MeshStrokes meshStrokes(const std::vector<Pixel>& screen, const standin::Mesh& mesh,
                        std::size_t edgeBudget, std::size_t dotBudget);

// The given points of `screen` as at most `budget` dots, merged on the grid the same way.
std::vector<Pixel> pointDots(const std::vector<Pixel>& screen,
                             const std::vector<std::uint32_t>& which, std::size_t budget,
                             double* grid = nullptr);

// The points of one mesh that moved between two snapshots.
struct PointMoves {
  standin::ItemId object = 0;
  std::string name;
  std::vector<std::uint32_t> points;  // moved more than the tolerance, in point order
  double largest = 0;
};

// Per mesh that both snapshots hold with the same points, those that moved more than
// `tolerance` (meshes where none did are left out). Points not finite in either are skipped.
std::vector<PointMoves> pointMoves(const MeshSnapshot& before, const MeshSnapshot& after,
                                   double tolerance);

}  // namespace runner
