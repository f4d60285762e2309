// `vorrik play` and `vorrik run`: steps in, the report out, then the --check verdict, then
// the files.
#include <cmath>
#include <iostream>
#include <memory>
#include <sstream>

#include "runner/checks/run_check.h"
#include "runner/cli/commands.h"
#include "runner/cli/options.h"
#include "runner/cli/usage.h"
#include "runner/report/script_report.h"
#include "runner/script/script.h"
#include "runner/script/script_runner.h"
#include "standin/files/scene_file.h"

namespace runner::cli {

namespace {

std::vector<std::string> pendingPaths(const ScriptRunner& scriptRunner) {
  std::vector<std::string> paths;
  for (const PendingFile& file : scriptRunner.pendingFiles()) paths.push_back(file.path);
  return paths;
}

int execute(std::vector<Step> steps, const CommonOptions& options,
            const std::string& scriptPath = "") {
  std::unique_ptr<ScriptRunner> scriptRunner = loadRunner(options.modulePath);
  if (!scriptRunner) return kExitFailure;
  if (options.autoKeyCreate >= 0) scriptRunner->setAutoKeyCreate(options.autoKeyCreate);
  if (!scriptPath.empty()) scriptRunner->protectFile(scriptPath, "it is the script being run");
  scriptRunner->setContentFolder(options.contentFolder);
  scriptRunner->letReferencesSwitch(options.letReferencesSwitch);
  if (!options.svgPath.empty()) {
    Step draw;
    draw.kind = Step::Kind::Draw;
    draw.path = options.svgPath;
    draw.line = steps.empty() ? 0 : steps.back().line;
    steps.push_back(draw);
  }
  try {
    scriptRunner->runSteps(steps);
  } catch (const InputError& error) {
    return fail(kExitBadInput, error.what());
  }
  const std::vector<std::string> paths = pendingPaths(*scriptRunner);
  const ScriptReport report{scriptRunner->sceneObjects(), scriptRunner->runs(),
                            scriptRunner->scene(), scriptRunner->saves(),
                            options.dryRun ? &paths : nullptr};
  if (options.json) {
    std::cout << scriptReportJson(report).dump(2) << "\n";
  } else {
    printScriptReport(std::cout, report);
  }
  std::cout.flush();
  if (options.check) {
    const std::string failure = checkVerdict(scriptRunner->runs(), scriptRunner->saves());
    if (!failure.empty()) return fail(kExitCheckFailed, failure);
  }
  if (options.dryRun) return 0;
  try {
    scriptRunner->writeFiles();
  } catch (const InputError& error) {
    return fail(kExitBadInput, error.what());
  }
  return 0;
}

std::vector<std::string> splitCommas(const std::string& text) {
  std::vector<std::string> names;
  std::string name;
  std::istringstream in(text);
  while (std::getline(in, name, ',')) {
    if (name.empty()) throw InputError("--select has an empty name");
    names.push_back(name);
  }
  return names;
}

}  // namespace

int play(const std::vector<std::string>& args) {
  CommonOptions options;
  std::string scriptPath;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (isHelp(args[i])) {
      std::cout << kPlayUsage;
      return 0;
    }
    if (takeCommonOption(args, i, options)) continue;
    if (args[i].rfind("--", 0) == 0) throw InputError("unknown option " + args[i]);
    if (!scriptPath.empty()) throw InputError("play takes one script");
    scriptPath = args[i];
  }
  if (scriptPath.empty()) throw InputError("play needs a script (see vorrik play --help)");
  std::string text;
  try {
    text = standin::readWholeFile(scriptPath);
  } catch (const standin::SceneFileError& error) {
    throw InputError(error.what());
  }
  std::vector<Step> steps;
  try {
    steps = parseScript(text);
  } catch (const ScriptError& error) {
    throw InputError(scriptPath + ": " + error.what());
  }
  return execute(steps, options, scriptPath);
}

int runOne(const std::vector<std::string>& args) {
  CommonOptions options;
  std::vector<std::string> requestWords;
  Step load, time, select, save;
  load.kind = Step::Kind::Demo;
  time.kind = Step::Kind::Time;
  select.kind = Step::Kind::Select;
  save.kind = Step::Kind::Save;
  bool hasTime = false, hasSelect = false, hasSave = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (isHelp(arg)) {
      std::cout << kRunUsage;
      return 0;
    }
    if (takeCommonOption(args, i, options)) continue;
    if (arg == "--scene") {
      load.kind = Step::Kind::Load;
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
        throw InputError("--time needs a number of seconds, not \"" + value + "\"");
      }
      hasTime = true;
    } else if (arg == "--out") {
      save.path = optionValue(args, i);
      hasSave = true;
    } else if (arg.rfind("--", 0) == 0) {
      throw InputError("unknown option " + arg);
    } else {
      requestWords.push_back(arg);
    }
  }
  if (requestWords.empty()) throw InputError("run needs a tool (see vorrik run --help)");
  Step run;
  run.kind = Step::Kind::Run;
  try {
    run.run = parseRunRequest(requestWords);
  } catch (const ScriptError& error) {
    throw InputError(error.what());
  }
  std::vector<Step> steps{load};
  if (hasTime) steps.push_back(time);
  if (hasSelect) steps.push_back(select);
  steps.push_back(run);
  if (hasSave) steps.push_back(save);
  for (Step& step : steps) step.line = 1;
  return execute(steps, options);
}

}  // namespace runner::cli
