// .lws scene files: reading, refusing bad files, and saving unchanged.
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

#include "lws_scenes.h"
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

using namespace lws_test;

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

}  // namespace
}  // namespace standin
