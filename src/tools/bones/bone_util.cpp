#include "tools/bones/bone_tools.h"

namespace vorrik {

void runBoneUtil(Host&) {}

}  // namespace vorrik
