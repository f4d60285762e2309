// Meshes in the rig pictures: drawn in every view under the bones, the points a run moved
// marked in both columns and only those, rendered by a real renderer, and a picture of
// bounded size for a mesh of a million points.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "runner/checks/rig_check.h"
#include "runner/pictures/rig_picture.h"
#include "runner/script/script.h"
#include "runner/script/script_runner.h"
#include "standin/files/demo_rig.h"
#include "standin/scene/deformation.h"
#include "support/picture_check.h"

namespace runner {
namespace {

namespace fs = std::filesystem;
using picture_check::Element;
using standin::ItemId;
using standin::Mesh;
using standin::PolygonKind;
using standin::Scene;
using standin::Vec3;

std::unique_ptr<Element> parsed(const std::string& svg) {
  return picture_check::parsedOrFailure(svg);
}

std::vector<const Element*> withClass(const Element& root, const std::string& cls) {
  std::vector<const Element*> found;
  for (const Element* e : root.all()) {
    if (e->attribute("class") == cls) found.push_back(e);
  }
  return found;
}

struct Bounds {
  double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
  void add(double x, double y) {
    x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
  }
};

// The points of a path made of M, L and h0 commands.
std::vector<std::pair<double, double>> pathPoints(const std::string& d) {
  std::vector<std::pair<double, double>> points;
  std::string spaced;
  for (char c : d) {
    if (c == 'M' || c == 'L') {
      spaced += std::string(" ") + c + " ";
    } else if (c == 'h') {
      spaced += " h ";
    } else {
      spaced += c;
    }
  }
  std::istringstream in(spaced);
  std::string command;
  while (in >> command) {
    if (command == "h") {
      std::string skip;
      in >> skip;
      continue;
    }
    double x = 0, y = 0;
    in >> x >> y;
    points.push_back({x, y});
  }
  return points;
}

// Cells are the light rectangles behind each view, in document order.
std::vector<Bounds> cellsOf(const Element& root) {
  std::vector<Bounds> cells;
  for (const Element* e : root.all()) {
    if (e->name == "rect" && e->attribute("fill") == "#f8f8f5") {
      Bounds b;
      b.add(std::stod(e->attribute("x")), std::stod(e->attribute("y")));
      b.add(b.x0 + std::stod(e->attribute("width")), b.y0 + std::stod(e->attribute("height")));
      cells.push_back(b);
    }
  }
  return cells;
}

int cellOf(const std::vector<Bounds>& cells, double x, double y) {
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (x >= cells[i].x0 && x <= cells[i].x1 && y >= cells[i].y0 && y <= cells[i].y1)
      return static_cast<int>(i);
  }
  return -1;
}

TEST(MeshPicture, EveryViewDrawsTheMeshUnderTheBones) {
  const Scene scene = standin::demoRig();
  const std::string svg = rigSvg(RigSnapshot(scene), "demo", MeshSnapshot(scene));
  const std::unique_ptr<Element> root = parsed(svg);
  const std::vector<Bounds> cells = cellsOf(*root);
  ASSERT_EQ(cells.size(), 3u);
  const std::vector<const Element*> meshes = withClass(*root, "mesh");
  ASSERT_EQ(meshes.size(), 3u);
  const std::vector<const Element*> all = root->all();
  for (std::size_t view = 0; view < 3; ++view) {
    const Element* mesh = meshes[view];
    EXPECT_EQ(mesh->title(), "Hero: 276 points, 184 polygons") << view;
    // Every tube has six side edges and twelve cap edges: 23 bones, 414 edges. In a flat
    // view some are seen end on, and from the side the left and right tubes coincide.
    const auto points = pathPoints(mesh->attribute("d"));
    EXPECT_GT(points.size(), 2 * (view == 0 ? 200u : 80u)) << view;
    EXPECT_LE(points.size(), 2 * 414u) << view;
    Bounds drawn;
    for (const auto& [x, y] : points) {
      EXPECT_EQ(cellOf(cells, x, y), static_cast<int>(view));
      drawn.add(x, y);
    }
    // The bones of this view lie within the mesh around them, which is drawn first.
    const auto meshAt = std::find(all.begin(), all.end(), mesh) - all.begin();
    int bones = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
      const Element* e = all[i];
      if (e->attribute("class") != "bone" || e->name != "polygon") continue;
      std::istringstream in(e->attribute("points"));
      std::string pair;
      in >> pair;
      const double x = std::stod(pair.substr(0, pair.find(','))),
                   y = std::stod(pair.substr(pair.find(',') + 1));
      if (cellOf(cells, x, y) != static_cast<int>(view)) continue;
      ++bones;
      EXPECT_GT(static_cast<std::ptrdiff_t>(i), meshAt) << e->title();
      EXPECT_TRUE(x >= drawn.x0 - 1 && x <= drawn.x1 + 1 && y >= drawn.y0 - 1 && y <= drawn.y1 + 1)
          << e->title() << " in view " << view;
    }
    EXPECT_GT(bones, 10) << view;
  }
  EXPECT_EQ(withClass(*root, "mesh-fill").size(), 3u);
  EXPECT_TRUE(withClass(*root, "moved-points").empty());

