// Scene files: the JSON form of a stand-in scene, written.
#include "standin/files/json/scene_json.h"

#include "standin/files/base/name_bytes.h"
#include "standin/files/json/scene_json_parts.h"
#include "standin/scene/auto_key.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <utility>

namespace standin {
namespace {

using nlohmann::json;

using scene_json::nameJson;
using scene_json::quote;
using scene_json::writeBoneSettings;
using scene_json::writeObjectBoneSettings;

// Rounded to 14 significant digits: radians -> degrees -> radians -> degrees then gives the
// same text again, which full precision cannot promise. The loss is ~1e-14 relative.
double roundedDegrees(double radians) {
  const double degrees = toDegrees(radians);
  if (!std::isfinite(degrees)) return degrees;
  char buffer[40];
  const auto written =
      std::to_chars(buffer, buffer + sizeof buffer, degrees, std::chars_format::scientific, 13);
  double rounded = degrees;
  std::from_chars(buffer, written.ptr, rounded);
  return rounded + 0.0;  // +0.0 turns -0 into 0
}

double clean(double v) { return v + 0.0; }

// --- writing ---

template <class J>
J vec3Json(const Vec3& v) {
  return J::array({clean(v[0]), clean(v[1]), clean(v[2])});
}

template <class J>
J anglesJson(const Vec3& radians) {
  return J::array(
      {roundedDegrees(radians[0]), roundedDegrees(radians[1]), roundedDegrees(radians[2])});
}

// One entry per key time; a channel without a key at that time is null. Span types and
// parameters only appear when some key has other than the defaults.
template <class J>
J keysJson(const Item& item) {
  std::vector<double> times;
  for (const auto& channel : item.keys) {
    for (const Key& k : channel) times.push_back(k.time);
  }
  std::sort(times.begin(), times.end());
  times.erase(std::unique(times.begin(), times.end()), times.end());
  J keys = J::array();
  for (double t : times) {
    std::array<const Key*, kChannelCount> at{};
    for (int c = 0; c < kChannelCount; ++c) {
      const std::vector<Key>& ks = item.keys[c];
      const auto found = std::lower_bound(ks.begin(), ks.end(), t,
                                          [](const Key& k, double time) { return k.time < time; });
      if (found != ks.end() && found->time == t) at[c] = &*found;
    }
    auto part = [&](int first, bool angles) {
      J out = J::array();
      for (int c = first; c < first + 3; ++c) {
        if (!at[c]) {
          out.push_back(nullptr);
        } else {
          out.push_back(angles ? roundedDegrees(at[c]->value) : clean(at[c]->value));
        }
      }
      return out;
    };
    J key;
    key["time"] = clean(t);
    key["position"] = part(kPosX, false);
    key["rotation"] = part(kHeading, true);
    key["scale"] = part(kScaleX, false);

    const Key* any = *std::find_if(at.begin(), at.end(), [](const Key* k) { return k != nullptr; });
    bool sameSpan = true, sameParams = true, defaults = true;
    for (const Key* k : at) {
      if (!k) continue;
      sameSpan = sameSpan && k->span == any->span;
      sameParams = sameParams && k->params == any->params;
      defaults = defaults && k->span == kSpanLinear && k->params == std::array<double, 6>{};
    }
    if (!defaults) {
      auto params = [](const Key& k) {
        J p = J::array();
        for (double v : k.params) p.push_back(clean(v));
        return p;
      };
      J span = sameSpan ? J(any->span) : J::array();
      J allParams = sameParams ? params(*any) : J::array();
      for (const Key* k : at) {
        if (!sameSpan) span.push_back(k ? J(k->span) : J(nullptr));
        if (!sameParams) allParams.push_back(k ? params(*k) : J(nullptr));
      }
      key["span"] = std::move(span);
      key["params"] = std::move(allParams);
    }
    keys.push_back(std::move(key));
  }
  return keys;
}

template <class J>
J behaviorsJson(const Item& item) {
  auto pair = [](const ChannelBehaviors& b) { return J::array({b.pre, b.post}); };
  const bool same = std::all_of(item.behaviors.begin(), item.behaviors.end(),
                                [&](const ChannelBehaviors& b) { return b == item.behaviors[0]; });
  if (same) return pair(item.behaviors[0]);
  J all = J::array();
  for (const ChannelBehaviors& b : item.behaviors) all.push_back(pair(b));
  return all;
}

template <class J>
J toJson(const Scene& scene) {
  J root;
  root["time"] = clean(scene.time());
  root["parentInPlace"] = scene.parentInPlace;
  if (scene.autoKeyCreate != kAutoKeyOff)
    root["autoKeyCreate"] = autoKeyCreateName(scene.autoKeyCreate);
  J selection = J::array();
  for (ItemId id : scene.selection()) {
    if (const Item* item = scene.find(id)) selection.push_back(nameJson<J>(item->name));
  }
  root["selection"] = std::move(selection);
  J items = J::array();
  for (ItemId id : scene.allItems()) {
    const Item& item = *scene.find(id);
    J out;
    out["id"] = idText(item.id);
    out["name"] = nameJson<J>(item.name);
    out["type"] = itemTypeWord(item.type);
    const Item* parent = item.parent ? scene.find(item.parent) : nullptr;
    out["parent"] = parent ? nameJson<J>(parent->name) : J(nullptr);
    out["position"] = vec3Json<J>(item.position());
    out["rotation"] = anglesJson<J>(item.rotation());
    out["scale"] = vec3Json<J>(item.scale());
    out["pivot"] = vec3Json<J>(item.pivot);
    out["pivotRotation"] = anglesJson<J>(item.pivotRotation);
    if (item.type == ItemType::Bone) {
      out["restPosition"] = vec3Json<J>(item.restPosition);
      out["restRotation"] = anglesJson<J>(item.restRotation);
      out["restScale"] = vec3Json<J>(item.restScale);
      out["restLength"] = clean(item.restLength);
      writeBoneSettings(out, item);
    }
    if (item.type == ItemType::Bone && item.boneType != kBoneTypeZAxis) {
      out["boneType"] = item.boneType;
    }
    if (item.type == ItemType::Object) {
      writeObjectBoneSettings(out, item.boneSettings);
      const Item* source = scene.find(item.boneSettings.useBonesFrom);
      if (source) out["useBonesFrom"] = nameJson<J>(source->name);
    }
    if (const ObjectMesh* named = scene.objectMesh(id)) {
      out["objectFile"] = nameJson<J>(named->file);
      if (named->layerGiven) out["objectLayer"] = named->layer;
    }
    out["keys"] = keysJson<J>(item);
    const bool plainEnds =
        std::all_of(item.behaviors.begin(), item.behaviors.end(),
                    [](const ChannelBehaviors& b) { return b == ChannelBehaviors{}; });
    if (!plainEnds) out["behaviors"] = behaviorsJson<J>(item);
    items.push_back(std::move(out));
  }
  root["items"] = std::move(items);
  return root;
}

// Like dump(2), but arrays and objects of plain values stay on one line: a vector is one line,
// not five.
void writePretty(const nlohmann::ordered_json& j, int indent, std::string& out) {
  const bool flat = std::none_of(j.begin(), j.end(),
                                 [](const nlohmann::ordered_json& e) { return e.is_structured(); });
  if (j.is_object() && !j.empty() && !flat) {
    out += "{\n";
    std::size_t i = 0;
    for (const auto& [key, value] : j.items()) {
      out.append(indent + 2, ' ');
      out += quote(key) + ": ";
      writePretty(value, indent + 2, out);
      out += ++i < j.size() ? ",\n" : "\n";
    }
    out.append(indent, ' ') += "}";
  } else if (j.is_array() && !flat) {
    out += "[\n";
    for (std::size_t i = 0; i < j.size(); ++i) {
      out.append(indent + 2, ' ');
      writePretty(j[i], indent + 2, out);
      out += i + 1 < j.size() ? ",\n" : "\n";
    }
    out.append(indent, ' ') += "]";
  } else if (j.is_object() && !j.empty()) {
    out += "{";  // a name's {"bytes": ...}: one line, as a string would be
    std::size_t i = 0;
    for (const auto& [key, value] : j.items()) {
      out += (i++ ? ", " : "") + quote(key) + ": ";
      writePretty(value, indent, out);
    }
    out += "}";
  } else if (j.is_array()) {
    out += "[";
    for (std::size_t i = 0; i < j.size(); ++i) {
      if (i > 0) out += ", ";
      writePretty(j[i], indent, out);
    }
    out += "]";
  } else {
    out += j.dump(-1, ' ', false, json::error_handler_t::replace);
  }
}

}  // namespace

nlohmann::json sceneToJsonValue(const Scene& scene) { return toJson<json>(scene); }

std::string sceneToJson(const Scene& scene) {
  // Ordered fields read better than the alphabetical order of nlohmann::json.
  std::string text;
  writePretty(toJson<nlohmann::ordered_json>(scene), 0, text);
  return text + "\n";
}

}  // namespace standin
