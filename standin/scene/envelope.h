// Layout's envelope evaluation: the value of one motion channel at any time, from its keys
// (span types and their parameters) and its pre- and post-behaviours.
#pragma once

#include <cstddef>
#include <vector>

#include "standin/scene/scene.h"

namespace standin {

// `keys` sorted by strictly increasing time. No keys: 0. One key: its value at every time.
double evaluateChannel(const Key* keys, std::size_t count, ChannelBehaviors behaviors, double t);

inline double evaluateChannel(const std::vector<Key>& keys, ChannelBehaviors behaviors, double t) {
  return evaluateChannel(keys.data(), keys.size(), behaviors, t);
}

}  // namespace standin
