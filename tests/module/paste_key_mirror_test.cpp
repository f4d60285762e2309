// PasteKeyMirror on small scenes: which item each remembered one goes onto, the commands it
// sends, the dialog and its remembered axis, and the message for what it leaves out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/tool_harness.h"

namespace {

using standin::Answers;
using standin::RunRecord;
using testing_support::ToolHarness;

// Items without parents: the mirror is the world's plane. "Left Cup" has no right one;
// R_Cap's heading is a turn round from what the mirror of L_Cap's gives.
const char* const kScene = R"({"time": 1, "items": [
  {"name": "L_Box", "type": "object", "position": [1, 2, 3], "rotation": [30, 10, 20],
   "scale": [1, 2, 3]},
  {"name": "R_Box", "type": "object", "position": [-1, 2, 3]},
  {"name": "Spine", "type": "object", "position": [0.5, 1, 0], "rotation": [15, 0, 5]},
  {"name": "Lefty", "type": "object", "position": [0, 1, 0], "rotation": [0, 20, 0]},
  {"name": "Left Cup", "type": "light", "position": [2, 0, 0]},
  {"name": "L_Cap", "type": "object", "position": [1, 0, 0], "rotation": [10, 0, 0]},
  {"name": "R_Cap", "type": "object", "rotation": [350, 0, 0]},
  {"name": "Tiny", "type": "object", "scale": [1e-10, 1e-10, 1e-10]},
  {"name": "R_Far", "type": "object", "parent": "Tiny"},
  {"name": "L_Far", "type": "object", "position": [1e300, 0, 0]}
]})";

// Commands are written one after the other, parted by " | ".
const std::string kBoxOntoRBox =
    "SelectItem {R_Box} | Position -1 2 3 | Rotation -30 10 -20 | Scale 1 2 3 | CreateKey 1";
const std::string kRBoxOntoLBox =
    "SelectItem {L_Box} | Position 1 2 3 | Rotation 0 0 0 | Scale 1 1 1 | CreateKey 1";
const char* const kNoRightCup = "Nothing was pasted for Left Cup (no Right Cup).";

std::vector<std::string> commands(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t bar = text.find(" | ", start);
    out.push_back(text.substr(start, bar - start));
    start = bar == std::string::npos ? text.size() : bar + 3;
  }
  return out;
}

Answers axis(const char* name) { return Answers{true, {{"ChoiceControl", name}}}; }

