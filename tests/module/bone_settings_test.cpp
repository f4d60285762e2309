// Split carries a bone's deformation settings over to its second part, and both tools keep
// the bone they keep as it was: the commands sent for each setting, and the settings the
// bones hold afterwards.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "standin/layout/commands.h"
#include "support/tool_harness.h"

namespace {

using standin::Answers;
using standin::BoneDeformation;
using standin::Item;
using standin::RunRecord;
using standin::Scene;
using testing_support::ToolHarness;

// One setting (or a few that go together) of the replaced bone, as JSON fields, and the
// commands that give a new bone the same, after its "SelectItem".
struct SettingCase {
  const char* label;
  const char* fields;
  std::vector<std::string> commands;
  bool newBonesMatch = true;  // false where Layout cannot take the setting over
};

const std::vector<SettingCase>& settingCases() {
  static const std::vector<SettingCase> cases = {
      {"plain", "", {}},
      {"weight map", R"("weightMap": "ArmMap")", {"BoneWeightMapName ArmMap"}},
      {"weight map with spaces in its name",
       R"("weightMap": "Left Arm")",
       {"BoneWeightMapName Left Arm"}},
      {"weight map only",
       R"("weightMap": "ArmMap", "weightMapOnly": true)",
       {"BoneWeightMapName ArmMap", "BoneWeightMapOnly"}},
      // Turning "weight map only" on turns normalization on: it is toggled back off.
      {"weight map only without normalization",
       R"("weightMap": "ArmMap", "weightMapOnly": true, "normalization": false)",
       {"BoneWeightMapName ArmMap", "BoneWeightMapOnly", "BoneNormalization"}},
      {"normalization off", R"("normalization": false)", {"BoneNormalization"}},
      {"inactive", R"("active": false)", {"BoneActive"}},
      {"strength",
       R"("strength": 4, "scaleStrength": false)",
       {"BoneStrength 4", "BoneStrengthMultiply"}},
      {"limited range",
       R"("limitedRange": true, "minRange": 0.25, "maxRange": 2)",
       {"BoneLimitedRange", "BoneMinRange 0.25", "BoneMaxRange 2"}},
      {"range values with the range off", R"("maxRange": 3)", {"BoneMaxRange 3"}},
      {"joint compensation",
       R"("jointComp": true, "jointCompParent": true, "jointCompAmounts": [0.7, 0.8])",
       {"BoneJointComp", "BoneJointCompParent", "BoneJointCompAmounts 0.7 0.8"}},
      {"muscle flexing for the parent only",
       R"("muscleFlexParent": true, "muscleFlexAmounts": [1, 0.2])",
       {"BoneMuscleFlexParent", "BoneMuscleFlexAmounts 1 0.2"}},
      {"everything at once",
       R"("active": false, "weightMap": "M", "weightMapOnly": true, "strength": 2,
          "limitedRange": true, "jointComp": true, "muscleFlex": true,
          "muscleFlexAmounts": [2, 1])",
       {"BoneActive", "BoneWeightMapName M", "BoneWeightMapOnly", "BoneStrength 2",
        "BoneLimitedRange", "BoneJointComp", "BoneMuscleFlex", "BoneMuscleFlexAmounts 2 1"}},
      // Layout refuses "weight map only" for a bone without a map, so nothing is sent.
      {"weight map only without a map", R"("weightMapOnly": true)", {}, false},
  };
  return cases;
}

std::string withFields(const char* fields) {
  return *fields ? std::string(", ") + fields : std::string();
}

// A, rest length 2 under O; B, its child, rest length 1.
std::string chainScene(const char* aFields, const char* bFields = "") {
  return std::string(R"({"items": [{"name": "O", "type": "object"},)") +
         R"({"name": "A", "type": "bone", "parent": "O", "restLength": 2)" + withFields(aFields) +
         "}," +
         R"({"name": "B", "type": "bone", "parent": "A", "position": [0, 0, 2],
             "restPosition": [0, 0, 2])" +
         withFields(bFields) + "}]}";
}

std::vector<std::string> settingGroup(const std::string& bone, const SettingCase& c) {
  std::vector<std::string> group;
  if (c.commands.empty()) return group;
  group.push_back("SelectItem {" + bone + "}");
  group.insert(group.end(), c.commands.begin(), c.commands.end());
  return group;
}

