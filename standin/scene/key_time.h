// When a time is a key's time. Layout keeps key times in single precision and writes them
// with about 8 significant digits, so frame 15 at 25 fps comes back from a file as
// 0.60000002, not 0.6; a time asked for in double precision must still find that key.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "standin/scene/scene.h"

namespace standin {

// Two times are one key's time when they differ by at most a millionth of the larger, or by
// a microsecond below one second: several single-precision steps, so any float-written time
// finds its key, and far less than a frame at any rate, so keys between frames stay apart.
constexpr double kKeyTimeTolerance = 1e-6;

bool sameKeyTime(double a, double b);

// The keys of `keys` (sorted by time) at `time`: [first, second) as indices.
std::pair<std::size_t, std::size_t> keysAt(const Key* keys, std::size_t count, double time);

// The key at `time` nearest to it, or `count` when there is none.
std::size_t keyAt(const Key* keys, std::size_t count, double time);

inline std::size_t keyAt(const std::vector<Key>& keys, double time) {
  return keyAt(keys.data(), keys.size(), time);
}

}  // namespace standin
