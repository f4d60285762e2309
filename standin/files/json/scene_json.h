// The JSON form of a stand-in scene, read and written.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "standin/files/base/scene_file_error.h"
#include "standin/scene/scene.h"

namespace standin {

// Builds a scene from JSON text. Throws SceneFileError for invalid input; never returns a
// half-built scene.
Scene sceneFromJson(const std::string& text);
Scene sceneFromJsonValue(const nlohmann::json& value);

// The scene as JSON, with each item's "id" as Layout's hex text. Loading the result gives
// the same scene again.
nlohmann::json sceneToJsonValue(const Scene& scene);
std::string sceneToJson(const Scene& scene);  // pretty-printed, ends with a newline

}  // namespace standin
