// Deformation settings through scene files and the runner: a Layout scene with weight-mapped
// bones loads and saves unchanged, a split keeps the map through a save and a reload, and a
// merge that leaves a map with no bone fails the check.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "standin/files/json/scene_json.h"
#include "standin/files/scene_file.h"
#include "support/file_text.h"
#include "support/runner_process.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using standin::BoneDeformation;
using standin::Item;
using standin::Scene;

using testing_support::readFile;

// Inserts `lines` after the first line that equals `anchor` at or after `from`.
std::string insertAfter(std::string text, const std::string& from, const std::string& anchor,
                        const std::string& lines) {
  const std::size_t start = text.find(from);
  const std::size_t at = text.find(anchor + "\n", start);
  if (start == std::string::npos || at == std::string::npos) return "";
  text.insert(at + anchor.size() + 1, lines);
  return text;
}

class DeformationFiles : public testing_support::FolderTest {
protected:
  void SetUp() override {
    arm_ = readFile(fs::path(VORRIK_EXAMPLES_DIR) / "arm.lws");
    ASSERT_FALSE(arm_.empty());
  }

  // arm.lws with the lines Layout writes for a weight-mapped bone added to Arm (and Hand).
  std::string weighted(const std::string& armLines, const std::string& armAfterStrength = "",
                       const std::string& handLines = "") {
    std::string text = insertAfter(arm_, "BoneName Arm", "BoneRestLength 0.6", armLines);
    if (!armAfterStrength.empty()) {
      text = insertAfter(text, "BoneName Arm", "ScaleBoneStrength 1", armAfterStrength);
    }
    if (!handLines.empty()) {
      text = insertAfter(text, "BoneName Hand", "BoneRestLength 0.15", handLines);
    }
    return text;
  }

  using Outcome = runner_process::Outcome;
  Outcome vorrik(const std::string& arguments) { return runner_process::run(arguments, folder_); }

  std::string arm_;
};

TEST_F(DeformationFiles, LayoutsLinesLoadAsTheirSettingsAndSaveByteForByte) {
  const struct {
    const char* label;
    std::string armLines, afterStrength;
    void (*check)(const BoneDeformation&);
  } cases[] = {
      {"map, only, normalization",
       "BoneWeightMapName ArmMap\nBoneWeightMapOnly 1\nBoneNormalization 0\n", "",
       [](const BoneDeformation& d) {
         EXPECT_EQ(d.weightMap, "ArmMap");
         EXPECT_TRUE(d.weightMapOnly);
         EXPECT_FALSE(d.normalization);
       }},
      {"a map name with spaces",
       "BoneWeightMapName Left Arm\nBoneWeightMapOnly 0\n"
       "BoneNormalization 1\n",
       "", [](const BoneDeformation& d) { EXPECT_EQ(d.weightMap, "Left Arm"); }},
      // The lines carry amounts: 2 is 200%; the parent's toggle may be on alone.
      {"compensation amounts", "",
       "BoneJointComp 2\nBoneJointCompParent 0.8\nBoneMuscleFlexParent 0.2\n",
       [](const BoneDeformation& d) {
         EXPECT_TRUE(d.jointComp && d.jointCompParent && d.muscleFlexParent);
         EXPECT_FALSE(d.muscleFlex);
         EXPECT_EQ(d.jointCompSelfAmount, 2);
         EXPECT_EQ(d.jointCompParentAmount, 0.8);
         EXPECT_EQ(d.muscleFlexParentAmount, 0.2);
         EXPECT_EQ(d.muscleFlexSelfAmount, 1);
       }},
      {"limited range", "", "BoneLimitedRange 1\nBoneMinRange 0.1\nBoneMaxRange 0.9\n",
       [](const BoneDeformation& d) {
         EXPECT_TRUE(d.limitedRange);
         EXPECT_EQ(d.minRange, 0.1);
         EXPECT_EQ(d.maxRange, 0.9);
       }},
  };
  for (const auto& c : cases) {
    const std::string text = weighted(c.armLines, c.afterStrength);
    ASSERT_FALSE(text.empty()) << c.label;
    const fs::path in = write("in.lws", text), out = folder_ / "out.lws";
    const Scene scene = standin::loadSceneFile(in.string());
    const Item* arm = scene.find(scene.findByName("Arm"));
    ASSERT_NE(arm, nullptr);
    c.check(arm->deformation);
    EXPECT_TRUE(scene.find(scene.findByName("Hand"))->deformation == BoneDeformation{}) << c.label;
    standin::saveSceneFile(scene, out.string());
    EXPECT_EQ(readFile(out), text) << c.label;
  }
}

