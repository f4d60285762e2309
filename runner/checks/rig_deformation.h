// The deformation side of the rig check: the settings of bones added by a run, settings
// that changed on bones that stayed, weight maps that no bone uses any more, and the cases
// where the bones that replace one cannot deform its points as it did. It reads the two
// snapshots and fills the deformation lists of the rig check's findings; nothing else of
// the rig check.
#pragma once

#include <string>

#include "runner/checks/rig_changes.h"
#include "runner/checks/rig_snapshot.h"

namespace runner {

constexpr const char* kDefaultSettings = "default settings";

// The settings that differ from a new bone's, as one line; kDefaultSettings when none.
std::string settingsText(const RigItem& bone);

// Fills the deformation lists of `changes` and the settings of its added bones, from its
// added and removed items.
void compareDeformation(const RigSnapshot& before, const RigSnapshot& after, RigChanges& changes);

// The text for a lost map, as the rig check and --check print it.
std::string lostMapText(const LostMap& lost);

}  // namespace runner
