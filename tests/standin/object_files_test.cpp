// The object files scenes name: where they are found, which layer each object takes, the
// meshes the scene keeps, and what the runner says about them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "standin/files/json/scene_json.h"
#include "standin/files/lwo/object_files.h"
#include "standin/files/lws/lws_reader.h"
#include "standin/files/scene_file.h"
#include "support/lwo_writer.h"
#include "support/runner_process.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace lwo_test;
using standin::ObjectLoad;
using standin::ObjectSearch;

// A folder of its own per test; `at` names a file in it as the object search gives paths.
class ObjectFilesTest : public testing_support::FolderTest {
protected:
  std::string at(const std::string& name) const {
    return (folder_ / name).lexically_normal().generic_string();
  }
};

// A file with the three layers 0, 1 and 9, each with as many points as its number + 1.
std::string threeLayers() {
  std::string chunks;
  for (int number : {0, 1, 9}) {
    std::vector<P> points(static_cast<std::size_t>(number + 1), P{0, 0, 0});
    chunks += layr(number, 0, vec(static_cast<float>(number), 0, 0)) + pnts(points);
  }
  return form("LWO2", chunks);
}

TEST_F(ObjectFilesTest, PathsAreFoundByTheRulesInOrder) {
  const std::string square = form("LWO2", squareLayer());
  write("content/Objects/a.lwo", square);
  write("project/Objects/b.lwo", square);
  write("project/Scenes/c.lwo", square);
  write("project/Scenes/Objects/both.lwo", square);
  write("content/Objects/both.lwo", square);
  write("elsewhere/abs.lwo", square);
  write("project/My Objects/final object.lwo", square);
  const std::string scenes = at("project/Scenes");
  const std::string content = at("content");

  struct Case {
    const char* what;
    std::string named;
    std::string contentFolder;
    std::string path, rule;  // empty path: not found
  };
  const std::vector<Case> cases = {
      {"absolute path as written", at("elsewhere/abs.lwo"), content, at("elsewhere/abs.lwo"),
       "absolute path"},
      {"absolute path with backslashes", "\\" + at("elsewhere/abs.lwo").substr(1), "",
       at("elsewhere/abs.lwo"), "absolute path"},
      {"under the content folder", "Objects/a.lwo", content, at("content/Objects/a.lwo"),
       "content folder"},
      {"content folder before the scene folder", "Objects/both.lwo", content,
       at("content/Objects/both.lwo"), "content folder"},
      {"scene folder without a content folder", "Objects/both.lwo", "",
       at("project/Scenes/Objects/both.lwo"), "scene folder"},
      {"scene folder when the content folder lacks it", "c.lwo", content,
       at("project/Scenes/c.lwo"), "scene folder"},
      {"the scene folder's parent, Windows separators", "Objects\\b.lwo", "",
       at("project/Objects/b.lwo"), "scene folder's parent"},
      {"renamed folder: the file name beside the scene", "Gone/c.lwo", content,
       at("project/Scenes/c.lwo"), "file name beside the scene"},
      {"missing absolute path: the file name beside the scene", at("nowhere/c.lwo"), "",
       at("project/Scenes/c.lwo"), "file name beside the scene"},
#ifndef _WIN32
      {"a volume name from another machine", "C:\\Work\\Objects\\c.lwo", "",
       at("project/Scenes/c.lwo"), "file name beside the scene"},
      {"an Amiga-style volume", "Work:Objects/c.lwo", "", at("project/Scenes/c.lwo"),
       "file name beside the scene"},
#endif
      {"spaces in folder and file names", "My Objects\\final object.lwo", content,
       at("project/My Objects/final object.lwo"), "scene folder's parent"},
      {"nowhere", "Objects/missing.lwo", content, "", ""},
      {"a folder is not a file", "Objects", content, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> tried;
    const standin::FoundObjectFile found =
        standin::findObjectFile(c.named, ObjectSearch{scenes, c.contentFolder}, &tried);
    EXPECT_EQ(found.path, c.path);
    EXPECT_EQ(found.rule, c.rule);
    EXPECT_FALSE(tried.empty());
    if (c.path.empty()) {
      EXPECT_GE(tried.size(), 3u);
    }
  }
}

TEST_F(ObjectFilesTest, LwsObjectsTakeTheirLayerOrANote) {
  write("Objects/layers.lwo", threeLayers());
  write("Objects/broken.lwo", form("LWO2", layr(0) + pnts({{0, 0, 0}}) + pols("FACE", {{4}})));
  write("Objects/old.lwo", form("LWOB", chunk("PNTS", vec(0, 0, 0))));
  write("Scenes/rig.lws",
        "LWSC\n4\n\n"
        "LoadObjectLayer 1 10000000 Objects/layers.lwo\n"
        "LoadObjectLayer 2 10000001 Objects/layers.lwo\n"
        "LoadObjectLayer 10 10000002 Objects\\layers.lwo\n"
        "LoadObjectLayer 3 10000003 Objects/layers.lwo\n"
        "LoadObject 10000004 Objects/layers.lwo\n"
        "LoadObjectLayer 1 10000005 Objects/missing.lwo\n"
        "LoadObjectLayer 1 10000006 Objects/broken.lwo\n"
        "LoadObjectLayer 1 10000007 Objects/old.lwo\n"
        "AddNullObject 10000008 Null\n");
  standin::Scene scene = standin::loadSceneFile((folder_ / "Scenes/rig.lws").string());
  const std::vector<ObjectLoad> loads =
      standin::loadObjectMeshesFor(scene, (folder_ / "Scenes/rig.lws").string(), "");
  ASSERT_EQ(loads.size(), 8u);  // the null names no file

  struct Expect {
    int fileLayer;  // -1: no mesh
    const char* says;
  };
  const std::vector<Expect> expected = {
      {0, "layer 0 of the file: 1 points"},
      {1, "layer 1 of the file: 2 points"},
      {9, "layer 9 of the file: 10 points"},
      {-1, "no layer 3 (the file's layers, counted from 1 as scenes do: 1 2 10)"},
      {0, "layer 0 of the file"},
      {-1, "not found (looked for"},
      {-1, "broken.lwo: byte 72: a polygon corner is point 4"},
      {-1, "old LWOB format"},
  };
  for (std::size_t i = 0; i < loads.size(); ++i) {
    SCOPED_TRACE(standin::objectLoadText(loads[i]));
    EXPECT_EQ(loads[i].fileLayer, expected[i].fileLayer);
    EXPECT_NE(standin::objectLoadText(loads[i]).find(expected[i].says), std::string::npos);
    const standin::ObjectMesh* kept = scene.objectMesh(loads[i].object);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->mesh != nullptr, loads[i].loaded());
    if (kept->mesh) {
      EXPECT_EQ(kept->mesh->layer, loads[i].fileLayer);
      EXPECT_EQ(kept->mesh->pivot[0], static_cast<double>(loads[i].fileLayer));
      EXPECT_EQ(loads[i].rule, "scene folder's parent");
    }
  }
  EXPECT_EQ(scene.objectMesh(scene.findByName("Null")), nullptr);
  // Every object of one file shares that file's read.
  const auto& first = scene.objectMesh(loads[0].object)->mesh;
  const auto& second = scene.objectMesh(loads[1].object)->mesh;
  EXPECT_FALSE(first.owner_before(second) || second.owner_before(first));

  for (const char* line : {"LoadObjectLayer 70000 a.lwo", "LoadObjectLayer -1 a.lwo"}) {
    try {
      standin::sceneFromLws(std::string("LWSC\n3\n\n") + line + "\n", "layers.lws");
      ADD_FAILURE() << line;
    } catch (const standin::SceneFileError& error) {
      EXPECT_NE(std::string(error.what()).find("is not a layer number"), std::string::npos)
          << error.what();
    }
  }

  // A copy shares the meshes; removing an object drops its mesh.
  const standin::Scene copy = scene;
  EXPECT_EQ(copy.objectMesh(loads[0].object)->mesh, scene.objectMesh(loads[0].object)->mesh);
  scene.remove(loads[0].object);
  EXPECT_EQ(scene.objectMesh(loads[0].object), nullptr);
}

