// Meshes in the pictures, before any SVG: the strokes one view makes of a mesh (edges
// merged on a grid within a budget, loose points as dots) and the points a run moved.
#include "runner/pictures/mesh_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace runner {
namespace {

using standin::Mesh;
using standin::PolygonKind;
using standin::Vec3;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Poly {
  PolygonKind kind;
  std::vector<std::uint32_t> corners;
};

Mesh meshOf(std::size_t points, const std::vector<Poly>& polygons) {
  Mesh mesh;
  mesh.points.assign(points, Vec3{0, 0, 0});
  for (const Poly& polygon : polygons) {
    mesh.polygonPoints.insert(mesh.polygonPoints.end(), polygon.corners.begin(),
                              polygon.corners.end());
    mesh.polygonStart.push_back(static_cast<std::uint32_t>(mesh.polygonPoints.size()));
    mesh.polygonKinds.push_back(polygon.kind);
  }
  return mesh;
}

// An edge as whole half-pixels, smaller end first, so that cases can list them exactly.
using Edge = std::tuple<int, int, int, int>;
Edge edgeOf(const Stroke& s) {
  auto half = [](double v) { return static_cast<int>(std::floor(v * 2)); };
  std::pair<int, int> a{half(s.from.x), half(s.from.y)}, b{half(s.to.x), half(s.to.y)};
  if (b < a) std::swap(a, b);
  return {a.first, a.second, b.first, b.second};
}

TEST(MeshStrokes, SmallMeshesAreDrawnEdgeForEdge) {
  const PolygonKind F = PolygonKind::Face, P = PolygonKind::Patch, O = PolygonKind::Other;
  struct Case {
    const char* what;
    std::vector<Pixel> screen;
    std::vector<Poly> polygons;
    std::set<Edge> edges;  // in half-pixels
    std::size_t dots;
  };
  // A 10 by 10 pixel square split in two quads along x = 15.
  const std::vector<Pixel> two{{10, 10}, {15, 10}, {20, 10}, {10, 20}, {15, 20}, {20, 20}};
  const std::vector<Case> cases = {
      {"two quads share an edge, drawn once",
       two,
       {{F, {0, 1, 4, 3}}, {F, {1, 2, 5, 4}}},
       {{20, 20, 30, 20},
        {30, 20, 40, 20},
        {20, 40, 30, 40},
        {30, 40, 40, 40},
        {20, 20, 20, 40},
        {30, 20, 30, 40},
        {40, 20, 40, 40}},
       0},
      {"a patch is drawn as its cage",
       two,
       {{P, {0, 2, 5, 3}}},
       {{20, 20, 40, 20}, {40, 20, 40, 40}, {20, 40, 40, 40}, {20, 20, 20, 40}},
       0},
      {"a two-point polygon is one edge", two, {{F, {0, 5}}}, {{20, 20, 40, 40}}, 0},
      {"curves and other kinds are their points", two, {{O, {0, 1, 2}}}, {}, 3},
      {"a one-point polygon is a dot", two, {{F, {4}}}, {}, 1},
      {"a mesh without polygons shows every point", two, {}, {}, 6},
      {"a point that is not finite takes its edges with it",
       {{10, 10}, {20, 10}, {kNaN, 20}, {10, 20}},
       {{F, {0, 1, 2, 3}}},
       {{20, 20, 40, 20}, {20, 20, 20, 40}},
       0},
      {"an edge within one grid step vanishes",
       {{10, 10}, {10.1, 10.1}, {20, 20}},
       {{F, {0, 1, 2}}},
       {{20, 20, 40, 40}},
       0},
      {"a corner past the mesh's points is left out",
       two,
       {{F, {0, 1, 99}}},
       {{20, 20, 30, 20}},
       0},
  };
  for (const Case& c : cases) {
    const Mesh mesh = meshOf(c.screen.size(), c.polygons);
    const MeshStrokes strokes = meshStrokes(c.screen, mesh, 100, 100);
    std::set<Edge> edges;
    for (const Stroke& s : strokes.edges) edges.insert(edgeOf(s));
    EXPECT_EQ(edges, c.edges) << c.what;
    EXPECT_EQ(strokes.edges.size(), c.edges.size()) << c.what << ": an edge drawn twice";
    EXPECT_EQ(strokes.dots.size(), c.dots) << c.what;
    EXPECT_EQ(strokes.edgeGrid, kFinestEdgeGrid) << c.what;
  }
}

// A grid mesh of n by n points filling the box (x0, y0) .. (x1, y1) on screen.
struct GridMesh {
  Mesh mesh;
  std::vector<Pixel> screen;
};
GridMesh gridMesh(std::uint32_t n, double x0, double y0, double x1, double y1) {
  GridMesh grid;
  for (std::uint32_t j = 0; j < n; ++j) {
    for (std::uint32_t i = 0; i < n; ++i) {
      grid.screen.push_back({x0 + (x1 - x0) * i / (n - 1), y0 + (y1 - y0) * j / (n - 1)});
    }
  }
  std::vector<Poly> quads;
  for (std::uint32_t j = 0; j + 1 < n; ++j) {
    for (std::uint32_t i = 0; i + 1 < n; ++i) {
      const std::uint32_t a = j * n + i;
      quads.push_back({PolygonKind::Face, {a, a + 1, a + n + 1, a + n}});
    }
  }
  grid.mesh = meshOf(grid.screen.size(), quads);
  return grid;
}

TEST(MeshStrokes, ADenseMeshIsMergedOnACoarserGridWithinItsBudget) {
  struct Case {
    std::uint32_t n;
    std::size_t budget;
    bool coarsened;
  };
  const Case cases[] = {{20, 3000, false}, {200, 3000, true}, {200, 50, true}, {600, 3000, true}};
  for (const Case& c : cases) {
    const GridMesh grid = gridMesh(c.n, 40, 30, 440, 330);
    const MeshStrokes strokes = meshStrokes(grid.screen, grid.mesh, c.budget, 10);
    const std::string what =
        std::to_string(c.n) + " points a side, budget " + std::to_string(c.budget);
    EXPECT_LE(strokes.edges.size(), c.budget) << what;
    EXPECT_EQ(strokes.meshEdges, 4 * std::size_t{c.n - 1} * (c.n - 1)) << what;
    EXPECT_EQ(strokes.edgeGrid > kFinestEdgeGrid, c.coarsened) << what;
    // Grids double from the finest.
    const double steps = std::log2(strokes.edgeGrid / kFinestEdgeGrid);
    EXPECT_EQ(steps, std::round(steps)) << what;
    // Still the mesh's shape: the strokes reach its four sides, within a grid step.
    double left = 1e9, right = -1e9, top = 1e9, bottom = -1e9;
    for (const Stroke& s : strokes.edges) {
      for (const Pixel& p : {s.from, s.to}) {
        left = std::min(left, p.x), right = std::max(right, p.x);
        top = std::min(top, p.y), bottom = std::max(bottom, p.y);
      }
    }
    EXPECT_NEAR(left, 40, strokes.edgeGrid) << what;
    EXPECT_NEAR(right, 440, strokes.edgeGrid) << what;
    EXPECT_NEAR(top, 30, strokes.edgeGrid) << what;
    EXPECT_NEAR(bottom, 330, strokes.edgeGrid) << what;
    // No coarser than needed: half the grid would not have fitted the budget.
    if (c.coarsened) {
      EXPECT_GT(meshStrokes(grid.screen, grid.mesh, c.budget * 8, 10).edges.size(), c.budget)
          << what;
    }
  }
}

TEST(MeshStrokes, DotsAreMergedWithinTheirBudget) {
  struct Case {
    std::size_t points, budget, dots;
  };
  // 2000 points from x = 10 to 1009.5 in a row: one dot per pixel, then per 4 pixels
  // (cells 2 to 252), then one.
  const Case cases[] = {{10, 100, 10}, {2000, 5000, 1000}, {2000, 300, 251}, {2000, 1, 1}};
  for (const Case& c : cases) {
    std::vector<Pixel> screen;
    std::vector<std::uint32_t> which;
    for (std::size_t i = 0; i < c.points; ++i) {
      screen.push_back({10 + static_cast<double>(i) * 1000.0 / static_cast<double>(c.points), 50});
      which.push_back(static_cast<std::uint32_t>(i));
    }
    double grid = 0;
    const std::vector<Pixel> dots = pointDots(screen, which, c.budget, &grid);
    EXPECT_EQ(dots.size(), c.dots) << c.points << " points, budget " << c.budget;
    EXPECT_LE(dots.size(), c.budget);
    for (const Pixel& dot : dots) {
      EXPECT_GE(dot.x, 10 - grid);
      EXPECT_LE(dot.x, 1010 + grid);
    }
  }
}

MeshSnapshot snapshotOf(std::vector<std::pair<standin::ItemId, std::vector<Vec3>>> meshes) {
  MeshSnapshot snapshot;
  for (auto& [id, points] : meshes) {
    MeshPoints entry;
    entry.object = id;
    entry.name = "M" + std::to_string(id);
    entry.mesh = std::make_shared<Mesh>(meshOf(points.size(), {}));
    entry.points = std::move(points);
    snapshot.meshes.push_back(std::move(entry));
  }
  return snapshot;
}

TEST(PointMoves, ListsThePointsThatMovedMoreThanTheTolerance) {
  struct Case {
    const char* what;
    MeshSnapshot before, after;
    // Per mesh that moved: its object and the moved points.
    std::vector<std::pair<standin::ItemId, std::vector<std::uint32_t>>> moved;
    double largest;
  };
  const double t = 0.01;
  const std::vector<Case> cases = {
      {"nothing moved",
       snapshotOf({{1, {{0, 0, 0}, {1, 1, 1}}}}),
       snapshotOf({{1, {{0, 0, 0}, {1, 1, 1}}}}),
       {},
       0},
      {"a move at the tolerance is noise",
       snapshotOf({{1, {{0, 0, 0}}}}),
       snapshotOf({{1, {{t, 0, 0}}}}),
       {},
       0},
      {"one point of two",
       snapshotOf({{1, {{0, 0, 0}, {1, 1, 1}}}}),
       snapshotOf({{1, {{0, 0, 0}, {1, 1.5, 1}}}}),
       {{1, {1}}},
       0.5},
      {"the distance counts all three axes",
       snapshotOf({{1, {{0, 0, 0}}}}),
       snapshotOf({{1, {{0.006, 0.006, 0.006}}}}),
       {{1, {0}}},
       std::sqrt(3 * 0.006 * 0.006)},
      {"only the mesh that moved",
       snapshotOf({{1, {{0, 0, 0}}}, {2, {{0, 0, 0}}}}),
       snapshotOf({{1, {{0, 0, 0}}}, {2, {{0, 0, 2}}}}),
       {{2, {0}}},
       2},
      {"points that are not finite are not marks",
       snapshotOf({{1, {{0, 0, 0}, {kNaN, 0, 0}}}}),
       snapshotOf({{1, {{kNaN, 0, 0}, {5, 0, 0}}}}),
       {},
       0},
      {"a mesh in one snapshot only",
       snapshotOf({{1, {{0, 0, 0}}}}),
       snapshotOf({{2, {{9, 9, 9}}}}),
       {},
       0},
      {"other points than before",
       snapshotOf({{1, {{0, 0, 0}}}}),
       snapshotOf({{1, {{9, 9, 9}, {9, 9, 9}}}}),
       {},
       0},
  };
  for (const Case& c : cases) {
    const std::vector<PointMoves> moves = pointMoves(c.before, c.after, t);
    ASSERT_EQ(moves.size(), c.moved.size()) << c.what;
    for (std::size_t i = 0; i < moves.size(); ++i) {
      EXPECT_EQ(moves[i].object, c.moved[i].first) << c.what;
      EXPECT_EQ(moves[i].points, c.moved[i].second) << c.what;
      EXPECT_NEAR(moves[i].largest, c.largest, 1e-12) << c.what;
    }
  }
}

}  // namespace
}  // namespace runner
