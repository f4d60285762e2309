#include "standin/files/lws/lws_reader.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>

#include "standin/files/base/scene_file_error.h"
#include "standin/files/lws/lws_document.h"
#include "standin/files/lws/lws_scene_build.h"
#include "standin/files/lws/lws_text.h"

namespace standin {
namespace {

using lws::afterKeyword;
using lws::keyword;
using lws::trim;
using lws::words;

constexpr int kFirstVersion = 3;
constexpr int kLastVersion = 8;
// Object files number their layers with two bytes; scenes count them from 1.
constexpr long long kLastLayer = 0x10000;

// A whole number from 0 to below `count`, checked before any conversion to an integer.
bool isIndexBelow(double value, int count) {
  return value >= 0 && value < count && value == std::floor(value);
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Lines that are an item's own (its motion, hierarchy, IK, pivots, bone values) rather than
// settings of the object a bone belongs to; a new bone goes after the last bone's own lines.
bool isOwnKeyword(std::string_view k) {
  if (k == "BoneFalloffType" || k == "BoneMode") return false;  // object-level
  static const std::string_view kOwn[] = {
      "ShowBone",        "ScaleBoneStrength", "ObjectMotion",  "BoneMotion",   "LightMotion",
      "CameraMotion",    "NumChannels",       "Channel",       "HController",  "PController",
      "BController",     "HLimits",           "PLimits",       "BLimits",      "HStiffness",
      "PStiffness",      "BStiffness",        "FullTimeIK",    "GoalStrength", "GoalObject",
      "LockedChannels",  "PivotPosition",     "PivotRotation", "ParentItem",   "TargetItem",
      "UseIKChainValues"};
  if (std::find(std::begin(kOwn), std::end(kOwn), k) != std::end(kOwn)) return true;
  return startsWith(k, "Bone") || startsWith(k, "IK") || startsWith(k, "Ctrl") ||
         startsWith(k, "PathAlign") || startsWith(k, "Spline");
}

// What Layout would show for a loaded object: the file's base name.
std::string objectName(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\:");
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  const std::size_t dot = path.rfind('.');
  if (dot != std::string_view::npos && dot > 0) path = path.substr(0, dot);
  return path.empty() ? "Object" : std::string(path);
}

class Reader {
public:
  Reader(const std::string& text, const std::string& file) : file_(file) { split(text); }

  Scene read() {
    header();
    for (std::size_t i = 2; i < n();) i = statement(i);
    if (pendingChannel_ >= 0) {
      fail(pendingLine_, "Channel " + std::to_string(pendingChannel_) +
                             " is not followed by an { Envelope block");
    }
    if (inMotion_) endMotion();
    for (std::size_t k = 0; k < doc_.items.size(); ++k) {
      doc_.items[k].end = k + 1 < doc_.items.size() ? doc_.items[k + 1].declLine : n();
    }
    LwsReading reading;
    reading.doc = std::move(doc_);
    reading.names = std::move(names_);
    reading.rawParents = std::move(rawParents_);
    reading.rawTargets = std::move(rawTargets_);
    reading.objectOrdinals = std::move(objectOrdinals_);
    reading.lightOrdinals = std::move(lightOrdinals_);
    reading.cameraOrdinals = std::move(cameraOrdinals_);
    std::copy(std::begin(currentOrdinals_), std::end(currentOrdinals_), reading.currentOrdinals);
    reading.currentFrame = currentFrame_;
    return buildLwsScene(std::move(reading), file_);
  }

private:
  [[noreturn]] void fail(std::size_t line, const std::string& message) const {
    throw SceneFileError(file_ + ":" + std::to_string(line + 1) + ": " + message);
  }

  std::size_t n() const { return doc_.lines.size(); }
  std::string_view line(std::size_t i) const { return doc_.lines[i]; }

  void split(const std::string& text) {
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      const bool last = end == std::string::npos;
      if (last) end = text.size();
      std::size_t content = end;
      while (content > start && text[content - 1] == '\r') --content;
      doc_.lines.push_back(text.substr(start, content - start));
      doc_.carriageReturns.push_back(static_cast<std::uint32_t>(end - content));
      start = last ? text.size() : end + 1;
    }
    doc_.finalNewline = !text.empty() && text.back() == '\n';
  }

  void header() {
    std::string_view first = n() > 0 ? line(0) : std::string_view();
    if (startsWith(first, "\xEF\xBB\xBF")) first.remove_prefix(3);
    if (trim(first) != "LWSC") fail(0, "not a LightWave scene: the first line must be LWSC");
    long long version = 0;
    if (n() < 2 || !lws::parseInteger(trim(line(1)), version)) {
      fail(1, "the second line must be the scene version, a whole number");
    }
    if (version < kFirstVersion) {
      fail(1, "scene version " + std::to_string(version) +
                  " is not supported: versions 1 and 2 use an older motion syntax; save the "
                  "scene from LightWave 6 or later (versions 3 to 8 are read)");
    }
    if (version > kLastVersion) {
      fail(1, "scene version " + std::to_string(version) +
                  " is newer than this reader knows "
                  "(versions 3 to 8 are read)");
    }
    doc_.version = static_cast<int>(version);
  }

  LwsItem* current() { return cur_ < doc_.items.size() ? &doc_.items[cur_] : nullptr; }
  void own(std::size_t i) {
    if (LwsItem* item = current()) item->lastOwn = i;
  }

  // Index of the line that closes the block opened at `open`.
  std::size_t skipBlock(std::size_t open) const {
    int depth = 1;
    for (std::size_t j = open + 1; j < n(); ++j) {
      const std::string_view t = trim(line(j));
      if (!t.empty() && t[0] == '{') {
        ++depth;
      } else if (t == "}" && --depth == 0) {
        return j;
      }
    }
    fail(open, "the block \"" + std::string(trim(line(open))) + "\" is never closed");
  }

  // Index of the EndPlugin line of the plug-in section starting at `open`. Its data is the
  // plug-in's own: only braces are counted, so that an EndPlugin inside a block is skipped.
  std::size_t skipPlugin(std::size_t open) const {
    int depth = 0;
    for (std::size_t j = open + 1; j < n(); ++j) {
      const std::string_view t = trim(line(j));
      if (!t.empty() && t[0] == '{') {
        ++depth;
      } else if (t == "}") {
        if (depth > 0) --depth;
      } else if (depth == 0 && t == "EndPlugin") {
        return j;
      }
    }
    fail(open, "the plug-in section \"" + std::string(trim(line(open))) +
                   "\" is never closed (no EndPlugin)");
  }

  double number(std::size_t i, std::string_view text, const char* what) const {
    double value = 0;
    if (!lws::parseNumber(text, value)) {
      fail(i, std::string(what) + ": \"" + std::string(text) + "\" is not a number");
    }
    return value;
  }

  long long integer(std::size_t i, std::string_view text, const char* what) const {
    long long value = 0;
    if (!lws::parseInteger(text, value)) {
      fail(i, std::string(what) + ": \"" + std::string(text) + "\" is not a whole number");
    }
    return value;
  }

  std::vector<double> numbers(std::size_t i, std::size_t count) const {
    const std::string_view k = keyword(line(i));
    const std::vector<std::string_view> w = words(afterKeyword(line(i)));
    if (w.size() != count) {
      fail(i, std::string(k) + " needs " + std::to_string(count) + " number" +
                  (count == 1 ? "" : "s") + ", found " + std::to_string(w.size()));
    }
    std::vector<double> out;
    for (std::string_view word : w) out.push_back(number(i, word, std::string(k).c_str()));
    return out;
  }

  Vec3 vec3(std::size_t i) const {
    const std::vector<double> v = numbers(i, 3);
    return {v[0], v[1], v[2]};
  }

  ItemId hex(std::size_t i, std::string_view text) {
    ItemId id = 0;
    if (!lws::parseHexId(text, id)) {
      fail(i, std::string(keyword(line(i))) + " needs a hex item id, not \"" + std::string(text) +
                  "\"");
    }
    if (!sawHexLetter_) {
      for (char c : text) {
        if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) {
          doc_.upperHex = c >= 'A' && c <= 'F';
          sawHexLetter_ = true;
          break;
        }
      }
    }
    return id;
  }

