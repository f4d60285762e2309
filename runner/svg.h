// Pictures of the rig as SVG: front, side and top views, orthographic. Bones are tapered
// shapes from origin to tip; objects, lights and cameras are small marks; every shape has
// the item's name as its <title>, and names that fit without overlapping are printed.
#pragma once

#include <string>

#include "runner/rig_check.h"

namespace runner {

// Fill colours, so that tests and the legend agree with the drawing.
namespace colour {
constexpr const char* kBone = "#9fb1c7";
constexpr const char* kAdded = "#2ca02c";
constexpr const char* kRemoved = "#d62728";
constexpr const char* kMoved = "#9b4dca";
constexpr const char* kReparented = "#17a2b8";
constexpr const char* kRest = "#b5651d";
constexpr const char* kSelected = "#ffcc00";  // a halo behind the shape
}  // namespace colour

// The rig as it is: the three views in a row.
std::string rigSvg(const RigSnapshot& rig, const std::string& title);

// Before and after a run side by side (a column each, one row per view, the same scale in
// both columns), with what the run changed in its own colour and a legend.
std::string rigSvg(const RigSnapshot& before, const RigSnapshot& after,
                   const RigChanges& changes, const std::string& title);

}  // namespace runner
