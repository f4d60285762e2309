// The stand-in's private state, shared by stand_in.cpp and services.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "standin/layout/stand_in.h"

namespace standin {

struct StandIn::Impl {
  // A control handed to the module: the host record first, so that the module's
  // LWControl* is also this control.
  struct Control {
    LWControl lw{};
    std::size_t dialog = 0;   // index into the run's dialogs
    std::size_t control = 0;  // index into that dialog's controls
  };
  struct Panel {
    std::size_t dialog = 0;
    std::deque<Control> controls;  // deque: the module keeps pointers to them
  };

  explicit Impl(StandIn& owner);

  StandIn& owner;

  // The tables handed out. Stable addresses for the stand-in's lifetime.
  LWItemInfo itemInfo{};
  LWBoneInfo boneInfo{};
  LWInterfaceInfo interfaceInfo{};
  LWMessageFuncs messages{};
  LWPanelFuncs panels{};
  LWLayoutGeneric generic{};
  LWChannelInfo channelInfo{};
  LWEnvelopeFuncs envelopeFuncs{};

  // Channel groups and keys handed to the module, kept for the stand-in's lifetime. The ids
  // the module gets are numbers, not addresses: a record's index and its kind (channel_ids.h),
  // so that an id of the wrong kind or one never handed out is told apart without a lookup;
  // an id whose item or key has gone answers "nothing".
  struct ChannelGroup {
    ItemId item = 0;
    // Per channel, the key records made so far: (time, index into keyRecords).
    std::array<std::vector<std::pair<double, std::uint32_t>>, kChannelCount> keys;
  };
  struct KeyRecord {
    std::uint32_t group = 0;
    int channel = 0;
    double time = 0;
  };
  std::vector<ChannelGroup> channelGroups;
  std::unordered_map<ItemId, std::uint32_t> groupOfItem;
  std::vector<KeyRecord> keyRecords;
  std::map<std::pair<ItemId, int>, int> envelopeAges;     // changes made through envelopes
  std::map<std::pair<ItemId, int>, int> hiddenEnvelopes;  // egSet's visibility flag, 0 or 1
  // The six services the module acquires but never calls: each answers with a table of
  // null members, which is all that can be said of them here.
  void* unusedTables[6][32] = {};

  // The run in progress (null between runs).
  RunRecord* run = nullptr;
  const Answers* answers = nullptr;
  std::set<std::string> answersUsed;
  std::deque<Panel> livePanels;
  // The selection list handed out, and the scene selection it was made from. A new list
  // is made only when the selection changes, and the old one is freed then: a module must
  // read selItems afresh after a command that changes the selection (the sanitizer build
  // catches one that keeps a stale list). Keeping every list until the run ends made
  // re-selecting 10,000 items cost gigabytes.
  std::vector<LWItemID> selectionList;
  std::vector<ItemId> selectionShown;
  bool selectionListMade = false;
  // How often each item and bone query was made over the run, by member name. Keyed by
  // the literal's address: this is on the path of every host call.
  std::vector<std::pair<const char*, std::size_t>> queryCounts;
  std::size_t hostCalls = 0;
  void countQuery(const char* query);

  void beginRun(RunRecord& record, const Answers& answersForRun);
  void endRun();
  // Points the interface table at the scene's present time and selection. `appendedOne`:
  // the command was an AddToSelection the scene carried out.
  void refreshInterface(bool appendedOne = false);
  void event(std::string text);

  void* lookUp(const char* name, int mode);
  int evaluate(const char* command);

  // Panels.
  LWPanelID createPanel(const char* title);
  LWControl* addControl(LWPanelID panel, const char* kind, const LWPanControlDesc* desc,
                        const char* label);
  int openPanel(LWPanelID panel, int flags);
  void controlSet(LWControl* control, int tag, const LWValue* value);
  void controlGet(LWControl* control, int tag, LWValue* value);
  void applyAnswers(DialogRecord& dialog);

  // Messages.
  void message(const char* kind, const char* text, const char* text2);
  int messageBox(const char* kind, const char* title, const char* text, const char* text2);
};

// The stand-in whose run is in progress; the host's C callbacks carry no context.
StandIn* activeStandIn();
void setActiveStandIn(StandIn* standIn);

// Fills the tables with the stand-in's callbacks (services.cpp).
void installCallbacks(StandIn::Impl& impl);
// Fills the channel and envelope tables (channel_services.cpp).
void installChannelCallbacks(StandIn::Impl& impl);
// What item info's chanGroup answers: the item's channel group, made on first asking.
void* channelGroupOf(StandIn::Impl& impl, ItemId item);
// Gives a new control its callbacks.
void initControl(LWControl& control);
// The lookup function passed to the module's activations.
GlobalFunc* standInGlobal();

}  // namespace standin
