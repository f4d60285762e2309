// Meshes that exist only in memory: the object file writer (read back by our own reader),
// the files a saved scene takes along, and the demo character's body and weight maps.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "runner/script/mesh_files.h"
#include "runner/script/script.h"
#include "runner/script/script_runner.h"
#include "standin/files/demo_rig.h"
#include "standin/files/lwo/lwo_file_writer.h"
#include "standin/files/lwo/lwo_reader.h"
#include "standin/files/lwo/object_files.h"
#include "support/file_text.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using standin::ItemId;
using standin::ItemType;
using standin::Mesh;
using standin::PolygonKind;
using standin::Scene;
using standin::Vec3;

void addPolygon(Mesh& mesh, PolygonKind kind, const std::vector<std::uint32_t>& corners) {
  mesh.polygonPoints.insert(mesh.polygonPoints.end(), corners.begin(), corners.end());
  mesh.polygonStart.push_back(static_cast<std::uint32_t>(mesh.polygonPoints.size()));
  mesh.polygonKinds.push_back(kind);
}

void expectSameMesh(const Mesh& a, const Mesh& b, const std::string& what) {
  EXPECT_EQ(a.layer, b.layer) << what;
  EXPECT_EQ(a.parentLayer, b.parentLayer) << what;
  EXPECT_EQ(a.hidden, b.hidden) << what;
  EXPECT_EQ(a.layerName, b.layerName) << what;
  EXPECT_EQ(a.pivot, b.pivot) << what;
  ASSERT_EQ(a.points.size(), b.points.size()) << what;
  for (std::size_t i = 0; i < a.points.size(); ++i) {
    ASSERT_EQ(a.points[i], b.points[i]) << what << ": point " << i;
  }
  EXPECT_EQ(a.polygonStart, b.polygonStart) << what;
  EXPECT_EQ(a.polygonPoints, b.polygonPoints) << what;
  EXPECT_EQ(a.polygonKinds, b.polygonKinds) << what;
  ASSERT_EQ(a.weightMaps.size(), b.weightMaps.size()) << what;
  for (std::size_t i = 0; i < a.weightMaps.size(); ++i) {
    EXPECT_EQ(a.weightMaps[i].name, b.weightMaps[i].name) << what;
    ASSERT_EQ(a.weightMaps[i].weights.size(), b.weightMaps[i].weights.size()) << what;
    for (std::size_t k = 0; k < a.weightMaps[i].weights.size(); ++k) {
      EXPECT_EQ(a.weightMaps[i].weights[k].point, b.weightMaps[i].weights[k].point) << what;
      EXPECT_EQ(a.weightMaps[i].weights[k].weight, b.weightMaps[i].weights[k].weight) << what;
    }
  }
}

const Mesh& demoBody(const Scene& scene) {
  return *scene.objectMesh(scene.findByName("Hero"))->mesh;
}

