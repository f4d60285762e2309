#include "module/module_state.h"

namespace vorrik {

namespace {
// Constructed during the module's static initialisation, destroyed when it is unloaded.
ModuleState theModuleState;
}  // namespace

ModuleState& moduleState() { return theModuleState; }

}  // namespace vorrik
