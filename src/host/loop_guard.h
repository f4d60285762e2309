// Layout's item links form a forest, so every walk along them ends. A broken host whose
// links come round in a loop would keep a walk going for ever and hang Layout with it.
#pragma once

#include <cstddef>

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
      span_ *= 2;
    }
  }

private:
  LWItemID saved_ = LWITEM_NULL;
  std::size_t steps_ = 0;
  std::size_t span_ = 1;
};

// For walks that keep a set of the items seen anyway: `inserted` is false for an item seen
// before, which a sound host never lists twice.
inline void requireFirstVisit(bool inserted) {
  if (!inserted) throw HostFault("the host's item links loop");
}

}  // namespace vorrik
