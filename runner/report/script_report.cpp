#include "runner/report/script_report.h"

#include "runner/report/run_report.h"
#include "runner/report/save_report.h"

namespace runner {

void printScriptReport(std::ostream& out, const ScriptReport& report) {
  printSceneObjects(out, report.sceneObjects);
  printReport(out, report.runs, report.scene);
  for (const SaveCheck& save : report.saves) printSaveCheck(out, save);
  if (report.notWritten && !report.notWritten->empty()) {
    out << "dry run: not written:";
    for (const std::string& path : *report.notWritten) out << " " << path;
    out << "\n";
  }
}

nlohmann::json scriptReportJson(const ScriptReport& report) {
  nlohmann::json json = reportJson(report.runs, report.scene);
  nlohmann::json saves = nlohmann::json::array();
  for (const SaveCheck& save : report.saves) saves.push_back(saveCheckToJson(save));
  json["saves"] = saves;
  if (report.notWritten) json["notWritten"] = *report.notWritten;
  json["sceneObjects"] = sceneObjectsJson(report.sceneObjects);
  return json;
}

}  // namespace runner