TEST_F(ObjectFilesTest, JsonScenesNameFilesAndLayersAndKeepThemWhenSaved) {
  write("hero.lwo", threeLayers());
  const fs::path scenePath = write("rig.json", R"({"items": [
    {"name": "Body", "type": "object", "objectFile": "hero.lwo", "objectLayer": 2},
    {"name": "Any", "type": "object", "objectFile": "hero.lwo"},
    {"name": "Null", "type": "object"}
  ]})");
  standin::Scene scene = standin::loadSceneFile(scenePath.string());
  const std::vector<ObjectLoad> loads = standin::loadObjectMeshesFor(scene, scenePath.string(), "");
  ASSERT_EQ(loads.size(), 2u);
  EXPECT_EQ(loads[0].fileLayer, 1);
  EXPECT_EQ(loads[1].fileLayer, 0);  // no layer named: the file's layer 0
  EXPECT_EQ(loads[1].rule, "scene folder");

  const nlohmann::json saved = standin::sceneToJsonValue(scene);
  EXPECT_EQ(saved["items"][0]["objectFile"], "hero.lwo");
  EXPECT_EQ(saved["items"][0]["objectLayer"], 2);
  EXPECT_FALSE(saved["items"][1].contains("objectLayer"));
  EXPECT_FALSE(saved["items"][2].contains("objectFile"));
  const standin::Scene again = standin::sceneFromJsonValue(saved);
  EXPECT_EQ(again.objectMesh(again.findByName("Body"))->layer, 2);

  // Saved as .lws, the object loads its file and layer again.
  const std::string lws = standin::sceneFileText(scene, "rig.lws");
  EXPECT_NE(lws.find("\nLoadObjectLayer 2 hero.lwo\n"), std::string::npos) << lws;
  EXPECT_NE(lws.find("\nLoadObject hero.lwo\n"), std::string::npos) << lws;

  struct Bad {
    const char* item;
    const char* says;
  };
  const std::vector<Bad> bad = {
      {R"({"name": "L", "type": "light", "objectFile": "a.lwo"})", "is for objects only"},
      {R"({"name": "O", "type": "object", "objectFile": ""})", "must be a file path"},
      {R"({"name": "O", "type": "object", "objectFile": 3})", "must be a file path"},
      {R"({"name": "O", "type": "object", "objectFile": "a.lwo", "objectLayer": 0})", "from 1 to"},
      {R"({"name": "O", "type": "object", "objectFile": "a.lwo", "objectLayer": 1.5})",
       "from 1 to"},
      {R"({"name": "O", "type": "object", "objectLayer": 1})", "needs \"objectFile\""},
  };
  for (const Bad& b : bad) {
    try {
      standin::sceneFromJson(std::string(R"({"items": [)") + b.item + "]}");
      ADD_FAILURE() << b.item;
    } catch (const standin::SceneFileError& error) {
      EXPECT_NE(std::string(error.what()).find(b.says), std::string::npos) << error.what();
    }
  }
}

