#include "runner/checks/check_times.h"

#include <algorithm>
#include <cmath>

namespace runner {

bool hasKeys(const standin::Scene& scene) {
  for (standin::ItemId id : scene.allItems()) {
    if (scene.find(id)->hasKeys()) return true;
  }
  return false;
}

std::vector<double> checkTimes(const std::vector<const standin::Scene*>& scenes, std::size_t cap) {
  std::vector<double> keyTimes;
  for (const standin::Scene* scene : scenes) {
    if (!scene) continue;
    for (standin::ItemId id : scene->allItems()) {
      for (const std::vector<standin::Key>& keys : scene->find(id)->keys) {
        for (const standin::Key& key : keys) keyTimes.push_back(key.time);
      }
    }
  }
  std::sort(keyTimes.begin(), keyTimes.end());
  keyTimes.erase(std::unique(keyTimes.begin(), keyTimes.end()), keyTimes.end());
  std::vector<double> times = keyTimes;
  for (std::size_t i = 1; i < keyTimes.size(); ++i) {
    times.push_back(keyTimes[i - 1] + (keyTimes[i] - keyTimes[i - 1]) / 2);
  }
  const double now = scenes.empty() || !scenes[0] ? 0 : scenes[0]->time();
  times.push_back(now);
  std::sort(times.begin(), times.end());
  times.erase(std::unique(times.begin(), times.end()), times.end());
  if (cap < 2) cap = 2;
  if (times.size() <= cap) return times;
  std::vector<double> picked;
  picked.reserve(cap + 1);
  for (std::size_t i = 0; i < cap; ++i) {
    // Evenly spread indices, first and last included.
    const std::size_t index = static_cast<std::size_t>(
        std::llround(static_cast<double>(i) * static_cast<double>(times.size() - 1) /
                     static_cast<double>(cap - 1)));
    picked.push_back(times[index]);
  }
  picked.push_back(now);
  std::sort(picked.begin(), picked.end());
  picked.erase(std::unique(picked.begin(), picked.end()), picked.end());
  return picked;
}

}  // namespace runner
