// The mesh check's findings as the report prints them, and as JSON.
#pragma once

#include <ostream>

#include <nlohmann/json.hpp>

#include "runner/checks/mesh_check.h"

namespace runner {

nlohmann::json meshCheckToJson(const MeshCheck& check);
// "  mesh check" lines; nothing when no mesh was compared.
void printMeshCheck(std::ostream& out, const MeshCheck& check);

}  // namespace runner
