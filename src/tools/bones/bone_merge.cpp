#include "tools/bones/bone_tools.h"

namespace vorrik {

void runBoneMerge(Host&) {}

}  // namespace vorrik
