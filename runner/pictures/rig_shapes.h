// What an item looks like on screen: its shape (a tapered bone, or a mark for other items)
// and its colours, by what the run did to it.
#pragma once

#include <unordered_map>
#include <vector>

#include "runner/checks/rig_changes.h"
#include "runner/pictures/view_frame.h"
#include "standin/scene/scene.h"

namespace runner::svg {

// What a run did to an item, as the picture tells it apart; later kinds win.
enum class Kind { Plain, Rest, Reparented, Moved, Removed, Added };

struct Style {
  const char* fill;
  const char* stroke;
  const char* legend;
};

Style styleOf(Kind kind);

using Kinds = std::unordered_map<standin::ItemId, Kind>;

Kinds kindsOf(const RigChanges& changes);
Kind kindOf(const Kinds& kinds, standin::ItemId id);

// The tapered outline of a bone on screen; a single point when it is seen end on.
std::vector<Point> boneShape(Point a, Point b, double* halfWidth);

// Marks for non-bones: a square for objects, a diamond for lights, a triangle for cameras.
std::vector<Point> markShape(standin::ItemType type, Point p);
const char* markFill(standin::ItemType type);

}  // namespace runner::svg
