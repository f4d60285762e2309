// Reading the files a run names: object files are known by their header before the rest is
// read and read within the same bound as scenes; what sits where an object file was looked
// for is named for what it is; a scene named relative to the current folder finds objects in
// the folder above; a scene file is known by its first line, whatever its name.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "standin/files/lwo/lwo_reader.h"
#include "standin/files/lwo/object_files.h"
#include "standin/files/scene_file.h"
#include "support/lwo_writer.h"
#include "support/runner_process.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace lwo_test;

class FileReads : public ::testing::Test {
protected:
  fs::path write(const std::string& name, const std::string& bytes) {
    return folder_.write(name, bytes);
  }
  std::string at(const std::string& name) const {
    return (root_ / name).lexically_normal().generic_string();
  }

  const testing_support::TempFolder folder_;
  const fs::path root_ = folder_.root();
};

// Files of 1.5 GB (sparse: they take no room on disk) are refused by their first bytes or
// their size, at once, never read whole.
TEST_F(FileReads, ObjectFilesAreKnownByTheirHeaderAndReadWithinTheBound) {
  struct Case {
    const char* what;
    std::string head;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"zeros", "", ": byte 0: not a LightWave object file: it begins with '?\?\?\?'"},
      {"an old object", form("LWOB", ""), ": byte 8: the file is in the old LWOB format"},
      {"a scene", "LWSC\n3\n", ": byte 0: not a LightWave object file: it begins with 'LWSC'"},
      {"an object header", form("LWO2", squareLayer()), ": cannot read: larger than 1 GiB"},
  };
  const auto start = std::chrono::steady_clock::now();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path path = write("huge.lwo", c.head);
    fs::resize_file(path, 1536ull << 20);
    try {
      standin::readLwoFile(path.string());
      ADD_FAILURE() << "read";
    } catch (const standin::ObjectFileError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(path.string() + c.says, 0), 0u) << error.what();
    }
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

// A folder or a pipe where an object file was looked for is passed by, so that a file further
// down the search is still found, and named for what it is when there is none.
TEST_F(FileReads, AFolderOrAPipeNamedAsAnObjectFileIsSaidToBeOne) {
  const std::string square = form("LWO2", squareLayer());
  fs::create_directories(root_ / "Scenes/Objects/folder.lwo");
  ASSERT_EQ(::mkfifo((root_ / "Scenes/pipe.lwo").c_str(), 0600), 0);
  fs::create_directories(root_ / "content/Objects/later.lwo");
  write("Scenes/Objects/later.lwo", square);
  write("Scenes/rig.json", R"({"items": [
    {"name": "Folder", "type": "object", "objectFile": "Objects/folder.lwo"},
    {"name": "Pipe", "type": "object", "objectFile": "pipe.lwo"},
    {"name": "Later", "type": "object", "objectFile": "Objects/later.lwo"},
    {"name": "Missing", "type": "object", "objectFile": "Objects/missing.lwo"}]})");
  standin::Scene scene = standin::loadSceneFile(at("Scenes/rig.json"));
  const std::vector<standin::ObjectLoad> loads =
      standin::loadObjectMeshesFor(scene, at("Scenes/rig.json"), at("content"));
  const std::vector<std::string> problems = {
      at("Scenes/Objects/folder.lwo") + " is a directory, not a file (looked for " +
          at("content/Objects/folder.lwo") + ", " + at("Scenes/Objects/folder.lwo") + ", " +
          at("Objects/folder.lwo") + ", " + at("Scenes/folder.lwo") + ")",
      at("Scenes/pipe.lwo") + " is a pipe, not a file (looked for " + at("content/pipe.lwo") +
          ", " + at("Scenes/pipe.lwo") + ", " + at("pipe.lwo") + ")",
      "",
      "not found (looked for " + at("content/Objects/missing.lwo") + ", " +
          at("Scenes/Objects/missing.lwo") + ", " + at("Objects/missing.lwo") + ", " +
          at("Scenes/missing.lwo") + ")",
  };
  ASSERT_EQ(loads.size(), problems.size());
  for (std::size_t i = 0; i < loads.size(); ++i) {
    SCOPED_TRACE(loads[i].objectName);
    EXPECT_EQ(loads[i].problem, problems[i]);
  }
  EXPECT_EQ(loads[2].foundPath, at("Scenes/Objects/later.lwo"));
}

// `cd Scenes && vorrik run ... --scene rig.lws`: the scene folder's parent is the folder above
// the current one, as it is for a scene named by a longer path.
TEST_F(FileReads, AnObjectBesideTheScenesFolderIsFoundWhateverTheScenePath) {
  write("Objects/hero.lwo", form("LWO2", squareLayer()));
  write("Scenes/rig.lws", "LWSC\n3\n\nLoadObjectLayer 1 Objects/hero.lwo\n");
  const std::string found = "mesh     hero: Objects/hero.lwo layer 1 -> " + at("Objects/hero.lwo") +
                            " (scene folder's parent)";
  struct Case {
    fs::path workingDir;
    std::string scene;
  };
  const std::vector<Case> cases = {
      {root_ / "Scenes", "rig.lws"},
      {root_ / "Scenes", "./rig.lws"},
      {root_, "Scenes/rig.lws"},
      {root_ / "Objects", "../Scenes/rig.lws"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scene);
    const runner_process::Outcome run = runner_process::run(
        "run QuickParent --scene '" + c.scene + "' --select hero", root_, c.workingDir);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(found), std::string::npos) << run.out;
  }
}

// A LightWave scene saved under another name is read as one; anything else is JSON, and a
// .lws name still means a LightWave scene.
TEST_F(FileReads, ASceneFileIsKnownByItsFirstLine) {
  const std::string lws = "LWSC\n3\n\nAddNullObject Rig\n";
  struct Case {
    const char* name;
    std::string text;
    std::string error;  // "": loads, with Rig; else the start of the message after the path
    bool fromLws = true;
  };
  const std::vector<Case> cases = {
      {"rig.scene", lws, ""},
      {"rig", lws, ""},
      {"rig.json", "\xEF\xBB\xBF LWSC\t\r\n3\r\n\r\nAddNullObject Rig\r\n", ""},
      {"rig.scene", R"({"items": [{"name": "Rig", "type": "object"}]})", "", false},
      {"old.scene", "LWSC\n2\n", ":2: scene version 2 is not supported"},
      {"rig.LWS", R"({"items": []})", ":1: not a LightWave scene"},
      {"lwsc.scene", "LWSCX\n3\n", ": invalid JSON"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + ": " + c.text);
    const std::string path = write(c.name, c.text).string();
    try {
      const standin::Scene scene = standin::loadSceneFile(path);
      EXPECT_EQ(c.error, "");
      EXPECT_NE(scene.findByName("Rig"), 0u);
      EXPECT_EQ(scene.source != nullptr, c.fromLws);
    } catch (const standin::SceneFileError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(path + c.error, 0), 0u) << error.what();
      EXPECT_NE(c.error, "");
    }
  }
  write("saved.scene", lws);
  const runner_process::Outcome run =
      runner_process::run("run QuickParent --scene saved.scene --select Rig", root_, root_);
  EXPECT_EQ(run.status, 0) << run.err;
}

}  // namespace
