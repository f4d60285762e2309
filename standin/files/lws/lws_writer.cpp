#include "standin/files/lws/lws_writer.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "standin/files/base/scene_file_error.h"
#include "standin/files/lws/lws_document.h"
#include "standin/files/lws/lws_kept_text.h"
#include "standin/files/lws/lws_text.h"
#include "standin/scene/envelope.h"

namespace standin {
namespace {

using Lines = std::vector<std::string>;

[[noreturn]] void refuse(const std::string& why) {
  throw SceneFileError("cannot write the scene as .lws: " + why);
}

// Frames are written as whole numbers; a time whose frame a 64-bit count cannot hold is
// refused rather than wrapped.
long long wholeFrame(double frames, const char* what, double seconds) {
  constexpr double kLimit = 9.0e18;
  if (!(std::fabs(frames) < kLimit)) {
    refuse(std::string(what) + " " + lws::number(seconds) + " s is too far from 0 to be a frame");
  }
  return std::llround(frames);
}

// The scene time as a whole frame: a .lws file holds no time between frames, and rounding
// would change the time without a word.
long long currentFrame(double seconds, double framesPerSecond) {
  const double frames = seconds * framesPerSecond;
  const long long frame = wholeFrame(frames, "the scene time", seconds);
  if (std::fabs(frames - static_cast<double>(frame)) > 1e-6 * std::max(1.0, std::fabs(frames))) {
    refuse("the scene time " + lws::number(seconds) + " s is frame " + lws::number(frames) +
           " at " + lws::number(framesPerSecond) +
           " frames per second; the file holds whole frames only");
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

// Layout writes cameras without scale channels.
int channelCount(ItemType type) { return type == ItemType::Camera ? 6 : 9; }

double channelDefault(int channel) { return channel >= kScaleX ? 1 : 0; }

std::string vec3Text(const Vec3& v) {
  return lws::number(v[0]) + " " + lws::number(v[1]) + " " + lws::number(v[2]);
}

std::string degreesText(const Vec3& radians) {
  return lws::degrees(radians[0]) + " " + lws::degrees(radians[1]) + " " + lws::degrees(radians[2]);
}

bool sameKeys(const std::vector<Key>& a, const std::vector<Key>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].time != b[i].time || a[i].value != b[i].value || a[i].span != b[i].span ||
        a[i].params != b[i].params) {
      return false;
    }
  }
  return true;
}

std::string keyText(const Key& k) {
  std::string text =
      "Key " + lws::number(k.value) + " " + lws::number(k.time) + " " + std::to_string(k.span);
  for (double p : k.params) text += " " + lws::number(p);
  return text;
}

std::string leadingBlanks(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  return std::string(line.substr(0, i));
}

// The keys a channel is saved with. A change made by a command but not keyed goes where
// Layout's auto key would put it: into the key at the current time, or into the only key
// of a channel that holds one; otherwise it is not saved, as in Layout. A channel without
// keys gets one at time 0 holding its value (Layout keeps at least one), unless
// `mayBeEmpty` and the value is the one a missing channel reads as.
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
  auto at =
      std::find_if(keys.begin(), keys.end(), [&](const Key& k) { return k.time == scene.time(); });
  if (at != keys.end()) {
    at->value = now;
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

std::string flagText(bool on) { return on ? "1" : "0"; }

// One of a bone's deformation lines, after the rest length, in the order Layout writes them.
struct DeformationLine {
  std::size_t LwsItem::*line;  // where the file has it
  bool written;                // whether the bone's settings call for the line
  std::string text;
};

// The map lines are written only with a map, the range lines only with the range on, and a
// compensation line only with its option on, carrying its amount.
std::vector<DeformationLine> deformationLines(double strength, bool scaleStrength,
                                              const BoneDeformation& d) {
  const bool mapped = !d.weightMap.empty();
  if (mapped) checkName(d.weightMap);
  // Without a map Layout writes neither flag; one that a file gave anyway is kept.
  const BoneDeformation plain;
  return {
      {&LwsItem::weightMapLine, mapped, "BoneWeightMapName " + d.weightMap},
      {&LwsItem::weightMapOnlyLine, mapped || d.weightMapOnly != plain.weightMapOnly,
       "BoneWeightMapOnly " + flagText(d.weightMapOnly)},
      {&LwsItem::normalizationLine, mapped || d.normalization != plain.normalization,
       "BoneNormalization " + flagText(d.normalization)},
      {&LwsItem::strengthLine, true, "BoneStrength " + lws::number(strength)},
      {&LwsItem::scaleStrengthLine, true, "ScaleBoneStrength " + flagText(scaleStrength)},
      {&LwsItem::limitedRangeLine, d.limitedRange, "BoneLimitedRange 1"},
      {&LwsItem::minRangeLine, d.limitedRange, "BoneMinRange " + lws::number(d.minRange)},
      {&LwsItem::maxRangeLine, d.limitedRange, "BoneMaxRange " + lws::number(d.maxRange)},
      {&LwsItem::jointCompLine, d.jointComp, "BoneJointComp " + lws::number(d.jointCompSelfAmount)},
      {&LwsItem::jointCompParentLine, d.jointCompParent,
       "BoneJointCompParent " + lws::number(d.jointCompParentAmount)},
      {&LwsItem::muscleFlexLine, d.muscleFlex,
       "BoneMuscleFlex " + lws::number(d.muscleFlexSelfAmount)},
      {&LwsItem::muscleFlexParentLine, d.muscleFlexParent,
       "BoneMuscleFlexParent " + lws::number(d.muscleFlexParentAmount)},
  };
}

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

  std::string hex(ItemId sceneId) const { return lws::hexId(ids(sceneId), upperHex); }
  std::string parentLine(const Item& item) const { return "ParentItem " + hex(item.parent); }
};

// Lines that version 5 and later files write for every item, beside its motion, with the
// values a new item gets. A new bone gets those that the file's other items have.
struct PerItemLines {
  Lines beforeParent, afterParent;
};

const char* perItemDefault(std::string_view keyword) {
  static const std::pair<std::string_view, const char*> kDefaults[] = {
      {"IKInitCustomFrame", "0"},
      {"GoalStrength", "1"},
      {"IKFKBlending", "0"},
      {"CtrlPosItemBlend", "1"},
      {"CtrlRotItemBlend", "1"},
      {"CtrlScaleItemBlend", "1"},
      {"PathAlignMaxLookSteps", "10"},
      {"PathAlignReliableDist", "0.001"},
      {"SplineFlags", "0"},
      {"SplineFit", "0"},
      {"IKInitialState", "0"},
      {"UseIKChainValues", "0"},
  };
  for (const auto& entry : kDefaults) {
    if (entry.first == keyword) return entry.second;
  }
  return nullptr;
}

// Per-item lines whose value is not one fixed default: a new item takes the template's.
bool perItemTakenFromTemplate(std::string_view keyword) {
  return keyword == "IKSoftMin" || keyword == "IKSoftMax" || keyword == "PathAlignLookAhead";
}

// An object's settings for all of its bones, written before its first bone: the falloff
// always, the others when they differ from what a scene without them means.
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

// The lines of a bone the file does not have yet, as Layout writes bones.
Lines newBone(const Context& cx, const Item& bone, const PerItemLines* perItem = nullptr) {
  checkName(bone.name);
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
  out.push_back("BoneRestLength " + lws::number(bone.restLength));
  for (const DeformationLine& line :
       deformationLines(bone.strength, bone.scaleStrength, bone.deformation)) {
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

// --- writing a scene that has no file behind it ---

std::string freshFile(const Scene& scene, std::unordered_map<ItemId, ItemId>& fileIds) {
  Context cx(scene);
  std::vector<ItemId> objects, lights, cameras;
  for (ItemId id = scene.first(ItemType::Object, 0); id; id = scene.next(id)) objects.push_back(id);
  for (ItemId id = scene.first(ItemType::Light, 0); id; id = scene.next(id)) lights.push_back(id);
  for (ItemId id = scene.first(ItemType::Camera, 0); id; id = scene.next(id)) cameras.push_back(id);
  for (std::size_t o = 0; o < objects.size(); ++o) {
    cx.ids.add(objects[o], 0x10000000u | static_cast<ItemId>(o));
    std::uint32_t b = 0;
    for (ItemId bone = scene.first(ItemType::Bone, objects[o]); bone;
         bone = scene.next(bone), ++b) {
      if (b >= 0x1000 || o >= 0x10000) refuse("more bones or objects than Layout's ids can number");
      cx.ids.add(bone, 0x40000000u | (b << 16) | static_cast<ItemId>(o));
    }
  }
  for (std::size_t l = 0; l < lights.size(); ++l)
    cx.ids.add(lights[l], 0x20000000u | static_cast<ItemId>(l));
  for (std::size_t c = 0; c < cameras.size(); ++c) {
    cx.ids.add(cameras[c], 0x30000000u | static_cast<ItemId>(c));
  }

  const double fps = 30;
  double lastTime = 0;
  for (ItemId id : scene.allItems()) {
    for (const std::vector<Key>& keys : scene.find(id)->keys) {
      if (!keys.empty()) lastTime = std::max(lastTime, keys.back().time);
    }
  }
  const long long lastFrame =
      std::max(60LL, wholeFrame(std::ceil(lastTime * fps), "the key time", lastTime));
  const long long frame = currentFrame(scene.time(), fps);
  Lines out = {"LWSC",
               "3",
               "",
               "FirstFrame 1",
               "LastFrame " + std::to_string(lastFrame),
               "FrameStep 1",
               "PreviewFirstFrame 0",
               "PreviewLastFrame " + std::to_string(lastFrame),
               "PreviewFrameStep 1",
               "CurrentFrame " + std::to_string(frame),
               "FramesPerSecond 30"};

  auto common = [&](const Item& item) {
    appendMotion(out, scene, item);
    if (item.pivot != Vec3{0, 0, 0}) out.push_back("PivotPosition " + vec3Text(item.pivot));
    if (item.pivotRotation != Vec3{0, 0, 0}) {
      out.push_back("PivotRotation " + degreesText(item.pivotRotation));
    }
    if (item.parent) out.push_back(cx.parentLine(item));
  };
  for (ItemId id : objects) {
    const Item& object = *scene.find(id);
    checkName(object.name);
    out.push_back("");
    if (const ObjectMesh* named = scene.objectMesh(id)) {
      // Layout names a loaded object after its file.
      checkName(named->file);
      out.push_back((named->layerGiven ? "LoadObjectLayer " + std::to_string(named->layer) + " "
                                       : std::string("LoadObject ")) +
                    named->file);
    } else {
      out.push_back("AddNullObject " + object.name);
    }
    out.push_back("ShowObject 6 3");
    common(object);
    const ItemId firstBone = scene.first(ItemType::Bone, id);
    const ItemId source = object.boneSettings.useBonesFrom;
    if (source && scene.find(source)) out.push_back("UseBonesFrom " + cx.hex(source));
    // An object without bones keeps settings that differ from those of no lines at all.
    ObjectBoneSettings plain = object.boneSettings;
    plain.falloffType = ObjectBoneSettings{}.falloffType;
    plain.fasterBones = false;
    plain.boneMode = -1;
    plain.numLimitedBones = ObjectBoneSettings{}.numLimitedBones;
    if (firstBone || plain != object.boneSettings) {
      for (std::string& line : objectBoneLines(object)) out.push_back(std::move(line));
    }
    for (ItemId bone = firstBone; bone; bone = scene.next(bone)) {
      for (std::string& line : newBone(cx, *scene.find(bone))) out.push_back(std::move(line));
    }
  }
  out.push_back("");
  out.push_back("AmbientColor 1 1 1");
  out.push_back("AmbientIntensity 0.25");
  for (ItemId id : lights) {
    const Item& light = *scene.find(id);
    checkName(light.name);
    out.insert(out.end(), {"", "AddLight", "LightName " + light.name, "ShowLight 1 5"});
    common(light);
    out.insert(out.end(), {"LightColor 1 1 1", "LightIntensity 1", "LightType 0"});
  }
  for (ItemId id : cameras) {
    const Item& camera = *scene.find(id);
    checkName(camera.name);
    out.insert(out.end(), {"", "AddCamera", "CameraName " + camera.name, "ShowCamera 1 2"});
    common(camera);
    out.push_back("ZoomFactor 3.2");
  }
  for (const auto& [sceneId, fileId] : cx.ids.all()) {
    if (sceneId != fileId) fileIds.emplace(sceneId, fileId);
  }
  std::string text;
  for (const std::string& line : out) text += line + "\n";
  return text;
}

// --- writing a scene read from a file ---

class Writer {
public:
  Writer(const Scene& scene, const LwsDocument& doc)
      : scene_(scene), doc_(doc), cx_(scene), digits_(lws::writerDigits(doc)) {
    cx_.version = doc.version;
    cx_.upperHex = doc.upperHex;
  }

  LwsSaved write() {
    checkStructure();
    orderBones();
    numberItems();
    for (std::size_t k = 0; k < doc_.items.size(); ++k) {
      const LwsItem& d = doc_.items[k];
      const Item* item = scene_.find(d.id);
      if (item) {
        update(d, *item);
      } else {
        removeSection(k);
      }
    }
    placeNewBones();
    sceneLines();
    LwsSaved saved;
    saved.references = pluginReferences();
    for (const auto& [sceneId, fileId] : cx_.ids.all()) {
      if (sceneId != fileId) saved.fileIds.emplace(sceneId, fileId);
    }
    saved.text = emit();
    return saved;
  }

private:
  // What to do at a line of the file: lines before it, instead of it, after it.
  struct Edit {
    Lines before;
    bool replaced = false;
    Lines with;
    Lines after;
  };

  Edit& at(std::size_t line) { return edits_[line]; }
  void replace(std::size_t line, Lines with) {
    Edit& e = at(line);
    e.replaced = true;
    e.with = std::move(with);
  }
  void replace(std::size_t line, std::string with) { replace(line, Lines{std::move(with)}); }
  void remove(std::size_t line) { replace(line, Lines{}); }
  void insertAfter(std::size_t line, Lines lines) {
    Lines& after = at(line).after;
    for (std::string& l : lines) after.push_back(std::move(l));
  }
  void insertBefore(std::size_t line, Lines lines) {
    Lines& before = at(line).before;
    for (std::string& l : lines) before.push_back(std::move(l));
  }

  bool isLastBoneOfObject(std::size_t k) const {
    return doc_.items[k].type == ItemType::Bone &&
           (k + 1 == doc_.items.size() || doc_.items[k + 1].type != ItemType::Bone);
  }

  // Index of the first item after k's whole region (an object's region holds its bones).
  std::size_t regionEnd(std::size_t k) const {
    std::size_t next = k + 1;
    if (doc_.items[k].type == ItemType::Object) {
      while (next < doc_.items.size() && doc_.items[next].type == ItemType::Bone) ++next;
    }
    return next;
  }

  void checkStructure() {
    for (std::size_t k = 0; k < doc_.items.size(); ++k) {
      const LwsItem& d = doc_.items[k];
      if (d.type == ItemType::Bone || scene_.find(d.id)) continue;
      // Between items of one kind there are no scene settings, so the section is plain.
      const std::size_t next = regionEnd(k);
      if (next == doc_.items.size() || doc_.items[next].type != d.type) {
        refuse("removing the last " + std::string(itemTypeWord(d.type)) +
               " of a scene read from a file is not "
               "supported (where its settings end is not known)");
      }
    }
    for (ItemId id : scene_.allItems()) {
      const Item& item = *scene_.find(id);
      if (doc_.byId.count(id)) continue;
      if (item.type != ItemType::Bone) {
        refuse(std::string("the ") + itemTypeWord(item.type) + " \"" + item.name +
               "\" is new; only new bones can "
               "be added to a scene read from a file");
      }
    }
  }

  void numberItems() {
    long long objects = 0, lights = 0, cameras = 0;
    for (const LwsItem& d : doc_.items) {
      if (!scene_.find(d.id)) continue;
      if (d.type == ItemType::Object) {
        const long long o = objects++;
        cx_.objectOrdinal[d.id] = o;
        if (doc_.version < 4) cx_.ids.add(d.id, 0x10000000u | static_cast<ItemId>(o));
        std::uint32_t b = 0;
        for (ItemId bone : boneOrder_[d.id]) {
          if (doc_.version >= 4) break;
          if (b >= 0x1000 || o >= 0x10000) refuse("more bones than Layout's ids can number");
          cx_.ids.add(bone, 0x40000000u | (b << 16) | static_cast<ItemId>(o));
          ++b;
        }
      } else if (d.type == ItemType::Light) {
        const long long l = lights++;
        cx_.lightOrdinal[d.id] = l;
        if (doc_.version < 4) cx_.ids.add(d.id, 0x20000000u | static_cast<ItemId>(l));
      } else if (d.type == ItemType::Camera) {
        const long long c = cameras++;
        cx_.cameraOrdinal[d.id] = c;
        if (doc_.version < 4) cx_.ids.add(d.id, 0x30000000u | static_cast<ItemId>(c));
      }
    }
  }

  void removeSection(std::size_t k) {
    const LwsItem& d = doc_.items[k];
    std::size_t last;
    if (d.type == ItemType::Bone) {
      // The lines after the last bone's own lines are its object's settings.
      last = isLastBoneOfObject(k) ? d.lastOwn : d.end - 1;
    } else {
      const std::size_t next = regionEnd(k);
      last = (next < doc_.items.size() ? doc_.items[next].declLine : doc_.lines.size()) - 1;
    }
    for (std::size_t i = d.declLine; i <= last; ++i) remove(i);
  }

  // --- an item the file has ---

  void update(const LwsItem& d, const Item& item) {
    motion(d, item);
    if (d.type == ItemType::Bone) boneValues(d, item);
    placement(d, item);
  }

  std::size_t motionEnd(const LwsItem& d) const {
    std::size_t end = d.numChannelsLine != kNoLine ? d.numChannelsLine : d.motionLine;
    for (const LwsChannel& ch : d.channels) end = std::max(end, ch.closeLine);
    return end;
  }

  void motion(const LwsItem& d, const Item& item) {
    if (d.motionLine == kNoLine) {
      // Hand-written files may leave it out; add one only when there is something to keep.
      bool needed = false;
      for (int c = 0; c < channelCount(d.type) && !needed; ++c) {
        needed = !keysToWrite(scene_, item, c, true).empty();
      }
      if (!needed) return;
      Lines lines;
      appendMotion(lines, scene_, item);
      std::size_t anchor = d.declLine;
      if (d.nameLine != kNoLine) anchor = std::max(anchor, d.nameLine);
      if (d.showLine != kNoLine) anchor = std::max(anchor, d.showLine);
      insertAfter(anchor, std::move(lines));
      return;
    }
    const int count =
        std::min(std::max(d.numChannels, channelCount(d.type)), static_cast<int>(kChannelCount));
    auto fileChannel = [&d](int c) {
      const auto found = std::find_if(d.channels.begin(), d.channels.end(),
                                      [c](const LwsChannel& ch) { return ch.index == c; });
      return found == d.channels.end() ? nullptr : &*found;
    };
    // A channel the file leaves out is added only when it now holds something; the file
    // then needs every channel below it too.
    int written = d.numChannels;
    for (int c = 0; c < count; ++c) {
      if (fileChannel(c)) continue;
      if (!keysToWrite(scene_, item, c, true).empty() ||
          item.behaviors[static_cast<std::size_t>(c)] != ChannelBehaviors{}) {
        written = std::max(written, c + 1);
      }
    }
    Lines added;
    for (int c = 0; c < std::max(count, written); ++c) {
      const ChannelBehaviors behaviors = item.behaviors[static_cast<std::size_t>(c)];
      const LwsChannel* found = fileChannel(c);
      if (!found) {
        if (c < written) appendEnvelope(added, c, keysToWrite(scene_, item, c, false), behaviors);
        continue;
      }
      const std::vector<Key> keys = keysToWrite(scene_, item, c, found->keys.empty());
      if (sameKeys(keys, found->keys) && behaviors == found->behaviors) continue;
      envelope(*found, keys, behaviors);
    }
    if (!added.empty()) {
      insertAfter(motionEnd(d), std::move(added));
      replace(d.numChannelsLine, "NumChannels " + std::to_string(written));
    }
  }

  // Rewrites the key count, the keys and the behaviours; other lines of the block stay.
  void envelope(const LwsChannel& ch, const std::vector<Key>& keys, ChannelBehaviors behaviors) {
    const std::string indent = leadingBlanks(doc_.lines[ch.countLine]);
    if (keys.size() != ch.keys.size()) replace(ch.countLine, indent + std::to_string(keys.size()));
    Lines keyLines;
    // A key the file has at the same time keeps the text of every field it still holds.
    std::size_t old = 0;
    for (const Key& k : keys) {
      const std::string keyIndent =
          ch.keyLines.empty() ? indent : leadingBlanks(doc_.lines[ch.keyLines[0]]);
      while (old < ch.keys.size() && ch.keys[old].time < k.time && !sameTime(ch, old, k.time)) {
        ++old;
      }
      if (old < ch.keys.size() && sameTime(ch, old, k.time)) {
        keyLines.push_back(lws::keptKeyLine(doc_.lines[ch.keyLines[old]], k, digits_, keyIndent));
        ++old;
      } else {
        keyLines.push_back(keyIndent + keyText(k));
      }
    }
    if (ch.keyLines.empty()) {
      insertAfter(ch.countLine, std::move(keyLines));
    } else {
      replace(ch.keyLines[0], std::move(keyLines));
      for (std::size_t i = 1; i < ch.keyLines.size(); ++i) remove(ch.keyLines[i]);
    }
    const std::string text = indent + "Behaviors " + std::to_string(behaviors.pre) + " " +
                             std::to_string(behaviors.post);
    if (ch.behaviorsLine != kNoLine) {
      if (behaviors != ch.behaviors) replace(ch.behaviorsLine, text);
    } else if (behaviors != ChannelBehaviors{}) {
      insertAfter(ch.keyLines.empty() ? ch.countLine : ch.keyLines.back(), {text});
    }
  }

  // Whether the file's key `index` of `ch` was written for time `t`.
  bool sameTime(const LwsChannel& ch, std::size_t index, double t) const {
    const std::vector<std::string_view> fields =
        lws::words(lws::afterKeyword(lws::trim(doc_.lines[ch.keyLines[index]])));
    return fields.size() > 1 && lws::stillReads(fields[1], t, digits_);
  }

  void boneValues(const LwsItem& d, const Item& bone) {
    struct Value {
      std::size_t line;
      bool changed;
      std::string text;
    };
    const Value values[] = {
        {d.activeLine, bone.active != d.active,
         std::string("BoneActive ") + (bone.active ? "1" : "0")},
        {d.restPositionLine, bone.restPosition != d.restPosition,
         "BoneRestPosition " + vec3Text(bone.restPosition)},
        {d.restDirectionLine, bone.restRotation != d.restRotation,
         "BoneRestDirection " + degreesText(bone.restRotation)},
        {d.restLengthLine, bone.restLength != d.restLength,
         "BoneRestLength " + lws::number(bone.restLength)},
    };
    // A missing line goes after the nearest one before it in Layout's order.
    std::size_t anchor = d.declLine;
    if (d.nameLine != kNoLine) anchor = std::max(anchor, d.nameLine);
    if (d.showLine != kNoLine) anchor = std::max(anchor, d.showLine);
    for (const Value& v : values) {
      if (v.line != kNoLine) {
        if (v.changed) replace(v.line, v.text);
        anchor = v.line;
      } else if (v.changed) {
        insertAfter(anchor, {v.text});
      }
    }
    deformationValues(d, bone, anchor);
  }

  // The lines after the rest length: a line whose setting is unchanged stays as written;
  // one the settings no longer call for goes, one they now call for is added in its place.
  void deformationValues(const LwsItem& d, const Item& bone, std::size_t anchor) {
    const std::vector<DeformationLine> before =
        deformationLines(d.strength, d.scaleStrength, d.deformation);
    const std::vector<DeformationLine> now =
        deformationLines(bone.strength, bone.scaleStrength, bone.deformation);
    for (std::size_t i = 0; i < now.size(); ++i) {
      const std::size_t line = d.*now[i].line;
      const bool changed = now[i].written != before[i].written || now[i].text != before[i].text;
      if (line != kNoLine) {
        if (changed && now[i].written) {
          replace(line, now[i].text);
        } else if (changed) {
          remove(line);
        }
        anchor = line;
      } else if (now[i].written && changed) {
        insertAfter(anchor, {now[i].text});
      }
    }
  }

  // Pivots, parent, target and goal.
  void placement(const LwsItem& d, const Item& item) {
    std::size_t anchor = d.motionLine != kNoLine ? motionEnd(d) : d.lastOwn;
    Lines pivots;
    if (d.pivotLine != kNoLine) {
      if (item.pivot != d.pivot) replace(d.pivotLine, "PivotPosition " + vec3Text(item.pivot));
      anchor = std::max(anchor, d.pivotLine);
    } else if (item.pivot != d.pivot) {
      pivots.push_back("PivotPosition " + vec3Text(item.pivot));
    }
    if (d.pivotRotationLine != kNoLine) {
      if (item.pivotRotation != d.pivotRotation) {
        replace(d.pivotRotationLine, "PivotRotation " + degreesText(item.pivotRotation));
      }
      anchor = std::max(anchor, d.pivotRotationLine);
    } else if (item.pivotRotation != d.pivotRotation) {
      pivots.push_back("PivotRotation " + degreesText(item.pivotRotation));
    }
    // New pivot lines go just before ParentItem, where Layout writes them.
    if (!pivots.empty()) {
      if (d.parentLine != kNoLine) {
        insertBefore(d.parentLine, std::move(pivots));
      } else {
        insertAfter(anchor, std::move(pivots));
      }
    }

    if (d.parentLine != kNoLine) {
      if (item.parent == 0) {
        remove(d.parentLine);
      } else if (cx_.ids(item.parent) != d.parent) {  // moved, or renumbered
        replace(d.parentLine, cx_.parentLine(item));
      }
    } else if (item.parent != d.parent) {
      insertAfter(anchor, {cx_.parentLine(item)});
    }

    if (d.targetLine != kNoLine && d.target != 0) {
      if (!scene_.find(d.target)) {
        remove(d.targetLine);  // it would name another item, or none
      } else if (cx_.ids(d.target) != d.target) {
        replace(d.targetLine, "TargetItem " + cx_.hex(d.target));
      }
    }
    if (d.goalLine != kNoLine && d.goal != 0) {
      if (!scene_.find(d.goal)) {
        remove(d.goalLine);
      } else if (doc_.version >= 4) {
        if (cx_.ids(d.goal) != d.goal) replace(d.goalLine, "GoalObject " + cx_.hex(d.goal));
      } else {
        const long long now = cx_.objectOrdinal.at(d.goal) + 1;
        if (cx_.ids(d.goal) != d.goal) replace(d.goalLine, "GoalObject " + std::to_string(now));
      }
    }
  }

  // --- bones the file does not have ---

  // The order the object's bones are written in. A new bone that takes the place of a
  // removed one (the first new bone under the removed one's parent) is written where that
  // one was, so that in a version-3 file it keeps its number and the bones after it keep
  // theirs; other new bones go before the next bone of the listing the file has, or last.
  void orderBones() {
    for (std::size_t k = 0; k < doc_.items.size(); ++k) {
      const LwsItem& object = doc_.items[k];
      if (object.type != ItemType::Object || !scene_.find(object.id)) continue;
      const std::size_t end = regionEnd(k);
      std::vector<ItemId> listing;
      for (ItemId bone = scene_.first(ItemType::Bone, object.id); bone; bone = scene_.next(bone)) {
        listing.push_back(bone);
      }
      std::vector<ItemId> fresh;
      for (ItemId bone : listing) {
        if (!doc_.byId.count(bone)) fresh.push_back(bone);
      }
      std::vector<ItemId> order;
      for (std::size_t b = k + 1; b < end; ++b) {
        const LwsItem& d = doc_.items[b];
        if (scene_.find(d.id)) {
          order.push_back(d.id);
          continue;
        }
        const auto heir = std::find_if(fresh.begin(), fresh.end(), [&](ItemId bone) {
          return bone != 0 && scene_.find(bone)->parent == d.parent;
        });
        if (heir == fresh.end()) continue;
        order.push_back(*heir);
        replaces_[*heir] = b;
        *heir = 0;
      }
      // The rest, each before the next bone of the listing that already has its place.
      std::vector<ItemId> placed, waiting, last;
      std::unordered_map<ItemId, std::vector<ItemId>> before;
      ItemId nextPlaced = 0;  // the next bone of the listing that has its place
      auto settle = [&]() {
        if (waiting.empty()) return;
        (nextPlaced ? before[nextPlaced] : last) = waiting;
        waiting.clear();
      };
      for (std::size_t i = listing.size(); i-- > 0;) {
        const ItemId bone = listing[i];
        if (doc_.byId.count(bone) == 0 && replaces_.count(bone) == 0) {
          waiting.insert(waiting.begin(), bone);
          continue;
        }
        settle();
        nextPlaced = bone;
      }
      settle();
      for (ItemId bone : order) {
        const auto found = before.find(bone);
        if (found != before.end()) {
          placed.insert(placed.end(), found->second.begin(), found->second.end());
        }
        placed.push_back(bone);
      }
      placed.insert(placed.end(), last.begin(), last.end());
      boneOrder_[object.id] = std::move(placed);
    }
  }

  // The lines every item of a version-5-or-later file has beside its motion, as a new bone
  // gets them: from the bone it replaces, else the object's first bone, else the object.
  PerItemLines perItemLines(ItemId bone, std::size_t objectIndex) const {
    PerItemLines lines;
    if (doc_.version < 5) return lines;
    std::size_t from = objectIndex;
    const auto replaced = replaces_.find(bone);
    if (replaced != replaces_.end()) {
      from = replaced->second;
    } else if (objectIndex + 1 < regionEnd(objectIndex)) {
      from = objectIndex + 1;
    }
    const LwsItem& t = doc_.items[from];
    const std::size_t first = t.motionLine != kNoLine ? motionEnd(t) + 1 : t.declLine + 1;
    const std::size_t last = t.type == ItemType::Object && from + 1 < doc_.items.size() &&
                                     doc_.items[from + 1].type == ItemType::Bone
                                 ? doc_.items[from + 1].declLine
                                 : t.lastOwn + 1;
    std::size_t blanks = 0;
    for (std::size_t i = first; i < last && i < doc_.lines.size(); ++i) {
      const std::string_view text = lws::trim(doc_.lines[i]);
      if (text.empty()) {
        ++blanks;
        continue;
      }
      const std::string_view k = lws::keyword(text);
      std::string line;
      if (const char* value = perItemDefault(k)) {
        line = std::string(k) + " " + value;
      } else if (perItemTakenFromTemplate(k)) {
        line = std::string(text);
      } else {
        blanks = 0;
        continue;
      }
      Lines& to =
          t.parentLine != kNoLine && i > t.parentLine ? lines.afterParent : lines.beforeParent;
      if (!to.empty()) to.insert(to.end(), blanks, std::string());
      blanks = 0;
      to.push_back(std::move(line));
    }
    return lines;
  }

  void placeNewBones() {
    for (std::size_t k = 0; k < doc_.items.size(); ++k) {
      const LwsItem& object = doc_.items[k];
      if (object.type != ItemType::Object || !scene_.find(object.id)) continue;
      const std::size_t end = regionEnd(k);
      // Where a bone after all of the file's bones goes.
      std::size_t tail;
      Lines prefix;
      if (end > k + 1) {
        tail = doc_.items[end - 1].lastOwn;
      } else if (object.boneSettingsLine != kNoLine) {
        // After any bone line the object's block holds without a bone (a damaged file): read
        // back, such a line would otherwise become the new bone's.
        tail = object.lastOwn != kNoLine ? std::max(object.boneSettingsLine, object.lastOwn)
                                         : object.boneSettingsLine;
      } else {
        tail = object.lastOwn;
        prefix = objectBoneLines(*scene_.find(object.id));
      }
      const std::vector<ItemId>& order = boneOrder_[object.id];
      // For each place in the order, the file line the next placed bone starts at.
      std::vector<std::size_t> nextLine(order.size() + 1, kNoLine);
      for (std::size_t i = order.size(); i-- > 0;) {
        const auto known = doc_.byId.find(order[i]);
        const auto replaced = replaces_.find(order[i]);
        nextLine[i] = known != doc_.byId.end()      ? doc_.items[known->second].declLine
                      : replaced != replaces_.end() ? doc_.items[replaced->second].declLine
                                                    : nextLine[i + 1];
      }
      for (std::size_t i = 0; i < order.size(); ++i) {
        if (doc_.byId.count(order[i])) continue;
        const PerItemLines perItem = perItemLines(order[i], k);
        Lines lines = newBone(cx_, *scene_.find(order[i]), &perItem);
        const auto replaced = replaces_.find(order[i]);
        const std::size_t at =
            replaced != replaces_.end() ? doc_.items[replaced->second].declLine : nextLine[i + 1];
        if (at != kNoLine) {
          insertBefore(at, std::move(lines));
          continue;
        }
        if (!prefix.empty()) lines.insert(lines.begin(), prefix.begin(), prefix.end());
        prefix.clear();
        insertAfter(tail, std::move(lines));
      }
    }
  }

  // --- item ids inside plug-in sections ---

  static bool looksLikeItemId(std::string_view word) {
    if (word.size() != 8 || word[0] < '1' || word[0] > '4') return false;
    return std::all_of(word.begin(), word.end(), [](char c) {
      return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
  }

  std::string holderOf(std::size_t line) const {
    for (std::size_t k = doc_.items.size(); k-- > 0;) {
      const LwsItem& d = doc_.items[k];
      if (d.declLine > line) continue;
      if (line >= d.end) return "";  // after the last item's section: scene-level
      // After a bone's own lines come its object's settings.
      const ItemId holder = d.type == ItemType::Bone && line > d.lastOwn ? d.owner : d.id;
      const Item* item = scene_.find(holder);
      return item ? item->name : "";
    }
    return "";
  }

  std::string nameInFile(ItemId id) const {
    const Item* item = scene_.find(id);
    if (item) return item->name;
    return std::string("the removed ") + itemTypeWord(doc_.items[doc_.byId.at(id)].type) + " " +
           lws::hexId(id, doc_.upperHex);
  }

  // Rewrites ids of renumbered items in the plug-in sections the file keeps; ids of removed
  // items stay as written. Both are listed.
  std::vector<PluginReference> pluginReferences() {
    std::vector<PluginReference> found;
    for (const auto& [open, close] : doc_.plugins) {
      const auto gone = edits_.find(open);
      if (gone != edits_.end() && gone->second.replaced) continue;  // its item was removed
      const std::vector<std::string_view> head = lws::words(doc_.lines[open]);
      const std::string plugin = head.size() >= 4 ? std::string(head[3]) : std::string("?");
      const std::string holder = holderOf(open);
      for (std::size_t i = open + 1; i < close; ++i) {
        const std::string& text = doc_.lines[i];
        std::string rewritten;
        std::size_t copied = 0;
        for (std::string_view word : lws::words(text)) {
          if (!looksLikeItemId(word)) continue;
          ItemId id = 0;
          lws::parseHexId(word, id);
          if (!doc_.byId.count(id)) continue;  // names nothing the file declares
          PluginReference ref;
          ref.line = i + 1;
          ref.plugin = plugin;
          ref.holder = holder;
          ref.named = nameInFile(id);
          ref.written = std::string(word);
          ref.now = ref.written;
          if (!scene_.find(id)) {
            ref.dangling = true;
            found.push_back(ref);
            continue;
          }
          if (cx_.ids(id) == id) continue;
          const bool lower =
              std::any_of(word.begin(), word.end(), [](char c) { return c >= 'a' && c <= 'f'; });
          ref.now = lws::hexId(
              cx_.ids(id),
              !lower && (doc_.upperHex || word.find_first_of("ABCDEF") != std::string_view::npos));
          const std::size_t at = static_cast<std::size_t>(word.data() - text.data());
          rewritten += text.substr(copied, at - copied) + ref.now;
          copied = at + word.size();
          found.push_back(ref);
        }
        if (copied > 0) replace(i, rewritten + text.substr(copied));
      }
    }
    return found;
  }

  // --- scene-level lines ---

  void sceneLines() {
    if (scene_.time() != doc_.time) {
      std::string line =
          "CurrentFrame " + std::to_string(currentFrame(scene_.time(), doc_.framesPerSecond));
      if (doc_.currentFrameLine != kNoLine) {
        replace(doc_.currentFrameLine, std::move(line));
      } else {
        insertAfter(1, {std::move(line)});  // after the version: the time is not dropped
      }
    }
    const char* names[3] = {"CurrentObject", "CurrentLight", "CurrentCamera"};
    const std::unordered_map<ItemId, long long>* ordinals[3] = {
        &cx_.objectOrdinal, &cx_.lightOrdinal, &cx_.cameraOrdinal};
    for (int kind = 0; kind < 3; ++kind) {
      const std::size_t line = doc_.currentLines[kind];
      if (line == kNoLine) continue;
      // An ordinal: it moves when items before it go; 0 when the item itself went.
      const auto found = ordinals[kind]->find(doc_.currentItems[kind]);
      const long long now = found == ordinals[kind]->end() ? 0 : found->second;
      if (now != doc_.currentOrdinals[kind]) {
        replace(line, std::string(names[kind]) + " " + std::to_string(now));
      }
    }
  }

  // Lines written anew take the ending of the line their edit is anchored on.
  std::string emit() const {
    std::string text;
    text.reserve(doc_.lines.size() * 24);
    bool lastWasOriginal = true;
    std::size_t lastEnd = 0;
    auto put = [&](const std::string& line, std::size_t anchor, bool original) {
      text += line;
      const std::size_t crs = doc_.carriageReturns[anchor];
      text.append(crs, '\r');
      text += '\n';
      lastWasOriginal = original;
      lastEnd = crs + 1;
    };
    auto putAll = [&](const Lines& lines, std::size_t anchor) {
      for (const std::string& line : lines) put(line, anchor, false);
    };
    for (std::size_t i = 0; i < doc_.lines.size(); ++i) {
      const auto e = edits_.find(i);
      if (e == edits_.end()) {
        put(doc_.lines[i], i, true);
        continue;
      }
      putAll(e->second.before, i);
      if (e->second.replaced) {
        putAll(e->second.with, i);
      } else {
        put(doc_.lines[i], i, true);
      }
      putAll(e->second.after, i);
    }
    // A file without a final line feed keeps its last line's carriage returns, if any.
    if (!doc_.finalNewline && !text.empty()) {
      text.resize(text.size() - (lastWasOriginal ? 1 : lastEnd));
    }
    return text;
  }

  const Scene& scene_;
  const LwsDocument& doc_;
  Context cx_;
  int digits_;  // significant digits of the file's key numbers
  // Per object: its bones in the order they are written. New bones written where a removed
  // bone was: the removed bone's index in the file.
  std::unordered_map<ItemId, std::vector<ItemId>> boneOrder_;
  std::unordered_map<ItemId, std::size_t> replaces_;
  std::map<std::size_t, Edit> edits_;
};

}  // namespace

LwsSaved saveLws(const Scene& scene) {
  if (!scene.source) {
    LwsSaved saved;
    saved.text = freshFile(scene, saved.fileIds);
    return saved;
  }
  return Writer(scene, *scene.source).write();
}

std::string sceneToLws(const Scene& scene) { return saveLws(scene).text; }

}  // namespace standin