TEST(PasteKeyMirror, WhereEachItemGoesAndTheCommandsItGets) {
  struct Case {
    const char* what;
    std::vector<std::string> copied;
    std::vector<std::string> selected;  // when pasting
    const char* answer;                 // the axis chosen, "cancel", or "" for the default
    std::string commands;
    std::string message = {};  // none when empty
    bool dialog = true;
  };
  const Case cases[] = {
      {"a sided item goes onto the other side's", {"L_Box"}, {}, "", kBoxOntoRBox},
      {"one remembered item goes onto the selected one",
       {"L_Box"},
       {"Spine", "R_Cap"},
       "",
       "SelectItem {Spine} | Position -1 2 3 | Rotation -30 10 -20 | Scale 1 2 3 | CreateKey 1 | "
       "SelectItem {R_Cap} | AddToSelection {Spine}"},
      {"the copied item still selected: its counterpart",
       {"L_Box"},
       {"L_Box"},
       "",
       kBoxOntoRBox + " | SelectItem {L_Box}"},
      {"both sides copied swap over",
       {"L_Box", "R_Box"},
       {},
       "",
       kBoxOntoRBox + " | " + kRBoxOntoLBox},
      {"items without a side are mirrored in place",
       {"Spine", "Lefty"},
       {},
       "",
       "SelectItem {Spine} | Position -0.5 1 0 | Rotation -15 0 -5 | Scale 1 1 1 | CreateKey 1 | "
       "SelectItem {Lefty} | Position 0 1 0 | Rotation 0 20 0 | Scale 1 1 1 | CreateKey 1"},
      {"a missing counterpart is named, the others are pasted",
       {"Left Cup", "L_Box"},
       {},
       "",
       kBoxOntoRBox,
       kNoRightCup},
      {"nothing that can go anywhere: the message alone",
       {"Left Cup"},
       {},
       "",
       "",
       kNoRightCup,
       false},
      {"Cancel sends nothing", {"L_Box"}, {}, "cancel", ""},
      {"nothing copied: nothing asked", {}, {"L_Box"}, "", "", "", false},
      {"mirrored across y",
       {"L_Box"},
       {},
       "Y",
       "SelectItem {R_Box} | Position 1 -2 3 | Rotation 30 -10 -20 | Scale 1 2 3 | CreateKey 1"},
      {"mirrored across z",
       {"L_Box"},
       {},
       "Z",
       "SelectItem {R_Box} | Position 1 2 -3 | Rotation -30 -10 20 | Scale 1 2 3 | CreateKey 1"},
      {"the rotation nearest to the target's own: a turn round",
       {"L_Cap"},
       {},
       "",
       "SelectItem {R_Cap} | Position -1 0 0 | Rotation 350 0 0 | Scale 1 1 1 | CreateKey 1"},
      {"a value past a double's range stops the paste before its first command",
       {"L_Far", "L_Box"},
       {},
       "",
       "",
       "PasteKeyMirror stopped: the mirrored values are out of range."},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kScene);
    harness.select(c.copied);
    ASSERT_TRUE(harness.run("CopyKey").commands.empty()) << c.what;
    harness.select(c.selected);
    Answers answers;
    if (std::string(c.answer) == "cancel") {
      answers.ok = false;
    } else if (*c.answer != '\0') {
      answers = axis(c.answer);
    }
    const RunRecord record = harness.run("PasteKeyMirror", answers);
    EXPECT_EQ(record.result, 0) << c.what;
    EXPECT_EQ(record.answerError, "") << c.what;
    EXPECT_EQ(record.commandTexts(), harness.expand(commands(c.commands))) << c.what;
    for (const auto& command : record.commands) EXPECT_TRUE(command.ok) << command.text;
    std::vector<std::string> messages;
    for (const auto& message : record.messages) messages.push_back(message.text);
    EXPECT_EQ(messages,
              c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message})
        << c.what;
    EXPECT_EQ(record.dialogs.size(), c.dialog ? 1u : 0u) << c.what;
    EXPECT_EQ(harness.scene().validate(), "") << c.what;
  }
}

TEST(PasteKeyMirror, TheDialogAsksForTheAxisAndRemembersItWhileTheModuleIsLoaded) {
  {
    ToolHarness harness(kScene);
    harness.select({"L_Box"});
    harness.run("CopyKey");
    const RunRecord first = harness.run("PasteKeyMirror", axis("Z"));
    ASSERT_EQ(first.dialogs.size(), 1u);
    const standin::DialogRecord& dialog = first.dialogs[0];
    EXPECT_EQ(dialog.title, "Vorrik version 0.17b : PasteKeyMirror");
    ASSERT_EQ(dialog.controls.size(), 1u);
    EXPECT_EQ(dialog.controls[0].choices, (std::vector<std::string>{"X", "Y", "Z"}));

    // Offered again next time; Cancel and an answer past the choices change nothing.
    EXPECT_TRUE(
        harness.run("PasteKeyMirror", Answers{false, {{"ChoiceControl", "X"}}}).commands.empty());
    EXPECT_TRUE(harness.run("PasteKeyMirror", axis("3")).commands.empty());
    const RunRecord again = harness.run("PasteKeyMirror");
    EXPECT_EQ(again.dialogs.at(0).controls.at(0).valueSets, std::vector<std::string>{"int 2"});
    EXPECT_EQ(again.commandTexts().at(1), "Position 1 2 -3");
  }

  // Once the module is unloaded, a new load starts from x.
  ToolHarness fresh(kScene);
  fresh.select({"L_Box"});
  fresh.run("CopyKey");
  EXPECT_EQ(fresh.run("PasteKeyMirror").dialogs.at(0).controls.at(0).value, 0);
}

}  // namespace
