// .lws scene files: reading, refusing bad files, saving unchanged and after tool runs.
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

#include "standin/files/json/scene_json.h"
#include "standin/files/lws/lws_reader.h"
#include "standin/files/lws/lws_writer.h"
#include "standin/files/scene_file.h"
#include "standin/layout/commands.h"
#include "standin/scene/scene.h"
#include "support/file_text.h"
#include "support/temp_folder.h"
#include "support/tool_harness.h"

namespace standin {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180;

// --- writing test scenes ---

std::string envelope(int channel, const std::vector<std::string>& keys,
                     const std::string& behaviors = "1 1") {
  std::string text = "Channel " + std::to_string(channel) + "\n{ Envelope\n  " +
                     std::to_string(keys.size()) + "\n";
  for (const std::string& k : keys) text += "  Key " + k + "\n";
  return text + "  Behaviors " + behaviors + "\n}\n";
}

// A motion block with one key at time 0 per channel (scale channels default to 1).
std::string motion(const std::string& keyword, std::vector<std::string> values = {},
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

std::string header(int version) {
  return "LWSC\n" + std::to_string(version) +
         "\n\nFirstFrame 1\nLastFrame 60\nFrameStep 1\nPreviewFirstFrame 0\nPreviewLastFrame 60\n"
         "PreviewFrameStep 1\nCurrentFrame 0\nFramesPerSecond 30\nRenderRangeType 0\n";
}

std::string id(int version, const std::string& hex) { return version >= 4 ? " " + hex : ""; }

// The rig of most tests. Object "Hero Body" holds Spine -> Arm -> Hand and Aim (which aims
// at Hand and has the null "Goal Null" as IK goal); then a light parented to the camera
// declared after it. Version 4 and later give ids that are not plain ordinals.
std::string rig(int version) {
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

Scene read(const std::string& text) { return sceneFromLws(text, "test.lws"); }

std::string readError(const std::string& text) {
  try {
    read(text);
  } catch (const SceneFileError& e) {
    return e.what();
  }
  return "(no error)";
}

const Item& named(const Scene& scene, const std::string& name) {
  const Item* item = scene.find(scene.findByName(name));
  if (!item) throw std::runtime_error("no item named " + name);
  return *item;
}

std::string parentName(const Scene& scene, const std::string& name) {
  const Item* parent = scene.find(named(scene, name).parent);
  return parent ? parent->name : "";
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

bool hasLine(const std::string& text, const std::string& line) {
  for (const std::string& l : lines(text)) {
    if (l == line) return true;
  }
  return false;
}

std::size_t lineIndex(const std::string& text, const std::string& line) {
  const std::vector<std::string> all = lines(text);
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i] == line) return i;
  }
  return static_cast<std::size_t>(-1);
}

void expectNear3(const Vec3& a, const Vec3& b, const std::string& what, double tol = 1e-12) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], tol) << what << " [" << i << "]";
}

// --- reading ---

TEST(LwsRead, TheRigInEveryVersion) {
  for (int version : {3, 4, 5, 8}) {
    SCOPED_TRACE("version " + std::to_string(version));
    const Scene scene = read(rig(version));
    EXPECT_EQ(scene.validate(), "");
    ASSERT_EQ(scene.itemCount(), 8u);
    const bool ids = version >= 4;
    const std::map<std::string, std::string> expectedIds = {
        {"Hero Body", ids ? "10000002" : "10000000"},
        {"Spine", ids ? "40000002" : "40000000"},
        {"Arm", ids ? "40020002" : "40010000"},
        {"Hand", ids ? "40030002" : "40020000"},
        {"Aim", ids ? "40050002" : "40030000"},
        {"Goal Null", ids ? "10000005" : "10000001"},
        {"Key Light", "20000000"},
        {"Camera", "30000000"}};
    for (const auto& [name, hex] : expectedIds)
      EXPECT_EQ(idText(named(scene, name).id), hex) << name;

    EXPECT_EQ(parentName(scene, "Spine"), "Hero Body");
    EXPECT_EQ(parentName(scene, "Arm"), "Spine");
    EXPECT_EQ(parentName(scene, "Hand"), "Arm");
    EXPECT_EQ(parentName(scene, "Aim"), "Spine");
    EXPECT_EQ(parentName(scene, "Key Light"), "Camera");  // forward, across kinds
    EXPECT_EQ(parentName(scene, "Goal Null"), "");
    EXPECT_EQ(named(scene, "Hand").owner, named(scene, "Hero Body").id);

    const Item& hand = named(scene, "Hand");
    EXPECT_FALSE(hand.active);
    EXPECT_EQ(hand.restPosition, (Vec3{0, 0, 0.75}));
    EXPECT_EQ(hand.restLength, 0.25);
    EXPECT_EQ(hand.strength, 2.5);
    EXPECT_TRUE(hand.scaleStrength);
    expectNear3(named(scene, "Spine").restRotation, {0, -kPi / 2, 0}, "rest in degrees");
    expectNear3(named(scene, "Aim").restRotation, {30 * kDeg, 0, 0}, "rest");

    // Spine points up; Arm's heading turns from 0 to 30 degrees over frames 0 to 30.
    const Item& arm = named(scene, "Arm");
    ASSERT_EQ(arm.keys[kHeading].size(), 2u);
    EXPECT_EQ(arm.keys[kHeading][1].time, 1);
    EXPECT_EQ(arm.keys[kHeading][1].span, kSpanTCB);
    EXPECT_EQ(arm.behaviors[kHeading].post, kEndOffsetRepeat);
    EXPECT_NEAR(scene.param(arm.id, kRotation, 2)[0], kPi / 3, 1e-12);  // offset repeat
    expectNear3(scene.worldTip(named(scene, "Spine").id), {0, 0.5, 0}, "spine tip", 1e-12);

    const Item& camera = named(scene, "Camera");
    EXPECT_TRUE(camera.keys[kScaleX].empty());  // six channels: no scale
    EXPECT_EQ(camera.scale(), (Vec3{1, 1, 1}));
    EXPECT_EQ(camera.position(), (Vec3{0, 1, -5}));
    EXPECT_EQ(named(scene, "Goal Null").position(), (Vec3{1, 2, 3}));
    EXPECT_EQ(scene.newKeySpan, kSpanTCB);
  }
}

struct ReadCase {
  const char* what;
  std::string text;
  std::function<void(const Scene&)> check;
};

