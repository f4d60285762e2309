// The key tools and BoneUnParent on a rig saved the way Layout saves it: version 3, CRLF,
// keys at frame 0 and at frame 15 of 25 fps, which Layout writes as 0.60000002 (or frame 37
// of 30 fps, 1.2333333), key values as 8-digit floats down to -6.1125499e-010. Each run
// keeps the keys it was not asked to change and finds the key at its frame, however either
// time was rounded.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "runner/script/script.h"
#include "runner/script/script_runner.h"
#include "standin/files/lws/lws_reader.h"
#include "support/temp_folder.h"
#include "support/tool_harness.h"

namespace {

// Per channel (Position.X ... Scale.Z) the value at frame 0 and at the second key.
using Values = std::vector<std::pair<std::string, std::string>>;

// The frame rate and the second key's time as Layout writes it: frame 15 at 25 fps, or
// frame 37 at 30 fps, which "%g" sends as 1.23333.
struct Rate {
  int fps;
  const char* keyTime;
};
const Rate k25{25, "0.60000002"};
const Rate k30{30, "1.2333333"};

std::string envelopes(const Values& values, const Rate& rate) {
  std::string text = "NumChannels 9\r\n";
  for (std::size_t c = 0; c < values.size(); ++c) {
    text += "Channel " + std::to_string(c) + "\r\n{ Envelope\r\n  2\r\n  Key " + values[c].first +
            " 0 0 0 0 0 0 0 0\r\n  Key " + values[c].second + " " + rate.keyTime +
            " 0 0 0 0 0 0 0\r\n  Behaviors 1 1\r\n}\r\n";
  }
  return text;
}

std::string bone(const Rate& rate, const std::string& name, const std::string& restPosition,
                 const Values& values, const std::string& parent) {
  return "AddBone\r\nBoneName " + name + "\r\nShowBone 1 3\r\nBoneActive 1\r\nBoneRestPosition " +
         restPosition +
         "\r\nBoneRestDirection 0 0 0\r\nBoneRestLength 0.44999999\r\nBoneStrength 1\r\n"
         "ScaleBoneStrength 1\r\nBoneMotion\r\n" +
         envelopes(values, rate) + "ParentItem " + parent + "\r\n";
}

// A leg: L_Thigh -> L_Shin -> L_Foot under the null "rig".
std::string leg(int currentFrame, const Rate& rate = k25) {
  const Values still = {{"0", "0"}, {"0", "0"}, {"0", "0"}, {"0", "0"}, {"0", "0"},
                        {"0", "0"}, {"1", "1"}, {"1", "1"}, {"1", "1"}};
  std::string text =
      "LWSC\r\n3\r\n\r\nFirstFrame 1\r\nLastFrame 60\r\nFrameStep 1\r\n"
      "PreviewFirstFrame 0\r\nPreviewLastFrame 60\r\nPreviewFrameStep 1\r\n"
      "CurrentFrame " +
      std::to_string(currentFrame) + "\r\nFramesPerSecond " + std::to_string(rate.fps) +
      "\r\n\r\nAddNullObject rig\r\nShowObject 6 3\r\nObjectMotion\r\n" + envelopes(still, rate) +
      "BoneFalloffType 5\r\n";
  text += bone(rate, "L_Thigh", "0.1 -0.050000001 0",
               {{"0.1", "0.1"},
                {"-0.050000001", "-0.050000001"},
                {"0", "0"},
                {"0.052359879", "0.10471976"},
                {"-1.3718288", "-1.1135127"},
                {"0", "0"},
                {"1", "1"},
                {"1", "1"},
                {"1", "1"}},
               "10000000");
  text += bone(rate, "L_Shin", "0 0 0.44999999",
               {{"0", "0"},
                {"0", "0"},
                {"0.44999999", "0.44999999"},
                {"0", "0.017453292"},
                {"0.78539819", "1.2217305"},
                {"2.3841858e-008", "-6.1125499e-010"},
                {"1", "1"},
                {"1", "1"},
                {"1", "1"}},
               "40000000");
  text += bone(rate, "L_Foot", "0 0 0.44999999",
               {{"0", "0"},
                {"0", "0"},
                {"0.41999999", "0.41999999"},
                {"0", "0"},
                {"-0.52359879", "-0.34906584"},
                {"-1.1920929e-007", "0"},
                {"1", "1"},
                {"1", "1"},
                {"1", "1"}},
               "40010000");
  return text + "\r\nAmbientColor 1 1 1\r\n";
}

// The Key lines of one bone's channel, without their line endings.
std::vector<std::string> keyLines(const std::string& text, const std::string& boneName,
                                  int channel) {
  std::vector<std::string> keys;
  std::istringstream in(text);
  std::string bone;
  bool inChannel = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("BoneName ", 0) == 0) bone = line.substr(9);
    if (line.rfind("Channel ", 0) == 0) inChannel = line == "Channel " + std::to_string(channel);
    if (bone == boneName && inChannel && line.rfind("  Key ", 0) == 0) keys.push_back(line);
  }
  return keys;
}

// The second field of each Key line: the key's time as written.
std::vector<std::string> keyTimes(const std::vector<std::string>& lines) {
  std::vector<std::string> times;
  for (const std::string& line : lines) {
    std::istringstream fields(line);
    std::string keyword, value, time;
    fields >> keyword >> value >> time;
    times.push_back(time);
  }
  return times;
}

