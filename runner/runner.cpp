#include "runner/runner.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "runner/check_times.h"
#include "runner/mesh_files.h"
#include "runner/svg.h"
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

void writeTextFile(const std::string& path, const std::string& text) {
  standin::FileBatch batch;
  batch.add(path, text);
  try {
    batch.commit();
  } catch (const standin::FileWriteError& error) {
    throw InputError(error.what());
  }
}

standin::Answers answersFor(const RunRequest& request) {
  standin::Answers answers;
  answers.ok = !request.cancel;
  for (const Answer& answer : request.answers) {
    if (answer.key == "percent") answers.values["PercentControl"] = answer.value;
    if (answer.key == "item") answers.values["LWListControl"] = answer.value;
    if (answer.key == "action") answers.values["ChoiceControl"] = answer.value;
  }
  return answers;
}

ScriptRunner::ScriptRunner(const std::string& modulePath) { standIn_.loadModule(modulePath); }

void ScriptRunner::runSteps(const std::vector<Step>& steps) {
  for (const Step& step : steps) runStep(step);
}

void ScriptRunner::runStep(const Step& step) {
  standin::Scene& scene = standIn_.scene();
  switch (step.kind) {
    case Step::Kind::Load: try { scene = standin::loadSceneFile(step.path);
      } catch (const standin::SceneFileError& error) {
        throw InputError(atLine(step.line, error.what()));
      }
      if (autoKeyCreate_ >= 0) scene.autoKeyCreate = autoKeyCreate_;
      // Missing or bad object files leave their objects without a mesh, and say so.
      sceneObjects_.push_back({step.line,
                               step.path,
                               standin::loadObjectMeshesFor(scene, step.path, contentFolder_),
                               {}});
      for (const standin::UnmodelledDeformation& kind : standin::unmodelledDeformation(scene)) {
        sceneObjects_.back().notModelled.push_back(kind.text());
      }
      latestRunIsCurrent_ = false;
      break;
    case Step::Kind::Demo:
      scene = standin::demoRig();
      if (autoKeyCreate_ >= 0) scene.autoKeyCreate = autoKeyCreate_;
      latestRunIsCurrent_ = false;
      break;
    case Step::Kind::Time:
      scene.setTime(step.time);
      latestRunIsCurrent_ = false;
      break;
    case Step::Kind::Select: {
      std::vector<standin::ItemId> ids;
      for (const std::string& name : step.names) {
        const standin::ItemId id = scene.findByName(name);
        if (id == 0) throw InputError(atLine(step.line, "no item named \"" + name + "\""));
        ids.push_back(id);
      }
      scene.clearSelection();
      for (standin::ItemId id : ids) scene.addToSelection(id);
      break;
    }
    case Step::Kind::Run: {
      RunOutcome outcome;
      outcome.line = step.line;
      outcome.before = RigSnapshot(scene);
      meshesBeforeLatestRun_ = hasLoadedMesh(scene) ? MeshSnapshot(scene) : MeshSnapshot();
      // The rig before the run at other times needs the scene as it was; only keyed scenes
      // have other times worth looking at.
      std::optional<standin::Scene> was;
      if (hasKeys(scene)) was.emplace(scene);
      // The mesh check needs the scene before the run even when it has no keys (copying a
      // scene copies no mesh points).
      std::optional<standin::Scene> stillBefore;
      if (!was && hasLoadedMesh(scene)) stillBefore.emplace(scene);
      outcome.record = standIn_.activate("Vorrik:" + step.run.tool, answersFor(step.run));
      if (!outcome.record.activated) {
        throw InputError(atLine(step.line, "the module has no server Vorrik:" + step.run.tool));
      }
      if (!outcome.record.answerError.empty()) {
        throw InputError(atLine(step.line, "bad answer: " + outcome.record.answerError));
      }
      outcome.autoKeyed = standin::keyAutoCreated(scene);
      checkChoiceAnswer(outcome.record, step);
      outcome.after = RigSnapshot(scene);
      outcome.changes = compareRigs(outcome.before, outcome.after);
      // Over the animation the rig is what its file will hold: current values in the keys
      // a save puts them in.
      std::vector<double> times{scene.time()};
      std::optional<standin::Scene> now;
      if (was || hasKeys(scene)) {
        now.emplace(scene);
        standin::settleIntoKeys(*now);
        if (was) {
          standin::settleIntoKeys(*was);
          times = checkTimes({&*now, &*was});
          checkOverTime(outcome.changes, *was, *now, times);
        } else {
          times = checkTimes({&*now});
          checkOverTime(outcome.changes, outcome.before, *now, times);
        }
      }
      if (was || stillBefore) {
        outcome.meshes = checkMeshes(was ? *was : *stillBefore, !was, now ? *now : scene, times,
                                     outcome.changes.tolerance);
      }
      countLostMapPoints(scene, outcome.changes.lostMaps);
      runs_.push_back(std::move(outcome));
      latestRunIsCurrent_ = true;
      break;
    }
    case Step::Kind::Save:
      try {
        std::string text;
        SaveCheck check = saveAndReadBack(scene, step.path, text);
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
      break;
    case Step::Kind::Draw: files_.push_back({step.path, picture(step.title, step.line)}); break;
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