using runner_process::Outcome;

// The runner as a user meets it: a report line per object, --content, and a run that goes on
// without the meshes it could not find.
TEST_F(ObjectFilesTest, RunnerReportsEachObjectAndRunsWithoutMissingOnes) {
  write("content/Objects/hero.lwo", form("LWO2", squareLayer()));
  const std::string scene =
      "LWSC\n3\n\n"
      "LoadObjectLayer 1 Objects/hero.lwo\n"
      "AddBone\nBoneName Upper\nBoneRestPosition 0 0 0\nBoneRestDirection 0 0 0\n"
      "BoneRestLength 1\nBoneActive 1\n"
      "AddBone\nBoneName Lower\nBoneRestPosition 0 0 1\nBoneRestDirection 0 0 0\n"
      "BoneRestLength 1\nBoneActive 1\n"
      // At rest, so that the split changes no point's position.
      "BoneMotion\nNumChannels 3\nChannel 0\n{ Envelope\n  1\n  Key 0 0 0 0 0 0 0 0 0\n"
      "  Behaviors 1 1\n}\nChannel 1\n{ Envelope\n  1\n  Key 0 0 0 0 0 0 0 0 0\n"
      "  Behaviors 1 1\n}\nChannel 2\n{ Envelope\n  1\n  Key 1 0 0 0 0 0 0 0 0\n"
      "  Behaviors 1 1\n}\nParentItem 40000000\n"
      "LoadObjectLayer 1 Props/sword.lwo\n";
  write("scenes/rig.lws", scene);
  auto vorrik = [&](const std::string& arguments) {
    return runner_process::run(arguments, folder_);
  };
  const std::string run =
      "run BoneSplit --scene '" + at("scenes/rig.lws") + "' --select Upper percent=50 --check";

  const Outcome found = vorrik(run + " --content '" + at("content") + "'");
  EXPECT_EQ(found.status, 0) << found.err;
  EXPECT_NE(found.out.find("1 of 2 object meshes loaded"), std::string::npos) << found.out;
  EXPECT_NE(found.out.find(
                "mesh     hero: Objects/hero.lwo layer 1 -> " + at("content/Objects/hero.lwo") +
                " (content folder), layer 0 of the file: 4 points, 1 polygons, 1 weight map"),
            std::string::npos)
      << found.out;
  EXPECT_NE(found.out.find("NO MESH  sword: Props/sword.lwo layer 1: not found"), std::string::npos)
      << found.out;
  EXPECT_NE(found.out.find("Vorrik:BoneSplit"), std::string::npos) << found.out;

  const Outcome without = vorrik(run + " --json");
  EXPECT_EQ(without.status, 0) << without.err;
  const nlohmann::json report = nlohmann::json::parse(without.out);
  const nlohmann::json& objects = report["sceneObjects"][0]["objects"];
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0]["object"], "hero");
  EXPECT_FALSE(objects[0]["loaded"].get<bool>());
  EXPECT_NE(objects[1]["problem"].get<std::string>().find("not found"), std::string::npos);
  EXPECT_EQ(report["runs"].size(), 1u);

  EXPECT_EQ(vorrik("run BoneSplit --content").status, 2);
}

}  // namespace
