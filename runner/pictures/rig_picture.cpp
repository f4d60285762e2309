#include "runner/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>
#include <unordered_map>
#include <vector>

namespace runner {

namespace {

using standin::ItemId;
using standin::ItemType;
using standin::Vec3;

// Sizes in pixels. The font is monospaced so that a label's width can be known here.
constexpr double kCellWidth = 480, kCellHeight = 360, kGap = 16, kMargin = 16;
constexpr double kTitleHeight = 30, kColumnHeading = 20, kLegendRow = 22;
constexpr double kCaption = 20, kInset = 12, kFooter = 22;
constexpr double kFont = 9, kCharWidth = 0.61 * kFont, kLabelHeight = kFont + 2;
constexpr const char* kInk = "#222222";

enum class Kind { Plain, Rest, Reparented, Moved, Removed, Added };

struct Style {
  const char* fill;
  const char* stroke;
  const char* legend;
};

Style styleOf(Kind kind) {
  switch (kind) {
    case Kind::Added: return {colour::kAdded, "#1b6e1b", "added"};
    case Kind::Removed: return {colour::kRemoved, "#8b1a1a", "removed"};
    case Kind::Moved: return {colour::kMoved, "#5e2a80", "moved"};
    case Kind::Reparented: return {colour::kReparented, "#0e6674", "re-parented"};
    case Kind::Rest: return {colour::kRest, "#6e3d11", "rest changed"};
    case Kind::Plain: break;
  }
  return {colour::kBone, "#3d4f66", "bone"};
}

// Screen axes per view: u to the right, v up (Layout's Front, Right and Top views).
struct View {
  const char* name;
  const char* axes;
  int u, v;
};
const View kViews[] = {{"front", "x right, y up", 0, 1},
                       {"side", "z right, y up", 2, 1},
                       {"top", "x right, z up", 0, 2}};

struct Point {
  double x, y;
};

double distancePx(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

struct Box {
  double x0, y0, x1, y1;
  bool overlaps(const Box& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
  bool within(const Box& o) const { return x0 >= o.x0 && y0 >= o.y0 && x1 <= o.x1 && y1 <= o.y1; }
};

// Clips the segment to the box (Liang-Barsky); true when any of it is inside.
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

std::string num(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        // XML 1.0 allows no control characters but tab, newline and return.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
          out += '?';
        } else {
          out += c;
        }
    }
  }
  return out;
}

double textWidth(const std::string& text) {
  std::size_t glyphs = 0;
  for (char c : text) glyphs += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return static_cast<double>(glyphs) * kCharWidth;
}

// What a view shows: the world box that all columns share, fitted into a cell's drawing area.
struct Frame {
  Box area;
  double uCentre = 0, vCentre = 0, scale = 1;
  int u = 0, v = 1;
  Point map(const Vec3& p) const {
    return {(area.x0 + area.x1) / 2 + (p[u] - uCentre) * scale,
            (area.y0 + area.y1) / 2 - (p[v] - vCentre) * scale};
  }
};

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

using Meshes = std::vector<const MeshSnapshot*>;

Extent extentOf(const std::vector<const RigSnapshot*>& rigs, const Meshes& meshes, const View& view,
                bool everything) {
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
      const bool counts = everything || item.isBone() || item.type == ItemType::Object;
      if (!counts) continue;
      extent.add(item.origin[view.u], item.origin[view.v]);
      extent.add(item.tip[view.u], item.tip[view.v]);
    }
  }
  return extent;
}

Extent viewExtent(const std::vector<const RigSnapshot*>& rigs, const Meshes& meshes,
                  const View& view) {
  Extent extent = extentOf(rigs, meshes, view, false);
  if (extent.empty()) extent = extentOf(rigs, meshes, view, true);
  if (extent.empty()) extent.add(0, 0);
  return extent;
}

// The rig's largest extent along any axis.
double rigSpan(const std::vector<const RigSnapshot*>& rigs, const Meshes& meshes) {
  double span = 0;
  for (const View& view : kViews) {
    const Extent extent = viewExtent(rigs, meshes, view);
    span = std::max({span, extent.u1 - extent.u0, extent.v1 - extent.v0});
  }
  return span;
}

