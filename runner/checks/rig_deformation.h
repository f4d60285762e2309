// The deformation side of the rig check: the settings of bones added by a run, settings
// that changed on bones that stayed, weight maps that no bone uses any more, and the cases
// where the bones that replace one cannot deform its points as it did.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "standin/scene/scene.h"

namespace runner {

struct RigItem;
class RigSnapshot;
struct RigChanges;

// One setting as text before and after ("weight map", "'Arm'", "(none)").
struct SettingChange {
  std::string field, before, after;
};
struct SettingsChanged {
  standin::ItemId id = 0;
  std::string name;
  std::vector<SettingChange> values;
};
// A weight map of an object that some active bone used before the run and no active bone
// uses after it. `points` (the points with a weight in it) is known once the object's mesh
// is loaded (mesh_check.h counts them).
struct LostMap {
  std::string object, map;
  standin::ItemId objectId = 0;
  bool pointsCounted = false;
  std::size_t points = 0;
};
// Where a bone's replacements cannot deform its points as it did.
struct DeformationNote {
  std::string bone, text;
};

constexpr const char* kDefaultSettings = "default settings";

// The settings that differ from a new bone's, as one line; kDefaultSettings when none.
std::string settingsText(const RigItem& bone);

// Fills the deformation lists of `changes` and the settings of added bones.
void compareDeformation(const RigSnapshot& before, const RigSnapshot& after, RigChanges& changes);

// "settingsChanged", "lostWeightMaps", "deformationNotes" and "addedSettings" entries.
void deformationToJson(const RigChanges& changes, nlohmann::json& out);

// Rows for the rig check's table.
std::vector<std::vector<std::string>> deformationRows(const RigChanges& changes);

// The text for a lost map, as the rig check and --check print it.
std::string lostMapText(const LostMap& lost);

}  // namespace runner
