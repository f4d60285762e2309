// Scene files on disk: read whole within a bound and known by their first line (or a .lws
// name), written all or nothing in the form their name calls for.
#include "standin/files/scene_file.h"

#include <cctype>

#include "standin/files/base/file_batch.h"
#include "standin/files/base/file_read.h"
#include "standin/files/json/scene_json.h"
#include "standin/files/lws/lws_reader.h"
#include "standin/files/lws/lws_writer.h"

namespace standin {
namespace {

[[noreturn]] void fail(const std::string& message) { throw SceneFileError(message); }

}  // namespace

std::string readWholeFile(const std::string& path) {
  try {
    return readFileBytes(path);
  } catch (const FileReadError& error) {
    fail("cannot read " + path + ": " + error.what());
  }
}

bool isLwsPath(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".lws";
}

std::string sceneFileText(const Scene& scene, const std::string& path) {
  return isLwsPath(path) ? sceneToLws(scene) : sceneToJson(scene);
}

Scene loadSceneFile(const std::string& path) {
  const std::string text = readWholeFile(path);
  // A scene saved under another name is still a LightWave scene by its first line.
  if (isLwsPath(path) || looksLikeLws(text)) {
    return sceneFromLws(text, path);  // messages carry path and line
  }
  try {
    return sceneFromJson(text);
  } catch (const SceneFileError& e) {
    fail(path + ": " + e.what());
  }
}

void saveSceneFile(const Scene& scene, const std::string& path) {
  FileBatch batch;
  batch.add(path, sceneFileText(scene, path));
  try {
    batch.commit();
  } catch (const FileWriteError& e) {
    fail(e.what());
  }
}

}  // namespace standin
