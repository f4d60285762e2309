// The whole report of `vorrik play` and `vorrik run`: the object files of each scene
// loaded, every run, every saved file, and on a dry run the files not written; as text for
// people or as one JSON document.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "runner/checks/read_back.h"
#include "runner/checks/run_check.h"
#include "runner/report/object_report.h"
#include "standin/scene/scene.h"

namespace runner {

// What a script left to report.
struct ScriptReport {
  const std::vector<SceneObjects>& sceneObjects;
  const std::vector<RunOutcome>& runs;
  const standin::Scene& scene;  // after the last step
  const std::vector<SaveCheck>& saves;
  const std::vector<std::string>* notWritten;  // a dry run's files; null when not a dry run
};

void printScriptReport(std::ostream& out, const ScriptReport& report);

// reportJson's document with "saves", "sceneObjects" and, on a dry run, "notWritten".
nlohmann::json scriptReportJson(const ScriptReport& report);

}  // namespace runner
