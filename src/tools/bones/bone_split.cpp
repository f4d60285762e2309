#include <cmath>

#include "tools/bones/bone_parts.h"
#include "tools/bones/bone_tools.h"

namespace vorrik {

namespace {

// The share of the old bone's rest length that the first part keeps.
double clampedRatio(double percent) {
  const double ratio = percent * 0.01;
  if (ratio > 0.999) return 0.999;
  if (ratio < 0.001 || std::isnan(ratio)) return 0.001;
  return ratio;
}

}  // namespace

void runBoneSplit(Host& host) {
  const LWItemID bone = singleSelectedBone(host);
  if (bone == LWITEM_NULL) return;

  Dialog dialog = host.createDialog("Vorrik version 0.17b : BoneSplit");
  DialogControl percent =
      dialog.addRange("PercentControl", "Parent length ratio : ", 0, 100, 0, 8, 0);
  percent.setFloat(CTL_VALUE, 50.0);
  if (!dialog.open()) return;

  const double r = clampedRatio(percent.getFloat(CTL_VALUE));
  // The second part's share is worked out from r, not as what the first leaves.
  splitIntoParts(host, bone, {r, 1 - r}, "BoneSplit");
}

}  // namespace vorrik
