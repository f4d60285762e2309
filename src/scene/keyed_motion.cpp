#include "scene/keyed_motion.h"

#include <algorithm>
#include <cmath>

namespace vorrik {

namespace {

std::size_t at(int channel) { return static_cast<std::size_t>(channel); }

const EnvelopeKey* keyAtTime(const std::vector<EnvelopeKey>& keys, double time) {
  const EnvelopeKey* nearest = nullptr;
  for (const EnvelopeKey& key : keys) {
    if (sameKeyTime(key.time, time) &&
        (nearest == nullptr || std::fabs(key.time - time) < std::fabs(nearest->time - time))) {
      nearest = &key;
    }
  }
  return nearest;
}

}  // namespace

bool sameKeyTime(double a, double b) {
  const double scale = std::max({1.0, std::fabs(a), std::fabs(b)});
  return std::fabs(a - b) <= kKeyTimeTolerance * scale;
}

bool ItemKeys::complete() const {
  if (channels.size() != kMotionChannels || keys.size() != kMotionChannels) return false;
  for (int c = 0; c < kMotionChannels; ++c) {
    if (!channels[at(c)].found() || keys[at(c)].empty()) return false;
  }
  return true;
}

ItemKeys readItemKeys(const Host& host, LWItemID item) {
  ItemKeys read;
  read.item = item;
  if (!host.hasKeyServices()) return read;
  read.channels = host.motionChannels(item);
  read.keys.resize(read.channels.size());
  for (std::size_t c = 0; c < read.channels.size(); ++c) {
    read.keys[c] = host.keys(read.channels[c]);
  }
  return read;
}

void addKeyTimes(const ItemKeys& keys, std::vector<double>& times) {
  for (const std::vector<EnvelopeKey>& channel : keys.keys) {
    for (const EnvelopeKey& key : channel) times.push_back(key.time);
  }
}

void sortTimes(std::vector<double>& times) {
  std::sort(times.begin(), times.end());
  times.erase(std::unique(times.begin(), times.end(), sameKeyTime), times.end());
}

void planChannel(const ItemKeys& keys, int channel, const std::vector<double>& times,
                 const std::vector<double>& values, bool always, std::vector<KeyEdit>& edits) {
  const std::vector<EnvelopeKey>& existing = keys.keys[at(channel)];
  const bool allSame =
      std::all_of(values.begin(), values.end(), [&](double v) { return v == values.front(); });
  if (existing.size() == 1 && allSame && !values.empty()) {
    // A constant channel stays one key.
    if (always || existing[0].value != values.front()) {
      edits.push_back({channel, existing[0].id, existing[0].time, values.front()});
    }
    return;
  }
  for (std::size_t i = 0; i < times.size(); ++i) {
    const EnvelopeKey* key = keyAtTime(existing, times[i]);
    if (key == nullptr) {
      edits.push_back({channel, nullptr, times[i], values[i]});
    } else if (always || key->value != values[i]) {
      edits.push_back({channel, key->id, key->time, values[i]});
    }
  }
}

void planShift(const ItemKeys& keys, int channel, double offset, std::vector<KeyEdit>& edits) {
  for (const EnvelopeKey& key : keys.keys[at(channel)]) {
    const double moved = key.value + offset;
    if (moved != key.value) edits.push_back({channel, key.id, key.time, moved});
  }
}

bool finiteEdits(const std::vector<KeyEdit>& edits) {
  return std::all_of(edits.begin(), edits.end(), [](const KeyEdit& edit) {
    return std::isfinite(edit.value) && std::isfinite(edit.time);
  });
}

bool applyKeyEdits(const Host& host, const ItemKeys& keys, const std::vector<KeyEdit>& edits) {
  bool all = true;
  for (const KeyEdit& edit : edits) {
    const ChannelRef& channel = keys.channels[at(edit.channel)];
    const bool done = edit.key != nullptr
                          ? host.setKeyValue(channel, edit.key, edit.time, edit.value)
                          : host.createKey(channel, edit.time, edit.value);
    all = all && done;
  }
  return all;
}

Pose poseAt(const Host& host, LWItemID item, double time) {
  return {host.paramAt(item, LWIP_POSITION, time), host.paramAt(item, LWIP_ROTATION, time),
          host.paramAt(item, LWIP_PIVOT, time), host.paramAt(item, LWIP_PIVOT_ROT, time)};
}

}  // namespace vorrik
