// State that lives exactly as long as the loaded module: built empty when the module is
// loaded, destroyed when it is unloaded.
#pragma once

#include "tools/bones/unparent_record.h"
#include "tools/items/key_clipboard.h"

namespace vorrik {

struct ModuleState {
  // Declaration order is construction order: the unparent record first.
  UnparentRecord unparentRecord;
  KeyClipboard clipboard;
  int mirrorAxis = 0;      // PasteKeyMirror's last axis: 0 x, 1 y, 2 z
  int subdivideCount = 2;  // BoneSubdivide's last number of bones
};

// The module's one instance.
ModuleState& moduleState();

}  // namespace vorrik
