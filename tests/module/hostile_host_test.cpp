// Every server against a host that withholds a service, leaves a member null or throws from one.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>
#if defined(__linux__)
#include <sys/resource.h>
#endif
#include "hostile_cases.h"
#include "standin/layout/stand_in_impl.h"
#include "support/tool_harness.h"

namespace {

using namespace hostile_cases;

// --- damaged members ---------------------------------------------------------------

// A damaged member notes how many commands the run had sent at each call, and throws at
// one chosen call (none: it only watches).
struct Fault {
  static inline StandIn* standIn = nullptr;
  static inline std::vector<long> commandsAtCall;
  static inline std::size_t throwAt = 0;  // 1 for the first call; 0 never

  static void reset(StandIn& target, std::size_t throwAtCall) {
    standIn = &target;
    commandsAtCall.clear();
    throwAt = throwAtCall;
  }
  static void called() {
    const RunRecord* run = standIn->impl().run;
    commandsAtCall.push_back(run ? static_cast<long>(run->commands.size()) : 0);
    if (commandsAtCall.size() == throwAt) throw std::runtime_error("the host failed");
  }
};

template <auto Member>
struct Hook;

// Member is a function-pointer member of a host table.
template <typename Table, typename R, typename... Args, R (*Table::*Member)(Args...)>
struct Hook<Member> {
  static inline R (*original)(Args...) = nullptr;
  static R call(Args... args) {
    Fault::called();
    return original(args...);
  }
  static void wrap(Table& table) {
    original = table.*Member;
    table.*Member = call;
  }
  static void clear(Table& table) { table.*Member = nullptr; }
};

// The controls are made per dialog, so their members are damaged as addControl makes them.
struct ControlHook {
  static inline LWControl* (*originalAdd)(LWPanelID, char*, LWPanControlDesc*, char*) = nullptr;
  static inline void (*originalGet)(LWControl*, int, LWValue*) = nullptr;
  static inline void (*originalSet)(LWControl*, int, LWValue*) = nullptr;
  static inline bool onGet = false;  // which member: get, or set
  static inline bool makeNull = false;

