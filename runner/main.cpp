// vorrik: runs Vorrik's Layout tools on a rig through the built-in Layout stand-in.
#include <cmath>
#include <fstream>
#include <memory>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "runner/report.h"
#include "runner/runner.h"
#include "runner/script.h"
#include "standin/module_loader.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitBadInput = 2;

const char* const kUsage =
    "vorrik: run Vorrik's Layout tools on a rig through the built-in Layout stand-in\n"
    "\n"
    "usage:\n"
    "  vorrik play SCRIPT [--json] [--module PATH]\n"
    "  vorrik run TOOL [--scene FILE] [--select A,B] [--time T] [ANSWERS] [--out FILE]\n"
    "             [--json] [--module PATH]\n"
    "  vorrik COMMAND --help\n"
    "\n"
    "Tools: BoneUtil BoneSplit BoneMerge BoneUnParent QuickParent CutKey CopyKey PasteKey\n"
    "Exit status: 0 done, 1 the module could not be loaded, 2 bad input.\n";

const char* const kPlayUsage =
    "usage: vorrik play SCRIPT [--json] [--module PATH]\n"
    "\n"
    "Runs a script, one step per line ('#' starts a comment):\n"
    "  load FILE          a scene file (JSON)\n"
    "  demo               the built-in demo rig\n"
    "  time T             the current time, in seconds\n"
    "  select NAME...     items in selection order; no names clears the selection\n"
    "  run TOOL [ANSWERS] runs Vorrik:TOOL\n"
    "  save FILE          writes the scene (only once every step has succeeded)\n"
    "Answers: cancel (press Cancel; OK otherwise), percent=V (BoneSplit),\n"
    "  item=NAME and action=N|TEXT (BoneUtil), action=Unparent|Recover (BoneUnParent).\n"
    "All steps share one loaded module: the key clipboard and the unparent record carry\n"
    "from one run to the next.\n"
    "  --json         print one JSON document instead of the report\n"
    "  --module PATH  the module to load (default: Vorrik.p beside this program)\n";

const char* const kRunUsage =
    "usage: vorrik run TOOL [--scene FILE] [--select A,B] [--time T] [ANSWERS] [--out FILE]\n"
    "                  [--json] [--module PATH]\n"
    "\n"
    "Runs one tool on a scene (the built-in demo rig unless --scene names a file).\n"
    "  --select A,B   items to select, in order, by name\n"
    "  --time T       the current time, in seconds\n"
    "  --out FILE     write the resulting scene\n"
    "Answers as for 'play': cancel, percent=V, item=NAME, action=N|TEXT.\n";

struct CommonOptions {
  bool json = false;
  std::string modulePath;
};

int fail(int status, const std::string& message) {
  std::cerr << "vorrik: " << message << "\n";
  return status;
}

bool isHelp(const std::string& word) { return word == "--help" || word == "-h"; }

// Takes the value of an option that needs one; throws on a missing value.
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
  return false;
}

int execute(const std::vector<runner::Step>& steps, const CommonOptions& options) {
  const std::string modulePath =
      options.modulePath.empty() ? standin::moduleBesideExecutable() : options.modulePath;
  std::unique_ptr<runner::ScriptRunner> scriptRunner;
  try {
    scriptRunner.reset(new runner::ScriptRunner(modulePath));
  } catch (const std::exception& error) {
    return fail(kExitFailure, error.what());
  }
  try {
    scriptRunner->runSteps(steps);
  } catch (const runner::InputError& error) {
    return fail(kExitBadInput, error.what());
  }
  if (options.json) {
    std::cout << runner::reportJson(scriptRunner->runs(), scriptRunner->scene()).dump(2) << "\n";
  } else {
    runner::printReport(std::cout, scriptRunner->runs(), scriptRunner->scene());
  }
  try {
    scriptRunner->writeSaves();
  } catch (const runner::InputError& error) {
    return fail(kExitBadInput, error.what());
  }
  return 0;
}