TEST(LwsRead, Cases) {
  // Eleven nulls, so that object 10 has the id 1000000a.
  std::string elevenNulls;
  for (int k = 0; k < 11; ++k) elevenNulls += "AddNullObject N" + std::to_string(k) + "\n";
  const ReadCase cases[] = {
      {"names with spaces, and loaded objects named after their file",
       header(3) + "LoadObjectLayer 1 C:\\Scenes\\My Props\\Big Box.lwo\n"
                   "LoadObjectLayer 2 ../objects/crate.v2.lwo\nAddNullObject  Odd  spaces \n"
                   "AddLight\nLightName Rim  Light\nAddCamera\nCameraName Cam One\n",
       [](const Scene& s) {
         EXPECT_NE(s.findByName("Big Box"), 0u);
         EXPECT_NE(s.findByName("crate.v2"), 0u);
         EXPECT_NE(s.findByName(" Odd  spaces "), 0u);  // the rest of the line, as written
         EXPECT_NE(s.findByName("Rim  Light"), 0u);
         EXPECT_NE(s.findByName("Cam One"), 0u);
       }},
      {"lower-case hex ids", header(3) + elevenNulls + "AddNullObject Child\nParentItem 1000000a\n",
       [](const Scene& s) { EXPECT_EQ(parentName(s, "Child"), "N10"); }},
      {"forward references between objects",
       header(3) + "AddNullObject A\nParentItem 10000002\nAddNullObject B\nParentItem 10000000\n"
                   "AddNullObject C\n",
       [](const Scene& s) {
         EXPECT_EQ(parentName(s, "A"), "C");
         EXPECT_EQ(parentName(s, "B"), "A");
       }},
      {"duplicate names get Layout's suffix",
       header(3) + "AddNullObject Rig\nAddBone\nBoneName Bone\nAddBone\nBoneName Bone\n",
       [](const Scene& s) {
         EXPECT_NE(s.findByName("Bone"), 0u);
         EXPECT_NE(s.findByName("Bone (2)"), 0u);
       }},
      {"a bone without ParentItem hangs from its object",
       header(3) + "AddNullObject Rig\nAddBone\nBoneName Root\n",
       [](const Scene& s) { EXPECT_EQ(parentName(s, "Root"), "Rig"); }},
      {"a bone without BoneActive is inactive",
       header(3) + "AddNullObject Rig\nAddBone\nBoneName Root\n",
       [](const Scene& s) { EXPECT_FALSE(named(s, "Root").active); }},
      {"three-digit exponents and all key fields",
       header(3) + "AddNullObject A\nObjectMotion\nNumChannels 1\n" +
           envelope(0,
                    {"2.9802322e-008 0 0 0.5 -0.25 1 0 0 0", "1e+002 1 1 0 0 0 1.5 -2 0",
                     "3 2 5 -0.5 0.1 0.2 0.3 0 0"},
                    "2 3"),
       [](const Scene& s) {
         const Item& a = named(s, "A");
         ASSERT_EQ(a.keys[kPosX].size(), 3u);
         EXPECT_EQ(a.keys[kPosX][0].value, 2.9802322e-8);
         EXPECT_EQ(a.keys[kPosX][0].params, (std::array<double, 6>{0.5, -0.25, 1, 0, 0, 0}));
         EXPECT_EQ(a.keys[kPosX][1].value, 100);
         EXPECT_EQ(a.keys[kPosX][1].span, kSpanHermite);
         EXPECT_EQ(a.keys[kPosX][2].span, kSpanBezier2D);
         EXPECT_EQ(a.keys[kPosX][2].params[2], 0.2);
         EXPECT_EQ(a.behaviors[kPosX], (ChannelBehaviors{kEndRepeat, kEndOscillate}));
         EXPECT_TRUE(a.keys[kPosY].empty());  // a channel the file leaves out
         EXPECT_EQ(a.scale(), (Vec3{1, 1, 1}));
       }},
      {"plug-in data and unknown blocks are not read",
       header(3) + "AddNullObject A\nPlugin CustomObjHandler 1 LW_ItemShape\n{ Shape\n  EndPlugin\n"
                   "  ParentItem 10000005\n}\nParentItem 10000009\nKey 1 2 3\nEndPlugin\n"
                   "{ Something\n  AddBone\n  { Deeper\n  }\n}\nAddNullObject B\n",
       [](const Scene& s) {
         EXPECT_EQ(s.itemCount(), 2u);
         EXPECT_EQ(parentName(s, "A"), "");
       }},
      {"the current time is the current frame over the frame rate",
       "LWSC\n3\n\nCurrentFrame 15\nFramesPerSecond 30\nAddNullObject A\nObjectMotion\n"
       "NumChannels 1\n" +
           envelope(0, {"0 0 3 0 0 0 0 0 0", "10 1 3 0 0 0 0 0 0"}),
       [](const Scene& s) {
         EXPECT_EQ(s.time(), 0.5);
         EXPECT_EQ(named(s, "A").position()[0], 5);
       }},
      {"pivots, with the pivot rotation in degrees",
       header(3) + "AddNullObject A\nPivotPosition 0.5 -1 2\nPivotRotation 90 0 -45\n",
       [](const Scene& s) {
         EXPECT_EQ(named(s, "A").pivot, (Vec3{0.5, -1, 2}));
         expectNear3(named(s, "A").pivotRotation, {kPi / 2, 0, -kPi / 4}, "pivot rotation");
       }},
      {"CRLF line ends and a byte-order mark",
       "\xEF\xBB\xBFLWSC\r\n4\r\n\r\nAddNullObject 10000007 A B\r\nAddBone 40010007\r\n"
       "BoneName C\r\nParentItem 10000007\r\n",
       [](const Scene& s) {
         EXPECT_EQ(idText(named(s, "A B").id), "10000007");
         EXPECT_EQ(parentName(s, "C"), "A B");
       }},
      {"version 4 LoadObjectLayer carries an id before the file name",
       header(4) + "LoadObjectLayer 1 10000004 G:box.lwo\nAddLight 20000003\nAddCamera 30000009\n",
       [](const Scene& s) {
         EXPECT_EQ(idText(named(s, "box").id), "10000004");
         EXPECT_EQ(idText(named(s, "Light").id), "20000003");
         EXPECT_EQ(idText(named(s, "Camera").id), "30000009");
       }},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      const Scene scene = read(c.text);
      EXPECT_EQ(scene.validate(), "");
      c.check(scene);
    } catch (const SceneFileError& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

TEST(LwsRead, BadFilesAreRefusedWithTheLine) {
  struct Bad {
    const char* what;
    std::string text;
    std::string error;  // the whole message starts with this
  };
  const std::string object = header(3) + "AddNullObject A\n";  // 13 lines
  const Bad cases[] = {
      {"not a scene", "{\"items\": []}\n", "test.lws:1: not a LightWave scene"},
      {"empty", "", "test.lws:1: not a LightWave scene"},
      {"no version", "LWSC\nthree\n", "test.lws:2: the second line must be the scene version"},
      {"version 1", "LWSC\n1\n", "test.lws:2: scene version 1 is not supported"},
      {"version 2", "LWSC\n2\n\nLoadObject a.lwo\n",
       "test.lws:2: scene version 2 is not supported"},
      {"version 9", "LWSC\n9\n", "test.lws:2: scene version 9 is newer than this reader knows"},
      {"a Key without nine numbers",
       object + "ObjectMotion\nNumChannels 1\nChannel 0\n{ Envelope\n  1\n  Key 0 0 0 0 0 0 0 0\n"
                "  Behaviors 1 1\n}\n",
       "test.lws:19: a Key line needs 9 numbers (value, time, span type, 6 parameters), found 8"},
      {"a Key with a word",
       object + "ObjectMotion\nNumChannels 1\nChannel 0\n{ Envelope\n  1\n"
                "  Key 0 0 0 0 0 x 0 0 0\n  Behaviors 1 1\n}\n",
       "test.lws:19: Key: \"x\" is not a number"},
      {"a span type out of range",
       object + "ObjectMotion\nNumChannels 1\n" + envelope(0, {"0 0 7 0 0 0 0 0 0"}),
       "test.lws:19: Key: span type 7 is not one of 0 to 5"},
      {"key times out of order",
       object + "ObjectMotion\nNumChannels 1\n" +
           envelope(0, {"0 1 0 0 0 0 0 0 0", "0 1 0 0 0 0 0 0 0"}),
       "test.lws:20: key times must increase"},
      {"a key count that does not match",
       object + "ObjectMotion\nNumChannels 1\nChannel 0\n{ Envelope\n  2\n"
                "  Key 0 0 0 0 0 0 0 0 0\n}\n",
       "test.lws:18: the Envelope of Channel 0 says 2 keys but has 1"},
      {"fewer channels than NumChannels",
       object + "ObjectMotion\nNumChannels 2\n" + envelope(0, {"0 0 0 0 0 0 0 0 0"}) +
           "AddNullObject B\n",
       "test.lws:15: NumChannels says 2 channels but 1 follow"},
      {"a channel without its envelope",
       object + "ObjectMotion\nNumChannels 1\nChannel 0\nShowObject 1 1\n",
       "test.lws:16: Channel 0 is not followed by an { Envelope block"},
      // Kept as text, they would join the motion a later key gives the item.
      {"a channel count outside a motion", object + "NumChannels 9\n",
       "test.lws:14: NumChannels outside a motion block"},
      {"a channel outside a motion", object + "Channel 0\n{ Envelope\n  0\n}\n",
       "test.lws:14: Channel outside a motion block"},
      {"a channel count after a whole motion",
       object + "ObjectMotion\nNumChannels 1\n" + envelope(0, {"0 0 0 0 0 0 0 0 0"}) +
           "ShowObject 6 3\nNumChannels 1\n",
       "test.lws:23: NumChannels outside a motion block"},
      {"a bone after a camera", object + "AddCamera\nCameraName Camera\nAddBone\n",
       "test.lws:16: AddBone after a camera (line 14): a bone must follow its object's lines"},
      {"a bone after a light", object + "AddLight\nAddBone\n",
       "test.lws:15: AddBone after a light (line 14)"},
      {"an unknown parent id", object + "ParentItem 10000003\n",
       "test.lws:14: ParentItem 10000003 names no item of this file"},
      {"a parent id that is not hex", object + "ParentItem Table\n",
       "test.lws:14: ParentItem needs a hex item id, not \"Table\""},
      {"a parenting cycle", object + "ParentItem 10000001\nAddNullObject B\nParentItem 10000000\n",
       "test.lws:14: ParentItem: parenting 10000000 to 10000001 makes a cycle"},
      {"a bone hanging from another object",
       object + "AddNullObject B\nAddBone\nBoneName X\nParentItem 10000000\n",
       "test.lws:17: ParentItem: bone 40000001 cannot hang from 10000000"},
      {"an unterminated block", object + "{ Stuff\n  1 2 3\n",
       "test.lws:14: the block \"{ Stuff\" is never closed"},
      {"an unterminated envelope",
       object + "ObjectMotion\nNumChannels 1\nChannel 0\n{ Envelope\n  1\n",
       "test.lws:17: the Envelope of Channel 0 is never closed"},
      {"an unterminated plug-in", object + "Plugin MasterHandler 1 X\n{ A\n}\n",
       "test.lws:14: the plug-in section \"Plugin MasterHandler 1 X\" is never closed"},
      {"a stray closing brace", object + "}\n", "test.lws:14: \"}\" closes no block"},
      {"a bone before any object", header(3) + "AddBone\n",
       "test.lws:13: AddBone before any object"},
      {"a version-4 declaration without its id", header(4) + "AddNullObject\n",
       "test.lws:13: AddNullObject needs an id and a name"},
      {"a version-4 id of the wrong kind", header(4) + "AddLight 10000000\n",
       "test.lws:13: AddLight 10000000: a light id starts with 2"},
      {"a version-4 id declared twice",
       header(4) + "AddNullObject 10000001 A\nAddNullObject 10000001 B\n",
       "test.lws:14: item id 10000001 is declared twice (also line 13)"},
      {"a version-3 declaration with an id", header(3) + "AddLight 20000000\n",
       "test.lws:13: AddLight takes no id in a version-3 scene"},
      {"a bad bone value", object + "AddBone\nBoneRestLength long\n",
       "test.lws:15: BoneRestLength: \"long\" is not a number"},
      {"three numbers wanted", object + "PivotPosition 1 2\n",
       "test.lws:14: PivotPosition needs 3 numbers, found 2"},
      {"a bad frame rate", "LWSC\n3\n\nFramesPerSecond 0\n",
       "test.lws:4: FramesPerSecond must be above 0"},
      {"a line twice", object + "ParentItem 10000000\nParentItem 10000000\n",
       "test.lws:15: ParentItem appears twice for one item (also line 14)"},
      {"not a number in the C locale", object + "PivotPosition 1,5 0 0\n",
       "test.lws:14: PivotPosition: \"1,5\" is not a number"},
      {"infinity is not a number", object + "PivotPosition inf 0 0\n",
       "test.lws:14: PivotPosition: \"inf\" is not a number"},
  };
  for (const Bad& c : cases) {
    const std::string error = readError(c.text);
    EXPECT_EQ(error.substr(0, c.error.size()), c.error) << c.what << "\n  got: " << error;
  }
}

// --- saving without a run ---

TEST(LwsWrite, LoadAndSaveGiveTheSameFile) {
  const std::string noFinalNewline = header(3) + "AddNullObject A\nShowObject 6 3";
  std::string crlf;
  for (const std::string& l : lines(rig(4))) crlf += l + "\r\n";
  const std::pair<const char*, std::string> files[] = {
      {"rig v3", rig(3)},
      {"rig v4", rig(4)},
      {"rig v8", rig(8)},
      {"CRLF", crlf},
      {"no final newline", noFinalNewline},
      {"odd numbers",
       header(3) + "AddNullObject A\nObjectMotion\nNumChannels 1\n" +
           envelope(0, {"2.9802322e-008 0 0 0 0 0 0 0 0", "-0.000 1 3 0 0 0 0 0 0"}) +
           "PivotPosition 1.50 0 0\n"},
  };
  for (const auto& [what, text] : files) {
    EXPECT_EQ(sceneToLws(read(text)), text) << what;
  }
}

TEST(LwsWrite, ScenesWithoutAFileAreWrittenAsVersion3) {
  const Scene original = sceneFromJson(R"({"time": 0.5, "items": [
      {"name": "Rig Root", "type": "object", "pivot": [0, 0.25, 0], "pivotRotation": [10, 0, 0]},
      {"name": "Spine", "type": "bone", "parent": "Rig Root", "rotation": [0, -90, 0],
       "restRotation": [0, -90, 0], "restLength": 0.5, "strength": 3},
      {"name": "Neck", "type": "bone", "parent": "Spine", "position": [0, 0, 0.5],
       "restPosition": [0, 0, 0.5], "restLength": 0.4, "active": false, "behaviors": [1, 2],
       "keys": [{"time": 0, "rotation": [0, 0, 0], "span": 0},
                {"time": 1, "rotation": [30, 0, 0], "span": 0, "params": [0.5, 0, 0, 0, 0, 0]}]},
      {"name": "Lamp", "type": "light", "parent": "Cam", "position": [-2, 2, -2]},
      {"name": "Cam", "type": "camera", "position": [0, 1, -5]},
      {"name": "Prop", "type": "object", "parent": "Neck"}]})");
  const std::string text = sceneToLws(original);
  EXPECT_EQ(text.substr(0, 8), "LWSC\n3\n\n");
  EXPECT_TRUE(hasLine(text, "CurrentFrame 15"));
  EXPECT_TRUE(hasLine(text, "ParentItem 40000000"));  // Neck under Spine
  EXPECT_TRUE(hasLine(text, "ParentItem 30000000"));  // the light under the camera
  EXPECT_TRUE(hasLine(text, "ParentItem 40010000"));  // Prop, object 1, under Neck
  EXPECT_TRUE(hasLine(text, "BoneRestDirection 0 -90 0"));
  EXPECT_TRUE(hasLine(text, "NumChannels 6"));

  const Scene loaded = read(text);
  ASSERT_EQ(loaded.itemCount(), original.itemCount());
  for (ItemId oid : original.allItems()) {
    const Item& a = *original.find(oid);
    const Item& b = named(loaded, a.name);
    SCOPED_TRACE(a.name);
    EXPECT_EQ(b.type, a.type);
    EXPECT_EQ(b.id, a.id);
    EXPECT_EQ(parentName(loaded, a.name), parentName(original, a.name));
    expectNear3(b.restRotation, a.restRotation, "rest", 1e-15);
    EXPECT_EQ(b.restRotation, a.restRotation);  // degrees written to read back exactly
    EXPECT_EQ(b.restPosition, a.restPosition);
    EXPECT_EQ(b.restLength, a.restLength);
    EXPECT_EQ(b.strength, a.strength);
    EXPECT_EQ(b.active, a.active);
    EXPECT_EQ(b.pivot, a.pivot);
    EXPECT_EQ(b.pivotRotation, a.pivotRotation);
    for (double t : {-1.0, 0.0, 0.25, 0.5, 1.0, 2.5}) {
      for (int which : {kPosition, kRotation, kScaling}) {
        expectNear3(loaded.param(b.id, which, t), original.param(a.id, which, t),
                    "param " + std::to_string(which) + " at " + std::to_string(t), 1e-15);
      }
    }
  }
  EXPECT_EQ(named(loaded, "Neck").keys[kHeading][1].params[0], 0.5);
  EXPECT_EQ(named(loaded, "Neck").behaviors[kHeading].post, kEndRepeat);
  // Written again, the file stays the same.
  EXPECT_EQ(sceneToLws(loaded), text);
}

