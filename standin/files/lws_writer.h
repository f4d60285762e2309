// Writes a stand-in scene as a LightWave Layout scene file (.lws).
#pragma once

#include <string>

#include "standin/scene/scene.h"

namespace standin {

// A scene read from a .lws file (Scene::source) is written in that file's version, line
// for line, with only what the stand-in models brought up to date: motion, hierarchy,
// pivots, bone values, and bones added or removed. Other scenes are written as version 3.
// Throws SceneFileError for what the file cannot take: objects, lights or cameras added to
// a read scene, the last object, light or camera of a read scene removed, or a line break
// in a name.
std::string sceneToLws(const Scene& scene);

}  // namespace standin
