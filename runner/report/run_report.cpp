#include "runner/report/run_report.h"

#include <iomanip>
#include <sstream>

#include "runner/report/mesh_check_report.h"
#include "runner/report/rig_check_report.h"
#include "standin/files/json/scene_json.h"

namespace runner {

namespace {

nlohmann::json controlToJson(const standin::ControlRecord& control) {
  nlohmann::json json = {{"kind", control.kind}, {"label", control.label}};
  nlohmann::json descriptor = {{"type", control.descriptorType}};
  if (control.kind == "ChoiceControl") {
    descriptor["items"] = control.choices;
    descriptor["vertical"] = control.vertical;
  } else if (control.descriptorType == LWT_RANGE) {
    descriptor["min"] = control.rangeMin;
    descriptor["max"] = control.rangeMax;
  } else if (control.kind == "LWListControl") {
    descriptor["itemType"] = control.itemType;
  }
  json["descriptor"] = descriptor;
  nlohmann::json placement = nlohmann::json::object();
  for (const auto& entry : control.placement) {
    const char* name = entry.first == CTL_X ? "x" : entry.first == CTL_Y ? "y" : "other";
    placement[name] = entry.second;
  }
  json["placement"] = placement;
  json["valueSets"] = control.valueSets;
  if (control.isFloat) {
    json["value"] = control.value;
  } else if (control.kind == "LWListControl") {
    json["value"] = standin::idText(static_cast<standin::ItemId>(control.value));
  } else {
    json["value"] = static_cast<long long>(control.value);
  }
  return json;
}

// The name of the item a command named by its id, when the scene still has it.
std::string nameOfArgument(const standin::CommandRecord& command, const standin::Scene& scene,
                           const RigSnapshot& before) {
  if (command.item == 0) return "";
  if (const standin::Item* item = scene.find(command.item)) return item->name;
  const RigItem* old = before.find(command.item);
  return old ? old->name + " (removed)" : "(removed)";
}

}  // namespace

nlohmann::json runToJson(const standin::RunRecord& record) {
  nlohmann::json commands = nlohmann::json::array();
  for (const auto& command : record.commands) {
    nlohmann::json entry = {{"text", command.text}, {"ok", command.ok}};
    if (!command.ok) entry["why"] = command.why;
    commands.push_back(entry);
  }
  nlohmann::json messages = nlohmann::json::array();
  for (const auto& message : record.messages) {
    nlohmann::json entry = {{"kind", message.kind}, {"text", message.text}};
    if (!message.title.empty()) entry["title"] = message.title;
    if (message.kind != "info" && message.kind != "error" && message.kind != "warning") {
      entry["result"] = message.result;
    }
    messages.push_back(entry);
  }
  nlohmann::json dialogs = nlohmann::json::array();
  for (const auto& dialog : record.dialogs) {
    nlohmann::json controls = nlohmann::json::array();
    for (const auto& control : dialog.controls) controls.push_back(controlToJson(control));
    dialogs.push_back({{"title", dialog.title},
                       {"opened", dialog.opened},
                       {"openFlags", dialog.openFlags},
                       {"ok", dialog.ok},
                       {"controls", controls}});
  }
  return {{"server", record.server}, {"result", record.result}, {"commands", commands},
          {"trace", record.trace},   {"messages", messages},    {"dialogs", dialogs}};
}

nlohmann::json reportJson(const std::vector<RunOutcome>& runs, const standin::Scene& scene) {
  nlohmann::json list = nlohmann::json::array();
  for (const RunOutcome& run : runs) {
    nlohmann::json entry = runToJson(run.record);
    entry["changes"] = changesToJson(run.changes);
    entry["meshCheck"] = meshCheckToJson(run.meshes);
    entry["autoKeyed"] = run.autoKeyed;
    list.push_back(entry);
  }
  return {{"runs", list}, {"scene", standin::sceneToJsonValue(scene)}};
}

void printReport(std::ostream& out, const std::vector<RunOutcome>& runs,
                 const standin::Scene& scene) {
  if (runs.empty()) out << "no tool was run\n";
  for (const RunOutcome& run : runs) printRun(out, run, scene);
}

void printRun(std::ostream& out, const RunOutcome& run, const standin::Scene& scene) {
  const standin::RunRecord& record = run.record;
  out << record.server;
  if (run.line > 0) out << "  (script line " << run.line << ")";
  out << "\n";
  for (const auto& dialog : record.dialogs) {
    out << "  dialog   \"" << dialog.title << "\" -> " << (dialog.ok ? "OK" : "Cancel") << "\n";
    for (const auto& control : dialog.controls) {
      std::ostringstream value;
      if (control.kind == "LWListControl") {
        const auto id = static_cast<standin::ItemId>(control.value);
        const standin::Item* item = scene.find(id);
        value << (id == 0 ? std::string("(none)") : item ? item->name : standin::idText(id));
      } else if (control.kind == "ChoiceControl") {
        const auto index = static_cast<long long>(control.value);
        value << index;
        if (index >= 0 && static_cast<std::size_t>(index) < control.choices.size()) {
          value << " \"" << control.choices[static_cast<std::size_t>(index)] << "\"";
        }
      } else {
        value << control.value;
      }
      // A kind as long as the column still gets a space after it.
      out << "           " << std::left << std::setw(16) << (control.kind + " ") << std::setw(28)
          << ("\"" + control.label + "\"") << " " << value.str() << "\n";
    }
  }
  for (const auto& message : record.messages) {
    out << "  message  " << message.kind << " \"" << message.text << "\"";
    if (!message.title.empty()) out << " (title \"" << message.title << "\")";
    if (message.kind == "okCancel") out << " -> " << (message.result ? "OK" : "Cancel");
    out << "\n";
  }
  if (record.commands.empty()) out << "  no commands\n";
  for (const auto& command : record.commands) {
    const std::string name = nameOfArgument(command, scene, run.before);
    out << "  " << (command.ok ? "ok       " : "REFUSED  ");
    if (name.empty()) {
      out << command.text;
    } else {
      out << std::left << std::setw(34) << command.text << "  " << name;
    }
    if (!command.ok) out << "  (" << command.why << ")";
    out << "\n";
  }
  out << "  result   " << record.result << "\n";
  if (run.autoKeyed > 0) {
    out << "  auto key " << run.autoKeyed << (run.autoKeyed == 1 ? " channel" : " channels")
        << " keyed at " << run.after.time << " s\n";
  }
  printChanges(out, run.changes);
  printMeshCheck(out, run.meshes);
}

}  // namespace runner
