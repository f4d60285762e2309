// What BoneSplit and BoneMerge do when Layout's channel and envelope services are withheld,
// incomplete or refuse an edit: what can be done at the current time, and one line on the
// debugger output and one message saying what was not kept. And the second part's name.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "scene/bone_names.h"
#include "standin/layout/stand_in.h"
#include "support/tool_harness.h"

namespace {

using standin::RunRecord;
using standin::StandIn;
using testing_support::ToolHarness;

// A, with the prop Shield, and its child H, keyed; H holds D (keyed) and Sword.
const char* const kRig = R"({"time": 0.5, "items": [
  {"name": "O", "type": "object"},
  {"name": "A", "type": "bone", "parent": "O", "restLength": 2},
  {"name": "Shield", "type": "object", "parent": "A", "position": [0.2, 0, 1]},
  {"name": "H", "type": "bone", "parent": "A", "restPosition": [0, 0, 2],
   "behaviors": [null, null, [BEHAVIOUR, 1], null, null, null, null, null, null], "keys": [
    {"time": 0, "position": [0, 0, 2], "rotation": [0, 0, 0], "scale": [1, 1, 1]},
    {"time": 1, "position": [0, 0, 2.5], "rotation": [30, 0, 0], "scale": [1, 1, 1]}]},
  {"name": "D", "type": "bone", "parent": "H", "restPosition": [0, 0, 1], "keys": [
    {"time": 0, "position": [0, 0, 1], "rotation": [0, 0, 0], "scale": [1, 1, 1]},
    {"time": 2, "position": [0, 0, 1], "rotation": [0, 45, 0], "scale": [1, 1, 1]}]},
  {"name": "Sword", "type": "object", "parent": "H", "position": [0, 0.1, 0.5]}
]})";

std::string rig(int behaviour = 1) {
  std::string text = kRig;
  text.replace(text.find("BEHAVIOUR"), 9, std::to_string(behaviour));
  return text;
}

int refuseKeySet(LWEnvelopeID, LWEnvKeyframeID, int, void*) { return 0; }

struct Case {
  const char* what;
  const char* tool;
  std::function<void(StandIn&)> damage;
  int behaviour;
  const char* message;  // "": none beyond the tool's own
  bool keysWritten;
};

const char* const kNoServices =
    "No channel and envelope services from Layout; placed at the current time only: ";

TEST(KeptKeys, WithoutKeyServicesTheCurrentTimeIsKeptAndTheRestIsSaid) {
  const auto withhold = [](std::vector<const char*> names) {
    return [names](StandIn& s) {
      for (const char* name : names) s.withhold(name);
    };
  };
  const Case cases[] = {
      {"split, no channel info", "BoneSplit", withhold({"Channel Info 3", "Channel Info 2"}), 1,
       "BoneSplit could not keep everything. %H.", false},
      {"split, no envelopes", "BoneSplit",
       withhold({"Animation Envelopes 4", "Animation Envelopes 2", "Animation Envelopes"}), 1,
       "BoneSplit could not keep everything. %H.", false},
      {"split, envelopes without keySet", "BoneSplit",
       [](StandIn& s) { s.envelopeTable().keySet = nullptr; }, 1,
       "BoneSplit could not keep everything. %H.", false},
      {"split, item info without chanGroup", "BoneSplit",
       [](StandIn& s) { s.itemInfoTable().chanGroup = nullptr; }, 1,
       "BoneSplit could not keep everything. %H.", false},
      {"split, an older Layout's names", "BoneSplit",
       withhold({"Channel Info 3", "Animation Envelopes 4", "Animation Envelopes 2"}), 1, "", true},
      {"split, edits refused", "BoneSplit",
       [](StandIn& s) { s.envelopeTable().keySet = refuseKeySet; }, 1,
       "BoneSplit could not keep everything. Layout refused some key edits: H.", false},
      {"split, a child that resets before its keys", "BoneSplit", [](StandIn&) {}, 0,
       "BoneSplit could not keep everything. Position.Z resets to 0 outside its keys, so there "
       "it is off by the shift: H.",
       true},
      {"merge, no channel info", "BoneMerge", withhold({"Channel Info 3", "Channel Info 2"}), 1,
       "BoneMerge could not keep everything. %D, Sword, Shield.", false},
      {"merge, edits refused", "BoneMerge",
       [](StandIn& s) { s.envelopeTable().keySet = refuseKeySet; }, 1,
       "BoneMerge could not keep everything. Layout refused some key edits: D, Sword, Shield.",
       true},  // new keys still come
  };
  for (const Case& c : cases) {
    ToolHarness harness(rig(c.behaviour));
    c.damage(harness.standIn());
    const bool split = std::string(c.tool) == "BoneSplit";
    harness.select(split ? std::vector<std::string>{"A"} : std::vector<std::string>{"A", "H"});
    const standin::Vec3 dBefore = harness.scene().worldOrigin(harness.id("D"));
    const RunRecord record = harness.run(
        c.tool,
        standin::Answers{true, split ? std::map<std::string, std::string>{{"PercentControl", "50"}}
                                     : std::map<std::string, std::string>{}});
    EXPECT_EQ(record.result, 0) << c.what;
    for (const auto& command : record.commands) EXPECT_TRUE(command.ok) << c.what << command.text;
    std::string message = c.message;
    const std::size_t mark = message.find('%');
    if (mark != std::string::npos) message.replace(mark, 1, kNoServices);
    std::vector<std::string> infos;
    for (const auto& m : record.messages) {
      if (m.kind == "info") infos.push_back(m.text);
    }
    EXPECT_EQ(infos,
              message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message})
        << c.what;
    if (!message.empty()) {
      ASSERT_FALSE(record.trace.empty()) << c.what;
      EXPECT_EQ(record.trace.back(), "[Not kept] : " + message) << c.what;
    }
    bool written = false;
    for (const auto& edit : record.keyEdits) written = written || edit.ok;
    EXPECT_EQ(written, c.keysWritten) << c.what;
    // Whatever was not kept, the current time was: D is where it was.
    const standin::Vec3 dAfter = harness.scene().worldOrigin(harness.id("D"));
    for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(dAfter[axis], dBefore[axis], 1e-5) << c.what;
    EXPECT_TRUE(harness.scene().validate().empty()) << c.what;
  }
}

