#include "host/loop_guard.h"
#include "scene/item_helpers.h"
#include "tools/bones/bone_tools.h"

namespace vorrik {

namespace {

const char* const kSingleBone = "Select only single bone.";
const char* const kNoRecoveryData = "Unparent recovery data is empty.";
const char* const kBoneGone = "Unparented bone may be deleted.";

enum UnparentAction { kUnparent = 0, kRecover = 1 };

// The panel keeps a pointer to the items; they must outlive the activation.
const char* kActionNames[] = {"Unparent", "Recover", nullptr};

// This tool's commands stay out of the debugger output.
void reparent(const Host& host, LWItemID item, LWItemID newParent) {
  host.sendUntraced("SelectItem %x", idArg(item));
  host.sendUntraced("ParentItem %x", idArg(newParent));
}

// Hands every direct child bone of `bone` to the bone's own parent, and remembers them.
void unparentChildren(const Host& host, LWItemID bone, UnparentRecord& record) {
  if (host.type(bone) != LWI_BONE) return;
  const LWItemID parent = host.parent(bone);
  const LWItemID owner = ownerObject(host, bone);
  record.reset();
  record.unparentedBone = bone;
  LoopGuard guard;
  for (LWItemID child = host.first(LWI_BONE, owner); child != LWITEM_NULL;
       child = host.next(child)) {
    guard.step(child);
    if (host.parent(child) != bone) continue;
    reparent(host, child, parent);
    record.movedBones.push_back(child);
  }
  host.sendUntraced("SelectItem %x", idArg(bone));
}

// Puts the remembered bones back. One that no longer hangs where Unparent put it was moved
// since, by hand; it stays where it is.
void recoverChildren(const Host& host, UnparentRecord& record) {
  const LWItemID bone = record.unparentedBone;
  if (bone == LWITEM_NULL) return;
  const LWItemID parent = host.parent(bone);
  for (LWItemID child : record.movedBones) {
    if (host.parent(child) != parent) continue;
    reparent(host, child, bone);
  }
  host.sendUntraced("SelectItem %x", idArg(bone));
  record.reset();
}

bool canRecover(const Host& host, const UnparentRecord& record) {
  return record.unparentedBone != LWITEM_NULL && host.type(record.unparentedBone) == LWI_BONE;
}

}  // namespace

void runBoneUnParent(Host& host, UnparentRecord& record) {
  const auto selection = host.selection();
  if (!selection) return;
  if (selection->size() > 1) {
    host.info(kSingleBone);
    return;
  }
  const LWItemID bone = selection->empty() ? LWITEM_NULL : selection->front();
  if (host.type(bone) != LWI_BONE) {
    host.info(kSingleBone);
    return;
  }

  Dialog dialog = host.createDialog("Vorrik version 0.17b [ BoneUnParent ]");
  DialogControl action = dialog.addChoice("Action : ", kActionNames, 8, 0);
  action.setInt(CTL_VALUE, canRecover(host, record) ? kRecover : kUnparent);
  if (!dialog.open()) return;

  switch (action.getInt(CTL_VALUE)) {
    case kUnparent: unparentChildren(host, bone, record); break;
    case kRecover:
      if (record.unparentedBone == LWITEM_NULL) {
        host.info(kNoRecoveryData);
      } else if (host.type(record.unparentedBone) == LWI_BONE) {
        recoverChildren(host, record);
      } else {
        // The record stays; only a new Unparent replaces it.
        host.info(kBoneGone);
      }
      break;
    default: break;
  }
}

}  // namespace vorrik
