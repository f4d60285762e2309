// CopyKey and CutKey on a host that fails while they gather where the items sit (the part
// only PasteKeyMirror uses): they send and remember exactly what a sound host gets from
// them, and PasteKeyMirror afterwards names the items it cannot mirror and pastes the others.
// A failure while the values themselves are read still ends the run before anything.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/tool_harness.h"

namespace {

using standin::RunRecord;
using standin::StandIn;
using testing_support::ToolHarness;

// Both arms mirror each other across the rig's plane; Box has no side. No keys: CutKey's
// DeleteKey changes no value, so what is pasted afterwards does not depend on the cut.
const char* const kRig = R"({"time": 1, "items": [
  {"name": "Rig", "type": "object", "position": [0, 1, 0]},
  {"name": "L_Arm", "type": "bone", "parent": "Rig", "position": [0.2, 0, 0],
   "rotation": [80, 10, 0], "restRotation": [90, 0, 0], "restLength": 1},
  {"name": "L_Hand", "type": "bone", "parent": "L_Arm", "position": [0, 0, 1],
   "rotation": [20, 0, 5], "pivot": [0, 0.1, 0], "restLength": 0.5},
  {"name": "R_Arm", "type": "bone", "parent": "Rig", "position": [-0.2, 0, 0],
   "rotation": [-90, 0, 0], "restRotation": [-90, 0, 0], "restLength": 1},
  {"name": "R_Hand", "type": "bone", "parent": "R_Arm", "position": [0, 0, 1], "restLength": 0.5},
  {"name": "Box", "type": "object", "position": [1, 2, 3], "rotation": [30, 0, 0]}
]})";

const std::vector<std::string> kCopied = {"L_Arm", "L_Hand", "Box"};

// The damage: calls of one member are counted, and the chosen one throws; or the member is
// left null; or it lies.
struct Damage {
  static inline int calls = 0;
  static inline int throwAt = 0;  // 1 for the first call; 0 never
  static void called() {
    if (++calls == throwAt) throw std::runtime_error("the host failed");
  }
};

template <auto Member>
struct Spy;

template <typename Table, typename R, typename... Args, R (*Table::*Member)(Args...)>
struct Spy<Member> {
  static inline R (*original)(Args...) = nullptr;
  static R call(Args... args) {
    Damage::called();
    return original(args...);
  }
  static void throwAt(Table& table, int call) {
    Damage::calls = 0;
    Damage::throwAt = call;
    original = table.*Member;
    table.*Member = Spy::call;
  }
};

// L_Arm's parent is said to be L_Hand, whose parent is L_Arm: the walk up comes round.
struct LoopingParent {
  static inline LWItemInfo sound{};
  static inline LWItemID arm = nullptr, hand = nullptr;
  static LWItemID parent(LWItemID item) { return item == arm ? hand : sound.parent(item); }
};

using Damaging = std::function<void(ToolHarness&)>;

Damaging nullItemMember(LWItemID (*LWItemInfo::*member)(LWItemID)) {
  return [member](ToolHarness& h) { h.standIn().itemInfoTable().*member = nullptr; };
}

// Keys at the end of each message: what PasteKeyMirror says of an item left out.
std::string leftOut(const std::string& name, const std::string& why) {
  return name + " (its place in the rig could not be read when it was copied: " + why + ")";
}

struct Case {
  const char* what;
  Damaging damage;
  // Items whose place could not be read, with why ("{Name}" for an item with no name); the
  // others are mirrored. Empty with `stops`: the capture ends before anything.
  std::vector<std::pair<std::string, std::string>> missing;
  bool stops = false;
};

std::vector<Case> cases() {
  const auto all = [](const char* why) {
    return std::vector<std::pair<std::string, std::string>>{
        {"L_Arm", why}, {"L_Hand", why}, {"Box", why}};
  };
  return {
      {"no item parent", nullItemMember(&LWItemInfo::parent), all("item parent")},
      {"no item names",
       [](ToolHarness& h) { h.standIn().itemInfoTable().name = nullptr; },
       {{"item {L_Arm}", "item name"},
        {"item {L_Hand}", "item name"},
        {"item {Box}", "item name"}}},
      {"no rest values",
       [](ToolHarness& h) { h.standIn().boneInfoTable().restParam = nullptr; },
       {{"L_Arm", "bone restParam"}, {"L_Hand", "bone restParam"}}},
      {"parent links that loop",
       [](ToolHarness& h) {
         LWItemInfo& table = h.standIn().itemInfoTable();
         LoopingParent::sound = table;
         LoopingParent::arm = lwItemFromNumber(h.id("L_Arm"));
         LoopingParent::hand = lwItemFromNumber(h.id("L_Hand"));
         table.parent = LoopingParent::parent;
       },
       {{"L_Arm", "the host's item links loop"}, {"L_Hand", "the host's item links loop"}}},
      {"the first parent asked for throws",
       [](ToolHarness& h) { Spy<&LWItemInfo::parent>::throwAt(h.standIn().itemInfoTable(), 1); },
       {{"L_Arm", "the host failed"}}},
      {"the first type asked for after the selection throws",
       [](ToolHarness& h) { Spy<&LWItemInfo::type>::throwAt(h.standIn().itemInfoTable(), 4); },
       {{"L_Arm", "the host failed"}}},
      {"the first param after the nine values throws",
       [](ToolHarness& h) { Spy<&LWItemInfo::param>::throwAt(h.standIn().itemInfoTable(), 10); },
       {{"L_Arm", "the host failed"}}},
      {"the last of the nine values throws: the capture ends as it always did",
       [](ToolHarness& h) { Spy<&LWItemInfo::param>::throwAt(h.standIn().itemInfoTable(), 9); },
       {},
       true},
      {"no item param: the capture ends as it always did",
       [](ToolHarness& h) { h.standIn().itemInfoTable().param = nullptr; },
       {},
       true},
  };
}

