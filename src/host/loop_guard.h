// Layout's item links form a forest, so every walk along them ends. A broken host whose
// links come round in a loop would keep a walk going for ever and hang Layout with it.
#pragma once

#include <cstdint>

#include "host/host_fault.h"
#include "host/lw_host.h"

namespace vorrik {

// Watches the items of one walk along single links (parent after parent, next after next)
// and ends the activation through HostFault when one comes round again. Brent's method: no
// memory beyond one saved item, no host calls, and a loop is seen within about twice its
// length plus the steps before it. A walk that never repeats an item is never stopped.
class LoopGuard {
public:
  void step(LWItemID item) {
    if (item == saved_ && item != LWITEM_NULL) throw HostFault("the host's item links loop");
    if (++steps_ == span_) {
      saved_ = item;
      steps_ = 0;
      if (span_ < kLongestSpan) span_ *= 2;
    }
  }

private:
  // 32-bit counters keep the guard small enough to sit in every frame of a deep walk. The
  // span stops doubling at 2^31, so only a loop of more items than that would go unseen.
  static constexpr std::uint32_t kLongestSpan = std::uint32_t{1} << 31;
  LWItemID saved_ = LWITEM_NULL;
  std::uint32_t steps_ = 0;
  std::uint32_t span_ = 1;
};

}  // namespace vorrik
