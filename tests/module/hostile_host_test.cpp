// Every server against a host that withholds a service, leaves a member null or throws from
// one; then selections Layout would not give: very long ones, unknown ids, items removed
// between two runs.
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

#include "standin/layout/stand_in_impl.h"
#include "support/tool_harness.h"

namespace {

using standin::Answers;
using standin::ItemId;
using standin::RunRecord;
using standin::StandIn;
using testing_support::ToolHarness;

// Rig: A with the chain B -> C and a second child K; keyed Box, Lamp and Cam on their own.
const char* const kRig = R"({"time": 1, "items": [
  {"name": "Rig", "type": "object", "position": [0, 1, 0]},
  {"name": "A", "type": "bone", "parent": "Rig", "position": [0, 0, 0.5], "rotation": [10, 20, 0],
   "restPosition": [0, 0, 0.25], "restRotation": [5, 0, 0], "restLength": 2},
  {"name": "B", "type": "bone", "parent": "A", "position": [0, 0, 2], "rotation": [0, 30, 0],
   "pivot": [0, 0.1, 0], "restLength": 1.5},
  {"name": "C", "type": "bone", "parent": "B", "position": [0, 0, 1.5], "active": false},
  {"name": "K", "type": "bone", "parent": "A", "position": [0.5, 0, 1]},
  {"name": "Box", "type": "object", "keys": [
    {"time": 0, "position": [0, 0, 0], "rotation": [0, 0, 0], "scale": [1, 1, 1]},
    {"time": 1, "position": [1, 2, 3], "rotation": [90, 0, 0], "scale": [2, 2, 2]}]},
  {"name": "Lamp", "type": "light", "position": [3, 0, 0], "keys": [
    {"time": 1, "position": [3, 0, 0], "rotation": [0, 45, 0], "scale": [1, 1, 1]}]},
  {"name": "Cam", "type": "camera", "position": [0, 0, -5]}
]})";

const char* const kItemInfo = "LW Item Info 3";
const char* const kBoneInfo = "LW Bone Info 3";
const char* const kInterface = "LW Interface Info 3";
const char* const kMessages = "Info Messages 2";
const char* const kPanels = "LWPanelServices";

Answers answer(std::map<std::string, std::string> values, bool ok = true) {
  return Answers{ok, std::move(values)};
}

// One run of one server that does real work on kRig when the host is sound.
struct Scenario {
  const char* what;
  const char* tool;
  std::vector<std::string> before;  // runs made first, "Tool:Selection,Of,Items"
  std::vector<std::string> selection;
  Answers answers;
  std::set<std::string> needs;  // the services the server cannot start without
};

