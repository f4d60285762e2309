// Carries out Layout command lines on the stand-in's scene, as Layout does, and refuses
// what Layout would refuse.
#pragma once

#include <string>

#include "standin/scene/scene.h"

namespace standin {

struct CommandOutcome {
  bool ok = false;
  std::string why;  // empty when ok; otherwise a short reason ("unknown item 4001ffff")
  ItemId item = 0;  // the item a command names by its id argument, refused or not; 0 for none
};

// One command line, space-delimited and case-sensitive, item arguments in hex. A refused
// command changes nothing.
CommandOutcome executeCommand(Scene& scene, const std::string& line);

}  // namespace standin