// --- saving after changes ---

// Loads `text`, changes it, saves, and reads the result again.
struct Saved {
  std::string text;
  Scene scene;
};

Saved saveAndRead(const Scene& scene) {
  Saved s;
  s.text = sceneToLws(scene);
  s.scene = read(s.text);
  return s;
}

// Every line of `before` that a run should not touch is still in `after`.
void expectUntouchedLinesKept(const std::string& after) {
  for (const char* line :
       {"RenderRangeType 0", "FasterBones 1", "HController 0", "HController 1", "PController 1",
        "ShadowOptions 7", "Plugin MeshDeformerHandler 1 _Bones", "  ParentItem 99999999",
        "EndPlugin", "AmbientIntensity 0.25", "LightType 0", "ZoomFactor 3.2", "GraphEditorData",
        "{ GraphEd_Favorites", "CurrentLight 0"}) {
    EXPECT_TRUE(hasLine(after, line)) << line;
  }
}

standin::Answers percent(const std::string& value) {
  return standin::Answers{true, {{"PercentControl", value}}};
}

TEST(LwsWrite, BoneSplitInBothNumberings) {
  for (int version : {3, 4}) {
    SCOPED_TRACE("version " + std::to_string(version));
    testing_support::ToolHarness harness(read(rig(version)));
    const ItemId arm = harness.id("Arm");
    harness.select({"Arm"});
    const standin::RunRecord record = harness.run("BoneSplit", percent("40"));
    ASSERT_EQ(record.result, 0);
    const Saved saved = saveAndRead(harness.scene());
    const Scene& s = saved.scene;
    ASSERT_NE(s.findByName("Arm2"), 0u) << saved.text;
    EXPECT_EQ(s.findByName("Arm"), arm);
    EXPECT_EQ(parentName(s, "Arm"), "Spine");
    EXPECT_EQ(parentName(s, "Arm2"), "Arm");
    EXPECT_EQ(parentName(s, "Hand"), "Arm2");
    EXPECT_EQ(named(s, "Arm").restLength, 0.3);
    EXPECT_NEAR(named(s, "Arm2").restLength, 0.45, 1e-12);
    EXPECT_EQ(named(s, "Arm").restPosition, (Vec3{0, 0, 0.5}));
    EXPECT_EQ(named(s, "Arm2").restPosition, (Vec3{0, 0, 0.3}));
    EXPECT_NEAR(named(s, "Hand").restPosition[2], 0.45, 1e-12);
    EXPECT_NEAR(named(s, "Hand").position()[2], 0.45, 1e-12);  // its one key took the move
    // Arm keeps its keys: the heading's two keys and their behaviours.
    EXPECT_EQ(named(s, "Arm").keys[kHeading].size(), 2u);
    EXPECT_EQ(named(s, "Arm").behaviors[kHeading].post, kEndOffsetRepeat);
    // The run's result survives the file: tips where the harness had them.
    for (const char* name : {"Arm", "Arm2", "Hand", "Aim"}) {
      expectNear3(s.worldTip(named(s, name).id),
                  harness.scene().worldTip(harness.scene().findByName(name)), name, 1e-9);
    }
    // The new bone goes after the last bone's own lines, before the object's settings.
    EXPECT_LT(lineIndex(saved.text, "BoneName Arm2"), lineIndex(saved.text, "ShadowOptions 7"));
    EXPECT_GT(lineIndex(saved.text, "BoneName Arm2"), lineIndex(saved.text, "BoneName Aim"));
    EXPECT_LT(lineIndex(saved.text, "BoneName Arm"), lineIndex(saved.text, "BoneName Hand"));
    expectUntouchedLinesKept(saved.text);
    if (version == 3) {
      // Bones are numbered by their place: Arm keeps 1, the new one after Aim is 4.
      EXPECT_EQ(idText(named(s, "Arm").id), "40010000");
      EXPECT_EQ(idText(named(s, "Hand").id), "40020000");
      EXPECT_EQ(idText(named(s, "Arm2").id), "40040000");
      EXPECT_TRUE(hasLine(saved.text, "TargetItem 40020000"));  // Aim still aims at Hand
      EXPECT_TRUE(hasLine(saved.text, "ParentItem 40040000"));  // Hand under Arm2
      EXPECT_TRUE(hasLine(saved.text, "GoalObject 2"));
      EXPECT_TRUE(hasLine(saved.text, "CurrentObject 1"));
    } else {
      // Ids stay; the new bone takes a free number under its object.
      EXPECT_EQ(idText(named(s, "Arm").id), "40020002");
      EXPECT_EQ(idText(named(s, "Hand").id), "40030002");
      EXPECT_EQ(idText(named(s, "Arm2").id), "40060002");
      EXPECT_TRUE(hasLine(saved.text, "AddBone 40060002"));
      EXPECT_TRUE(hasLine(saved.text, "TargetItem 40030002"));
      EXPECT_TRUE(hasLine(saved.text, "ParentItem 40060002"));
    }
    // Saving the result again changes nothing.
    EXPECT_EQ(sceneToLws(s), saved.text);
  }
}