const std::vector<Scenario>& scenarios() {
  static const std::vector<Scenario> all = {
      {"BoneUtil restores the rest pose",
       "BoneUtil",
       {},
       {"A"},
       answer({{"ChoiceControl", "Restore rest"}}),
       {kItemInfo, kInterface, kBoneInfo, kPanels}},
      {"BoneUtil enables bones",
       "BoneUtil",
       {},
       {"Rig"},
       answer({{"ChoiceControl", "Enable"}}),
       {kItemInfo, kInterface, kBoneInfo, kPanels}},
      {"BoneSplit splits a bone with a child",
       "BoneSplit",
       {},
       {"B"},
       answer({{"PercentControl", "40"}}),
       {kItemInfo, kInterface, kBoneInfo, kMessages, kPanels}},
      {"BoneSubdivide cuts a bone with a child in three",
       "BoneSubdivide",
       {},
       {"B"},
       answer({{"MiniSliderControl", "3"}}),
       {kItemInfo, kInterface, kBoneInfo, kMessages, kPanels}},
      {"BoneSplit refuses two bones",
       "BoneSplit",
       {},
       {"B", "C"},
       {},
       {kItemInfo, kInterface, kBoneInfo, kMessages, kPanels}},
      {"BoneMerge merges a pair",
       "BoneMerge",
       {},
       {"B", "C"},
       {},
       {kItemInfo, kInterface, kBoneInfo, kMessages}},
      {"BoneMerge refuses one bone",
       "BoneMerge",
       {},
       {"B"},
       {},
       {kItemInfo, kInterface, kBoneInfo, kMessages}},
      {"BoneUnParent unparents",
       "BoneUnParent",
       {},
       {"A"},
       answer({{"ChoiceControl", "Unparent"}}),
       {kItemInfo, kInterface, kMessages, kPanels}},
      {"BoneUnParent recovers",
       "BoneUnParent",
       {"BoneUnParent:A"},
       {"A"},
       answer({{"ChoiceControl", "Recover"}}),
       {kItemInfo, kInterface, kMessages, kPanels}},
      {"QuickParent parents",
       "QuickParent",
       {},
       {"Box", "Lamp", "Cam"},
       {},
       {kItemInfo, kInterface, kMessages}},
      {"QuickParent refuses one item",
       "QuickParent",
       {},
       {"Box"},
       {},
       {kItemInfo, kInterface, kMessages}},
      {"CutKey cuts", "CutKey", {}, {"Box", "Lamp"}, {}, {kItemInfo, kInterface}},
      {"CopyKey copies", "CopyKey", {}, {"Box", "Lamp"}, {}, {kItemInfo, kInterface}},
      {"PasteKey pastes several",
       "PasteKey",
       {"CopyKey:Box,Lamp"},
       {"Cam"},
       {},
       {kItemInfo, kInterface}},
      {"PasteKey pastes one", "PasteKey", {"CopyKey:Box"}, {"Cam"}, {}, {kItemInfo, kInterface}},
      {"PasteKeyMirror mirrors several",
       "PasteKeyMirror",
       {"CopyKey:Box,Lamp"},
       {"Cam"},
       {},
       {kItemInfo, kInterface, kMessages, kPanels}},
      {"PasteKeyMirror mirrors a bone chain",
       "PasteKeyMirror",
       {"CopyKey:B,C"},
       {},
       answer({{"ChoiceControl", "Z"}}),
       {kItemInfo, kInterface, kMessages, kPanels}},
  };
  return all;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

// A harness with the scenario's earlier runs made on a sound host, its selection made.
void prepare(ToolHarness& harness, const Scenario& scenario) {
  for (const std::string& step : scenario.before) {
    const std::vector<std::string> parts = split(step, ':');
    harness.select(split(parts[1], ','));
    Answers answers;
    if (parts[0] == "BoneUnParent") answers.values["ChoiceControl"] = "Unparent";
    ASSERT_EQ(harness.run(parts[0], answers).result, 0) << step;
  }
  harness.select(scenario.selection);
}

std::vector<std::string> messageTexts(const RunRecord& record) {
  std::vector<std::string> texts;
  for (const auto& message : record.messages) texts.push_back(message.text);
  return texts;
}

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

// --- selections Layout would not give ------------------------------------------------

#if defined(__linux__)
// The peak resident size so far, in MiB.
double peakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}
#endif

