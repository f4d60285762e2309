// Runs a script of steps against the stand-in with the real module loaded once for the
// whole script, so the clipboard and the unparent record carry from run to run.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "runner/checks/read_back.h"
#include "runner/checks/run_check.h"
#include "runner/pictures/mesh_picture.h"
#include "runner/report/object_report.h"
#include "runner/script/script.h"
#include "standin/layout/stand_in.h"

namespace runner {

// Bad input (exit status 2): the message is the whole error line, without "vorrik: ".
struct InputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A file that the steps asked for; written only once every step has succeeded.
struct PendingFile {
  std::string path;
  std::string text;
};

class ScriptRunner {
public:
  // Loads the module file; throws standin::StandInError when it cannot be loaded.
  explicit ScriptRunner(const std::string& modulePath);

  // Runs the steps in order. Throws InputError at the first step that cannot be carried
  // out (unknown name, unreadable scene, an answer that fits no control, ...); files to
  // save and pictures to draw are only collected.
  void runSteps(const std::vector<Step>& steps);

  const std::vector<RunOutcome>& runs() const { return runs_; }
  // Each saved scene read back, in step order.
  const std::vector<SaveCheck>& saves() const { return saves_; }
  // Layout's auto key create option (standin::AutoKeyCreate) for every scene loaded from
  // now on; unset: each scene's own.
  void setAutoKeyCreate(int mode) { autoKeyCreate_ = mode; }
  // Per loaded scene, what became of its objects' files.
  const std::vector<SceneObjects>& sceneObjects() const { return sceneObjects_; }
  // Where object paths of later `load` steps are looked for first ("" for none).
  void setContentFolder(const std::string& folder) { contentFolder_ = folder; }
  // Saves a version 3 scene even where a plug-in would follow a removed item's number to
  // the item after it (refused otherwise).
  void letReferencesSwitch(bool let) { letReferencesSwitch_ = let; }
  const standin::Scene& scene() const { return standIn_.scene(); }
  standin::StandIn& standIn() { return standIn_; }

  // Writes the files that `save` and `draw` steps asked for, all or none (a later file
  // for the same path wins). Call only after every step succeeded. Throws InputError.
  void writeFiles() const;
  // A file that no step may write (the script being run); `why` ends the refusal.
  void protectFile(const std::string& path, const std::string& why);
  const std::vector<PendingFile>& pendingFiles() const { return files_; }

  // The picture a `draw` step makes now: the latest run's before and after while nothing
  // but selections came since, else the rig as it is.
  std::string picture(const std::string& title, int line) const;

private:
  void runStep(const Step& step);
  void load(const Step& step);
  void select(const Step& step);
  void run(const Step& step);
  void save(const Step& step);

  standin::StandIn standIn_;
  std::vector<RunOutcome> runs_;
  std::vector<SaveCheck> saves_;
  std::vector<PendingFile> files_;
  int autoKeyCreate_ = -1;                                      // -1: each scene's own
  std::vector<std::pair<std::string, std::string>> protected_;  // path, why
  std::vector<SceneObjects> sceneObjects_;
  std::string contentFolder_;
  bool letReferencesSwitch_ = false;
  bool latestRunIsCurrent_ = false;     // no load, demo or time step since the latest run
  MeshSnapshot meshesBeforeLatestRun_;  // for the picture of the latest run
};

}  // namespace runner
