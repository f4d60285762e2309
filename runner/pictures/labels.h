// Names in a view: each item asks for a place beside its shape, and the most telling names
// get the free places first; a name with no free place is left to its shape's <title>.
#pragma once

#include <string>
#include <vector>

#include "runner/pictures/palette.h"
#include "runner/pictures/svg_document.h"
#include "runner/pictures/view_frame.h"

namespace runner::svg {

// A place a label may take: the point its text is anchored at.
struct Candidate {
  Point at;
  const char* anchor;  // "start", "middle", "end"
};

// A label waiting for a place: tried at each candidate in turn, dropped if none is free.
struct LabelRequest {
  std::string text;
  int tier = 0;       // lower is placed first
  double weight = 0;  // within a tier, larger is placed first
  bool bold = false;
  const char* fill = colour::kInk;
  std::vector<Candidate> candidates;
};

// Around a point: right, left, above, below, then the corners.
std::vector<Candidate> pointCandidates(Point p);
// Beside the bone at a few places along it, on either side, then past its tip.
std::vector<Candidate> boneCandidates(Point a, Point b, double halfWidth);

// A bone as drawn, which labels avoid when they can.
struct BoneSegment {
  Point a, b;
  double halfWidth;
};

// Writes each label that finds a place inside `area` that covers no other label and no
// mark, and for most labels no bone either. Returns how many were not placed.
int placeLabels(Picture& picture, std::vector<LabelRequest> labels, const std::vector<Box>& marks,
                const std::vector<BoneSegment>& bones, const Box& area);

}  // namespace runner::svg