TEST(LwoFileWriter, WhatItWritesReadsBackAsTheSameMesh) {
  struct Case {
    const char* what;
    Mesh mesh;
  };
  std::vector<Case> cases;
  cases.push_back({"the demo body", demoBody(standin::demoRig())});
  {
    // Layer 3, hidden, under layer 1, off-centre pivot, an odd-length name; patches.
    Mesh mesh;
    mesh.layer = 3;
    mesh.parentLayer = 1;
    mesh.hidden = true;
    mesh.layerName = "Cage";
    mesh.pivot = {0.5, -1.25, 2};
    mesh.points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5, 0.5, 1}};
    addPolygon(mesh, PolygonKind::Patch, {0, 1, 2, 3});
    addPolygon(mesh, PolygonKind::Patch, {0, 1, 4});
    mesh.weightMaps.push_back({"Spine", {{4, 0.25f}, {0, -1.5f}}, {}});
    mesh.weightMaps.push_back({"Empty map", {}, {}});
    cases.push_back({"patches in a hidden child layer", mesh});
  }
  {
    // Indices from 0xFF00 up take four bytes.
    Mesh mesh;
    for (int i = 0; i < 0xff10; ++i) mesh.points.push_back({static_cast<double>(i), 0, 0});
    addPolygon(mesh, PolygonKind::Face, {0, 0xff00, 0xff0f});
    addPolygon(mesh, PolygonKind::Face, {0xfeff, 0xff01});
    mesh.weightMaps.push_back({"Far", {{0xff05, 1}, {3, 0.5f}}, {}});
    cases.push_back({"four-byte indices", mesh});
  }
  cases.push_back({"no points at all", Mesh()});
  {
    Mesh mesh;
    mesh.points = {{1, 2, 3}};
    cases.push_back({"points without polygons", mesh});
  }
  for (const Case& c : cases) {
    const std::string bytes = standin::lwo2Bytes(c.mesh);
    ASSERT_GE(bytes.size(), 12u) << c.what;
    const auto length = static_cast<std::size_t>(static_cast<unsigned char>(bytes[4])) << 24 |
                        static_cast<std::size_t>(static_cast<unsigned char>(bytes[5])) << 16 |
                        static_cast<std::size_t>(static_cast<unsigned char>(bytes[6])) << 8 |
                        static_cast<unsigned char>(bytes[7]);
    EXPECT_EQ(length, bytes.size() - 8) << c.what;
    const standin::LwoFile file = standin::readLwo(bytes, c.what);
    EXPECT_EQ(file.form, "LWO2") << c.what;
    ASSERT_EQ(file.layers.size(), 1u) << c.what;
    expectSameMesh(file.layers[0], c.mesh, c.what);
  }
}

TEST(LwoFileWriter, RefusesWhatItCannotKeep) {
  struct Case {
    const char* what;
    std::function<void(Mesh&)> make;
    const char* says;
  };
  const Case cases[] = {
      {"faces and patches",
       [](Mesh& m) {
         addPolygon(m, PolygonKind::Patch, {0, 1, 2});
       },
       "mixes"},
      {"a curve",
       [](Mesh& m) {
         m = Mesh{};
         m.points.resize(3);
         addPolygon(m, PolygonKind::Other, {0, 1, 2});
       },
       "neither a face nor a patch"},
      {"1024 corners",
       [](Mesh& m) { addPolygon(m, PolygonKind::Face, std::vector<std::uint32_t>(1024, 0)); },
       "more than 1023 corners"},
      {"per-polygon weights",
       [](Mesh& m) {
         m.weightMaps[0].cornerWeights.push_back({0, 0, 1});
       },
       "per-polygon weights"},
  };
  for (const Case& c : cases) {
    Mesh mesh;
    mesh.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    addPolygon(mesh, PolygonKind::Face, {0, 1, 2});
    mesh.weightMaps.push_back({"Arm", {{0, 1}}, {}});
    c.make(mesh);
    try {
      standin::lwo2Bytes(mesh);
      ADD_FAILURE() << c.what << ": written";
    } catch (const standin::MeshWriteError& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos)
          << c.what << ": " << error.what();
    }
  }
}

using testing_support::readFile;
using MeshFiles = testing_support::FolderTest;