  // Without meshes the picture has none, and no legend entry for them.
  const std::unique_ptr<Element> bare = parsed(rigSvg(RigSnapshot(scene), "demo"));
  EXPECT_TRUE(withClass(*bare, "mesh").empty());
  for (const Element* e : withClass(*bare, "legend")) EXPECT_NE(e->title(), "mesh");
}

// A square of four points, one face, weighted to "Arm".
std::shared_ptr<const Mesh> square() {
  auto mesh = std::make_shared<Mesh>();
  mesh->points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  mesh->polygonPoints = {0, 1, 2, 3};
  mesh->polygonStart = {0, 4};
  mesh->polygonKinds = {PolygonKind::Face};
  mesh->weightMaps.push_back({"Arm", {{0, 1}, {1, 1}, {2, 1}, {3, 1}}, {}});
  return mesh;
}

// "Body" with the square, a null "Mover" 2 m along x; the body has a bone "Arm" that uses
// the square's map.
Scene bodyAndMover() {
  Scene scene;
  const ItemId body = scene.addObject("Body");
  standin::ObjectMesh named;
  named.file = "Body.lwo";
  named.mesh = square();
  scene.setObjectMesh(body, named);
  const ItemId arm = scene.addBone(body, body, "Arm");
  scene.find(arm)->deformation.weightMap = "Arm";
  scene.find(arm)->deformation.weightMapOnly = true;
  const ItemId mover = scene.addObject("Mover");
  scene.setPosition(mover, {2, 0, 0});
  return scene;
}

struct Marked {
  std::string svg;
  std::vector<std::string> titles;  // of the moved-points paths, both columns
  std::size_t expectedPoints = 0;   // how many points deformedWorldPoints says moved
};

// Runs `script` on `scene` and reads the marks; the points that should be marked are those
// whose place at the current time the run changed by more than the check's tolerance.
Marked runAndMark(Scene scene, const std::string& script, const std::string& object) {
  ScriptRunner runner(VORRIK_MODULE_PATH);
  runner.standIn().scene() = std::move(scene);
  const Scene before = runner.scene();
  runner.runSteps(parseScript(script));
  Marked marked;
  marked.svg = runner.picture("", 0);
  const ItemId id = runner.scene().findByName(object);
  // The scene before the script, at the time the run happened (a `time` step may come first).
  Scene beforeAtRun = before;
  beforeAtRun.setTime(runner.scene().time());
  const std::vector<Vec3> was = standin::deformedWorldPoints(beforeAtRun, id);
  const std::vector<Vec3> now = standin::deformedWorldPoints(runner.scene(), id);
  const double tolerance = runner.runs().back().changes.tolerance;
  for (std::size_t i = 0; i < was.size() && i < now.size(); ++i) {
    const double d =
        std::hypot(now[i][0] - was[i][0], now[i][1] - was[i][1], now[i][2] - was[i][2]);
    marked.expectedPoints += d > tolerance;
  }
  const std::unique_ptr<Element> root = parsed(marked.svg);
  for (const Element* e : withClass(*root, "moved-points")) marked.titles.push_back(e->title());
  return marked;
}

