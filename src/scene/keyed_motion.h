// An item's motion keys as Layout's envelope services give them, and the key edits that give
// its channels new values at chosen times. Reading and planning send nothing; only
// applyKeyEdits changes the scene, and every edit is traced.
#pragma once

#include <array>
#include <vector>

#include "host/host_session.h"
#include "math/vec3.h"

namespace vorrik {

// The nine motion channels of one item and their keys.
struct ItemKeys {
  LWItemID item = LWITEM_NULL;
  std::vector<ChannelRef> channels;            // by MotionChannel
  std::vector<std::vector<EnvelopeKey>> keys;  // by MotionChannel, in time order
  bool complete() const;                       // every channel found, each with a key at least
};

// Empty channels when the host gives no key services.
ItemKeys readItemKeys(const Host& host, LWItemID item);

// Layout keeps key times in single precision, so a key made at frame 15 of 25 fps reads
// back as 0.60000002 while the current time is 0.6. Times within a hundred-thousandth of
// the larger (of a second, below one) are one key's time: far less than a frame.
constexpr double kKeyTimeTolerance = 1e-5;
bool sameKeyTime(double a, double b);

// Every key time of the items' channels, added to `times`.
void addKeyTimes(const ItemKeys& keys, std::vector<double>& times);
// Sorted, each time once (times of one key counted once, the earliest kept).
void sortTimes(std::vector<double>& times);

// One change to one channel: the value of its key `key`, or (key null) a new key.
struct KeyEdit {
  int channel = 0;
  LWEnvKeyframeID key = nullptr;
  double time = 0;
  double value = 0;
};

// What gives channel `channel` the `values` at `times` (times in order, every key time of
// the channel among them). A channel with one key keeps one key when all the values are the
// same; otherwise each time gets a key. A key that already holds its value gets no edit
// unless `always`.
void planChannel(const ItemKeys& keys, int channel, const std::vector<double>& times,
                 const std::vector<double>& values, bool always, std::vector<KeyEdit>& edits);

// Every key of a channel moved by `offset`, as planChannel would give it.
void planShift(const ItemKeys& keys, int channel, double offset, std::vector<KeyEdit>& edits);

// True when every value is finite.
bool finiteEdits(const std::vector<KeyEdit>& edits);

// Carries out the edits; false when Layout refused one (the others are still made).
bool applyKeyEdits(const Host& host, const ItemKeys& keys, const std::vector<KeyEdit>& edits);

// The item's position and rotation at each time (keys evaluated away from the current one).
struct Pose {
  Vec3 position, rotation, pivot, pivotRotation;
};
Pose poseAt(const Host& host, LWItemID item, double time);

}  // namespace vorrik
