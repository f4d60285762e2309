// The rig check's findings as the report prints them, and as JSON.
#pragma once

#include <ostream>

#include <nlohmann/json.hpp>

#include "runner/checks/rig_changes.h"

namespace runner {

// {"tolerance", "timesChecked", "movedOverTime", "added", "removed", "reparented", "moved",
// "restChanged", "renamed", "switched", "addedSettings", "settingsChanged", "lostWeightMaps",
// "deformationNotes"}, and for the tools with a rule of what they are asked to change
// "intended" [{"name", "distance", "time", "why"}]; positions in metres, rotations in degrees.
nlohmann::json changesToJson(const RigChanges& changes);

// Aligned columns under a "rig check" heading, indented by two spaces.
void printChanges(std::ostream& out, const RigChanges& changes);

}  // namespace runner
