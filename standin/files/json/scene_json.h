// Scene files for the stand-in: the JSON form the runner reads and writes, and the choice
// between it and LightWave's .lws form.
#pragma once

#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "standin/scene/scene.h"

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

// Whether `path` names a LightWave scene (.lws, any case) rather than a JSON one.
bool isLwsPath(const std::string& path);

// The text of the scene file `path` names: .lws (lws_writer.h) or JSON by the extension.
// Throws SceneFileError when the scene cannot be written in that form.
std::string sceneFileText(const Scene& scene, const std::string& path);

// The bytes of a file, refusing devices, folders and files over 1 GiB. Throws
// SceneFileError ("cannot read PATH: why").
std::string readWholeFile(const std::string& path);

// Reads a scene file from disk, .lws (lws_reader.h) or JSON by the extension. Throws
// SceneFileError when unreadable or invalid; the message starts with the path (and, for
// .lws files, the line number: "rig.lws:12: ...").
Scene loadSceneFile(const std::string& path);
// Writes whole or not at all (file_batch.h). Throws SceneFileError when the file cannot be
// written.
void saveSceneFile(const Scene& scene, const std::string& path);

}  // namespace standin
