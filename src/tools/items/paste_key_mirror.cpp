#include <cmath>
#include <cstdio>
#include <map>
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
#include "tools/items/mirror_plan.h"

namespace vorrik {

namespace {

// The panel keeps a pointer to the items; they must outlive the activation.
const char* kAxisNames[] = {"X", "Y", "Z", nullptr};
constexpr int kAxisCount = 3;

const char* const kStopped = "PasteKeyMirror stopped: the mirrored values are out of range.";
// A message names at most this many items that were left out.
constexpr std::size_t kNamesListed = 10;

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
LWItemID counterpart(Ancestry& ancestry, const KeyRecord& record, NameIndex& names) {
  const Host& host = ancestry.host();
  const MirrorSource& source = record.mirror;
  const std::string other = otherSideName(source.name);
  if (other == source.name && isItem(host, record.item)) return record.item;
  LWItemID object = LWITEM_NULL;
  if (source.type == LWI_BONE && source.reference != LWITEM_NULL) {
    object = ancestry.ownerObject(source.reference);
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
// Worked out in the object's frame (its scale included), from the bones' values, so that a
// paste onto many centre bones reads each bone once.
int referenceAxis(Ancestry& ancestry, LWItemID reference, int axis) {
  const Host& host = ancestry.host();
  if (reference == LWITEM_NULL || host.type(reference) != LWI_BONE) return axis;
  const LWItemID object = ancestry.ownerObject(reference);
  if (object == LWITEM_NULL) return axis;
  const Vec3 scale = host.param(object, LWIP_SCALING);
  const Matrix4& frame = ancestry.frameInOwner(reference);
  int nearest = axis;
  double best = 0;
  for (int k = 0; k < kAxisCount; ++k) {
    const Vec3 a{scale[0] * frame[k], scale[1] * frame[4 + k], scale[2] * frame[8 + k]};
    const double length = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    if (!(length > 0) || !std::isfinite(length)) continue;
    const double along = std::fabs(a[axis]) / length;
    if (along > best) {
      best = along;
      nearest = k;
    }
  }
  return nearest;
}

// Asks for the mirror axis, offering the last one chosen; false for Cancel.
bool askAxis(const Host& host, int& remembered, int& axis) {
  Dialog dialog = host.createDialog("Vorrik version 0.17b : PasteKeyMirror");
  DialogControl control = dialog.addChoice("Mirror axis : ", kAxisNames, 8, 0);
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
  pastes.reserve(clipboard.size());
  std::vector<std::string> leftOut;
  NameIndex names;
  Ancestry ancestry(host);  // the items above the ones pasted onto, each read once
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
      paste.target = counterpart(ancestry, record, names);
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
      known = referenceAxes.emplace(reference, referenceAxis(ancestry, reference, axis)).first;
    }
    paste.mirrorAxis = known->second;
    paste.values.pivot = host.param(paste.target, LWIP_PIVOT);
    paste.values.pivotRotation = host.param(paste.target, LWIP_PIVOT_ROT);
    paste.rotationNow = host.param(paste.target, LWIP_ROTATION);
    readAncestry(ancestry, paste);
  }
  if (!planPastes(ancestry, pastes)) {
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