// What a sound host gets from the capture and a PasteKey after it; then what PasteKeyMirror
// pastes after copying `copied`. Each harness ends before the next one starts: harnesses
// alive together share the loaded module, and so its clipboard.
struct SoundRuns {
  RunRecord capture, paste, mirror;
};
SoundRuns soundRuns(const char* tool, const std::vector<std::string>& copied) {
  SoundRuns runs;
  {
    ToolHarness sound(kRig);
    sound.select(kCopied);
    runs.capture = sound.run(tool);
    runs.paste = sound.run("PasteKey");
  }
  ToolHarness alone(kRig);
  alone.select(copied);
  alone.run("CopyKey");
  alone.select({});
  runs.mirror = alone.run("PasteKeyMirror");
  return runs;
}

TEST(KeyCaptureFaults, AFailureWhileGatheringWhereItemsSitOnlyLeavesThemOutOfTheMirror) {
  for (const char* tool : {"CopyKey", "CutKey"}) {
    for (const Case& c : cases()) {
      const std::string what = std::string(tool) + ", " + c.what;
      std::vector<std::string> readable;
      for (const std::string& name : kCopied) {
        bool isMissing = false;
        for (const auto& [shown, why] : c.missing) {
          isMissing = isMissing || shown == name || shown == "item {" + name + "}";
        }
        if (!isMissing) readable.push_back(name);
      }
      const SoundRuns expected = soundRuns(tool, readable);

      ToolHarness damaged(kRig);
      damaged.select(kCopied);
      const LWItemInfo soundItems = damaged.standIn().itemInfoTable();
      const LWBoneInfo soundBones = damaged.standIn().boneInfoTable();
      c.damage(damaged);
      const RunRecord record = damaged.run(tool);
      damaged.standIn().itemInfoTable() = soundItems;
      damaged.standIn().boneInfoTable() = soundBones;
      EXPECT_EQ(record.result, 0) << what;
      EXPECT_EQ(damaged.scene().validate(), "") << what;
      if (c.stops) {
        EXPECT_TRUE(record.commands.empty()) << what;
        ASSERT_FALSE(record.trace.empty()) << what;
        EXPECT_EQ(
            record.trace.back().rfind("[Fault] : Vorrik:" + std::string(tool) + " stopped", 0), 0u)
            << what;
        damaged.select({});
        EXPECT_TRUE(damaged.run("PasteKeyMirror").commands.empty()) << what;
        continue;
      }
      // The same commands and trace as on a sound host, and nothing said about the fault.
      EXPECT_EQ(record.commandTexts(), expected.capture.commandTexts()) << what;
      EXPECT_EQ(record.trace, expected.capture.trace) << what;
      EXPECT_TRUE(record.messages.empty()) << what;

      // PasteKey gets the same values back.
      EXPECT_EQ(damaged.run("PasteKey").commandTexts(), expected.paste.commandTexts()) << what;

      // PasteKeyMirror pastes what a copy of the readable items alone pastes, and names the
      // others in one message.
      std::string message = "Nothing was pasted for ";
      for (std::size_t i = 0; i < c.missing.size(); ++i) {
        message +=
            (i ? ", " : "") + leftOut(damaged.expand(c.missing[i].first), c.missing[i].second);
      }
      message += ".";
      damaged.select({});
      const RunRecord mirrored = damaged.run("PasteKeyMirror");
      EXPECT_EQ(mirrored.commandTexts(), expected.mirror.commandTexts()) << what;
      EXPECT_EQ(mirrored.commands.empty(), readable.empty()) << what;
      for (const auto& command : mirrored.commands) EXPECT_TRUE(command.ok) << what;
      ASSERT_EQ(mirrored.messages.size(), 1u) << what;
      EXPECT_EQ(mirrored.messages[0].text, message) << what;
      EXPECT_EQ(mirrored.dialogs.size(), readable.empty() ? 0u : 1u) << what;
    }
  }
}

}  // namespace
