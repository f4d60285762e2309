#include "runner/script/mesh_files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "standin/files/lwo/lwo_file_writer.h"

namespace runner {

namespace fs = std::filesystem;

namespace {

// A name under the scene's folder: relative, no volume, never up a folder.
bool liesBeside(const std::string& name) {
  if (name.empty() || name.find(':') != std::string::npos) return false;
  if (name[0] == '/' || name[0] == '\\') return false;
  std::string part;
  std::istringstream parts(name);
  while (std::getline(parts, part, '/')) {
    std::istringstream inner(part);
    std::string piece;
    while (std::getline(inner, piece, '\\')) {
      if (piece == "..") return false;
    }
  }
  return true;
}

bool readBytes(const fs::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

std::vector<MeshFile> meshFilesBeside(const standin::Scene& scene, const std::string& scenePath) {
  std::vector<MeshFile> files;
  std::vector<std::string> names;  // per file, the bytes it must hold
  std::vector<std::string> contents;
  const fs::path folder = fs::path(scenePath).parent_path();
  for (standin::ItemId id : scene.objectsWithFiles()) {
    const standin::ObjectMesh* named = scene.objectMesh(id);
    // Meshes read from a file stay where they were found.
    if (!named || !named->mesh || !named->foundPath.empty()) continue;
    const std::string& object = scene.find(id)->name;
    if (!liesBeside(named->file)) {
      throw MeshFileError("the mesh of " + object + " exists only in memory, and its file \"" +
                          named->file + "\" would not lie beside the scene");
    }
    std::string bytes;
    try {
      bytes = standin::lwo2Bytes(*named->mesh);
    } catch (const standin::MeshWriteError& error) {
      throw MeshFileError("the mesh of " + object + " cannot be written as " + named->file + ": " +
                          std::string(error.what()));
    }
    bool known = false;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] != named->file) continue;
      if (contents[i] != bytes) {
        throw MeshFileError("two different meshes would be written as " + named->file + " (" +
                            files[i].objects + " and " + object + ")");
      }
      files[i].objects += ", " + object;
      known = true;
    }
    if (known) continue;
    const fs::path target = folder / fs::path(named->file);
    MeshFile file;
    file.path = target.string();
    file.objects = object;
    std::error_code error;
    if (fs::exists(fs::symlink_status(target, error))) {
      std::string there;
      if (!readBytes(target, there) || there != bytes) {
        throw MeshFileError(file.path + " is there already and is not the mesh of " + object +
                            "; it is left as it is (save the scene in another folder)");
      }
    } else {
      file.bytes = bytes;
    }
    names.push_back(named->file);
    contents.push_back(std::move(bytes));
    files.push_back(std::move(file));
  }
  return files;
}

}  // namespace runner
