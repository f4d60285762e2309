// What the rig check says holds in the saved file and over the whole animation: hand-made
// version-3, -5 and -8 rigs with keyed rotations, IK lines and a plug-in that names bones by
// id, run through the real module and read back.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "runner/checks/check_times.h"
#include "runner/checks/read_back.h"
#include "runner/checks/rig_check.h"
#include "runner/script/script.h"
#include "runner/script/script_runner.h"
#include "standin/files/json/scene_json.h"
#include "standin/files/lws/lws_reader.h"
#include "standin/files/lws/lws_writer.h"
#include "standin/scene/auto_key.h"
#include "support/runner_process.h"
#include "support/temp_folder.h"
#include "support/tool_harness.h"

namespace {

namespace fs = std::filesystem;

// --- the rig, written as Layout would save it ---

struct Channel {
  std::vector<std::string> keys;  // "value time"; the rest of the key line is TCB zeros
};

std::string motion(const char* keyword, const std::vector<Channel>& channels) {
  std::string text = std::string(keyword) + "\nNumChannels 9\n";
  for (std::size_t c = 0; c < 9; ++c) {
    std::vector<std::string> keys = c < channels.size() && !channels[c].keys.empty()
                                        ? channels[c].keys
                                        : std::vector<std::string>{c >= 6 ? "1 0" : "0 0"};
    text +=
        "Channel " + std::to_string(c) + "\n{ Envelope\n  " + std::to_string(keys.size()) + "\n";
    for (const std::string& key : keys) text += "  Key " + key + " 0 0 0 0 0 0 0\n";
    text += "  Behaviors 1 1\n}\n";
  }
  return text;
}

// The lines a version-8 file has for every item after its motion; version 5 has the
// controller ones.
std::string perItemBefore(int version) {
  if (version >= 8) {
    return "IKInitCustomFrame 0\nGoalStrength 1\nIKFKBlending 0\nIKSoftMin 0.25\nIKSoftMax 0.75\n"
           "CtrlPosItemBlend 1\nCtrlRotItemBlend 1\nCtrlScaleItemBlend 1\n\n"
           "PathAlignLookAhead 0.033\nPathAlignMaxLookSteps 10\nPathAlignReliableDist 0.001\n"
           "PivotPosition 0 0 0\nPivotRotation 0 0 0\n";
  }
  if (version >= 5) return "CtrlPosItemBlend 1\nCtrlRotItemBlend 1\nCtrlScaleItemBlend 1\n";
  return "";
}

std::string perItemAfter(int version) {
  return version >= 8 ? "SplineFlags 0\nSplineFit 0\nIKInitialState 0\nUseIKChainValues 0\n" : "";
}

std::string bone(int version, const std::string& id, const std::string& name,
                 const std::string& restPosition, const std::string& length,
                 const std::vector<Channel>& channels, const std::string& extra,
                 const std::string& parent) {
  std::string text = std::string("AddBone") + (version >= 4 ? " " + id : "") + "\nBoneName " +
                     name + "\nShowBone 1 3\nBoneActive 1\nBoneRestPosition " + restPosition +
                     "\nBoneRestDirection 0 0 0\nBoneRestLength " + length +
                     "\nBoneStrength 1\nScaleBoneStrength 1\n";
  if (version >= 8) text += "BoneType 0\n";
  return text + motion("BoneMotion", channels) + extra + perItemBefore(version) + "ParentItem " +
         parent + "\n" + perItemAfter(version);
}

// Body holds Base -> Arm -> Hand and a second root, Foot. Keys at 0, 0.4 and 1 s; the
// current frame is 12 (0.4 s). Arm and Hand pitch beyond 90 degrees; Arm is an IK chain's
// bone; Foot holds still; a deformer plug-in names Arm, Hand and Foot by id.
std::string rig(int version) {
  std::string text = "LWSC\n" + std::to_string(version) +
                     "\n\nFirstFrame 1\nLastFrame 30\nFrameStep 1\nPreviewFirstFrame 0\n"
                     "PreviewLastFrame 30\nPreviewFrameStep 1\nCurrentFrame 12\n"
                     "FramesPerSecond 30\n\n";
  text += std::string("AddNullObject") + (version >= 4 ? " 10000000" : "") +
          " Body\nShowObject 6 3\n" + motion("ObjectMotion", {}) + perItemBefore(version) +
          perItemAfter(version) + "BoneFalloffType 5\nFasterBones 1\n";
  text += bone(version, "40000000", "Base", "0 0 0", "1.8066856",
               {{},
                {},
                {},
                {{"0 0", "0.31415927 0.4", "0.1 1"}},
                {{"-1.5707963 0", "-1.2 0.4", "-1.5707963 1"}},
                {}},
               "", "10000000");
  text += bone(version, "40010000", "Arm", "0 0 1.8066856", "1.2",
               {{{"-0.0053 0"}},
                {},
                {{"1.8066856 0"}},
                {{"0 0", "0 0.4", "0.5 1"}},
                {{"-2.047 0", "-2.1 0.4", "-1.9 1"}},
                {{"0.056 0", "5.6824807e-009 0.4", "0.1 1"}}},
               "HController 3\nPController 3\nFullTimeIK 1\n", "40000000");
  text += bone(
      version, "40020000", "Hand", "0 0 1.2", "0.4",
      {{}, {}, {{"1.2 0"}}, {{"0.3 0", "0.2 0.4", "0.3 1"}}, {{"1.9 0", "2.2 0.4", "1.8 1"}}, {}},
      "", "40010000");
  text += bone(version, "40030000", "Foot", "0.3 0 0", "0.7", {{}, {}, {}, {}, {{"0.4 0"}}, {}}, "",
               "10000000");
  text +=
      "Plugin DisplacementHandler 1 JointMorph\n{ Morphs\n  40010000 Elbow 0.5\n"
      "  40020000 Wrist 1\n  40030000 Ankle 1\n}\nEndPlugin\nShadowOptions 7\n\n"
      "AmbientColor 1 1 1\n\nAddLight" +
      std::string(version >= 4 ? " 20000000" : "") + "\nLightName Light\nShowLight 1 5\n" +
      motion("LightMotion", {}) + perItemBefore(version) + perItemAfter(version) + "LightType 0\n";
  return text;
}

class SceneIntegrity : public testing_support::FolderTest {
protected:
  // Plays `script` with the scene of `version` loaded as "rig.lws".
  std::unique_ptr<runner::ScriptRunner> play(int version, const std::string& script,
                                             bool letReferencesSwitch = false) const {
    const std::string scene = write("rig.lws", rig(version));
    auto scriptRunner = std::make_unique<runner::ScriptRunner>(testing_support::modulePath());
    scriptRunner->letReferencesSwitch(letReferencesSwitch);
    scriptRunner->runSteps(runner::parseScript("load " + scene + "\n" + script));
    return scriptRunner;
  }

