// Items named by name in plug-in data: expressions ("rig.L_Shin.rot(Time).p"), the motion
// mixer's item and channel names ("rig.L_Shin.Position.X"), any other plug-in text. A word
// of such text that was the name of an item the save removed, and is the name of no item
// left, names nothing once the file is saved; each is listed. Words are runs of letters,
// digits and the characters names usually hold ("_", "-", ":"), so a name with a space or a
// dot in it is not recognised.
#include <string_view>
#include <unordered_set>

#include "standin/files/lws/lws_text.h"
#include "standin/files/lws/lws_writer_parts.h"

namespace standin {
namespace lws {
namespace {

bool isNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

}  // namespace

std::vector<NameReference> findNameReferences(const FileUpdate& u) {
  std::unordered_set<std::string> removed, kept;
  for (const LwsItem& d : u.doc.items) {
    if (!u.scene.find(d.id)) removed.insert(d.name);
  }
  if (removed.empty()) return {};
  for (ItemId id : u.scene.allItems()) kept.insert(u.scene.find(id)->name);
  for (const std::string& name : kept) removed.erase(name);

  std::vector<NameReference> found;
  for (const auto& [open, close] : u.doc.plugins) {
    if (u.edits.replaced(open)) continue;  // its item was removed, and the block with it
    const std::vector<std::string_view> head = words(u.doc.lines[open]);
    const std::string plugin = head.size() >= 4 ? std::string(head[3]) : std::string("?");
    for (std::size_t i = open + 1; i < close; ++i) {
      const std::string_view text = u.doc.lines[i];
      for (std::size_t at = 0; at < text.size();) {
        if (!isNameCharacter(text[at])) {
          ++at;
          continue;
        }
        std::size_t end = at;
        while (end < text.size() && isNameCharacter(text[end])) ++end;
        const std::string word(text.substr(at, end - at));
        if (removed.count(word)) found.push_back({i + 1, plugin, holderName(u, open), word});
        at = end;
      }
    }
  }
  return found;
}

}  // namespace lws
}  // namespace standin
