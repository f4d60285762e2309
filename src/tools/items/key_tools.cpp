#include <memory>
#include <utility>

#include "scene/item_helpers.h"
#include "tools/items/item_tools.h"
#include "tools/items/key_commands.h"
#include "tools/items/key_mirror.h"

namespace vorrik {

std::vector<LWItemID> selectionSnapshot(const Host& host) {
  const auto selection = host.selection();
  return selection ? knownItems(host, *selection) : std::vector<LWItemID>{};
}

void reselect(const Host& host, const std::vector<LWItemID>& items) {
  if (items.empty()) return;
  host.send("SelectItem %x", idArg(items.back()));
  for (std::size_t i = items.size() - 1; i-- > 0;) {
    host.send("AddToSelection %x", idArg(items[i]));
  }
}

void sendKey(const Host& host, LWItemID target, const Vec3& position, const Vec3& rotation,
             const Vec3& scaling, double time) {
  host.send("SelectItem %x", idArg(target));
  host.send("Position %g %g %g", position[0], position[1], position[2]);
  const Vec3 degrees = toDegrees(rotation);
  host.send("Rotation %g %g %g", degrees[0], degrees[1], degrees[2]);
  host.send("Scale %g %g %g", scaling[0], scaling[1], scaling[2]);
  host.send("CreateKey %g", time);
}

bool sendableKey(const Vec3& position, const Vec3& rotation, const Vec3& scaling) {
  return isFinite(position) && isFiniteInDegrees(rotation) && isFinite(scaling);
}

namespace {

// Replaces the clipboard with the transforms of `items`, all read before any command. The
// old clipboard stays whole until every value is in hand, so a failing host keeps it.
void capture(const Host& host, const std::vector<LWItemID>& items, KeyClipboard& clipboard) {
  std::vector<std::unique_ptr<KeyRecord>> records;
  records.reserve(items.size());
  for (LWItemID item : items) {
    auto record = std::make_unique<KeyRecord>();
    record->position = host.param(item, LWIP_POSITION);
    record->rotation = host.param(item, LWIP_ROTATION);
    record->scaling = host.param(item, LWIP_SCALING);
    record->item = item;
    records.push_back(std::move(record));
  }
  // Where each item sits, for PasteKeyMirror, once every value is in hand: a host that
  // cannot say leaves that out of the record, and the copy goes on as without it.
  MirrorSourceReader mirrorSources(host);
  for (auto& record : records) record->mirror = mirrorSources.capture(*record);
  clipboard.clear();
  for (auto& record : records) clipboard.append(std::move(record));
}

void applyRecord(const Host& host, const KeyRecord& record, LWItemID target, double time) {
  sendKey(host, target, record.position, record.rotation, record.scaling, time);
}

bool sendable(const KeyRecord& record) {
  return sendableKey(record.position, record.rotation, record.scaling);
}

}  // namespace

void runCopyKey(Host& host, KeyClipboard& clipboard) {
  const std::vector<LWItemID> items = selectionSnapshot(host);
  if (items.empty()) return;  // an empty selection keeps the earlier clipboard
  capture(host, items, clipboard);
}

void runCutKey(Host& host, KeyClipboard& clipboard) {
  const std::vector<LWItemID> items = selectionSnapshot(host);
  if (items.empty()) return;
  capture(host, items, clipboard);
  const double time = host.currentTime();
  for (LWItemID item : items) {
    host.send("SelectItem %x", idArg(item));
    host.send("DeleteKey %g", time);
  }
  reselect(host, items);
}

void runPasteKey(Host& host, const KeyClipboard& clipboard) {
  if (clipboard.empty()) return;
  const std::vector<LWItemID> items = selectionSnapshot(host);
  const double time = host.currentTime();
  // Which record goes where, all decided and checked before the first command: a value
  // that cannot be sent would stop the paste with items moved but not keyed.
  std::vector<std::pair<const KeyRecord*, LWItemID>> pastes;
  if (clipboard.size() == 1) {
    // One record goes to the first selected item, whichever item it came from.
    if (items.empty()) return;
    pastes.emplace_back(&clipboard[0], items.front());
  } else {
    // Several records go back to their own items; those no longer in the scene are skipped.
    for (std::size_t i = 0; i < clipboard.size(); ++i) {
      const KeyRecord& record = clipboard[i];
      if (isItem(host, record.item)) pastes.emplace_back(&record, record.item);
    }
  }
  for (const auto& paste : pastes) {
    if (!sendable(*paste.first)) return;
  }
  for (const auto& paste : pastes) applyRecord(host, *paste.first, paste.second, time);
  reselect(host, items);
}

}  // namespace vorrik