TEST(LwsWrite, BoneMergeInBothNumberings) {
  for (int version : {3, 4}) {
    SCOPED_TRACE("version " + std::to_string(version));
    testing_support::ToolHarness harness(read(rig(version)));
    harness.select({"Arm", "Hand"});
    const standin::RunRecord record = harness.run("BoneMerge");
    ASSERT_EQ(record.result, 0);
    const Scene& live = harness.scene();
    const Saved saved = saveAndRead(live);
    const Scene& s = saved.scene;
    EXPECT_EQ(s.itemCount(), live.itemCount());
    for (ItemId item : live.allItems()) {
      const Item& a = *live.find(item);
      SCOPED_TRACE(a.name);
      const Item& b = named(s, a.name);
      EXPECT_EQ(parentName(s, a.name), parentName(live, a.name));
      EXPECT_EQ(b.restPosition, a.restPosition);
      EXPECT_EQ(b.restLength, a.restLength);
      expectNear3(b.restRotation, a.restRotation, "rest", 1e-15);
      expectNear3(s.worldOrigin(b.id), live.worldOrigin(a.id), "origin", 1e-9);
      if (version >= 4) {
        EXPECT_EQ(b.id, a.id);
      }
    }
    // Arm stays as the merged bone, with its id; Hand is gone.
    EXPECT_EQ(s.findByName("Arm") == 0, false);
    EXPECT_EQ(s.findByName("Hand"), 0u);
    EXPECT_EQ(named(s, "Arm").keys[kHeading].size(), 2u);
    expectUntouchedLinesKept(saved.text);
  }
}