  static void get(LWControl* control, int tag, LWValue* value) {
    Fault::called();
    originalGet(control, tag, value);
  }
  static void set(LWControl* control, int tag, LWValue* value) {
    Fault::called();
    originalSet(control, tag, value);
  }
  static LWControl* add(LWPanelID panel, char* kind, LWPanControlDesc* desc, char* label) {
    LWControl* control = originalAdd(panel, kind, desc, label);
    if (control == nullptr) return control;
    originalGet = control->get;
    originalSet = control->set;
    if (onGet)
      control->get = makeNull ? nullptr : get;
    else
      control->set = makeNull ? nullptr : set;
    return control;
  }
  static void install(StandIn& standIn, bool getMember, bool null) {
    onGet = getMember;
    makeNull = null;
    LWPanelFuncs& panels = standIn.panelTable();
    originalAdd = panels.addControl;
    panels.addControl = add;
  }
};

struct Member {
  const char* name;
  void (*wrap)(StandIn&);   // installs the spy or thrower
  void (*clear)(StandIn&);  // leaves the member null
};

template <auto Member, typename Table>
::Member member(const char* name, Table& (StandIn::*table)()) {
  // The table accessor is fixed per member type; captureless lambdas keep it a table row.
  static Table& (StandIn::*accessor)() = table;
  return {name, [](StandIn& s) { Hook<Member>::wrap((s.*accessor)()); },
          [](StandIn& s) { Hook<Member>::clear((s.*accessor)()); }};
}

const std::vector<Member>& members() {
  static const std::vector<Member> all = {
      member<&LWItemInfo::first>("item first", &StandIn::itemInfoTable),
      member<&LWItemInfo::next>("item next", &StandIn::itemInfoTable),
      member<&LWItemInfo::firstChild>("item firstChild", &StandIn::itemInfoTable),
      member<&LWItemInfo::nextChild>("item nextChild", &StandIn::itemInfoTable),
      member<&LWItemInfo::parent>("item parent", &StandIn::itemInfoTable),
      member<&LWItemInfo::type>("item type", &StandIn::itemInfoTable),
      member<&LWItemInfo::param>("item param", &StandIn::itemInfoTable),
      member<&LWBoneInfo::flags>("bone flags", &StandIn::boneInfoTable),
      member<&LWBoneInfo::restParam>("bone restParam", &StandIn::boneInfoTable),
      member<&LWBoneInfo::restLength>("bone restLength", &StandIn::boneInfoTable),
      member<&LWMessageFuncs::info>("message info", &StandIn::messageTable),
      member<&LWMessageFuncs::okCancel>("message okCancel", &StandIn::messageTable),
      member<&LWPanelFuncs::create>("panel create", &StandIn::panelTable),
      member<&LWPanelFuncs::addControl>("panel addControl", &StandIn::panelTable),
      member<&LWPanelFuncs::open>("panel open", &StandIn::panelTable),
      {"control get", [](StandIn& s) { ControlHook::install(s, true, false); },
       [](StandIn& s) { ControlHook::install(s, true, true); }},
      {"control set", [](StandIn& s) { ControlHook::install(s, false, false); },
       [](StandIn& s) { ControlHook::install(s, false, true); }},
  };
  return all;
}

// CopyKey and CutKey take each item's type (with the selection), then its three values; a
// fault in their later calls, which gather where the items sit for PasteKeyMirror, leaves
// that out of the records and the run goes on (key_capture_fault_test.cpp). How many of the
// member's first calls can end the run; all of them for the other tools.
std::size_t callsThatCanEndTheRun(const Scenario& scenario, const std::string& member) {
  const std::string tool = scenario.tool;
  if (tool != "CopyKey" && tool != "CutKey") return static_cast<std::size_t>(-1);
  if (member == "item type") return scenario.selection.size();
  if (member == "item param") return 3 * scenario.selection.size();
  return 0;
}

std::vector<std::string> prefix(const std::vector<std::string>& all, long length) {
  if (length < 0) return all;
  return {all.begin(), all.begin() + std::min<long>(length, static_cast<long>(all.size()))};
}

TEST(HostileHost, AWithheldServiceStopsTheServerBeforeAnythingOrIsNotMissed) {
  for (const Scenario& scenario : scenarios()) {
    ToolHarness sound(kRig);
    prepare(sound, scenario);
    const RunRecord healthy = sound.run(scenario.tool, scenario.answers);
    ASSERT_TRUE(!healthy.commands.empty() || !healthy.messages.empty() || healthy.hostCalls > 0)
        << scenario.what;

    for (const char* service : {kItemInfo, kBoneInfo, kInterface, kMessages, kPanels}) {
      const std::string what = std::string(scenario.what) + " without " + service;
      ToolHarness harness(kRig);
      prepare(harness, scenario);
      harness.standIn().withhold(service);
      const RunRecord record = harness.run(scenario.tool, scenario.answers);
      EXPECT_EQ(record.result, 0) << what;
      if (scenario.needs.count(service) != 0) {
        EXPECT_TRUE(record.commands.empty()) << what;
        EXPECT_TRUE(record.messages.empty()) << what;
        EXPECT_TRUE(record.dialogs.empty()) << what;
      } else {
        EXPECT_EQ(record.commandTexts(), healthy.commandTexts()) << what;
        EXPECT_EQ(record.messages.size(), healthy.messages.size()) << what;
      }
      EXPECT_EQ(harness.scene().validate(), "") << what;
    }
  }
}

TEST(HostileHost, ANullOrThrowingMemberEndsTheRunWhereItFails) {
  for (const Scenario& scenario : scenarios()) {
    for (const Member& damaged : members()) {
      const std::string what = std::string(scenario.what) + ", " + damaged.name;
      // A sound host, watched: the commands sent before each call of the member.
      ToolHarness watched(kRig);
      prepare(watched, scenario);
      Fault::reset(watched.standIn(), 0);
      damaged.wrap(watched.standIn());
      const RunRecord healthy = watched.run(scenario.tool, scenario.answers);
      const std::vector<long> commandsAtCall = Fault::commandsAtCall;
      const long firstCall = commandsAtCall.empty() ? -1 : commandsAtCall.front();

      // Null: the run ends at the first call, with what was sent before it.
      ToolHarness nulled(kRig);
      prepare(nulled, scenario);
      damaged.clear(nulled.standIn());
      const RunRecord withNull = nulled.run(scenario.tool, scenario.answers);
      EXPECT_EQ(withNull.result, 0) << what << " null";
      const std::size_t canEnd = callsThatCanEndTheRun(scenario, damaged.name);
      EXPECT_EQ(withNull.commandTexts(),
                canEnd > 0 ? prefix(healthy.commandTexts(), firstCall) : healthy.commandTexts())
          << what << " null";
      EXPECT_EQ(nulled.scene().validate(), "") << what << " null";

      // Throwing at the first, second, middle or last call: nothing is sent after it.
      std::set<std::size_t> throwAt;
      for (std::size_t n :
           {std::size_t{1}, std::size_t{2}, commandsAtCall.size() / 2, commandsAtCall.size()}) {
        if (n >= 1 && n <= commandsAtCall.size()) throwAt.insert(n);
      }
      for (std::size_t n : throwAt) {
        const std::string at = what + " throwing at call " + std::to_string(n);
        ToolHarness throwing(kRig);
        prepare(throwing, scenario);
        Fault::reset(throwing.standIn(), n);
        damaged.wrap(throwing.standIn());
        const RunRecord withThrow = throwing.run(scenario.tool, scenario.answers);
        EXPECT_EQ(withThrow.result, 0) << at;
        if (n > canEnd) {
          EXPECT_EQ(withThrow.commandTexts(), healthy.commandTexts()) << at;
          EXPECT_EQ(withThrow.trace, healthy.trace) << at;
          continue;
        }
        EXPECT_EQ(Fault::commandsAtCall.size(), n) << at;
        EXPECT_EQ(withThrow.commandTexts(), prefix(healthy.commandTexts(), commandsAtCall[n - 1]))
            << at;
        EXPECT_EQ(throwing.scene().validate(), "") << at;
        // The guard that caught it says why, as the run's last trace line.
        ASSERT_FALSE(withThrow.trace.empty()) << at;
        EXPECT_EQ(withThrow.trace.back(),
                  "[Fault] : Vorrik:" + std::string(scenario.tool) + " stopped: the host failed")
            << at;
      }
    }
  }
}

// A host that answers NaN: values the tools compute before their first command stop them
// there, so nothing is left half-done.
struct NanAnswers {
  static inline LWItemInfo items{};
  static inline LWBoneInfo bones{};
  static void param(LWItemID item, LWItemParam which, LWTime time, LWDVector out) {
    items.param(item, which, time, out);
    out[1] = std::nan("");
  }
  static void restParam(LWItemID bone, LWItemParam which, LWDVector out) {
    bones.restParam(bone, which, out);
    out[0] = std::nan("");
  }
  static double restLength(LWItemID) { return std::nan(""); }
};

TEST(HostileHost, NanAnswersStopTheToolBeforeItsFirstCommand) {
  struct Case {
    const char* scenario;  // a row of scenarios()
    const char* member;
    std::vector<std::string> messages;
  };
  const char* const kSplitStop = "BoneSplit stopped: the bone's values are out of range.";
  const char* const kMergeStop = "BoneMerge stopped: the bones' values are out of range.";
  const char* const kMirrorStop = "PasteKeyMirror stopped: the mirrored values are out of range.";
  const char* const kSubdivideStop = "BoneSubdivide stopped: the bone's values are out of range.";
  const Case cases[] = {
      {"BoneSplit splits a bone with a child", "param", {kSplitStop}},
      {"BoneSplit splits a bone with a child", "restParam", {kSplitStop}},
      {"BoneSplit splits a bone with a child", "restLength", {kSplitStop}},
      {"BoneSubdivide cuts a bone with a child in three", "param", {kSubdivideStop}},
      {"BoneSubdivide cuts a bone with a child in three", "restLength", {kSubdivideStop}},
      {"BoneMerge merges a pair", "param", {"Merge selected bones, OK?", kMergeStop}},
      {"BoneMerge merges a pair", "restParam", {"Merge selected bones, OK?", kMergeStop}},
      {"BoneMerge merges a pair", "restLength", {"Merge selected bones, OK?", kMergeStop}},
      {"BoneUtil restores the rest pose", "restParam", {}},
      {"PasteKey pastes several", "param", {}},
      {"PasteKey pastes one", "param", {}},
      {"PasteKeyMirror mirrors several", "param", {kMirrorStop}},
      {"PasteKeyMirror mirrors a bone chain", "restParam", {kMirrorStop}},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.scenario) + ", " + c.member + " NaN";
    const auto found = std::find_if(scenarios().begin(), scenarios().end(), [&](const Scenario& s) {
      return s.what == std::string(c.scenario);
    });
    ASSERT_NE(found, scenarios().end()) << what;
    ToolHarness harness(kRig);
    LWItemInfo& items = harness.standIn().itemInfoTable();
    LWBoneInfo& bones = harness.standIn().boneInfoTable();
    NanAnswers::items = items;
    NanAnswers::bones = bones;
    const std::string member = c.member;
    // The pastes' values come from the capture before them.
    const bool beforeToo = found->before.size() == 1 && found->before[0].rfind("CopyKey", 0) == 0;
    if (!beforeToo) prepare(harness, *found);
    if (member == "param") items.param = NanAnswers::param;
    if (member == "restParam") bones.restParam = NanAnswers::restParam;
    if (member == "restLength") bones.restLength = NanAnswers::restLength;
    if (beforeToo) prepare(harness, *found);
    const RunRecord record = harness.run(found->tool, found->answers);
    EXPECT_EQ(record.result, 0) << what;
    EXPECT_TRUE(record.commands.empty()) << what;
    EXPECT_EQ(messageTexts(record), c.messages) << what;
    EXPECT_EQ(harness.scene().validate(), "") << what;
  }
}

