#include "standin/layout/stand_in.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "standin/layout/commands.h"
#include "standin/layout/stand_in_impl.h"

namespace standin {

namespace {

std::string quoted(const char* text) {
  return text ? "\"" + std::string(text) + "\"" : std::string("null");
}

const char* tagName(int tag) {
  switch (tag) {
    case CTL_X: return "CTL_X";
    case CTL_Y: return "CTL_Y";
    case CTL_W: return "CTL_W";
    case CTL_H: return "CTL_H";
    case CTL_VALUE: return "CTL_VALUE";
    default: return "tag?";
  }
}

std::string numberText(double value) {
  std::ostringstream out;
  out.precision(17);
  out << value;
  return out.str();
}

bool parseInteger(const std::string& text, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0) return false;
  *value = parsed;
  return true;
}

}  // namespace

std::vector<std::string> RunRecord::commandTexts() const {
  std::vector<std::string> texts;
  for (const CommandRecord& command : commands) texts.push_back(command.text);
  return texts;
}

// ---------------------------------------------------------------- Impl

StandIn::Impl::Impl(StandIn& standIn) : owner(standIn) {
  installCallbacks(*this);
  installChannelCallbacks(*this);
}

void StandIn::Impl::event(std::string text) {
  if (run != nullptr && owner.recordEvents) run->events.push_back(std::move(text));
}

void StandIn::Impl::beginRun(RunRecord& record, const Answers& answersForRun) {
  run = &record;
  answers = &answersForRun;
  answersUsed.clear();
  livePanels.clear();
  selectionList.clear();
  selectionShown.clear();
  selectionListMade = false;
  queryCounts.clear();
  hostCalls = 0;
  refreshInterface();
}

void StandIn::Impl::countQuery(const char* query) {
  ++hostCalls;
  for (auto& entry : queryCounts) {
    if (entry.first == query) {
      ++entry.second;
      return;
    }
  }
  queryCounts.emplace_back(query, 1);
}

void StandIn::Impl::endRun() {
  if (run != nullptr && answers != nullptr && run->answerError.empty()) {
    for (const auto& entry : answers->values) {
      if (answersUsed.count(entry.first) == 0) {
        run->answerError = "the tool asked for no " + entry.first + " value";
        break;
      }
    }
  }
  if (run != nullptr) run->hostCalls = hostCalls;
  run = nullptr;
  answers = nullptr;
  livePanels.clear();
  selectionList.clear();
  selectionShown.clear();
  selectionListMade = false;
  interfaceInfo.selItems = nullptr;
}

void StandIn::Impl::refreshInterface(bool appendedOne) {
  const Scene& scene = owner.scene();
  interfaceInfo.curTime = scene.time();
  interfaceInfo.generalFlags = scene.parentInPlace ? LWGENF_PARENTINPLACE : 0u;
  if (owner.nullSelection) {
    interfaceInfo.selItems = nullptr;
    return;
  }
  const std::vector<ItemId>& selection = scene.selection();
  if (selectionListMade && appendedOne && !owner.editSelectionList &&
      selection.size() == selectionShown.size() + 1) {
    // AddToSelection that grew the selection by one appended a new item and left the rest
    // as it was (an item already selected would have moved, not added): no compare, no
    // copy, so re-selecting n items stays linear.
    selectionShown.push_back(selection.back());
    selectionList.back() = lwItemFromNumber(selection.back());
    selectionList.push_back(LWITEM_NULL);
  } else if (!selectionListMade || selection != selectionShown) {
    std::vector<LWItemID> list;
    list.reserve(selection.size() + 1);
    for (ItemId id : selection) list.push_back(lwItemFromNumber(id));
    if (owner.editSelectionList) owner.editSelectionList(list);
    list.push_back(LWITEM_NULL);
    selectionList.swap(list);  // the old list goes here
    selectionShown = selection;
    selectionListMade = true;
  }
  interfaceInfo.selItems = selectionList.data();
}

