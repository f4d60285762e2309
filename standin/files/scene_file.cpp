// Scene files on disk: .lws or JSON by the extension, read whole and written atomically.
#include "standin/files/scene_json.h"

#include "standin/files/lws_reader.h"
#include "standin/files/lws_writer.h"
#include "standin/files/scene_json_parts.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace standin {
namespace {

using scene_json::fail;

std::string readWholeFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) fail("cannot read " + path + ": " + std::strerror(errno));
  std::string text;
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  const bool bad = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (bad) fail("cannot read " + path + ": " + std::strerror(error));
  return text;
}

}  // namespace

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
  namespace fs = std::filesystem;
  const std::string text = sceneFileText(scene, path);

  // A unique temporary beside the target, so the rename stays on one file system.
  static std::atomic<unsigned> counter{0};
  char suffix[48];
  std::snprintf(
      suffix, sizeof suffix, ".%llx-%x.tmp",
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()),
      ++counter);
  const std::string temp = path + suffix;

  std::FILE* file = std::fopen(temp.c_str(), "wbx");
  if (!file) fail("cannot write " + path + ": " + std::strerror(errno));
  bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  ok = std::fflush(file) == 0 && ok;
  int error = errno;
  ok = std::fclose(file) == 0 && ok;
  if (!ok) {
    if (error == 0) error = errno;
    std::remove(temp.c_str());
    fail("cannot write " + path + ": " + std::strerror(error));
  }
  std::error_code ec;
  fs::rename(temp, path, ec);
  if (ec) {
    std::remove(temp.c_str());
    fail("cannot write " + path + ": " + ec.message());
  }
}

}  // namespace standin