Frame fit(const std::vector<const RigSnapshot*>& rigs, const Meshes& meshes, const View& view,
          const Box& area) {
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

// Boxes filed under the 32-pixel squares they touch.
class Buckets {
public:
  void add(const Box& box) {
    const std::size_t index = boxes_.size();
    boxes_.push_back(box);
    for (long x = cell(box.x0); x <= cell(box.x1); ++x) {
      for (long y = cell(box.y0); y <= cell(box.y1); ++y) squares_[key(x, y)].push_back(index);
    }
  }
  const Box& operator[](std::size_t index) const { return boxes_[index]; }
  // Whether `test` holds for any box filed near `near`.
  template <typename Test>
  bool any(const Box& near, Test test) const {
    for (long x = cell(near.x0); x <= cell(near.x1); ++x) {
      for (long y = cell(near.y0); y <= cell(near.y1); ++y) {
        const auto found = squares_.find(key(x, y));
        if (found == squares_.end()) continue;
        for (std::size_t index : found->second) {
          if (test(index)) return true;
        }
      }
    }
    return false;
  }

private:
  // Boxes far off the picture (or not finite) share the outermost cells: converting such a
  // value to long would be undefined.
  static long cell(double v) {
    constexpr double kReach = 1e9;
    if (!(v > -kReach)) return static_cast<long>(-kReach / 32);
    if (v > kReach) return static_cast<long>(kReach / 32);
    return static_cast<long>(std::floor(v / 32));
  }
  static unsigned long long key(long x, long y) {
    return (static_cast<unsigned long long>(x) << 32) ^
           (static_cast<unsigned long long>(y) & 0xffffffffULL);
  }
  std::vector<Box> boxes_;
  std::unordered_map<unsigned long long, std::vector<std::size_t>> squares_;
};

// A label waiting for a place: tried at each candidate in turn, dropped if none is free.
struct Candidate {
  Point at;
  const char* anchor;  // "start", "middle", "end"
};
struct LabelRequest {
  std::string text;
  int tier = 0;       // lower is placed first
  double weight = 0;  // within a tier, larger is placed first
  bool bold = false;
  const char* fill = kInk;
  std::vector<Candidate> candidates;
};

Box labelBox(const Candidate& c, const std::string& text) {
  const double width = textWidth(text);
  const double x0 = c.anchor[0] == 's'   ? c.at.x
                    : c.anchor[0] == 'e' ? c.at.x - width
                                         : c.at.x - width / 2;
  return {x0 - 1, c.at.y - kLabelHeight / 2, x0 + width + 1, c.at.y + kLabelHeight / 2};
}

const char* anchorFor(double dx) { return dx > 0.35 ? "start" : dx < -0.35 ? "end" : "middle"; }

std::vector<Candidate> pointCandidates(Point p) {
  return {{{p.x + 7, p.y}, "start"},     {{p.x - 7, p.y}, "end"},       {{p.x, p.y - 10}, "middle"},
          {{p.x, p.y + 10}, "middle"},   {{p.x + 6, p.y - 8}, "start"}, {{p.x - 6, p.y - 8}, "end"},
          {{p.x + 6, p.y + 8}, "start"}, {{p.x - 6, p.y + 8}, "end"}};
}

// Beside the bone at a few places along it, on either side, then past its tip.
std::vector<Candidate> boneCandidates(Point a, Point b, double halfWidth) {
  const double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
  if (length < 2) return pointCandidates(a);
  const double ux = dx / length, uy = dy / length, nx = -uy, ny = ux;
  std::vector<Candidate> list;
  for (double t : {0.5, 0.75, 0.3, 0.95}) {
    for (double side : {1.0, -1.0}) {
      const double ox = nx * side, oy = ny * side, away = halfWidth + 4;
      const Point base{a.x + dx * t, a.y + dy * t};
      // Text above or below the bone needs to clear half its own height too.
      const double extra = std::abs(ox) <= 0.35 ? kLabelHeight / 2 : 0;
      list.push_back({{base.x + ox * away, base.y + oy * (away + extra)}, anchorFor(ox)});
    }
  }
  list.push_back({{b.x + ux * 5, b.y + uy * (5 + kLabelHeight / 2)}, anchorFor(ux)});
  return list;
}

class Picture {
public:
  Picture(double width, double height) : width_(width), height_(height) {}

  std::ostringstream body;

  std::string finish() const {
    std::ostringstream svg;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << num(width_) << "\" height=\""
        << num(height_) << "\" viewBox=\"0 0 " << num(width_) << " " << num(height_)
        << "\" font-family=\"DejaVu Sans Mono, monospace\">\n"
        << "<rect x=\"0\" y=\"0\" width=\"" << num(width_) << "\" height=\"" << num(height_)
        << "\" fill=\"#ffffff\"/>\n"
        << body.str() << "</svg>\n";
    return svg.str();
  }

  // A halo in the cell's colour keeps a name readable across the lines beneath it.
  void text(Point at, const std::string& content, double size, const char* anchor = "start",
            bool bold = false, const char* fill = kInk, bool halo = false) {
    body << "<text x=\"" << num(at.x) << "\" y=\"" << num(at.y) << "\" font-size=\"" << num(size)
         << "\"";
    if (anchor[0] != 's') body << " text-anchor=\"" << anchor << "\"";
    if (bold) body << " font-weight=\"bold\"";
    if (halo) body << " stroke=\"#f8f8f5\" stroke-width=\"2.5\" paint-order=\"stroke\"";
    body << " fill=\"" << fill << "\">" << escape(content) << "</text>\n";
  }

private:
  double width_, height_;
};

std::string polygonPoints(const std::vector<Point>& points) {
  std::string text;
  for (const Point& p : points) text += (text.empty() ? "" : " ") + num(p.x) + "," + num(p.y);
  return text;
}

// The tapered outline of a bone on screen; a single point when it is seen end on.
std::vector<Point> boneShape(Point a, Point b, double* halfWidth) {
  const double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
  *halfWidth = std::clamp(length * 0.12, 1.5, 7.0);
  if (length < 2) return {a};
  const double nx = -dy / length * *halfWidth, ny = dx / length * *halfWidth;
  const Point waist{a.x + dx * 0.18, a.y + dy * 0.18};
  return {a, {waist.x + nx, waist.y + ny}, b, {waist.x - nx, waist.y - ny}};
}

// Marks for non-bones: a square for objects, a diamond for lights, a triangle for cameras.
std::vector<Point> markShape(ItemType type, Point p) {
  const double r = 4;
  switch (type) {
    case ItemType::Light:
      return {{p.x, p.y - r - 1}, {p.x + r + 1, p.y}, {p.x, p.y + r + 1}, {p.x - r - 1, p.y}};
    case ItemType::Camera:
      return {{p.x, p.y - r - 1}, {p.x + r + 1, p.y + r}, {p.x - r - 1, p.y + r}};
    default:
      return {{p.x - r, p.y - r}, {p.x + r, p.y - r}, {p.x + r, p.y + r}, {p.x - r, p.y + r}};
  }
}

const char* markFill(ItemType type) {
  return type == ItemType::Light ? "#f2c200" : type == ItemType::Camera ? "#555555" : "#7a7a7a";
}

using Kinds = std::unordered_map<ItemId, Kind>;

Kinds kindsOf(const RigChanges& changes) {
  Kinds kinds;
  // Later lines win: an added bone is shown as added even if it also counts as moved.
  for (const RestChanged& item : changes.restChanged) kinds[item.id] = Kind::Rest;
  for (const Reparented& item : changes.reparented) kinds[item.id] = Kind::Reparented;
  for (const Moved& item : changes.moved) kinds[item.id] = Kind::Moved;
  for (const Removed& item : changes.removed) kinds[item.id] = Kind::Removed;
  for (const Added& item : changes.added) kinds[item.id] = Kind::Added;
  return kinds;
}

Kind kindOf(const Kinds& kinds, ItemId id) {
  const auto found = kinds.find(id);
  return found == kinds.end() ? Kind::Plain : found->second;
}

// A length near a fifth of the area's width, rounded to 1, 2 or 5 times a power of ten.
double niceLength(double worldWidth) {
  const double raw = worldWidth / 5;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double step : {1.0, 2.0, 5.0}) {
    if (step * power >= raw * 0.7) return step * power;
  }
  return 10 * power;
}

