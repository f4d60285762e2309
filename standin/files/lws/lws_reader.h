// Reads LightWave Layout scene files (.lws, versions 3 to 8) into a stand-in scene: items,
// names, owners, hierarchy, motion channels with every key, pivots and bone rest values.
#pragma once

#include <string>
#include <string_view>

#include "standin/files/base/scene_file_error.h"
#include "standin/scene/scene.h"

namespace standin {

// `text` is the whole file; `fileName` starts every error message ("rig.lws:12: ...").
// Throws SceneFileError (base/scene_file_error.h) for a file that cannot be used. The scene keeps
// the file's lines in Scene::source so that saving can keep everything it does not model.
Scene sceneFromLws(const std::string& text, const std::string& fileName);

// Whether `text` begins as a LightWave scene does: its first line is LWSC (after a UTF-8
// byte order mark, blanks around it and any line ending).
bool looksLikeLws(std::string_view text);

}  // namespace standin