  std::size_t once(std::size_t already, std::size_t i) const {
    if (already != kNoLine) {
      fail(i, std::string(keyword(line(i))) + " appears twice for one item (also line " +
                  std::to_string(already + 1) + ")");
    }
    return i;
  }

  // --- statements ---

  std::size_t statement(std::size_t i) {
    const std::string_view t = trim(line(i));
    if (!t.empty() && t[0] == '{') {
      if (pendingChannel_ >= 0) return envelope(i) + 1;
      const std::size_t close = skipBlock(i);
      return close + 1;
    }
    if (t == "}") fail(i, "\"}\" closes no block");
    if (t.empty()) return i + 1;  // blank lines are only cosmetic
    if (pendingChannel_ >= 0) {
      fail(pendingLine_, "Channel " + std::to_string(pendingChannel_) +
                             " is not followed by an { Envelope block");
    }
    const std::string_view k = keyword(t);
    if (k == "Plugin") {
      const std::size_t close = skipPlugin(i);
      doc_.plugins.emplace_back(i, close);
      // Motion modifiers are the item's own; other plug-ins (deformers, ...) the object's.
      const std::vector<std::string_view> w = words(afterKeyword(t));
      if (!w.empty() && w[0] == "ItemMotionHandler") own(close);
      return close + 1;
    }
    if (inMotion_) {
      if (k == "NumChannels" || k == "Channel") {
        own(i);
        motionLine(i, k, afterKeyword(t));
        return i + 1;
      }
      endMotion();
    }
    // Kept as text, such a line would join the motion a run may give the item.
    if (k == "NumChannels" || k == "Channel") {
      fail(i, std::string(k) + " outside a motion block (no motion line before it)");
    }
    keywordLine(i, k, afterKeyword(line(i)));  // untrimmed: a name keeps its spaces
    return i + 1;
  }

