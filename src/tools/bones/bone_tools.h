// The bone tools.
#pragma once

#include "host/host_session.h"
#include "tools/bones/unparent_record.h"

namespace vorrik {

// Restores or records the rest pose, or enables or disables bones, for a chosen object.
void runBoneUtil(Host& host);
// Splits the selected bone in two at a ratio chosen in a dialog.
void runBoneSplit(Host& host);
// Cuts the selected bone into a number of equal parts chosen in a dialog, which offers the
// number chosen last (`rememberedCount`, kept while the module is loaded).
void runBoneSubdivide(Host& host, int& rememberedCount);
// Merges a selected bone with its selected child bone.
void runBoneMerge(Host& host);
// Detaches the selected bone's child bones, or puts the last detached ones back.
void runBoneUnParent(Host& host, UnparentRecord& record);

}  // namespace vorrik