struct CellInput {
  Box cell;
  const View* view;
  Frame frame;
  const RigSnapshot* rig;
  const RigSnapshot* ghostsOf = nullptr;  // the rig before the run, in the "after" column
  const Kinds* kinds;
  const MeshSnapshot* meshes = nullptr;
  const std::vector<PointMoves>* moves = nullptr;  // mesh points the run moved
};

// A coordinate with at most one decimal and no ".0": mesh paths hold thousands of them.
std::string shortNum(double value) {
  std::string text = num(value);
  if (text.size() > 2 && text.compare(text.size() - 2, 2, ".0") == 0) text.resize(text.size() - 2);
  return text == "-0" ? "0" : text;
}

std::string dotPath(const std::vector<Pixel>& dots) {
  std::string d;
  for (const Pixel& p : dots) d += "M" + shortNum(p.x) + " " + shortNum(p.y) + "h0";
  return d;
}

std::string countText(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Each mesh as one path of its edges and one of its loose points, and the points the run
// moved as dots on top; all under the bones.
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
      std::string d;
      for (std::size_t polygon = 0; polygon < mesh.mesh->polygonCount(); ++polygon) {
        const std::uint32_t begin = mesh.mesh->polygonStart[polygon];
        const std::uint32_t end = mesh.mesh->polygonStart[polygon + 1];
        if (mesh.mesh->polygonKinds[polygon] == standin::PolygonKind::Other || end - begin < 3)
          continue;
        bool finite = true;
        std::vector<Pixel> outline;
        double area = 0;
        for (std::uint32_t k = begin; k < end && finite; ++k) {
          const std::uint32_t point = mesh.mesh->polygonPoints[k];
          finite = point < screen.size() && std::isfinite(screen[point].x) &&
                   std::isfinite(screen[point].y);
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
    if (!in.moves) continue;
    for (const PointMoves& moved : *in.moves) {
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
  picture.body << "</g>\n";
}

void drawShape(Picture& picture, const std::vector<Point>& shape, const char* fill,
               const char* stroke, const std::string& extra, const std::string& title,
               const char* cls) {
  if (shape.size() == 1) {
    picture.body << "<circle class=\"" << cls << "\" cx=\"" << num(shape[0].x) << "\" cy=\""
                 << num(shape[0].y) << "\" r=\"2.5\" fill=\"" << fill << "\" stroke=\"" << stroke
                 << "\"" << extra << ">";
  } else {
    picture.body << "<polygon class=\"" << cls << "\" points=\"" << polygonPoints(shape)
                 << "\" fill=\"" << fill << "\" stroke=\"" << stroke << "\"" << extra << ">";
  }
  picture.body << "<title>" << escape(title) << "</title>"
               << (shape.size() == 1 ? "</circle>\n" : "</polygon>\n");
}

void drawCell(Picture& picture, const CellInput& in) {
  const Frame& frame = in.frame;
  const Box& area = frame.area;
  picture.body << "<rect x=\"" << num(in.cell.x0) << "\" y=\"" << num(in.cell.y0) << "\" width=\""
               << num(in.cell.x1 - in.cell.x0) << "\" height=\"" << num(in.cell.y1 - in.cell.y0)
               << "\" fill=\"#f8f8f5\" stroke=\"#c8c8c8\"/>\n";

  // Items out of the area (a far camera) are pinned to its edge and say so.
  const Box inner{area.x0 + 4, area.y0 + 4, area.x1 - 4, area.y1 - 4};
  drawMeshes(picture, in, inner);
  auto place = [&](const Vec3& p, bool* off) {
    Point q = frame.map(p);
    const Point pinned{std::clamp(q.x, inner.x0, inner.x1), std::clamp(q.y, inner.y0, inner.y1)};
    if (off) *off = pinned.x != q.x || pinned.y != q.y;
    return pinned;
  };

  // Links from parent to child where the child does not start at the parent's tip. Those
  // of re-parented items go on top, in their colour, to show the new hierarchy.
  std::ostringstream reparentedLinks;
  picture.body << "<g stroke=\"#b0b0b0\" stroke-width=\"0.8\" stroke-dasharray=\"2 2\">\n";
  for (const RigItem& item : in.rig->items) {
    const RigItem* parent = in.rig->find(item.parent);
    if (!parent) continue;
    const Point child = place(item.origin, nullptr);
    const Point fromOrigin = place(parent->origin, nullptr), fromTip = place(parent->tip, nullptr);
    const double toOrigin = distancePx(child, fromOrigin), toTip = distancePx(child, fromTip);
    const Point from = toTip <= toOrigin ? fromTip : fromOrigin;
    if (std::min(toOrigin, toTip) < 1.5) continue;
    const bool reparented = kindOf(*in.kinds, item.id) == Kind::Reparented;
    (reparented ? static_cast<std::ostream&>(reparentedLinks) : picture.body)
        << "<line x1=\"" << num(from.x) << "\" y1=\"" << num(from.y) << "\" x2=\"" << num(child.x)
        << "\" y2=\"" << num(child.y) << "\"/>\n";
  }
  picture.body << "</g>\n";

  // Where moved and removed items were before the run: dashed outlines.
  if (in.ghostsOf) {
    for (const RigItem& item : in.ghostsOf->items) {
      const Kind kind = kindOf(*in.kinds, item.id);
      const RigItem* now = in.rig->find(item.id);
      // A move too small to see in this view would only blur the shape.
      const bool visible =
          now && std::max(distancePx(frame.map(now->origin), frame.map(item.origin)),
                          distancePx(frame.map(now->tip), frame.map(item.tip))) > 0.5;
      if (kind != Kind::Removed && !(kind == Kind::Moved && visible)) continue;
      double halfWidth = 0;
      const std::vector<Point> shape =
          item.isBone()
              ? boneShape(place(item.origin, nullptr), place(item.tip, nullptr), &halfWidth)
              : markShape(item.type, place(item.origin, nullptr));
      drawShape(picture, shape, "none", styleOf(kind).fill,
                " stroke-width=\"1\" stroke-dasharray=\"3 2\"", item.name + " (before the run)",
                "ghost");
    }
  }

  // Selected items first get a halo, then shapes: plain ones below the changed ones.
  std::vector<const RigItem*> order;
  for (const RigItem& item : in.rig->items) order.push_back(&item);
  std::stable_sort(order.begin(), order.end(), [&](const RigItem* a, const RigItem* b) {
    return (kindOf(*in.kinds, a->id) != Kind::Plain) < (kindOf(*in.kinds, b->id) != Kind::Plain);
  });
  std::vector<LabelRequest> labels;
  std::vector<Box> marks;  // labels never cover these
  struct Segment {
    Point a, b;
    double halfWidth;
  };
  std::vector<Segment> bones;  // labels avoid these when they can
  for (int pass = 0; pass < 2; ++pass) {
    for (const RigItem* item : order) {
      const Kind kind = kindOf(*in.kinds, item->id);
      const Style style = styleOf(kind);
      bool off = false;
      const Point a = place(item->origin, &off);
      double halfWidth = 0;
      std::vector<Point> shape;
      if (item->isBone()) {
        shape = boneShape(a, place(item->tip, nullptr), &halfWidth);
      } else {
        shape = markShape(item->type, a);
      }
      if (pass == 0) {
        if (item->selected) {
          drawShape(picture, shape, colour::kSelected, colour::kSelected,
                    " stroke-width=\"5\" stroke-linejoin=\"round\"", item->name + " (selected)",
                    "selected");
        }
        continue;
      }
      const char* fill = item->isBone() || kind != Kind::Plain ? style.fill : markFill(item->type);
      std::string extra = " stroke-width=\"0.8\"";
      if (off) {
        fill = "#ffffff";
      } else if (item->isBone() && !item->active) {
        extra += " fill-opacity=\"0.35\"";
      }
      const char* cls = item->isBone() ? "bone" : "item";
      drawShape(picture, shape, fill, style.stroke, extra, item->name, cls);
      if (item->isBone() && shape.size() > 1) {
        picture.body << "<circle cx=\"" << num(a.x) << "\" cy=\"" << num(a.y)
                     << "\" r=\"1.6\" fill=\"" << style.stroke << "\"/>\n";
        bones.push_back({a, shape[2], halfWidth});
      } else {
        const double r = item->isBone() ? 3 : 5;
        marks.push_back({a.x - r, a.y - r, a.x + r, a.y + r});
      }

      LabelRequest label;
      label.text = off ? item->name + " (off view)" : item->name;
      label.bold = item->selected;
      label.fill = kind == Kind::Plain ? kInk : style.stroke;
      label.tier = item->selected ? 0 : kind != Kind::Plain ? 1 : !item->isBone() ? 2 : 3;
      if (off) label.tier = 4;
      if (item->isBone() && shape.size() > 1) {
        const Point b = shape[2];
        label.weight = std::hypot(b.x - a.x, b.y - a.y);
        label.candidates = boneCandidates(a, b, halfWidth);
      } else {
        label.candidates = pointCandidates(a);
      }
      labels.push_back(std::move(label));
    }
  }

  if (!reparentedLinks.str().empty()) {
    picture.body << "<g stroke=\"" << styleOf(Kind::Reparented).stroke
                 << "\" stroke-width=\"1.2\" stroke-dasharray=\"3 2\">\n"
                 << reparentedLinks.str() << "</g>\n";
  }

  // Greedy placement: the most telling names first; a name with no free spot is left to
  // its shape's <title>.
  std::stable_sort(labels.begin(), labels.end(), [](const LabelRequest& a, const LabelRequest& b) {
    return a.tier != b.tier ? a.tier < b.tier : a.weight > b.weight;
  });
  // Names and marks taken so far, and the bones, in buckets: a label is tested only
  // against what lies near it, so that a rig of many bones is drawn in linear time.
  Buckets taken;
  for (const Box& mark : marks) taken.add(mark);
  Buckets boneBuckets;
  for (const Segment& bone : bones) {
    boneBuckets.add({std::min(bone.a.x, bone.b.x) - bone.halfWidth,
                     std::min(bone.a.y, bone.b.y) - bone.halfWidth,
                     std::max(bone.a.x, bone.b.x) + bone.halfWidth,
                     std::max(bone.a.y, bone.b.y) + bone.halfWidth});
  }
  auto crossesBone = [&](const Box& box) {
    return boneBuckets.any(box, [&](std::size_t i) {
      const Segment& bone = bones[i];
      const double grow = bone.halfWidth * 0.6;
      return segmentHitsBox(bone.a, bone.b,
                            {box.x0 - grow, box.y0 - grow, box.x1 + grow, box.y1 + grow});
    });
  };
  int hidden = 0;
  // A view holds a few hundred names at most: after that many misses in a row the
  // plain bones' names are not tried any more, which keeps a huge rig quick to draw.
  constexpr int kMissesBeforeGivingUp = 400;
  int misses = 0;
  for (const LabelRequest& label : labels) {
    if (label.tier >= 3 && misses >= kMissesBeforeGivingUp) {
      ++hidden;
      continue;
    }
    bool placed = false;
    // First a spot clear of bones too; failing that, for the names that matter most, one
    // that only crosses bones.
    const int lastTry = label.tier <= 2 ? 0 : 1;
    for (int strict = 1; strict >= lastTry && !placed; --strict) {
      for (const Candidate& candidate : label.candidates) {
        const Box box = labelBox(candidate, label.text);
        if (!box.within(area)) continue;
        const bool free = !taken.any(box, [&](std::size_t i) { return taken[i].overlaps(box); });
        if (!free || (strict && crossesBone(box))) continue;
        taken.add(box);
        picture.text({candidate.at.x, candidate.at.y + kFont * 0.35}, label.text, kFont,
                     candidate.anchor, label.bold, label.fill, true);
        placed = true;
        break;
      }
    }
    hidden += !placed;
    misses = placed ? 0 : misses + 1;
  }

  std::string caption = std::string(in.view->name) + "  (" + in.view->axes + ")";
  if (hidden > 0) {
    caption += "  -  " + std::to_string(hidden) + (hidden == 1 ? " name" : " names") + " not shown";
  }
  picture.text({in.cell.x0 + 8, in.cell.y0 + 14}, caption, 10, "start", false, "#555555");

  // A scale bar, bottom left.
  const double length = niceLength((area.x1 - area.x0) / frame.scale);
  const double pixels = length * frame.scale;
  const double y = in.cell.y1 - 10, x = in.cell.x0 + 10;
  picture.body << "<path d=\"M" << num(x) << "," << num(y - 3) << " v3 h" << num(pixels)
               << " v-3\" fill=\"none\" stroke=\"#555555\"/>\n";
  char text[32];
  std::snprintf(text, sizeof text, "%g m", length);
  picture.text({x + pixels + 5, y + 1}, text, kFont, "start", false, "#555555");
}

constexpr int kLegendBone = -1;
constexpr int kLegendMesh = -2;
constexpr int kLegendMovedPoint = -3;

struct LegendEntry {
  std::string text;
  const char* fill;
  const char* stroke;
  std::string extra;
  int shape;  // kLegendBone, else an ItemType value for a mark
};

double drawLegend(Picture& picture, const std::vector<LegendEntry>& entries, double x0, double y0,
                  double width, bool draw) {
  double x = x0, y = y0 + 12;
  for (const LegendEntry& entry : entries) {
    const double w = 30 + textWidth(entry.text) + 18;
    if (x + w > x0 + width && x > x0) {
      x = x0;
      y += kLegendRow;
    }
    if (draw) {
      std::vector<Point> shape;
      double halfWidth = 0;
      if (entry.shape == kLegendMesh || entry.shape == kLegendMovedPoint) {
        // A little wireframe, or three dots.
        const bool mesh = entry.shape == kLegendMesh;
        const std::string d = mesh ? "M" + num(x) + " " + num(y - 5) + "h12v10h-12zM" +
                                         num(x + 12) + " " + num(y - 5) + "h12v10h-12zM" + num(x) +
                                         " " + num(y + 5) + "L" + num(x + 12) + " " + num(y - 5)
                                   : dotPath({{x + 4, y}, {x + 12, y - 3}, {x + 20, y + 2}});
        picture.body << "<path class=\"legend\" d=\"" << d << "\" fill=\"none\" stroke=\""
                     << entry.stroke << "\"" << entry.extra << "><title>" << escape(entry.text)
                     << "</title></path>\n";
        picture.text({x + 30, y + kFont * 0.35}, entry.text, kFont);
        x += w;
        continue;
      }
      if (entry.shape == kLegendBone) {
        shape = boneShape({x, y}, {x + 24, y}, &halfWidth);
      } else {
        shape = markShape(static_cast<ItemType>(entry.shape), {x + 12, y});
      }
      drawShape(picture, shape, entry.fill, entry.stroke, entry.extra, entry.text, "legend");
      picture.text({x + 30, y + kFont * 0.35}, entry.text, kFont);
    }
    x += w;
  }
  return y + kLegendRow / 2 - y0;
}

std::vector<LegendEntry> legendFor(bool run, bool meshes) {
  std::vector<LegendEntry> entries;
  const Style plain = styleOf(Kind::Plain);
  entries.push_back({run ? "unchanged bone" : "bone", plain.fill, plain.stroke, "", kLegendBone});
  if (run) {
    for (Kind kind : {Kind::Added, Kind::Removed, Kind::Moved, Kind::Reparented, Kind::Rest}) {
      const Style style = styleOf(kind);
      entries.push_back({style.legend, style.fill, style.stroke, "", kLegendBone});
    }
    entries.push_back({"before the run (after column)", "none", colour::kMoved,
                       " stroke-dasharray=\"3 2\"", kLegendBone});
  }
  entries.push_back({"selected", colour::kSelected, colour::kSelected,
                     " stroke-width=\"4\" stroke-linejoin=\"round\"", kLegendBone});
  entries.push_back(
      {"object", markFill(ItemType::Object), plain.stroke, "", static_cast<int>(ItemType::Object)});
  entries.push_back(
      {"light", markFill(ItemType::Light), "#7a6200", "", static_cast<int>(ItemType::Light)});
  entries.push_back(
      {"camera", markFill(ItemType::Camera), "#333333", "", static_cast<int>(ItemType::Camera)});
  if (meshes) {
    entries.push_back({"mesh", "none", colour::kMesh, " stroke-width=\"0.9\"", kLegendMesh});
    if (run) {
      entries.push_back({"mesh point moved", "none", colour::kPointMoved,
                         " stroke-width=\"3\" stroke-linecap=\"round\"", kLegendMovedPoint});
    }
  }
  return entries;
}

std::string draw(const std::vector<const RigSnapshot*>& rigs, const Meshes& meshes,
                 const RigChanges* changes, const std::string& title) {
  const bool run = changes != nullptr;
  bool anyMesh = false;
  for (const MeshSnapshot* snapshot : meshes) anyMesh = anyMesh || !snapshot->empty();
  // Marked in both columns: where the points were and where the run put them.
  const std::vector<PointMoves> moves =
      run ? pointMoves(*meshes[0], *meshes[1], changes->tolerance) : std::vector<PointMoves>{};
  const int columns = run ? 2 : 3;
  const int rows = run ? 3 : 1;
  const double width = 2 * kMargin + columns * kCellWidth + (columns - 1) * kGap;
  const std::vector<LegendEntry> legend = legendFor(run, anyMesh);
  Picture measure(0, 0);
  const double legendSize = drawLegend(measure, legend, kMargin, 0, width - 2 * kMargin, false);
  const double top = kMargin + kTitleHeight + (run ? kColumnHeading : 0);
  const double gridHeight = rows * kCellHeight + (rows - 1) * kGap;
  const double height = top + gridHeight + kGap + legendSize + kMargin;

  Picture picture(width, height);
  char time[48];
  std::snprintf(time, sizeof time, "time %g s", rigs.back()->time);
  picture.text({kMargin, kMargin + 14}, title, 14, "start", true);
  picture.text({width - kMargin, kMargin + 14}, time, 11, "end", false, "#555555");

  const Kinds kinds = changes ? kindsOf(*changes) : Kinds{};
  for (std::size_t view = 0; view < 3; ++view) {
    for (std::size_t state = 0; state < rigs.size(); ++state) {
      const double column = run ? static_cast<double>(state) : static_cast<double>(view);
      const double row = run ? static_cast<double>(view) : 0;
      const Box cell{kMargin + column * (kCellWidth + kGap), top + row * (kCellHeight + kGap),
                     kMargin + column * (kCellWidth + kGap) + kCellWidth,
                     top + row * (kCellHeight + kGap) + kCellHeight};
      const Box area{cell.x0 + kInset, cell.y0 + kCaption, cell.x1 - kInset, cell.y1 - kFooter};
      CellInput in{cell,
                   &kViews[view],
                   fit(rigs, meshes, kViews[view], area),
                   rigs[state],
                   run && state == 1 ? rigs[0] : nullptr,
                   &kinds,
                   meshes[state],
                   run ? &moves : nullptr};
      drawCell(picture, in);
      if (run && view == 0) {
        picture.text({cell.x0 + kCellWidth / 2, top - 6}, state == 0 ? "before" : "after", 12,
                     "middle", true);
      }
    }
  }
  drawLegend(picture, legend, kMargin, top + gridHeight + kGap, width - 2 * kMargin, true);
  return picture.finish();
}

}  // namespace

std::string rigSvg(const RigSnapshot& rig, const std::string& title, const MeshSnapshot& meshes) {
  return draw({&rig}, {&meshes}, nullptr, title);
}

std::string rigSvg(const RigSnapshot& before, const RigSnapshot& after, const RigChanges& changes,
                   const std::string& title, const MeshSnapshot& meshesBefore,
                   const MeshSnapshot& meshesAfter) {
  return draw({&before, &after}, {&meshesBefore, &meshesAfter}, &changes, title);
}

}  // namespace runner
