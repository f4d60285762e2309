// The rig check: what a run did to the rig, from the scene before and after it. Items are
// matched by id (Layout never reuses one), so a bone that was removed and one added under
// the same name stay apart.
#pragma once

#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "runner/rig_deformation.h"
#include "standin/scene/scene.h"

namespace runner {

// One item as the check and the pictures need it, at the snapshot's time.
struct RigItem {
  standin::ItemId id = 0;
  standin::ItemType type = standin::ItemType::Object;
  std::string name;
  standin::ItemId parent = 0;
  standin::Vec3 origin{0, 0, 0};  // world
  standin::Vec3 tip{0, 0, 0};     // world; bones only, the origin for other items
  bool selected = false;
  // Bones only.
  standin::Vec3 restPosition{0, 0, 0};
  standin::Vec3 restRotation{0, 0, 0};  // radians
  double restLength = 0;
  bool active = true;
  standin::ItemId owner = 0;
  double strength = 1;
  bool scaleStrength = true;
  standin::BoneDeformation deformation;

  bool isBone() const { return type == standin::ItemType::Bone; }
};

class RigSnapshot {
public:
  RigSnapshot() = default;
  explicit RigSnapshot(const standin::Scene& scene);
  // The rig at `time`: the current values at the scene's time, the keyed ones elsewhere.
  RigSnapshot(const standin::Scene& scene, double time);

  double time = 0;
  std::vector<RigItem> items;  // in the scene's listing order

  const RigItem* find(standin::ItemId id) const;
  // The diagonal of the box around every item's origin and every bone's tip (0 if none).
  double size() const;

private:
  std::unordered_map<standin::ItemId, std::size_t> index_;
};

// The diagonal of the box from `low` to `high`, kept finite for boxes as wide as doubles
// reach, so that a tolerance taken from it still finds moves.
double boxDiagonal(const standin::Vec3& low, const standin::Vec3& high);

// Moves up to this much are noise: float arithmetic, and what "%g" cannot show anyway.
// Relative to the rig's size, with a floor for a rig that is a single point.
double lengthTolerance(double rigSize);
// Rest rotations, in radians (about 0.0006 degrees).
constexpr double kAngleTolerance = 1e-5;

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
  double distance = 0;  // the larger of the origin's and the tip's moves
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

// An item's largest move over the times the check looked at, and the first time of it.
struct LargestMove {
  standin::ItemId id = 0;
  std::string name;
  double distance = 0;
  double time = 0;
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

  bool empty() const {
    return added.empty() && removed.empty() && reparented.empty() && moved.empty() &&
           restChanged.empty() && renamed.empty() && switched.empty() && settingsChanged.empty() &&
           lostMaps.empty() && deformationNotes.empty() && movedOverTime.empty();
  }
};

// The tolerance comes from the rig's size before the run.
RigChanges compareRigs(const RigSnapshot& before, const RigSnapshot& after);

// Compares the items both scenes have at each of `times` (check_times.h) and lists in
// `changes` each one whose origin or tip moved more than its tolerance at any of them.
void checkOverTime(RigChanges& changes, const standin::Scene& before, const standin::Scene& after,
                   const std::vector<double>& times);
// The same for a rig that had no keys before: `before` held at every time.
void checkOverTime(RigChanges& changes, const RigSnapshot& before, const standin::Scene& after,
                   const std::vector<double>& times);

// {"tolerance", "added", "removed", "reparented", "moved", "restChanged", "renamed",
// "switched"}; positions in metres, rotations in degrees.
nlohmann::json changesToJson(const RigChanges& changes);

// Aligned columns under a "rig check" heading, indented by two spaces.
void printChanges(std::ostream& out, const RigChanges& changes);

// A number in reports: "%g", six significant digits.
std::string numberText(double value);

// "%g" of each coordinate, those within `noise` of zero as 0: "(0.75, 1.52, 0)".
std::string vectorText(const standin::Vec3& v, double noise);

}  // namespace runner