TEST(MeshPicture, ThePointsARunMovedAreMarkedAndNoOthers) {
  struct Case {
    const char* what;
    Scene scene;
    bool parentInPlace;
    std::string script, object;
    std::size_t atLeast;  // points that must be marked whatever bones do to meshes
  };
  const Scene demo = standin::demoRig();
  const std::vector<Case> cases = {
      {"the object moves under its new parent", bodyAndMover(), false,
       "select Mover Body\nrun QuickParent\n", "Body", 4},
      {"parented in place, nothing moves", bodyAndMover(), true,
       "select Mover Body\nrun QuickParent\n", "Body", 0},
      {"a split moves no point", demo, true, "select L_Forearm\nrun BoneSplit percent=30\n", "Hero",
       0},
      {"a pasted pose moves the arm", demo, true,
       "select L_UpperArm\nrun CopyKey\ntime 1\nrun PasteKey\n", "Hero", 0},
      {"the pose at time 1 recorded as the rest pose", demo, true,
       "time 1\nrun BoneUtil item=Hero action=\"Record rest\"\n", "Hero", 0},
  };
  for (const Case& c : cases) {
    Scene scene = c.scene;
    scene.parentInPlace = c.parentInPlace;
    const Marked marked = runAndMark(scene, c.script, c.object);
    EXPECT_GE(marked.expectedPoints, c.atLeast) << c.what;
    if (marked.expectedPoints == 0) {
      EXPECT_TRUE(marked.titles.empty()) << c.what << ": " << marked.titles.front();
      continue;
    }
    ASSERT_EQ(marked.titles.size(), 6u) << c.what << ": three views in each column";
    const std::string count = std::to_string(marked.expectedPoints) + " point";
    for (const std::string& title : marked.titles) {
      EXPECT_EQ(title.rfind(c.object + ": " + count, 0), 0u) << c.what << ": " << title;
    }
  }
  // The object moved by 2 m along x: said in the title.
  const Marked moved = runAndMark(bodyAndMover(), "select Mover Body\nrun QuickParent\n", "Body");
  EXPECT_TRUE(moved.titles.empty()) << "parent in place is the scene's default";
  Scene notInPlace = bodyAndMover();
  notInPlace.parentInPlace = false;
  const Marked far = runAndMark(notInPlace, "select Mover Body\nrun QuickParent\n", "Body");
  ASSERT_FALSE(far.titles.empty());
  EXPECT_EQ(far.titles[0], "Body: 4 points moved by the run, the largest by 2 m");
}

TEST(MeshPicture, RendersTheMeshAndTheMarks) {
  struct Case {
    const char* what;
    bool parentInPlace;
    bool marks;
  };
  const Case cases[] = {{"moved", false, true}, {"in place", true, false}};
  for (const Case& c : cases) {
    Scene scene = bodyAndMover();
    scene.parentInPlace = c.parentInPlace;
    const Marked marked = runAndMark(scene, "select Mover Body\nrun QuickParent\n", "Body");
    const picture_check::Image image = picture_check::renderSvg(marked.svg, c.what);
    ASSERT_GT(image.width, 0) << c.what;
    // The mesh's light fill (0xdce2ea) covers the square in six cells.
    EXPECT_GT(picture_check::pixelsNear(image, 0xdc, 0xe2, 0xea, 3), 600) << c.what;
    // The marks (0xe0457b): four points, round dots three pixels across, in six cells,
    // besides the legend's three.
    const long pink = picture_check::pixelsNear(image, 0xe0, 0x45, 0x7b, 24);
    if (c.marks) {
      EXPECT_GT(pink, 40) << c.what;
    } else {
      EXPECT_LT(pink, 20) << c.what;
    }
  }
}

TEST(MeshPicture, FillsTheBodyWhateverWayItsFacesTurn) {
  // Each tube's front and back faces turn opposite ways on screen; filled as they come
  // they would cancel out and leave the body hollow.
  const Scene scene = standin::demoRig();
  const picture_check::Image image =
      picture_check::renderSvg(rigSvg(RigSnapshot(scene), "demo", MeshSnapshot(scene)), "body");
  ASSERT_GT(image.width, 0);
  EXPECT_GT(picture_check::pixelsNear(image, 0xdc, 0xe2, 0xea, 3), 6000);
}

