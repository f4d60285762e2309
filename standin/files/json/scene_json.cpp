// Scene files: the JSON form of a stand-in scene, read.
#include "standin/files/json/scene_json.h"
#include "standin/scene/auto_key.h"

#include "standin/files/base/name_bytes.h"
#include "standin/files/base/scene_builder.h"
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
using scene_json::isBoneSettingField;
using scene_json::isObjectBoneField;

using scene_json::quote;
using scene_json::readBoneSettingField;
using scene_json::readObjectBoneField;

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

// An item as read: the draft the scene is built from, and what names other items or needs
// the whole item first.
struct ItemRead {
  DraftItem draft;
  std::optional<std::string> parent;        // a name
  std::optional<std::string> useBonesFrom;  // objects: a name
  std::optional<std::string> objectFile;    // objects: the object file it loads
  std::optional<int> objectLayer;           // and the layer, counted from 1
  std::vector<KeySpec> keys;

  Item& values() { return draft.values; }
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
         field == "restLength" || field == "boneType" || isBoneSettingField(field);
}

void readObjectFileField(ItemRead& spec, const std::string& field, const json& value,
                         const std::string& where) {
  if (spec.values().type != ItemType::Object) fail(where + quote(field) + " is for objects only");
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

// The current value at the scene time of position (0), rotation (1) or scale (2).
void readCurrent(ItemRead& spec, int part, const Vec3& v) {
  std::copy(v.begin(), v.end(), spec.values().current.begin() + 3 * part);
  spec.draft.currentGiven[static_cast<std::size_t>(part)] = true;
}

// Each key's parts and channels go to the channels they are for. Parts a key leaves out hold
// the item's current value; null channels get no key.
void keysToChannels(ItemRead& spec) {
  Item& item = spec.values();
  for (const KeySpec& k : spec.keys) {
    const KeyPart parts[3] = {k.position.value_or(KeyPart{item.position(), {}}),
                              k.rotation.value_or(KeyPart{item.rotation(), {}}),
                              k.scale.value_or(KeyPart{item.scale(), {}})};
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

ItemRead readItem(const json& v, std::size_t index) {
  std::string where = itemPlace(index, "") + ": ";
  if (!v.is_object()) fail(where + "must be an object");
  ItemRead spec;
  Item& item = spec.values();
  const auto name = v.find("name");
  if (name == v.end()) fail(where + "missing \"name\"");
  if (!readName(*name, item.name)) fail(where + "\"name\" must be " + kNameForms);
  if (item.name.empty()) fail(where + "empty name");
  where = itemPlace(index, item.name) + ": ";
  const auto type = v.find("type");
  if (type == v.end()) fail(where + "missing \"type\"");
  item.type = readType(*type, where);
  const bool bone = item.type == ItemType::Bone;

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
      readCurrent(spec, 0, readVec3(value, where, field));
    } else if (field == "rotation") {
      readCurrent(spec, 1, readAngles(value, where, field));
    } else if (field == "scale") {
      readCurrent(spec, 2, readVec3(value, where, field));
    } else if (field == "pivot") {
      item.pivot = readVec3(value, where, field);
    } else if (field == "pivotRotation") {
      item.pivotRotation = readAngles(value, where, field);
    } else if (field == "restPosition") {
      item.restPosition = readVec3(value, where, field);
    } else if (field == "restRotation") {
      item.restRotation = readAngles(value, where, field);
    } else if (field == "restScale") {
      item.restScale = readVec3(value, where, field);
    } else if (field == "restLength") {
      item.restLength = readNumber(value, where, field);
    } else if (isBoneSettingField(field)) {
      readBoneSettingField(field, value, where, item);
    } else if (field == "behaviors") {
      readPerChannel(
          value, item.behaviors, [&](const json& e) { return readBehaviorPair(e, where); }, true);
    } else if (field == "objectFile" || field == "objectLayer") {
      readObjectFileField(spec, field, value, where);
    } else if (field == "boneType") {
      if (!value.is_number_integer() ||
          (value.get<long long>() != kBoneTypeZAxis && value.get<long long>() != kBoneTypeJoint)) {
        fail(where + "\"boneType\" must be 0 (z-axis) or 1 (joint)");
      }
      item.boneType = value.get<int>();
    } else if (isObjectBoneField(field) || field == "useBonesFrom") {
      if (item.type != ItemType::Object) fail(where + quote(field) + " is for objects only");
      if (field != "useBonesFrom") {
        readObjectBoneField(field, value, where, item.boneSettings);
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
  if (spec.objectFile) {
    ObjectMesh named;
    named.file = *spec.objectFile;
    named.layer = spec.objectLayer.value_or(1);
    named.layerGiven = spec.objectLayer.has_value();
    spec.draft.objectFile = std::move(named);
  }
  std::stable_sort(spec.keys.begin(), spec.keys.end(),
                   [](const KeySpec& a, const KeySpec& b) { return a.time < b.time; });
  for (std::size_t k = 1; k < spec.keys.size(); ++k) {
    if (spec.keys[k].time == spec.keys[k - 1].time) {
      fail(where + "two keys at time " + json(spec.keys[k].time).dump());
    }
  }
  keysToChannels(spec);
  return spec;
}

using NameIndex = std::unordered_map<std::string, std::size_t>;

// Item per name, refusing a name used twice.
NameIndex indexNames(const std::vector<ItemRead>& specs) {
  NameIndex byName;
  byName.reserve(specs.size());
  for (std::size_t i = 0; i < specs.size(); ++i) {
    const std::string& name = specs[i].draft.values.name;
    const auto [at, added] = byName.emplace(name, i);
    if (!added) {
      fail(itemPlace(i, name) + ": duplicate name (also " + itemPlace(at->second, "") + ")");
    }
  }
  return byName;
}

const std::string& nameOf(const std::vector<ItemRead>& specs, std::size_t i) {
  return specs[i].draft.values.name;
}

// Parent index per item (kNoDraftItem for none), checked for unknown names and cycles.
std::vector<std::size_t> resolveParents(const std::vector<ItemRead>& specs,
                                        const NameIndex& byName) {
  const std::size_t n = specs.size();
  std::vector<std::size_t> parent(n, kNoDraftItem);
  for (std::size_t i = 0; i < n; ++i) {
    if (!specs[i].parent) continue;
    const auto at = byName.find(*specs[i].parent);
    if (at == byName.end()) {
      fail(itemPlace(i, nameOf(specs, i)) + ": unknown parent " + quote(*specs[i].parent));
    }
    parent[i] = at->second;
  }

  // Walk each chain once: 1 = on the current walk, 2 = known to end at a root.
  std::vector<unsigned char> state(n, 0);
  std::vector<std::size_t> path;
  for (std::size_t start = 0; start < n; ++start) {
    path.clear();
    std::size_t at = start;
    while (at != kNoDraftItem && state[at] == 0) {
      state[at] = 1;
      path.push_back(at);
      at = parent[at];
    }
    if (at != kNoDraftItem && state[at] == 1) {
      const auto from = std::find(path.begin(), path.end(), at);
      std::string chain;
      std::size_t shown = 0;
      for (auto it = from; it != path.end(); ++it) {
        if (++shown > 8) {
          chain += " -> ...";
          break;
        }
        chain += quote(nameOf(specs, *it)) + " -> ";
      }
      if (shown <= 8) chain += quote(nameOf(specs, at));
      fail(itemPlace(at, nameOf(specs, at)) + ": parenting cycle " + chain);
    }
    for (std::size_t p : path) state[p] = 2;
  }
  return parent;
}

ItemType typeOf(const std::vector<ItemRead>& specs, std::size_t i) {
  return specs[i].draft.values.type;
}

// The owning object of each bone (kNoDraftItem for non-bones).
std::vector<std::size_t> findOwners(const std::vector<ItemRead>& specs,
                                    const std::vector<std::size_t>& parent) {
  const std::size_t n = specs.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (typeOf(specs, i) != ItemType::Bone) continue;
    const std::string where = itemPlace(i, nameOf(specs, i)) + ": ";
    if (parent[i] == kNoDraftItem) fail(where + "a bone needs a parent (an object or a bone)");
    const ItemType p = typeOf(specs, parent[i]);
    if (p == ItemType::Light || p == ItemType::Camera) {
      fail(where + "a bone must be under an object, not the " + itemTypeWord(p) + " " +
           quote(nameOf(specs, parent[i])));
    }
  }
  // Every bone's chain now climbs through bones to an object; memoise to stay linear.
  std::vector<std::size_t> owner(n, kNoDraftItem);
  std::vector<std::size_t> path;
  for (std::size_t i = 0; i < n; ++i) {
    if (typeOf(specs, i) != ItemType::Bone || owner[i] != kNoDraftItem) continue;
    path.clear();
    std::size_t at = i;
    while (typeOf(specs, at) == ItemType::Bone && owner[at] == kNoDraftItem) {
      path.push_back(at);
      at = parent[at];
    }
    const std::size_t found = typeOf(specs, at) == ItemType::Bone ? owner[at] : at;
    for (std::size_t b : path) owner[b] = found;
  }
  return owner;
}

// The items the selection names, in order.
std::vector<std::size_t> readSelection(const json& selection, const NameIndex& byName) {
  std::vector<std::size_t> selected;
  std::unordered_set<std::size_t> seen;
  for (std::size_t i = 0; i < selection.size(); ++i) {
    std::string name;
    if (!readName(selection[i], name)) fail("selection[" + std::to_string(i) + "] must be a name");
    const auto at = byName.find(name);
    if (at == byName.end()) fail("selection: unknown item " + quote(name));
    if (!seen.insert(at->second).second) fail("selection: " + quote(name) + " is listed twice");
    selected.push_back(at->second);
  }
  return selected;
}

Scene build(const json& root) {
  if (!root.is_object()) fail("a scene file must be a JSON object");
  SceneDraft draft;
  const json* items = nullptr;
  const json* selection = nullptr;
  for (const auto& [field, value] : root.items()) {
    if (field == "time") {
      draft.time = readNumber(value, "", field);
    } else if (field == "parentInPlace") {
      if (!value.is_boolean()) fail("\"parentInPlace\" must be true or false");
      draft.parentInPlace = value.get<bool>();
    } else if (field == "autoKeyCreate") {
      const auto mode =
          value.is_string() ? autoKeyCreateFromName(value.get<std::string>()) : std::nullopt;
      if (!mode) fail("\"autoKeyCreate\" must be \"off\", \"modified\" or \"all\"");
      draft.autoKeyCreate = *mode;
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

  std::vector<ItemRead> specs;
  if (items) {
    specs.reserve(items->size());
    for (std::size_t i = 0; i < items->size(); ++i) specs.push_back(readItem((*items)[i], i));
  }
  const NameIndex byName = indexNames(specs);
  const std::vector<std::size_t> parent = resolveParents(specs, byName);
  const std::vector<std::size_t> owner = findOwners(specs, parent);
  for (std::size_t i = 0; i < specs.size(); ++i) {
    ItemRead& spec = specs[i];
    spec.draft.parent = parent[i];
    spec.draft.owner = owner[i];
    if (!spec.useBonesFrom) continue;
    const auto source = byName.find(*spec.useBonesFrom);
    if (source == byName.end() || typeOf(specs, source->second) != ItemType::Object) {
      fail(itemPlace(i, nameOf(specs, i)) +
           ": \"useBonesFrom\" names no object: " + quote(*spec.useBonesFrom));
    }
    spec.draft.bonesFrom = source->second;
    spec.values().boneSettings.bonesFromOtherObject = true;
  }
  if (selection) draft.selection = readSelection(*selection, byName);

  // What a build error needs is kept apart: the drafts go to the builder.
  std::vector<std::pair<std::string, ItemType>> kept;
  for (const ItemRead& spec : specs)
    kept.emplace_back(spec.draft.values.name, spec.draft.values.type);
  draft.items.reserve(specs.size());
  for (ItemRead& spec : specs) draft.items.push_back(std::move(spec.draft));
  try {
    return buildScene(std::move(draft));
  } catch (const SceneBuildError& error) {
    if (error.step == SceneBuildError::Step::Check) fail("invalid scene: " + error.why);
    const std::string place = itemPlace(error.item, kept[error.item].first);
    if (error.step == SceneBuildError::Step::Add) {
      fail(place + ": cannot add the " + itemTypeWord(kept[error.item].second));
    }
    fail(place + ": cannot parent to " + quote(kept[parent[error.item]].first) + ": " + error.why);
  }
}

}  // namespace

Scene sceneFromJson(const std::string& text) { return build(parseStrictJson(text)); }

Scene sceneFromJsonValue(const nlohmann::json& value) { return build(value); }

}  // namespace standin
