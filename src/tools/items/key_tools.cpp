#include <memory>

#include "tools/items/item_tools.h"

namespace vorrik {

namespace {

// The selection in selection order; a missing list counts as empty.
std::vector<LWItemID> selectionSnapshot(const Host& host) {
  auto selection = host.selection();
  return selection ? std::move(*selection) : std::vector<LWItemID>{};
}

// Replaces the clipboard with the transforms of `items`, all read before any command.
void capture(const Host& host, const std::vector<LWItemID>& items, KeyClipboard& clipboard) {
  clipboard.clear();
  for (LWItemID item : items) {
    auto record = std::make_unique<KeyRecord>();
    record->position = host.param(item, LWIP_POSITION);
    record->rotation = host.param(item, LWIP_ROTATION);
    record->scaling = host.param(item, LWIP_SCALING);
    record->item = item;
    clipboard.append(std::move(record));
  }
}

// Selects the snapshot again: the last item first, then the others back to the first, so
// the first selected item ends up the most recently added.
void reselect(const Host& host, const std::vector<LWItemID>& items) {
  if (items.empty()) return;
  host.send("SelectItem %x", idArg(items.back()));
  for (std::size_t i = items.size() - 1; i-- > 0;) {
    host.send("AddToSelection %x", idArg(items[i]));
  }
}

void applyRecord(const Host& host, const KeyRecord& record, LWItemID target, double time) {
  host.send("SelectItem %x", idArg(target));
  host.send("Position %g %g %g", record.position[0], record.position[1], record.position[2]);
  host.send("Rotation %g %g %g", record.rotation[0] * RAD_TO_DEG, record.rotation[1] * RAD_TO_DEG,
            record.rotation[2] * RAD_TO_DEG);
  host.send("Scale %g %g %g", record.scaling[0], record.scaling[1], record.scaling[2]);
  host.send("CreateKey %g", time);
}

bool isItemType(int type) {
  return type == LWI_OBJECT || type == LWI_LIGHT || type == LWI_CAMERA || type == LWI_BONE;
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
  if (clipboard.size() == 1) {
    // One record goes to the first selected item, whichever item it came from.
    if (items.empty()) return;
    applyRecord(host, clipboard[0], items.front(), time);
  } else {
    // Several records go back to their own items; those no longer in the scene are skipped.
    for (std::size_t i = 0; i < clipboard.size(); ++i) {
      const KeyRecord& record = clipboard[i];
      if (isItemType(host.type(record.item))) applyRecord(host, record, record.item, time);
    }
  }
  reselect(host, items);
}

}  // namespace vorrik
