// The memory of the last Unparent action, kept for Recover while the module is loaded.
#pragma once

#include <vector>

#include "host/lw_host.h"

namespace vorrik {

struct UnparentRecord {
  // The child bones the last Unparent moved, in the order it moved them.
  std::vector<LWItemID> movedBones;
  // The bone whose children were moved; null when there is nothing to recover.
  LWItemID unparentedBone = LWITEM_NULL;

  // Forgets the action; keeps the storage for the next one.
  void reset() {
    movedBones.clear();
    unparentedBone = LWITEM_NULL;
  }
};

}  // namespace vorrik
