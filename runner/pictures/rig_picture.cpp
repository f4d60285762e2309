#include "runner/pictures/rig_picture.h"

#include <cstdio>
#include <vector>

#include "runner/pictures/cell.h"
#include "runner/pictures/legend.h"
#include "runner/pictures/rig_shapes.h"
#include "runner/pictures/svg_document.h"
#include "runner/pictures/view_frame.h"

namespace runner {

namespace {

using svg::Box;
using svg::Picture;

// Sizes in pixels.
constexpr double kCellWidth = 480, kCellHeight = 360, kGap = 16, kMargin = 16;
constexpr double kTitleHeight = 30, kColumnHeading = 20;
constexpr double kCaption = 20, kInset = 12, kFooter = 22;

// One rig in a row of three views, or before and after a run in two columns of three.
std::string draw(const svg::Rigs& rigs, const svg::Meshes& meshes, const RigChanges* changes,
                 const std::string& title) {
  const bool run = changes != nullptr;
  bool anyMesh = false;
  for (const MeshSnapshot* snapshot : meshes) anyMesh = anyMesh || !snapshot->empty();
  // Marked in both columns: where the points were and where the run put them.
  const std::vector<PointMoves> moves =
      run ? pointMoves(*meshes[0], *meshes[1], changes->tolerance) : std::vector<PointMoves>{};
  const int columns = run ? 2 : 3;
  const int rows = run ? 3 : 1;
  const double width = 2 * kMargin + columns * kCellWidth + (columns - 1) * kGap;
  const std::vector<svg::LegendEntry> legend = svg::legendFor(run, anyMesh);
  const double legendSize = svg::legendHeight(legend, kMargin, width - 2 * kMargin);
  const double top = kMargin + kTitleHeight + (run ? kColumnHeading : 0);
  const double gridHeight = rows * kCellHeight + (rows - 1) * kGap;
  const double height = top + gridHeight + kGap + legendSize + kMargin;

  Picture picture(width, height);
  char time[48];
  std::snprintf(time, sizeof time, "time %g s", rigs.back()->time);
  picture.text({kMargin, kMargin + 14}, title, 14, "start", true);
  picture.text({width - kMargin, kMargin + 14}, time, 11, "end", false, colour::kQuietInk);

  const svg::Kinds kinds = changes ? svg::kindsOf(*changes) : svg::Kinds{};
  for (std::size_t view = 0; view < 3; ++view) {
    for (std::size_t state = 0; state < rigs.size(); ++state) {
      const double column = run ? static_cast<double>(state) : static_cast<double>(view);
      const double row = run ? static_cast<double>(view) : 0;
      const Box cell{kMargin + column * (kCellWidth + kGap), top + row * (kCellHeight + kGap),
                     kMargin + column * (kCellWidth + kGap) + kCellWidth,
                     top + row * (kCellHeight + kGap) + kCellHeight};
      const Box area{cell.x0 + kInset, cell.y0 + kCaption, cell.x1 - kInset, cell.y1 - kFooter};
      svg::CellInput in{cell,
                        &svg::kViews[view],
                        svg::fit(rigs, meshes, svg::kViews[view], area),
                        rigs[state],
                        run && state == 1 ? rigs[0] : nullptr,
                        &kinds,
                        meshes[state],
                        run ? &moves : nullptr};
      svg::drawCell(picture, in);
      if (run && view == 0) {
        picture.text({cell.x0 + kCellWidth / 2, top - 6}, state == 0 ? "before" : "after", 12,
                     "middle", true);
      }
    }
  }
  svg::drawLegend(picture, legend, kMargin, top + gridHeight + kGap, width - 2 * kMargin);
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
