// JSON text to a value, refusing what nlohmann's own parser lets through silently: a field
// repeated in one object (it would keep the last). Linear in the text, whatever its shape.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

namespace standin {

// Throws SceneFileError "invalid JSON: ..." with the line and column nlohmann reports.
nlohmann::json parseStrictJson(const std::string& text);

// The values the last parse on this thread created, for checking that the work is linear.
std::size_t strictJsonValuesMade();

}  // namespace standin