TEST(OddSelections, TenThousandSelectedBones) {
  constexpr std::size_t kCount = 10000;
  standin::Scene scene;
  const ItemId rig = scene.addObject("Rig");
  std::vector<ItemId> bones;
  for (std::size_t i = 0; i < kCount; ++i) {
    bones.push_back(scene.addBone(rig, rig, "B" + std::to_string(i)));
    scene.setPosition(bones.back(), {static_cast<double>(i % 7), 0, 1});
  }
  struct Case {
    const char* tool;
    bool copyFirst;  // a CopyKey of the same selection before
    Answers answers;
    std::size_t commands;
    const char* message;  // null: none
  };
  const Case cases[] = {
      {"QuickParent", false, {}, 2 * (kCount - 1), nullptr},
      {"CopyKey", false, {}, 0, nullptr},
      {"CutKey", false, {}, 3 * kCount, nullptr},
      {"PasteKey", true, {}, 6 * kCount, nullptr},
      {"PasteKeyMirror", true, {}, 6 * kCount, nullptr},
      {"BoneSplit", false, answer({{"PercentControl", "50"}}), 0, "Select only single bone."},
      {"BoneMerge", false, {}, 0, "Select 2 bones."},
      {"BoneUnParent", false, {}, 0, "Select only single bone."},
      {"BoneUtil", false, answer({{"ChoiceControl", "Record rest"}}), 2 * kCount, nullptr},
  };
  for (const Case& c : cases) {
    ToolHarness harness(scene);
    // By id: finding 10,000 names one by one would take longer than the runs.
    harness.scene().clearSelection();
    for (ItemId bone : bones) harness.scene().addToSelection(bone);
    if (c.copyFirst) harness.run("CopyKey");
#if defined(__linux__)
    const double peakBefore = peakMiB();
#endif
    const RunRecord record = harness.run(c.tool, c.answers);
    EXPECT_EQ(record.result, 0) << c.tool;
    EXPECT_EQ(record.commands.size(), c.commands) << c.tool;
    for (const auto& command : record.commands) ASSERT_TRUE(command.ok) << c.tool << command.why;
    ASSERT_EQ(record.messages.size(), c.message ? 1u : 0u) << c.tool;
    if (c.message) {
      EXPECT_EQ(record.messages[0].text, c.message) << c.tool;
    }
    EXPECT_EQ(harness.scene().validate(), "") << c.tool;
#if defined(__linux__)
    // Each command used to leave a copy of the selection behind: re-selecting 10,000
    // items kept 50 million entries.
    EXPECT_LT(peakMiB() - peakBefore, 150.0) << c.tool;
#endif
    if (std::string(c.tool) == "QuickParent") {
      for (std::size_t i = 1; i < kCount; ++i) {
        ASSERT_EQ(harness.scene().parentOf(bones[i]), bones[0]) << i;
      }
    }
    if (std::string(c.tool) == "CutKey" || std::string(c.tool) == "PasteKey" ||
        std::string(c.tool) == "PasteKeyMirror") {
      // The snapshot is selected again, the first item selected last.
      ASSERT_EQ(harness.scene().selection().size(), kCount) << c.tool;
      EXPECT_EQ(harness.scene().currentItem(), bones[0]) << c.tool;
    }
  }
}

const ItemId kNobody = 0x4fff0001u;  // no item of kRig has this id

