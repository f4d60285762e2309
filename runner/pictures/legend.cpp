#include "runner/pictures/legend.h"

#include "runner/pictures/palette.h"
#include "runner/pictures/rig_shapes.h"

namespace runner::svg {

namespace {

using standin::ItemType;

constexpr double kLegendRow = 22;

// Lays the entries out in rows, drawing them when `picture` is given; returns the height.
double layOut(Picture* picture, const std::vector<LegendEntry>& entries, double x0, double y0,
              double width) {
  double x = x0, y = y0 + 12;
  for (const LegendEntry& entry : entries) {
    const double w = 30 + textWidth(entry.text) + 18;
    if (x + w > x0 + width && x > x0) {
      x = x0;
      y += kLegendRow;
    }
    if (picture) {
      std::vector<Point> shape;
      double halfWidth = 0;
      if (entry.shape == kLegendMesh || entry.shape == kLegendMovedPoint) {
        // A little wireframe, or three dots.
        const bool mesh = entry.shape == kLegendMesh;
        const std::string d = mesh ? "M" + num(x) + " " + num(y - 5) + "h12v10h-12zM" +
                                         num(x + 12) + " " + num(y - 5) + "h12v10h-12zM" + num(x) +
                                         " " + num(y + 5) + "L" + num(x + 12) + " " + num(y - 5)
                                   : dotPath({{x + 4, y}, {x + 12, y - 3}, {x + 20, y + 2}});
        picture->body << "<path class=\"legend\" d=\"" << d << "\" fill=\"none\" stroke=\""
                      << entry.stroke << "\"" << entry.extra << "><title>" << escape(entry.text)
                      << "</title></path>\n";
        picture->text({x + 30, y + kFont * 0.35}, entry.text, kFont);
        x += w;
        continue;
      }
      if (entry.shape == kLegendBone) {
        shape = boneShape({x, y}, {x + 24, y}, &halfWidth);
      } else {
        shape = markShape(static_cast<ItemType>(entry.shape), {x + 12, y});
      }
      drawShape(*picture, shape, entry.fill, entry.stroke, entry.extra, entry.text, "legend");
      picture->text({x + 30, y + kFont * 0.35}, entry.text, kFont);
    }
    x += w;
  }
  return y + kLegendRow / 2 - y0;
}

}  // namespace

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
  entries.push_back({"light", markFill(ItemType::Light), colour::kLightStroke, "",
                     static_cast<int>(ItemType::Light)});
  entries.push_back({"camera", markFill(ItemType::Camera), colour::kCameraStroke, "",
                     static_cast<int>(ItemType::Camera)});
  if (meshes) {
    entries.push_back({"mesh", "none", colour::kMesh, " stroke-width=\"0.9\"", kLegendMesh});
    if (run) {
      entries.push_back({"mesh point moved", "none", colour::kPointMoved,
                         " stroke-width=\"3\" stroke-linecap=\"round\"", kLegendMovedPoint});
    }
  }
  return entries;
}

double legendHeight(const std::vector<LegendEntry>& entries, double x0, double width) {
  return layOut(nullptr, entries, x0, 0, width);
}

void drawLegend(Picture& picture, const std::vector<LegendEntry>& entries, double x0, double y0,
                double width) {
  layOut(&picture, entries, x0, y0, width);
}

}  // namespace runner::svg