int play(const std::vector<std::string>& args) {
  CommonOptions options;
  std::string scriptPath;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (isHelp(args[i])) {
      std::cout << kPlayUsage;
      return 0;
    }
    if (takeCommonOption(args, i, options)) continue;
    if (args[i].rfind("--", 0) == 0) throw runner::InputError("unknown option " + args[i]);
    if (!scriptPath.empty()) throw runner::InputError("play takes one script");
    scriptPath = args[i];
  }
  if (scriptPath.empty()) throw runner::InputError("play needs a script (see vorrik play --help)");
  std::ifstream in(scriptPath, std::ios::binary);
  if (!in) throw runner::InputError("cannot read " + scriptPath);
  std::ostringstream text;
  text << in.rdbuf();
  std::vector<runner::Step> steps;
  try {
    steps = runner::parseScript(text.str());
  } catch (const runner::ScriptError& error) {
    throw runner::InputError(scriptPath + ": " + error.what());
  }
  return execute(steps, options);
}

std::vector<std::string> splitCommas(const std::string& text) {
  std::vector<std::string> names;
  std::string name;
  std::istringstream in(text);
  while (std::getline(in, name, ',')) {
    if (name.empty()) throw runner::InputError("--select has an empty name");
    names.push_back(name);
  }
  return names;
}

int runOne(const std::vector<std::string>& args) {
  CommonOptions options;
  std::vector<std::string> requestWords;
  runner::Step load, time, select, save;
  load.kind = runner::Step::Kind::Demo;
  time.kind = runner::Step::Kind::Time;
  select.kind = runner::Step::Kind::Select;
  save.kind = runner::Step::Kind::Save;
  bool hasTime = false, hasSelect = false, hasSave = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (isHelp(arg)) {
      std::cout << kRunUsage;
      return 0;
    }
    if (takeCommonOption(args, i, options)) continue;
    if (arg == "--scene") {
      load.kind = runner::Step::Kind::Load;
      load.path = optionValue(args, i);
    } else if (arg == "--select") {
      select.names = splitCommas(optionValue(args, i));
      hasSelect = true;
    } else if (arg == "--time") {
      const std::string value = optionValue(args, i);
      std::size_t used = 0;
      try {
        time.time = std::stod(value, &used);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used != value.size() || !std::isfinite(time.time)) {
        throw runner::InputError("--time needs a number of seconds, not \"" + value + "\"");
      }
      hasTime = true;
    } else if (arg == "--out") {
      save.path = optionValue(args, i);
      hasSave = true;
    } else if (arg.rfind("--", 0) == 0) {
      throw runner::InputError("unknown option " + arg);
    } else {
      requestWords.push_back(arg);
    }
  }
  if (requestWords.empty()) throw runner::InputError("run needs a tool (see vorrik run --help)");
  runner::Step run;
  run.kind = runner::Step::Kind::Run;
  try {
    run.run = runner::parseRunRequest(requestWords);
  } catch (const runner::ScriptError& error) {
    throw runner::InputError(error.what());
  }
  std::vector<runner::Step> steps{load};
  if (hasTime) steps.push_back(time);
  if (hasSelect) steps.push_back(select);
  steps.push_back(run);
  if (hasSave) steps.push_back(save);
  for (runner::Step& step : steps) step.line = 1;
  return execute(steps, options);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << kUsage;
    return kExitBadInput;
  }
  const std::string command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  try {
    if (isHelp(command)) {
      std::cout << kUsage;
      return 0;
    }
    if (command == "play") return play(rest);
    if (command == "run") return runOne(rest);
    return fail(kExitBadInput, "unknown command \"" + command + "\" (see vorrik --help)");
  } catch (const runner::InputError& error) {
    return fail(kExitBadInput, error.what());
  } catch (const std::exception& error) {
    return fail(kExitFailure, error.what());
  }
}