TEST(OddSelections, AnIdThatNamesNoItem) {
  enum Expect { kAsWithoutIt, kRefused };
  struct Case {
    const char* tool;
    std::vector<std::string> copied;  // a CopyKey of these first (with the id as well)
    std::vector<std::string> selection;
    std::size_t at;  // where the id goes in the selection list
    Answers answers;
    Expect expect;
  };
  const Case cases[] = {
      {"QuickParent", {}, {"Box", "Lamp", "Cam"}, 0, {}, kAsWithoutIt},
      {"QuickParent", {}, {"Box", "Lamp", "Cam"}, 1, {}, kAsWithoutIt},
      {"QuickParent", {}, {"Box", "Lamp", "Cam"}, 3, {}, kAsWithoutIt},
      {"QuickParent", {}, {"Box"}, 0, {}, kAsWithoutIt},
      {"CutKey", {}, {"Box", "Lamp"}, 0, {}, kAsWithoutIt},
      {"CutKey", {}, {"Box", "Lamp"}, 2, {}, kAsWithoutIt},
      {"CutKey", {}, {}, 0, {}, kAsWithoutIt},
      {"PasteKey", {"Box", "Lamp"}, {"Cam"}, 0, {}, kAsWithoutIt},
      {"PasteKey", {"Box"}, {"Cam"}, 0, {}, kAsWithoutIt},
      {"PasteKey", {"Box"}, {"Cam", "Lamp"}, 1, {}, kAsWithoutIt},
      {"PasteKeyMirror", {"Box", "Lamp"}, {"Cam"}, 0, {}, kAsWithoutIt},
      {"PasteKeyMirror", {"Box"}, {"Cam", "Lamp"}, 1, {}, kAsWithoutIt},
      {"BoneUtil",
       {},
       {"A"},
       0,
       answer({{"LWListControl", "Rig"}, {"ChoiceControl", "Disable"}}),
       kAsWithoutIt},
      {"BoneUtil", {}, {"A"}, 1, answer({{"ChoiceControl", "Disable"}}), kAsWithoutIt},
      {"BoneSplit", {}, {}, 0, answer({{"PercentControl", "50"}}), kRefused},
      {"BoneSplit", {}, {"B"}, 0, answer({{"PercentControl", "50"}}), kRefused},
      {"BoneMerge", {}, {"B", "C"}, 1, {}, kRefused},
      {"BoneMerge", {}, {"B"}, 1, {}, kRefused},
      {"BoneUnParent", {}, {}, 0, answer({{"ChoiceControl", "Unparent"}}), kRefused},
      {"BoneUnParent", {}, {"A"}, 1, answer({{"ChoiceControl", "Unparent"}}), kRefused},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.tool) + " with the id at " + std::to_string(c.at) +
                             " of " + std::to_string(c.selection.size());
    const auto insertNobody = [](std::size_t at) {
      return [at](std::vector<LWItemID>& list) {
        list.insert(list.begin() + static_cast<long>(std::min(at, list.size())),
                    lwItemFromNumber(kNobody));
      };
    };
    ToolHarness harness(kRig);
    if (!c.copied.empty()) {
      harness.select(c.copied);
      harness.standIn().editSelectionList = insertNobody(0);
      harness.run("CopyKey");
    }
    harness.select(c.selection);
    harness.standIn().editSelectionList = insertNobody(c.at);
    const RunRecord record = harness.run(c.tool, c.answers);
    EXPECT_EQ(record.result, 0) << what;
    for (const auto& command : record.commands)
      EXPECT_TRUE(command.ok) << what << ": " << command.why;
    EXPECT_EQ(harness.scene().validate(), "") << what;
    if (c.expect == kRefused) {
      EXPECT_TRUE(record.commands.empty()) << what;
      EXPECT_EQ(record.messages.size(), 1u) << what;
      continue;
    }
    ToolHarness plain(kRig);
    if (!c.copied.empty()) {
      plain.select(c.copied);
      plain.run("CopyKey");
    }
    plain.select(c.selection);
    const RunRecord expected = plain.run(c.tool, c.answers);
    EXPECT_EQ(record.commandTexts(), expected.commandTexts()) << what;
    EXPECT_EQ(messageTexts(record), messageTexts(expected)) << what;
  }
  // An item list answered with the id: the walk finds nothing to do.
  ToolHarness harness(kRig);
  harness.select({"A"});
  const RunRecord record = harness.run(
      "BoneUtil", answer({{"LWListControl", "#4fff0001"}, {"ChoiceControl", "Disable"}}));
  EXPECT_EQ(record.result, 0);
  EXPECT_TRUE(record.commands.empty());
}

