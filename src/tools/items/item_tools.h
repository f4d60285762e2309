// QuickParent and the key clipboard tools.
#pragma once

#include "host/host_session.h"
#include "tools/items/key_clipboard.h"

namespace vorrik {

// Parents every selected item to the first selected one.
void runQuickParent(Host& host);

// Capture the selection's transforms at the current time; CutKey also deletes the keys there.
void runCopyKey(Host& host, KeyClipboard& clipboard);
void runCutKey(Host& host, KeyClipboard& clipboard);
// Writes the captured transforms back as keys at the current time.
void runPasteKey(Host& host, const KeyClipboard& clipboard);
// Pastes the captured transforms mirrored onto the items of the other side, keyed at the
// current time; the mirror axis asked for is remembered in `rememberedAxis` (0 x, 1 y, 2 z).
void runPasteKeyMirror(Host& host, const KeyClipboard& clipboard, int& rememberedAxis);

}  // namespace vorrik