TEST_F(MeshFiles, InMemoryMeshesGoBesideTheSceneAndNothingIsOverwritten) {
  const Scene demo = standin::demoRig();
  const std::string body = standin::lwo2Bytes(demoBody(demo));
  const ItemId hero = demo.findByName("Hero");
  struct Case {
    const char* what;
    std::function<void(Scene&)> change;  // to the demo rig
    std::string already;                 // Hero.lwo's bytes before the save; "" for none
    std::vector<std::string> files;      // "name: objects, written|there"
    const char* refusal;                 // a part of the message, or null
  };
  const std::vector<Case> cases = {
      {"the demo body", [](Scene&) {}, "", {"Hero.lwo: Hero, written"}, nullptr},
      {"the same body is there already", [](Scene&) {}, body, {"Hero.lwo: Hero, there"}, nullptr},
      {"another file of that name", [](Scene&) {}, "FORM", {}, "is there already"},
      {"a mesh read from a file stays where it is",
       [&](Scene& s) {
         standin::ObjectMesh named = *s.objectMesh(hero);
         named.foundPath = "/elsewhere/Hero.lwo";
         s.setObjectMesh(hero, named);
       },
       "",
       {},
       nullptr},
      {"two objects with one body",
       [&](Scene& s) { s.setObjectMesh(s.findByName("Sword"), *s.objectMesh(hero)); },
       "",
       {"Hero.lwo: Hero, Sword, written"},
       nullptr},
      {"two bodies under one name",
       [&](Scene& s) {
         standin::ObjectMesh other = *s.objectMesh(hero);
         auto smaller = std::make_shared<Mesh>(*other.mesh);
         smaller->points.pop_back();
         other.mesh = smaller;
         s.setObjectMesh(s.findByName("Sword"), other);
       },
       "",
       {},
       "two different meshes"},
  };
  for (const char* name : {"../Hero.lwo", "/tmp/Hero.lwo", "C:Hero.lwo", "a\\..\\Hero.lwo"}) {
    Scene scene = demo;
    standin::ObjectMesh named = *scene.objectMesh(hero);
    named.file = name;
    scene.setObjectMesh(hero, named);
    EXPECT_THROW(runner::meshFilesBeside(scene, (folder_ / "s.lws").string()),
                 runner::MeshFileError)
        << name;
  }
  for (const Case& c : cases) {
    fs::remove(folder_ / "Hero.lwo");
    if (!c.already.empty()) std::ofstream(folder_ / "Hero.lwo", std::ios::binary) << c.already;
    Scene scene = demo;
    c.change(scene);
    try {
      const std::vector<runner::MeshFile> files =
          runner::meshFilesBeside(scene, (folder_ / "s.lws").string());
      EXPECT_EQ(c.refusal, nullptr) << c.what << ": not refused";
      std::vector<std::string> seen;
      for (const runner::MeshFile& file : files) {
        seen.push_back(fs::path(file.path).filename().string() + ": " + file.objects + ", " +
                       (file.bytes.empty() ? "there" : "written"));
        EXPECT_EQ(fs::path(file.path).parent_path(), folder_) << c.what;
        if (!file.bytes.empty()) {
          EXPECT_EQ(file.bytes, body) << c.what;
        }
      }
      EXPECT_EQ(seen, c.files) << c.what;
    } catch (const runner::MeshFileError& error) {
      ASSERT_NE(c.refusal, nullptr) << c.what << ": " << error.what();
      EXPECT_NE(std::string(error.what()).find(c.refusal), std::string::npos) << error.what();
    }
    if (!c.already.empty()) {
      EXPECT_EQ(readFile(folder_ / "Hero.lwo"), c.already) << c.what << ": changed";
    }
  }
}

TEST_F(MeshFiles, ASavedDemoSceneFindsItsBodyAgain) {
  const Scene demo = standin::demoRig();
  const Mesh& body = demoBody(demo);
  for (const char* name : {"demo.lws", "demo.json"}) {
    fs::remove(folder_ / "Hero.lwo");
    const std::string path = (folder_ / name).string();
    {
      runner::ScriptRunner writer(VORRIK_MODULE_PATH);
      writer.runSteps(runner::parseScript("demo\nsave \"" + path + "\"\n"));
      ASSERT_EQ(writer.saves().size(), 1u);
      ASSERT_EQ(writer.saves()[0].objectFiles.size(), 1u) << name;
      EXPECT_FALSE(writer.saves()[0].failed()) << name;
      writer.writeFiles();
    }
    ASSERT_TRUE(fs::exists(folder_ / "Hero.lwo")) << name;
    runner::ScriptRunner reader(VORRIK_MODULE_PATH);
    reader.runSteps(runner::parseScript("load \"" + path + "\"\n"));
    const standin::ObjectMesh* loaded =
        reader.scene().objectMesh(reader.scene().findByName("Hero"));
    ASSERT_NE(loaded, nullptr) << name;
    ASSERT_NE(loaded->mesh, nullptr) << name << ": the body was not found";
    EXPECT_EQ(fs::path(loaded->foundPath), folder_ / "Hero.lwo") << name;
    expectSameMesh(*loaded->mesh, body, name);
    // The bones still name their maps.
    const ItemId forearm = reader.scene().findByName("L_Forearm");
    EXPECT_EQ(reader.scene().find(forearm)->deformation.weightMap, "L_Forearm") << name;
    EXPECT_TRUE(reader.scene().find(forearm)->deformation.weightMapOnly) << name;
  }
}

