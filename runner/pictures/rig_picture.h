// Pictures of the rig as SVG: front, side and top views, orthographic. Bones are tapered
// shapes from origin to tip; objects, lights and cameras are small marks; every shape has
// the item's name as its <title>, and names that fit without overlapping are printed.
#pragma once

#include <cstddef>
#include <string>

#include "runner/mesh_picture.h"
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
constexpr const char* kSelected = "#ffcc00";    // a halo behind the shape
constexpr const char* kMesh = "#a3adba";        // mesh edges, under the bones
constexpr const char* kMeshFill = "#dce2ea";    // faces of small meshes
constexpr const char* kMeshPoint = "#8d96a3";   // points of polygons that are not faces
constexpr const char* kPointMoved = "#e0457b";  // mesh points a run moved
}  // namespace colour

// How much of a mesh one view draws at most (see mesh_picture.h): the edges are shared
// among the meshes of a view by their edge counts, each mesh getting at least the floor.
constexpr std::size_t kMeshEdgesPerView = 3000;
constexpr std::size_t kMeshEdgeFloor = 64;
constexpr std::size_t kMeshDotsPerView = 800;
constexpr std::size_t kMovedDotsPerView = 800;
// Meshes up to this many polygons also get their faces filled.
constexpr std::size_t kFilledPolygons = 1000;

// The rig as it is: the three views in a row, each loaded mesh under the bones.
std::string rigSvg(const RigSnapshot& rig, const std::string& title,
                   const MeshSnapshot& meshes = MeshSnapshot());

// Before and after a run side by side (a column each, one row per view, the same scale in
// both columns), with what the run changed in its own colour and a legend. Mesh points
// that moved more than the changes' tolerance are marked in both columns.
std::string rigSvg(const RigSnapshot& before, const RigSnapshot& after, const RigChanges& changes,
                   const std::string& title, const MeshSnapshot& meshesBefore = MeshSnapshot(),
                   const MeshSnapshot& meshesAfter = MeshSnapshot());

}  // namespace runner
