// A set of item ids in one flat table (open addressing, linear probing). Finding the bone
// an add made falls back to it when a host lists an object's bones in a new order, and then
// looks up every bone; a node-based set would spend most of that time on allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/lw_host.h"

namespace vorrik {

class ItemSet {
public:
  // Inserts a non-null id; false when it was there already.
  bool insert(LWItemID item) {
    if (2 * (size_ + 1) > slots_.size()) grow();
    std::size_t i = home(item);
    while (slots_[i] != LWITEM_NULL) {
      if (slots_[i] == item) return false;
      i = (i + 1) & mask_;
    }
    slots_[i] = item;
    ++size_;
    return true;
  }

  bool contains(LWItemID item) const {
    if (size_ == 0 || item == LWITEM_NULL) return false;
    for (std::size_t i = home(item); slots_[i] != LWITEM_NULL; i = (i + 1) & mask_) {
      if (slots_[i] == item) return true;
    }
    return false;
  }

  std::size_t size() const { return size_; }

private:
  std::size_t home(LWItemID item) const {
    // Fibonacci hashing: ids differ mostly in their low bits, in runs.
    const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(item));
    return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> shift_);
  }

  void grow() {
    std::vector<LWItemID> old;
    old.swap(slots_);
    const std::size_t capacity = old.empty() ? 64 : 2 * old.size();
    slots_.assign(capacity, LWITEM_NULL);
    mask_ = capacity - 1;
    shift_ = 64;
    for (std::size_t c = capacity; c > 1; c >>= 1) --shift_;
    size_ = 0;
    for (LWItemID item : old) {
      if (item != LWITEM_NULL) insert(item);
    }
  }

  std::vector<LWItemID> slots_;  // a power of two, at most half full
  std::size_t mask_ = 0;
  unsigned shift_ = 64;
  std::size_t size_ = 0;
};

}  // namespace vorrik
