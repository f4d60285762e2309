// Keys as Layout keeps them, on a scene written the way Layout writes it (version 3, CRLF,
// 25 fps, frame 15 stored as 0.60000002): CreateKey, DeleteKey, Auto Key and saving find the
// key at a time within the key-time tolerance, and after DeleteKey an item shows what its
// remaining keys give.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "standin/files/lws/lws_reader.h"
#include "standin/files/lws/lws_writer.h"
#include "standin/layout/commands.h"
#include "standin/scene/auto_key.h"
#include "standin/scene/channel_keys.h"
#include "standin/scene/key_time.h"

namespace standin {
namespace {

// Null N: Position.X keyed 1 at frame 0 and 2 at frame 15, linear; the other channels keyed
// alike with constant values.
std::string layoutScene(int currentFrame) {
  std::string text = "LWSC\r\n3\r\n\r\nFirstFrame 1\r\nLastFrame 30\r\nCurrentFrame " +
                     std::to_string(currentFrame) +
                     "\r\nFramesPerSecond 25\r\n\r\nAddNullObject N\r\nShowObject 6 3\r\n"
                     "ObjectMotion\r\nNumChannels 9\r\n";
  for (int c = 0; c < 9; ++c) {
    const std::string first = c == 0 ? "1" : c >= 6 ? "1" : "0";
    const std::string second = c == 0 ? "2" : c >= 6 ? "1" : "0";
    text += "Channel " + std::to_string(c) + "\r\n{ Envelope\r\n  2\r\n  Key " + first +
            " 0 3 0 0 0 0 0 0\r\n  Key " + second + " 0.60000002 3 0 0 0 0 0 0\r\n" +
            "  Behaviors 1 1\r\n}\r\n";
  }
  return text + "ShadowOptions 7\r\n";
}

// The Key lines of Position.X in `text`, without their line ending.
std::vector<std::string> positionXKeys(const std::string& text) {
  std::vector<std::string> keys;
  std::istringstream in(text);
  bool inChannel = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("Channel ", 0) == 0) inChannel = line == "Channel 0";
    if (inChannel && line.rfind("  Key ", 0) == 0) keys.push_back(line);
  }
  return keys;
}

constexpr ItemId kN = 0x10000000;
const double kTimes[] = {0, 0.3, 0.6, 0.60000002, 0.9};

