// Selections and answers Layout would not give: very long selections, unknown ids, items removed
// between two runs, answers past an int.
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
