// The parts of the .lws writer, each in a file of its own: a new file for a scene that has
// none (lws_new_file.cpp), and for a scene read from a file, the edits that bring the file up
// to date (lws_writer.cpp), where new bones go (lws_bone_placement.cpp) and the item ids in
// plug-in data (lws_plugin_ids.cpp). Internal to lws_*.cpp.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "standin/files/lws/lws_document.h"
#include "standin/files/lws/lws_item_lines.h"
#include "standin/files/lws/lws_line_edits.h"
#include "standin/files/lws/lws_writer.h"
#include "standin/scene/scene.h"

namespace standin {
namespace lws {

// The scene as a new version-3 file. `fileIds` gets every scene id the file numbers
// otherwise.
std::string freshFile(const Scene& scene, std::unordered_map<ItemId, ItemId>& fileIds);

// A scene being written over the file it was read from: both, and the edits made so far.
struct FileUpdate {
  FileUpdate(const Scene& scene, const LwsDocument& doc);

  const Scene& scene;
  const LwsDocument& doc;
  Context cx;
  int digits;  // significant digits of the file's key numbers
  LineEdits edits;
  // Per object: its bones in the order they are written. New bones written where a removed
  // bone was: the removed bone's index in the file.
  std::unordered_map<ItemId, std::vector<ItemId>> boneOrder;
  std::unordered_map<ItemId, std::size_t> replaces;

  // Index of the first item after k's whole region (an object's region holds its bones).
  std::size_t regionEnd(std::size_t k) const;
  // The last line of the item's motion (its motion line when it has no channels).
  std::size_t motionEnd(const LwsItem& d) const;
};

// The order each object's bones are written in (FileUpdate::boneOrder, ::replaces).
void orderBones(FileUpdate& u);
// The lines of every bone the file does not have, in the places orderBones gave them.
void placeNewBones(FileUpdate& u);
// Lines first..last of item k's section that set up how Layout moves it, and the plug-in
// blocks there, added to `out`: the item is removed and they go with it.
void listLostSetup(const FileUpdate& u, std::size_t k, std::size_t first, std::size_t last,
                   std::vector<LostSetup>& out);
// The name of the item whose section holds line `line` ("" at scene level).
std::string holderName(const FileUpdate& u, std::size_t line);
// The server name on the Plugin line `open` ("?" when it has none).
std::string pluginServer(const FileUpdate& u, std::size_t open);
// Words in the plug-in sections the file keeps that named an item the save removed, listed,
// or an item the scene renamed, rewritten to the new name and listed.
std::vector<NameReference> followNameReferences(FileUpdate& u);
// Rewrites item ids in the plug-in sections the file keeps; every rewritten and dangling id.
std::vector<PluginReference> rewritePluginIds(FileUpdate& u);

}  // namespace lws
}  // namespace standin