void* StandIn::Impl::lookUp(const char* name, int mode) {
  const std::string service = name ? name : "";
  void* table = nullptr;
  if (owner.withheld_.count(service) == 0) {
    if (service == LWITEMINFO_GLOBAL)
      table = &itemInfo;
    else if (service == LWBONEINFO_GLOBAL)
      table = &boneInfo;
    else if (service == LWINTERFACEINFO_GLOBAL)
      table = &interfaceInfo;
    else if (service == LWMESSAGEFUNCS_GLOBAL)
      table = &messages;
    else if (service == LWPANELFUNCS_GLOBAL)
      table = &panels;
    else if (service == LWCHANNELINFO_GLOBAL || service == LWCHANNELINFO_GLOBAL_OLD)
      table = &channelInfo;
    else if (service == LWENVELOPEFUNCS_GLOBAL || service == LWENVELOPEFUNCS_GLOBAL_2018 ||
             service == LWENVELOPEFUNCS_GLOBAL_OLD)
      table = &envelopeFuncs;
    else if (service == "LW Light Info 3")
      table = unusedTables[0];
    else if (service == "LW Object Info 4")
      table = unusedTables[1];
    else if (service == "LW Scene Info 3")
      table = unusedTables[2];
    else if (service == "LW Camera Info 2")
      table = unusedTables[3];
    else if (service == "Surface Functions 2")
      table = unusedTables[4];
    else if (service == "Scene Objects 4")
      table = unusedTables[5];
  }
  if (run != nullptr) run->lookups.push_back({service, mode, table != nullptr});
  event("lookup " + quoted(name) + (table ? "" : " -> null"));
  return table;
}

int StandIn::Impl::evaluate(const char* command) {
  std::string text = command ? command : "";
  CommandOutcome outcome = executeCommand(owner.scene(), text);
  const bool ok = outcome.ok;
  const bool appendedOne = ok && text.compare(0, 15, "AddToSelection ") == 0;
  if (run != nullptr && owner.recordEvents) {
    // Built in one piece: a big merge records a few hundred thousand of these.
    std::string line;
    line.reserve(text.size() + 11 + (ok ? 0 : 13 + outcome.why.size()));
    line.append("command \"").append(text).append("\"");
    if (!ok) line.append(" -> refused: ").append(outcome.why);
    run->events.push_back(std::move(line));
  }
  if (run != nullptr)
    run->commands.push_back({std::move(text), ok, std::move(outcome.why), outcome.item});
  refreshInterface(appendedOne);
  return ok ? 1 : 0;
}

void StandIn::Impl::message(const char* kind, const char* text, const char* text2) {
  if (run == nullptr) return;
  run->messages.push_back({kind, "", text ? text : "", text2 ? text2 : "", 0});
  event(std::string(kind) + " " + quoted(text) + (text2 ? " " + quoted(text2) : ""));
}

int StandIn::Impl::messageBox(const char* kind, const char* title, const char* text,
                              const char* text2) {
  if (run == nullptr) return 0;
  const bool ok = answers == nullptr || answers->ok;
  int result = ok ? 1 : 0;
  if (std::strcmp(kind, "yesNoCan") == 0 || std::strcmp(kind, "yesNoAll") == 0) {
    result = ok ? 2 : 0;
  }
  run->messages.push_back({kind, title ? title : "", text ? text : "", text2 ? text2 : "", result});
  event(std::string(kind) + " " + quoted(title) + " " + quoted(text) + " -> " +
        std::to_string(result));
  return result;
}

LWPanelID StandIn::Impl::createPanel(const char* title) {
  if (run == nullptr) return nullptr;
  DialogRecord dialog;
  dialog.title = title ? title : "";
  run->dialogs.push_back(dialog);
  livePanels.push_back(Panel{run->dialogs.size() - 1, {}});
  event("panel create " + quoted(title));
  return &livePanels.back();
}