TEST(LayoutKeys, CommandsFindTheKeyLayoutWroteAndLeaveWhatTheKeysGive) {
  struct Case {
    const char* what;
    int frame;
    std::vector<std::string> commands;
    std::function<void(Scene&)> then;  // after the commands, before saving
    double now;                        // Position.X at the current time afterwards
    bool unkeyed;                      // ... a change that no key holds
    std::vector<double> values;        // ... at kTimes, in the saved file read back
    std::vector<std::string> keys;     // its Key lines in the saved file
  };
  const std::string first = "  Key 1 0 3 0 0 0 0 0 0";
  const std::string second = "  Key 2 0.60000002 3 0 0 0 0 0 0";
  const auto nothing = [](Scene&) {};
  const Case cases[] = {
      {"DeleteKey at the first key: the key that stays keeps its own value",
       0,
       {"DeleteKey 0"},
       nothing,
       2,
       false,
       {2, 2, 2, 2, 2},
       {second}},
      {"a change no key holds goes with the deleted key",
       8,
       {"Position 5 0 0", "DeleteKey 0"},
       nothing,
       2,
       false,
       {2, 2, 2, 2, 2},
       {second}},
      {"DeleteKey 0.6 deletes the key written 0.60000002",
       0,
       {"DeleteKey 0.6"},
       nothing,
       1,
       false,
       {1, 1, 1, 1, 1},
       {first}},
      {"DeleteKey where there is no key deletes nothing and keeps the change",
       8,
       {"Position 5 0 0", "DeleteKey 0.5"},
       nothing,
       5,
       true,
       {1, 1.5, 2, 2, 2},
       {first, second}},
      {"CreateKey 0.6 gives the key written 0.60000002 the new value",
       15,
       {"Position 3 0 0", "CreateKey 0.6"},
       nothing,
       3,
       false,
       {1, 2, 3, 3, 3},
       {first, "  Key 3 0.60000002 3 0 0 0 0 0 0"}},
      {"a change at frame 15 is saved in the key written 0.60000002",
       15,
       {"Position 4 0 0"},
       nothing,
       4,
       false,
       {1, 2.5, 4, 4, 4},
       {first, "  Key 4 0.60000002 3 0 0 0 0 0 0"}},
      {"Auto Key at frame 15 makes no key beside the one there, which holds the change",
       15,
       {"Position 4 0 0"},
       [](Scene& s) {
         s.autoKeyCreate = kAutoKeyModified;
         EXPECT_EQ(keyAutoCreated(s), 0u);
       },
       4,
       false,
       {1, 2.5, 4, 4, 4},
       {first, "  Key 4 0.60000002 3 0 0 0 0 0 0"}},
      {"frame 15 without a change: the file stays as it was",
       15,
       {},
       nothing,
       2,
       false,
       {1, 1.5, 2, 2, 2},
       {first, second}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string original = layoutScene(c.frame);
    Scene scene = sceneFromLws(original, "layout.lws");
    scene.select(kN);
    for (const std::string& command : c.commands) {
      EXPECT_TRUE(executeCommand(scene, command).ok) << command;
    }
    c.then(scene);
    EXPECT_EQ(scene.find(kN)->current[kPosX], c.now);
    // A change at a key's time is held by that key, whatever the rounding of either time.
    EXPECT_EQ(changeNotKeyed(scene, *scene.find(kN), kPosX), c.unkeyed);
    const std::string saved = saveLws(scene).text;
    EXPECT_EQ(positionXKeys(saved), c.keys);
    if (c.commands.empty()) {
      EXPECT_EQ(saved, original);
    }
    const Scene back = sceneFromLws(saved, "layout.lws");
    for (std::size_t i = 0; i < std::size(kTimes); ++i) {
      EXPECT_NEAR(back.param(kN, kPosition, kTimes[i])[0], c.values[i], 1e-7) << kTimes[i];
    }
  }
}

TEST(LayoutKeys, ATimeIsAKeysTimeWithinTheTolerance) {
  struct Case {
    double a, b;
    bool same;
  };
  const Case cases[] = {
      {0.6, 0.60000002, true},              // frame 15 at 25 fps, as a float
      {1.2333333333333334, 1.23333, true},  // frame 37 at 30 fps, as "%g" sends it
      {0, 2.9802322e-08, true},             // a float's rounding near frame 0
      {0.6, 0.60002, false},                // twenty microseconds: another time
      {1000, 1000.005, true},               // "%g" sends 1000 for 1000.005 s
      {1000, 1000.02, false},
      {-0.6, -0.60000002, true},  // before frame 0 alike
      {0.015, 0.01502, false},    // a fiftieth of a frame at 1000 fps stays apart
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sameKeyTime(c.a, c.b), c.same) << c.a << " " << c.b;
    EXPECT_EQ(sameKeyTime(c.b, c.a), c.same) << c.b << " " << c.a;
  }
  // Of two keys within reach, the nearer is the key at that time.
  const std::vector<Key> keys{{0.5, 1}, {0.6, 2}, {0.60000002, 3}, {0.7, 4}};
  EXPECT_EQ(keyAt(keys, 0.600000015), 2u);
  EXPECT_EQ(keyAt(keys, 0.6000000001), 1u);
  EXPECT_EQ(keyAt(keys, 0.65), keys.size());
  EXPECT_EQ(keysAt(keys.data(), keys.size(), 0.6), (std::pair<std::size_t, std::size_t>{1, 3}));
}

// The channel edits a module makes through the envelope functions match keys the same way.
TEST(LayoutKeys, ChannelEditsFindTheKeyLayoutWrote) {
  Scene scene = sceneFromLws(layoutScene(0), "layout.lws");
  std::string why;
  EXPECT_EQ(shownKey(*scene.find(kN), kPosX, 0.6)->time, 0.60000002);
  EXPECT_TRUE(createKeyAt(scene, kN, kPosX, 0.6, 7, &why)) << why;
  EXPECT_EQ(scene.find(kN)->keys[kPosX].size(), 2u);
  EXPECT_EQ(scene.find(kN)->keys[kPosX][1].time, 0.60000002);
  EXPECT_TRUE(setKeyValue(scene, kN, kPosX, 0.6, 8, &why)) << why;
  EXPECT_EQ(scene.find(kN)->keys[kPosX][1].value, 8.0);
  EXPECT_FALSE(destroyKeyAt(scene, kN, kPosX, 0.5, &why));
  EXPECT_TRUE(destroyKeyAt(scene, kN, kPosX, 0.6, &why)) << why;
  EXPECT_EQ(scene.find(kN)->keys[kPosX].size(), 1u);
}

}  // namespace
}  // namespace standin
