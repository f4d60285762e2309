// Scene files: the JSON form of a stand-in scene, read.
#include "standin/files/json/scene_json.h"
#include "standin/scene/auto_key.h"

#include "standin/files/base/name_bytes.h"
#include "standin/files/json/json_strict.h"
#include "standin/files/json/scene_json_parts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace standin {

namespace scene_json {

[[noreturn]] void fail(const std::string& message) { throw SceneFileError(message); }

std::string quote(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace scene_json

namespace {

using nlohmann::json;
using scene_json::fail;
using scene_json::isDeformationField;
using scene_json::isObjectBoneField;
using scene_json::kPi;
using scene_json::quote;
using scene_json::readDeformationField;
using scene_json::readObjectBoneField;

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

double toRadians(double degrees) { return degrees * (kPi / 180); }

// --- reading ---

// A vector part of a key: its three channels' values, where null means "no key here".
struct KeyPart {
  Vec3 values{0, 0, 0};
  std::array<bool, 3> absent{false, false, false};
};

struct KeySpec {
  double time = 0;
  std::optional<KeyPart> position, rotation, scale;  // rotation in radians
  std::array<int, kChannelCount> span;
  std::array<std::array<double, 6>, kChannelCount> params{};
  KeySpec() { span.fill(kSpanLinear); }
};

struct ItemSpec {
  std::string name;
  ItemType type = ItemType::Object;
  std::optional<std::string> parent;
  std::optional<Vec3> position, rotation, scale;  // rotation in radians
  Vec3 pivot{0, 0, 0};
  Vec3 pivotRotation{0, 0, 0};
  Vec3 restPosition{0, 0, 0};
  Vec3 restRotation{0, 0, 0};
  Vec3 restScale{1, 1, 1};
  double restLength = 1;
  double strength = 1;
  bool scaleStrength = true;
  bool active = true;
  BoneDeformation deformation;
  std::vector<KeySpec> keys;
  std::array<ChannelBehaviors, kChannelCount> behaviors{};
  std::optional<std::string> objectFile;    // objects: the object file it loads
  std::optional<int> objectLayer;           // and the layer, counted from 1
  ObjectBoneSettings boneSettings;          // objects
  std::optional<std::string> useBonesFrom;  // objects: the object whose bones deform it
  int boneType = kBoneTypeZAxis;            // bones
};

std::string itemPlace(std::size_t index, const std::string& name) {
  std::string place = "items[" + std::to_string(index) + "]";
  if (!name.empty()) place += " (" + quote(name) + ")";
  return place;
}

// A name is a JSON string, or {"bytes": "..."} for one that is not UTF-8 (base/name_bytes.h).
bool readName(const json& v, std::string& out) {
  if (v.is_string()) {
    out = v.get<std::string>();
    return true;
  }
  if (!v.is_object() || v.size() != 1) return false;
  const auto bytes = v.find("bytes");
  return bytes != v.end() && bytes->is_string() &&
         percentUnescapeBytes(bytes->get_ref<const std::string&>(), out);
}

const char* const kNameForms = "a string (or {\"bytes\": \"...\"} with %XX escapes)";

double readNumber(const json& v, const std::string& where, const std::string& field) {
  if (v.is_number()) {
    const double d = v.get<double>();
    if (std::isfinite(d)) return d;
  }
  fail(where + quote(field) + " must be a finite number");
}

Vec3 readVec3(const json& v, const std::string& where, const std::string& field) {
  bool ok = v.is_array() && v.size() == 3;
  Vec3 out{0, 0, 0};
  for (std::size_t i = 0; ok && i < 3; ++i) {
    ok = v[i].is_number() && std::isfinite(v[i].get<double>());
    if (ok) out[i] = v[i].get<double>();
  }
  if (!ok) fail(where + quote(field) + " must be an array of 3 finite numbers");
  return out;
}

Vec3 readAngles(const json& v, const std::string& where, const std::string& field) {
  Vec3 out = readVec3(v, where, field);
  for (double& a : out) a = toRadians(a);
  return out;
}

ItemType readType(const json& v, const std::string& where) {
  if (!v.is_string()) fail(where + "\"type\" must be a string");
  const std::string& text = v.get_ref<const std::string&>();
  for (ItemType t : {ItemType::Object, ItemType::Light, ItemType::Camera, ItemType::Bone}) {
    if (text == itemTypeWord(t)) return t;
  }
  fail(where + "unknown type " + quote(text) + " (expected object, light, camera or bone)");
}

KeyPart readKeyPart(const json& v, const std::string& where, const std::string& field,
                    bool angles) {
  bool ok = v.is_array() && v.size() == 3;
  KeyPart part;
  for (std::size_t i = 0; ok && i < 3; ++i) {
    if (v[i].is_null()) {
      part.absent[i] = true;
      continue;
    }
    ok = v[i].is_number() && std::isfinite(v[i].get<double>());
    if (ok) part.values[i] = angles ? toRadians(v[i].get<double>()) : v[i].get<double>();
  }
  if (!ok) fail(where + quote(field) + " must be an array of 3 finite numbers (or nulls)");
  return part;
}

int readSpan(const json& v, const std::string& where) {
  if (v.is_number_integer() && v.get<long long>() >= 0 && v.get<long long>() < kSpanTypeCount) {
    return static_cast<int>(v.get<long long>());
  }
  fail(where + "\"span\" must be a span type from 0 to 5 (or an array of 9 of them)");
}

std::array<double, 6> readParams(const json& v, const std::string& where) {
  std::array<double, 6> p{};
  bool ok = v.is_array() && v.size() == 6;
  for (std::size_t i = 0; ok && i < 6; ++i) {
    ok = v[i].is_number() && std::isfinite(v[i].get<double>());
    if (ok) p[i] = v[i].get<double>();
  }
  if (!ok) fail(where + "\"params\" must be 6 finite numbers (or an array of 9 such arrays)");
  return p;
}

// `value` or an array of 9 per-channel values (null for "as the default").
template <typename T, typename ReadOne>
void readPerChannel(const json& v, std::array<T, kChannelCount>& out, ReadOne readOne,
                    bool oneIsArray) {
  const bool perChannel = v.is_array() && v.size() == kChannelCount &&
                          (!oneIsArray || std::all_of(v.begin(), v.end(), [](const json& e) {
                            return e.is_array() || e.is_null();
                          }));
  if (!perChannel) {
    out.fill(readOne(v));
    return;
  }
  for (std::size_t c = 0; c < kChannelCount; ++c) {
    if (!v[c].is_null()) out[c] = readOne(v[c]);
  }
}

KeySpec readKey(const json& v, const std::string& where) {
  if (!v.is_object()) fail(where + "must be an object");
  KeySpec key;
  bool hasTime = false;
  for (const auto& [field, value] : v.items()) {
    if (field == "time") {
      key.time = readNumber(value, where, field);
      hasTime = true;
    } else if (field == "position") {
      key.position = readKeyPart(value, where, field, false);
    } else if (field == "rotation") {
      key.rotation = readKeyPart(value, where, field, true);
    } else if (field == "scale") {
      key.scale = readKeyPart(value, where, field, false);
    } else if (field == "span") {
      readPerChannel(
          value, key.span, [&](const json& e) { return readSpan(e, where); }, false);
    } else if (field == "params") {
      readPerChannel(
          value, key.params, [&](const json& e) { return readParams(e, where); }, true);
    } else {
      fail(where + "unknown field " + quote(field));
    }
  }
  if (!hasTime) fail(where + "missing \"time\"");
  return key;
}

ChannelBehaviors readBehaviorPair(const json& v, const std::string& where) {
  auto one = [](const json& e) {
    return e.is_number_integer() && e.get<long long>() >= 0 &&
           e.get<long long>() < kEndBehaviorCount;
  };
  if (!v.is_array() || v.size() != 2 || !one(v[0]) || !one(v[1])) {
    fail(where + "\"behaviors\" must be [pre, post] with values from 0 to 5 (or 9 such pairs)");
  }
  return {static_cast<std::uint8_t>(v[0].get<int>()), static_cast<std::uint8_t>(v[1].get<int>())};
}

bool isBoneField(const std::string& field) {
  return field == "restPosition" || field == "restRotation" || field == "restScale" ||
         field == "restLength" || field == "active" || field == "strength" ||
         field == "scaleStrength" || field == "boneType" || isDeformationField(field);
}

void readObjectFileField(ItemSpec& spec, const std::string& field, const json& value,
                         const std::string& where) {
  if (spec.type != ItemType::Object) fail(where + quote(field) + " is for objects only");
  if (field == "objectFile") {
    std::string path;
    if (!readName(value, path) || path.empty()) {
      fail(where + "\"objectFile\" must be a file path, " + kNameForms);
    }
    spec.objectFile = path;
    return;
  }
  // Scenes count an object file's layers from 1; files number them with two bytes.
  if (!value.is_number_integer() || value.get<long long>() < 1 ||
      value.get<long long>() > 0x10000) {
    fail(where + "\"objectLayer\" must be a layer number from 1 to 65536");
  }
  spec.objectLayer = value.get<int>();
}

ItemSpec readItem(const json& v, std::size_t index) {
  std::string where = itemPlace(index, "") + ": ";
  if (!v.is_object()) fail(where + "must be an object");
  ItemSpec spec;
  const auto name = v.find("name");
  if (name == v.end()) fail(where + "missing \"name\"");
  if (!readName(*name, spec.name)) fail(where + "\"name\" must be " + kNameForms);
  if (spec.name.empty()) fail(where + "empty name");
  where = itemPlace(index, spec.name) + ": ";
  const auto type = v.find("type");
  if (type == v.end()) fail(where + "missing \"type\"");
  spec.type = readType(*type, where);
  const bool bone = spec.type == ItemType::Bone;

  for (const auto& [field, value] : v.items()) {
    if (field == "name" || field == "type") continue;
    if (isBoneField(field) && !bone) fail(where + quote(field) + " is for bones only");
    if (field == "id") {
      // Ids follow from creation order; the written one is only for readers.
      if (!value.is_string()) fail(where + "\"id\" must be a string");
    } else if (field == "parent") {
      std::string parent;
      if (readName(value, parent)) {
        spec.parent = std::move(parent);
      } else if (!value.is_null()) {
        fail(where + "\"parent\" must be a name or null");
      }
    } else if (field == "position") {
      spec.position = readVec3(value, where, field);
    } else if (field == "rotation") {
      spec.rotation = readAngles(value, where, field);
    } else if (field == "scale") {
      spec.scale = readVec3(value, where, field);
    } else if (field == "pivot") {
      spec.pivot = readVec3(value, where, field);
    } else if (field == "pivotRotation") {
      spec.pivotRotation = readAngles(value, where, field);
    } else if (field == "restPosition") {
      spec.restPosition = readVec3(value, where, field);
    } else if (field == "restRotation") {
      spec.restRotation = readAngles(value, where, field);
    } else if (field == "restScale") {
      spec.restScale = readVec3(value, where, field);
    } else if (field == "restLength") {
      spec.restLength = readNumber(value, where, field);
    } else if (field == "active") {
      if (!value.is_boolean()) fail(where + "\"active\" must be true or false");
      spec.active = value.get<bool>();
    } else if (field == "strength") {
      spec.strength = readNumber(value, where, field);
    } else if (field == "scaleStrength") {
      if (!value.is_boolean()) fail(where + "\"scaleStrength\" must be true or false");
      spec.scaleStrength = value.get<bool>();
    } else if (isDeformationField(field)) {
      readDeformationField(field, value, where, spec.deformation);
    } else if (field == "behaviors") {
      readPerChannel(
          value, spec.behaviors, [&](const json& e) { return readBehaviorPair(e, where); }, true);
    } else if (field == "objectFile" || field == "objectLayer") {
      readObjectFileField(spec, field, value, where);
    } else if (field == "boneType") {
      if (!value.is_number_integer() ||
          (value.get<long long>() != kBoneTypeZAxis && value.get<long long>() != kBoneTypeJoint)) {
        fail(where + "\"boneType\" must be 0 (z-axis) or 1 (joint)");
      }
      spec.boneType = value.get<int>();
    } else if (isObjectBoneField(field) || field == "useBonesFrom") {
      if (spec.type != ItemType::Object) fail(where + quote(field) + " is for objects only");
      if (field != "useBonesFrom") {
        readObjectBoneField(field, value, where, spec.boneSettings);
      } else {
        std::string source;
        if (!readName(value, source)) fail(where + "\"useBonesFrom\" must be " + kNameForms);
        spec.useBonesFrom = source;
      }
    } else if (field == "keys") {
      if (!value.is_array()) fail(where + "\"keys\" must be an array");
      for (std::size_t k = 0; k < value.size(); ++k) {
        spec.keys.push_back(readKey(value[k], where + "keys[" + std::to_string(k) + "]: "));
      }
    } else {
      fail(where + "unknown field " + quote(field));
    }
  }

  if (spec.objectLayer && !spec.objectFile) fail(where + "\"objectLayer\" needs \"objectFile\"");
  std::stable_sort(spec.keys.begin(), spec.keys.end(),
                   [](const KeySpec& a, const KeySpec& b) { return a.time < b.time; });
  for (std::size_t k = 1; k < spec.keys.size(); ++k) {
    if (spec.keys[k].time == spec.keys[k - 1].time) {
      fail(where + "two keys at time " + json(spec.keys[k].time).dump());
    }
  }
  return spec;
}

// Parent index per item (kNone for none), checked for unknown names and cycles.
std::vector<std::size_t> resolveParents(const std::vector<ItemSpec>& specs) {
  const std::size_t n = specs.size();
  std::unordered_map<std::string, std::size_t> byName;
  byName.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const auto [at, added] = byName.emplace(specs[i].name, i);
    if (!added) {
      fail(itemPlace(i, specs[i].name) + ": duplicate name (also " + itemPlace(at->second, "") +
           ")");
    }
  }
  std::vector<std::size_t> parent(n, kNone);
  for (std::size_t i = 0; i < n; ++i) {
    if (!specs[i].parent) continue;
    const auto at = byName.find(*specs[i].parent);
    if (at == byName.end()) {
      fail(itemPlace(i, specs[i].name) + ": unknown parent " + quote(*specs[i].parent));
    }
    parent[i] = at->second;
  }

  // Walk each chain once: 1 = on the current walk, 2 = known to end at a root.
  std::vector<unsigned char> state(n, 0);
  std::vector<std::size_t> path;
  for (std::size_t start = 0; start < n; ++start) {
    path.clear();
    std::size_t at = start;
    while (at != kNone && state[at] == 0) {
      state[at] = 1;
      path.push_back(at);
      at = parent[at];
    }
    if (at != kNone && state[at] == 1) {
      const auto from = std::find(path.begin(), path.end(), at);
      std::string chain;
      std::size_t shown = 0;
      for (auto it = from; it != path.end(); ++it) {
        if (++shown > 8) {
          chain += " -> ...";
          break;
        }
        chain += quote(specs[*it].name) + " -> ";
      }
      if (shown <= 8) chain += quote(specs[at].name);
      fail(itemPlace(at, specs[at].name) + ": parenting cycle " + chain);
    }
    for (std::size_t p : path) state[p] = 2;
  }
  return parent;
}

// The owning object of each bone (kNone for non-bones).
std::vector<std::size_t> findOwners(const std::vector<ItemSpec>& specs,
                                    const std::vector<std::size_t>& parent) {
  const std::size_t n = specs.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (specs[i].type != ItemType::Bone) continue;
    const std::string where = itemPlace(i, specs[i].name) + ": ";
    if (parent[i] == kNone) fail(where + "a bone needs a parent (an object or a bone)");
    const ItemSpec& p = specs[parent[i]];
    if (p.type == ItemType::Light || p.type == ItemType::Camera) {
      fail(where + "a bone must be under an object, not the " + itemTypeWord(p.type) + " " +
           quote(p.name));
    }
  }
  // Every bone's chain now climbs through bones to an object; memoise to stay linear.
  std::vector<std::size_t> owner(n, kNone);
  std::vector<std::size_t> path;
  for (std::size_t i = 0; i < n; ++i) {
    if (specs[i].type != ItemType::Bone || owner[i] != kNone) continue;
    path.clear();
    std::size_t at = i;
    while (specs[at].type == ItemType::Bone && owner[at] == kNone) {
      path.push_back(at);
      at = parent[at];
    }
    const std::size_t found = specs[at].type == ItemType::Bone ? owner[at] : at;
    for (std::size_t b : path) owner[b] = found;
  }
  return owner;
}

Scene build(const json& root) {
  if (!root.is_object()) fail("a scene file must be a JSON object");
  double time = 0;
  bool parentInPlace = true;
  int autoKeyCreate = kAutoKeyOff;
  const json* items = nullptr;
  const json* selection = nullptr;
  for (const auto& [field, value] : root.items()) {
    if (field == "time") {
      time = readNumber(value, "", field);
    } else if (field == "parentInPlace") {
      if (!value.is_boolean()) fail("\"parentInPlace\" must be true or false");
      parentInPlace = value.get<bool>();
    } else if (field == "autoKeyCreate") {
      const auto mode =
          value.is_string() ? autoKeyCreateFromName(value.get<std::string>()) : std::nullopt;
      if (!mode) fail("\"autoKeyCreate\" must be \"off\", \"modified\" or \"all\"");
      autoKeyCreate = *mode;
    } else if (field == "items") {
      if (!value.is_array()) fail("\"items\" must be an array");
      items = &value;
    } else if (field == "selection") {
      if (!value.is_array()) fail("\"selection\" must be an array of names");
      selection = &value;
    } else {
      fail("unknown field " + quote(field));
    }
  }

  std::vector<ItemSpec> specs;
  if (items) {
    specs.reserve(items->size());
    for (std::size_t i = 0; i < items->size(); ++i) specs.push_back(readItem((*items)[i], i));
  }
  const std::vector<std::size_t> parent = resolveParents(specs);
  const std::vector<std::size_t> owner = findOwners(specs, parent);
  const std::size_t n = specs.size();

  Scene scene;
  scene.parentInPlace = parentInPlace;
  scene.autoKeyCreate = autoKeyCreate;
  std::vector<ItemId> ids(n, 0);

  // Creation order is listing order, so create in file order; a bone listed before its
  // object waits for it (saved files never do that: bones come after their object).
  std::unordered_map<std::size_t, std::vector<std::size_t>> waiting;
  auto addBone = [&](std::size_t b) {
    ids[b] = scene.addBone(ids[owner[b]], ids[owner[b]], specs[b].name);
    if (ids[b] == 0) fail(itemPlace(b, specs[b].name) + ": cannot add the bone");
  };
  for (std::size_t i = 0; i < n; ++i) {
    const ItemSpec& s = specs[i];
    switch (s.type) {
      case ItemType::Object: ids[i] = scene.addObject(s.name); break;
      case ItemType::Light: ids[i] = scene.addLight(s.name); break;
      case ItemType::Camera: ids[i] = scene.addCamera(s.name); break;
      case ItemType::Bone:
        if (ids[owner[i]] != 0) {
          addBone(i);
        } else {
          waiting[owner[i]].push_back(i);
        }
        continue;
    }
    const auto queued = waiting.find(i);
    if (queued != waiting.end()) {
      for (std::size_t b : queued->second) addBone(b);
      waiting.erase(queued);
    }
  }

  // Stored values are relative to the parent as written: never parent in place here.
  for (std::size_t i = 0; i < n; ++i) {
    if (parent[i] == kNone || parent[i] == owner[i]) continue;
    std::string why;
    if (!scene.setParent(ids[i], ids[parent[i]], false, &why)) {
      fail(itemPlace(i, specs[i].name) + ": cannot parent to " + quote(specs[parent[i]].name) +
           ": " + why);
    }
  }

  for (std::size_t i = 0; i < n; ++i) {
    const ItemSpec& s = specs[i];
    Item& item = *scene.find(ids[i]);
    const Vec3 position = s.position.value_or(Vec3{0, 0, 0});
    const Vec3 rotation = s.rotation.value_or(Vec3{0, 0, 0});
    const Vec3 scale = s.scale.value_or(Vec3{1, 1, 1});
    scene.setPosition(ids[i], position);
    scene.setRotation(ids[i], rotation);
    scene.setScale(ids[i], scale);
    item.pivot = s.pivot;
    item.pivotRotation = s.pivotRotation;
    if (s.type == ItemType::Bone) {
      item.restPosition = s.restPosition;
      item.restRotation = s.restRotation;
      item.restScale = s.restScale;
      item.restLength = s.restLength;
      item.strength = s.strength;
      item.scaleStrength = s.scaleStrength;
      item.active = s.active;
      item.deformation = s.deformation;
      item.boneType = s.boneType;
    }
    if (s.type == ItemType::Object) {
      item.boneSettings = s.boneSettings;
      if (s.useBonesFrom) {
        const ItemId source = scene.findByName(*s.useBonesFrom);
        if (scene.typeOf(source) != static_cast<int>(ItemType::Object)) {
          fail(itemPlace(i, s.name) +
               ": \"useBonesFrom\" names no object: " + quote(*s.useBonesFrom));
        }
        item.boneSettings.bonesFromOtherObject = true;
        item.boneSettings.useBonesFrom = source;
      }
    }
    item.behaviors = s.behaviors;
    if (s.objectFile) {
      ObjectMesh named;
      named.file = *s.objectFile;
      named.layer = s.objectLayer.value_or(1);
      named.layerGiven = s.objectLayer.has_value();
      scene.setObjectMesh(ids[i], std::move(named));
    }
    for (const KeySpec& k : s.keys) {
      // Parts a key leaves out hold the item's static value; null channels get no key.
      const KeyPart parts[3] = {k.position.value_or(KeyPart{position, {}}),
                                k.rotation.value_or(KeyPart{rotation, {}}),
                                k.scale.value_or(KeyPart{scale, {}})};
      for (int c = 0; c < kChannelCount; ++c) {
        const KeyPart& part = parts[c / 3];
        if (part.absent[c % 3]) continue;
        Key key{k.time, part.values[c % 3]};
        key.span = k.span[c];
        key.params = k.params[c];
        item.keys[c].push_back(key);
      }
    }
  }

  scene.setTime(time);
  // A saved scene holds current values, which a command may have set off the keys.
  for (std::size_t i = 0; i < n; ++i) {
    if (specs[i].position) scene.setPosition(ids[i], *specs[i].position);
    if (specs[i].rotation) scene.setRotation(ids[i], *specs[i].rotation);
    if (specs[i].scale) scene.setScale(ids[i], *specs[i].scale);
  }

  if (selection) {
    std::unordered_set<std::string> seen;
    for (std::size_t i = 0; i < selection->size(); ++i) {
      const json& entry = (*selection)[i];
      std::string name;
      if (!readName(entry, name)) fail("selection[" + std::to_string(i) + "] must be a name");
      const ItemId id = scene.findByName(name);
      if (id == 0) fail("selection: unknown item " + quote(name));
      if (!seen.insert(name).second) fail("selection: " + quote(name) + " is listed twice");
      if (i == 0) {
        scene.select(id);
      } else {
        scene.addToSelection(id);
      }
    }
  }

  const std::string problem = scene.validate();
  if (!problem.empty()) fail("invalid scene: " + problem);
  return scene;
}

}  // namespace

Scene sceneFromJson(const std::string& text) { return build(parseStrictJson(text)); }

Scene sceneFromJsonValue(const nlohmann::json& value) { return build(value); }

}  // namespace standin
