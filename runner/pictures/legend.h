// The legend under a picture: what its colours and shapes mean, in rows across the page.
#pragma once

#include <string>
#include <vector>

#include "runner/pictures/svg_document.h"

namespace runner::svg {

struct LegendEntry {
  std::string text;
  const char* fill;
  const char* stroke;
  std::string extra;
  int shape;  // kLegendBone, kLegendMesh, kLegendMovedPoint, else an ItemType value for a mark
};
constexpr int kLegendBone = -1;
constexpr int kLegendMesh = -2;
constexpr int kLegendMovedPoint = -3;

// The entries for a picture of the rig, or of a run (`run`), with or without meshes.
std::vector<LegendEntry> legendFor(bool run, bool meshes);

// The height the entries take in rows `width` wide from x0 (as drawLegend lays them out).
double legendHeight(const std::vector<LegendEntry>& entries, double x0, double width);

// The entries in rows `width` wide from (x0, y0).
void drawLegend(Picture& picture, const std::vector<LegendEntry>& entries, double x0, double y0,
                double width);

}  // namespace runner::svg