LWControl* StandIn::Impl::addControl(LWPanelID panelId, const char* kind,
                                     const LWPanControlDesc* desc, const char* label) {
  if (run == nullptr || panelId == nullptr) return nullptr;
  auto* panel = static_cast<Panel*>(panelId);
  DialogRecord& dialog = run->dialogs[panel->dialog];
  ControlRecord control;
  control.kind = kind ? kind : "";
  control.label = label ? label : "";
  std::string described;
  if (desc != nullptr) {
    control.descriptorType = desc->type;
    if (desc->type == LWT_CHOICE) {
      for (const char** item = desc->choice.items; item && *item; ++item) {
        control.choices.push_back(*item);
      }
      control.vertical = desc->choice.vertical;
      described = " choice[" + std::to_string(control.choices.size()) + "] vertical " +
                  std::to_string(control.vertical);
    } else if (desc->type == LWT_RANGE) {
      control.rangeMin = desc->range.min;
      control.rangeMax = desc->range.max;
      described =
          " range " + std::to_string(control.rangeMin) + ".." + std::to_string(control.rangeMax);
    } else if (desc->type == LWT_LWITEM) {
      control.itemType = desc->lwitem.itemType;
      control.itemGlobalGiven = desc->lwitem.global != nullptr;
      described = " items of type " + std::to_string(control.itemType) + " list " +
                  (desc->lwitem.list ? "given" : "none") + " count " +
                  std::to_string(desc->lwitem.count) + " width " +
                  std::to_string(desc->lwitem.width);
    } else {
      described = " type " + std::to_string(desc->type);
    }
  }
  control.isFloat = control.kind == "PercentControl";
  dialog.controls.push_back(control);
  panel->controls.push_back(Control{});
  Control& created = panel->controls.back();
  initControl(created.lw);
  created.lw.priv_data = &created;
  created.dialog = panel->dialog;
  created.control = dialog.controls.size() - 1;
  event("panel addControl " + control.kind + " " + quoted(label) + described);
  return &created.lw;
}

void StandIn::Impl::controlSet(LWControl* lwControl, int tag, const LWValue* value) {
  if (run == nullptr || lwControl == nullptr || value == nullptr) return;
  auto* control = static_cast<Control*>(lwControl->priv_data);
  ControlRecord& record = run->dialogs[control->dialog].controls[control->control];
  std::string shown;
  double number = 0;
  if (value->type == LWT_INTEGER) {
    number = value->intv.value;
    shown = "int " + std::to_string(value->intv.value);
  } else if (value->type == LWT_FLOAT) {
    number = value->flt.value;
    shown = "float " + numberText(value->flt.value);
  } else {
    shown = "value of type " + std::to_string(value->type);
  }
  if (tag == CTL_VALUE) {
    record.valueSets.push_back(shown);
    if (value->type == LWT_INTEGER || value->type == LWT_FLOAT) record.value = number;
  } else if (value->type == LWT_INTEGER) {
    record.placement[tag] = value->intv.value;
  }
  event(record.kind + " set " + tagName(tag) + " " + shown);
}

void StandIn::Impl::controlGet(LWControl* lwControl, int tag, LWValue* value) {
  if (run == nullptr || lwControl == nullptr || value == nullptr) return;
  auto* control = static_cast<Control*>(lwControl->priv_data);
  const ControlRecord& record = run->dialogs[control->dialog].controls[control->control];
  // Like Layout, a control answers in its own value type.
  if (tag == CTL_VALUE && record.isFloat) {
    value->flt.type = LWT_FLOAT;
    value->flt.value = record.value;
    event(record.kind + " get CTL_VALUE -> float " + numberText(record.value));
    return;
  }
  int answer = 0;
  if (tag == CTL_VALUE) {
    answer = static_cast<int>(static_cast<long long>(record.value));
  } else {
    const auto found = record.placement.find(tag);
    answer = found == record.placement.end() ? 0 : found->second;
  }
  value->intv.type = LWT_INTEGER;
  value->intv.value = answer;
  event(record.kind + " get " + tagName(tag) + " -> int " + std::to_string(answer));
}