  void keywordLine(std::size_t i, std::string_view k, std::string_view rest) {
    if (k == "LoadObjectLayer") return loadObject(i, rest, true);
    if (k == "LoadObject") return loadObject(i, rest, false);
    if (k == "AddNullObject") return addNull(i, rest);
    if (k == "AddBone") return declareSimple(i, ItemType::Bone, rest);
    if (k == "AddLight") return declareSimple(i, ItemType::Light, rest);
    if (k == "AddCamera") return declareSimple(i, ItemType::Camera, rest);

    if (k == "CurrentFrame") {
      doc_.currentFrameLine = i;
      currentFrame_ = number(i, trim(rest), "CurrentFrame");
      return;
    }
    if (k == "FramesPerSecond") {
      doc_.framesPerSecond = number(i, trim(rest), "FramesPerSecond");
      if (!(doc_.framesPerSecond > 0)) fail(i, "FramesPerSecond must be above 0");
      return;
    }
    const std::string_view kinds[3] = {"CurrentObject", "CurrentLight", "CurrentCamera"};
    for (int kind = 0; kind < 3; ++kind) {
      if (k == kinds[kind]) {
        long long ordinal = 0;
        // A value not understood stays as written.
        if (lws::parseInteger(trim(rest), ordinal)) {
          doc_.currentLines[kind] = i;
          currentOrdinals_[kind] = ordinal;
        }
        return;
      }
    }

    LwsItem* item = current();
    if (!item) return;  // scene-level line
    if (isOwnKeyword(k)) own(i);

    if (item->type == ItemType::Bone) {
      if (boneLine(i, *item, k, rest)) return;
    } else if (item->type == ItemType::Object && objectBoneLine(i, *item, k, rest)) {
      return;
    }
    if ((k == "LightName" && item->type == ItemType::Light) ||
        (k == "CameraName" && item->type == ItemType::Camera)) {
      item->nameLine = once(item->nameLine, i);
      if (!rest.empty()) names_[cur_] = std::string(rest);
      return;
    }
    if (k == "ShowObject" || k == "ShowBone" || k == "ShowLight" || k == "ShowCamera") {
      item->showLine = i;
    } else if (k == "ObjectMotion" || k == "BoneMotion" || k == "LightMotion" ||
               k == "CameraMotion") {
      item->motionLine = once(item->motionLine, i);
      inMotion_ = true;
    } else if (k == "PivotPosition") {
      item->pivotLine = once(item->pivotLine, i);
      item->pivot = vec3(i);
    } else if (k == "PivotRotation") {
      item->pivotRotationLine = once(item->pivotRotationLine, i);
      const Vec3 d = vec3(i);
      item->pivotRotation = {lwsRadians(d[0]), lwsRadians(d[1]), lwsRadians(d[2])};
    } else if (k == "ParentItem") {
      item->parentLine = once(item->parentLine, i);
      rawParents_[cur_] = hex(i, trim(rest));
    } else if (k == "TargetItem") {
      ItemId id = 0;
      if (lws::parseHexId(trim(rest), id)) {
        item->targetLine = once(item->targetLine, i);
        rawTargets_[cur_] = id;
      }
    } else if (k == "GoalObject") {
      item->goalLine = once(item->goalLine, i);
    }
  }

