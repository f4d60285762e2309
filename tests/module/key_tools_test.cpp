// CutKey, CopyKey and PasteKey: the commands they send, the keys the scene has afterwards,
// and the clipboard that carries between runs of one loaded module.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/tool_harness.h"

namespace {

using standin::RunRecord;
using standin::Vec3;
using testing_support::ToolHarness;

// P is keyed at 0 and 2, so at time 1 it sits halfway; Q and R have no keys.
const char* const kScene = R"({"time": 1, "items": [
  {"name": "P", "type": "object", "keys": [
    {"time": 0, "position": [0, 0, 0], "rotation": [0, 0, 0], "scale": [1, 1, 1]},
    {"time": 2, "position": [2, 4, 6], "rotation": [180, 90, 0], "scale": [3, 3, 3]}]},
  {"name": "Q", "type": "object", "position": [5, 5, 5], "rotation": [45, 0, -30]},
  {"name": "R", "type": "light", "position": [-1, 0, 1], "scale": [2, 1, 0.5]},
  {"name": "Rig", "type": "object"},
  {"name": "B", "type": "bone", "parent": "Rig", "position": [0, 0.5, 0]}
]})";

const std::vector<std::string> kPasteOfPAtOne = {"Position 1 2 3", "Rotation 90 45 0",
                                                 "Scale 2 2 2", "CreateKey 1"};

std::vector<std::string> concat(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<double> keyTimes(const standin::Scene& scene, standin::ItemId item) {
  std::vector<double> times;
  for (const auto& key : scene.find(item)->keys[standin::kPosX]) times.push_back(key.time);
  return times;
}

void expectNear(const Vec3& actual, const Vec3& expected, const std::string& what) {
  for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(actual[axis], expected[axis], 1e-9) << what;
}

TEST(KeyClipboard, CommandSequences) {
  struct Case {
    const char* what;
    // Each step: a selection and a tool; the commands of the last step are checked.
    std::vector<std::pair<std::vector<std::string>, std::string>> steps;
    std::vector<std::string> commands;
  };
  const Case cases[] = {
      {"CopyKey sends nothing", {{{"P", "Q", "R"}, "CopyKey"}}, {}},
      {"CutKey deletes each item's key, then selects the snapshot again",
       {{{"P", "Q", "R"}, "CutKey"}},
       {"SelectItem {P}", "DeleteKey 1", "SelectItem {Q}", "DeleteKey 1", "SelectItem {R}",
        "DeleteKey 1", "SelectItem {R}", "AddToSelection {Q}", "AddToSelection {P}"}},
      {"one record goes to the first selected item; P gets nothing",
       {{{"P"}, "CopyKey"}, {{"Q", "R"}, "PasteKey"}},
       concat({{"SelectItem {Q}"}, kPasteOfPAtOne, {"SelectItem {R}", "AddToSelection {Q}"}})},
      {"several records go back to their own items, whatever is selected",
       {{{"P", "Q"}, "CopyKey"}, {{"R"}, "PasteKey"}},
       concat({{"SelectItem {P}"},
               kPasteOfPAtOne,
               {"SelectItem {Q}", "Position 5 5 5", "Rotation 45 0 -30", "Scale 1 1 1",
                "CreateKey 1", "SelectItem {R}"}})},
      {"several records and nothing selected: no re-selection",
       {{{"P", "Q"}, "CopyKey"}, {{}, "PasteKey"}},
       concat({{"SelectItem {P}"},
               kPasteOfPAtOne,
               {"SelectItem {Q}", "Position 5 5 5", "Rotation 45 0 -30", "Scale 1 1 1",
                "CreateKey 1"}})},
      {"an empty Copy keeps the earlier clipboard",
       {{{"P"}, "CopyKey"}, {{}, "CopyKey"}, {{}, "CutKey"}, {{"Q"}, "PasteKey"}},
       concat({{"SelectItem {Q}"}, kPasteOfPAtOne, {"SelectItem {Q}"}})},
      {"one record and nothing selected: nothing", {{{"P"}, "CopyKey"}, {{}, "PasteKey"}}, {}},
      {"an empty clipboard pastes nothing", {{{"P", "Q"}, "PasteKey"}}, {}},
      {"a bone is captured and pasted like any item",
       {{{"B"}, "CopyKey"}, {{"Q"}, "PasteKey"}},
       {"SelectItem {Q}", "Position 0 0.5 0", "Rotation 0 0 0", "Scale 1 1 1", "CreateKey 1",
        "SelectItem {Q}"}},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kScene);
    RunRecord record;
    for (const auto& step : c.steps) {
      harness.select(step.first);
      record = harness.run(step.second);
      EXPECT_EQ(record.result, 0) << c.what;
      EXPECT_TRUE(record.messages.empty()) << c.what;
      EXPECT_TRUE(record.dialogs.empty()) << c.what;
    }
    EXPECT_EQ(record.commandTexts(), harness.expand(c.commands)) << c.what;
    for (const auto& command : record.commands) EXPECT_TRUE(command.ok) << command.text;
  }
}

