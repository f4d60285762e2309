#include "tools/bones/bone_tools.h"

namespace vorrik {

void runBoneSplit(Host&) {}

}  // namespace vorrik
