#include "runner/script/script_runner.h"

#include <algorithm>

#include "runner/checks/mesh_check.h"
#include "runner/pictures/rig_picture.h"
#include "runner/script/mesh_files.h"
#include "standin/files/base/file_batch.h"
#include "standin/files/demo_rig.h"
#include "standin/files/scene_file.h"
#include "standin/scene/auto_key.h"
#include "standin/scene/deformation.h"

namespace runner {

namespace {

std::string atLine(int line, const std::string& message) {
  return "line " + std::to_string(line) + ": " + message;
}

// The stand-in answers of a run request ("percent" feeds the percent control, ...).
standin::Answers answersFor(const RunRequest& request) {
  standin::Answers answers;
  answers.ok = !request.cancel;
  for (const Answer& answer : request.answers) {
    if (answer.key == "percent") answers.values["PercentControl"] = answer.value;
    if (answer.key == "item") answers.values["LWListControl"] = answer.value;
    if (answer.key == "action") answers.values["ChoiceControl"] = answer.value;
    if (answer.key == "count") answers.values["MiniSliderControl"] = answer.value;
    // The dialog offers the axes as X, Y and Z; the script checked the answer is x, y or z.
    if (answer.key == "axis") {
      answers.values["ChoiceControl"] = answer.value == "x" ? "X" : answer.value == "y" ? "Y" : "Z";
    }
  }
  return answers;
}

// A numbered `action` must name one of the choices the dialog offered; the stand-in passes
// any int on, as Layout's own control could not.
void checkChoiceAnswer(const standin::RunRecord& record, const Step& step) {
  const auto answer = std::find_if(step.run.answers.begin(), step.run.answers.end(),
                                   [](const Answer& a) { return a.key == "action"; });
  if (answer == step.run.answers.end()) return;
  for (const standin::DialogRecord& dialog : record.dialogs) {
    if (!dialog.opened || !dialog.ok) continue;
    for (const standin::ControlRecord& control : dialog.controls) {
      if (control.kind != "ChoiceControl" || control.choices.empty()) continue;
      const double count = static_cast<double>(control.choices.size());
      if (control.value >= 0 && control.value < count) continue;
      std::string message = "action=" + answer->value + " is not one of the " +
                            std::to_string(control.choices.size()) + " choices (0 to " +
                            std::to_string(control.choices.size() - 1) + ":";
      for (const std::string& choice : control.choices) message += " \"" + choice + "\"";
      throw InputError(atLine(step.line, message + ")"));
    }
  }
}

}  // namespace

ScriptRunner::ScriptRunner(const std::string& modulePath) { standIn_.loadModule(modulePath); }

void ScriptRunner::runSteps(const std::vector<Step>& steps) {
  for (const Step& step : steps) runStep(step);
}

void ScriptRunner::runStep(const Step& step) {
  standin::Scene& scene = standIn_.scene();
  switch (step.kind) {
    case Step::Kind::Load: load(step); break;
    case Step::Kind::Demo:
      scene = standin::demoRig();
      if (autoKeyCreate_ >= 0) scene.autoKeyCreate = autoKeyCreate_;
      latestRunIsCurrent_ = false;
      break;
    case Step::Kind::Time:
      scene.setTime(step.time);
      latestRunIsCurrent_ = false;
      break;
    case Step::Kind::Select: select(step); break;
    case Step::Kind::Run: run(step); break;
    case Step::Kind::Save: save(step); break;
    case Step::Kind::Draw: files_.push_back({step.path, picture(step.title, step.line)}); break;
  }
}

void ScriptRunner::load(const Step& step) {
  standin::Scene& scene = standIn_.scene();
  try {
    scene = standin::loadSceneFile(step.path);
  } catch (const standin::SceneFileError& error) {
    throw InputError(atLine(step.line, error.what()));
  }
  if (autoKeyCreate_ >= 0) scene.autoKeyCreate = autoKeyCreate_;
  // Missing or bad object files leave their objects without a mesh, and say so.
  sceneObjects_.push_back(
      {step.line, step.path, standin::loadObjectMeshesFor(scene, step.path, contentFolder_), {}});
  for (const standin::UnmodelledDeformation& kind : standin::unmodelledDeformation(scene)) {
    sceneObjects_.back().notModelled.push_back(kind.text());
  }
  latestRunIsCurrent_ = false;
}

void ScriptRunner::select(const Step& step) {
  standin::Scene& scene = standIn_.scene();
  std::vector<standin::ItemId> ids;
  for (const std::string& name : step.names) {
    const standin::ItemId id = scene.findByName(name);
    if (id == 0) throw InputError(atLine(step.line, "no item named \"" + name + "\""));
    ids.push_back(id);
  }
  scene.clearSelection();
  for (standin::ItemId id : ids) scene.addToSelection(id);
}

void ScriptRunner::run(const Step& step) {
  standin::Scene& scene = standIn_.scene();
  SceneBefore before(scene);
  meshesBeforeLatestRun_ = hasLoadedMesh(scene) ? MeshSnapshot(scene) : MeshSnapshot();
  standin::RunRecord record = standIn_.activate("Vorrik:" + step.run.tool, answersFor(step.run));
  if (!record.activated) {
    throw InputError(atLine(step.line, "the module has no server Vorrik:" + step.run.tool));
  }
  if (!record.answerError.empty()) {
    throw InputError(atLine(step.line, "bad answer: " + record.answerError));
  }
  const std::size_t autoKeyed = standin::keyAutoCreated(scene);
  checkChoiceAnswer(record, step);
  RunFindings findings = checkRun(std::move(before), scene, record);
  runs_.push_back(RunOutcome{std::move(findings), step.line, std::move(record), autoKeyed});
  latestRunIsCurrent_ = true;
}

void ScriptRunner::save(const Step& step) {
  const standin::Scene& scene = standIn_.scene();
  try {
    std::string text;
    SaveCheck check = saveAndReadBack(scene, step.path, text, letReferencesSwitch_);
    check.line = step.line;
    std::vector<MeshFile> meshFiles;
    try {
      meshFiles = meshFilesBeside(scene, step.path);
    } catch (const MeshFileError& error) {
      throw InputError(atLine(step.line, "cannot save " + step.path + ": " + error.what()));
    }
    saves_.push_back(std::move(check));
    files_.push_back({step.path, std::move(text)});
    for (MeshFile& file : meshFiles) {
      saves_.back().objectFiles.push_back({file.path, file.objects, !file.bytes.empty()});
      if (!file.bytes.empty()) files_.push_back({file.path, std::move(file.bytes)});
    }
  } catch (const standin::SceneFileError& error) {
    throw InputError(atLine(step.line, error.what()));
  }
}

std::string ScriptRunner::picture(const std::string& title, int line) const {
  const RigSnapshot now(scene());
  const MeshSnapshot meshesNow(scene());
  if (latestRunIsCurrent_) {
    const RunOutcome& run = runs_.back();
    std::string heading = run.record.server;
    if (run.line > 0) heading += "  (script line " + std::to_string(run.line) + ")";
    if (!title.empty()) heading = title + "  -  " + heading;
    // Only the selection can have changed since the run: the changes still hold.
    return rigSvg(run.before, now, run.changes, heading, meshesBeforeLatestRun_, meshesNow);
  }
  std::string heading = title;
  if (heading.empty()) {
    heading = line > 0 ? "the rig at script line " + std::to_string(line) : "the rig";
  }
  return rigSvg(now, heading, meshesNow);
}

void ScriptRunner::protectFile(const std::string& path, const std::string& why) {
  protected_.push_back({path, why});
}

void ScriptRunner::writeFiles() const {
  standin::FileBatch batch;
  for (const auto& [path, why] : protected_) batch.protect(path, why);
  for (const PendingFile& file : files_) batch.add(file.path, file.text);
  try {
    batch.commit();
  } catch (const standin::FileWriteError& error) {
    throw InputError(error.what());
  }
}

}  // namespace runner
