// The rig check: what a run did to the rig, from the scene before and after it. Items are
// matched by id (Layout never reuses one), so a bone that was removed and one added under
// the same name stay apart.
#pragma once

#include <vector>

#include "runner/checks/rig_changes.h"
#include "runner/checks/rig_snapshot.h"
#include "runner/checks/run_intent.h"
#include "standin/scene/scene.h"

namespace runner {

// The tolerance comes from the rig's size before the run.
RigChanges compareRigs(const RigSnapshot& before, const RigSnapshot& after);

// Compares the items both scenes have at each of `times` (check_times.h) and lists in
// `changes` each one whose origin or tip moved more than its tolerance at any of them. Moves
// that `intent` asked for go to `changes.intended` instead (their `why` left empty).
void checkOverTime(RigChanges& changes, const standin::Scene& before, const standin::Scene& after,
                   const std::vector<double>& times, const RunIntent* intent = nullptr);
// The same for a rig that had no keys before: `before` held at every time.
void checkOverTime(RigChanges& changes, const RigSnapshot& before, const standin::Scene& after,
                   const std::vector<double>& times, const RunIntent* intent = nullptr);

}  // namespace runner
