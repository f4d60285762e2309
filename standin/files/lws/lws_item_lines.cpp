#include "standin/files/lws/lws_item_lines.h"

#include <algorithm>
#include <cmath>

#include "standin/files/base/scene_file_error.h"
#include "standin/files/lws/lws_text.h"
#include "standin/scene/envelope.h"
#include "standin/scene/key_time.h"

namespace standin {
namespace lws {

[[noreturn]] void refuse(const std::string& why) {
  throw SceneFileError("cannot write the scene as .lws: " + why);
}

long long wholeFrame(double frames, const char* what, double seconds) {
  constexpr double kLimit = 9.0e18;
  if (!(std::fabs(frames) < kLimit)) {
    refuse(std::string(what) + " " + number(seconds) + " s is too far from 0 to be a frame");
  }
  return std::llround(frames);
}

long long currentFrame(double seconds, double framesPerSecond) {
  const double frames = seconds * framesPerSecond;
  const long long frame = wholeFrame(frames, "the scene time", seconds);
  if (std::fabs(frames - static_cast<double>(frame)) > 1e-6 * std::max(1.0, std::fabs(frames))) {
    refuse("the scene time " + number(seconds) + " s is frame " + number(frames) + " at " +
           number(framesPerSecond) + " frames per second; the file holds whole frames only");
  }
  return frame;
}

const char* motionKeyword(ItemType type) {
  switch (type) {
    case ItemType::Object: return "ObjectMotion";
    case ItemType::Light: return "LightMotion";
    case ItemType::Camera: return "CameraMotion";
    case ItemType::Bone: break;
  }
  return "BoneMotion";
}

int channelCount(ItemType type) { return type == ItemType::Camera ? 6 : 9; }

double channelDefault(int channel) { return channel >= kScaleX ? 1 : 0; }

std::string vec3Text(const Vec3& v) {
  return number(v[0]) + " " + number(v[1]) + " " + number(v[2]);
}

std::string degreesText(const Vec3& radians) {
  return degrees(radians[0]) + " " + degrees(radians[1]) + " " + degrees(radians[2]);
}

std::string keyText(const Key& k) {
  std::string text = "Key " + number(k.value) + " " + number(k.time) + " " + std::to_string(k.span);
  for (double p : k.params) text += " " + number(p);
  return text;
}

std::vector<Key> keysToWrite(const Scene& scene, const Item& item, int c, bool mayBeEmpty) {
  std::vector<Key> keys = item.keys[static_cast<std::size_t>(c)];
  const double now = item.current[static_cast<std::size_t>(c)];
  if (keys.empty()) {
    if (mayBeEmpty && now == channelDefault(c)) return keys;
    Key k{0, now};
    k.span = kSpanTCB;  // as Layout writes a lone key
    keys.push_back(k);
    return keys;
  }
  const double keyed =
      evaluateChannel(keys, item.behaviors[static_cast<std::size_t>(c)], scene.time());
  if (keyed == now) return keys;
  const std::size_t at = keyAt(keys, scene.time());
  if (at != keys.size()) {
    keys[at].value = now;
  } else if (keys.size() == 1) {
    keys[0].value = now;
  }
  return keys;
}

void appendEnvelope(Lines& out, int channel, const std::vector<Key>& keys,
                    ChannelBehaviors behaviors) {
  out.push_back("Channel " + std::to_string(channel));
  out.push_back("{ Envelope");
  out.push_back("  " + std::to_string(keys.size()));
  for (const Key& k : keys) out.push_back("  " + keyText(k));
  out.push_back("  Behaviors " + std::to_string(behaviors.pre) + " " +
                std::to_string(behaviors.post));
  out.push_back("}");
}

void appendMotion(Lines& out, const Scene& scene, const Item& item) {
  out.push_back(motionKeyword(item.type));
  const int count = channelCount(item.type);
  out.push_back("NumChannels " + std::to_string(count));
  for (int c = 0; c < count; ++c) {
    appendEnvelope(out, c, keysToWrite(scene, item, c, false),
                   item.behaviors[static_cast<std::size_t>(c)]);
  }
}

void checkName(const std::string& name) {
  if (name.find_first_of("\r\n") != std::string::npos) {
    refuse("the name \"" + name.substr(0, name.find_first_of("\r\n")) + "...\" holds a line break");
  }
}

template <class H>
std::vector<DeformationLine> deformationLines(const H& bone) {
  const BoneDeformation& d = bone.deformation;
  const bool mapped = !d.weightMap.empty();
  std::vector<DeformationLine> lines;
  for (const BoneSetting& s : kBoneSettings) {
    if (s.lwsWhen == LwsWhen::None || s.lwsWhen == LwsWhen::Apart) continue;
    bool written = true;
    // Without a map Layout writes none of the map lines; one that a file gave anyway is kept.
    if (s.lwsWhen == LwsWhen::WithMap) written = mapped || !isNewBone(s, bone);
    if (s.lwsWhen == LwsWhen::WhenOn) {
      written = s.kind == BoneSettingKind::Number ? d.*s.writtenWith : flagOf(s, bone);
    }
    std::string value;
    switch (s.kind) {
      case BoneSettingKind::Name:
        value = d.*s.name;
        if (!value.empty()) checkName(value);
        break;
      case BoneSettingKind::Flag: value = flagOf(s, bone) ? "1" : "0"; break;
      case BoneSettingKind::Number:
      case BoneSettingKind::FlagAmount: value = number(numberOf(s, bone)); break;
      case BoneSettingKind::AmountPair: break;
    }
    lines.push_back({boneSettingIndex(s), written, std::string(s.lws) + " " + value});
  }
  return lines;
}

template std::vector<DeformationLine> deformationLines(const Item&);
template std::vector<DeformationLine> deformationLines(const LwsItem&);

Lines objectBoneLines(const Item& object) {
  const ObjectBoneSettings& s = object.boneSettings;
  Lines out{"BoneFalloffType " + std::to_string(s.falloffType)};
  if (s.fasterBones) out.push_back("FasterBones 1");
  if (s.boneMode >= 0) out.push_back("BoneMode " + std::to_string(s.boneMode));
  if (s.boneMode >= 0 || s.numLimitedBones != ObjectBoneSettings{}.numLimitedBones) {
    out.push_back("NumLimitedBones " + std::to_string(s.numLimitedBones));
  }
  return out;
}

Lines newBone(const Context& cx, const Item& bone, const PerItemLines* perItem) {
  checkName(bone.name);
  checkRestScale(bone);
  Lines out;
  // From version 4 on the id is written as it is; an id outside the bone form (its object's
  // own id leaves no bone numbers) would not read back as a bone.
  if (cx.version >= 4 && (cx.ids(bone.id) >> 28) != 4) {
    refuse("the new bone \"" + bone.name + "\" has no id a version " + std::to_string(cx.version) +
           " scene can hold (its object's id numbers no bones)");
  }
  out.push_back(cx.version >= 4 ? "AddBone " + cx.hex(bone.id) : "AddBone");
  out.push_back("BoneName " + bone.name);
  out.push_back("ShowBone 1 3");
  out.push_back(std::string("BoneActive ") + (bone.active ? "1" : "0"));
  out.push_back("BoneRestPosition " + vec3Text(bone.restPosition));
  out.push_back("BoneRestDirection " + degreesText(bone.restRotation));
  out.push_back("BoneRestLength " + number(bone.restLength));
  for (const DeformationLine& line : deformationLines(bone)) {
    if (line.written) out.push_back(line.text);
  }
  if (cx.version >= 8 || bone.boneType != kBoneTypeZAxis) {
    out.push_back("BoneType " + std::to_string(bone.boneType));
  }
  appendMotion(out, cx.scene, bone);
  // Version 8 writes both pivot lines for every item; older files only when set.
  const bool always = cx.version >= 8;
  if (perItem) out.insert(out.end(), perItem->beforeParent.begin(), perItem->beforeParent.end());
  if (always || bone.pivot != Vec3{0, 0, 0}) out.push_back("PivotPosition " + vec3Text(bone.pivot));
  if (always || bone.pivotRotation != Vec3{0, 0, 0}) {
    out.push_back("PivotRotation " + degreesText(bone.pivotRotation));
  }
  out.push_back(cx.parentLine(bone));
  if (perItem) out.insert(out.end(), perItem->afterParent.begin(), perItem->afterParent.end());
  return out;
}

void checkRestScale(const Item& bone) {
  if (bone.restScale != Vec3{1, 1, 1}) {
    refuse("the bone \"" + bone.name + "\" has the rest scale " + vec3Text(bone.restScale) +
           ", which no line of a .lws file holds");
  }
}

std::string Context::hex(ItemId sceneId) const { return hexId(ids(sceneId), upperHex); }

}  // namespace lws
}  // namespace standin
