// The built-in Layout stand-in: loads a module as Layout does, answers the host services it
// asks for from a Scene, carries out the commands it sends, scripts its dialogs and
// messages, and records everything in order.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/lw_host.h"
#include "standin/layout/module_loader.h"
#include "standin/scene/scene.h"

namespace standin {

struct StandInError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Answers for one activation's dialogs and message boxes.
struct Answers {
  bool ok = true;  // OK, or Cancel, for every dialog and okCancel box
  // Control values by control kind ("PercentControl", "ChoiceControl", "MiniSliderControl",
  // "LWListControl"), as text: a number for percent; an integer or an item text for choices;
  // an integer for sliders; an item name, "none", or "#<hex id>" for item lists. Controls
  // without an answer keep their values.
  std::map<std::string, std::string> values;
};

struct ServiceLookup {
  std::string name;
  int mode = 0;
  bool provided = false;
};

struct CommandRecord {
  std::string text;
  bool ok = false;
  std::string why;  // why it was refused
  ItemId item = 0;  // the item its id argument names (SelectItem, ParentItem, ...); 0 for none
};

struct MessageRecord {
  std::string kind;   // "info", "error", "warning", "okCancel", ...
  std::string title;  // boxes with a title only
  std::string text;
  std::string text2;  // empty when the module passed none
  int result = 0;     // what the box answered (boxes with buttons)
};

struct ControlRecord {
  std::string kind;
  std::string label;
  int descriptorType = 0;              // LWType of the descriptor
  std::vector<std::string> choices;    // ChoiceControl items
  int vertical = 0;                    // ChoiceControl
  int rangeMin = 0, rangeMax = 0;      // PercentControl / range descriptors
  int itemType = 0;                    // LWListControl
  bool itemGlobalGiven = false;        // LWListControl: the descriptor carried a lookup function
  std::map<int, int> placement;        // CTL_X/CTL_Y/... as set
  std::vector<std::string> valueSets;  // each value set, in order ("int 1", "float 50")
  double value = 0;                    // the control's value now
  bool isFloat = false;                // the value is a float (percent) rather than an integer
};

struct DialogRecord {
  std::string title;
  std::vector<ControlRecord> controls;
  bool opened = false;
  int openFlags = 0;
  bool ok = false;
  bool destroyed = false;
};

struct RunRecord {
  std::string server;
  int result = -1;
  bool activated = false;  // false when the server does not exist
  std::vector<ServiceLookup> lookups;
  std::vector<CommandRecord> commands;
  std::vector<std::string> trace;  // the module's debugger lines, as written
  std::vector<MessageRecord> messages;
  std::vector<DialogRecord> dialogs;
  // Every host call the module made, in order, as readable text.
  std::vector<std::string> events;
  // An answer that fit no control of the dialog, or named an unknown item or choice.
  std::string answerError;
  // Every change the module asked of an envelope ("keySet 40010000 Position.Z at 0.5:
  // value 0.25"), in order, with what became of it.
  std::vector<CommandRecord> keyEdits;
  // How many item, bone, interface, channel and envelope queries the module made
  // (commands, messages and panel calls not counted).
  std::size_t hostCalls = 0;

  std::vector<std::string> commandTexts() const;
};

class StandIn {
public:
  StandIn();
  explicit StandIn(Scene scene);
  ~StandIn();
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  Scene& scene() { return scene_; }
  const Scene& scene() const { return scene_; }

  // Loads a module file through the platform's loader, checks its descriptor (sync code
  // and version) and calls its start-up routine. Throws StandInError.
  void loadModule(const std::string& path);
  // Uses a descriptor already in this process (the module linked in statically).
  void attachModule(ModuleDescriptor* descriptor);
  // Calls the shut-down routine and unloads the file. Also done by the destructor.
  void unloadModule();
  bool moduleLoaded() const { return descriptor_ != nullptr; }
  const ModuleDescriptor* descriptor() const { return descriptor_; }

  // Server names of class "LayoutGeneric", in table order.
  std::vector<std::string> serverNames() const;

  // Runs one server (by full name, "Vorrik:QuickParent"). The version is the interface
  // version Layout passes; Layout retries lower versions while the server answers
  // "bad version", down to 1.
  RunRecord activate(const std::string& serverName, const Answers& answers = {}, long version = 1);

  // Runs `body` as if it were an activation: the services answer, commands are carried out
  // and everything is recorded. For tests that call the module's parts directly.
  RunRecord runDirect(const std::function<void(GlobalFunc* global, LWLayoutGeneric* local)>& body,
                      const Answers& answers = {});

  // Makes a service lookup answer null.
  void withhold(const std::string& serviceName) { withheld_.insert(serviceName); }
  void provideAll() { withheld_.clear(); }
  // Layout steps down from the offered version while a server answers "bad version"; off,
  // a run makes exactly one call with the version given.
  bool stepDownVersions = true;
  // Makes selItems a null pointer instead of a list.
  bool nullSelection = false;
  // Captures the module's debugger output into RunRecord::trace (off: it goes where it
  // would go anyway).
  bool captureTrace = true;
  // Keeps RunRecord::events, the one list of everything in order (off: commands, messages,
  // dialogs and host calls are still recorded, each in its own list). Benchmarks turn it
  // off so that they time the tools rather than this log.
  bool recordEvents = true;
  // Rewrites each selection list before it is handed out (the closing null is added
  // after): lets tests list ids the scene does not hold, or repeat one.
  std::function<void(std::vector<LWItemID>& list)> editSelectionList;

  // The tables the stand-in hands out; tests may damage members to see a clean refusal.
  LWItemInfo& itemInfoTable();
  LWBoneInfo& boneInfoTable();
  LWMessageFuncs& messageTable();
  LWPanelFuncs& panelTable();
  LWInterfaceInfo& interfaceTable();
  LWChannelInfo& channelInfoTable();
  LWEnvelopeFuncs& envelopeTable();

  // --- used by the C callbacks (services.cpp) ---
  struct Impl;
  Impl& impl() { return *impl_; }

private:
  Scene scene_;
  std::unique_ptr<Impl> impl_;
  std::unique_ptr<LoadedModule> library_;
  ModuleDescriptor* descriptor_ = nullptr;
  void* startupValue_ = nullptr;
  std::set<std::string> withheld_;
};

}  // namespace standin
