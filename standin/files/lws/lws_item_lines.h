// The lines of an item as Layout writes them, for the .lws writer's parts: motion blocks,
// bone values, whole new bones, and the ids a file gives items. Internal to lws_*.cpp.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "standin/files/lws/lws_document.h"
#include "standin/scene/scene.h"

namespace standin {
namespace lws {

using Lines = std::vector<std::string>;

// Throws SceneFileError: "cannot write the scene as .lws: why".
[[noreturn]] void refuse(const std::string& why);

// Frames are written as whole numbers; a time whose frame a 64-bit count cannot hold is
// refused rather than wrapped.
long long wholeFrame(double frames, const char* what, double seconds);
// The scene time as a whole frame: a .lws file holds no time between frames, and rounding
// would change the time without a word.
long long currentFrame(double seconds, double framesPerSecond);

const char* motionKeyword(ItemType type);
// Layout writes cameras without scale channels.
int channelCount(ItemType type);
double channelDefault(int channel);

std::string vec3Text(const Vec3& v);
std::string degreesText(const Vec3& radians);
std::string keyText(const Key& k);

// The keys a channel is saved with. A change made by a command but not keyed goes where
// Layout's auto key would put it: into the key at the current time, or into the only key
// of a channel that holds one; otherwise it is not saved, as in Layout. A channel without
// keys gets one at time 0 holding its value (Layout keeps at least one), unless
// `mayBeEmpty` and the value is the one a missing channel reads as.
std::vector<Key> keysToWrite(const Scene& scene, const Item& item, int c, bool mayBeEmpty);
void appendEnvelope(Lines& out, int channel, const std::vector<Key>& keys,
                    ChannelBehaviors behaviors);
void appendMotion(Lines& out, const Scene& scene, const Item& item);

// Refuses a name a line cannot hold (a line break in it).
void checkName(const std::string& name);
// Refuses a bone whose rest scale is not 1: no .lws line holds it, and it would be lost.
void checkRestScale(const Item& bone);

// One of a bone's deformation lines, after the rest length, in the order Layout writes them.
struct DeformationLine {
  std::size_t setting;  // its row of kBoneSettings, and of LwsItem::settingLines
  bool written;         // whether the bone's settings call for the line
  std::string text;
};

// The lines of the bone settings table that go after the rest length, each with whether the
// settings call for it (bone_settings.h says when). `bone` is an Item or, for what a file
// held, an LwsItem.
template <class H>
std::vector<DeformationLine> deformationLines(const H& bone);

// Ids as the file writes them: version 3 numbers items by their order in the file, later
// versions keep the scene's ids.
class IdMap {
public:
  void add(ItemId sceneId, ItemId fileId) { ids_[sceneId] = fileId; }
  ItemId operator()(ItemId sceneId) const {
    const auto at = ids_.find(sceneId);
    return at == ids_.end() ? sceneId : at->second;
  }
  const std::unordered_map<ItemId, ItemId>& all() const { return ids_; }

private:
  std::unordered_map<ItemId, ItemId> ids_;
};

struct Context {
  explicit Context(const Scene& s) : scene(s) {}
  const Scene& scene;
  int version = 3;
  bool upperHex = true;
  IdMap ids;
  std::unordered_map<ItemId, long long> objectOrdinal, lightOrdinal, cameraOrdinal;

  std::string hex(ItemId sceneId) const;
  std::string parentLine(const Item& item) const { return "ParentItem " + hex(item.parent); }
};

// Lines that version 5 and later files write for every item, beside its motion, with the
// values a new item gets. A new bone gets those that the file's other items have.
struct PerItemLines {
  Lines beforeParent, afterParent;
};

// An object's settings for all of its bones, written before its first bone: the falloff
// always, the others when they differ from what a scene without them means.
Lines objectBoneLines(const Item& object);

// The lines of a bone the file does not have yet, as Layout writes bones.
Lines newBone(const Context& cx, const Item& bone, const PerItemLines* perItem = nullptr);

}  // namespace lws
}  // namespace standin