TEST(LwsWrite, BoneUnParentAndQuickParent) {
  for (int version : {3, 4}) {
    SCOPED_TRACE("version " + std::to_string(version));
    testing_support::ToolHarness harness(read(rig(version)));
    Answers unparent;
    unparent.values["ChoiceControl"] = "Unparent";
    harness.select({"Spine"});
    harness.run("BoneUnParent", unparent);
    harness.select({"Camera", "Goal Null"});
    const standin::RunRecord quick = harness.run("QuickParent");
    ASSERT_EQ(quick.result, 0);
    const Scene& live = harness.scene();
    const Saved saved = saveAndRead(live);
    for (ItemId item : live.allItems()) {
      const std::string& name = live.find(item)->name;
      EXPECT_EQ(parentName(saved.scene, name), parentName(live, name)) << name;
      expectNear3(saved.scene.worldOrigin(named(saved.scene, name).id), live.worldOrigin(item),
                  name, 1e-9);
    }
    EXPECT_EQ(parentName(saved.scene, "Goal Null"), "Camera");
    // The null had no ParentItem line: it gets one after its motion, before the blank line.
    const std::vector<std::string> all = lines(saved.text);
    EXPECT_EQ(std::count(all.begin(), all.end(), "ParentItem 30000000"), 2);
    expectUntouchedLinesKept(saved.text);
    EXPECT_EQ(sceneToLws(saved.scene), saved.text);
  }
}

