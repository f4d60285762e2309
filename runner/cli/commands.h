// The runner's three commands; each takes the words after its name and returns the exit
// status. Bad input throws InputError.
#pragma once

#include <string>
#include <vector>

namespace runner::cli {

// vorrik play SCRIPT ...: runs a script file.
int play(const std::vector<std::string>& args);
// vorrik run TOOL ...: runs one tool on a scene.
int runOne(const std::vector<std::string>& args);
// vorrik demo ...: the tour of the tools on the demo rig.
int demo(const std::vector<std::string>& args);

}  // namespace runner::cli
