#include "tools/items/mirror_plan.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host/loop_guard.h"
#include "tools/items/key_commands.h"
#include "tools/items/key_mirror.h"

namespace vorrik {

namespace {

const Matrix4 kIdentity{};
const std::optional<Matrix4> kNoTurnYet{Matrix4{}};

// The item a climb stopped at: the parent of the last item climbed, or where it started.
LWItemID climbEnd(Ancestry& ancestry, LWItemID start, const std::vector<LWItemID>& climbed) {
  return climbed.empty() ? start : ancestry.parent(climbed.back());
}

// Rounds a value as "%g" prints it, so that a child is placed below its parent as Layout
// will hold the parent.
double asSent(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return std::strtod(text, nullptr);
}

// Round-off left where an exact result is zero ("-2.2e-16") would only clutter the commands.
void dropNoise(Placement& values) {
  double reach = 0;
  for (double p : values.position) reach = std::fmax(reach, std::fabs(p));
  for (double& p : values.position) {
    if (std::isfinite(reach) && std::fabs(p) <= 1e-12 * reach) p = 0;
  }
  for (double& a : values.rotation) {
    if (std::fabs(a) < 1e-12) a = 0;
  }
}

Placement roundedAsSent(const Placement& values) {
  Placement sent = values;
  for (int k = 0; k < 3; ++k) {
    sent.position[k] = asSent(values.position[k]);
    sent.rotation[k] = asSent(values.rotation[k] * RAD_TO_DEG) / RAD_TO_DEG;
    sent.scale[k] = asSent(values.scale[k]);
  }
  return sent;
}

class Planner {
public:
  Planner(Ancestry& ancestry, std::vector<Paste>& pastes)
      : ancestry_(ancestry), pastes_(pastes), waiting_(pastes.size(), false) {
    for (std::size_t i = 0; i < pastes_.size(); ++i) lastPasteOn_[pastes_[i].target] = i;
  }

  bool placeAll() {
    for (std::size_t i = 0; i < pastes_.size(); ++i) {
      if (!placeWithAncestors(i)) return false;
    }
    return true;
  }

private:
  // The paste whose values an item will end with, if any.
  const Paste* pasteOn(LWItemID item) const {
    const auto found = lastPasteOn_.find(item);
    return found == lastPasteOn_.end() ? nullptr : &pastes_[found->second];
  }

  // An item's placement once the pastes placed so far are made.
  const Matrix4& placement(LWItemID item) {
    const Paste* paste = pasteOn(item);
    if (paste != nullptr && paste->placed) return paste->sentPlacement;
    auto read = readNow_.find(item);
    if (read == readNow_.end()) {
      read = readNow_.emplace(item, placementMatrix(readPlacement(ancestry_.host(), item))).first;
    }
    return read->second;
  }

  // The frame of `item` in the frame of `top`, an item above it (or the world). Kept for
  // each item on the way: by the time it is asked for, every paste on the way is placed.
  const Matrix4& frameIn(LWItemID item, LWItemID top) {
    if (item == top) return kIdentity;
    const std::vector<LWItemID> climbed = ancestry_.climb(item, top, [&](LWItemID up) {
      return frames_.count({up, top}) != 0;
    });
    const LWItemID end = climbEnd(ancestry_, item, climbed);
    Matrix4 frame = end == top ? kIdentity : frames_.at({end, top});
    for (auto up = climbed.rbegin(); up != climbed.rend(); ++up) {
      matMultiply(frame, frame, placement(*up));
      frames_.emplace(ItemAndTop{*up, top}, frame);
    }
    return frames_.at({item, top});
  }

  // Puts on the stack the pastes on the items from `item` up to `top` that are not placed,
  // nearest first, so that the highest is placed first. An item already looked at for the
  // same top ends the walk: the pastes above it were put on the stack with it.
  void stackPastesAbove(LWItemID item, LWItemID top, std::vector<std::size_t>& stack) {
    const std::vector<LWItemID> climbed = ancestry_.climb(item, top, [&](LWItemID up) {
      return looked_.count({up, top}) != 0;
    });
    for (LWItemID up : climbed) {
      looked_.insert({up, top});
      const auto found = lastPasteOn_.find(up);
      if (found != lastPasteOn_.end() && !pastes_[found->second].placed &&
          !waiting_[found->second]) {
        stack.push_back(found->second);
      }
    }
  }

