#include "tools/bones/bone_tools.h"

namespace vorrik {

void runBoneUnParent(Host&, UnparentRecord&) {}

}  // namespace vorrik
