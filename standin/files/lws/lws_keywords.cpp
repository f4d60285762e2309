// The keyword lines of a .lws file the reader understands, as a table: which item each is
// about, where the item keeps the line, the form of its value and what it sets. A line whose
// keyword is not in the table, or that is about another kind of item than the current one,
// is kept as text and not read.
#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>

#include "standin/files/lws/lws_line_reader.h"
#include "standin/files/lws/lws_text.h"
#include "standin/scene/bone_settings.h"

namespace standin {
namespace {

using lws::trim;

// Object files number their layers with two bytes; scenes count them from 1.
constexpr long long kLastLayer = 0x10000;

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

// --- declarations ---

ItemId givenId(LwsLineReader& r, std::size_t i, std::string_view text, ItemType type) {
  const ItemId id = r.hex(i, text);
  if (id >> 28 != static_cast<ItemId>(type) + 1) {
    r.fail(i, std::string(lws::keyword(r.line(i))) + " " + std::string(text) + ": a " +
                  itemTypeWord(type) + " id starts with " +
                  std::to_string(static_cast<int>(type) + 1));
  }
  return id;
}

// Splits `rest` into `count` single-space-separated fields and the remainder.
bool fields(std::string_view rest, std::size_t count, std::vector<std::string_view>& out,
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

// The id Layout gives the next item of this kind in a version-3 file.
ItemId layoutId(LwsLineReader& r, std::size_t i, ItemType type) {
  const LwsReading& g = r.reading;
  switch (type) {
    case ItemType::Object: return 0x10000000u | static_cast<ItemId>(g.objectOrdinals.size());
    case ItemType::Light: return 0x20000000u | static_cast<ItemId>(g.lightOrdinals.size());
    case ItemType::Camera: return 0x30000000u | static_cast<ItemId>(g.cameraOrdinals.size());
    case ItemType::Bone: break;
  }
  const std::size_t object = g.objectOrdinals.size() - 1;
  std::size_t& bones = r.bonesPerObject[object];
  if (bones >= 0x1000 || object >= 0x10000) {
    r.fail(i,
           "this bone cannot be numbered: Layout's ids hold 4096 bones in each of the "
           "first 65536 objects");
  }
  return 0x40000000u | static_cast<ItemId>(bones++ << 16) | static_cast<ItemId>(object);
}

void declare(LwsLineReader& r, std::size_t i, ItemType type, ItemId id, std::string name) {
  LwsDocument& doc = r.doc();
  LwsItem item;
  item.type = type;
  item.declLine = i;
  item.lastOwn = i;
  if (type == ItemType::Bone) {
    if (r.curObject == kNoLine) {
      r.fail(i, "AddBone before any object: a bone belongs to an object");
    }
    // Bones are listed inside their object's section; writing keeps them there, so one
    // that follows a light or camera would move and renumber.
    const LwsItem& previous = doc.items.back();
    if (previous.type == ItemType::Light || previous.type == ItemType::Camera) {
      r.fail(i, std::string("AddBone after ") +
                    (previous.type == ItemType::Light ? "a light" : "a camera") + " (line " +
                    std::to_string(previous.declLine + 1) +
                    "): a bone must follow its object's lines");
    }
    item.owner = doc.items[r.curObject].id;
  }
  if (id == 0) id = layoutId(r, i, type);  // version 3: numbered by order
  const auto [at, added] = doc.byId.emplace(id, doc.items.size());
  if (!added) {
    r.fail(i, "item id " + lws::hexId(id, doc.upperHex) + " is declared twice (also line " +
                  std::to_string(doc.items[at->second].declLine + 1) + ")");
  }
  item.id = id;
  r.cur = doc.items.size();
  LwsReading& g = r.reading;
  if (type == ItemType::Object) {
    r.curObject = r.cur;
    g.objectOrdinals.push_back(id);
  }
  if (type == ItemType::Light) g.lightOrdinals.push_back(id);
  if (type == ItemType::Camera) g.cameraOrdinals.push_back(id);
  doc.items.push_back(item);
  g.names.push_back(std::move(name));
  g.rawParents.push_back(0);
  g.rawTargets.push_back(0);
}

void loadObject(LwsLineReader& r, std::size_t i, std::string_view rest, bool layered) {
  const bool withId = r.doc().version >= 4;
  const std::size_t count = (layered ? 1 : 0) + (withId ? 1 : 0);
  std::vector<std::string_view> f;
  std::string_view path;
  if (!fields(rest, count, f, path) || path.empty()) {
    r.fail(i, std::string(layered ? "LoadObjectLayer" : "LoadObject") + " needs " +
                  (layered ? "a layer, " : "") + (withId ? "an id and " : "") + "a file name");
  }
  long long layer = 1;
  if (layered) {
    layer = r.integer(i, f[0], "LoadObjectLayer layer");
    // Scenes count an object file's layers from 1, as the JSON form does.
    if (layer < 1 || layer > kLastLayer) {
      r.fail(i, "LoadObjectLayer layer " + std::to_string(layer) + " is not a layer number");
    }
  }
  declare(r, i, ItemType::Object, withId ? givenId(r, i, f.back(), ItemType::Object) : 0,
          objectName(path));
  LwsItem& object = r.doc().items.back();
  object.objectFile = std::string(path);
  object.objectLayer = static_cast<int>(layer);
  object.objectLayerGiven = layered;
}

void addNull(LwsLineReader& r, std::size_t i, std::string_view rest) {
  std::string_view name = rest;
  ItemId id = 0;
  if (r.doc().version >= 4) {
    std::vector<std::string_view> f;
    if (!fields(rest, 1, f, name)) r.fail(i, "AddNullObject needs an id and a name");
    id = givenId(r, i, f[0], ItemType::Object);
  }
  declare(r, i, ItemType::Object, id, name.empty() ? "Null" : std::string(name));
}

void declareSimple(LwsLineReader& r, std::size_t i, ItemType type, std::string_view rest) {
  rest = trim(rest);
  const std::string k(lws::keyword(r.line(i)));
  ItemId id = 0;
  if (r.doc().version >= 4) {
    if (rest.empty()) r.fail(i, k + " needs the item's id from version 4 on");
    id = givenId(r, i, rest, type);
  } else if (!rest.empty()) {
    r.fail(i, k + " takes no id in a version-3 scene");
  }
  const char* name = type == ItemType::Bone ? "Bone" : type == ItemType::Light ? "Light" : "Camera";
  declare(r, i, type, id, name);
}

// --- the table ---

// What a line is about: the scene, whatever item is current, or one kind of item.
enum class About { Scene, Item, Object, Bone, Light, Camera };

// The form of a line's value, read before the line's own reading sees it.
enum class Form {
  Text,    // the rest of the line as it is
  Scalar,  // one number: the rest of the line, trimmed
  Whole,   // one whole number: the rest of the line, trimmed
  Number,  // exactly one number after the keyword
  Three,   // exactly three numbers after the keyword
  Hex,     // an item id in hex
};

// Where the item keeps the line: `Once` refuses a second such line for one item.
enum class Keep { Not, Last, Once };

struct Value {
  std::string_view text;  // the rest of the line, untrimmed
  double number = 0;      // Scalar, Number
  long long whole = 0;    // Whole
  Vec3 v{0, 0, 0};        // Three
  ItemId id = 0;          // Hex
};

struct Line {
  LwsLineReader& r;
  std::size_t i;
  std::string_view keyword;
  LwsItem* item;  // null for lines about the scene before any item
};

using Read = void (*)(const Line&, const Value&);

struct Rule {
  std::string_view keyword;
  About about;
  Form form;
  Keep keep;
  std::size_t LwsItem::*line;
  Read read;
};

Vec3 radians(const Vec3& degrees) {
  return {toRadians(degrees[0]), toRadians(degrees[1]), toRadians(degrees[2])};
}

LwsItem& subject(const Line& l) { return *l.item; }

// The settings an object gives all of its bones. Values outside what Layout offers are
// refused rather than read as something else.
void boneSetting(const Line& l, const Value& v) {
  ObjectBoneSettings& s = subject(l).boneSettings;
  const long long value = v.whole;
  if (l.keyword == "BoneFalloffType") {
    if (value < 1 || value > 8) l.r.fail(l.i, "BoneFalloffType must be from 1 to 8");
    s.falloffType = static_cast<int>(value);
  } else if (l.keyword == "FasterBones") {
    s.fasterBones = value != 0;
  } else if (l.keyword == "BoneMode") {
    if (value < kBoneModeFull || value > kBoneModeLimited) {
      l.r.fail(l.i, "BoneMode must be 0, 1 or 2");
    }
    s.boneMode = static_cast<int>(value);
  } else {
    if (value < 1 || value > 1000000) l.r.fail(l.i, "NumLimitedBones must be from 1 to 1000000");
    s.numLimitedBones = static_cast<int>(value);
  }
}

void readName(const Line& l, const Value& v) {
  if (!v.text.empty()) l.r.reading.names[l.r.cur] = std::string(v.text);
}

void currentOf(const Line& l, const Value& v, int kind) {
  long long ordinal = 0;
  // A value not understood stays as written.
  if (lws::parseInteger(trim(v.text), ordinal)) {
    l.r.doc().currentLines[kind] = l.i;
    l.r.reading.currentOrdinals[kind] = ordinal;
  }
}

const Rule kRules[] = {
    // Declarations and scene settings.
    {"LoadObjectLayer", About::Scene, Form::Text, Keep::Not, nullptr,
     [](const Line& l, const Value& v) { loadObject(l.r, l.i, v.text, true); }},
    {"LoadObject", About::Scene, Form::Text, Keep::Not, nullptr,
     [](const Line& l, const Value& v) { loadObject(l.r, l.i, v.text, false); }},
    {"AddNullObject", About::Scene, Form::Text, Keep::Not, nullptr,
     [](const Line& l, const Value& v) { addNull(l.r, l.i, v.text); }},
    {"AddBone", About::Scene, Form::Text, Keep::Not, nullptr,
     [](const Line& l, const Value& v) { declareSimple(l.r, l.i, ItemType::Bone, v.text); }},
    {"AddLight", About::Scene, Form::Text, Keep::Not, nullptr,
     [](const Line& l, const Value& v) { declareSimple(l.r, l.i, ItemType::Light, v.text); }},
    {"AddCamera", About::Scene, Form::Text, Keep::Not, nullptr,
     [](const Line& l, const Value& v) { declareSimple(l.r, l.i, ItemType::Camera, v.text); }},
    {"CurrentFrame", About::Scene, Form::Scalar, Keep::Not, nullptr,
     [](const Line& l, const Value& v) {
       l.r.doc().currentFrameLine = l.i;
       l.r.reading.currentFrame = v.number;
     }},
    {"FramesPerSecond", About::Scene, Form::Scalar, Keep::Not, nullptr,
     [](const Line& l, const Value& v) {
       if (!(v.number > 0)) l.r.fail(l.i, "FramesPerSecond must be above 0");
       l.r.doc().framesPerSecond = v.number;
     }},
    {"CurrentObject", About::Scene, Form::Text, Keep::Not, nullptr,
     [](const Line& l, const Value& v) { currentOf(l, v, 0); }},
    {"CurrentLight", About::Scene, Form::Text, Keep::Not, nullptr,
     [](const Line& l, const Value& v) { currentOf(l, v, 1); }},
    {"CurrentCamera", About::Scene, Form::Text, Keep::Not, nullptr,
     [](const Line& l, const Value& v) { currentOf(l, v, 2); }},

    // Any item.
    {"ShowObject", About::Item, Form::Text, Keep::Last, &LwsItem::showLine, nullptr},
    {"ShowBone", About::Item, Form::Text, Keep::Last, &LwsItem::showLine, nullptr},
    {"ShowLight", About::Item, Form::Text, Keep::Last, &LwsItem::showLine, nullptr},
    {"ShowCamera", About::Item, Form::Text, Keep::Last, &LwsItem::showLine, nullptr},
    {"ObjectMotion", About::Item, Form::Text, Keep::Once, &LwsItem::motionLine,
     [](const Line& l, const Value&) { l.r.inMotion = true; }},
    {"BoneMotion", About::Item, Form::Text, Keep::Once, &LwsItem::motionLine,
     [](const Line& l, const Value&) { l.r.inMotion = true; }},
    {"LightMotion", About::Item, Form::Text, Keep::Once, &LwsItem::motionLine,
     [](const Line& l, const Value&) { l.r.inMotion = true; }},
    {"CameraMotion", About::Item, Form::Text, Keep::Once, &LwsItem::motionLine,
     [](const Line& l, const Value&) { l.r.inMotion = true; }},
    {"PivotPosition", About::Item, Form::Three, Keep::Once, &LwsItem::pivotLine,
     [](const Line& l, const Value& v) { subject(l).pivot = v.v; }},
    {"PivotRotation", About::Item, Form::Three, Keep::Once, &LwsItem::pivotRotationLine,
     [](const Line& l, const Value& v) { subject(l).pivotRotation = radians(v.v); }},
    {"ParentItem", About::Item, Form::Hex, Keep::Once, &LwsItem::parentLine,
     [](const Line& l, const Value& v) { l.r.reading.rawParents[l.r.cur] = v.id; }},
    // A target not understood stays as written.
    {"TargetItem", About::Item, Form::Text, Keep::Not, nullptr,
     [](const Line& l, const Value& v) {
       ItemId id = 0;
       if (!lws::parseHexId(trim(v.text), id)) return;
       subject(l).targetLine = l.r.once(subject(l).targetLine, l.i);
       l.r.reading.rawTargets[l.r.cur] = id;
     }},
    {"GoalObject", About::Item, Form::Text, Keep::Once, &LwsItem::goalLine, nullptr},

    // Lights and cameras.
    {"LightName", About::Light, Form::Text, Keep::Once, &LwsItem::nameLine, readName},
    {"CameraName", About::Camera, Form::Text, Keep::Once, &LwsItem::nameLine, readName},

    // Objects: the settings for all of their bones.
    {"UseBonesFrom", About::Object, Form::Text, Keep::Last, &LwsItem::boneSettingsLine,
     [](const Line& l, const Value& v) {
       ItemId id = 0;
       if (!lws::parseHexId(trim(v.text), id)) l.r.fail(l.i, "UseBonesFrom needs an item id");
       subject(l).boneSettings.bonesFromOtherObject = true;
       subject(l).useBonesFromWritten = id;
     }},
    {"BoneFalloffType", About::Object, Form::Whole, Keep::Last, &LwsItem::boneSettingsLine,
     boneSetting},
    {"FasterBones", About::Object, Form::Whole, Keep::Last, &LwsItem::boneSettingsLine,
     boneSetting},
    {"BoneMode", About::Object, Form::Whole, Keep::Last, &LwsItem::boneSettingsLine, boneSetting},
    {"NumLimitedBones", About::Object, Form::Whole, Keep::Last, &LwsItem::boneSettingsLine,
     boneSetting},

    // Bones.
    {"BoneName", About::Bone, Form::Text, Keep::Once, &LwsItem::nameLine, readName},
    {"BoneRestPosition", About::Bone, Form::Three, Keep::Once, &LwsItem::restPositionLine,
     [](const Line& l, const Value& v) { subject(l).restPosition = v.v; }},
    {"BoneRestDirection", About::Bone, Form::Three, Keep::Once, &LwsItem::restDirectionLine,
     [](const Line& l, const Value& v) { subject(l).restRotation = radians(v.v); }},
    {"BoneRestLength", About::Bone, Form::Number, Keep::Once, &LwsItem::restLengthLine,
     [](const Line& l, const Value& v) { subject(l).restLength = v.number; }},
    {"BoneType", About::Bone, Form::Whole, Keep::Not, nullptr,
     [](const Line& l, const Value& v) {
       if (v.whole != kBoneTypeZAxis && v.whole != kBoneTypeJoint) {
         l.r.fail(l.i, "BoneType must be 0 or 1");
       }
       subject(l).boneType = static_cast<int>(v.whole);
     }},
};

bool fits(About about, const LwsItem& item) {
  switch (about) {
    case About::Scene:
    case About::Item: return true;
    case About::Object: return item.type == ItemType::Object;
    case About::Bone: return item.type == ItemType::Bone;
    case About::Light: return item.type == ItemType::Light;
    case About::Camera: return item.type == ItemType::Camera;
  }
  return false;
}

Value readValue(LwsLineReader& r, std::size_t i, const Rule& rule, std::string_view rest) {
  Value v;
  v.text = rest;
  const std::string k(rule.keyword);
  switch (rule.form) {
    case Form::Text: break;
    case Form::Scalar: v.number = r.number(i, trim(rest), k.c_str()); break;
    case Form::Whole: v.whole = r.integer(i, trim(rest), k.c_str()); break;
    case Form::Number: v.number = r.numbers(i, 1)[0]; break;
    case Form::Three: v.v = r.vec3(i); break;
    case Form::Hex: v.id = r.hex(i, trim(rest)); break;
  }
  return v;
}

// A line of the bone settings table (bone_settings.h). Layout writes a flag that carries an
// amount only when the flag is on, so the line's being there turns it on.
void readBoneSetting(LwsLineReader& r, std::size_t i, const BoneSetting& s, LwsItem& bone,
                     std::string_view rest) {
  std::size_t& line = bone.settingLines[boneSettingIndex(s)];
  line = r.once(line, i);
  const std::string k(s.lws);
  switch (s.kind) {
    case BoneSettingKind::Name: bone.deformation.*s.name = std::string(trim(rest)); break;
    case BoneSettingKind::Flag: flagOf(s, bone) = r.integer(i, trim(rest), k.c_str()) != 0; break;
    case BoneSettingKind::Number: numberOf(s, bone) = r.numbers(i, 1)[0]; break;
    case BoneSettingKind::FlagAmount:
      numberOf(s, bone) = r.numbers(i, 1)[0];
      flagOf(s, bone) = true;
      break;
    case BoneSettingKind::AmountPair: break;  // carried by its flags' lines
  }
}

}  // namespace

void readKeywordLine(LwsLineReader& r, std::size_t i, std::string_view k, std::string_view rest) {
  const auto found = std::find_if(std::begin(kRules), std::end(kRules),
                                  [&](const Rule& rule) { return rule.keyword == k; });
  const Rule* rule = found == std::end(kRules) ? nullptr : &*found;
  if (rule && rule->about == About::Scene) {
    const std::size_t items = r.doc().items.size();
    rule->read(Line{r, i, k, r.current()}, readValue(r, i, *rule, rest));
    // A scene setting inside an item's section is not the item's: it stays when the item goes.
    if (r.doc().items.size() == items && r.current()) r.current()->sceneLines.push_back(i);
    return;
  }
  LwsItem* item = r.current();
  if (!item) return;  // a scene-level line
  if (rule && rule->about == About::Object && item->type == ItemType::Bone) {
    // Layout writes an object's bone settings before its first bone; one found after a bone
    // is still the object's, as a reader going line by line takes it. The line stays where
    // it is, and the writer keeps it when the bone goes.
    LwsItem& object = r.doc().items[r.curObject];
    item->objectLines.push_back(i);
    if (rule->read) rule->read(Line{r, i, k, &object}, readValue(r, i, *rule, rest));
    return;
  }
  if (isOwnKeyword(k)) r.own(i);
  if (const BoneSetting* setting = findBoneSetting(&BoneSetting::lws, k)) {
    if (item->type == ItemType::Bone) readBoneSetting(r, i, *setting, *item, rest);
    return;
  }
  if (!rule || !fits(rule->about, *item)) return;
  if (rule->keep == Keep::Once) {
    item->*rule->line = r.once(item->*rule->line, i);
  } else if (rule->keep == Keep::Last) {
    item->*rule->line = i;
  }
  const Value value = readValue(r, i, *rule, rest);
  if (rule->read) rule->read(Line{r, i, k, item}, value);
}

}  // namespace standin
