// What the .lws reader keeps of a file for the writer: every line as read, and where each
// item's interpreted lines are, with the values they held. Internal to lws_*.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "standin/scene/bone_settings.h"
#include "standin/scene/scene.h"

namespace standin {

constexpr std::size_t kNoLine = static_cast<std::size_t>(-1);

template <std::size_t N>
constexpr std::array<std::size_t, N> noLines() {
  std::array<std::size_t, N> lines{};
  for (std::size_t& line : lines) line = kNoLine;
  return lines;
}

struct LwsChannel {
  int index = 0;
  std::size_t channelLine = kNoLine;  // "Channel i"
  std::size_t openLine = kNoLine;     // "{ Envelope"
  std::size_t countLine = kNoLine;
  std::size_t closeLine = kNoLine;
  std::vector<std::size_t> keyLines;
  std::size_t behaviorsLine = kNoLine;
  std::vector<Key> keys;
  ChannelBehaviors behaviors;
};

// One item as read. Values are those the scene got from the file (defaults where a line
// is absent), so that the writer can tell what a run changed.
struct LwsItem {
  ItemId id = 0;  // the scene's id for it
  ItemType type = ItemType::Object;
  ItemId owner = 0;  // bones
  std::string name;  // as the scene read it
  std::size_t declLine = kNoLine;
  std::size_t end = kNoLine;      // one past the last line before the next declaration
  std::size_t lastOwn = kNoLine;  // last line known to be the item's own
  // Lines in the item's section about something else, which stay when the item goes: the
  // scene's settings, and in a bone's section its object's bone settings.
  std::vector<std::size_t> sceneLines, objectLines;
  std::size_t showLine = kNoLine;
  std::size_t nameLine = kNoLine;

  std::size_t motionLine = kNoLine;
  std::size_t numChannelsLine = kNoLine;
  int numChannels = 0;
  std::vector<LwsChannel> channels;  // in file order

  std::size_t parentLine = kNoLine;
  ItemId parent = 0;  // as resolved: for bones the owner when the line is absent
  std::size_t pivotLine = kNoLine, pivotRotationLine = kNoLine;
  Vec3 pivot{0, 0, 0}, pivotRotation{0, 0, 0};
  std::size_t targetLine = kNoLine;
  ItemId target = 0;  // 0: not understood, kept as written
  std::size_t goalLine = kNoLine;
  ItemId goal = 0;  // 0: not understood, kept as written

  // Bones.
  std::size_t restPositionLine = kNoLine, restDirectionLine = kNoLine, restLengthLine = kNoLine;
  bool active = false;
  Vec3 restPosition{0, 0, 0}, restRotation{0, 0, 0};
  double restLength = 1, strength = 1;
  bool scaleStrength = false;
  // The line of each row of kBoneSettings; those Layout writes only when a setting is on
  // may be absent.
  std::array<std::size_t, kBoneSettingCount> settingLines = noLines<kBoneSettingCount>();
  BoneDeformation deformation;
  int boneType = kBoneTypeZAxis;

  // Objects: the last of the object-level bone settings before the first bone, and their
  // values (UseBonesFrom as the id written; resolved when the scene is built).
  std::size_t boneSettingsLine = kNoLine;
  ObjectBoneSettings boneSettings;
  ItemId useBonesFromWritten = 0;
  // Objects loaded from a file: the path as written and the layer (LoadObject gives none).
  std::string objectFile;
  int objectLayer = 1;
  bool objectLayerGiven = false;
};

struct LwsDocument {
  int version = 3;
  bool finalNewline = true;
  // Per line, the carriage returns before its line feed: each line keeps its own ending.
  std::vector<std::uint32_t> carriageReturns;
  bool upperHex = true;            // the case of the file's hex ids, for lines written anew
  std::vector<std::string> lines;  // without line ends ("\r"* "\n")
  std::vector<LwsItem> items;      // in file order
  // Plug-in sections: the Plugin line and its EndPlugin line, in file order.
  std::vector<std::pair<std::size_t, std::size_t>> plugins;
  std::unordered_map<ItemId, std::size_t> byId;

  double framesPerSecond = 30;
  std::size_t currentFrameLine = kNoLine;
  double time = 0;  // the scene time read
  // CurrentObject / CurrentLight / CurrentCamera: the item each names (0: none understood).
  std::size_t currentLines[3] = {kNoLine, kNoLine, kNoLine};
  ItemId currentItems[3] = {0, 0, 0};
  long long currentOrdinals[3] = {0, 0, 0};
};

}  // namespace standin
