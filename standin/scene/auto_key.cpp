#include "standin/scene/auto_key.h"

#include <algorithm>

#include "standin/scene/envelope.h"
#include "standin/scene/key_time.h"

namespace standin {

const char* autoKeyCreateName(int mode) {
  switch (mode) {
    case kAutoKeyModified: return "modified";
    case kAutoKeyAll: return "all";
    default: return "off";
  }
}

std::optional<int> autoKeyCreateFromName(const std::string& name) {
  for (int mode : {kAutoKeyOff, kAutoKeyModified, kAutoKeyAll}) {
    if (name == autoKeyCreateName(mode)) return mode;
  }
  return std::nullopt;
}

bool changeNotKeyed(const Scene& scene, const Item& item, int c) {
  const std::vector<Key>& keys = item.keys[static_cast<std::size_t>(c)];
  if (keys.empty()) return false;
  const double t = scene.time();
  if (keyAt(keys, t) != keys.size()) return false;
  return evaluateChannel(keys, item.behaviors[static_cast<std::size_t>(c)], t) !=
         item.current[static_cast<std::size_t>(c)];
}

void settleIntoKeys(Scene& scene) {
  const double t = scene.time();
  for (ItemId id : scene.allItems()) {
    Item& item = *scene.find(id);
    for (int c = 0; c < kChannelCount; ++c) {
      std::vector<Key>& keys = item.keys[static_cast<std::size_t>(c)];
      const double now = item.current[static_cast<std::size_t>(c)];
      if (keys.empty()) continue;
      // A value its keys give already stays where it is, to the last bit.
      if (evaluateChannel(keys, item.behaviors[static_cast<std::size_t>(c)], t) == now) continue;
      const std::size_t at = keyAt(keys, t);
      if (at != keys.size()) {
        keys[at].value = now;
      } else if (keys.size() == 1) {
        keys[0].value = now;
      }
    }
  }
}

std::size_t keyAutoCreated(Scene& scene) {
  if (scene.autoKeyCreate != kAutoKeyModified && scene.autoKeyCreate != kAutoKeyAll) return 0;
  const double t = scene.time();
  std::size_t keyed = 0;
  for (ItemId id : scene.allItems()) {
    Item& item = *scene.find(id);
    bool changed[kChannelCount] = {};
    bool any = false;
    for (int c = 0; c < kChannelCount; ++c) {
      changed[c] = changeNotKeyed(scene, item, c);
      any = any || changed[c];
    }
    if (!any) continue;
    for (int c = 0; c < kChannelCount; ++c) {
      std::vector<Key>& keys = item.keys[static_cast<std::size_t>(c)];
      if (!changed[c] && scene.autoKeyCreate != kAutoKeyAll) continue;
      const double now = item.current[static_cast<std::size_t>(c)];
      const std::size_t existing = keyAt(keys, t);
      if (existing != keys.size()) {
        keys[existing].value = now;
      } else {
        Key key{t, now};
        key.span = scene.newKeySpan;
        keys.insert(std::lower_bound(keys.begin(), keys.end(), t,
                                     [](const Key& k, double time) { return k.time < time; }),
                    key);
      }
      ++keyed;
    }
  }
  return keyed;
}

}  // namespace standin
