// The built-in demo rig: a small character with a light, a camera and two props. The
// character's body is a mesh made here, named after the file "Hero.lwo" in layer 1, with a
// weight map per bone that the bone deforms by alone.
#pragma once

#include <string>

#include "standin/scene/scene.h"

namespace standin {

Scene demoRig();

// The file the demo character's object names; saving writes its mesh beside the scene.
inline const std::string kDemoBodyFile = "Hero.lwo";

}  // namespace standin
