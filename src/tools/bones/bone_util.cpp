#include <cstdint>
#include <deque>
#include <vector>

#include "host/loop_guard.h"
#include "scene/item_helpers.h"
#include "tools/bones/bone_tools.h"

namespace vorrik {

namespace {

enum BoneAction { kRestoreRest = 0, kRecordRest = 1, kEnable = 2, kDisable = 3 };

// The panel keeps a pointer to the items; they must outlive the activation.
const char* kActionNames[] = {"Restore rest", "Record rest", "Enable", "Disable", nullptr};

// A bone whose rest values cannot all be sent keeps its pose: a half-sent group would move
// it without turning it, and stop the walk there.
void restoreRest(const Host& host, LWItemID bone) {
  const Vec3 position = host.restParam(bone, LWIP_POSITION);
  const Vec3 rotation = host.restParam(bone, LWIP_ROTATION);
  const Vec3 scaling = host.restParam(bone, LWIP_SCALING);
  const Vec3 degrees = toDegrees(rotation);
  if (!isFinite(position) || !isFinite(degrees) || !isFinite(scaling)) return;
  host.send("SelectItem %x", idArg(bone));
  host.send("Position %g %g %g", position[0], position[1], position[2]);
  host.send("Rotation %g %g %g", degrees[0], degrees[1], degrees[2]);
  host.send("Scale %g %g %g", scaling[0], scaling[1], scaling[2]);
}

void recordRest(const Host& host, LWItemID bone) {
  host.send("SelectItem %x", idArg(bone));
  host.send("RecordRestPosition");
}

// BoneActive toggles, so it is sent only to bones not already in the wanted state.
void setActive(const Host& host, LWItemID bone, bool active) {
  const bool isActive = (host.boneFlags(bone) & LWBONEF_ACTIVE) != 0;
  if (isActive == active) return;
  host.send("SelectItem %x", idArg(bone));
  host.send("BoneActive");
}

void applyAction(const Host& host, int action, LWItemID bone) {
  switch (action) {
    case kRestoreRest: restoreRest(host, bone); break;
    case kRecordRest: recordRest(host, bone); break;
    case kEnable: setActive(host, bone, true); break;
    case kDisable: setActive(host, bone, false); break;
    default: break;
  }
}

// The largest power of two not above n (n >= 1).
std::size_t powerOfTwoAtMost(std::size_t n) {
  std::size_t p = 1;
  while (p <= n / 2) p *= 2;
  return p;
}

// Depth first from `root`, each bone before its children. An explicit stack rather than
// recursion: a skeleton can be one chain of a hundred thousand bones. The host calls come
// in the order the recursive walk would make them.
//
// A sound host's links form a tree, so the walk ends. A host whose links loop would keep
// it going: either one item's children come round again (each frame watches its own
// children), or the path from the root goes down for ever, and then an item comes back on
// it. For the path, the item at a power-of-two depth p is compared with every item entered
// at depths p+1 to 2p: a repeat is seen within about twice the loop's length and depth.
// Neither check asks the host anything or keeps more than the stack.
void walkBones(const Host& host, LWItemID root, int action) {
  struct Frame {
    LWItemID item;
    LWItemID child;  // the child being walked; null once the children are done
    LoopGuard children;
  };
  std::deque<Frame> stack;  // grows in blocks: a deep chain is never copied to a new array
  const auto enter = [&](LWItemID item) {
    const std::size_t depth = stack.size();
    if (depth > 0) {
      const std::size_t checkpoint = depth >= 2 ? powerOfTwoAtMost(depth - 1) : 0;
      if (stack[checkpoint].item == item) throw HostFault("the host's item links loop");
    }
    if (host.type(item) == LWI_BONE) applyAction(host, action, item);
    stack.push_back({item, host.firstChild(item), {}});
    stack.back().children.step(stack.back().child);
  };
  enter(root);
  while (!stack.empty()) {
    const LWItemID child = stack.back().child;
    if (child != LWITEM_NULL) {
      enter(child);
      continue;
    }
    stack.pop_back();
    if (!stack.empty()) {
      Frame& parent = stack.back();
      parent.child = host.nextChild(parent.item, parent.child);
      parent.children.step(parent.child);
    }
  }
}

int itemValue(LWItemID item) { return static_cast<int>(idArg(item)); }

// Offers the selected object, or the owner of the selected bone; anything else leaves none.
void presetItem(const Host& host, DialogControl& itemControl) {
  const auto selection = host.selection();
  if (!selection) return;
  const LWItemID first = selection->empty() ? LWITEM_NULL : selection->front();
  const int type = host.type(first);
  if (type == LWI_BONE) {
    itemControl.setInt(CTL_VALUE, itemValue(ownerObject(host, first)));
  } else if (type == LWI_OBJECT) {
    itemControl.setInt(CTL_VALUE, itemValue(first));
  }
}

}  // namespace

void runBoneUtil(Host& host) {
  Dialog dialog = host.createDialog("Vorrik version 0.17b : BoneUtil");

  LWPanControlDesc itemDescriptor{};
  itemDescriptor.lwitem.type = LWT_LWITEM;
  itemDescriptor.lwitem.global = reinterpret_cast<void*>(host.global());
  itemDescriptor.lwitem.itemType = LWI_OBJECT;
  itemDescriptor.lwitem.list = nullptr;
  itemDescriptor.lwitem.count = 0;
  itemDescriptor.lwitem.width = 0;
  DialogControl itemControl = dialog.addControl("LWListControl", itemDescriptor, "Item : ");
  itemControl.setInt(CTL_X, 8);
  itemControl.setInt(CTL_Y, 0);

  DialogControl actionControl = dialog.addChoice("Bone action : ", kActionNames, 8, 24);

  itemControl.setInt(CTL_VALUE, 0);
  actionControl.setInt(CTL_VALUE, kRecordRest);
  presetItem(host, itemControl);

  if (!dialog.open()) return;

  const LWItemID item = lwItemFromNumber(static_cast<std::uint32_t>(itemControl.getInt(CTL_VALUE)));
  const int action = actionControl.getInt(CTL_VALUE);
  if (item == LWITEM_NULL) return;
  if (action < kRestoreRest || action > kDisable) return;
  walkBones(host, item, action);
}

}  // namespace vorrik
