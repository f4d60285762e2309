#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/loop_guard.h"
#include "math/placement.h"
#include "scene/item_helpers.h"
#include "scene/side_names.h"
#include "tools/items/item_tools.h"
#include "tools/items/key_commands.h"
#include "tools/items/key_mirror.h"

namespace vorrik {

namespace {

// The panel keeps a pointer to the items; they must outlive the activation.
const char* kAxisNames[] = {"X", "Y", "Z", nullptr};
constexpr int kAxisCount = 3;

const char* const kStopped = "PasteKeyMirror stopped: the mirrored values are out of range.";
// A message names at most this many items that were left out.
constexpr std::size_t kNamesListed = 10;

// One remembered item on its way to its counterpart.
struct Paste {
  const MirrorSource* source = nullptr;
  LWItemID target = LWITEM_NULL;
  // From the target's parent up to, not including, the reference. When the target does not
  // hang below the reference, up to the world, and `referenceUp` holds the reference and
  // the items above it.
  std::vector<LWItemID> path;
  bool belowReference = true;
  std::vector<LWItemID> referenceUp;
  // The target's pivot and pivot rotation as they are, then the values to send.
  Placement values;
  Vec3 rotationNow{0, 0, 0};
  std::optional<Matrix4> restTurn;  // the target's rest rotation in the reference's frame
  int mirrorAxis = 0;               // the axis of the reference's frame that is turned round
  Matrix4 sentPlacement;            // the placement the sent values give, rounded as sent
  bool placed = false;
};

// Items by name, listed once for each kind (and each object's bones) that a paste looks in.
class NameIndex {
public:
  LWItemID find(const Host& host, int type, LWItemID object, const std::string& name) {
    const Key key{type, type == LWI_BONE ? object : LWITEM_NULL};
    auto listed = lists_.find(key);
    if (listed == lists_.end()) listed = lists_.emplace(key, list(host, key)).first;
    const auto found = listed->second.find(name);
    return found == listed->second.end() ? LWITEM_NULL : found->second;
  }

private:
  using Key = std::pair<int, LWItemID>;  // a kind, and for bones their object
  using Names = std::unordered_map<std::string, LWItemID>;
  static Names list(const Host& host, const Key& key) {
    Names names;
    if (key.first == LWI_BONE && key.second == LWITEM_NULL) return names;
    LoopGuard guard;
    for (LWItemID item = host.first(key.first, key.second); item != LWITEM_NULL;
         item = host.next(item)) {
      guard.step(item);
      names.emplace(host.name(item), item);  // the first of a name is kept
    }
    return names;
  }
  std::map<Key, Names> lists_;
};

// The counterpart of the remembered item: the item of the same kind named for the other
// side (a bone among its object's bones), or the item itself when its name has no side.
LWItemID counterpart(const Host& host, const KeyRecord& record, NameIndex& names) {
  const MirrorSource& source = record.mirror;
  const std::string other = otherSideName(source.name);
  if (other == source.name && isItem(host, record.item)) return record.item;
  LWItemID object = LWITEM_NULL;
  if (source.type == LWI_BONE && source.reference != LWITEM_NULL) {
    object = ownerObject(host, source.reference);
  }
  return names.find(host, source.type, object, other);
}

// The remembered item's name, or its item number when the host gave no name.
std::string shownName(const MirrorSource& source, const KeyRecord& record) {
  if (!source.name.empty()) return source.name;
  char text[24];
  std::snprintf(text, sizeof text, "item %x", idArg(record.item));
  return text;
}

// "Nothing was pasted for A (no B), C (...)."; at most kNamesListed of them by name.
std::string leftOutMessage(const std::vector<std::string>& entries) {
  std::string text = "Nothing was pasted for ";
  for (std::size_t i = 0; i < entries.size() && i < kNamesListed; ++i) {
    if (i > 0) text += ", ";
    text += entries[i];
  }
  if (entries.size() > kNamesListed) {
    text += " and " + std::to_string(entries.size() - kNamesListed) + " more";
  }
  return text + ".";
}

// The axis of the reference's frame that lies nearest the chosen axis of the character's
// plane: the plane is its object's for a bone, its own for anything else (or the world's).
int referenceAxis(const Host& host, LWItemID reference, int axis) {
  if (reference == LWITEM_NULL || host.type(reference) != LWI_BONE) return axis;
  const LWItemID object = ownerObject(host, reference);
  if (object == LWITEM_NULL) return axis;
  const Vec3 normal = host.param(object, LWIP_W_RIGHT + axis);
  int nearest = axis;
  double best = 0;
  for (int k = 0; k < kAxisCount; ++k) {
    const Vec3 a = host.param(reference, LWIP_W_RIGHT + k);
    const double along = std::fabs(normal[0] * a[0] + normal[1] * a[1] + normal[2] * a[2]);
    if (along > best) {
      best = along;
      nearest = k;
    }
  }
  return nearest;
}

// The walk from the target's parent up to the reference (or the world), with what the
// target's rest turn needs on the way.
void walkUp(const Host& host, Paste& paste) {
  const LWItemID reference = paste.source->reference;
  const bool bones = host.services().boneInfo != nullptr && paste.source->restTurn &&
                     host.type(paste.target) == LWI_BONE;
  std::optional<Matrix4> turn;
  if (bones) turn = rotationMatrix(host.restParam(paste.target, LWIP_ROTATION));
  LoopGuard guard;
  for (LWItemID up = host.parent(paste.target); up != reference; up = host.parent(up)) {
    if (up == LWITEM_NULL) {
      paste.belowReference = false;
      break;
    }
    guard.step(up);
    paste.path.push_back(up);
    if (!turn) continue;
    if (host.type(up) != LWI_BONE) {
      turn.reset();
      continue;
    }
    matMultiply(*turn, rotationMatrix(host.restParam(up, LWIP_ROTATION)), *turn);
  }
  if (paste.belowReference) {
    paste.restTurn = turn;
    return;
  }
  LoopGuard referenceGuard;
  for (LWItemID up = reference; up != LWITEM_NULL; up = host.parent(up)) {
    referenceGuard.step(up);
    paste.referenceUp.push_back(up);
  }
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
  Planner(const Host& host, std::vector<Paste>& pastes)
      : host_(host), pastes_(pastes), waiting_(pastes.size(), false) {
    for (std::size_t i = 0; i < pastes_.size(); ++i) lastPasteOn_[pastes_[i].target] = i;
  }

  // Places every paste, parents before children; false when a value cannot be sent.
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
      read = readNow_.emplace(item, placementMatrix(readPlacement(host_, item))).first;
    }
    return read->second;
  }

