// Scene files on disk: .lws or JSON by the extension, read whole and written all or nothing.
#include "standin/files/scene_file.h"

#include "standin/files/base/file_batch.h"
#include "standin/files/json/scene_json.h"
#include "standin/files/lws/lws_reader.h"
#include "standin/files/lws/lws_writer.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace standin {
namespace {

[[noreturn]] void fail(const std::string& message) { throw SceneFileError(message); }

// Scenes this large are not rigs; the limit stops a device such as /dev/zero from filling
// memory.
constexpr std::size_t kMaxSceneBytes = std::size_t{1} << 30;

}  // namespace

std::string readWholeFile(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_type type = fs::status(path, ec).type();
  if (type == fs::file_type::directory) fail("cannot read " + path + ": it is a directory");
  if (type == fs::file_type::character || type == fs::file_type::block) {
    fail("cannot read " + path + ": it is a device, not a file");
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) fail("cannot read " + path + ": " + std::strerror(errno));
  std::string text;
  char buffer[65536];
  std::size_t got;
  bool tooLarge = false;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    if (text.size() + got > kMaxSceneBytes) {
      tooLarge = true;
      break;
    }
    text.append(buffer, got);
  }
  const bool bad = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (tooLarge) fail("cannot read " + path + ": larger than 1 GiB");
  if (bad) fail("cannot read " + path + ": " + std::strerror(error));
  return text;
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
  if (isLwsPath(path)) return sceneFromLws(text, path);  // messages carry path and line
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
