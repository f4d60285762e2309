#include "runner/cli/options.h"

#include <iostream>

#include "runner/script/script_runner.h"
#include "standin/files/base/name_bytes.h"
#include "standin/layout/module_loader.h"
#include "standin/scene/auto_key.h"

namespace runner::cli {

int fail(int status, const std::string& message) {
  std::cerr << "vorrik: " << standin::printable(message) << "\n";
  return status;
}

bool isHelp(const std::string& word) { return word == "--help" || word == "-h"; }

std::string optionValue(const std::vector<std::string>& args, std::size_t& index) {
  if (index + 1 >= args.size() || args[index + 1].rfind("--", 0) == 0) {
    throw runner::InputError(args[index] + " needs a value");
  }
  return args[++index];
}

bool takeCommonOption(const std::vector<std::string>& args, std::size_t& index,
                      CommonOptions& options) {
  if (args[index] == "--json") {
    options.json = true;
    return true;
  }
  if (args[index] == "--module") {
    options.modulePath = optionValue(args, index);
    return true;
  }
  if (args[index] == "--svg") {
    options.svgPath = optionValue(args, index);
    return true;
  }
  if (args[index] == "--content") {
    options.contentFolder = optionValue(args, index);
    return true;
  }
  if (args[index] == "--check") {
    options.check = true;
    return true;
  }
  if (args[index] == "--let-references-switch") {
    options.letReferencesSwitch = true;
    return true;
  }
  if (args[index] == "--dry-run") {
    options.dryRun = true;
    return true;
  }
  if (args[index] == "--auto-key-create") {
    const std::string value = optionValue(args, index);
    const auto mode = standin::autoKeyCreateFromName(value);
    if (!mode) {
      throw runner::InputError("--auto-key-create takes off, modified or all, not \"" + value +
                               "\"");
    }
    options.autoKeyCreate = *mode;
    return true;
  }
  return false;
}

std::unique_ptr<ScriptRunner> loadRunner(const std::string& modulePath) {
  const std::string path = modulePath.empty() ? standin::moduleBesideExecutable() : modulePath;
  try {
    return std::make_unique<ScriptRunner>(path);
  } catch (const std::exception& error) {
    fail(kExitFailure, error.what());
    return nullptr;
  }
}

}  // namespace runner::cli