  // Bone values; false for lines that are not bone values.
  // The settings an object gives all of its bones. Values outside what Layout offers are
  // refused rather than read as something else.
  bool objectBoneLine(std::size_t i, LwsItem& object, std::string_view k, std::string_view rest) {
    ObjectBoneSettings& s = object.boneSettings;
    if (k == "UseBonesFrom") {
      ItemId id = 0;
      if (!lws::parseHexId(trim(rest), id)) fail(i, "UseBonesFrom needs an item id");
      s.bonesFromOtherObject = true;
      object.useBonesFromWritten = id;
      return true;
    }
    if (k != "BoneFalloffType" && k != "FasterBones" && k != "BoneMode" && k != "NumLimitedBones") {
      return false;
    }
    object.boneSettingsLine = i;
    const long long value = integer(i, trim(rest), std::string(k).c_str());
    if (k == "BoneFalloffType") {
      if (value < 1 || value > 8) fail(i, "BoneFalloffType must be from 1 to 8");
      s.falloffType = static_cast<int>(value);
    } else if (k == "FasterBones") {
      s.fasterBones = value != 0;
    } else if (k == "BoneMode") {
      if (value < kBoneModeFull || value > kBoneModeLimited) fail(i, "BoneMode must be 0, 1 or 2");
      s.boneMode = static_cast<int>(value);
    } else {
      if (value < 1 || value > 1000000) fail(i, "NumLimitedBones must be from 1 to 1000000");
      s.numLimitedBones = static_cast<int>(value);
    }
    return true;
  }