// A key service that throws ends the activation where it fails, as every host call does:
// reading comes before the first command, writing after it.
TEST(KeptKeys, AThrowingKeyServiceEndsTheRunWhereItFails) {
  const struct {
    const char* what;
    void (*damage)(StandIn&);
    const char* lastCommand;  // null: none sent
  } cases[] = {
      {"nextKey",
       [](StandIn& s) {
         s.envelopeTable().nextKey = [](LWEnvelopeID, LWEnvKeyframeID) -> LWEnvKeyframeID {
           throw std::runtime_error("the host failed");
         };
       },
       nullptr},
      {"nextChannel",
       [](StandIn& s) {
         s.channelInfoTable().nextChannel = [](LWChanGroupID, LWChannelID) -> LWChannelID {
           throw std::runtime_error("the host failed");
         };
       },
       nullptr},
      {"keySet",
       [](StandIn& s) {
         s.envelopeTable().keySet = [](LWEnvelopeID, LWEnvKeyframeID, int, void*) -> int {
           throw std::runtime_error("the host failed");
         };
       },
       "ParentItem {A2}"},
  };
  for (const auto& c : cases) {
    ToolHarness harness(rig());
    c.damage(harness.standIn());
    harness.select({"A"});
    const RunRecord record =
        harness.run("BoneSplit", standin::Answers{true, {{"PercentControl", "50"}}});
    EXPECT_EQ(record.result, 0) << c.what;
    if (c.lastCommand == nullptr) {
      EXPECT_TRUE(record.commands.empty()) << c.what;
    } else {
      ASSERT_FALSE(record.commands.empty()) << c.what;
      EXPECT_EQ(record.commands.back().text, harness.expand(c.lastCommand)) << c.what;
    }
    EXPECT_TRUE(record.messages.empty()) << c.what;
    EXPECT_TRUE(harness.scene().validate().empty()) << c.what;
  }
}

TEST(KeptKeys, ALayoutOfEachGenerationIsAskedForItsNames) {
  ToolHarness harness(rig());
  harness.standIn().withhold("Channel Info 3");
  harness.standIn().withhold("Animation Envelopes 4");
  harness.select({"A"});
  const RunRecord record =
      harness.run("BoneSplit", standin::Answers{true, {{"PercentControl", "50"}}});
  std::vector<std::string> keyLookups;
  for (const auto& lookup : record.lookups) {
    if (lookup.name.find("Channel") == 0 || lookup.name.find("Animation") == 0) {
      keyLookups.push_back(lookup.name + (lookup.provided ? "" : " (withheld)"));
    }
  }
  EXPECT_EQ(keyLookups, (std::vector<std::string>{"Channel Info 3 (withheld)", "Channel Info 2",
                                                  "Animation Envelopes 4 (withheld)",
                                                  "Animation Envelopes 2"}));
}

TEST(SecondPartName, DerivedFromTheOldOneUnusedAndWithItsSideWhereItWas) {
  const struct {
    const char* old;
    std::unordered_set<std::string> taken;
    const char* name;
  } cases[] = {
      {"L_Hand", {}, "L_Hand2"},
      {"Hand_L", {}, "Hand2_L"},
      {"Hand_L", {"Hand2_L", "Hand3_L"}, "Hand4_L"},
      {"R_Thigh", {"R_Thigh2"}, "R_Thigh3"},
      {"arm.r", {}, "arm2.r"},
      {"Arm-Left", {}, "Arm2-Left"},
      {"ArmLeft", {}, "Arm2Left"},
      {"Cleft", {}, "Cleft2"},
      {"Spine1", {}, "Spine1_2"},
      {"Finger1_L", {}, "Finger1_2_L"},
      {"L", {}, "L2"},
      {"_L", {}, "_L2"},
      {"Left Arm", {}, "Left Arm2"},
      {" Tab\there\x01 ", {}, "Tabhere2"},
      {"\n", {}, "Bone2"},
      {"", {"Bone2"}, "Bone3"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(vorrik::derivedBoneName(c.old, c.taken), c.name) << c.old;
  }
  // A long name is cut before the number, at a character's start.
  const std::string longName = std::string(239, 'a') + "\xc3\xa9" + "_L";
  const std::string derived = vorrik::derivedBoneName(longName, {});
  EXPECT_EQ(derived, std::string(239, 'a') + "2_L");
}

TEST(SecondPartName, NoItemOfTheSceneHasItAlready) {
  ToolHarness harness(R"({"items": [
    {"name": "O", "type": "object"}, {"name": "A", "type": "bone", "parent": "O"},
    {"name": "A2", "type": "light"}, {"name": "Other", "type": "object"},
    {"name": "A3", "type": "bone", "parent": "Other"}]})");
  harness.select({"A"});
  const RunRecord record =
      harness.run("BoneSplit", standin::Answers{true, {{"PercentControl", "50"}}});
  EXPECT_EQ(harness.scene().parentOf(harness.scene().findByName("A4")), harness.id("A"));
  const std::vector<std::string> commands = record.commandTexts();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "Rename A4"), commands.end());
}

}  // namespace