void StandIn::Impl::applyAnswers(DialogRecord& dialog) {
  if (answers == nullptr) return;
  for (ControlRecord& control : dialog.controls) {
    const auto found = answers->values.find(control.kind);
    if (found == answers->values.end()) continue;
    answersUsed.insert(control.kind);
    const std::string& text = found->second;
    std::string problem;
    if (control.kind == "PercentControl") {
      char* end = nullptr;
      const double value = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0')
        problem = "percent \"" + text + "\" is not a number";
      else
        control.value = value;
    } else if (control.kind == "ChoiceControl") {
      long index = 0;
      if (parseInteger(text, &index)) {
        // A choice control holds an int; a larger answer would not convert back to one.
        if (index < INT_MIN || index > INT_MAX)
          problem = "choice " + text + " is past an int";
        else
          control.value = static_cast<double>(index);
      } else {
        problem = "no choice \"" + text + "\" (choices:";
        for (std::size_t i = 0; i < control.choices.size(); ++i) {
          if (control.choices[i] == text) {
            control.value = static_cast<double>(i);
            problem.clear();
            break;
          }
          problem += " \"" + control.choices[i] + "\"";
        }
        if (!problem.empty()) problem += ")";
      }
    } else if (control.kind == "MiniSliderControl") {
      // Layout's slider holds an int; one outside its range is passed on for the module
      // to deal with, as a careless host might.
      long number = 0;
      if (!parseInteger(text, &number))
        problem = "slider value \"" + text + "\" is not an integer";
      else if (number < INT_MIN || number > INT_MAX)
        problem = "slider value " + text + " is past an int";
      else
        control.value = static_cast<double>(number);
    } else if (control.kind == "LWListControl") {
      const Scene& scene = owner.scene();
      if (text == "none") {
        control.value = 0;
      } else if (text.size() > 1 && text[0] == '#') {
        const unsigned long number = std::strtoul(text.c_str() + 1, nullptr, 16);
        if (number > 0xffffffffUL)
          problem = "item " + text + " is past 32 bits";
        else
          control.value = static_cast<double>(number);
      } else {
        const ItemId id = scene.findByName(text);
        if (id == 0)
          problem = "no item named \"" + text + "\"";
        else if (scene.typeOf(id) != control.itemType)
          problem = "\"" + text + "\" cannot be chosen in this list";
        else
          control.value = static_cast<double>(id);
      }
    } else {
      problem = "the stand-in cannot answer a " + control.kind;
    }
    if (!problem.empty() && run->answerError.empty()) run->answerError = problem;
    event("answer " + control.kind + " = " + quoted(text.c_str()) +
          (problem.empty() ? "" : " -> " + problem));
  }
}

int StandIn::Impl::openPanel(LWPanelID panelId, int flags) {
  if (run == nullptr || panelId == nullptr) return 0;
  auto* panel = static_cast<Panel*>(panelId);
  DialogRecord& dialog = run->dialogs[panel->dialog];
  dialog.opened = true;
  dialog.openFlags = flags;
  dialog.ok = answers == nullptr || answers->ok;
  if (dialog.ok) applyAnswers(dialog);
  event("panel open " + std::to_string(flags) + (dialog.ok ? " -> OK" : " -> Cancel"));
  return dialog.ok ? 1 : 0;
}

// ---------------------------------------------------------------- StandIn

StandIn::StandIn() : StandIn(Scene()) {}

StandIn::StandIn(Scene scene) : scene_(std::move(scene)), impl_(new Impl(*this)) {}

StandIn::~StandIn() { unloadModule(); }

LWItemInfo& StandIn::itemInfoTable() { return impl_->itemInfo; }
LWBoneInfo& StandIn::boneInfoTable() { return impl_->boneInfo; }
LWMessageFuncs& StandIn::messageTable() { return impl_->messages; }
LWPanelFuncs& StandIn::panelTable() { return impl_->panels; }
LWInterfaceInfo& StandIn::interfaceTable() { return impl_->interfaceInfo; }
LWChannelInfo& StandIn::channelInfoTable() { return impl_->channelInfo; }
LWEnvelopeFuncs& StandIn::envelopeTable() { return impl_->envelopeFuncs; }

