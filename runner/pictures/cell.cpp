#include "runner/pictures/cell.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>

#include "runner/pictures/labels.h"
#include "runner/pictures/palette.h"

namespace runner::svg {

namespace {

// Screen places in a cell. Items out of the area (a far camera) are pinned to its edge and
// say so.
class Placer {
public:
  explicit Placer(const Frame& frame)
      : frame_(frame),
        inner_{frame.area.x0 + 4, frame.area.y0 + 4, frame.area.x1 - 4, frame.area.y1 - 4} {}

  const Box& inner() const { return inner_; }
  Point operator()(const standin::Vec3& p, bool* off = nullptr) const {
    const Point q = frame_.map(p);
    const Point pinned{std::clamp(q.x, inner_.x0, inner_.x1),
                       std::clamp(q.y, inner_.y0, inner_.y1)};
    if (off) *off = pinned.x != q.x || pinned.y != q.y;
    return pinned;
  }

private:
  const Frame& frame_;
  Box inner_;
};

void drawBackground(Picture& picture, const Box& cell) {
  picture.body << "<rect x=\"" << num(cell.x0) << "\" y=\"" << num(cell.y0) << "\" width=\""
               << num(cell.x1 - cell.x0) << "\" height=\"" << num(cell.y1 - cell.y0) << "\" fill=\""
               << colour::kCell << "\" stroke=\"" << colour::kCellBorder << "\"/>\n";
}

// Links from parent to child where the child does not start at the parent's tip. Those of
// re-parented items are returned, to go on top in their colour and show the new hierarchy.
std::string drawLinks(Picture& picture, const CellInput& in, const Placer& place) {
  std::ostringstream reparentedLinks;
  picture.body << "<g stroke=\"" << colour::kLink
               << "\" stroke-width=\"0.8\" stroke-dasharray=\"2 2\">\n";
  for (const RigItem& item : in.rig->items) {
    const RigItem* parent = in.rig->find(item.parent);
    if (!parent) continue;
    const Point child = place(item.origin);
    const Point fromOrigin = place(parent->origin), fromTip = place(parent->tip);
    const double toOrigin = distancePx(child, fromOrigin), toTip = distancePx(child, fromTip);
    const Point from = toTip <= toOrigin ? fromTip : fromOrigin;
    if (std::min(toOrigin, toTip) < 1.5) continue;
    const bool reparented = kindOf(*in.kinds, item.id) == Kind::Reparented;
    (reparented ? static_cast<std::ostream&>(reparentedLinks) : picture.body)
        << "<line x1=\"" << num(from.x) << "\" y1=\"" << num(from.y) << "\" x2=\"" << num(child.x)
        << "\" y2=\"" << num(child.y) << "\"/>\n";
  }
  picture.body << "</g>\n";
  return reparentedLinks.str();
}

void drawReparentedLinks(Picture& picture, const std::string& links) {
  if (links.empty()) return;
  picture.body << "<g stroke=\"" << styleOf(Kind::Reparented).stroke
               << "\" stroke-width=\"1.2\" stroke-dasharray=\"3 2\">\n"
               << links << "</g>\n";
}

// Where moved and removed items were before the run: dashed outlines.
void drawGhosts(Picture& picture, const CellInput& in, const Placer& place) {
  if (!in.ghostsOf) return;
  const Frame& frame = in.frame;
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
        item.isBone() ? boneShape(place(item.origin), place(item.tip), &halfWidth)
                      : markShape(item.type, place(item.origin));
    drawShape(picture, shape, "none", styleOf(kind).fill,
              " stroke-width=\"1\" stroke-dasharray=\"3 2\"", item.name + " (before the run)",
              "ghost");
  }
}

// What the items leave for the names: a label request each, the marks no label may cover
// and the bones that labels avoid when they can.
struct Drawn {
  std::vector<LabelRequest> labels;
  std::vector<Box> marks;
  std::vector<BoneSegment> bones;
};

// Selected items first get a halo, then shapes: plain ones below the changed ones.
Drawn drawItems(Picture& picture, const CellInput& in, const Placer& place) {
  std::vector<const RigItem*> order;
  for (const RigItem& item : in.rig->items) order.push_back(&item);
  std::stable_sort(order.begin(), order.end(), [&](const RigItem* a, const RigItem* b) {
    return (kindOf(*in.kinds, a->id) != Kind::Plain) < (kindOf(*in.kinds, b->id) != Kind::Plain);
  });
  Drawn drawn;
  for (int pass = 0; pass < 2; ++pass) {
    for (const RigItem* item : order) {
      const Kind kind = kindOf(*in.kinds, item->id);
      const Style style = styleOf(kind);
      bool off = false;
      const Point a = place(item->origin, &off);
      double halfWidth = 0;
      std::vector<Point> shape;
      if (item->isBone()) {
        shape = boneShape(a, place(item->tip), &halfWidth);
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
        fill = colour::kPage;
      } else if (item->isBone() && !item->active) {
        extra += " fill-opacity=\"0.35\"";
      }
      const char* cls = item->isBone() ? "bone" : "item";
      drawShape(picture, shape, fill, style.stroke, extra, item->name, cls);
      if (item->isBone() && shape.size() > 1) {
        picture.body << "<circle cx=\"" << num(a.x) << "\" cy=\"" << num(a.y)
                     << "\" r=\"1.6\" fill=\"" << style.stroke << "\"/>\n";
        drawn.bones.push_back({a, shape[2], halfWidth});
      } else {
        const double r = item->isBone() ? 3 : 5;
        drawn.marks.push_back({a.x - r, a.y - r, a.x + r, a.y + r});
      }

      LabelRequest label;
      label.text = off ? item->name + " (off view)" : item->name;
      label.bold = item->selected;
      label.fill = kind == Kind::Plain ? colour::kInk : style.stroke;
      label.tier = item->selected ? 0 : kind != Kind::Plain ? 1 : !item->isBone() ? 2 : 3;
      if (off) label.tier = 4;
      if (item->isBone() && shape.size() > 1) {
        const Point b = shape[2];
        label.weight = std::hypot(b.x - a.x, b.y - a.y);
        label.candidates = boneCandidates(a, b, halfWidth);
      } else {
        label.candidates = pointCandidates(a);
      }
      drawn.labels.push_back(std::move(label));
    }
  }
  return drawn;
}

// The view's name and axes, and how many names did not fit.
void drawCaption(Picture& picture, const CellInput& in, int hidden) {
  std::string caption = std::string(in.view->name) + "  (" + in.view->axes + ")";
  if (hidden > 0) {
    caption += "  -  " + std::to_string(hidden) + (hidden == 1 ? " name" : " names") + " not shown";
  }
  picture.text({in.cell.x0 + 8, in.cell.y0 + 14}, caption, 10, "start", false, colour::kQuietInk);
}

// A scale bar, bottom left.
void drawScaleBar(Picture& picture, const CellInput& in) {
  const Box& area = in.frame.area;
  const double length = niceLength((area.x1 - area.x0) / in.frame.scale);
  const double pixels = length * in.frame.scale;
  const double y = in.cell.y1 - 10, x = in.cell.x0 + 10;
  picture.body << "<path d=\"M" << num(x) << "," << num(y - 3) << " v3 h" << num(pixels)
               << " v-3\" fill=\"none\" stroke=\"" << colour::kQuietInk << "\"/>\n";
  char text[32];
  std::snprintf(text, sizeof text, "%g m", length);
  picture.text({x + pixels + 5, y + 1}, text, kFont, "start", false, colour::kQuietInk);
}

}  // namespace

void drawCell(Picture& picture, const CellInput& in) {
  const Placer place(in.frame);
  drawBackground(picture, in.cell);
  drawMeshes(picture, in, place.inner());
  const std::string reparentedLinks = drawLinks(picture, in, place);
  drawGhosts(picture, in, place);
  Drawn drawn = drawItems(picture, in, place);
  drawReparentedLinks(picture, reparentedLinks);
  const int hidden =
      placeLabels(picture, std::move(drawn.labels), drawn.marks, drawn.bones, in.frame.area);
  drawCaption(picture, in, hidden);
  drawScaleBar(picture, in);
}

}  // namespace runner::svg
