// What the hostile-host tests share: the rig, the services by name, every server's scenario.
#pragma once

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

namespace hostile_cases {

using standin::Answers;
using standin::ItemId;
using standin::RunRecord;
using standin::StandIn;
using testing_support::ToolHarness;

// Rig: A with the chain B -> C and a second child K; keyed Box, Lamp and Cam on their own.
inline const char* const kRig = R"({"time": 1, "items": [
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

inline const char* const kItemInfo = "LW Item Info 3";
inline const char* const kBoneInfo = "LW Bone Info 3";
inline const char* const kInterface = "LW Interface Info 3";
inline const char* const kMessages = "Info Messages 2";
inline const char* const kPanels = "LWPanelServices";

inline Answers answer(std::map<std::string, std::string> values, bool ok = true) {
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

inline const std::vector<Scenario>& scenarios() {
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

inline std::vector<std::string> split(const std::string& text, char separator) {
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
inline void prepare(ToolHarness& harness, const Scenario& scenario) {
  for (const std::string& step : scenario.before) {
    const std::vector<std::string> parts = split(step, ':');
    harness.select(split(parts[1], ','));
    Answers answers;
    if (parts[0] == "BoneUnParent") answers.values["ChoiceControl"] = "Unparent";
    ASSERT_EQ(harness.run(parts[0], answers).result, 0) << step;
  }
  harness.select(scenario.selection);
}

inline std::vector<std::string> messageTexts(const RunRecord& record) {
  std::vector<std::string> texts;
  for (const auto& message : record.messages) texts.push_back(message.text);
  return texts;
}

}  // namespace hostile_cases