  bool boneLine(std::size_t i, LwsItem& bone, std::string_view k, std::string_view rest) {
    if (k == "BoneName") {
      bone.nameLine = once(bone.nameLine, i);
      if (!rest.empty()) names_[cur_] = std::string(rest);
    } else if (k == "BoneActive") {
      bone.activeLine = once(bone.activeLine, i);
      bone.active = integer(i, trim(rest), "BoneActive") != 0;
    } else if (k == "BoneRestPosition") {
      bone.restPositionLine = once(bone.restPositionLine, i);
      bone.restPosition = vec3(i);
    } else if (k == "BoneRestDirection") {
      bone.restDirectionLine = once(bone.restDirectionLine, i);
      const Vec3 d = vec3(i);
      bone.restRotation = {lwsRadians(d[0]), lwsRadians(d[1]), lwsRadians(d[2])};
    } else if (k == "BoneRestLength") {
      bone.restLengthLine = once(bone.restLengthLine, i);
      bone.restLength = numbers(i, 1)[0];
    } else if (k == "BoneStrength") {
      bone.strengthLine = once(bone.strengthLine, i);
      bone.strength = numbers(i, 1)[0];
    } else if (k == "ScaleBoneStrength") {
      bone.scaleStrengthLine = once(bone.scaleStrengthLine, i);
      bone.scaleStrength = integer(i, trim(rest), "ScaleBoneStrength") != 0;
    } else if (k == "BoneType") {
      const long long type = integer(i, trim(rest), "BoneType");
      if (type != kBoneTypeZAxis && type != kBoneTypeJoint) fail(i, "BoneType must be 0 or 1");
      bone.boneType = static_cast<int>(type);
    } else {
      return deformationLine(i, bone, k, rest);
    }
    return true;
  }

  // The weight map, range and compensation lines. Layout writes the joint-compensation and
  // muscle-flex lines only when the option is on, each with its amount (1 is 100%).
  bool deformationLine(std::size_t i, LwsItem& bone, std::string_view k, std::string_view rest) {
    BoneDeformation& d = bone.deformation;
    if (k == "BoneWeightMapName") {
      bone.weightMapLine = once(bone.weightMapLine, i);
      d.weightMap = std::string(trim(rest));
    } else if (k == "BoneWeightMapOnly") {
      bone.weightMapOnlyLine = once(bone.weightMapOnlyLine, i);
      d.weightMapOnly = integer(i, trim(rest), "BoneWeightMapOnly") != 0;
    } else if (k == "BoneNormalization") {
      bone.normalizationLine = once(bone.normalizationLine, i);
      d.normalization = integer(i, trim(rest), "BoneNormalization") != 0;
    } else if (k == "BoneLimitedRange") {
      bone.limitedRangeLine = once(bone.limitedRangeLine, i);
      d.limitedRange = integer(i, trim(rest), "BoneLimitedRange") != 0;
    } else if (k == "BoneMinRange") {
      bone.minRangeLine = once(bone.minRangeLine, i);
      d.minRange = numbers(i, 1)[0];
    } else if (k == "BoneMaxRange") {
      bone.maxRangeLine = once(bone.maxRangeLine, i);
      d.maxRange = numbers(i, 1)[0];
    } else if (k == "BoneJointComp") {
      bone.jointCompLine = once(bone.jointCompLine, i);
      d.jointComp = true;
      d.jointCompSelfAmount = numbers(i, 1)[0];
    } else if (k == "BoneJointCompParent") {
      bone.jointCompParentLine = once(bone.jointCompParentLine, i);
      d.jointCompParent = true;
      d.jointCompParentAmount = numbers(i, 1)[0];
    } else if (k == "BoneMuscleFlex") {
      bone.muscleFlexLine = once(bone.muscleFlexLine, i);
      d.muscleFlex = true;
      d.muscleFlexSelfAmount = numbers(i, 1)[0];
    } else if (k == "BoneMuscleFlexParent") {
      bone.muscleFlexParentLine = once(bone.muscleFlexParentLine, i);
      d.muscleFlexParent = true;
      d.muscleFlexParentAmount = numbers(i, 1)[0];
    } else {
      return false;
    }
    return true;
  }

  // --- declarations ---

  ItemId givenId(std::size_t i, std::string_view text, ItemType type) {
    const ItemId id = hex(i, text);
    if (id >> 28 != static_cast<ItemId>(type) + 1) {
      fail(i, std::string(keyword(line(i))) + " " + std::string(text) + ": a " +
                  itemTypeWord(type) + " id starts with " +
                  std::to_string(static_cast<int>(type) + 1));
    }
    return id;
  }

