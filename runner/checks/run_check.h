// The check of a run, in one place: the scene as the run found it goes in before the run,
// the scene as it left it after, and out come the findings (the rig, its animation, its
// meshes). The --check verdict then reads the findings of every run and the saved files.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "runner/checks/mesh_check.h"
#include "runner/checks/read_back.h"
#include "runner/checks/rig_changes.h"
#include "runner/checks/rig_snapshot.h"
#include "standin/layout/stand_in.h"
#include "standin/scene/scene.h"

namespace runner {

// What the check found of one run.
struct RunFindings {
  RigSnapshot before, after;
  RigChanges changes;
  MeshCheck meshes;  // loaded meshes before and after, at the rig check's times
};

// What the check keeps of the scene before a run: the rig as it stands, and a copy of the
// scene where the check needs one (a keyed scene for the rig at other times; a scene with a
// loaded mesh for the mesh check, since copying a scene copies no mesh points).
class SceneBefore {
public:
  explicit SceneBefore(const standin::Scene& scene);

private:
  friend RunFindings checkRun(SceneBefore before, const standin::Scene& after,
                              const standin::RunRecord& record);
  RigSnapshot rig_;
  std::optional<standin::Scene> keyed_;    // the scene, when it has keys
  std::optional<standin::Scene> unkeyed_;  // the scene, when it has no keys but a mesh
};

// Compares the rig before the run with `after` at the current time and, for a keyed rig,
// at the times check_times.h picks (over the animation the rig is what its file will hold:
// current values in the keys a save puts them in); then the loaded meshes at those times,
// and the points of the weight maps that lost their bones. What the run's tool was asked
// to change (run_intent.h, from `record`) is listed as intended rather than as moved.
RunFindings checkRun(SceneBefore before, const standin::Scene& after,
                     const standin::RunRecord& record = {});

// Counts the points of each lost weight map whose object has a loaded mesh in `scene`.
void countLostMapPoints(const standin::Scene& scene, std::vector<LostMap>& lost);

// One `run` step: what the stand-in recorded for it, and what the check found.
struct RunOutcome : RunFindings {
  int line = 0;  // 0: not from a script file (the demo)
  standin::RunRecord record;
  std::size_t autoKeyed = 0;  // channels keyed by the scene's auto key create option
};

// The --check verdict: "" when every run and saved file passes, else one line saying why
// not, for the first failure in this order: a weight map that no active bone uses any
// more, items a run moved that it did not add or remove, a mesh point a run moved, a saved
// file that does not hold the scene.
std::string checkVerdict(const std::vector<RunOutcome>& runs, const std::vector<SaveCheck>& saves);

}  // namespace runner
