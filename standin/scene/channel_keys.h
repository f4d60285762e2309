// One motion channel's keys edited as Layout's envelope functions edit them. Layout gives
// every channel at least one key; here a channel without keys stands for one key at time 0
// holding the item's current value, and it stays keyless while only that value changes.
// Every edit leaves the channel's current value as its keys give it at the scene's time.
#pragma once

#include <optional>
#include <string>

#include "standin/scene/scene.h"

namespace standin {

// The channel's keys as Layout shows them (the one key of a keyless channel included).
std::vector<Key> shownKeys(const Item& item, int channel);
// The shown key at `time` (within kKeyTimeTolerance, key_time.h), with its own time; none
// when there is no key there. Every function below finds its key the same way.
std::optional<Key> shownKey(const Item& item, int channel, double time);

// The channel's value at `time` from its keys alone (a keyless channel: its value).
double keyedValue(const Item& item, int channel, double time);

// Each returns false, changes nothing and says why when Layout would not do it.
// A key's value, span type (SpanType) or parameter p1..p6 (index 0..5).
bool setKeyValue(Scene& scene, ItemId item, int channel, double time, double value,
                 std::string* why);
bool setKeySpan(Scene& scene, ItemId item, int channel, double time, int span, std::string* why);
bool setKeyParam(Scene& scene, ItemId item, int channel, double time, int index, double value,
                 std::string* why);
// Makes a key at `time` (or gives the key there the value), keeping the key at time 0 a
// keyless channel stood for.
bool createKeyAt(Scene& scene, ItemId item, int channel, double time, double value,
                 std::string* why);
// Removes the key at `time`; a channel's last key stays.
bool destroyKeyAt(Scene& scene, ItemId item, int channel, double time, std::string* why);
// EndBehavior before the first key (pre) or after the last.
bool setBehavior(Scene& scene, ItemId item, int channel, bool pre, int behavior, std::string* why);
// Gives channel `to` of one item the keys and behaviours of channel `from` of another.
bool copyChannel(Scene& scene, ItemId to, int toChannel, ItemId from, int fromChannel,
                 std::string* why);

}  // namespace standin