class LayoutWrittenKeys : public testing_support::FolderTest {
protected:
  // Plays `script` on `sceneText`; the text of its one saved file.
  std::string play(const std::string& sceneText, const std::string& script) {
    const std::string scene = write("leg.lws", sceneText).string();
    runner_ = std::make_unique<runner::ScriptRunner>(testing_support::modulePath());
    runner_->runSteps(runner::parseScript("load " + scene + "\n" + script + "save out.lws\n"));
    EXPECT_EQ(runner_->pendingFiles().size(), 1u);
    EXPECT_EQ(runner_->saves().size(), 1u);
    if (runner_->saves().empty() || runner_->pendingFiles().empty()) return "";
    // The saved file holds the scene the run left, at every time the read-back looks at.
    EXPECT_FALSE(runner_->saves()[0].failed());
    return runner_->pendingFiles()[0].text;
  }
  std::unique_ptr<runner::ScriptRunner> runner_;
};

constexpr int kPitch = 4;
const double kTimes[] = {0, 0.3, 0.6, 0.9};

TEST_F(LayoutWrittenKeys, KeyToolsKeepTheKeysTheyWereNotAskedToChange) {
  const std::string firstKey = "  Key -1.3718288 0 0 0 0 0 0 0 0";
  const std::string secondKey = "  Key -1.1135127 0.60000002 0 0 0 0 0 0 0";
  struct Case {
    const char* what;
    int frame;
    Rate rate;
    std::string script;
    std::vector<std::string> pitchTimes;  // L_Thigh's pitch keys in the saved file
    std::vector<std::string> pitchLines;  // ... as whole lines, when the run chose no value
    double pitch[4];                      // L_Thigh's pitch at kTimes, read back
  };
  const Case cases[] = {
      {"CutKey at the first key: the key that stays keeps its value",
       0,
       k25,
       "select L_Thigh\nrun CutKey\n",
       {"0.60000002"},
       {secondKey},
       {-1.1135127, -1.1135127, -1.1135127, -1.1135127}},
      {"CutKey at frame 15 cuts the key written 0.60000002",
       15,
       k25,
       "select L_Thigh\nrun CutKey\n",
       {"0"},
       {firstKey},
       {-1.3718288, -1.3718288, -1.3718288, -1.3718288}},
      {"CutKey at frame 37 of 30 fps cuts the key there, sent as DeleteKey 1.23333",
       37,
       k30,
       "select L_Thigh\nrun CutKey\n",
       {"0"},
       {firstKey},
       {-1.3718288, -1.3718288, -1.3718288, -1.3718288}},
      {"PasteKey at frame 15 replaces the key there, adding none beside it",
       0,
       k25,
       "select L_Thigh\nrun CopyKey\ntime 0.6\nrun PasteKey\n",
       {"0", "0.60000002"},
       {},
       {-1.3718288, -1.3718288, -1.3718288, -1.3718288}},
      {"PasteKey at frame 37 of 30 fps, sent as CreateKey 1.23333, replaces the key there",
       0,
       k30,
       "select L_Thigh\nrun CopyKey\ntime 1.2333333333333334\nrun PasteKey\n",
       {"0", "1.2333333"},
       {},
       {-1.3718288, -1.3718288, -1.3718288, -1.3718288}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string original = leg(c.frame, c.rate);
    const std::string saved = play(original, c.script);
    const std::vector<std::string> pitch = keyLines(saved, "L_Thigh", kPitch);
    EXPECT_EQ(keyTimes(pitch), c.pitchTimes);
    if (!c.pitchLines.empty()) {
      EXPECT_EQ(pitch, c.pitchLines);
    }
    const standin::Scene back = standin::sceneFromLws(saved, "out.lws");
    const standin::ItemId thigh = back.findByName("L_Thigh");
    for (std::size_t i = 0; i < std::size(kTimes); ++i) {
      // A paste sends degrees with six digits, as Layout's own tools do.
      EXPECT_NEAR(back.param(thigh, standin::kRotation, kTimes[i])[1], c.pitch[i], 1e-5)
          << kTimes[i];
    }
    // The bones below keep every key as written.
    for (int channel = 0; channel < 9; ++channel) {
      EXPECT_EQ(keyLines(saved, "L_Shin", channel), keyLines(original, "L_Shin", channel));
      EXPECT_EQ(keyLines(saved, "L_Foot", channel), keyLines(original, "L_Foot", channel));
    }
  }
}

TEST_F(LayoutWrittenKeys, UnparentAtAKeyIsSavedInItAndRecoverGivesBackTheFile) {
  const std::pair<int, Rate> frames[] = {{0, k25}, {15, k25}, {37, k30}};
  for (const auto& [frame, rate] : frames) {
    SCOPED_TRACE("frame " + std::to_string(frame));
    const double time = frame / static_cast<double>(rate.fps);
    const std::string original = leg(frame, rate);
    const standin::Scene before = standin::sceneFromLws(original, "leg.lws");
    const std::string unparented =
        play(original, "select L_Thigh\nrun BoneUnParent action=Unparent\n");
    // L_Shin's keys stay at their times; the one at the current frame holds it where it was.
    for (int channel = 0; channel < 9; ++channel) {
      EXPECT_EQ(keyTimes(keyLines(unparented, "L_Shin", channel)),
                (std::vector<std::string>{"0", rate.keyTime}))
          << channel;
    }
    standin::Scene back = standin::sceneFromLws(unparented, "out.lws");
    const standin::ItemId shin = back.findByName("L_Shin");
    EXPECT_EQ(back.parentOf(shin), back.findByName("rig"));
    back.setTime(time);
    const standin::Vec3 was = before.worldTip(before.findByName("L_Shin"));
    const standin::Vec3 now = back.worldTip(shin);
    for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(now[axis], was[axis], 1e-6) << axis;

    EXPECT_EQ(play(original,
                   "select L_Thigh\nrun BoneUnParent action=Unparent\n"
                   "run BoneUnParent action=Recover\n"),
              original);
  }
}

}  // namespace