TEST_F(MeshFiles, ASaveThatWouldOverwriteAnotherMeshWritesNothing) {
  std::ofstream(folder_ / "Hero.lwo", std::ios::binary) << "someone else's hero";
  const std::string path = (folder_ / "demo.lws").string();
  runner::ScriptRunner runner(VORRIK_MODULE_PATH);
  try {
    runner.runSteps(runner::parseScript("demo\nsave \"" + path + "\"\n"));
    ADD_FAILURE() << "saved";
  } catch (const runner::InputError& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("line 2: cannot save " + path), std::string::npos) << message;
    EXPECT_NE(message.find("is there already"), std::string::npos) << message;
  }
  EXPECT_TRUE(runner.pendingFiles().empty());
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(readFile(folder_ / "Hero.lwo"), "someone else's hero");
}

// Distance from p to the segment a-b.
double toSegment(const Vec3& p, const Vec3& a, const Vec3& b) {
  Vec3 ab{b[0] - a[0], b[1] - a[1], b[2] - a[2]}, ap{p[0] - a[0], p[1] - a[1], p[2] - a[2]};
  const double length2 = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
  double t = length2 > 0 ? (ap[0] * ab[0] + ap[1] * ab[1] + ap[2] * ab[2]) / length2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  const Vec3 q{a[0] + ab[0] * t, a[1] + ab[1] * t, a[2] + ab[2] * t};
  return std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]);
}

TEST(DemoBody, EveryBoneDeformsTheTubeAroundItByItsOwnWeightMap) {
  const Scene scene = standin::demoRig();
  const ItemId hero = scene.findByName("Hero");
  const standin::ObjectMesh* named = scene.objectMesh(hero);
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->file, standin::kDemoBodyFile);
  EXPECT_EQ(named->layer, 1);
  EXPECT_TRUE(named->foundPath.empty());
  const Mesh& mesh = *named->mesh;
  std::vector<int> maps(mesh.points.size(), 0);
  int bones = 0;
  for (ItemId bone = scene.first(ItemType::Bone, hero); bone != 0; bone = scene.next(bone)) {
    ++bones;
    const standin::Item& item = *scene.find(bone);
    EXPECT_EQ(item.deformation.weightMap, item.name);
    EXPECT_TRUE(item.deformation.weightMapOnly) << item.name;
    EXPECT_TRUE(item.deformation.normalization) << item.name;
    const standin::WeightMap* map = mesh.weightMap(item.name);
    ASSERT_NE(map, nullptr) << item.name;
    ASSERT_EQ(map->weights.size(), 12u) << item.name;
    const Vec3 origin = scene.worldOrigin(bone), tip = scene.worldTip(bone);
    for (const standin::PointWeight& w : map->weights) {
      EXPECT_EQ(w.weight, 1.0f) << item.name;
      ++maps.at(w.point);
      // On a tube around the bone at rest: as far from its axis as the tube is wide.
      const double distance = toSegment(mesh.points[w.point], origin, tip);
      EXPECT_GT(distance, 0.015) << item.name;
      EXPECT_LT(distance, 0.17) << item.name;
    }
  }
  EXPECT_EQ(bones, 23);
  EXPECT_EQ(mesh.weightMaps.size(), 23u);
  for (std::size_t p = 0; p < maps.size(); ++p) EXPECT_EQ(maps[p], 1) << "point " << p;
  // Six quads and two six-sided caps a bone, all faces, with points stored as floats.
  EXPECT_EQ(mesh.polygonCount(), 23u * 8);
  for (PolygonKind kind : mesh.polygonKinds) EXPECT_EQ(kind, PolygonKind::Face);
  for (const Vec3& p : mesh.points) {
    for (double c : p) EXPECT_EQ(c, static_cast<double>(static_cast<float>(c)));
  }
}

}  // namespace
