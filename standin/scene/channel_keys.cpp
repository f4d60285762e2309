#include "standin/scene/channel_keys.h"

#include <algorithm>
#include <cmath>

#include "standin/scene/envelope.h"
#include "standin/scene/key_time.h"

namespace standin {

namespace {

bool refuse(std::string* why, std::string text) {
  if (why != nullptr) *why = std::move(text);
  return false;
}

std::size_t at(int channel) { return static_cast<std::size_t>(channel); }

// The item, when it is live and the channel one of its nine.
Item* editable(Scene& scene, ItemId id, int channel, std::string* why) {
  Item* item = scene.find(id);
  if (item == nullptr) {
    refuse(why, "unknown item " + idText(id));
    return nullptr;
  }
  if (channel < 0 || channel >= kChannelCount) {
    refuse(why, "no channel " + std::to_string(channel));
    return nullptr;
  }
  return item;
}

// The key the keyless channel stands for.
Key standingKey(const Scene& scene, const Item& item, int channel) {
  Key key{0, item.current[at(channel)]};
  key.span = scene.newKeySpan;
  return key;
}

void settle(Scene& scene, Item& item, int channel) {
  const std::vector<Key>& keys = item.keys[at(channel)];
  if (!keys.empty()) {
    item.current[at(channel)] = evaluateChannel(keys, item.behaviors[at(channel)], scene.time());
  }
}

// The stored key at `time` (a keyless channel's key made real first when `materialize`).
Key* storedKey(Scene& scene, Item& item, int channel, double time, bool materialize,
               std::string* why) {
  std::vector<Key>& keys = item.keys[at(channel)];
  if (keys.empty()) {
    if (!sameKeyTime(time, 0)) {
      refuse(why, "no key at " + std::to_string(time));
      return nullptr;
    }
    if (!materialize) return nullptr;
    keys.push_back(standingKey(scene, item, channel));
    return &keys.back();
  }
  const std::size_t found = keyAt(keys, time);
  if (found == keys.size()) {
    refuse(why, "no key at " + std::to_string(time));
    return nullptr;
  }
  return &keys[found];
}

}  // namespace

std::vector<Key> shownKeys(const Item& item, int channel) {
  const std::vector<Key>& keys = item.keys[at(channel)];
  if (!keys.empty()) return keys;
  Key key{0, item.current[at(channel)]};
  return {key};
}

std::optional<Key> shownKey(const Item& item, int channel, double time) {
  const std::vector<Key> keys = shownKeys(item, channel);
  const std::size_t found = keyAt(keys, time);
  if (found == keys.size()) return std::nullopt;
  return keys[found];
}

double keyedValue(const Item& item, int channel, double time) {
  const std::vector<Key>& keys = item.keys[at(channel)];
  if (keys.empty()) return item.current[at(channel)];
  return evaluateChannel(keys, item.behaviors[at(channel)], time);
}

bool setKeyValue(Scene& scene, ItemId id, int channel, double time, double value,
                 std::string* why) {
  Item* item = editable(scene, id, channel, why);
  if (item == nullptr) return false;
  if (!std::isfinite(value)) return refuse(why, "a key value must be finite");
  if (item->keys[at(channel)].empty()) {
    if (!sameKeyTime(time, 0)) return refuse(why, "no key at " + std::to_string(time));
    item->current[at(channel)] = value;  // the one key of a keyless channel is its value
    return true;
  }
  Key* key = storedKey(scene, *item, channel, time, false, why);
  if (key == nullptr) return false;
  key->value = value;
  settle(scene, *item, channel);
  return true;
}

bool setKeySpan(Scene& scene, ItemId id, int channel, double time, int span, std::string* why) {
  Item* item = editable(scene, id, channel, why);
  if (item == nullptr) return false;
  if (span < 0 || span >= kSpanTypeCount) return refuse(why, "no shape " + std::to_string(span));
  Key* key = storedKey(scene, *item, channel, time, true, why);
  if (key == nullptr) return false;
  key->span = span;
  settle(scene, *item, channel);
  return true;
}

bool setKeyParam(Scene& scene, ItemId id, int channel, double time, int index, double value,
                 std::string* why) {
  Item* item = editable(scene, id, channel, why);
  if (item == nullptr) return false;
  if (index < 0 || index >= 6) return refuse(why, "no key parameter " + std::to_string(index));
  if (!std::isfinite(value)) return refuse(why, "a key parameter must be finite");
  Key* key = storedKey(scene, *item, channel, time, true, why);
  if (key == nullptr) return false;
  key->params[static_cast<std::size_t>(index)] = value;
  settle(scene, *item, channel);
  return true;
}

bool createKeyAt(Scene& scene, ItemId id, int channel, double time, double value,
                 std::string* why) {
  Item* item = editable(scene, id, channel, why);
  if (item == nullptr) return false;
  if (!std::isfinite(time) || !std::isfinite(value)) {
    return refuse(why, "a key's time and value must be finite");
  }
  std::vector<Key>& keys = item->keys[at(channel)];
  if (keys.empty()) keys.push_back(standingKey(scene, *item, channel));
  const std::size_t existing = keyAt(keys, time);
  if (existing != keys.size()) {
    keys[existing].value = value;  // it keeps its own time
  } else {
    const auto place = std::lower_bound(keys.begin(), keys.end(), time,
                                        [](const Key& k, double t) { return k.time < t; });
    Key key{time, value};
    key.span = scene.newKeySpan;
    keys.insert(place, key);
  }
  settle(scene, *item, channel);
  return true;
}

bool destroyKeyAt(Scene& scene, ItemId id, int channel, double time, std::string* why) {
  Item* item = editable(scene, id, channel, why);
  if (item == nullptr) return false;
  std::vector<Key>& keys = item->keys[at(channel)];
  if (keys.size() <= 1) return refuse(why, "a channel keeps at least one key");
  const std::size_t found = keyAt(keys, time);
  if (found == keys.size()) return refuse(why, "no key at " + std::to_string(time));
  keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(found));
  settle(scene, *item, channel);
  return true;
}

bool setBehavior(Scene& scene, ItemId id, int channel, bool pre, int behavior, std::string* why) {
  Item* item = editable(scene, id, channel, why);
  if (item == nullptr) return false;
  if (behavior < 0 || behavior >= kEndBehaviorCount) {
    return refuse(why, "no behaviour " + std::to_string(behavior));
  }
  ChannelBehaviors& behaviors = item->behaviors[at(channel)];
  (pre ? behaviors.pre : behaviors.post) = static_cast<std::uint8_t>(behavior);
  settle(scene, *item, channel);
  return true;
}

bool copyChannel(Scene& scene, ItemId to, int toChannel, ItemId from, int fromChannel,
                 std::string* why) {
  const Item* source = editable(scene, from, fromChannel, why);
  Item* target = source == nullptr ? nullptr : editable(scene, to, toChannel, why);
  if (target == nullptr) return false;
  // Copies first: the two may be one item.
  const std::vector<Key> keys = source->keys[at(fromChannel)];
  const ChannelBehaviors behaviors = source->behaviors[at(fromChannel)];
  const double value = source->current[at(fromChannel)];
  target->keys[at(toChannel)] = keys;
  target->behaviors[at(toChannel)] = behaviors;
  if (keys.empty()) target->current[at(toChannel)] = value;
  settle(scene, *target, toChannel);
  return true;
}

}  // namespace standin
