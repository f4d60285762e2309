// Pictures of the rig as SVG: front, side and top views, orthographic. Bones are tapered
// shapes from origin to tip; objects, lights and cameras are small marks; every shape has
// the item's name as its <title>, and names that fit without overlapping are printed.
#pragma once

#include <cstddef>
#include <string>

#include "runner/checks/rig_changes.h"
#include "runner/checks/rig_snapshot.h"
#include "runner/pictures/mesh_picture.h"
#include "runner/pictures/palette.h"

namespace runner {

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
