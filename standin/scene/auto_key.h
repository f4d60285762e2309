// Layout's "Auto Key Create" option: what becomes of a change made at a time where a channel
// has no key. Without it the change holds only until the time changes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "standin/scene/scene.h"

namespace standin {

enum AutoKeyCreate : int {
  kAutoKeyOff = 0,       // only a key that exists at the current time takes the change
  kAutoKeyModified = 1,  // a key is made at the current time on each changed channel
  kAutoKeyAll = 2,       // a key is made at the current time on every channel of the item
};

// "off", "modified", "all" (Layout's "Off", "Modified Channels", "All Channels").
const char* autoKeyCreateName(int mode);
std::optional<int> autoKeyCreateFromName(const std::string& name);

// Whether channel `c` of `item` has a value at the scene's current time that none of its
// keys holds: it has keys, none at the current time, and they give another value there.
bool changeNotKeyed(const Scene& scene, const Item& item, int c);

// Puts each current value into the key a saved scene file keeps it in: the channel's key at
// the current time (Layout's Auto Key), or the only key of a channel that has one. What no key
// holds stays a current value only. Afterwards the scene at any time is what its file holds.
void settleIntoKeys(Scene& scene);

// Makes the keys scene.autoKeyCreate asks for, at the current time, for every change that no
// key holds. Returns the number of channels keyed.
std::size_t keyAutoCreated(Scene& scene);

}  // namespace standin