TEST_F(DeformationFiles, ASplitBoneKeepsItsMapThroughASaveAndAReload) {
  const fs::path in = write("arm_w.lws", weighted("BoneWeightMapName ArmMap\nBoneWeightMapOnly 1\n"
                                                  "BoneNormalization 1\n",
                                                  "BoneJointComp 0.5\n"));
  const fs::path out = folder_ / "split.lws";
  // arm.lws keys Arm's motion; Arm stays as the first part with its keys, so the check over
  // the animation finds nothing moved.
  const Outcome run = vorrik("run BoneSplit --scene '" + in.string() +
                             "' --select Arm percent=40 --check --out '" + out.string() + "'");
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_NE(run.out.find("settings: weight map 'ArmMap', weight map only on, joint comp on, "
                         "joint comp amounts 0.5 1"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("lost map"), std::string::npos) << run.out;

  const Scene scene = standin::loadSceneFile(out.string());
  for (const char* name : {"Arm", "Arm2"}) {
    const Item* bone = scene.find(scene.findByName(name));
    ASSERT_NE(bone, nullptr) << name;
    EXPECT_EQ(bone->deformation.weightMap, "ArmMap") << name;
    EXPECT_TRUE(bone->deformation.weightMapOnly) << name;
    EXPECT_TRUE(bone->deformation.normalization) << name;
    EXPECT_TRUE(bone->deformation.jointComp) << name;
    EXPECT_EQ(bone->deformation.jointCompSelfAmount, 0.5) << name;
  }
  const std::string saved = readFile(out);
  std::size_t maps = 0;
  for (std::size_t at = saved.find("BoneWeightMapName ArmMap\nBoneWeightMapOnly 1\n"
                                   "BoneNormalization 1\n");
       at != std::string::npos; at = saved.find("BoneWeightMapName ArmMap", at + 1)) {
    ++maps;
  }
  EXPECT_EQ(maps, 2u) << saved;
}

// The rig check says where the parts cannot deform as the old bone did.
TEST_F(DeformationFiles, SplitsThatCannotKeepTheOldDeformationAreNamed) {
  const struct {
    const char* label;
    std::string lines;
    const char* note;  // "" for none
  } cases[] = {
      {"by distance", "", "'Arm' deformed by distance"},
      {"map without weight map only",
       "BoneWeightMapName ArmMap\nBoneWeightMapOnly 0\n"
       "BoneNormalization 1\n",
       "'Arm' deformed by distance"},
      {"map only without normalization",
       "BoneWeightMapName ArmMap\nBoneWeightMapOnly 1\n"
       "BoneNormalization 0\n",
       "without normalization: its points get twice the pull"},
      {"map only with normalization",
       "BoneWeightMapName ArmMap\nBoneWeightMapOnly 1\n"
       "BoneNormalization 1\n",
       ""},
  };
  for (const auto& c : cases) {
    const fs::path in = write("arm_w.lws", weighted(c.lines));
    const Outcome run =
        vorrik("run BoneSplit --scene '" + in.string() + "' --select Arm percent=40");
    EXPECT_EQ(run.status, 0) << c.label << run.err;
    const std::size_t note = run.out.find("deforms");
    if (*c.note) {
      EXPECT_NE(run.out.find(c.note), std::string::npos) << c.label << run.out;
    } else {
      EXPECT_EQ(note, std::string::npos) << c.label << run.out;
    }
  }
}

TEST_F(DeformationFiles, AMergeThatLeavesTheLowerBonesMapWithNoBoneFailsTheCheck) {
  const fs::path in = write("arm_w.lws", weighted("BoneWeightMapName ArmMap\nBoneWeightMapOnly 1\n"
                                                  "BoneNormalization 1\n",
                                                  "",
                                                  "BoneWeightMapName Forearm\n"
                                                  "BoneWeightMapOnly 1\nBoneNormalization 1\n"));
  const fs::path out = folder_ / "merged.lws";
  const Outcome checked = vorrik("run BoneMerge --scene '" + in.string() +
                                 "' --select Arm,Hand --check --out '" + out.string() + "'");
  EXPECT_EQ(checked.status, 3) << checked.err << checked.out;
  EXPECT_NE(checked.err.find("weight map 'Forearm': its points follow no bone"), std::string::npos)
      << checked.err;
  EXPECT_FALSE(fs::exists(out));
  EXPECT_NE(checked.out.find("lost map"), std::string::npos) << checked.out;

  // Without --check the merge is written, the upper bone's map kept and the loss reported.
  const Outcome plain = vorrik("run BoneMerge --scene '" + in.string() +
                               "' --select Arm,Hand --json --out '" + out.string() + "'");
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.out.find("\"weightMap\": \"Forearm\""), std::string::npos) << plain.out;
  const Scene scene = standin::loadSceneFile(out.string());
  const Item* merged = scene.find(scene.findByName("Arm"));
  ASSERT_NE(merged, nullptr);
  EXPECT_EQ(scene.findByName("Hand"), 0u);
  EXPECT_EQ(merged->deformation.weightMap, "ArmMap");
}

}  // namespace