// A capture that fails part-way keeps the clipboard it would have replaced: the paste
// afterwards still puts Cam's values on Box.
TEST(HostileHost, AFailingCaptureKeepsTheClipboard) {
  for (const char* tool : {"CopyKey", "CutKey"}) {
    for (std::size_t n = 1; n <= 6; ++n) {  // three param calls for each of two items
      const std::string what = std::string(tool) + " failing at param call " + std::to_string(n);
      ToolHarness harness(kRig);
      harness.select({"Cam"});
      harness.run("CopyKey");
      const LWItemInfo sound = harness.standIn().itemInfoTable();
      harness.select({"Box", "Lamp"});
      Fault::reset(harness.standIn(), n);
      Hook<&LWItemInfo::param>::wrap(harness.standIn().itemInfoTable());
      EXPECT_TRUE(harness.run(tool).commands.empty()) << what;
      harness.standIn().itemInfoTable() = sound;
      harness.select({"Box"});
      const std::vector<std::string> pasted = harness.run("PasteKey").commandTexts();
      EXPECT_EQ(pasted, harness.expand(std::vector<std::string>{
                            "SelectItem {Box}", "Position 0 0 -5", "Rotation 0 0 0", "Scale 1 1 1",
                            "CreateKey 1", "SelectItem {Box}"}))
          << what;
    }
  }
}

}  // namespace
