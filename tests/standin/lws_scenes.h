// The .lws text the scene-file tests read and write: envelopes, motion blocks, headers and
// the rig of most tests in every version, and helpers to read and look into the results.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "standin/files/lws/lws_reader.h"
#include "standin/scene/scene.h"

namespace standin {
namespace lws_test {

constexpr double kDeg = kPi / 180;

// --- writing test scenes ---

inline std::string envelope(int channel, const std::vector<std::string>& keys,
                            const std::string& behaviors = "1 1") {
  std::string text = "Channel " + std::to_string(channel) + "\n{ Envelope\n  " +
                     std::to_string(keys.size()) + "\n";
  for (const std::string& k : keys) text += "  Key " + k + "\n";
  return text + "  Behaviors " + behaviors + "\n}\n";
}

// A motion block with one key at time 0 per channel (scale channels default to 1).
inline std::string motion(const std::string& keyword, std::vector<std::string> values = {},
                          int channels = 9) {
  values.resize(static_cast<std::size_t>(channels));
  std::string text = keyword + "\nNumChannels " + std::to_string(channels) + "\n";
  for (int c = 0; c < channels; ++c) {
    std::string v = values[static_cast<std::size_t>(c)];
    if (v.empty()) v = c >= 6 ? "1" : "0";
    text += envelope(c, {v + " 0 0 0 0 0 0 0 0"});
  }
  return text;
}

inline std::string header(int version) {
  return "LWSC\n" + std::to_string(version) +
         "\n\nFirstFrame 1\nLastFrame 60\nFrameStep 1\nPreviewFirstFrame 0\nPreviewLastFrame 60\n"
         "PreviewFrameStep 1\nCurrentFrame 0\nFramesPerSecond 30\nRenderRangeType 0\n";
}

inline std::string id(int version, const std::string& hex) { return version >= 4 ? " " + hex : ""; }

// The rig of most tests. Object "Hero Body" holds Spine -> Arm -> Hand and Aim (which aims
// at Hand and has the null "Goal Null" as IK goal); then a light parented to the camera
// declared after it. Version 4 and later give ids that are not plain ordinals.
inline std::string rig(int version) {
  const bool ids = version >= 4;
  const std::string object = ids ? "10000002" : "10000000";
  auto bone = [&](const char* v4, const char* v3) { return std::string(ids ? v4 : v3); };
  const std::string spine = bone("40000002", "40000000"), arm = bone("40020002", "40010000"),
                    hand = bone("40030002", "40020000"), aim = bone("40050002", "40030000");
  std::string s = header(version);
  s += "\nLoadObjectLayer 1" + id(version, object) + " Objects/Hero Body.lwo\nShowObject 6 3\n";
  s += motion("ObjectMotion");
  s += "BoneFalloffType 5\nFasterBones 1\n";
  s += "AddBone" + id(version, spine) +
       "\nBoneName Spine\nShowBone 1 3\nBoneActive 1\nBoneRestPosition 0 0 0\n"
       "BoneRestDirection 0 -90 0\nBoneRestLength 0.5\nBoneStrength 1\nScaleBoneStrength 1\n";
  s += motion("BoneMotion", {"", "", "", "", "-1.5707963267948966"});
  s += "HController 0\nParentItem " + object + "\n";
  s += "AddBone" + id(version, arm) +
       "\nBoneName Arm\nShowBone 1 3\nBoneActive 1\nBoneRestPosition 0 0 0.5\n"
       "BoneRestDirection 0 0 0\nBoneRestLength 0.75\nBoneStrength 1\nScaleBoneStrength 1\n"
       "BoneMotion\nNumChannels 9\n" +
       envelope(0, {"0 0 0 0 0 0 0 0 0"}) + envelope(1, {"0 0 0 0 0 0 0 0 0"}) +
       envelope(2, {"0.5 0 0 0 0 0 0 0 0"}) +
       envelope(3, {"0 0 0 0 0 0 0 0 0", "0.52359877559829882 1 0 0 0 0 0 0 0"}, "1 4") +
       envelope(4, {"0 0 0 0 0 0 0 0 0"}) + envelope(5, {"0 0 0 0 0 0 0 0 0"}) +
       envelope(6, {"1 0 0 0 0 0 0 0 0"}) + envelope(7, {"1 0 0 0 0 0 0 0 0"}) +
       envelope(8, {"1 0 0 0 0 0 0 0 0"});
  s += "\nParentItem " + spine + "\n";  // a blank line inside the section
  s += "AddBone" + id(version, hand) +
       "\nBoneName Hand\nShowBone 1 3\nBoneActive 0\nBoneRestPosition 0 0 0.75\n"
       "BoneRestDirection 0 0 0\nBoneRestLength 0.25\nBoneStrength 2.5\nScaleBoneStrength 1\n";
  s += motion("BoneMotion", {"", "", "0.75"});
  s += "ParentItem " + arm + "\n";
  s += "AddBone" + id(version, aim) +
       "\nBoneName Aim\nShowBone 1 3\nBoneActive 1\nBoneRestPosition 0.25 0 0\n"
       "BoneRestDirection 30 0 0\nBoneRestLength 0.5\nBoneStrength 1\nScaleBoneStrength 1\n";
  s += motion("BoneMotion", {"0.25", "", "", "0.52359877559829882"});
  s += "HController 1\nPController 1\nParentItem " + spine + "\nTargetItem " + hand +
       "\nGoalObject " + (ids ? "10000005" : "2") + "\n";
  s += "ShadowOptions 7\nPlugin MeshDeformerHandler 1 _Bones\n  { Data\n    Key 1 2\n  }\n"
       "  ParentItem 99999999\nEndPlugin\n";
  s += "\nAddNullObject" + id(version, "10000005") + " Goal Null\nShowObject 6 3\n";
  s += motion("ObjectMotion", {"1", "2", "3"});
  s += "\nAmbientColor 1 1 1\nAmbientIntensity 0.25\n";
  s += "\nAddLight" + id(version, "20000000") + "\nLightName Key Light\nShowLight 1 5\n";
  s += motion("LightMotion", {"-2", "2", "-2", "0.78539816339744828", "0.6108652381980153"});
  s += "ParentItem 30000000\nLightColor 1 1 1\nLightIntensity 1\nLightType 0\n";
  s += "\nAddCamera" + id(version, "30000000") + "\nCameraName Camera\nShowCamera 1 2\n";
  s += motion("CameraMotion", {"", "1", "-5"}, 6);
  s += "ZoomFactor 3.2\n\nCurrentObject 1\nCurrentLight 0\nCurrentCamera 0\n"
       "GraphEditorData\n{ GraphEd_Favorites\n}\n";
  return s;
}

inline Scene read(const std::string& text) { return sceneFromLws(text, "test.lws"); }

inline std::string readError(const std::string& text) {
  try {
    read(text);
  } catch (const SceneFileError& e) {
    return e.what();
  }
  return "(no error)";
}

inline const Item& named(const Scene& scene, const std::string& name) {
  const Item* item = scene.find(scene.findByName(name));
  if (!item) throw std::runtime_error("no item named " + name);
  return *item;
}

inline std::string parentName(const Scene& scene, const std::string& name) {
  const Item* parent = scene.find(named(scene, name).parent);
  return parent ? parent->name : "";
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

inline bool hasLine(const std::string& text, const std::string& line) {
  for (const std::string& l : lines(text)) {
    if (l == line) return true;
  }
  return false;
}

inline std::size_t lineIndex(const std::string& text, const std::string& line) {
  const std::vector<std::string> all = lines(text);
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i] == line) return i;
  }
  return static_cast<std::size_t>(-1);
}

inline void expectNear3(const Vec3& a, const Vec3& b, const std::string& what, double tol = 1e-12) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], tol) << what << " [" << i << "]";
}

}  // namespace lws_test
}  // namespace standin
