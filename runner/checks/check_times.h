// The times the rig check and the read-back of saved files look at: the current time, every
// key time, and the midpoint of each pair of neighbouring key times.
#pragma once

#include <cstddef>
#include <vector>

#include "standin/scene/scene.h"

namespace runner {

// At most this many times are looked at; more are thinned evenly.
constexpr std::size_t kMaxCheckTimes = 256;

// The times of `scenes` (null entries skipped), sorted, each once. The current time of the
// first scene is always among them; when there are more than `cap`, they are picked evenly
// spread over the sorted list (first and last included).
std::vector<double> checkTimes(const std::vector<const standin::Scene*>& scenes,
                               std::size_t cap = kMaxCheckTimes);

// Whether any item of the scene has a key.
bool hasKeys(const standin::Scene& scene);

}  // namespace runner
