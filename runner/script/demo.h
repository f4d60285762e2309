// `vorrik demo`: a short tour of every working tool on the built-in demo rig, with the rig
// check after each run and a picture of each run that changes something.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "runner/script/script_runner.h"

namespace runner {

struct DemoStage {
  std::string title;
  std::string script;      // runner steps; `draw NAME` names a picture inside the folder
  bool roundTrip = false;  // its runs should leave the rig as it was: check that as well
};

const std::vector<DemoStage>& demoTour();

// Runs the tour on `runner`, printing each stage; pictures are collected as files inside
// `folder`, to be written by the caller. Throws InputError like runSteps.
void runDemo(ScriptRunner& runner, std::ostream& out, const std::string& folder);

}  // namespace runner
