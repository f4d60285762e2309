// The command line: exit statuses, the options `play` and `run` share, and the one line on
// standard error that a failure gets.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace runner {
class ScriptRunner;
}  // namespace runner

namespace runner::cli {

constexpr int kExitFailure = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitCheckFailed = 3;

struct CommonOptions {
  int autoKeyCreate = -1;  // -1: each scene's own
  bool json = false;
  bool check = false;
  bool dryRun = false;
  bool letReferencesSwitch = false;
  std::string modulePath;
  std::string svgPath;
  std::string contentFolder;
};

// Prints "vorrik: MESSAGE" on standard error and returns `status`. Messages repeat names
// and text from input files: control bytes are shown escaped so that the message stays one
// line and cannot drive the terminal.
int fail(int status, const std::string& message);

bool isHelp(const std::string& word);

// Takes the value of an option that needs one; throws InputError on a missing value.
std::string optionValue(const std::vector<std::string>& args, std::size_t& index);

// Takes args[index] (and its value) when it is one of the common options.
bool takeCommonOption(const std::vector<std::string>& args, std::size_t& index,
                      CommonOptions& options);

// The module loaded into a stand-in for the steps to come: the file given, or Vorrik.p beside
// this program. Null, with the failure already reported, when it cannot be loaded.
std::unique_ptr<ScriptRunner> loadRunner(const std::string& modulePath);

}  // namespace runner::cli