TEST(LwsWrite, PasteKeyAddsTcbKeys) {
  for (int version : {3, 4}) {
    SCOPED_TRACE("version " + std::to_string(version));
    testing_support::ToolHarness harness(read(rig(version)));
    harness.select({"Aim"});
    harness.run("CopyKey");
    harness.scene().setTime(2);
    harness.select({"Hand"});
    harness.run("PasteKey");
    const Saved saved = saveAndRead(harness.scene());
    const Item& hand = named(saved.scene, "Hand");
    ASSERT_EQ(hand.keys[kHeading].size(), 2u);
    EXPECT_EQ(hand.keys[kHeading][1].time, 2);
    EXPECT_EQ(hand.keys[kHeading][1].span, kSpanTCB);
    EXPECT_NEAR(hand.keys[kHeading][1].value, 30 * kDeg, 1e-12);
    EXPECT_NEAR(hand.keys[kPosX][1].value, 0.25, 1e-12);
    EXPECT_EQ(hand.keys[kHeading][0].value, 0);  // the old key stays
    EXPECT_EQ(saved.scene.time(), 2);
    EXPECT_TRUE(hasLine(saved.text, "CurrentFrame 60"));
    // Only Hand's envelopes changed: Aim's lines are as they were.
    const std::string before = rig(version);
    std::size_t changed = 0;
    const std::vector<std::string> a = lines(before), b = lines(saved.text);
    for (const std::string& l : b) changed += hasLine(before, l) ? 0 : 1;
    EXPECT_EQ(changed, 9u + 1u) << saved.text;  // nine new Key lines and CurrentFrame
    EXPECT_EQ(b.size(), a.size() + 9);
    expectUntouchedLinesKept(saved.text);
  }
}

TEST(LwsWrite, RestValuesPivotsAndUnkeyedChanges) {
  Scene scene = read(rig(3));
  auto run = [&scene](const std::string& name, const std::string& command) {
    scene.select(scene.findByName(name));
    const CommandOutcome outcome = executeCommand(scene, command);
    ASSERT_TRUE(outcome.ok) << command << ": " << outcome.why;
  };
  run("Hand", "BoneRestRotation 12.5 0 -90");
  run("Hand", "BoneRestLength 0.3");
  run("Hand", "BoneActive");
  run("Hand", "PivotPosition 0 0.1 0");
  scene.setTime(1);
  run("Arm", "Rotation 45 0 0");     // Arm has a heading key at time 1: it takes the value
  run("Arm", "Position 0 0.2 0.5");  // y has one key (at 0): a static channel takes it too
  const Saved saved = saveAndRead(scene);
  const Item& hand = named(saved.scene, "Hand");
  EXPECT_EQ(hand.restRotation, (named(scene, "Hand").restRotation));
  EXPECT_EQ(hand.restLength, 0.3);
  EXPECT_TRUE(hand.active);
  EXPECT_EQ(hand.pivot, (Vec3{0, 0.1, 0}));
  EXPECT_TRUE(hasLine(saved.text, "BoneRestDirection 12.5 0 -90"));
  EXPECT_TRUE(hasLine(saved.text, "BoneActive 1"));
  EXPECT_TRUE(hasLine(saved.text, "BoneRestLength 0.3"));
  EXPECT_FALSE(hasLine(saved.text, "BoneActive 0"));
  EXPECT_LT(lineIndex(saved.text, "PivotPosition 0 0.1 0"),
            lineIndex(saved.text, "ParentItem 40010000"));
  const Item& arm = named(saved.scene, "Arm");
  EXPECT_EQ(arm.keys[kPosY][0].value, 0.2);
  ASSERT_EQ(arm.keys[kHeading].size(), 2u);
  EXPECT_NEAR(arm.keys[kHeading][1].value, 45 * kDeg, 1e-15);
  EXPECT_EQ(arm.keys[kHeading][0].value, 0);
  EXPECT_EQ(saved.scene.time(), 1);

  // Between keys a change that is not keyed is not saved, as in Layout.
  Scene between = read(rig(3));
  between.setTime(0.5);
  between.select(between.findByName("Arm"));
  ASSERT_TRUE(executeCommand(between, "Rotation 10 0 0").ok);
  const Scene reread = read(sceneToLws(between));
  const Item& kept = named(reread, "Arm");
  EXPECT_EQ(kept.keys[kHeading][1].value, named(between, "Arm").keys[kHeading][1].value);
  EXPECT_EQ(kept.keys[kHeading].size(), 2u);
}

TEST(LwsWrite, RemovingObjectsRenumbersWhatFollows) {
  // Object A goes; B and its bones move up in version 3, and references follow.
  const std::string text = header(3) +
                           "AddNullObject A\nAddNullObject B\nBoneFalloffType 5\n"
                           "AddBone\nBoneName Root\nParentItem 10000001\nAddNullObject Goal\n"
                           "GoalObject 3\nTargetItem 40000001\nCurrentObject 2\n";
  Scene scene = read(text);
  scene.remove(scene.findByName("A"));
  const std::string out = sceneToLws(scene);
  EXPECT_FALSE(hasLine(out, "AddNullObject A"));
  EXPECT_TRUE(hasLine(out, "ParentItem 10000000"));
  EXPECT_TRUE(hasLine(out, "GoalObject 2"));
  EXPECT_TRUE(hasLine(out, "TargetItem 40000000"));
  EXPECT_TRUE(hasLine(out, "CurrentObject 1"));
  const Scene again = read(out);
  EXPECT_EQ(parentName(again, "Root"), "B");

  // The last of a kind cannot be placed, nor can new objects, lights or cameras.
  Scene last = read(text);
  last.remove(last.findByName("Goal"));
  EXPECT_THROW(sceneToLws(last), SceneFileError);
  Scene added = read(text);
  added.addLight("New");
  EXPECT_THROW(sceneToLws(added), SceneFileError);
  Scene broken;
  broken.addObject("Two\nlines");
  EXPECT_THROW(sceneToLws(broken), SceneFileError);
}

TEST(LwsWrite, ChannelsAFileLeavesOutAreAddedWhenTheyHoldSomething) {
  const std::string text = header(3) + "AddNullObject A\nObjectMotion\nNumChannels 1\n" +
                           envelope(0, {"1 0 0 0 0 0 0 0 0"}) + "AddNullObject B\n";
  Scene scene = read(text);
  scene.setScale(scene.findByName("A"), {1, 2, 1});     // channel 7
  scene.setPosition(scene.findByName("B"), {0, 0, 4});  // B has no motion at all
  const Saved saved = saveAndRead(scene);
  EXPECT_EQ(named(saved.scene, "A").scale(), (Vec3{1, 2, 1}));
  EXPECT_EQ(named(saved.scene, "A").position()[0], 1);
  EXPECT_TRUE(hasLine(saved.text, "NumChannels 8"));
  EXPECT_EQ(named(saved.scene, "B").position(), (Vec3{0, 0, 4}));
  EXPECT_EQ(saved.scene.find(saved.scene.findByName("B"))->keys[kPosZ].size(), 1u);
}