TEST(KeyClipboard, CutRemovesTheKeysButKeepsTheValuesForPaste) {
  ToolHarness harness(kScene);
  const standin::ItemId p = harness.id("P");
  harness.scene().createKey(p, 1);  // a key at the current time, to be cut
  ASSERT_EQ(keyTimes(harness.scene(), p), (std::vector<double>{0, 1, 2}));
  harness.select({"P"});
  harness.run("CutKey");
  EXPECT_EQ(keyTimes(harness.scene(), p), (std::vector<double>{0, 2}));
  // Still selected as before, and the captured values come back as a key at time 1.
  EXPECT_EQ(harness.scene().selection(), std::vector<standin::ItemId>{p});
  harness.run("PasteKey");
  EXPECT_EQ(keyTimes(harness.scene(), p), (std::vector<double>{0, 1, 2}));
  expectNear(harness.scene().param(p, standin::kPosition, 1), {1, 2, 3}, "position at 1");
}

TEST(KeyClipboard, PasteAtAnotherTimeKeysTheCapturedPoseThere) {
  ToolHarness harness(kScene);
  const standin::ItemId p = harness.id("P");
  const standin::ItemId q = harness.id("Q");
  harness.select({"P"});
  harness.run("CopyKey");
  harness.scene().setTime(3);
  harness.select({"Q"});
  const RunRecord record = harness.run("PasteKey");
  EXPECT_EQ(record.commandTexts().at(4), "CreateKey 3");
  EXPECT_EQ(keyTimes(harness.scene(), q), std::vector<double>{3});
  expectNear(harness.scene().param(q, standin::kPosition, 3), {1, 2, 3}, "Q position");
  const double pi = std::acos(-1.0);
  expectNear(harness.scene().param(q, standin::kRotation, 3), {pi / 2, pi / 4, 0}, "Q rotation");
  expectNear(harness.scene().param(q, standin::kScaling, 3), {2, 2, 2}, "Q scale");
  // P is untouched: still its keys only.
  EXPECT_EQ(keyTimes(harness.scene(), p), (std::vector<double>{0, 2}));
}

TEST(KeyClipboard, PastingTwiceSendsTheSameAndTheClipboardStays) {
  ToolHarness harness(kScene);
  harness.select({"P", "R"});
  harness.run("CopyKey");
  harness.select({"Q"});
  const RunRecord first = harness.run("PasteKey");
  const RunRecord second = harness.run("PasteKey");
  EXPECT_EQ(first.commandTexts(), second.commandTexts());
  EXPECT_EQ(first.commands.size(), 11u);
}

TEST(KeyClipboard, RemovedItemsAreSkippedExceptForASingleRecord) {
  {
    // Several records: the one whose item is gone is skipped silently.
    ToolHarness harness(kScene);
    harness.select({"P", "Q"});
    harness.run("CopyKey");
    harness.scene().remove(harness.id("Q"));
    harness.select({});
    const RunRecord record = harness.run("PasteKey");
    EXPECT_EQ(record.commandTexts(), harness.expand(concat({{"SelectItem {P}"}, kPasteOfPAtOne})));
  }
  {
    // A single record still goes to the first selected item.
    ToolHarness harness(kScene);
    harness.select({"P"});
    harness.run("CopyKey");
    harness.scene().remove(harness.id("P"));
    harness.select({"R"});
    const RunRecord record = harness.run("PasteKey");
    EXPECT_EQ(record.commandTexts(),
              harness.expand(concat({{"SelectItem {R}"}, kPasteOfPAtOne, {"SelectItem {R}"}})));
  }
}

TEST(KeyClipboard, HeadingsOfPiAndZeroAreSentInDegrees) {
  ToolHarness harness(R"({"items": [
    {"name": "A", "type": "object", "rotation": [180, -90, 0]},
    {"name": "Y", "type": "object"},
    {"name": "Z", "type": "object"}]})");
  harness.select({"A"});
  harness.run("CopyKey");
  harness.select({"Z"});
  EXPECT_EQ(harness.run("PasteKey").commandTexts().at(2), "Rotation 180 -90 0");
  harness.select({"Y"});
  harness.run("CopyKey");
  harness.select({"Z"});
  EXPECT_EQ(harness.run("PasteKey").commandTexts().at(2), "Rotation 0 0 0");
}

// A captured rotation with no finite number of degrees stops the paste before its first
// command: sent in turn, it would leave items moved but not keyed.
TEST(KeyClipboard, APasteThatCannotBeSentSendsNothing) {
  struct Case {
    const char* what;
    std::vector<std::string> copied;
    std::vector<std::string> target;
    std::size_t commands;
  };
  const Case cases[] = {
      {"one record", {"Q"}, {"P"}, 0},
      {"several records, one of them bad", {"R", "Q"}, {"P"}, 0},
      {"several records, the bad one's item gone", {"R", "Q"}, {"P"}, 6},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kScene);
    harness.scene().setRotation(harness.id("Q"), {0, 4e306, 0});
    harness.select(c.copied);
    harness.run("CopyKey");
    if (c.commands != 0) harness.scene().remove(harness.id("Q"));
    harness.select(c.target);
    const RunRecord record = harness.run("PasteKey");
    EXPECT_EQ(record.result, 0) << c.what;
    EXPECT_EQ(record.commands.size(), c.commands) << c.what;
    EXPECT_FALSE(harness.scene().find(harness.id("P"))->keys[standin::kPosX].size() > 2) << c.what;
  }
}

}  // namespace
