#include "runner/pictures/labels.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace runner::svg {

namespace {

// Boxes filed under the 32-pixel squares they touch.
class Buckets {
public:
  void add(const Box& box) {
    const std::size_t index = boxes_.size();
    boxes_.push_back(box);
    for (long x = cell(box.x0); x <= cell(box.x1); ++x) {
      for (long y = cell(box.y0); y <= cell(box.y1); ++y) squares_[key(x, y)].push_back(index);
    }
  }
  const Box& operator[](std::size_t index) const { return boxes_[index]; }
  // Whether `test` holds for any box filed near `near`.
  template <typename Test>
  bool any(const Box& near, Test test) const {
    for (long x = cell(near.x0); x <= cell(near.x1); ++x) {
      for (long y = cell(near.y0); y <= cell(near.y1); ++y) {
        const auto found = squares_.find(key(x, y));
        if (found == squares_.end()) continue;
        for (std::size_t index : found->second) {
          if (test(index)) return true;
        }
      }
    }
    return false;
  }

private:
  // Boxes far off the picture (or not finite) share the outermost cells: converting such a
  // value to long would be undefined.
  static long cell(double v) {
    constexpr double kReach = 1e9;
    if (!(v > -kReach)) return static_cast<long>(-kReach / 32);
    if (v > kReach) return static_cast<long>(kReach / 32);
    return static_cast<long>(std::floor(v / 32));
  }
  static unsigned long long key(long x, long y) {
    return (static_cast<unsigned long long>(x) << 32) ^
           (static_cast<unsigned long long>(y) & 0xffffffffULL);
  }
  std::vector<Box> boxes_;
  std::unordered_map<unsigned long long, std::vector<std::size_t>> squares_;
};

Box labelBox(const Candidate& c, const std::string& text) {
  const double width = textWidth(text);
  const double x0 = c.anchor[0] == 's'   ? c.at.x
                    : c.anchor[0] == 'e' ? c.at.x - width
                                         : c.at.x - width / 2;
  return {x0 - 1, c.at.y - kLabelHeight / 2, x0 + width + 1, c.at.y + kLabelHeight / 2};
}

const char* anchorFor(double dx) { return dx > 0.35 ? "start" : dx < -0.35 ? "end" : "middle"; }

}  // namespace

std::vector<Candidate> pointCandidates(Point p) {
  return {{{p.x + 7, p.y}, "start"},     {{p.x - 7, p.y}, "end"},       {{p.x, p.y - 10}, "middle"},
          {{p.x, p.y + 10}, "middle"},   {{p.x + 6, p.y - 8}, "start"}, {{p.x - 6, p.y - 8}, "end"},
          {{p.x + 6, p.y + 8}, "start"}, {{p.x - 6, p.y + 8}, "end"}};
}

std::vector<Candidate> boneCandidates(Point a, Point b, double halfWidth) {
  const double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
  if (length < 2) return pointCandidates(a);
  const double ux = dx / length, uy = dy / length, nx = -uy, ny = ux;
  std::vector<Candidate> list;
  for (double t : {0.5, 0.75, 0.3, 0.95}) {
    for (double side : {1.0, -1.0}) {
      const double ox = nx * side, oy = ny * side, away = halfWidth + 4;
      const Point base{a.x + dx * t, a.y + dy * t};
      // Text above or below the bone needs to clear half its own height too.
      const double extra = std::abs(ox) <= 0.35 ? kLabelHeight / 2 : 0;
      list.push_back({{base.x + ox * away, base.y + oy * (away + extra)}, anchorFor(ox)});
    }
  }
  list.push_back({{b.x + ux * 5, b.y + uy * (5 + kLabelHeight / 2)}, anchorFor(ux)});
  return list;
}

int placeLabels(Picture& picture, std::vector<LabelRequest> labels, const std::vector<Box>& marks,
                const std::vector<BoneSegment>& bones, const Box& area) {
  // Greedy placement: the most telling names first; a name with no free spot is left to
  // its shape's <title>.
  std::stable_sort(labels.begin(), labels.end(), [](const LabelRequest& a, const LabelRequest& b) {
    return a.tier != b.tier ? a.tier < b.tier : a.weight > b.weight;
  });
  // Names and marks taken so far, and the bones, in buckets: a label is tested only
  // against what lies near it, so that a rig of many bones is drawn in linear time.
  Buckets taken;
  for (const Box& mark : marks) taken.add(mark);
  Buckets boneBuckets;
  for (const BoneSegment& bone : bones) {
    boneBuckets.add({std::min(bone.a.x, bone.b.x) - bone.halfWidth,
                     std::min(bone.a.y, bone.b.y) - bone.halfWidth,
                     std::max(bone.a.x, bone.b.x) + bone.halfWidth,
                     std::max(bone.a.y, bone.b.y) + bone.halfWidth});
  }
  auto crossesBone = [&](const Box& box) {
    return boneBuckets.any(box, [&](std::size_t i) {
      const BoneSegment& bone = bones[i];
      const double grow = bone.halfWidth * 0.6;
      return segmentHitsBox(bone.a, bone.b,
                            {box.x0 - grow, box.y0 - grow, box.x1 + grow, box.y1 + grow});
    });
  };
  int hidden = 0;
  // A view holds a few hundred names at most: after that many misses in a row the
  // plain bones' names are not tried any more, which keeps a huge rig quick to draw.
  constexpr int kMissesBeforeGivingUp = 400;
  int misses = 0;
  for (const LabelRequest& label : labels) {
    if (label.tier >= 3 && misses >= kMissesBeforeGivingUp) {
      ++hidden;
      continue;
    }
    bool placed = false;
    // First a spot clear of bones too; failing that, for the names that matter most, one
    // that only crosses bones.
    const int lastTry = label.tier <= 2 ? 0 : 1;
    for (int strict = 1; strict >= lastTry && !placed; --strict) {
      for (const Candidate& candidate : label.candidates) {
        const Box box = labelBox(candidate, label.text);
        if (!box.within(area)) continue;
        const bool free = !taken.any(box, [&](std::size_t i) { return taken[i].overlaps(box); });
        if (!free || (strict && crossesBone(box))) continue;
        taken.add(box);
        picture.text({candidate.at.x, candidate.at.y + kFont * 0.35}, label.text, kFont,
                     candidate.anchor, label.bold, label.fill, true);
        placed = true;
        break;
      }
    }
    hidden += !placed;
    misses = placed ? 0 : misses + 1;
  }
  return hidden;
}

}  // namespace runner::svg
