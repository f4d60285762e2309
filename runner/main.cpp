// vorrik: runs Vorrik's Layout tools on a rig through the built-in Layout stand-in.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "runner/demo.h"
#include "runner/report.h"
#include "runner/runner.h"
#include "runner/script.h"
#include "standin/files/base/name_bytes.h"
#include "standin/files/scene_file.h"
#include "standin/layout/module_loader.h"
#include "standin/scene/auto_key.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitCheckFailed = 3;

const char* const kUsage =
    "vorrik: run Vorrik's Layout tools on a rig through the built-in Layout stand-in\n"
    "\n"
    "usage:\n"
    "  vorrik play SCRIPT [--svg FILE] [--check] [--dry-run] [--json] [--module PATH]\n"
    "             [--content DIR]\n"
    "  vorrik run TOOL [--scene FILE] [--select A,B] [--time T] [ANSWERS] [--out FILE]\n"
    "             [--svg FILE] [--check] [--dry-run] [--json] [--module PATH] [--content DIR]\n"
    "  vorrik demo [--out DIR] [--dry-run] [--module PATH]\n"
    "  vorrik COMMAND --help\n"
    "\n"
    "Tools: BoneUtil BoneSplit BoneMerge BoneUnParent QuickParent CutKey CopyKey PasteKey\n"
    "After every run the rig check lists the bones added and removed, the items re-parented,\n"
    "and the items that moved in the world or whose rest values changed.\n"
    "Exit status: 0 done, 1 the module could not be loaded, 2 bad input,\n"
    "3 --check found an item or a mesh point that moved at a time looked at, a weight map\n"
    "that no active bone uses any more, or a saved file that does not hold the scene.\n";

// Options shared by play and run.
const char* const kCommonOptions =
    "  --svg FILE     write a picture of the rig at the end (front, side and top views;\n"
    "                 after a run: before and after side by side, changes in colour)\n"
    "  --check        exit with status 3, writing nothing, when a run moved an item in the\n"
    "                 world that it did not add or remove, or a point of a loaded mesh, or\n"
    "                 left a weight map that some active bone used with no active bone\n"
    "  --dry-run      run and print everything, but write no file\n"
    "  --json         print one JSON document instead of the report\n"
    "  --module PATH  the module to load (default: Vorrik.p beside this program)\n"
    "  --auto-key-create off|modified|all\n"
    "                 Layout's Auto Key Create option for every scene loaded (default: the\n"
    "                 scene's own, off unless it says): off keys a change only where a key\n"
    "                 exists at the current time; modified keys each changed channel there;\n"
    "                 all keys every channel of a changed item there\n"
    "  --content DIR  look for the object files a scene names in DIR first (Layout's\n"
    "                 content folder), then beside the scene and in the scene's parent folder\n"
    "The rig check counts a move or a rest change only above 1e-5 of the rig's size (the\n"
    "diagonal of the box around every item's origin and bone tip before the run). It looks\n"
    "at the current time, every key time and halfway between neighbouring key times (at most\n"
    "256 times, spread evenly). Each saved file is read back and compared with the scene at\n"
    "the same times; --check also fails on a difference or a dangling plug-in item id.\n";

const std::string kPlayUsage =
    std::string(
        "usage: vorrik play SCRIPT [--svg FILE] [--check] [--dry-run] [--json] [--module PATH]\n"
        "                          [--content DIR]\n"
        "\n"
        "Runs a script, one step per line ('#' starts a comment):\n"
        "  load FILE          a scene file (.lws, or JSON)\n"
        "  demo               the built-in demo rig\n"
        "  time T             the current time, in seconds\n"
        "  select NAME...     items in selection order; no names clears the selection\n"
        "  run TOOL [ANSWERS] runs Vorrik:TOOL\n"
        "  save FILE          writes the scene\n"
        "  draw FILE          writes a picture of the rig (SVG); right after a run, before and\n"
        "                     after it side by side\n"
        "Files are written only once every step has succeeded.\n"
        "Answers: cancel (press Cancel; OK otherwise), percent=V (BoneSplit),\n"
        "  item=NAME and action=N|TEXT (BoneUtil), action=Unparent|Recover (BoneUnParent).\n"
        "All steps share one loaded module: the key clipboard and the unparent record carry\n"
        "from one run to the next.\n") +
    kCommonOptions;

const std::string kRunUsage =
    std::string(
        "usage: vorrik run TOOL [--scene FILE] [--select A,B] [--time T] [ANSWERS] [--out FILE]\n"
        "                  [--svg FILE] [--check] [--dry-run] [--json] [--module PATH]\n"
        "                  [--content DIR]\n"
        "\n"
        "Runs one tool on a scene (the built-in demo rig unless --scene names a file).\n"
        "  --select A,B   items to select, in order, by name\n"
        "  --time T       the current time, in seconds\n"
        "  --out FILE     write the resulting scene\n") +
    kCommonOptions + "Answers as for 'play': cancel, percent=V, item=NAME, action=N|TEXT.\n";

