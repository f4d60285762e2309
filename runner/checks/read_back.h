// The saved file read back: what it holds compared with the live scene, channel by channel,
// at the times the rig check looks at.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "standin/files/lws/lws_writer.h"
#include "standin/scene/scene.h"

namespace runner {

struct SavedDifference {
  std::string item;
  std::string channel;  // "position x", "heading", ..., or "item" when the file lacks it
  double time = 0;
  double live = 0, saved = 0;  // metres, degrees or scale factors
  std::string reason;          // "" when not known
};

// One file a `save` step wrote (or would write).
struct SaveCheck {
  int line = 0;
  std::string path;
  std::vector<standin::PluginReference> references;  // .lws only
  std::vector<standin::LostSetup> lostSetup;         // .lws only: what removed items took
  std::vector<standin::NameReference> names;         // .lws only: names followed or orphaned
  std::vector<SavedDifference> differences;
  std::string unreadable;  // why the text could not be read back; "" when it could
  // Object files of in-memory meshes that go beside the scene (script/mesh_files.h), with the
  // objects they are for; `written` is false for one that is there already.
  struct ObjectFile {
    std::string path, objects;
    bool written = true;
  };
  std::vector<ObjectFile> objectFiles;

  bool dangling() const;
  // Names in plug-in data that name no item now (a rename followed is not counted).
  std::size_t orphanedNames() const;
  bool failed() const {
    return dangling() || !lostSetup.empty() || orphanedNames() > 0 || !differences.empty() ||
           !unreadable.empty();
  }
};

// "400c0000 names L_Foot now: its old bone L_Shin was removed", for a dangling id whose
// number names another item in the saved file.
std::string switchedReferenceText(const standin::PluginReference& ref);

// The scene as a file at `path` (.lws or JSON), read back and compared with `live`.
// Throws standin::SceneFileError when the scene cannot be written, or when a plug-in would
// follow a removed item's number to another item, unless `letReferencesSwitch`.
SaveCheck saveAndReadBack(const standin::Scene& live, const std::string& path, std::string& text,
                          bool letReferencesSwitch = false);

// Compares `saved`, read from the text written for `live`, with it. `fileIds` maps the live
// scene's ids to the file's where they differ; `byName` matches items by name instead.
std::vector<SavedDifference> compareSaved(
    const standin::Scene& live, const standin::Scene& saved,
    const std::unordered_map<standin::ItemId, standin::ItemId>& fileIds, bool byName);

}  // namespace runner
