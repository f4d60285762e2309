// Checks of the Windows stand-in's platform layer, run under Wine: the module is loaded with
// LoadLibrary and really unloaded with FreeLibrary, its state lives exactly as long as it
// is loaded, and its OutputDebugStringA lines are captured exactly and in order.
// usage: vorrik_module_checks PATH\TO\Vorrik.p
#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "standin/files/demo_rig.h"
#include "standin/layout/stand_in.h"

namespace {

int failures = 0;
int passed = 0;

void check(bool ok, const std::string& what) {
  if (ok) {
    ++passed;
  } else {
    ++failures;
    std::cout << "FAILED: " << what << "\n";
  }
}

std::string baseName(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The servers in table order.
const std::vector<std::string> kServers = {
    "Vorrik:BoneUtil",      "Vorrik:BoneSplit",      "Vorrik:BoneMerge", "Vorrik:BoneUnParent",
    "Vorrik:QuickParent",   "Vorrik:CutKey",         "Vorrik:CopyKey",   "Vorrik:PasteKey",
    "Vorrik:BoneSubdivide", "Vorrik:PasteKeyMirror",
};

void select(standin::StandIn& standIn, const std::vector<std::string>& names) {
  standin::Scene& scene = standIn.scene();
  scene.clearSelection();
  for (const std::string& name : names) scene.addToSelection(scene.findByName(name));
}

// The module's trace is one "[Command] : <text>" line per command, in order.
bool traceMatchesCommands(const standin::RunRecord& record) {
  if (record.trace.size() != record.commands.size()) return false;
  for (std::size_t i = 0; i < record.trace.size(); ++i) {
    if (record.trace[i] != "[Command] : " + record.commands[i].text) return false;
  }
  return true;
}

void checkLoading(const std::string& modulePath) {
  const std::string name = baseName(modulePath);
  check(GetModuleHandleA(name.c_str()) == nullptr, "the module is not loaded before the start");
  standin::StandIn standIn(standin::demoRig());
  try {
    standIn.loadModule(modulePath);
  } catch (const std::exception& error) {
    check(false, std::string("loading the module: ") + error.what());
    return;
  }
  check(GetModuleHandleA(name.c_str()) != nullptr, "LoadLibrary mapped the module");
  check(standIn.serverNames() == kServers, "the module serves its tools in order");

  // The clipboard carries from one run to the next while the module stays loaded.
  select(standIn, {"L_UpperArm"});
  const standin::RunRecord copy = standIn.activate("Vorrik:CopyKey");
  check(copy.activated && copy.result == AFUNC_OK, "CopyKey runs");
  standIn.scene().setTime(1);
  const standin::RunRecord paste = standIn.activate("Vorrik:PasteKey");
  check(paste.commands.size() >= 5, "PasteKey pastes what CopyKey copied");
  check(!paste.trace.empty() && traceMatchesCommands(paste),
        "PasteKey's trace lines are its commands, in order");
  // The same clipboard, mirrored onto the right arm.
  select(standIn, {});
  const standin::RunRecord mirror = standIn.activate("Vorrik:PasteKeyMirror");
  check(mirror.commands.size() == 5 && mirror.commands[0].text.rfind("SelectItem ", 0) == 0 &&
            mirror.messages.empty() && mirror.dialogs.size() == 1,
        "PasteKeyMirror pastes it onto the other side after asking for the axis");
  check(traceMatchesCommands(mirror), "PasteKeyMirror's trace lines are its commands, in order");

  // FreeLibrary unmaps the module and runs its static destructors; a new load builds
  // fresh state, so there is nothing to paste.
  standIn.unloadModule();
  check(GetModuleHandleA(name.c_str()) == nullptr, "FreeLibrary unmapped the module");
  standIn.loadModule(modulePath);
  check(GetModuleHandleA(name.c_str()) != nullptr, "the module loads again");
  select(standIn, {"L_UpperArm"});
  const standin::RunRecord fresh = standIn.activate("Vorrik:PasteKey");
  check(fresh.activated && fresh.commands.empty() && fresh.trace.empty(),
        "after a reload the clipboard is empty");
  standIn.unloadModule();
  check(GetModuleHandleA(name.c_str()) == nullptr, "the module is unloaded at the end");
}

// An arm of length 2 whose hand is keyed at 2 and 3, at a time between the keys.
standin::Scene keyedArm() {
  standin::Scene scene;
  const standin::ItemId body = scene.addObject("Body");
  const standin::ItemId arm = scene.addBone(body, body, "Arm");
  scene.find(arm)->restLength = 2;
  const standin::ItemId hand = scene.addBone(body, arm, "Hand");
  scene.find(hand)->keys[standin::kPosZ] = {standin::Key{0, 2}, standin::Key{1, 3}};
  scene.setTime(0.5);
  return scene;
}

// BoneSplit and BoneSubdivide move a child's keys through the channel and envelope tables,
// so their calls cross from the DLL into the stand-in and back, with doubles and pointers
// both ways. Arm stays as the first part and Hand moves to the last, its keys lowered by
// the length of the parts before it.
void checkKeyedSplits(const std::string& modulePath) {
  struct Run {
    const char* server;
    const char* control;
    const char* answer;
    const char* lastPart;
    double firstKey, secondKey;
  };
  const Run runs[] = {
      {"Vorrik:BoneSplit", "PercentControl", "50", "Arm2", 1, 2},
      {"Vorrik:BoneSubdivide", "MiniSliderControl", "4", "Arm4", 0.5, 1.5},
  };
  for (const Run& run : runs) {
    const std::string tool = std::string(run.server).substr(7);
    standin::StandIn standIn(keyedArm());
    standIn.loadModule(modulePath);
    const standin::ItemId arm = standIn.scene().findByName("Arm");
    const standin::ItemId hand = standIn.scene().findByName("Hand");
    select(standIn, {"Arm"});
    standin::Answers answers;
    answers.values[run.control] = run.answer;
    const standin::RunRecord record = standIn.activate(run.server, answers);
    const standin::Scene& after = standIn.scene();
    const standin::ItemId last = after.findByName(run.lastPart);
    check(record.result == AFUNC_OK && after.find(arm) != nullptr && last != 0 &&
              after.parentOf(hand) == last && after.parentOf(after.findByName("Arm2")) == arm,
          tool + " keeps Arm and hangs Hand from the new " + run.lastPart);
    const std::vector<standin::Key>& keys = after.find(hand)->keys[standin::kPosZ];
    check(keys.size() == 2 && keys[0].value == run.firstKey && keys[1].value == run.secondKey,
          tool + " lowers Hand's keys through the envelope table");
    bool accepted = !record.keyEdits.empty();
    for (const standin::CommandRecord& edit : record.keyEdits) accepted = accepted && edit.ok;
    check(accepted, tool + ": every key edit the module asked for was carried out");
    // The loaded DLL remembers the number of bones for the next dialog.
    if (tool == "BoneSubdivide") {
      select(standIn, {"Arm"});
      const standin::RunRecord again = standIn.activate(run.server, {false, {}});
      check(again.dialogs.size() == 1 && again.dialogs[0].controls.size() == 1 &&
                again.dialogs[0].controls[0].value == 4,
            "BoneSubdivide offers the count chosen last");
    }
    standIn.unloadModule();
  }
}

void checkTraceCapture() {
  standin::StandIn standIn(standin::demoRig());
  std::vector<std::string> lines = {
      "",
      "one line",
      "tabs\tand \"quotes\" and % signs %s %d",
      "no newline is added or kept: \n inside stays",
      std::string("bytes above 127: \xc3\xa9\xe2\x82\xac\xff"),
      std::string(1023, 'x'),
      std::string(5000, 'y'),
  };
  for (int i = 0; i < 300; ++i) lines.push_back("line " + std::to_string(i));
  const standin::RunRecord record = standIn.runDirect([&](GlobalFunc*, LWLayoutGeneric*) {
    for (const std::string& line : lines) OutputDebugStringA(line.c_str());
  });
  check(record.trace == lines, "OutputDebugStringA lines come back exactly and in order");
  if (record.trace != lines) {
    std::cout << "  captured " << record.trace.size() << " lines, wrote " << lines.size() << "\n";
  }

  // Outside a capture the handler is gone: the line goes its usual way and is not kept.
  OutputDebugStringA("outside any capture");
  const standin::RunRecord quiet = standIn.runDirect([](GlobalFunc*, LWLayoutGeneric*) {});
  check(quiet.trace.empty(), "nothing is captured from before the run");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: vorrik_module_checks PATH\\TO\\Vorrik.p\n";
    return 2;
  }
  try {
    checkTraceCapture();
    checkLoading(argv[1]);
    checkKeyedSplits(argv[1]);
  } catch (const std::exception& error) {
    check(false, std::string("unexpected error: ") + error.what());
  }
  const int bits = static_cast<int>(sizeof(void*) * 8);
  if (failures > 0) {
    std::cout << "wine module checks (" << bits << "-bit): " << failures << " of "
              << failures + passed << " checks failed\n";
    return 1;
  }
  std::cout << "wine module checks (" << bits << "-bit): " << passed << " checks passed\n";
  return 0;
}