  using Outcome = runner_process::Outcome;
  Outcome vorrik(const std::string& arguments) const {
    return runner_process::run(arguments, folder_);
  }
};

std::size_t count(const std::string& text, const std::string& line) {
  std::size_t n = 0;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) n += l == line ? 1 : 0;
  return n;
}

const int kVersions[] = {3, 5, 8};

TEST_F(SceneIntegrity, UnparentThenRecoverAtAKeyTimeGivesBackTheFileByteForByte) {
  for (int version : kVersions) {
    SCOPED_TRACE("version " + std::to_string(version));
    const auto done = play(version,
                           "select Base\nrun BoneUnParent action=Unparent\n"
                           "run BoneUnParent action=Recover\nsave out.lws\n");
    ASSERT_EQ(done->pendingFiles().size(), 1u);
    EXPECT_EQ(done->pendingFiles()[0].text, rig(version));
    ASSERT_EQ(done->saves().size(), 1u);
    EXPECT_FALSE(done->saves()[0].failed());
    // Recover puts Arm back where it was at every time looked at.
    ASSERT_EQ(done->runs().size(), 2u);
    EXPECT_GT(done->runs()[1].changes.timesChecked, 3u);
  }
}

TEST_F(SceneIntegrity, PlugInIdsFollowRenumberedBonesAndRemovedOnesAreListed) {
  struct Case {
    const char* what;
    int version;
    std::string script;
    std::vector<std::string> lines;                // in the saved file
    std::vector<std::string> rewritten, dangling;  // "written->saved", "written"
    const char* refused = nullptr;                 // the save's refusal, if it is refused
    bool letReferencesSwitch = false;
  };
  const Case cases[] = {
      // A split keeps the bone as the first part and writes the new one after the last
      // bone: no bone renumbers and no id dangles.
      {"split, version 3",
       3,
       "select Arm\nrun BoneSplit percent=50\nsave out.lws\n",
       {"  40010000 Elbow 0.5", "  40020000 Wrist 1", "  40030000 Ankle 1", "ParentItem 40040000"},
       {},
       {}},
      // A merge keeps the upper bone and removes the lower: Foot moves down a number, and
      // the plug-in's Wrist line, which named Hand, would name Foot: nothing is saved.
      {"merge, version 3",
       3,
       "select Arm Hand\nrun BoneMerge\nsave out.lws\n",
       {},
       {},
       {},
       "in Body) names Hand, which was removed; in the saved file its number 40020000 names "
       "Foot, which the plug-in would follow instead"},
      // Asked for anyway, the file is written with Hand's old number, now Foot's.
      {"merge, version 3, written as asked",
       3,
       "select Arm Hand\nrun BoneMerge\nsave out.lws\n",
       {"  40020000 Wrist 1", "  40020000 Ankle 1"},
       {"40030000->40020000"},
       {"40020000"},
       nullptr,
       true},
      // From version 4 on ids never change: only the removed one is listed.
      {"merge, version 5",
       5,
       "select Arm Hand\nrun BoneMerge\nsave out.lws\n",
       {"  40010000 Elbow 0.5", "  40020000 Wrist 1", "  40030000 Ankle 1"},
       {},
       {"40020000"}},
      {"split, version 8",
       8,
       "select Hand\nrun BoneSplit percent=25\nsave out.lws\n",
       {"  40020000 Wrist 1", "AddBone 40040000", "BoneName Hand2"},
       {},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.refused) {
      try {
        play(c.version, c.script);
        ADD_FAILURE() << "saved";
      } catch (const runner::InputError& error) {
        EXPECT_NE(std::string(error.what()).find(c.refused), std::string::npos) << error.what();
      }
      continue;
    }
    const auto done = play(c.version, c.script, c.letReferencesSwitch);
    ASSERT_EQ(done->saves().size(), 1u);
    const runner::SaveCheck& save = done->saves()[0];
    const std::string& text = done->pendingFiles()[0].text;
    for (const std::string& line : c.lines)
      EXPECT_EQ(count(text, line), 1u) << line << "\n" << text;
    std::vector<std::string> rewritten, dangling;
    for (const standin::PluginReference& ref : save.references) {
      EXPECT_EQ(ref.plugin, "JointMorph");
      EXPECT_EQ(ref.holder, "Body");
      if (ref.dangling) {
        EXPECT_EQ(ref.namesNow, c.version == 3 ? "Foot" : "");
      }
      (ref.dangling ? dangling : rewritten)
          .push_back(ref.dangling ? ref.written : ref.written + "->" + ref.now);
    }
    EXPECT_EQ(rewritten, c.rewritten);
    EXPECT_EQ(dangling, c.dangling);
    EXPECT_EQ(save.failed(), !c.dangling.empty());
    EXPECT_TRUE(save.differences.empty())
        << save.differences.front().item << " " << save.differences.front().channel;
    // The saved file reads back with the plug-in still naming what it did.
    const standin::Scene back = standin::sceneFromLws(text, "out.lws");
    if (c.version == 3 && !c.rewritten.empty()) {
      EXPECT_EQ(back.find(0x40020000u)->name, "Foot");
    }
  }
}

