// One cell of a picture: one view of one rig, drawn in phases from the bottom up: the
// cell, the meshes, the links from parents to children, where changed items were before the
// run, the items themselves, their names, the caption and the scale bar.
#pragma once

#include <vector>

#include "runner/checks/rig_snapshot.h"
#include "runner/pictures/mesh_picture.h"
#include "runner/pictures/rig_shapes.h"
#include "runner/pictures/svg_document.h"
#include "runner/pictures/view_frame.h"

namespace runner::svg {

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

void drawCell(Picture& picture, const CellInput& in);

// Each mesh as one path of its edges and one of its loose points, and the points the run
// moved as dots on top; all under the bones. Points are kept inside `inner`.
void drawMeshes(Picture& picture, const CellInput& in, const Box& inner);

}  // namespace runner::svg
