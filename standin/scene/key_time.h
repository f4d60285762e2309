// When a time is a key's time. Layout keeps key times in single precision and writes them
// with about 8 significant digits, so frame 15 at 25 fps comes back from a file as
// 0.60000002, not 0.6; and plug-ins send "CreateKey" and "DeleteKey" times with C's "%g",
// six significant digits, so frame 37 at 30 fps comes as 1.23333. Either must find the key.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "standin/scene/scene.h"

namespace standin {

// Two times are one key's time when they differ by at most a hundred-thousandth of the
// larger, or by ten microseconds below one second: twice the rounding of six significant
// digits, so both of the above find their key, and a small part of a frame at any usual
// rate, so keys between frames stay apart.
constexpr double kKeyTimeTolerance = 1e-5;

bool sameKeyTime(double a, double b);

// The keys of `keys` (sorted by time) at `time`: [first, second) as indices.
std::pair<std::size_t, std::size_t> keysAt(const Key* keys, std::size_t count, double time);

// The key at `time` nearest to it, or `count` when there is none.
std::size_t keyAt(const Key* keys, std::size_t count, double time);

inline std::size_t keyAt(const std::vector<Key>& keys, double time) {
  return keyAt(keys.data(), keys.size(), time);
}

}  // namespace standin