TEST_F(SceneIntegrity, NewBonesOfVersion5AndLaterGetThePerItemLines) {
  for (int version : kVersions) {
    SCOPED_TRACE("version " + std::to_string(version));
    const auto done = play(version, "select Arm\nrun BoneSplit percent=50\nsave out.lws\n");
    const std::string& text = done->pendingFiles()[0].text;
    // Body, Base, Arm, the new bone, Hand, Foot, the light.
    const std::size_t items = 7;
    EXPECT_EQ(count(text, "CtrlPosItemBlend 1"), version >= 5 ? items : 0u) << text;
    EXPECT_EQ(count(text, "UseIKChainValues 0"), version >= 8 ? items : 0u);
    EXPECT_EQ(count(text, "IKSoftMax 0.75"), version >= 8 ? items : 0u);
    EXPECT_EQ(count(text, "PivotRotation 0 0 0"), version >= 8 ? items : 0u);
    // The split bone keeps its own controller lines; the new bone gets none of them.
    EXPECT_EQ(count(text, "HController 3"), 1u);
    EXPECT_TRUE(done->saves()[0].differences.empty());
  }
}

TEST_F(SceneIntegrity, AChangeBetweenKeysIsReportedAndKeyedWithAutoKeyCreate) {
  struct Case {
    const char* what;
    const char* autoKey;
    bool reported;
  };
  const Case cases[] = {{"auto key create off", "off", true},
                        {"modified channels", "modified", false},
                        {"all channels", "all", false}};
  for (int version : kVersions) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(version) + ", " + c.what);
      const std::string scene = write("rig.lws", rig(version));
      runner::ScriptRunner scriptRunner(testing_support::modulePath());
      scriptRunner.setAutoKeyCreate(*standin::autoKeyCreateFromName(c.autoKey));
      scriptRunner.runSteps(
          runner::parseScript("load " + scene +
                              "\ntime 0.2\nselect Base\n"
                              "run BoneUnParent action=Unparent\nsave out.lws\n"));
      const runner::SaveCheck& save = scriptRunner.saves()[0];
      bool armReported = false;
      for (const runner::SavedDifference& d : save.differences) {
        EXPECT_EQ(d.time, 0.2) << d.item << " " << d.channel;
        EXPECT_NE(d.reason.find("changed at 0.2 s where no key holds it"), std::string::npos)
            << d.reason;
        armReported = armReported || d.item == "Arm";
      }
      EXPECT_EQ(armReported, c.reported);
      EXPECT_EQ(save.failed(), c.reported);
      const standin::Scene back =
          standin::sceneFromLws(scriptRunner.pendingFiles()[0].text, "out.lws");
      const standin::Item& arm = *back.find(back.findByName("Arm"));
      const bool keyedAt02 =
          std::any_of(arm.keys[standin::kPitch].begin(), arm.keys[standin::kPitch].end(),
                      [](const standin::Key& k) { return k.time == 0.2; });
      EXPECT_EQ(keyedAt02, !c.reported);
      EXPECT_EQ(arm.keys[standin::kScaleX].size(), std::string(c.autoKey) == "all" ? 2u : 1u);
      // Unparenting changes what the keys at other times mean: the check sees it.
      EXPECT_FALSE(scriptRunner.runs()[0].changes.movedOverTime.empty());
    }
  }
}

