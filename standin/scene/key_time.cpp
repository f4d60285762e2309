#include "standin/scene/key_time.h"

#include <algorithm>
#include <cmath>

namespace standin {

bool sameKeyTime(double a, double b) {
  const double scale = std::max({1.0, std::fabs(a), std::fabs(b)});
  return std::fabs(a - b) <= kKeyTimeTolerance * scale;
}

std::pair<std::size_t, std::size_t> keysAt(const Key* keys, std::size_t count, double time) {
  const auto before = [](const Key& k, double t) { return k.time < t; };
  const double reach = kKeyTimeTolerance * std::max(1.0, std::fabs(time)) * 2;
  // Widened search bounds, then the exact test: the tolerance scales with the larger time.
  const Key* from = std::lower_bound(keys, keys + count, time - reach, before);
  const Key* to = from;
  while (to != keys + count && to->time <= time + reach) ++to;
  while (from != to && !sameKeyTime(from->time, time)) ++from;
  const Key* end = from;
  while (end != to && sameKeyTime(end->time, time)) ++end;
  return {static_cast<std::size_t>(from - keys), static_cast<std::size_t>(end - keys)};
}

std::size_t keyAt(const Key* keys, std::size_t count, double time) {
  const auto [first, end] = keysAt(keys, count, time);
  std::size_t nearest = count;
  for (std::size_t i = first; i < end; ++i) {
    if (nearest == count || std::fabs(keys[i].time - time) < std::fabs(keys[nearest].time - time)) {
      nearest = i;
    }
  }
  return nearest;
}

}  // namespace standin
