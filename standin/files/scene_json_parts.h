// What the JSON scene reader and writer share; for the files of this folder only.
#pragma once

#include <string>

#include "standin/scene/scene.h"

namespace standin {
namespace scene_json {

constexpr double kPi = 3.14159265358979323846;

// Throws SceneFileError with `message`.
[[noreturn]] void fail(const std::string& message);
// JSON-quoted, so odd characters in names stay readable in one-line messages.
std::string quote(const std::string& text);
// The "type" text of an item in the JSON form.
const char* typeName(ItemType type);

}  // namespace scene_json
}  // namespace standin