// A flat grid mesh of n by n points, 2 m square, standing in the x-y plane.
std::shared_ptr<const Mesh> gridMesh(std::uint32_t n) {
  auto mesh = std::make_shared<Mesh>();
  mesh->points.reserve(std::size_t{n} * n);
  for (std::uint32_t j = 0; j < n; ++j) {
    for (std::uint32_t i = 0; i < n; ++i) {
      mesh->points.push_back(
          {-1 + 2.0 * i / (n - 1), 2.0 * j / (n - 1), 0.01 * ((i * 7 + j * 3) % 5)});
    }
  }
  for (std::uint32_t j = 0; j + 1 < n; ++j) {
    for (std::uint32_t i = 0; i + 1 < n; ++i) {
      const std::uint32_t a = j * n + i;
      for (std::uint32_t corner : {a, a + 1, a + n + 1, a + n})
        mesh->polygonPoints.push_back(corner);
      mesh->polygonStart.push_back(static_cast<std::uint32_t>(mesh->polygonPoints.size()));
      mesh->polygonKinds.push_back(PolygonKind::Face);
    }
  }
  return mesh;
}

TEST(MeshPicture, AMillionPointMeshGivesABoundedPictureQuickly) {
  // Bounds that follow from the budgets: per view at most kMeshEdgesPerView edges of up to
  // 24 bytes and kMovedDotsPerView dots of up to 14, beside the rig's own drawing.
  const std::size_t perView = kMeshEdgesPerView * 24 + kMovedDotsPerView * 14;
  struct Case {
    std::uint32_t side;
  };
  const Case cases[] = {{100}, {1000}};
  std::size_t smallRun = 0;
  for (const Case& c : cases) {
    Scene scene;
    const ItemId big = scene.addObject("Big");
    standin::ObjectMesh named;
    named.file = "Big.lwo";
    named.mesh = gridMesh(c.side);
    scene.setObjectMesh(big, named);
    const ItemId bone = scene.addBone(big, big, "Spine");
    scene.setRotation(bone, {0, -1.5707963267948966, 0});

    const auto start = std::chrono::steady_clock::now();
    const RigSnapshot rigBefore(scene);
    const MeshSnapshot meshesBefore(scene);
    const std::string single = rigSvg(rigBefore, "big", meshesBefore);
    scene.setPosition(big, {0.5, 0, 0});  // every point moves
    const RigSnapshot rigAfter(scene);
    const MeshSnapshot meshesAfter(scene);
    const RigChanges changes = compareRigs(rigBefore, rigAfter);
    const std::string run = rigSvg(rigBefore, rigAfter, changes, "big", meshesBefore, meshesAfter);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string what = std::to_string(std::size_t{c.side} * c.side) + " points";

    EXPECT_LT(single.size(), 3 * perView + 60000) << what;
    EXPECT_LT(run.size(), 6 * perView + 80000) << what;
    // About 1 s optimised and 20 s under the sanitizers; a pass that grew with the square
    // of the points would take hours.
    EXPECT_LT(seconds, 120) << what;
    std::cout << what << ": " << single.size() << " and " << run.size() << " bytes in " << seconds
              << " s\n";

    const std::unique_ptr<Element> root = parsed(run);
    const std::vector<const Element*> meshes = withClass(*root, "mesh");
    ASSERT_EQ(meshes.size(), 6u) << what;
    for (const Element* mesh : meshes) {
      EXPECT_LE(pathPoints(mesh->attribute("d")).size(), 2 * kMeshEdgesPerView) << what;
    }
    const std::vector<const Element*> marks = withClass(*root, "moved-points");
    ASSERT_EQ(marks.size(), 6u) << what;
    for (const Element* mark : marks) {
      EXPECT_LE(pathPoints(mark->attribute("d")).size(), kMovedDotsPerView) << what;
      EXPECT_EQ(mark->title().rfind(
                    "Big: " + std::to_string(std::size_t{c.side} * c.side) + " points moved", 0),
                0u)
          << mark->title();
    }
    if (c.side == 100) {
      smallRun = run.size();
    } else {
      // A hundred times the points, not a hundred times the picture.
      EXPECT_LT(run.size(), 3 * smallRun) << what;
      EXPECT_NE(meshes[0]->title().find("merged on a"), std::string::npos) << meshes[0]->title();
    }
  }
}

}  // namespace
}  // namespace runner
