// What the rig check finds a run did to the rig: plain lists, in the scene's listing order,
// that the reports print and the --check verdict reads.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "standin/scene/scene.h"

namespace runner {

struct Added {
  standin::ItemId id = 0;
  std::string name, under;  // under: the parent's name, "" for none
  std::string settings;     // bones: their deformation settings (settingsText)
};
struct Removed {
  standin::ItemId id = 0;
  std::string name;
};
struct Reparented {
  standin::ItemId id = 0;
  std::string name, from, to;  // "" for no parent
};
struct Moved {
  standin::ItemId id = 0;
  std::string name;
  bool isBone = false;  // only bones have a tip
  standin::Vec3 originBefore, originAfter, tipBefore, tipAfter;
  double distance = 0;    // the larger of the origin's and the tip's moves
  bool intended = false;  // the run was asked to move it (listed in `intended` too)
};
// One rest value of a bone that changed: "position", "rotation" (degrees) or "length".
struct RestValueChange {
  std::string field;
  std::vector<double> before, after;
};
struct RestChanged {
  standin::ItemId id = 0;
  std::string name;
  std::vector<RestValueChange> values;
};
struct Renamed {
  standin::ItemId id = 0;
  std::string from, to;
};
struct Switched {
  standin::ItemId id = 0;
  std::string name;
  bool active = true;  // after the run
};

// One deformation setting as text before and after ("weight map", "'Arm'", "(none)").
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
// is loaded (run_check.h counts them).
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

// An item's largest move over the times the check looked at, and the first time of it.
struct LargestMove {
  standin::ItemId id = 0;
  std::string name;
  double distance = 0;
  double time = 0;
};

// A move or rest change the run's tool was asked to make (run_intent.h): listed, not failed.
struct IntendedChange {
  standin::ItemId id = 0;
  std::string name;
  double distance = 0;  // the largest move; 0 for a rest change alone
  double time = 0;      // the first time of that move
  std::string why;      // "pasted at 1 s (moves between 0.5 s and 2 s)"
};

// Every list is in the scene's listing order.
struct RigChanges {
  double tolerance = 0;
  std::vector<Added> added;
  std::vector<Removed> removed;
  std::vector<Reparented> reparented;
  std::vector<Moved> moved;
  std::vector<RestChanged> restChanged;
  std::vector<Renamed> renamed;
  std::vector<Switched> switched;
  std::vector<SettingsChanged> settingsChanged;
  std::vector<LostMap> lostMaps;
  std::vector<DeformationNote> deformationNotes;
  // Over the animation (checkOverTime): the times looked at, and the items that moved at
  // any of them.
  std::size_t timesChecked = 1;
  std::vector<LargestMove> movedOverTime;
  // Set for the tools that have a rule of what they are asked to change.
  bool intentApplies = false;
  std::vector<IntendedChange> intended;

  bool empty() const {
    return added.empty() && removed.empty() && reparented.empty() && moved.empty() &&
           restChanged.empty() && renamed.empty() && switched.empty() && settingsChanged.empty() &&
           lostMaps.empty() && deformationNotes.empty() && movedOverTime.empty() &&
           intended.empty();
  }
};

}  // namespace runner
