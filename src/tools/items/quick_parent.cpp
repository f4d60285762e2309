#include "scene/item_helpers.h"
#include "tools/items/item_tools.h"

namespace vorrik {

void runQuickParent(Host& host) {
  // Snapshot first: every SelectItem below changes the host's selection.
  const auto selection = host.selection();
  if (!selection) return;
  const std::vector<LWItemID> items = knownItems(host, *selection);
  if (items.size() < 2) {
    host.info("Please select multiple object.");
    return;
  }
  for (std::size_t i = 1; i < items.size(); ++i) {
    host.send("SelectItem %x", idArg(items[i]));
    host.send("ParentItem %x", idArg(items[0]));
  }
}

}  // namespace vorrik