const char* const kDefaultDemoFolder = "vorrik-demo";

const std::string kDemoUsage =
    std::string(
        "usage: vorrik demo [--out DIR] [--dry-run] [--module PATH]\n"
        "\n"
        "A short tour of every working tool on the built-in demo rig: split a forearm, merge a\n"
        "finger pair, unparent and recover a hand's children, record and restore the rest pose,\n"
        "quick-parent the props, copy a pose and paste it at another time. Prints each run's\n"
        "commands and rig check and draws a picture (SVG) of each run that changes the rig.\n"
        "  --out DIR      the folder for the pictures (default: ") +
    kDefaultDemoFolder +
    " in the current\n"
    "                 folder); made when missing\n"
    "  --dry-run      run and print everything, but write no file\n"
    "  --module PATH  the module to load (default: Vorrik.p beside this program)\n";

struct CommonOptions {
  int autoKeyCreate = -1;  // -1: each scene's own
  bool json = false;
  bool check = false;
  bool dryRun = false;
  std::string modulePath;
  std::string svgPath;
  std::string contentFolder;
};

// Messages repeat names and text from input files: control bytes are shown escaped so that
// the message stays one line and cannot drive the terminal.
int fail(int status, const std::string& message) {
  std::cerr << "vorrik: " << standin::printable(message) << "\n";
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

// Null with the failure already reported when the module cannot be loaded.
std::unique_ptr<runner::ScriptRunner> loadRunner(const std::string& modulePath) {
  const std::string path = modulePath.empty() ? standin::moduleBesideExecutable() : modulePath;
  try {
    return std::make_unique<runner::ScriptRunner>(path);
  } catch (const std::exception& error) {
    fail(kExitFailure, error.what());
    return nullptr;
  }
}

// One line about the first saved file that does not hold the scene, or "".
std::string saveFailure(const std::vector<runner::SaveCheck>& saves) {
  for (const runner::SaveCheck& save : saves) {
    if (!save.failed()) continue;
    std::string text = "check failed: " + save.path;
    if (save.line > 0) text += " (script line " + std::to_string(save.line) + ")";
    if (!save.unreadable.empty()) return text + " cannot be read back: " + save.unreadable;
    if (!save.differences.empty()) {
      const runner::SavedDifference& d = save.differences.front();
      text += " does not hold what the scene does: " + d.item + " " + d.channel;
      if (save.differences.size() > 1) {
        text += " (and " + std::to_string(save.differences.size() - 1) + " more)";
      }
      return text;
    }
    for (const standin::PluginReference& ref : save.references) {
      if (ref.dangling) {
        return text + ": plug-in " + ref.plugin + " names " + ref.named + " (" + ref.written +
               "), which is gone";
      }
    }
  }
  return "";
}

// One line about the first run that moved a point of a loaded mesh, or "".
std::string meshFailure(const std::vector<runner::RunOutcome>& runs) {
  for (const runner::RunOutcome& run : runs) {
    const runner::MeshMove* move = run.meshes.largest();
    if (!move) continue;
    std::string text = "check failed: " + run.record.server;
    if (run.line > 0) text += " (script line " + std::to_string(run.line) + ")";
    return text + ": " + runner::meshMoveText(*move);
  }
  return "";
}

// One line about the first run that moved items it did not add or remove, or "".
std::string checkFailure(const std::vector<runner::RunOutcome>& runs) {
  // A weight map no bone uses any more leaves its points behind: the mesh breaks.
  for (const runner::RunOutcome& run : runs) {
    if (run.changes.lostMaps.empty()) continue;
    std::string text = "check failed: " + run.record.server;
    if (run.line > 0) text += " (script line " + std::to_string(run.line) + ")";
    return text + ": " + runner::lostMapText(run.changes.lostMaps.front());
  }
  std::size_t failing = 0;
  const runner::RunOutcome* first = nullptr;
  for (const runner::RunOutcome& run : runs) {
    if (run.changes.moved.empty() && run.changes.movedOverTime.empty()) continue;
    if (!first) first = &run;
    ++failing;
  }
  if (!first) return meshFailure(runs);
  std::vector<std::string> names;
  for (const runner::Moved& item : first->changes.moved) names.push_back(item.name);
  for (const runner::LargestMove& item : first->changes.movedOverTime) {
    if (std::find(names.begin(), names.end(), item.name) == names.end()) {
      char at[48];
      std::snprintf(at, sizeof at, " (at %g s)", item.time);
      names.push_back(item.name + at);
    }
  }
  const auto& moved = names;
  std::string text = "check failed: " + first->record.server;
  if (first->line > 0) text += " (script line " + std::to_string(first->line) + ")";
  text += " moved " + std::to_string(moved.size()) + (moved.size() == 1 ? " item" : " items") +
          " that it did not add or remove: ";
  const std::size_t shown = std::min<std::size_t>(moved.size(), 5);
  for (std::size_t i = 0; i < shown; ++i) text += (i ? ", " : "") + moved[i];
  if (shown < moved.size()) text += ", ...";
  if (failing > 1) text += " (and " + std::to_string(failing - 1) + " more runs)";
  return text;
}

std::vector<std::string> pendingPaths(const runner::ScriptRunner& scriptRunner) {
  std::vector<std::string> paths;
  for (const runner::PendingFile& file : scriptRunner.pendingFiles()) paths.push_back(file.path);
  return paths;
}

int execute(std::vector<runner::Step> steps, const CommonOptions& options,
            const std::string& scriptPath = "") {
  std::unique_ptr<runner::ScriptRunner> scriptRunner = loadRunner(options.modulePath);
  if (!scriptRunner) return kExitFailure;
  if (options.autoKeyCreate >= 0) scriptRunner->setAutoKeyCreate(options.autoKeyCreate);
  if (!scriptPath.empty()) scriptRunner->protectFile(scriptPath, "it is the script being run");
  scriptRunner->setContentFolder(options.contentFolder);
  if (!options.svgPath.empty()) {
    runner::Step draw;
    draw.kind = runner::Step::Kind::Draw;
    draw.path = options.svgPath;
    draw.line = steps.empty() ? 0 : steps.back().line;
    steps.push_back(draw);
  }
  try {
    scriptRunner->runSteps(steps);
  } catch (const runner::InputError& error) {
    return fail(kExitBadInput, error.what());
  }
  const std::vector<std::string> paths = pendingPaths(*scriptRunner);
  if (options.json) {
    nlohmann::json report = runner::reportJson(scriptRunner->runs(), scriptRunner->scene());
    nlohmann::json saves = nlohmann::json::array();
    for (const runner::SaveCheck& save : scriptRunner->saves()) {
      saves.push_back(runner::saveCheckToJson(save));
    }
    report["saves"] = saves;
    if (options.dryRun) report["notWritten"] = paths;
    report["sceneObjects"] = runner::sceneObjectsJson(scriptRunner->sceneObjects());
    std::cout << report.dump(2) << "\n";
  } else {
    runner::printSceneObjects(std::cout, scriptRunner->sceneObjects());
    runner::printReport(std::cout, scriptRunner->runs(), scriptRunner->scene());
    for (const runner::SaveCheck& save : scriptRunner->saves()) {
      runner::printSaveCheck(std::cout, save);
    }
    if (options.dryRun && !paths.empty()) {
      std::cout << "dry run: not written:";
      for (const std::string& path : paths) std::cout << " " << path;
      std::cout << "\n";
    }
  }
  std::cout.flush();
  if (options.check) {
    std::string failure = checkFailure(scriptRunner->runs());
    if (failure.empty()) failure = saveFailure(scriptRunner->saves());
    if (!failure.empty()) return fail(kExitCheckFailed, failure);
  }
  if (options.dryRun) return 0;
  try {
    scriptRunner->writeFiles();
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
  std::string text;
  try {
    text = standin::readWholeFile(scriptPath);
  } catch (const standin::SceneFileError& error) {
    throw runner::InputError(error.what());
  }
  std::vector<runner::Step> steps;
  try {
    steps = runner::parseScript(text);
  } catch (const runner::ScriptError& error) {
    throw runner::InputError(scriptPath + ": " + error.what());
  }
  return execute(steps, options, scriptPath);
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
      throw runner::InputError("unknown option " + args[i] + " (see vorrik demo --help)");
    } else {
      throw runner::InputError("demo takes no argument \"" + args[i] + "\"");
    }
  }
  std::unique_ptr<runner::ScriptRunner> scriptRunner = loadRunner(modulePath);
  if (!scriptRunner) return kExitFailure;
  std::cout << "vorrik demo: Vorrik's tools on the built-in demo rig\n\n";
  try {
    runner::runDemo(*scriptRunner, std::cout, folder);
  } catch (const runner::InputError& error) {
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
  } catch (const runner::InputError& failure) {
    return fail(kExitBadInput, failure.what());
  }
  std::cout << "\nwrote " << count << " pictures to " << folder << "\n";
  return 0;
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
    if (command == "demo") return demo(rest);
    return fail(kExitBadInput, "unknown command \"" + command + "\" (see vorrik --help)");
  } catch (const runner::InputError& error) {
    return fail(kExitBadInput, error.what());
  } catch (const std::exception& error) {
    return fail(kExitFailure, error.what());
  }
}