TEST_F(SceneIntegrity, CheckFailsOnUnkeyedChangesAndDanglingIdsAndPassesACleanRoundTrip) {
  const std::string scene = write("rig.lws", rig(3));
  struct Case {
    const char* what;
    std::string arguments;
    int status;
    const char* err;
  };
  const Case cases[] = {
      {"unparent between keys", "run BoneUnParent action=Unparent --select Base --time 0.2", 3,
       "vorrik: check failed: Vorrik:BoneUnParent"},
      {"a plug-in id that would pass to the next bone", "run BoneMerge --select Arm,Hand", 2,
       "its number 40020000 names Foot"},
      {"a split keeps the bone a plug-in names", "run BoneSplit percent=50 --select Foot", 0, ""},
      {"two bones selected", "run BoneSplit --select Arm,Hand", 0, ""},
      // Keyed where it was made, the change is in the file, but the keys at other times
      // now hang from another parent.
      {"unparent between keys, keyed",
       "run BoneUnParent action=Unparent --select Base --time 0.2 --auto-key-create modified", 3,
       "Arm (at 0 s)"},
      {"a mode Layout does not have", "run BoneSplit --select Arm,Hand --auto-key-create some", 2,
       "--auto-key-create takes off, modified or all"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(path("out.lws"));
    const Outcome outcome =
        vorrik(c.arguments + " --scene '" + scene + "' --out '" + path("out.lws") + "' --check");
    EXPECT_EQ(outcome.status, c.status) << outcome.err << outcome.out;
    EXPECT_EQ(fs::exists(path("out.lws")), c.status == 0);
    if (c.status != 0) {
      EXPECT_NE(outcome.err.find(c.err), std::string::npos) << outcome.err;
    }
  }
}

// The keyed character of the examples, saved as Layout 8 saves: each tool at a time between
// keys, with --check, and what the saves say of what went with a removed bone.
TEST_F(SceneIntegrity, TheKeyedCharacterOfTheExamples) {
  const std::string scene = std::string(VORRIK_EXAMPLES_DIR) + "/keyed_character.lws";
  struct Case {
    const char* arguments;
    int status;
    const char* said;  // in the output or the error
  };
  const Case cases[] = {
      {"run BoneSplit --select L_Forearm percent=50", 0, "read back: the file holds the scene"},
      {"run BoneSubdivide --select Spine count=4", 0, "added       Spine4  under Spine3"},
      {"run CutKey --select L_Thigh --time 0.33333334", 0, "DeleteKey 0.333333"},
      {"run BoneMerge --select L_Thigh,L_Shin", 2,
       "names L_Shin, which was removed; in the saved file its number 400c0000 names L_Foot"},
      {"run BoneMerge --select Neck,Head", 3,
       "lost with Head (line 460): Plugin ItemMotionHandler 1 LW_Expression"},
      {"run BoneMerge --select Spine,Chest", 3,
       "plug-in LW_Expression (line 463, in Head): names Chest, which was removed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    fs::remove(path("out.lws"));
    const std::string time =
        std::string(c.arguments).find("--time") == std::string::npos ? " --time 0.5" : "";
    const Outcome outcome = vorrik(std::string(c.arguments) + time + " --scene '" + scene +
                                   "' --out '" + path("out.lws") + "' --check");
    EXPECT_EQ(outcome.status, c.status) << outcome.err << outcome.out;
    EXPECT_EQ(fs::exists(path("out.lws")), c.status == 0);
    EXPECT_NE((outcome.out + outcome.err).find(c.said), std::string::npos)
        << outcome.out << outcome.err;
  }
}

TEST(AutoKeyCreate, IsASceneSettingOfJsonScenes) {
  const standin::Scene scene = standin::sceneFromJson(
      R"({"autoKeyCreate": "all", "items": [{"name": "Null", "type": "object"}]})");
  EXPECT_EQ(scene.autoKeyCreate, standin::kAutoKeyAll);
  EXPECT_EQ(standin::sceneFromJson(standin::sceneToJson(scene)).autoKeyCreate,
            standin::kAutoKeyAll);
  EXPECT_EQ(standin::sceneFromJson(R"({"items": []})").autoKeyCreate, standin::kAutoKeyOff);
  EXPECT_THROW(standin::sceneFromJson(R"({"autoKeyCreate": true})"), standin::SceneFileError);
}

// --- the check over the animation, on scenes built in place ---

standin::Scene swingingBone(int span, double tension) {
  standin::Scene scene;
  const standin::ItemId body = scene.addObject("Body");
  const standin::ItemId arm = scene.addBone(body, body, "Arm");
  standin::Item& item = *scene.find(arm);
  for (double t : {0.0, 1.0, 2.0}) {
    standin::Key key{t, t == 1.0 ? 1.0 : 0.0};
    key.span = span;
    key.params[0] = tension;
    item.keys[standin::kHeading].push_back(key);
  }
  scene.setTime(0);
  return scene;
}

TEST(CheckOverTime, AMoveThatShowsOnlyBetweenKeysIsFound) {
  struct Case {
    const char* what;
    int spanBefore, spanAfter;
    double tensionAfter;
    bool moved;
  };
  const Case cases[] = {{"same keys", standin::kSpanLinear, standin::kSpanLinear, 0, false},
                        {"linear to stepped", standin::kSpanLinear, standin::kSpanStepped, 0, true},
                        {"TCB to linear", standin::kSpanTCB, standin::kSpanLinear, 0, true},
                        {"TCB tension", standin::kSpanTCB, standin::kSpanTCB, 0.5, true},
                        {"tension on linear keys means nothing", standin::kSpanLinear,
                         standin::kSpanLinear, 0.5, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const standin::Scene before = swingingBone(c.spanBefore, 0);
    const standin::Scene after = swingingBone(c.spanAfter, c.tensionAfter);
    runner::RigChanges changes =
        runner::compareRigs(runner::RigSnapshot(before), runner::RigSnapshot(after));
    EXPECT_TRUE(changes.moved.empty());  // at the current time (a key) nothing moved
    runner::checkOverTime(changes, before, after, runner::checkTimes({&after, &before}));
    EXPECT_EQ(changes.timesChecked, 5u);  // 0, 0.5, 1, 1.5, 2
    ASSERT_EQ(changes.movedOverTime.size(), c.moved ? 1u : 0u);
    if (c.moved) {
      EXPECT_EQ(changes.movedOverTime[0].name, "Arm");
      EXPECT_EQ(changes.movedOverTime[0].time, 0.5);
    }
  }
}

TEST(CheckTimes, KeyTimesMidpointsAndTheCurrentTimeCappedEvenly) {
  standin::Scene scene;
  const standin::ItemId body = scene.addObject("Body");
  for (int k = 0; k <= 1000; ++k) {
    scene.find(body)->keys[standin::kPosX].push_back({k * 0.1, 0.0});
  }
  scene.setTime(0.123);
  const std::vector<double> all = runner::checkTimes({&scene}, 5000);
  EXPECT_EQ(all.size(), 1001u + 1000u + 1u);
  const std::vector<double> capped = runner::checkTimes({&scene}, 100);
  EXPECT_LE(capped.size(), 101u);
  EXPECT_GE(capped.size(), 100u);
  EXPECT_EQ(capped.front(), 0);
  EXPECT_EQ(capped.back(), 100);
  EXPECT_TRUE(std::find(capped.begin(), capped.end(), 0.123) != capped.end());
  EXPECT_TRUE(std::is_sorted(capped.begin(), capped.end()));
  standin::Scene still;
  still.addObject("Alone");
  still.setTime(2);
  EXPECT_EQ(runner::checkTimes({&still}), std::vector<double>{2});
}

}  // namespace