  // The items' frames multiplied from the top down: the frame of items.front() in the frame
  // above items.back().
  Matrix4 chain(const std::vector<LWItemID>& items) {
    Matrix4 frame;
    for (LWItemID item : items) matMultiply(frame, placement(item), frame);
    return frame;
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
        for (const auto* items : {&paste.path, &paste.referenceUp}) {
          for (LWItemID up : *items) {
            const auto found = lastPasteOn_.find(up);
            if (found != lastPasteOn_.end() && !pastes_[found->second].placed &&
                !waiting_[found->second]) {
              stack.push_back(found->second);
            }
          }
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
    Matrix4 parentInReference = chain(paste.path);
    if (!paste.belowReference) {
      Matrix4 referenceToWorld = chain(paste.referenceUp), worldToReference;
      if (!invertAffine(worldToReference, referenceToWorld)) return false;
      matMultiply(parentInReference, worldToReference, parentInReference);
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

  const Host& host_;
  std::vector<Paste>& pastes_;
  std::unordered_map<LWItemID, std::size_t> lastPasteOn_;  // the last paste on each target
  std::unordered_map<LWItemID, Matrix4> readNow_;          // placements read from the host
  std::vector<bool> waiting_;  // pastes whose ancestors' pastes have been asked for
};

// Asks for the mirror axis, offering the last one chosen; false for Cancel.
bool askAxis(const Host& host, int& remembered, int& axis) {
  Dialog dialog = host.createDialog("Vorrik version 0.17b : PasteKeyMirror");
  LWPanControlDesc descriptor{};
  descriptor.choice.type = LWT_CHOICE;
  descriptor.choice.items = kAxisNames;
  descriptor.choice.vertical = 0;
  DialogControl control = dialog.addControl("ChoiceControl", descriptor, "Mirror axis : ");
  control.setInt(CTL_X, 8);
  control.setInt(CTL_Y, 0);
  control.setInt(CTL_VALUE, remembered >= 0 && remembered < kAxisCount ? remembered : 0);
  if (!dialog.open()) return false;
  axis = control.getInt(CTL_VALUE);
  if (axis < 0 || axis >= kAxisCount) return false;
  remembered = axis;
  return true;
}

}  // namespace

void runPasteKeyMirror(Host& host, const KeyClipboard& clipboard, int& rememberedAxis) {
  if (clipboard.empty()) return;
  const std::vector<LWItemID> items = selectionSnapshot(host);

  // Where each remembered item goes; the ones that cannot go anywhere are named at the end.
  std::vector<Paste> pastes;
  std::vector<std::string> leftOut;
  NameIndex names;
  for (std::size_t i = 0; i < clipboard.size(); ++i) {
    const KeyRecord& record = clipboard[i];
    const MirrorSource& source = record.mirror;
    if (!source.missing.empty()) {
      leftOut.push_back(
          shownName(source, record) +
          " (its place in the rig could not be read when it was copied: " + source.missing + ")");
      continue;
    }
    if (source.reference != LWITEM_NULL && !isItem(host, source.reference)) {
      leftOut.push_back(source.name + " (the item it was copied relative to is gone)");
      continue;
    }
    Paste paste;
    paste.source = &source;
    // One remembered item goes onto the selected item, unless that is the item itself.
    if (clipboard.size() == 1 && !items.empty() && items.front() != record.item) {
      paste.target = items.front();
    } else {
      paste.target = counterpart(host, record, names);
    }
    if (paste.target == LWITEM_NULL) {
      const std::string other = otherSideName(source.name);
      leftOut.push_back(source.name + (other == source.name ? " (gone)" : " (no " + other + ")"));
      continue;
    }
    pastes.push_back(std::move(paste));
  }
  if (pastes.empty()) {
    host.info(leftOutMessage(leftOut).c_str());
    return;
  }

  int axis = 0;
  if (!askAxis(host, rememberedAxis, axis)) return;

  // Everything is worked out before the first command: a value that cannot be sent stops
  // the tool with nothing changed.
  std::unordered_map<LWItemID, int> referenceAxes;
  for (Paste& paste : pastes) {
    const LWItemID reference = paste.source->reference;
    auto known = referenceAxes.find(reference);
    if (known == referenceAxes.end()) {
      known = referenceAxes.emplace(reference, referenceAxis(host, reference, axis)).first;
    }
    paste.mirrorAxis = known->second;
    paste.values.pivot = host.param(paste.target, LWIP_PIVOT);
    paste.values.pivotRotation = host.param(paste.target, LWIP_PIVOT_ROT);
    paste.rotationNow = host.param(paste.target, LWIP_ROTATION);
    walkUp(host, paste);
  }
  Planner planner(host, pastes);
  if (!planner.placeAll()) {
    host.info(kStopped);
    return;
  }

  const double time = host.currentTime();
  for (const Paste& paste : pastes) {
    sendKey(host, paste.target, paste.values.position, paste.values.rotation, paste.values.scale,
            time);
  }
  reselect(host, items);
  if (!leftOut.empty()) host.info(leftOutMessage(leftOut).c_str());
}

}  // namespace vorrik