TEST(OddSelections, ItemsRemovedBetweenTwoRuns) {
  struct Run {
    const char* tool;
    std::vector<std::string> selection;
    const char* action;  // BoneUnParent's choice; null otherwise
  };
  struct Case {
    const char* what;
    Run first;
    std::vector<std::string> removed;
    Run second;
    std::vector<std::string> commands;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"a copied item is gone: the others are pasted back",
       {"CopyKey", {"Box", "Lamp"}, nullptr},
       {"Box"},
       {"PasteKey", {"Cam"}, nullptr},
       {"SelectItem {Lamp}", "Position 3 0 0", "Rotation 0 45 0", "Scale 1 1 1", "CreateKey 1",
        "SelectItem {Cam}"},
       {}},
      {"every copied item is gone: only the selection is made again",
       {"CopyKey", {"Box", "Lamp"}, nullptr},
       {"Box", "Lamp"},
       {"PasteKey", {"Cam"}, nullptr},
       {"SelectItem {Cam}"},
       {}},
      {"the one copied item is gone: its values still go onto the selected item",
       {"CutKey", {"Box"}, nullptr},
       {"Box"},
       {"PasteKey", {"Cam"}, nullptr},
       {"SelectItem {Cam}", "Position 1 2 3", "Rotation 90 0 0", "Scale 2 2 2", "CreateKey 1",
        "SelectItem {Cam}"},
       {}},
      {"a moved bone is gone: the other goes back",
       {"BoneUnParent", {"A"}, "Unparent"},
       {"K"},
       {"BoneUnParent", {"A"}, "Recover"},
       {"SelectItem {B}", "ParentItem {A}", "SelectItem {A}"},
       {}},
      {"every moved bone is gone",
       {"BoneUnParent", {"A"}, "Unparent"},
       {"B", "K"},
       {"BoneUnParent", {"A"}, "Recover"},
       {"SelectItem {A}"},
       {}},
      {"the unparented bone is gone",
       {"BoneUnParent", {"B"}, "Unparent"},
       {"B"},
       {"BoneUnParent", {"C"}, "Recover"},
       {},
       {"Unparented bone may be deleted."}},
      {"a copied item without a side is gone: the other is mirrored in place",
       {"CopyKey", {"Box", "Lamp"}, nullptr},
       {"Box"},
       {"PasteKeyMirror", {"Cam"}, nullptr},
       {"SelectItem {Lamp}", "Position -3 0 0", "Rotation 0 45 0", "Scale 1 1 1", "CreateKey 1",
        "SelectItem {Cam}"},
       {"Nothing was pasted for Box (gone)."}},
      {"the object of the copied bones is gone",
       {"CopyKey", {"B", "C"}, nullptr},
       {"Rig"},
       {"PasteKeyMirror", {"Cam"}, nullptr},
       {},
       {"Nothing was pasted for B (the item it was copied relative to is gone), C (the item it "
        "was copied relative to is gone)."}},
      {"the object is gone with all its bones",
       {"BoneUnParent", {"A"}, "Unparent"},
       {"Rig"},
       {"QuickParent", {"Box", "Lamp"}, nullptr},
       {"SelectItem {Lamp}", "ParentItem {Box}"},
       {}},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kRig);
    const auto run = [&](const Run& r) {
      harness.select(r.selection);
      Answers answers;
      if (r.action) answers.values["ChoiceControl"] = r.action;
      return harness.run(r.tool, answers);
    };
    run(c.first);
    for (const std::string& name : c.removed) harness.scene().remove(harness.id(name));
    const RunRecord record = run(c.second);
    EXPECT_EQ(record.result, 0) << c.what;
    EXPECT_EQ(record.commandTexts(), harness.expand(c.commands)) << c.what;
    EXPECT_EQ(messageTexts(record), c.messages) << c.what;
    for (const auto& command : record.commands) EXPECT_TRUE(command.ok) << c.what;
    EXPECT_EQ(harness.scene().validate(), "") << c.what;
  }
}

// The stand-in's controls hold ints, as Layout's do: an answer past one is refused instead
// of being converted out of range when the tool reads it.
TEST(OddAnswers, AnswersPastAnIntAreRefusedAndTheToolGetsNoneOfThem) {
  struct Case {
    const char* tool;
    const char* control;
    const char* text;
    bool refused;
  };
  const Case cases[] = {
      {"BoneUnParent", "ChoiceControl", "9223372036854775807", true},
      {"BoneUnParent", "ChoiceControl", "-2147483649", true},
      {"BoneUnParent", "ChoiceControl", "2147483647", false},
      {"BoneUtil", "LWListControl", "#ffffffffffff", true},
      {"BoneUtil", "LWListControl", "#ffffffff", false},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kRig);
    harness.select({"A"});
    Answers answers = answer({{c.control, c.text}});
    if (std::string(c.tool) == "BoneUtil") answers.values["ChoiceControl"] = "Restore rest";
    const RunRecord record = harness.run(c.tool, answers);
    EXPECT_EQ(record.result, 0) << c.text;
    EXPECT_EQ(record.answerError.empty(), !c.refused) << c.text << ": " << record.answerError;
    // Refused, the control keeps what the tool preset and the tool does its usual work;
    // taken, the answer names no choice or item and the tool does nothing.
    EXPECT_EQ(!record.commands.empty(), c.refused) << c.text;
  }
}

}  // namespace