  // Splits `rest` into `count` single-space-separated fields and the remainder.
  static bool fields(std::string_view rest, std::size_t count, std::vector<std::string_view>& out,
                     std::string_view& remainder) {
    out.clear();
    for (std::size_t f = 0; f < count; ++f) {
      const std::size_t space = rest.find(' ');
      const std::string_view field = rest.substr(0, space);
      if (field.empty()) return false;
      out.push_back(field);
      rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
    }
    remainder = rest;
    return true;
  }

  void loadObject(std::size_t i, std::string_view rest, bool layered) {
    const bool withId = doc_.version >= 4;
    const std::size_t count = (layered ? 1 : 0) + (withId ? 1 : 0);
    std::vector<std::string_view> f;
    std::string_view path;
    if (!fields(rest, count, f, path) || path.empty()) {
      fail(i, std::string(layered ? "LoadObjectLayer" : "LoadObject") + " needs " +
                  (layered ? "a layer, " : "") + (withId ? "an id and " : "") + "a file name");
    }
    long long layer = 1;
    if (layered) {
      layer = integer(i, f[0], "LoadObjectLayer layer");
      // Scenes count an object file's layers from 1, as the JSON form does.
      if (layer < 1 || layer > kLastLayer) {
        fail(i, "LoadObjectLayer layer " + std::to_string(layer) + " is not a layer number");
      }
    }
    declare(i, ItemType::Object, withId ? givenId(i, f.back(), ItemType::Object) : 0,
            objectName(path));
    LwsItem& object = doc_.items.back();
    object.objectFile = std::string(path);
    object.objectLayer = static_cast<int>(layer);
    object.objectLayerGiven = layered;
  }

  void addNull(std::size_t i, std::string_view rest) {
    std::string_view name = rest;
    ItemId id = 0;
    if (doc_.version >= 4) {
      std::vector<std::string_view> f;
      if (!fields(rest, 1, f, name)) fail(i, "AddNullObject needs an id and a name");
      id = givenId(i, f[0], ItemType::Object);
    }
    declare(i, ItemType::Object, id, name.empty() ? "Null" : std::string(name));
  }

  void declareSimple(std::size_t i, ItemType type, std::string_view rest) {
    rest = trim(rest);
    const std::string k(keyword(line(i)));
    ItemId id = 0;
    if (doc_.version >= 4) {
      if (rest.empty()) fail(i, k + " needs the item's id from version 4 on");
      id = givenId(i, rest, type);
    } else if (!rest.empty()) {
      fail(i, k + " takes no id in a version-3 scene");
    }
    const char* name = type == ItemType::Bone    ? "Bone"
                       : type == ItemType::Light ? "Light"
                                                 : "Camera";
    declare(i, type, id, name);
  }

  void declare(std::size_t i, ItemType type, ItemId id, std::string name) {
    LwsItem item;
    item.type = type;
    item.declLine = i;
    item.lastOwn = i;
    if (type == ItemType::Bone) {
      if (curObject_ == kNoLine) fail(i, "AddBone before any object: a bone belongs to an object");
      // Bones are listed inside their object's section; writing keeps them there, so one
      // that follows a light or camera would move and renumber.
      const LwsItem& previous = doc_.items.back();
      if (previous.type == ItemType::Light || previous.type == ItemType::Camera) {
        fail(i, std::string("AddBone after ") +
                    (previous.type == ItemType::Light ? "a light" : "a camera") + " (line " +
                    std::to_string(previous.declLine + 1) +
                    "): a bone must follow its object's lines");
      }
      item.owner = doc_.items[curObject_].id;
    }
    if (id == 0) id = layoutId(i, type);  // version 3: numbered by order
    const auto [at, added] = doc_.byId.emplace(id, doc_.items.size());
    if (!added) {
      fail(i, "item id " + lws::hexId(id, doc_.upperHex) + " is declared twice (also line " +
                  std::to_string(doc_.items[at->second].declLine + 1) + ")");
    }
    item.id = id;
    cur_ = doc_.items.size();
    if (type == ItemType::Object) {
      curObject_ = cur_;
      objectOrdinals_.push_back(id);
    }
    if (type == ItemType::Light) lightOrdinals_.push_back(id);
    if (type == ItemType::Camera) cameraOrdinals_.push_back(id);
    doc_.items.push_back(item);
    names_.push_back(std::move(name));
    rawParents_.push_back(0);
    rawTargets_.push_back(0);
  }

