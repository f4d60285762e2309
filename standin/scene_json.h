// Scene files for the stand-in: the JSON form the runner reads and writes.
#pragma once

#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "standin/scene.h"

namespace standin {

// A scene file that cannot be used; what() is one line that says what is wrong and where
// ("items[3] (\"Forearm\"): unknown parent \"Elbow\"").
struct SceneFileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Builds a scene from JSON text. Throws SceneFileError for invalid input; never returns a
// half-built scene.
Scene sceneFromJson(const std::string& text);
Scene sceneFromJsonValue(const nlohmann::json& value);

// The scene as JSON, with each item's "id" as Layout's hex text. Loading the result gives
// the same scene again.
nlohmann::json sceneToJsonValue(const Scene& scene);
std::string sceneToJson(const Scene& scene);  // pretty-printed, ends with a newline

// Reads a scene file from disk (JSON). Throws SceneFileError when unreadable or invalid.
Scene loadSceneFile(const std::string& path);
// Writes atomically enough for a CLI: to a temporary beside `path`, then renamed.
// Throws SceneFileError when the file cannot be written.
void saveSceneFile(const Scene& scene, const std::string& path);

}  // namespace standin
