// Finding and loading the object files a scene's objects name, and keeping their meshes in
// the scene. A scene whose object files are missing or unreadable still loads: each object
// gets a note that says what was looked for and what went wrong.
#pragma once

#include <string>
#include <vector>

#include "standin/scene/scene.h"

namespace standin {

// Where relative object paths are looked for.
struct ObjectSearch {
  std::string sceneFolder;    // the folder of the scene file ("" for the current folder)
  std::string contentFolder;  // the content folder; "" for none
};

// An object file found on disk, and the rule that found it.
struct FoundObjectFile {
  std::string path;
  std::string rule;  // "absolute path", "content folder", "scene folder", ...
  // When no file was found: the first place looked at that holds something other than a
  // file, and what it is ("a directory", "a pipe", ...).
  std::string other, otherKind;
};

// Looks for the file a scene names: an absolute path as written (`/`, `\` and `X:` volume
// prefixes), else the path under the content folder, the scene's folder and the scene
// folder's parent, else the bare file name beside the scene. Only regular files are taken.
// Empty path when none exists; `tried` (when given) gets every place looked at, in order.
FoundObjectFile findObjectFile(const std::string& named, const ObjectSearch& search,
                               std::vector<std::string>* tried = nullptr);

// What happened to one object's file.
struct ObjectLoad {
  ItemId object = 0;
  std::string objectName;
  std::string file;  // as the scene names it
  int layer = 1;     // as the scene names it (1 is the file's layer 0)
  bool layerGiven = true;
  std::string foundPath, rule;  // empty when the file was not found
  int fileLayer = -1;           // the layer number in the file that was taken
  std::size_t points = 0, polygons = 0, weightMaps = 0;
  std::string problem;  // empty when the mesh was loaded

  bool loaded() const { return problem.empty(); }
};

// Loads the mesh of every object that names a file, in listing order, and keeps it in the
// scene (Scene::objectMesh). Objects whose file or layer cannot be had keep no mesh.
std::vector<ObjectLoad> loadObjectMeshes(Scene& scene, const ObjectSearch& search);

// The same, with the scene file's own folder as the scene folder.
std::vector<ObjectLoad> loadObjectMeshesFor(Scene& scene, const std::string& scenePath,
                                            const std::string& contentFolder);

// One line for people: "Body: hero.lwo layer 1 -> /work/objects/hero.lwo (scene folder),
// 812 points, 790 polygons, 12 weight maps" or "Body: hero.lwo: not found (looked in ...)".
std::string objectLoadText(const ObjectLoad& load);

}  // namespace standin