TEST(LwsWrite, TheFirstBoneOfAnObjectGoesAfterItsBoneSettings) {
  const std::string text = header(4) + "AddNullObject 10000000 Rig\nShowObject 6 3\n" +
                           motion("ObjectMotion") +
                           "ShadowOptions 7\n\nAddNullObject 10000001 Other\n";
  Scene scene = read(text);
  const ItemId rig = scene.findByName("Rig");
  const ItemId root = scene.addBone(rig, rig, "Root");
  scene.addBone(rig, root, "Tip");
  const Saved saved = saveAndRead(scene);
  EXPECT_EQ(parentName(saved.scene, "Tip"), "Root");
  EXPECT_EQ(idText(named(saved.scene, "Root").id), "40000000");
  EXPECT_TRUE(hasLine(saved.text, "AddBone 40010000"));
  EXPECT_LT(lineIndex(saved.text, "BoneFalloffType 5"), lineIndex(saved.text, "AddBone 40000000"));
  EXPECT_LT(lineIndex(saved.text, "ParentItem 40000000"), lineIndex(saved.text, "ShadowOptions 7"));
}

// Lines inside an item's section that are about something else: the scene's settings, and
// an object's bone settings written after one of its bones. They are read as theirs, and
// they stay, or go, with what they are about.
TEST(LwsWrite, LinesAboutOthersGoWithWhatTheyAreAbout) {
  const std::string bone = "ShowBone 1 3\nBoneActive 1\nBoneRestLength 1\n";
  const std::string text = header(3) + "AddNullObject Source\nAddNullObject Rig\n" +
                           "AddBone\nBoneName Upper\n" + bone + "BoneFalloffType 3\n" +
                           "AddBone\nBoneName Lower\n" + bone + "CurrentFrame 12\n" +
                           "FramesPerSecond 24\nUseBonesFrom 10000000\n" +
                           "AddNullObject Plain\nShowObject 6 3\nUseBonesFrom 10000000\n";
  struct Case {
    const char* what;
    std::function<void(Scene&)> edit;
    int rigFalloff;  // the Rig's BoneFalloffType after saving and reading back
    bool rigUsesSource, plainUsesSource;
  };
  const Case cases[] = {
      {"nothing changed", [](Scene&) {}, 3, true, true},
      {"the bone before the object's setting goes",
       [](Scene& s) { s.remove(s.findByName("Upper")); }, 3, true, true},
      {"the last bone goes", [](Scene& s) { s.remove(s.findByName("Lower")); }, 3, true, true},
      {"both bones go",
       [](Scene& s) {
         s.remove(s.findByName("Upper"));
         s.remove(s.findByName("Lower"));
       },
       3, true, true},
      {"a first bone comes to an object whose last line is UseBonesFrom",
       [](Scene& s) { s.addBone(s.findByName("Plain"), s.findByName("Plain"), "New"); }, 3, true,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene = read(text);
    EXPECT_EQ(scene.time(), 0.5);
    c.edit(scene);
    const Saved saved = saveAndRead(scene);
    const Item& rig = named(saved.scene, "Rig");
    const ItemId source = saved.scene.findByName("Source");
    EXPECT_EQ(saved.scene.time(), 0.5);
    EXPECT_EQ(rig.boneSettings.falloffType, c.rigFalloff);
    EXPECT_EQ(rig.boneSettings.useBonesFrom == source, c.rigUsesSource);
    EXPECT_EQ(named(saved.scene, "Plain").boneSettings.useBonesFrom == source, c.plainUsesSource);
  }

  // The object goes with its settings, wherever they stand; the scene's stay.
  Scene scene = read(text);
  scene.remove(scene.findByName("Rig"));
  const std::string out = sceneToLws(scene);
  EXPECT_FALSE(hasLine(out, "BoneFalloffType 3"));
  EXPECT_TRUE(hasLine(out, "CurrentFrame 12"));
  EXPECT_EQ(read(out).time(), 0.5);
}

// A removed bone's IK, controllers, limits, goal and plug-ins go with it, and the save
// lists each; what merely describes it (its name, motion, rest values) is not listed.
TEST(LwsWrite, WhatARemovedBoneTakesWithItIsListed) {
  const std::string bone = "ShowBone 1 3\nBoneActive 1\nBoneRestLength 1\n";
  const std::string text =
      header(3) + "AddNullObject Rig\n" + "AddBone\nBoneName Thigh\n" + bone +
      "HController 0\nPController 1\nPLimits -2.4 0\nLockedChannels 0\n" +
      "AddBone\nBoneName Shin\n" + bone + "HController 1\nPController 1\nLockedChannels 4\n" +
      "GoalObject 2\nFullTimeIK 1\nPlugin ItemMotionHandler 1 LW_Expression\n{ Expr\n"
      "  \"Rig.Thigh.rot(Time).p\"\n}\nEndPlugin\nParentItem 40000000\n" +
      "AddNullObject Goal\nAddNullObject Other\n";
  struct Case {
    const char* removed;
    std::vector<std::string> listed;  // "item line: text"
  };
  const Case cases[] = {
      {"Shin",
       {"Shin 28: HController 1", "Shin 29: PController 1", "Shin 30: LockedChannels 4",
        "Shin 31: GoalObject 2", "Shin 32: FullTimeIK 1",
        "Shin 33: Plugin ItemMotionHandler 1 LW_Expression"}},
      {"Goal", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.removed);
    Scene scene = read(text);
    scene.remove(scene.findByName(c.removed));
    const LwsSaved saved = saveLws(scene);
    std::vector<std::string> listed;
    for (const LostSetup& setup : saved.lostSetup) {
      listed.push_back(setup.item + " " + std::to_string(setup.line) + ": " + setup.text);
    }
    EXPECT_EQ(listed, c.listed);
  }
}

// The lines a version-8 file writes for every item, with made-up values.
std::string v8Common(const std::string& parent) {
  return "IKInitCustomFrame 0\nGoalStrength 1\nIKFKBlending 0\nIKSoftMin 0.25\nIKSoftMax 0.75\n"
         "CtrlPosItemBlend 1\nCtrlRotItemBlend 1\nCtrlScaleItemBlend 1\n\n"
         "PathAlignLookAhead 0.033\nPathAlignMaxLookSteps 10\nPathAlignReliableDist 0.001\n"
         "PivotPosition 0 0 0\nPivotRotation 0 0 0\n" +
         (parent.empty() ? "" : "ParentItem " + parent + "\n") +
         "SplineFlags 0\nSplineFit 0\nIKInitialState 0\nUseIKChainValues 0\n";
}

TEST(LwsWrite, SplittingTheLastBoneOfAVersion8Object) {
  const std::string bone =
      "ShowBone 1 3\nBoneActive 1\nBoneRestDirection 0 -90 0\nBoneStrength 1\n"
      "ScaleBoneStrength 1\nBoneType 0\n";
  const std::string text =
      header(8) + "LoadObjectLayer 1 10000000 Weights.lwo\nChangeObject 0\nShowObject 7 3\n" +
      motion("ObjectMotion") + v8Common("") + "SubPatchLevel 3 3\nAPSDisplay\n{ APS\n  1\n}\n" +
      "BoneFalloffType 5\nFasterBones 1\nBoneMode 2\nNumLimitedBones 4\n" +
      "AddBone 40000000\nBoneName Lower\nBoneRestPosition 0 0 0\nBoneRestLength 0.5\n" + bone +
      motion("BoneMotion", {"", "", "", "", "-1.5707963705062866211"}) + v8Common("10000000") +
      "AddBone 40010000\nBoneName Upper\nBoneRestPosition 0 0 0.5\nBoneRestLength 0.5\n" + bone +
      motion("BoneMotion", {"", "", "0.5"}) + v8Common("40000000") +
      "Plugin MeshDeformerHandler 2 _Bones\nEndPlugin\nPluginEnabled 0\nShadowOptions 7\n";
  EXPECT_EQ(sceneToLws(read(text)), text);

  testing_support::ToolHarness harness(read(text));
  harness.select({"Upper"});
  ASSERT_EQ(harness.run("BoneSplit", percent("50")).result, 0);
  const Saved saved = saveAndRead(harness.scene());
  EXPECT_EQ(idText(named(saved.scene, "Upper").id), "40010000");
  EXPECT_EQ(parentName(saved.scene, "Upper"), "Lower");
  EXPECT_EQ(parentName(saved.scene, "Upper2"), "Upper");
  EXPECT_EQ(idText(named(saved.scene, "Upper2").id), "40020000");
  expectNear3(saved.scene.worldTip(named(saved.scene, "Upper2").id), {0, 1, 0}, "tip", 1e-6);
  // Upper keeps its lines; the new bone follows them, before the object's deformer.
  const std::vector<std::string> all = lines(saved.text);
  const std::size_t plugin = lineIndex(saved.text, "Plugin MeshDeformerHandler 2 _Bones");
  ASSERT_LT(plugin, all.size());
  // New bones get the lines every item of the file has, after ParentItem too.
  EXPECT_EQ(all[plugin - 1], "UseIKChainValues 0");
  EXPECT_EQ(all[plugin - 5], "ParentItem 40010000");
  EXPECT_EQ(all[plugin - 6], "PivotRotation 0 0 0");
  EXPECT_EQ(all[plugin - 7], "PivotPosition 0 0 0");
  EXPECT_EQ(std::count(all.begin(), all.end(), "BoneType 0"), 3);
  // The object, Lower, Upper and the new bone.
  EXPECT_EQ(std::count(all.begin(), all.end(), "UseIKChainValues 0"), 4);
  EXPECT_EQ(std::count(all.begin(), all.end(), "IKSoftMin 0.25"), 4);
  EXPECT_TRUE(hasLine(saved.text, "AddBone 40020000"));
  EXPECT_EQ(all.back(), "ShadowOptions 7");
}

// --- files and the runner ---

using LwsFiles = testing_support::FolderTest;
using testing_support::readFile;

TEST_F(LwsFiles, LoadAndSaveByExtension) {
  write("rig.LWS", rig(5));
  const Scene scene = loadSceneFile(path("rig.LWS"));
  EXPECT_EQ(sceneFileText(scene, "x.lws"), rig(5));
  saveSceneFile(scene, path("copy.lws"));
  EXPECT_EQ(readFile(path("copy.lws")), rig(5));
  saveSceneFile(scene, path("copy.json"));
  EXPECT_EQ(loadSceneFile(path("copy.json")).itemCount(), scene.itemCount());

  write("bad.lws", header(3) + "AddNullObject A\nParentItem 1000000f\n");
  try {
    loadSceneFile(path("bad.lws"));
    ADD_FAILURE() << "loaded";
  } catch (const SceneFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              path("bad.lws") + ":14: ParentItem 1000000f names no item of this file");
  }
}

