// Where a view puts the world on screen: the three orthographic views, the box of the rig
// and its meshes that every column of a view shares, fitted into a cell's drawing area.
#pragma once

#include <vector>

#include "runner/checks/rig_snapshot.h"
#include "runner/pictures/mesh_picture.h"
#include "standin/scene/scene.h"

namespace runner::svg {

struct Point {
  double x, y;
};

double distancePx(Point a, Point b);

struct Box {
  double x0, y0, x1, y1;
  bool overlaps(const Box& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
  bool within(const Box& o) const { return x0 >= o.x0 && y0 >= o.y0 && x1 <= o.x1 && y1 <= o.y1; }
};

// Clips the segment to the box (Liang-Barsky); true when any of it is inside.
bool segmentHitsBox(Point a, Point b, const Box& box);

// Screen axes per view: u to the right, v up (Layout's Front, Right and Top views).
struct View {
  const char* name;
  const char* axes;
  int u, v;
};
inline constexpr View kViews[] = {{"front", "x right, y up", 0, 1},
                                  {"side", "z right, y up", 2, 1},
                                  {"top", "x right, z up", 0, 2}};

// What a view shows: the world box that all columns share, fitted into a cell's drawing area.
struct Frame {
  Box area;
  double uCentre = 0, vCentre = 0, scale = 1;
  int u = 0, v = 1;
  Point map(const standin::Vec3& p) const {
    return {(area.x0 + area.x1) / 2 + (p[u] - uCentre) * scale,
            (area.y0 + area.y1) / 2 - (p[v] - vCentre) * scale};
  }
};

using Rigs = std::vector<const RigSnapshot*>;
using Meshes = std::vector<const MeshSnapshot*>;

// The frame of `view` that fits every rig and mesh given into `area`.
Frame fit(const Rigs& rigs, const Meshes& meshes, const View& view, const Box& area);

// A length near a fifth of the area's width, rounded to 1, 2 or 5 times a power of ten.
double niceLength(double worldWidth);

}  // namespace runner::svg
