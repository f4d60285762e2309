// Runs the built `vorrik` as a user would, from a shell, and collects what it said.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/file_text.h"

namespace runner_process {

struct Outcome {
  int status = -1;  // the exit status; -1 when the runner did not exit normally
  std::string out, err;
};

// `arguments` are shell words after the program's path. Standard output and error go through
// files in `scratch`; with a `workingDir` the runner starts there.
inline Outcome run(const std::string& arguments, const std::filesystem::path& scratch,
                   const std::filesystem::path& workingDir = {}) {
  const std::filesystem::path out = scratch / "stdout.txt", err = scratch / "stderr.txt";
  std::string command;
  if (!workingDir.empty()) command = "cd '" + workingDir.string() + "' && ";
  command += std::string("'") + VORRIK_RUNNER_PATH + "' " + arguments + " >'" + out.string() +
             "' 2>'" + err.string() + "' </dev/null";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, testing_support::readFile(out),
          testing_support::readFile(err)};
}

}  // namespace runner_process