  // The id Layout gives the next item of this kind in a version-3 file.
  ItemId layoutId(std::size_t i, ItemType type) {
    switch (type) {
      case ItemType::Object: return 0x10000000u | static_cast<ItemId>(objectOrdinals_.size());
      case ItemType::Light: return 0x20000000u | static_cast<ItemId>(lightOrdinals_.size());
      case ItemType::Camera: return 0x30000000u | static_cast<ItemId>(cameraOrdinals_.size());
      case ItemType::Bone: break;
    }
    const std::size_t object = objectOrdinals_.size() - 1;
    std::size_t& bones = bonesPerObject_[object];
    if (bones >= 0x1000 || object >= 0x10000) {
      fail(i,
           "this bone cannot be numbered: Layout's ids hold 4096 bones in each of the "
           "first 65536 objects");
    }
    return 0x40000000u | static_cast<ItemId>(bones++ << 16) | static_cast<ItemId>(object);
  }

  // --- motion ---

  void endMotion() {
    inMotion_ = false;
    LwsItem& item = *current();
    if (item.numChannelsLine == kNoLine) {
      fail(item.motionLine, "the motion has no NumChannels line");
    }
    if (static_cast<int>(item.channels.size()) != item.numChannels) {
      fail(item.numChannelsLine, "NumChannels says " + std::to_string(item.numChannels) +
                                     " channels but " + std::to_string(item.channels.size()) +
                                     " follow");
    }
  }

  void motionLine(std::size_t i, std::string_view k, std::string_view rest) {
    LwsItem& item = *current();
    if (k == "NumChannels") {
      if (item.numChannelsLine != kNoLine || !item.channels.empty()) {
        fail(i, "NumChannels must come once, right after the motion line");
      }
      const long long count = integer(i, trim(rest), "NumChannels");
      if (count < 0 || count > 64) fail(i, "NumChannels must be 0 to 64");
      item.numChannelsLine = i;
      item.numChannels = static_cast<int>(count);
      return;
    }
    // "Channel i"
    if (item.numChannelsLine == kNoLine) fail(i, "Channel before NumChannels");
    const long long index = integer(i, trim(rest), "Channel");
    if (index < 0 || index >= item.numChannels) {
      fail(i, "Channel " + std::to_string(index) + " is outside NumChannels " +
                  std::to_string(item.numChannels));
    }
    for (const LwsChannel& c : item.channels) {
      if (c.index == index) fail(i, "Channel " + std::to_string(index) + " appears twice");
    }
    pendingChannel_ = static_cast<int>(index);
    pendingLine_ = i;
  }