  // Places the paste after the pastes on the items above its target, without recursion.
  bool placeWithAncestors(std::size_t first) {
    std::vector<std::size_t> stack{first};
    while (!stack.empty()) {
      const std::size_t i = stack.back();
      Paste& paste = pastes_[i];
      if (paste.placed) {
        stack.pop_back();
        continue;
      }
      if (!waiting_[i]) {
        waiting_[i] = true;
        const LWItemID reference = paste.source->reference;
        const LWItemID parent = ancestry_.parent(paste.target);
        if (paste.belowReference) {
          stackPastesAbove(parent, reference, stack);
        } else {
          stackPastesAbove(parent, LWITEM_NULL, stack);
          stackPastesAbove(reference, LWITEM_NULL, stack);
        }
        if (stack.back() != i) continue;
      }
      if (!place(paste)) return false;
      stack.pop_back();
    }
    return true;
  }

  bool place(Paste& paste) {
    // The frame of the target's parent in the reference's frame.
    const LWItemID reference = paste.source->reference;
    const LWItemID parent = ancestry_.parent(paste.target);
    Matrix4 parentInReference;
    if (paste.belowReference) {
      parentInReference = frameIn(parent, reference);
    } else {
      Matrix4 worldToReference;
      if (!invertAffine(worldToReference, frameIn(reference, LWITEM_NULL))) return false;
      matMultiply(parentInReference, worldToReference, frameIn(parent, LWITEM_NULL));
    }
    Matrix4 referenceToParent;
    if (!invertAffine(referenceToParent, parentInReference)) return false;

    // The source's frame seen in the reference's mirror; a bone keeps its own roll about its
    // length where the two sides' rest rotations differ by one.
    Matrix4 wanted = mirrored(paste.source->placement, paste.mirrorAxis);
    if (paste.restTurn && paste.source->restTurn) {
      const Matrix4 sourceRest = mirrored(*paste.source->restTurn, paste.mirrorAxis);
      Matrix4 undo;  // the transpose of a rotation is its inverse
      for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) undo[4 * row + col] = sourceRest[4 * col + row];
      }
      Matrix4 difference;
      matMultiply(difference, undo, *paste.restTurn);
      Matrix4 roll;
      preRotateZ(roll, std::atan2(difference[4], difference[0]));
      matMultiply(wanted, wanted, roll);
    }
    Matrix4 local;
    matMultiply(local, referenceToParent, wanted);
    placementValues(local, paste.values, paste.rotationNow);
    dropNoise(paste.values);
    if (!sendableKey(paste.values.position, paste.values.rotation, paste.values.scale)) {
      return false;
    }
    paste.sentPlacement = placementMatrix(roundedAsSent(paste.values));
    paste.placed = true;
    return true;
  }

  Ancestry& ancestry_;
  std::vector<Paste>& pastes_;
  std::unordered_map<LWItemID, std::size_t> lastPasteOn_;  // the last paste on each target
  std::unordered_map<LWItemID, Matrix4> readNow_;          // placements read from the host
  std::unordered_map<ItemAndTop, Matrix4, ItemAndTopHash> frames_;
  std::unordered_set<ItemAndTop, ItemAndTopHash> looked_;  // items whose pastes are stacked
  std::vector<bool> waiting_;  // pastes whose ancestors' pastes have been asked for
};

}  // namespace

LWItemID Ancestry::parent(LWItemID item) {
  const auto known = parents_.find(item);
  if (known != parents_.end()) return known->second;
  const LWItemID up = host_.parent(item);
  parents_.emplace(item, up);
  return up;
}

