// The built-in demo rig: a small character with a light, a camera and two props.
#pragma once

#include "standin/scene/scene.h"

namespace standin {

Scene demoRig();

}  // namespace standin
