#include "tools/items/key_clipboard.h"

#include <utility>

namespace vorrik {

KeyClipboard::~KeyClipboard() { clear(); }

void KeyClipboard::clear() { records_.clear(); }

void KeyClipboard::append(std::unique_ptr<KeyRecord> record) {
  records_.push_back(std::move(record));
}

}  // namespace vorrik