void append(std::vector<std::string>& to, const std::vector<std::string>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

void expectSameSettings(const Item& expected, const Item& actual, const std::string& label) {
  EXPECT_TRUE(actual.deformation == expected.deformation) << label << ": " << actual.name;
  EXPECT_EQ(actual.strength, expected.strength) << label << ": " << actual.name;
  EXPECT_EQ(actual.scaleStrength, expected.scaleStrength) << label << ": " << actual.name;
  EXPECT_EQ(actual.active, expected.active) << label << ": " << actual.name;
}

TEST(BoneSettings, SplitGivesTheSecondPartTheBonesSettingsAndKeepsTheFirsts) {
  for (const SettingCase& c : settingCases()) {
    ToolHarness harness(chainScene(c.fields));
    const Item before = *harness.scene().find(harness.id("A"));
    harness.select({"A"});
    const RunRecord record = harness.run("BoneSplit", Answers{true, {{"PercentControl", "50"}}});

    // A is the first part and keeps its settings; the second part is given them.
    std::vector<std::string> expected = {"SelectItem {A}",    "BoneRestLength 1", "SelectItem {A}",
                                         "AddChildBone Bone", "SelectItem {A2}",  "Rename A2"};
    append(expected, settingGroup("A2", c));
    append(expected,
           {"SelectItem {B}", "ParentItem {A2}", "SelectItem {B}", "BoneRestPosition 0 0 1"});
    EXPECT_EQ(record.commandTexts(), harness.expand(expected)) << c.label;
    for (const auto& command : record.commands) EXPECT_TRUE(command.ok) << c.label << command.text;

    const Scene& scene = harness.scene();
    const Item* first = scene.find(harness.id("A"));
    const Item* second = scene.find(scene.findByName("A2"));
    ASSERT_TRUE(first && second) << c.label;
    expectSameSettings(before, *first, c.label);
    if (c.newBonesMatch) {
      expectSameSettings(before, *second, c.label);
    } else {
      EXPECT_TRUE(second->deformation == BoneDeformation{}) << c.label;
    }
    // B kept its own settings.
    EXPECT_TRUE(scene.find(harness.id("B"))->deformation == BoneDeformation{}) << c.label;
  }
}

TEST(BoneSettings, MergeKeepsTheUpperBonesSettings) {
  for (const SettingCase& c : settingCases()) {
    // The lower bone's own settings are not taken over: the upper bone keeps its own.
    ToolHarness harness(chainScene(c.fields, R"("strength": 9, "jointComp": true)"));
    const Item before = *harness.scene().find(harness.id("A"));
    harness.select({"B", "A"});
    const RunRecord record = harness.run("BoneMerge", Answers{true, {}});

    const std::vector<std::string> expected = {"SelectItem {A}", "BoneRestLength 3",
                                               "SelectItem {B}", "ClearSelected"};
    EXPECT_EQ(record.commandTexts(), harness.expand(expected)) << c.label;
    for (const auto& command : record.commands) EXPECT_TRUE(command.ok) << c.label << command.text;

    const Item* merged = harness.scene().find(harness.id("A"));
    ASSERT_TRUE(merged) << c.label;
    expectSameSettings(before, *merged, c.label);
  }
}

// Values that cannot go out in a command stop the split, which sends them to its second
// part, before its first command. The merge sends none: the upper bone keeps them as they are.
TEST(BoneSettings, ValuesThatCannotBeSentStopTheToolBeforeItsFirstCommand) {
  const struct {
    const char* label;
    void (*spoil)(Item&);
  } cases[] = {
      {"line break in the map name", [](Item& a) { a.deformation.weightMap = "Arm\nMap"; }},
      {"tab in the map name", [](Item& a) { a.deformation.weightMap = "Arm\tMap"; }},
      {"map name longer than a command line",
       [](Item& a) { a.deformation.weightMap = std::string(1100, 'm'); }},
      {"map name ending in a space", [](Item& a) { a.deformation.weightMap = "Arm "; }},
      {"strength not a number", [](Item& a) { a.strength = std::nan(""); }},
      {"infinite range", [](Item& a) { a.deformation.maxRange = HUGE_VAL; }},
      {"infinite joint amount", [](Item& a) { a.deformation.jointCompParentAmount = -HUGE_VAL; }},
      {"muscle amount not a number", [](Item& a) { a.deformation.muscleFlexSelfAmount = NAN; }},
  };
  for (const auto& c : cases) {
    for (const char* tool : {"BoneSplit", "BoneMerge"}) {
      ToolHarness harness(chainScene(""));
      c.spoil(*harness.scene().find(harness.id("A")));
      const Item before = *harness.scene().find(harness.id("A"));
      harness.select({"A", "B"});
      if (std::string(tool) == "BoneMerge") {
        const RunRecord record = harness.run(tool);
        EXPECT_FALSE(record.commands.empty()) << c.label << " " << tool;
        ASSERT_EQ(record.messages.size(), 1u) << c.label << " " << tool;
        const Item& after = *harness.scene().find(harness.id("A"));
        EXPECT_EQ(after.deformation.weightMap, before.deformation.weightMap) << c.label;
        EXPECT_EQ(std::isnan(after.strength), std::isnan(before.strength)) << c.label;
        continue;
      }
      harness.select({"A"});
      const RunRecord record = harness.run(tool, Answers{true, {{"PercentControl", "50"}}});
      EXPECT_TRUE(record.commands.empty()) << c.label << " " << tool;
      ASSERT_FALSE(record.messages.empty()) << c.label << " " << tool;
      EXPECT_EQ(record.messages.back().kind, "info") << c.label << " " << tool;
      EXPECT_NE(record.messages.back().text.find("values are out of range"), std::string::npos)
          << c.label << " " << tool;
    }
  }
}

// The fifteen commands in the stand-in: what each does to the current bone, and what it
// refuses as Layout would.
TEST(BoneSettings, TheStandInCarriesOutTheSettingCommands) {
  const struct {
    const char* label;
    std::vector<std::string> lines;
    bool lastAccepted;
    void (*check)(const Item&);
  } cases[] = {
      {"map name is the rest of the line",
       {"BoneWeightMapName Left Arm"},
       true,
       [](const Item& b) { EXPECT_EQ(b.deformation.weightMap, "Left Arm"); }},
      {"map name missing",
       {"BoneWeightMapName"},
       false,
       [](const Item& b) { EXPECT_EQ(b.deformation.weightMap, ""); }},
      {"weight map only needs a map",
       {"BoneWeightMapOnly"},
       false,
       [](const Item& b) { EXPECT_FALSE(b.deformation.weightMapOnly); }},
      {"weight map only turns normalization on",
       {"BoneWeightMapName M", "BoneNormalization", "BoneWeightMapOnly"},
       true,
       [](const Item& b) {
         EXPECT_TRUE(b.deformation.weightMapOnly);
         EXPECT_TRUE(b.deformation.normalization);
       }},
      {"weight map only off leaves normalization",
       {"BoneWeightMapName M", "BoneWeightMapOnly", "BoneWeightMapOnly"},
       true,
       [](const Item& b) {
         EXPECT_FALSE(b.deformation.weightMapOnly);
         EXPECT_TRUE(b.deformation.normalization);
       }},
      {"toggles toggle",
       {"BoneLimitedRange", "BoneJointComp", "BoneJointComp", "BoneMuscleFlex"},
       true,
       [](const Item& b) {
         EXPECT_TRUE(b.deformation.limitedRange);
         EXPECT_FALSE(b.deformation.jointComp);
         EXPECT_TRUE(b.deformation.muscleFlex);
       }},
      {"parent toggles",
       {"BoneJointCompParent", "BoneMuscleFlexParent"},
       true,
       [](const Item& b) {
         EXPECT_TRUE(b.deformation.jointCompParent);
         EXPECT_TRUE(b.deformation.muscleFlexParent);
         EXPECT_FALSE(b.deformation.jointComp);
       }},
      {"strength and multiply",
       {"BoneStrength 2.5", "BoneStrengthMultiply"},
       true,
       [](const Item& b) {
         EXPECT_EQ(b.strength, 2.5);
         EXPECT_FALSE(b.scaleStrength);
       }},
      {"ranges",
       {"BoneMinRange 0.5", "BoneMaxRange 4"},
       true,
       [](const Item& b) {
         EXPECT_EQ(b.deformation.minRange, 0.5);
         EXPECT_EQ(b.deformation.maxRange, 4);
       }},
      {"a negative range",
       {"BoneMaxRange -1"},
       false,
       [](const Item& b) { EXPECT_EQ(b.deformation.maxRange, 1); }},
      {"amounts",
       {"BoneJointCompAmounts 0.5 2", "BoneMuscleFlexAmounts 0 1e-3"},
       true,
       [](const Item& b) {
         EXPECT_EQ(b.deformation.jointCompSelfAmount, 0.5);
         EXPECT_EQ(b.deformation.jointCompParentAmount, 2);
         EXPECT_EQ(b.deformation.muscleFlexParentAmount, 0.001);
       }},
      {"one amount is not two",
       {"BoneJointCompAmounts 0.5"},
       false,
       [](const Item& b) { EXPECT_EQ(b.deformation.jointCompSelfAmount, 1); }},
      {"a toggle takes no argument",
       {"BoneNormalization 0"},
       false,
       [](const Item& b) { EXPECT_TRUE(b.deformation.normalization); }},
      {"no number", {"BoneStrength nan"}, false, [](const Item& b) { EXPECT_EQ(b.strength, 1); }},
  };
  for (const auto& c : cases) {
    Scene scene;
    const standin::ItemId object = scene.addObject("O");
    const standin::ItemId bone = scene.addBone(object, object, "A");
    scene.select(bone);
    bool accepted = false;
    for (const std::string& line : c.lines) accepted = standin::executeCommand(scene, line).ok;
    EXPECT_EQ(accepted, c.lastAccepted) << c.label;
    c.check(*scene.find(bone));
  }
  // On anything but a bone every one of them is refused.
  Scene scene;
  scene.select(scene.addObject("O"));
  for (const char* line : {"BoneWeightMapName M", "BoneNormalization", "BoneStrength 1",
                           "BoneMinRange 1", "BoneJointCompAmounts 1 1", "BoneMuscleFlex"}) {
    EXPECT_FALSE(standin::executeCommand(scene, line).ok) << line;
  }
}

}  // namespace
