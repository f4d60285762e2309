// The meshes of a cell, under the bones.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "runner/pictures/cell.h"
#include "runner/pictures/palette.h"
#include "runner/pictures/rig_picture.h"

namespace runner::svg {

namespace {

// Every face of a small mesh filled in: its body at a glance.
void drawFaces(Picture& picture, const standin::Mesh& mesh, const std::vector<Pixel>& screen) {
  std::string d;
  for (std::size_t polygon = 0; polygon < mesh.polygonCount(); ++polygon) {
    const std::uint32_t begin = mesh.polygonStart[polygon];
    const std::uint32_t end = mesh.polygonStart[polygon + 1];
    if (mesh.polygonKinds[polygon] == standin::PolygonKind::Other || end - begin < 3) continue;
    bool finite = true;
    std::vector<Pixel> outline;
    double area = 0;
    for (std::uint32_t k = begin; k < end && finite; ++k) {
      const std::uint32_t point = mesh.polygonPoints[k];
      finite =
          point < screen.size() && std::isfinite(screen[point].x) && std::isfinite(screen[point].y);
      if (finite) outline.push_back(screen[point]);
    }
    if (!finite) continue;
    for (std::size_t k = 0; k < outline.size(); ++k) {
      const Pixel& a = outline[k];
      const Pixel& b = outline[(k + 1) % outline.size()];
      area += a.x * b.y - b.x * a.y;
    }
    // All faces wound the same way on screen, so that the front and the back of a
    // tube add up instead of cancelling out under the nonzero rule.
    if (area < 0) std::reverse(outline.begin(), outline.end());
    for (std::size_t k = 0; k < outline.size(); ++k) {
      d += (k == 0 ? "M" : "L") + shortNum(outline[k].x) + " " + shortNum(outline[k].y);
    }
    d += "Z";
  }
  if (!d.empty()) {
    picture.body << "<path class=\"mesh-fill\" d=\"" << d << "\" fill=\"" << colour::kMeshFill
                 << "\" stroke=\"none\"/>\n";
  }
}

// The merged edges and loose points of one mesh, titled with what they stand for.
void drawStrokes(Picture& picture, const MeshStrokes& strokes, const std::string& title) {
  if (!strokes.edges.empty()) {
    std::string d;
    d.reserve(strokes.edges.size() * 24);
    for (const Stroke& e : strokes.edges) {
      d += "M" + shortNum(e.from.x) + " " + shortNum(e.from.y) + "L" + shortNum(e.to.x) + " " +
           shortNum(e.to.y);
    }
    picture.body << "<path class=\"mesh\" d=\"" << d << "\" fill=\"none\" stroke=\""
                 << colour::kMesh << "\" stroke-width=\"0.8\" stroke-linecap=\"round\"><title>"
                 << escape(title) << "</title></path>\n";
  }
  if (!strokes.dots.empty()) {
    picture.body << "<path class=\"mesh-points\" d=\"" << dotPath(strokes.dots)
                 << "\" fill=\"none\" stroke=\"" << colour::kMeshPoint
                 << "\" stroke-width=\"2\" stroke-linecap=\"round\"><title>" << escape(title)
                 << "</title></path>\n";
  }
}

// The points of the mesh that the run moved, as dots on top.
void drawMovedPoints(Picture& picture, const MeshPoints& mesh, const std::vector<Pixel>& screen,
                     const std::vector<PointMoves>& moves, std::size_t meshCount) {
  for (const PointMoves& moved : moves) {
    if (moved.object != mesh.object) continue;
    const std::vector<Pixel> dots =
        pointDots(screen, moved.points, std::max<std::size_t>(kMovedDotsPerView / meshCount, 16));
    char largest[64];
    std::snprintf(largest, sizeof largest, "%g m", moved.largest);
    picture.body << "<path class=\"moved-points\" d=\"" << dotPath(dots)
                 << "\" fill=\"none\" stroke=\"" << colour::kPointMoved
                 << "\" stroke-width=\"3\" stroke-linecap=\"round\"><title>"
                 << escape(mesh.name + ": " + countText(moved.points.size(), "point", "points") +
                           " moved by the run, the largest by " + largest)
                 << "</title></path>\n";
  }
}

}  // namespace

void drawMeshes(Picture& picture, const CellInput& in, const Box& inner) {
  if (!in.meshes || in.meshes->empty()) return;
  std::size_t corners = 0;
  for (const MeshPoints& mesh : in.meshes->meshes) corners += mesh.mesh->polygonPoints.size();
  const std::size_t meshCount = in.meshes->meshes.size();
  picture.body << "<g class=\"meshes\">\n";
  for (const MeshPoints& mesh : in.meshes->meshes) {
    std::vector<Pixel> screen(mesh.points.size());
    for (std::size_t i = 0; i < screen.size(); ++i) {
      const Point q = in.frame.map(mesh.points[i]);
      screen[i] = {std::clamp(q.x, inner.x0, inner.x1), std::clamp(q.y, inner.y0, inner.y1)};
    }
    const std::size_t own = mesh.mesh->polygonPoints.size();
    const double share = corners > 0 ? static_cast<double>(own) / static_cast<double>(corners) : 0;
    const std::size_t edgeBudget = std::max(
        kMeshEdgeFloor, static_cast<std::size_t>(share * static_cast<double>(kMeshEdgesPerView)));
    const std::size_t dotBudget = std::max<std::size_t>(kMeshDotsPerView / meshCount, 16);
    const MeshStrokes strokes = meshStrokes(screen, *mesh.mesh, edgeBudget, dotBudget);

    std::string title = mesh.name + ": " + countText(mesh.points.size(), "point", "points") + ", " +
                        countText(mesh.mesh->polygonCount(), "polygon", "polygons");
    if (strokes.edgeGrid > kFinestEdgeGrid) {
      char grid[48];
      std::snprintf(grid, sizeof grid, "%g px", strokes.edgeGrid);
      title += "; drawn as " + countText(strokes.edges.size(), "edge", "edges") + " merged on a " +
               grid + " grid";
    }
    // A small mesh also gets its faces filled, which shows its body at a glance; a big one
    // is only its merged edges.
    if (mesh.mesh->polygonCount() <= kFilledPolygons && strokes.edgeGrid == kFinestEdgeGrid) {
      drawFaces(picture, *mesh.mesh, screen);
    }
    drawStrokes(picture, strokes, title);
    if (in.moves) drawMovedPoints(picture, mesh, screen, *in.moves, meshCount);
  }
  picture.body << "</g>\n";
}

}  // namespace runner::svg
