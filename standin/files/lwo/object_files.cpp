// Object files named by scenes: where they are, which layer an object takes, and the
// meshes kept in the scene.
#include "standin/files/lwo/object_files.h"

#include <filesystem>
#include <map>
#include <memory>
#include <utility>

#include "standin/files/base/file_read.h"
#include "standin/files/lwo/lwo_reader.h"

namespace standin {
namespace {

namespace fs = std::filesystem;

// The path with Windows separators made '/', which every platform's library accepts.
std::string forwardSlashes(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

// The length of a volume prefix ("C:", "Work:") that makes a path absolute, or 0. A volume
// name is what stands before the first ':' when no '/' comes before it.
std::size_t volumeLength(const std::string& path) {
  const std::size_t colon = path.find(':');
  if (colon == std::string::npos || colon == 0) return 0;
  if (path.find('/') < colon) return 0;
  return colon + 1;
}

std::string shown(const fs::path& path) { return path.lexically_normal().generic_string(); }

// A folder as an absolute path without a separator at its end, so that its parent is the
// folder above it even for "" or "." (the current folder).
fs::path absoluteFolder(const std::string& folder) {
  std::error_code error;
  fs::path absolute = fs::absolute(folder.empty() ? fs::path(".") : fs::path(folder), error);
  if (error) return fs::path(folder);
  absolute = absolute.lexically_normal();
  if (!absolute.has_filename() && absolute.has_relative_path()) absolute = absolute.parent_path();
  return absolute;
}

}  // namespace

FoundObjectFile findObjectFile(const std::string& named, const ObjectSearch& search,
                               std::vector<std::string>* tried) {
  const std::string path = forwardSlashes(named);
  // A folder or a pipe of that name is passed by, and named if no file is found.
  std::string other, otherKind;
  auto attempt = [&](const fs::path& candidate, const char* rule) {
    const std::string place = shown(candidate);
    if (tried) tried->push_back(place);
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) return FoundObjectFile{place, rule, "", ""};
    const std::string kind = notAFile(candidate.string());
    if (!kind.empty() && other.empty()) {
      other = place;
      otherKind = kind;
    }
    return FoundObjectFile{"", "", other, otherKind};
  };
  const fs::path sceneFolder = absoluteFolder(search.sceneFolder);
  const std::size_t volume = volumeLength(path);
  const bool rooted = !path.empty() && path[0] == '/';
  if (volume > 0 || rooted) {
#ifdef _WIN32
    // "E:LightWave/boxi.lwo" means the root of E:.
    std::string written = path;
    if (volume > 0 && volume < written.size() && written[volume] != '/') {
      written.insert(volume, "/");
    }
    if (FoundObjectFile found = attempt(written, "absolute path"); !found.path.empty()) {
      return found;
    }
#else
    // A volume name means nothing here: only a path from the root can be tried as written.
    if (rooted) {
      if (FoundObjectFile found = attempt(path, "absolute path"); !found.path.empty()) {
        return found;
      }
    }
#endif
  } else if (!path.empty()) {
    if (!search.contentFolder.empty()) {
      if (FoundObjectFile found = attempt(fs::path(search.contentFolder) / path, "content folder");
          !found.path.empty()) {
        return found;
      }
    }
    if (FoundObjectFile found = attempt(sceneFolder / path, "scene folder"); !found.path.empty()) {
      return found;
    }
    if (FoundObjectFile found = attempt(sceneFolder.parent_path() / path, "scene folder's parent");
        !found.path.empty()) {
      return found;
    }
  }
  // A scene moved without its folders: the file itself beside the scene.
  const std::string fileName = fs::path(path.substr(volume)).filename().string();
  if (fileName.empty() || fileName == "." || fileName == "..") {
    return FoundObjectFile{"", "", other, otherKind};
  }
  if (fs::path(path.substr(volume)) == fs::path(fileName) && volume == 0 && !rooted) {
    return FoundObjectFile{"", "", other, otherKind};  // already looked for beside the scene
  }
  return attempt(sceneFolder / fileName, "file name beside the scene");
}

std::vector<ObjectLoad> loadObjectMeshes(Scene& scene, const ObjectSearch& search) {
  std::vector<ObjectLoad> loads;
  // Layers of one file are often several objects: read each file once.
  std::map<std::string, std::shared_ptr<const LwoFile>> files;
  std::map<std::string, std::string> failures;
  for (ItemId id : scene.objectsWithFiles()) {
    ObjectMesh named = *scene.objectMesh(id);
    ObjectLoad load;
    load.object = id;
    load.objectName = scene.find(id)->name;
    load.file = named.file;
    load.layer = named.layer;
    load.layerGiven = named.layerGiven;
    named.foundPath.clear();
    named.mesh.reset();

    std::vector<std::string> tried;
    const FoundObjectFile found = findObjectFile(named.file, search, &tried);
    if (found.path.empty()) {
      load.problem = found.other.empty()
                         ? "not found (looked for"
                         : found.other + " is " + found.otherKind + ", not a file (looked for";
      for (std::size_t i = 0; i < tried.size(); ++i) load.problem += (i ? ", " : " ") + tried[i];
      if (tried.empty()) load.problem += " nothing: the path has no file name";
      load.problem += ")";
      scene.setObjectMesh(id, std::move(named));
      loads.push_back(std::move(load));
      continue;
    }
    load.foundPath = named.foundPath = found.path;
    load.rule = found.rule;

    std::shared_ptr<const LwoFile> file;
    if (const auto known = files.find(found.path); known != files.end()) {
      file = known->second;
    } else if (const auto failed = failures.find(found.path); failed != failures.end()) {
      load.problem = failed->second;
    } else {
      try {
        file = std::make_shared<const LwoFile>(readLwoFile(found.path));
        files.emplace(found.path, file);
      } catch (const ObjectFileError& error) {
        load.problem = error.what();
        failures.emplace(found.path, load.problem);
      } catch (const std::bad_alloc&) {
        load.problem = found.path + ": too big to load";
        failures.emplace(found.path, load.problem);
      }
    }

    if (file) {
      const Mesh* layer = nullptr;
      if (named.layerGiven) {
        layer = file->layer(named.layer - 1);
      } else {
        // A line without a layer takes the file's layer 0, or its first one.
        layer = file->layer(0);
        if (!layer && !file->layers.empty()) layer = &file->layers.front();
      }
      if (!layer) {
        if (file->layers.empty()) {
          load.problem = found.path + ": the file has no layers";
        } else {
          load.problem = found.path + ": no layer " + std::to_string(named.layer) +
                         " (the file's layers, counted from 1 as scenes do:";
          for (const Mesh& mesh : file->layers)
            load.problem += " " + std::to_string(mesh.layer + 1);
          load.problem += ")";
        }
      } else {
        // Shares the file's layer rather than copying it: the file lives as long as a mesh.
        named.mesh = std::shared_ptr<const Mesh>(file, layer);
        load.fileLayer = layer->layer;
        load.points = layer->points.size();
        load.polygons = layer->polygonCount();
        load.weightMaps = layer->weightMaps.size();
      }
    }
    scene.setObjectMesh(id, std::move(named));
    loads.push_back(std::move(load));
  }
  return loads;
}

std::vector<ObjectLoad> loadObjectMeshesFor(Scene& scene, const std::string& scenePath,
                                            const std::string& contentFolder) {
  ObjectSearch search;
  search.sceneFolder = fs::path(scenePath).parent_path().string();
  search.contentFolder = contentFolder;
  return loadObjectMeshes(scene, search);
}

std::string objectLoadText(const ObjectLoad& load) {
  std::string text = load.objectName + ": " + load.file;
  if (load.layerGiven) text += " layer " + std::to_string(load.layer);
  if (!load.loaded()) {
    if (!load.foundPath.empty()) text += " -> " + load.foundPath + " (" + load.rule + ")";
    return text + ": " + load.problem;
  }
  text += " -> " + load.foundPath + " (" + load.rule + "), layer " +
          std::to_string(load.fileLayer) + " of the file: " + std::to_string(load.points) +
          " points, " + std::to_string(load.polygons) + " polygons, " +
          std::to_string(load.weightMaps) + (load.weightMaps == 1 ? " weight map" : " weight maps");
  return text;
}

}  // namespace standin
