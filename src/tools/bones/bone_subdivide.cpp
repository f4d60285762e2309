#include <vector>

#include "tools/bones/bone_parts.h"
#include "tools/bones/bone_tools.h"

namespace vorrik {

namespace {

constexpr int kFewestParts = 2;
constexpr int kMostParts = 100;

int clampedCount(int count) {
  if (count < kFewestParts) return kFewestParts;
  if (count > kMostParts) return kMostParts;
  return count;
}

}  // namespace

void runBoneSubdivide(Host& host, int& rememberedCount) {
  const LWItemID bone = singleSelectedBone(host);
  if (bone == LWITEM_NULL) return;

  Dialog dialog = host.createDialog("Vorrik version 0.17b : BoneSubdivide");
  DialogControl count = dialog.addRange("MiniSliderControl", "Number of bones : ", kFewestParts,
                                        kMostParts, 100, 8, 0);
  count.setInt(CTL_VALUE, clampedCount(rememberedCount));
  if (!dialog.open()) return;

  // Layout's slider keeps to its range; a host that does not is held to it here.
  const int parts = clampedCount(count.getInt(CTL_VALUE));
  rememberedCount = parts;
  splitIntoParts(host, bone, std::vector<double>(parts, 1.0 / parts), "BoneSubdivide");
}

}  // namespace vorrik
