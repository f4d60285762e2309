// Items named by name in plug-in data: expressions ("rig.L_Shin.rot(Time).p"), the motion
// mixer's item and channel names ("rig.L_Shin.Position.X"), any other plug-in text. A word
// of such text that was the name of an item the save removed, and is the name of no item
// left, names nothing once the file is saved; each is listed. A word that was the name of an
// item renamed since, and of no other item, is rewritten to the new name and listed. Words
// are runs of letters, digits and the characters names usually hold ("_", "-", ":"), so a
// name with a space or a dot in it is not recognised.
#include <unordered_map>
#include <unordered_set>

#include "standin/files/lws/lws_writer_parts.h"

namespace standin {
namespace lws {
namespace {

bool isNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

// The file's names that name nothing after the save ("" for each), and those to follow to a
// new name. A name two items had that went different ways is not followed; one a kept item
// still has, or has now in place of a removed one, is left alone.
std::unordered_map<std::string, std::string> namesToFollow(const FileUpdate& u) {
  std::unordered_map<std::string, std::string> follow;
  std::unordered_set<std::string> kept;
  for (ItemId id : u.scene.allItems()) kept.insert(u.scene.find(id)->name);
  for (const LwsItem& d : u.doc.items) {
    const Item* item = u.scene.find(d.id);
    if (item && item->name == d.name) continue;
    const std::string now = item ? item->name : std::string();
    const auto [at, added] = follow.emplace(d.name, now);
    if (!added && at->second != now) at->second.clear();
  }
  for (const LwsItem& d : u.doc.items) {
    const Item* item = u.scene.find(d.id);
    if (item && item->name == d.name) follow.erase(d.name);
  }
  for (const std::string& name : kept) {
    const auto at = follow.find(name);
    if (at != follow.end() && at->second.empty()) follow.erase(at);
  }
  return follow;
}

}  // namespace

std::vector<NameReference> followNameReferences(FileUpdate& u) {
  const std::unordered_map<std::string, std::string> follow = namesToFollow(u);
  if (follow.empty()) return {};
  std::vector<NameReference> found;
  for (const auto& [open, close] : u.doc.plugins) {
    if (u.edits.replaced(open)) continue;  // its item was removed, and the block with it
    const std::string plugin = pluginServer(u, open);
    const std::string holder = holderName(u, open);
    for (std::size_t i = open + 1; i < close; ++i) {
      // After the ids in it are brought up to date.
      const std::string text = u.edits.text(u.doc, i);
      std::string rewritten;
      std::size_t copied = 0;
      for (std::size_t at = 0; at < text.size();) {
        if (!isNameCharacter(text[at])) {
          ++at;
          continue;
        }
        std::size_t end = at;
        while (end < text.size() && isNameCharacter(text[end])) ++end;
        const auto named = follow.find(text.substr(at, end - at));
        if (named != follow.end()) {
          found.push_back({i + 1, plugin, holder, named->first, named->second});
          if (!named->second.empty()) {
            rewritten += text.substr(copied, at - copied) + named->second;
            copied = end;
          }
        }
        at = end;
      }
      if (copied > 0) u.edits.replace(i, rewritten + text.substr(copied));
    }
  }
  return found;
}

}  // namespace lws
}  // namespace standin