void StandIn::attachModule(ModuleDescriptor* descriptor) {
  unloadModule();
  if (descriptor == nullptr) throw StandInError("no module descriptor");
  if (descriptor->sysSync != MOD_SYSSYNC) {
    throw StandInError("module descriptor has the wrong synchronisation code");
  }
  if (descriptor->sysVersion != MOD_SYSVER) {
    throw StandInError("module descriptor has interface version " +
                       std::to_string(descriptor->sysVersion) + ", expected 3");
  }
  descriptor_ = descriptor;
  startupValue_ = descriptor->startup ? descriptor->startup() : nullptr;
  if (startupValue_ == nullptr) {
    descriptor_ = nullptr;
    throw StandInError("module start-up failed");
  }
}

void StandIn::loadModule(const std::string& path) {
  unloadModule();
  std::string error;
  std::unique_ptr<LoadedModule> library = LoadedModule::open(path, &error);
  if (!library) throw StandInError(error);
  // Check and start it before it counts as loaded; a bad file is unloaded again here.
  attachModule(library->descriptor());
  library_ = std::move(library);
}

void StandIn::unloadModule() {
  if (descriptor_ != nullptr && descriptor_->shutdown != nullptr) {
    descriptor_->shutdown(startupValue_);
  }
  descriptor_ = nullptr;
  startupValue_ = nullptr;
  library_.reset();
}

std::vector<std::string> StandIn::serverNames() const {
  std::vector<std::string> names;
  if (descriptor_ == nullptr) return names;
  for (const ServerRecord* server = descriptor_->serverDefs; server && server->className;
       ++server) {
    if (std::strcmp(server->className, "LayoutGeneric") == 0 && server->name) {
      names.push_back(server->name);
    }
  }
  return names;
}

RunRecord StandIn::activate(const std::string& serverName, const Answers& answers, long version) {
  RunRecord record;
  record.server = serverName;
  if (descriptor_ == nullptr) throw StandInError("no module loaded");
  const ServerRecord* server = descriptor_->serverDefs;
  for (; server && server->className; ++server) {
    if (std::strcmp(server->className, "LayoutGeneric") == 0 && server->name &&
        serverName == server->name) {
      break;
    }
  }
  if (server == nullptr || server->className == nullptr || server->activate == nullptr) {
    return record;
  }
  record.activated = true;
  impl_->beginRun(record, answers);
  setActiveStandIn(this);
  {
    std::unique_ptr<TraceCapture> capture;
    if (captureTrace) capture.reset(new TraceCapture());
    // Layout offers its newest version first and steps down while the server refuses.
    for (long offered = version;; --offered) {
      record.events.push_back("activate version " + std::to_string(offered));
      record.result = server->activate(offered, standInGlobal(), &impl_->generic, nullptr);
      if (!stepDownVersions || record.result != AFUNC_BADVERSION || offered <= 1) break;
    }
    if (capture) record.trace = capture->finish();
  }
  setActiveStandIn(nullptr);
  impl_->endRun();
  return record;
}

RunRecord StandIn::runDirect(
    const std::function<void(GlobalFunc* global, LWLayoutGeneric* local)>& body,
    const Answers& answers) {
  RunRecord record;
  record.server = "(direct)";
  record.activated = true;
  impl_->beginRun(record, answers);
  setActiveStandIn(this);
  {
    std::unique_ptr<TraceCapture> capture;
    if (captureTrace) capture.reset(new TraceCapture());
    try {
      body(standInGlobal(), &impl_->generic);
    } catch (...) {
      if (capture) record.trace = capture->finish();
      setActiveStandIn(nullptr);
      impl_->endRun();
      throw;
    }
    if (capture) record.trace = capture->finish();
  }
  setActiveStandIn(nullptr);
  impl_->endRun();
  record.result = 0;
  return record;
}

}  // namespace standin
