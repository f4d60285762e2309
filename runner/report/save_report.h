// What the report says about each saved file: the plug-in ids rewritten or left dangling,
// the object files written beside it, and what reading it back found.
#pragma once

#include <ostream>

#include <nlohmann/json.hpp>

#include "runner/checks/read_back.h"

namespace runner {

nlohmann::json saveCheckToJson(const SaveCheck& check);
// A "save" heading with the path, then the rewritten ids, the dangling ones and the
// differences; nothing more when the file holds what the scene does.
void printSaveCheck(std::ostream& out, const SaveCheck& check);

}  // namespace runner