  // Reads the Envelope block at `open` for the pending channel; returns its closing line.
  std::size_t envelope(std::size_t open) {
    const std::string where = "the Envelope of Channel " + std::to_string(pendingChannel_);
    if (trim(line(open)) != "{ Envelope") {
      fail(open, "Channel " + std::to_string(pendingChannel_) +
                     " is followed by a block that is not an Envelope");
    }
    LwsChannel ch;
    ch.index = pendingChannel_;
    ch.channelLine = pendingLine_;
    ch.openLine = open;
    pendingChannel_ = -1;
    long long count = -1;
    for (std::size_t j = open + 1; j < n(); ++j) {
      const std::string_view t = trim(line(j));
      if (t.empty()) continue;
      if (t[0] == '{') {
        j = skipBlock(j);
        continue;
      }
      if (t == "}") {
        ch.closeLine = j;
        break;
      }
      const std::string_view k = keyword(t);
      if (k == "Plugin") {
        const std::size_t close = skipPlugin(j);
        doc_.plugins.emplace_back(j, close);
        j = close;
        continue;
      }
      if (count < 0) {
        if (!lws::parseInteger(t, count) || count < 0) {
          fail(j, where + " must start with its key count, not \"" + std::string(t) + "\"");
        }
        ch.countLine = j;
      } else if (k == "Key") {
        ch.keys.push_back(key(j));
        ch.keyLines.push_back(j);
        if (ch.keys.size() > 1 && !(ch.keys[ch.keys.size() - 2].time < ch.keys.back().time)) {
          fail(j, "key times must increase (" + lws::number(ch.keys.back().time) + " follows " +
                      lws::number(ch.keys[ch.keys.size() - 2].time) + ")");
        }
      } else if (k == "Behaviors") {
        const std::vector<double> v = numbers(j, 2);
        for (double b : v) {
          if (!isIndexBelow(b, kEndBehaviorCount)) {
            fail(j, "Behaviors: " + lws::number(b) + " is not a behaviour (0 to 5)");
          }
        }
        ch.behaviors = {static_cast<std::uint8_t>(v[0]), static_cast<std::uint8_t>(v[1])};
        ch.behaviorsLine = j;
      }
    }
    if (ch.closeLine == kNoLine) {
      fail(open, where + " is never closed (no \"}\")");
    }
    if (count < 0) fail(ch.closeLine, where + " has no key count");
    if (static_cast<long long>(ch.keys.size()) != count) {
      fail(ch.countLine, where + " says " + std::to_string(count) + " key" +
                             (count == 1 ? "" : "s") + " but has " +
                             std::to_string(ch.keys.size()));
    }
    own(ch.closeLine);
    current()->channels.push_back(std::move(ch));
    return current()->channels.back().closeLine;
  }

  Key key(std::size_t i) const {
    const std::vector<std::string_view> w = words(afterKeyword(trim(line(i))));
    if (w.size() != 9) {
      fail(i, "a Key line needs 9 numbers (value, time, span type, 6 parameters), found " +
                  std::to_string(w.size()));
    }
    double v[9];
    for (int f = 0; f < 9; ++f) v[f] = number(i, w[static_cast<std::size_t>(f)], "Key");
    if (!isIndexBelow(v[2], kSpanTypeCount)) {
      fail(i, "Key: span type " + std::string(w[2]) + " is not one of 0 to 5");
    }
    Key k{v[1], v[0]};
    k.span = static_cast<int>(v[2]);
    for (int p = 0; p < 6; ++p) k.params[static_cast<std::size_t>(p)] = v[3 + p];
    return k;
  }

  const std::string& file_;
  LwsDocument doc_;
  std::size_t cur_ = kNoLine;        // the item declared last
  std::size_t curObject_ = kNoLine;  // the object declared last
  bool inMotion_ = false;
  int pendingChannel_ = -1;  // a Channel line waiting for its Envelope block
  std::size_t pendingLine_ = 0;
  bool sawHexLetter_ = false;
  double currentFrame_ = 0;
  long long currentOrdinals_[3] = {-1, -1, -1};
  std::vector<std::string> names_;  // per item
  std::vector<ItemId> rawParents_, rawTargets_;
  std::vector<ItemId> objectOrdinals_, lightOrdinals_, cameraOrdinals_;
  std::unordered_map<std::size_t, std::size_t> bonesPerObject_;
};

}  // namespace

Scene sceneFromLws(const std::string& text, const std::string& fileName) {
  return Reader(text, fileName).read();
}

}  // namespace standin
