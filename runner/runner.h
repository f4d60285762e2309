// Runs a script of steps against the stand-in with the real module loaded once for the
// whole script, so the clipboard and the unparent record carry from run to run.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "runner/script.h"
#include "standin/stand_in.h"

namespace runner {

// Bad input (exit status 2): the message is the whole error line, without "vorrik: ".
struct InputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One `run` step and what the stand-in recorded for it.
struct RunOutcome {
  int line = 0;
  standin::RunRecord record;
};

class ScriptRunner {
public:
  // Loads the module file; throws standin::StandInError when it cannot be loaded.
  explicit ScriptRunner(const std::string& modulePath);

  // Runs the steps in order. Throws InputError at the first step that cannot be carried
  // out (unknown name, unreadable scene, an answer that fits no control, ...); files to
  // save are only collected.
  void runSteps(const std::vector<Step>& steps);

  const std::vector<RunOutcome>& runs() const { return runs_; }
  const standin::Scene& scene() const { return standIn_.scene(); }
  standin::StandIn& standIn() { return standIn_; }

  // Writes the files that `save` steps asked for. Call only after every step succeeded.
  void writeSaves() const;
  const std::vector<std::pair<std::string, std::string>>& pendingSaves() const {
    return saves_;
  }

private:
  void runStep(const Step& step);

  standin::StandIn standIn_;
  std::vector<RunOutcome> runs_;
  std::vector<std::pair<std::string, std::string>> saves_;  // path, file text
};

// Writes a whole file or nothing: throws InputError when it cannot be written.
void writeTextFile(const std::string& path, const std::string& text);

// The stand-in answers of a run request ("percent" feeds the percent control, ...).
standin::Answers answersFor(const RunRequest& request);

}  // namespace runner
