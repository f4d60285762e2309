// Scene files on disk, whatever their form: LightWave's .lws or the stand-in's JSON. The
// formats themselves are in lws/ and json/; this is what the runner loads and saves with.
#pragma once

#include <string>

#include "standin/files/base/scene_file_error.h"
#include "standin/scene/scene.h"

namespace standin {

// Whether `path` names a LightWave scene (.lws, any case) rather than a JSON one.
bool isLwsPath(const std::string& path);

// The text of the scene file `path` names: .lws or JSON by the extension. Throws
// SceneFileError when the scene cannot be written in that form.
std::string sceneFileText(const Scene& scene, const std::string& path);

// The bytes of a file, refusing devices, folders and files over 1 GiB (base/file_read.h).
// Throws SceneFileError ("cannot read PATH: why").
std::string readWholeFile(const std::string& path);

// Reads a scene file from disk: a LightWave scene when its first line is LWSC or its name
// ends in .lws, else JSON. Throws SceneFileError when unreadable or invalid; the message
// starts with the path (and, for .lws files, the line number: "rig.lws:12: ...").
Scene loadSceneFile(const std::string& path);
// Writes whole or not at all (base/file_batch.h). Throws SceneFileError when the file
// cannot be written.
void saveSceneFile(const Scene& scene, const std::string& path);

}  // namespace standin
