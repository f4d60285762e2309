// Writes a stand-in scene as a LightWave Layout scene file (.lws).
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "standin/files/base/scene_file_error.h"
#include "standin/scene/scene.h"

namespace standin {

// An item id inside a plug-in section of the file: bare words of 8 hex digits that name an
// item the file declares.
struct PluginReference {
  std::size_t line = 0;   // 1-based, in the file as read
  std::string plugin;     // the server name on the Plugin line
  std::string holder;     // the item whose section holds the plug-in ("" at scene level)
  std::string named;      // the item the id named when the file was read
  std::string written;    // the id as the file had it
  std::string now;        // as saved: the item's new number, or `written` when dangling
  bool dangling = false;  // the item it named is gone: the id was kept as it was
  // Dangling ids: the item the number names in the saved file, which a plug-in reading it
  // would take ("" when it names none).
  std::string namesNow;
};

// A word in plug-in data (an expression, a motion-mixer channel name) that was the name of an
// item the save removed and names no item in the saved file, or of an item renamed since.
struct NameReference {
  std::size_t line = 0;  // 1-based, in the file as read
  std::string plugin;    // the server name on the Plugin line
  std::string holder;    // the item whose section holds the plug-in ("" at scene level)
  std::string name;      // the name as the file has it
  std::string now;       // the new name written in its place, its item renamed; "" when
                         // its item was removed and the name names nothing
};

// A line or plug-in block of a removed item's own that the save drops with it: how Layout
// moved the item (IK, controllers, limits, locked channels, goal, target) or a plug-in.
struct LostSetup {
  std::string item;  // the removed item
  std::size_t line;  // 1-based, in the file as read
  std::string text;  // the line, or the block's Plugin line
};

struct LwsSaved {
  std::string text;
  // Every id that was rewritten because its item was renumbered, and every dangling one.
  std::vector<PluginReference> references;
  // Scene id -> the id the file gives the item where they differ (version 3 numbering).
  std::unordered_map<ItemId, ItemId> fileIds;
  // What removed items took with them, in file order.
  std::vector<LostSetup> lostSetup;
  // Names in plug-in data left naming nothing, in file order.
  std::vector<NameReference> nameReferences;
};

// sceneToLws, with what the saving did to item ids.
LwsSaved saveLws(const Scene& scene);

// A scene read from a .lws file (Scene::source) is written in that file's version, line
// for line, with only what the stand-in models brought up to date: motion, hierarchy,
// pivots, bone values, and bones added or removed. Other scenes are written as version 3.
// Throws SceneFileError for what the file cannot take: objects, lights or cameras added to
// a read scene, the last object, light or camera of a read scene removed, a line break
// in a name, or a bone rest scale other than 1 (no .lws line holds one).
std::string sceneToLws(const Scene& scene);

}  // namespace standin
