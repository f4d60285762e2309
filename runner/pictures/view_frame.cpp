#include "runner/pictures/view_frame.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace runner::svg {

namespace {

// The box to fit: bones and objects. Lights and cameras usually stand far off and would
// shrink the rig to a dot, so they only count when there is nothing else.
struct Extent {
  double u0 = std::numeric_limits<double>::max(), u1 = -std::numeric_limits<double>::max();
  double v0 = std::numeric_limits<double>::max(), v1 = -std::numeric_limits<double>::max();
  bool empty() const { return u0 > u1; }
  void add(double u, double v) {
    u0 = std::min(u0, u), u1 = std::max(u1, u), v0 = std::min(v0, v), v1 = std::max(v1, v);
  }
};

Extent extentOf(const Rigs& rigs, const Meshes& meshes, const View& view, bool everything) {
  Extent extent;
  for (const MeshSnapshot* snapshot : meshes) {
    for (const MeshPoints& mesh : snapshot->meshes) {
      if (!mesh.hasBox) continue;
      extent.add(mesh.low[view.u], mesh.low[view.v]);
      extent.add(mesh.high[view.u], mesh.high[view.v]);
    }
  }
  for (const RigSnapshot* rig : rigs) {
    for (const RigItem& item : rig->items) {
      const bool counts = everything || item.isBone() || item.type == standin::ItemType::Object;
      if (!counts) continue;
      extent.add(item.origin[view.u], item.origin[view.v]);
      extent.add(item.tip[view.u], item.tip[view.v]);
    }
  }
  return extent;
}

Extent viewExtent(const Rigs& rigs, const Meshes& meshes, const View& view) {
  Extent extent = extentOf(rigs, meshes, view, false);
  if (extent.empty()) extent = extentOf(rigs, meshes, view, true);
  if (extent.empty()) extent.add(0, 0);
  return extent;
}

// The rig's largest extent along any axis.
double rigSpan(const Rigs& rigs, const Meshes& meshes) {
  double span = 0;
  for (const View& view : kViews) {
    const Extent extent = viewExtent(rigs, meshes, view);
    span = std::max({span, extent.u1 - extent.u0, extent.v1 - extent.v0});
  }
  return span;
}

}  // namespace

double distancePx(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

bool segmentHitsBox(Point a, Point b, const Box& box) {
  double t0 = 0, t1 = 1;
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double p[] = {-dx, dx, -dy, dy};
  const double q[] = {a.x - box.x0, box.x1 - a.x, a.y - box.y0, box.y1 - a.y};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  return true;
}

Frame fit(const Rigs& rigs, const Meshes& meshes, const View& view, const Box& area) {
  const Extent extent = viewExtent(rigs, meshes, view);
  // Spans of rigs reaching as far as doubles go overflow: such a rig is drawn as if it were
  // the largest double wide, so that the scale stays above 0.
  constexpr double kWidest = std::numeric_limits<double>::max() / 2;
  double uSpan = std::min(extent.u1 - extent.u0, kWidest);
  double vSpan = std::min(extent.v1 - extent.v0, kWidest);
  // A view that sees the rig edge on would blow float noise up to the whole cell: it
  // zooms in no further than a quarter of the rig's size.
  double size = std::max({uSpan, vSpan, std::min(rigSpan(rigs, meshes), kWidest) / 4});
  if (size <= 0) size = 1;
  // A margin so that shapes and labels at the edge stay inside.
  uSpan = std::max(uSpan, size * 0.05) * 1.12;
  vSpan = std::max(vSpan, size * 0.05) * 1.12;
  Frame frame;
  frame.area = area;
  frame.u = view.u;
  frame.v = view.v;
  frame.uCentre = extent.u0 / 2 + extent.u1 / 2;
  frame.vCentre = extent.v0 / 2 + extent.v1 / 2;
  frame.scale = std::min((area.x1 - area.x0) / uSpan, (area.y1 - area.y0) / vSpan);
  return frame;
}

double niceLength(double worldWidth) {
  const double raw = worldWidth / 5;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double step : {1.0, 2.0, 5.0}) {
    if (step * power >= raw * 0.7) return step * power;
  }
  return 10 * power;
}

}  // namespace runner::svg
