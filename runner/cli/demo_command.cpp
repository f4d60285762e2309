// `vorrik demo`: the tour, and its pictures written into a folder.
#include <filesystem>
#include <iostream>
#include <memory>

#include "runner/cli/commands.h"
#include "runner/cli/options.h"
#include "runner/cli/usage.h"
#include "runner/script/demo.h"
#include "runner/script/script_runner.h"

namespace runner::cli {

int demo(const std::vector<std::string>& args) {
  std::string folder = kDefaultDemoFolder;
  std::string modulePath;
  bool dryRun = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (isHelp(args[i])) {
      std::cout << kDemoUsage;
      return 0;
    }
    if (args[i] == "--out") {
      folder = optionValue(args, i);
    } else if (args[i] == "--module") {
      modulePath = optionValue(args, i);
    } else if (args[i] == "--dry-run") {
      dryRun = true;
    } else if (args[i].rfind("--", 0) == 0) {
      throw InputError("unknown option " + args[i] + " (see vorrik demo --help)");
    } else {
      throw InputError("demo takes no argument \"" + args[i] + "\"");
    }
  }
  std::unique_ptr<ScriptRunner> scriptRunner = loadRunner(modulePath);
  if (!scriptRunner) return kExitFailure;
  std::cout << "vorrik demo: Vorrik's tools on the built-in demo rig\n\n";
  try {
    runDemo(*scriptRunner, std::cout, folder);
  } catch (const InputError& error) {
    return fail(kExitBadInput, "demo: " + std::string(error.what()));
  }
  const std::size_t count = scriptRunner->pendingFiles().size();
  if (dryRun) {
    std::cout << "\ndry run: " << count << " pictures not written to " << folder << "\n";
    return 0;
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return fail(kExitBadInput, "cannot make the folder " + folder);
  try {
    scriptRunner->writeFiles();
  } catch (const InputError& failure) {
    return fail(kExitBadInput, failure.what());
  }
  std::cout << "\nwrote " << count << " pictures to " << folder << "\n";
  return 0;
}

}  // namespace runner::cli