LWItemID Ancestry::ownerObject(LWItemID item) {
  std::vector<LWItemID> bones;
  LoopGuard guard;
  LWItemID up = item;
  while (up != LWITEM_NULL && owners_.count(up) == 0 && host_.type(up) == LWI_BONE) {
    guard.step(up);
    bones.push_back(up);
    up = parent(up);
  }
  const auto known = owners_.find(up);
  const LWItemID owner = known != owners_.end() ? known->second : up;
  for (LWItemID bone : bones) owners_.emplace(bone, owner);
  return owner;
}

const Matrix4& Ancestry::frameInOwner(LWItemID bone) {
  const std::vector<LWItemID> climbed = climb(bone, LWITEM_NULL, [&](LWItemID up) {
    return frameInOwner_.count(up) != 0 || host_.type(up) != LWI_BONE;
  });
  if (climbed.empty()) return kIdentity;  // not a bone
  const auto known = frameInOwner_.find(parent(climbed.back()));
  Matrix4 frame = known != frameInOwner_.end() ? known->second : kIdentity;
  for (auto up = climbed.rbegin(); up != climbed.rend(); ++up) {
    matMultiply(frame, frame, placementMatrix(readPlacement(host_, *up)));
    frameInOwner_.emplace(*up, frame);
  }
  return frameInOwner_.at(bone);
}

std::vector<LWItemID> Ancestry::climb(LWItemID item, LWItemID top,
                                      const std::function<bool(LWItemID)>& stop) {
  std::vector<LWItemID> climbed;
  LoopGuard guard;
  for (LWItemID up = item; up != top && up != LWITEM_NULL && !stop(up); up = parent(up)) {
    guard.step(up);
    climbed.push_back(up);
  }
  return climbed;
}

bool Ancestry::reaches(LWItemID item, LWItemID top) {
  if (top == LWITEM_NULL || item == top) return true;
  const std::vector<LWItemID> climbed = climb(item, top, [&](LWItemID up) {
    return reaches_.count({up, top}) != 0;
  });
  const LWItemID end = climbEnd(*this, item, climbed);
  const bool found = end == top || (end != LWITEM_NULL && reaches_.at({end, top}));
  for (LWItemID up : climbed) reaches_.emplace(ItemAndTop{up, top}, found);
  return found;
}

const std::optional<Matrix4>& Ancestry::restAbove(LWItemID item, LWItemID top) {
  if (item == top) return kNoTurnYet;
  const std::vector<LWItemID> climbed = climb(item, top, [&](LWItemID up) {
    return restAbove_.count({up, top}) != 0;
  });
  const LWItemID end = climbEnd(*this, item, climbed);
  std::optional<Matrix4> turn = end == top ? kNoTurnYet : restAbove_.at({end, top});
  for (auto up = climbed.rbegin(); up != climbed.rend(); ++up) {
    if (turn && host_.type(*up) != LWI_BONE) turn.reset();
    if (turn) matMultiply(*turn, *turn, rotationMatrix(host_.restParam(*up, LWIP_ROTATION)));
    restAbove_.emplace(ItemAndTop{*up, top}, turn);
  }
  return restAbove_.at({item, top});
}

void readAncestry(Ancestry& ancestry, Paste& paste) {
  const Host& host = ancestry.host();
  const LWItemID reference = paste.source->reference;
  const bool bones = host.services().boneInfo != nullptr && paste.source->restTurn &&
                     host.type(paste.target) == LWI_BONE;
  std::optional<Matrix4> turn;
  if (bones) turn = rotationMatrix(host.restParam(paste.target, LWIP_ROTATION));
  const LWItemID parent = ancestry.parent(paste.target);
  paste.belowReference = ancestry.reaches(parent, reference);
  if (!paste.belowReference || !turn) return;
  const std::optional<Matrix4>& above = ancestry.restAbove(parent, reference);
  if (!above) return;
  paste.restTurn.emplace();
  matMultiply(*paste.restTurn, *above, *turn);
}

bool planPastes(Ancestry& ancestry, std::vector<Paste>& pastes) {
  Planner planner(ancestry, pastes);
  return planner.placeAll();
}

}  // namespace vorrik
