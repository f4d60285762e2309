// What the runner says about the object files of each scene it loads.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "standin/files/lwo/object_files.h"

namespace runner {

// One `load` step and what became of its objects' files.
struct SceneObjects {
  int line = 0;  // the script line; 0 when not from a script file
  std::string scene;
  std::vector<standin::ObjectLoad> objects;
  // What the scene's bones ask of deformation that is not modelled, once per kind.
  std::vector<std::string> notModelled;
};

// Per scene that names object files: one line per object, with the file and layer it got
// or why it has no mesh. Nothing for scenes without object files.
void printSceneObjects(std::ostream& out, const std::vector<SceneObjects>& scenes);
nlohmann::json sceneObjectsJson(const std::vector<SceneObjects>& scenes);

}  // namespace runner