// The README's example: examples/arm.lws, its arm split at 40%.
TEST_F(LwsFiles, TheReadmeExample) {
  const std::string file = std::string(VORRIK_EXAMPLES_DIR) + "/arm.lws";
  const std::string original = readFile(file);
  testing_support::ToolHarness harness(loadSceneFile(file));
  EXPECT_EQ(sceneToLws(harness.scene()), original);
  harness.select({"Arm"});
  ASSERT_EQ(harness.run("BoneSplit", percent("40")).result, 0);
  const std::string text = sceneToLws(harness.scene());
  for (const char* line : {"BoneRestPosition 0 0 0.36", "  Key 0.36 0 0 0 0 0 0 0 0",
                           "ParentItem 40030000", "BoneName Arm2", "BoneRestLength 0.24"}) {
    EXPECT_TRUE(hasLine(text, line)) << line;
  }
  // Arm keeps its place and number; the new bone follows Hand.
  EXPECT_LT(lineIndex(text, "BoneName Arm"), lineIndex(text, "BoneName Hand"));
  EXPECT_LT(lineIndex(text, "BoneName Hand"), lineIndex(text, "BoneName Arm2"));
  EXPECT_EQ(lines(text)[lineIndex(text, "ShadowOptions 7") - 1], "ParentItem 40010000");
}

int runVorrik(const std::string& arguments, const std::string& errFile) {
  const std::string command =
      std::string("'") + VORRIK_RUNNER_PATH + "' " + arguments + " >/dev/null 2>'" + errFile + "'";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(LwsFiles, TheRunnerReadsRunsAndWrites) {
  write("rig.lws", rig(3));
  EXPECT_EQ(runVorrik("run BoneSplit percent=50 --scene " + path("rig.lws") +
                          " --select Arm --out " + path("out.lws"),
                      path("err.txt")),
            0)
      << readFile(path("err.txt"));
  const Scene out = loadSceneFile(path("out.lws"));
  EXPECT_EQ(parentName(out, "Hand"), "Arm2");

  write("broken.lws", header(3) +
                          "AddNullObject A\nObjectMotion\nNumChannels 1\nChannel 0\n"
                          "{ Envelope\n  1\n  Key 1 2 3\n}\n");
  EXPECT_EQ(runVorrik("run QuickParent --scene " + path("broken.lws") + " --out " + path("no.lws"),
                      path("err.txt")),
            2);
  EXPECT_NE(readFile(path("err.txt")).find(path("broken.lws") + ":19: a Key line needs 9 numbers"),
            std::string::npos)
      << readFile(path("err.txt"));
  EXPECT_FALSE(std::filesystem::exists(path("no.lws")));
}

}  // namespace
}  // namespace standin
