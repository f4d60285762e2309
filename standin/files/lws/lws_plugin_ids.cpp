// Item ids in plug-in data: bare words of 8 hex digits that name an item the file declares
// are rewritten when saving renumbers the item, and kept (and listed as dangling) when the
// item was removed, with the item the number names in the saved file, if any.
#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "standin/files/lws/lws_text.h"
#include "standin/files/lws/lws_writer_parts.h"

namespace standin {
namespace lws {
namespace {

bool looksLikeItemId(std::string_view word) {
  if (word.size() != 8 || word[0] < '1' || word[0] > '4') return false;
  return std::all_of(word.begin(), word.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

std::string nameInFile(const FileUpdate& u, ItemId id) {
  const Item* item = u.scene.find(id);
  return item ? item->name : u.doc.items[u.doc.byId.at(id)].name;
}

// The saved file's ids of the items it holds, by the number it gives them.
std::unordered_map<ItemId, std::string> namesBySavedId(const FileUpdate& u) {
  std::unordered_map<ItemId, std::string> names;
  for (ItemId id : u.scene.allItems()) names[u.cx.ids(id)] = u.scene.find(id)->name;
  return names;
}

}  // namespace

std::string holderName(const FileUpdate& u, std::size_t line) {
  for (std::size_t k = u.doc.items.size(); k-- > 0;) {
    const LwsItem& d = u.doc.items[k];
    if (d.declLine > line) continue;
    if (line >= d.end) return "";  // after the last item's section: scene-level
    // After a bone's own lines come its object's settings.
    const ItemId holder = d.type == ItemType::Bone && line > d.lastOwn ? d.owner : d.id;
    const Item* item = u.scene.find(holder);
    return item ? item->name : "";
  }
  return "";
}

std::string pluginServer(const FileUpdate& u, std::size_t open) {
  const std::vector<std::string_view> head = words(u.doc.lines[open]);
  return head.size() >= 4 ? std::string(head[3]) : std::string("?");
}

// Ids of renumbered items are rewritten; ids of removed items stay as written. Both are
// listed.
std::vector<PluginReference> rewritePluginIds(FileUpdate& u) {
  std::vector<PluginReference> found;
  std::unordered_map<ItemId, std::string> savedNames;  // made when an id first dangles
  for (const auto& [open, close] : u.doc.plugins) {
    if (u.edits.replaced(open)) continue;  // its item was removed
    const std::string plugin = pluginServer(u, open);
    const std::string holder = holderName(u, open);
    for (std::size_t i = open + 1; i < close; ++i) {
      const std::string& text = u.doc.lines[i];
      std::string rewritten;
      std::size_t copied = 0;
      for (std::string_view word : words(text)) {
        if (!looksLikeItemId(word)) continue;
        ItemId id = 0;
        parseHexId(word, id);
        if (!u.doc.byId.count(id)) continue;  // names nothing the file declares
        PluginReference ref;
        ref.line = i + 1;
        ref.plugin = plugin;
        ref.holder = holder;
        ref.named = nameInFile(u, id);
        ref.written = std::string(word);
        ref.now = ref.written;
        if (!u.scene.find(id)) {
          ref.dangling = true;
          if (savedNames.empty()) savedNames = namesBySavedId(u);
          const auto now = savedNames.find(id);
          if (now != savedNames.end()) ref.namesNow = now->second;
          found.push_back(ref);
          continue;
        }
        if (u.cx.ids(id) == id) continue;
        const bool lower =
            std::any_of(word.begin(), word.end(), [](char c) { return c >= 'a' && c <= 'f'; });
        ref.now = hexId(u.cx.ids(id), !lower && (u.doc.upperHex || word.find_first_of("ABCDEF") !=
                                                                       std::string_view::npos));
        const std::size_t at = static_cast<std::size_t>(word.data() - text.data());
        rewritten += text.substr(copied, at - copied) + ref.now;
        copied = at + word.size();
        found.push_back(ref);
      }
      if (copied > 0) u.edits.replace(i, rewritten + text.substr(copied));
    }
  }
  return found;
}

}  // namespace lws
}  // namespace standin
