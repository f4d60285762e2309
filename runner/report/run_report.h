// What the runner prints of each run: a readable report for people, or JSON.
#pragma once

#include <ostream>
#include <vector>

#include <nlohmann/json.hpp>

#include "runner/checks/run_check.h"
#include "standin/layout/stand_in.h"
#include "standin/scene/scene.h"

namespace runner {

nlohmann::json runToJson(const standin::RunRecord& record);
// {"runs": [...], "scene": <final scene>}
nlohmann::json reportJson(const std::vector<RunOutcome>& runs, const standin::Scene& scene);

// Per run: the server, each command (refused ones marked), messages, dialogs, the result
// and the rig check. `scene` names the items that command arguments refer to, where it
// still has them.
void printReport(std::ostream& out, const std::vector<RunOutcome>& runs,
                 const standin::Scene& scene);
void printRun(std::ostream& out, const RunOutcome& run, const standin::Scene& scene);

}  // namespace runner
