// The rig pictures: well-formed SVG that a real renderer draws, views that project the right
// axes and fit the rig, changes in their colours, and names that do not pile up.
#include "runner/pictures/rig_picture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runner/checks/rig_check.h"
#include "runner/script/script.h"
#include "runner/script/script_runner.h"
#include "standin/files/demo_rig.h"
#include "support/picture_check.h"

namespace runner {
namespace {

namespace fs = std::filesystem;
using picture_check::Element;
using standin::ItemId;
using standin::Scene;

constexpr double kPi = 3.14159265358979323846;

struct Shape {
  const Element* element;
  double x, y;  // the first point: a bone's origin
  std::vector<std::pair<double, double>> points;
};

Shape shapeOf(const Element* e) {
  Shape shape{e, 0, 0, {}};
  if (e->name == "circle") {
    shape.points.push_back({std::stod(e->attribute("cx")), std::stod(e->attribute("cy"))});
  } else {
    std::istringstream in(e->attribute("points"));
    std::string pair;
    while (in >> pair) {
      const std::size_t comma = pair.find(',');
      shape.points.push_back({std::stod(pair.substr(0, comma)), std::stod(pair.substr(comma + 1))});
    }
  }
  shape.x = shape.points.at(0).first;
  shape.y = shape.points.at(0).second;
  return shape;
}

// Shapes drawn for items (not halos, ghosts or the legend), whose title is `name`.
std::vector<Shape> shapesNamed(const Element& root, const std::string& name) {
  std::vector<Shape> shapes;
  for (const Element* e : root.all()) {
    const std::string cls = e->attribute("class");
    if ((cls == "bone" || cls == "item") && e->title() == name) shapes.push_back(shapeOf(e));
  }
  return shapes;
}

struct Cell {
  double x0, y0, x1, y1;
  bool contains(double x, double y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

std::vector<Cell> cellsOf(const Element& root) {
  std::vector<Cell> cells;
  for (const Element* e : root.all()) {
    if (e->name == "rect" && e->attribute("fill") == "#f8f8f5") {
      const double x = std::stod(e->attribute("x")), y = std::stod(e->attribute("y"));
      cells.push_back(
          {x, y, x + std::stod(e->attribute("width")), y + std::stod(e->attribute("height"))});
    }
  }
  return cells;
}

int cellIndex(const std::vector<Cell>& cells, const Shape& shape) {
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (cells[i].contains(shape.x, shape.y)) return static_cast<int>(i);
  }
  return -1;
}

std::unique_ptr<Element> parsed(const std::string& svg) {
  return picture_check::parsedOrFailure(svg);
}

Scene oneBone(const standin::Vec3& rotationDegrees, double length = 1) {
  Scene scene;
  const ItemId rig = scene.addObject("Rig");
  const ItemId bone = scene.addBone(rig, rig, "B");
  scene.setRotation(bone, {rotationDegrees[0] * kPi / 180, rotationDegrees[1] * kPi / 180,
                           rotationDegrees[2] * kPi / 180});
  scene.find(bone)->restLength = length;
  return scene;
}

TEST(RigPicture, TheViewsProjectTheirAxes) {
  // Single pictures put front, side and top left to right. Screen y grows downwards.
  struct Case {
    const char* what;
    standin::Vec3 rotation;  // the bone's heading, pitch, bank in degrees
    // Per view, where the tip is from the origin on screen: right (dx 1) and up (dy 1);
    // both 0 when the bone is seen end on.
    int dx[3], dy[3];
  };
  const Case cases[] = {
      {"along +x", {90, 0, 0}, {1, 0, 1}, {0, 0, 0}},
      {"along +y", {0, -90, 0}, {0, 0, 0}, {1, 1, 0}},
      {"along +z", {0, 0, 0}, {0, 1, 0}, {0, 0, 1}},
  };
  for (const Case& c : cases) {
    const std::unique_ptr<Element> root = parsed(rigSvg(RigSnapshot(oneBone(c.rotation)), c.what));
    const std::vector<Cell> cells = cellsOf(*root);
    ASSERT_EQ(cells.size(), 3u);
    const std::vector<Shape> shapes = shapesNamed(*root, "B");
    ASSERT_EQ(shapes.size(), 3u) << c.what;
    for (const Shape& shape : shapes) {
      const int view = cellIndex(cells, shape);
      ASSERT_GE(view, 0) << c.what;
      if (c.dx[view] == 0 && c.dy[view] == 0) {
        EXPECT_EQ(shape.element->name, "circle") << c.what << ", view " << view;
        continue;
      }
      ASSERT_EQ(shape.points.size(), 4u) << c.what << ", view " << view;
      const double dx = shape.points[2].first - shape.x, dy = shape.points[2].second - shape.y;
      const double length = std::hypot(dx, dy);
      EXPECT_NEAR(dx / length, c.dx[view], 1e-3) << c.what << ", view " << view;
      EXPECT_NEAR(dy / length, -c.dy[view], 1e-3) << c.what << ", view " << view;
    }
  }
}

TEST(RigPicture, EveryViewFitsTheRigWhateverItsSizeAndPlace) {
  struct Case {
    double scale;
    standin::Vec3 offset;
  };
  const Case cases[] = {{1, {0, 0, 0}}, {0.01, {1e4, -3e3, 50}}, {1000, {0, 0, 0}}};
  for (const Case& c : cases) {
    Scene scene = standin::demoRig();
    for (ItemId id : scene.allItems()) {
      standin::Item& item = *scene.find(id);
      if (item.parent != 0) continue;
      const standin::Vec3 p = item.position();
      scene.setPosition(id, {p[0] * c.scale + c.offset[0], p[1] * c.scale + c.offset[1],
                             p[2] * c.scale + c.offset[2]});
      scene.setScale(id, {c.scale, c.scale, c.scale});
    }
    const std::unique_ptr<Element> root = parsed(rigSvg(RigSnapshot(scene), "demo rig"));
    const std::vector<Cell> cells = cellsOf(*root);
    ASSERT_EQ(cells.size(), 3u);
    const std::vector<Shape> thighs = shapesNamed(*root, "L_Thigh");
    ASSERT_EQ(thighs.size(), 3u);
    // The front view of the thigh is drawn big enough to read.
    const Shape& front = thighs[0];
    EXPECT_GT(std::hypot(front.points[2].first - front.x, front.points[2].second - front.y), 40)
        << "scale " << c.scale;
    for (const Element* e : root->all()) {
      if (e->attribute("class") != "bone") continue;
      const Shape shape = shapeOf(e);
      for (const auto& point : shape.points) {
        bool inside = false;
        for (const Cell& cell : cells) inside = inside || cell.contains(point.first, point.second);
        EXPECT_TRUE(inside) << e->title() << " at " << point.first << "," << point.second
                            << ", scale " << c.scale;
      }
    }
  }
}

TEST(RigPicture, NamesAreEscapedAndEveryItemIsTitledInEveryView) {
  Scene scene = standin::demoRig();
  const std::string odd = "Tom & \"Jerry\" <1> 'x'";
  scene.addObject(odd);
  scene.select(scene.findByName("L_Hand"));
  const std::string svg = rigSvg(RigSnapshot(scene), "a < b & c");
  const std::unique_ptr<Element> root = parsed(svg);
  for (ItemId id : scene.allItems()) {
    EXPECT_EQ(shapesNamed(*root, scene.find(id)->name).size(), 3u) << scene.find(id)->name;
  }
  // The selection has a halo in every view.
  int halos = 0;
  for (const Element* e : root->all()) {
    halos += e->attribute("class") == "selected" && e->title() == "L_Hand (selected)";
  }
  EXPECT_EQ(halos, 3);
}

// Rigs reaching as far as doubles go: every item is still drawn and titled, with numbers the
// picture can hold (label places far off the page once overflowed a conversion to long).
TEST(RigPicture, ItemsAsFarOutAsDoublesReachAreDrawn) {
  const double reaches[] = {1e300, 1.7e308};
  for (double reach : reaches) {
    Scene scene;
    const ItemId left = scene.addObject("Left");
    const ItemId right = scene.addObject("Right");
    scene.setPosition(left, {-reach, -reach, 0});
    scene.setPosition(right, {reach, 0, reach});
    scene.addBone(right, right, "Far Bone");
    const std::string svg = rigSvg(RigSnapshot(scene), "far");
    const std::unique_ptr<Element> root = parsed(svg);
    for (const char* name : {"Left", "Right", "Far Bone"}) {
      EXPECT_EQ(shapesNamed(*root, name).size(), 3u) << name << " at " << reach;
    }
    EXPECT_EQ(svg.find("nan"), std::string::npos) << reach;
    EXPECT_EQ(svg.find("inf"), std::string::npos) << reach;
  }
}

// The demo rig before and after one run of the real module.
struct RunPicture {
  std::string svg;
  RigChanges changes;
};

RunPicture pictureOfRun(const std::string& script, bool parentInPlace = true) {
  ScriptRunner runner(VORRIK_MODULE_PATH);
  runner.runSteps(parseScript("demo\n"));
  runner.standIn().scene().parentInPlace = parentInPlace;
  runner.runSteps(parseScript(script));
  return {runner.picture("", 0), runner.runs().back().changes};
}

TEST(RigPicture, ARunsChangesAreDrawnInTheirColoursInTheRightColumn) {
  struct Case {
    const char* script;
    bool parentInPlace;
    std::string name;
    const char* fill;
    bool before, after;  // drawn in that column in that colour
  };
  const Case cases[] = {
      {"select L_Forearm\nrun BoneSplit percent=30\n", true, "L_Forearm2", colour::kAdded, false,
       true},
      {"select L_Forearm\nrun BoneSplit percent=30\n", true, "L_Forearm", colour::kRest, true,
       true},
      {"select L_UpperArm L_Forearm\nrun BoneMerge\n", false, "L_Forearm", colour::kRemoved, true,
       false},
      {"select L_Forearm\nrun BoneSplit percent=30\n", true, "L_Hand", colour::kReparented, true,
       true},
      {"select L_Forearm\nrun BoneSplit percent=30\n", true, "L_UpperArm", colour::kBone, true,
       true},
      {"time 1\nrun BoneUtil item=Hero action=\"Restore rest\"\n", true, "L_Finger", colour::kMoved,
       true, true},
      {"time 1\nrun BoneUtil item=Hero action=\"Record rest\"\n", true, "L_UpperArm", colour::kRest,
       true, true},
  };
  for (const Case& c : cases) {
    const RunPicture picture = pictureOfRun(c.script, c.parentInPlace);
    const std::unique_ptr<Element> root = parsed(picture.svg);
    const double middle = std::stod(root->attribute("width")) / 2;
    int before = 0, after = 0;
    for (const Shape& shape : shapesNamed(*root, c.name)) {
      EXPECT_EQ(shape.element->attribute("fill"), c.fill) << c.script << c.name;
      (shape.x < middle ? before : after) += 1;
    }
    EXPECT_EQ(before, c.before ? 3 : 0) << c.script << c.name;
    EXPECT_EQ(after, c.after ? 3 : 0) << c.script << c.name;
  }
  // The legend explains each colour that a run can show.
  const std::unique_ptr<Element> root = parsed(pictureOfRun(cases[0].script).svg);
  for (const char* fill : {colour::kAdded, colour::kRemoved, colour::kMoved, colour::kReparented,
                           colour::kRest, colour::kSelected}) {
    bool found = false;
    for (const Element* e : root->all()) {
      found = found || (e->attribute("class") == "legend" && e->attribute("fill") == fill);
    }
    EXPECT_TRUE(found) << fill;
  }
}

TEST(RigPicture, WhereAMovedBoneWasIsOutlinedInTheAfterColumn) {
  const RunPicture picture =
      pictureOfRun("time 1\nrun BoneUtil item=Hero action=\"Restore rest\"\n");
  const std::unique_ptr<Element> root = parsed(picture.svg);
  const double middle = std::stod(root->attribute("width")) / 2;
  int ghosts = 0;
  for (const Element* e : root->all()) {
    if (e->attribute("class") == "ghost" && e->title() == "L_Hand (before the run)") {
      EXPECT_GT(shapeOf(e).x, middle);
      EXPECT_EQ(e->attribute("fill"), "none");
      ++ghosts;
    }
  }
  // The hand moves along x and y back to its rest pose: every view shows where it was.
  EXPECT_EQ(ghosts, 3);
}

// A root bone with chains of three short bones fanning out from its tip, crowded together.
Scene crowdedRig(int bones) {
  Scene scene;
  const ItemId rig = scene.addObject("Rig");
  const ItemId root = scene.addBone(rig, rig, "Root");
  scene.find(root)->restLength = 0.3;
  for (int i = 1; i < bones; ++i) {
    const ItemId parent = i % 3 == 1 ? root : scene.findByName("Finger" + std::to_string(i - 1));
    const ItemId bone = scene.addBone(rig, parent, "Finger" + std::to_string(i));
    scene.find(bone)->restLength = 0.06;
    scene.setPosition(bone, {0, 0, i % 3 == 1 ? 0.3 : 0.06});
    if (i % 3 == 1) scene.setRotation(bone, {(i - 30) * 0.05, (i % 7 - 3) * 0.1, 0});
  }
  return scene;
}

struct Label {
  std::string text;
  double x0, y0, x1, y1;
};

std::vector<Label> labelsOf(const Element& root) {
  std::vector<Label> labels;
  for (const Element* e : root.all()) {
    if (e->name != "text" || e->attribute("font-size") != "9.0") continue;
    // DejaVu Sans Mono: every glyph is 0.602 em wide; caps and descenders within the box.
    const double size = 9, width = 0.602 * size * static_cast<double>(e->text.size());
    const std::string anchor = e->attribute("text-anchor");
    double x = std::stod(e->attribute("x"));
    if (anchor == "middle") x -= width / 2;
    if (anchor == "end") x -= width;
    const double y = std::stod(e->attribute("y"));
    labels.push_back({e->text, x, y - 0.76 * size, x + width, y + 0.24 * size});
  }
  return labels;
}

TEST(RigPicture, NamesOfASixtyBoneRigDoNotOverlap) {
  Scene scene = crowdedRig(61);
  const RigSnapshot before(scene);
  scene.select(scene.findByName("Finger20"));
  scene.setRotation(scene.findByName("Finger40"), {0.5, 0, 0});
  const RigSnapshot after(scene);
  const RigChanges changes = compareRigs(before, after);
  ASSERT_FALSE(changes.moved.empty());
  for (const std::string& svg : {rigSvg(after, "crowded"), rigSvg(before, after, changes, "run")}) {
    const std::unique_ptr<Element> root = parsed(svg);
    const std::vector<Label> labels = labelsOf(*root);
    ASSERT_GT(labels.size(), 20u);
    for (std::size_t i = 0; i < labels.size(); ++i) {
      for (std::size_t j = i + 1; j < labels.size(); ++j) {
        const Label& a = labels[i];
        const Label& b = labels[j];
        const bool overlap = a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
        EXPECT_FALSE(overlap) << a.text << " and " << b.text;
      }
    }
    // Crowded names are left out rather than piled up, but the selected one is printed.
    EXPECT_LT(labels.size(), 3 * 62u);
    bool selectedShown = false;
    for (const Label& label : labels) selectedShown = selectedShown || label.text == "Finger20";
    EXPECT_TRUE(selectedShown);
  }
}

TEST(RigPicture, RendersToAPngThatShowsTheRigAndTheAddedBones) {
  const RunPicture picture = pictureOfRun("select L_Forearm\nrun BoneSplit percent=30\n");
  const picture_check::Image image = picture_check::renderSvg(picture.svg, "split");
  ASSERT_GT(image.width, 0);
  const std::unique_ptr<Element> root = parsed(picture.svg);
  EXPECT_EQ(image.width, std::lround(std::stod(root->attribute("width"))));
  EXPECT_EQ(image.height, std::lround(std::stod(root->attribute("height"))));
  const long total = static_cast<long>(image.width) * image.height;
  const long white = picture_check::pixelsNear(image, 255, 255, 255, 2);
  EXPECT_GT(total - white, total / 5) << "mostly blank";
  // The added bone in its colour (0x2ca02c), the shortened one in that of a new rest
  // length (0xb5651d).
  EXPECT_GT(picture_check::pixelsNear(image, 0x2c, 0xa0, 0x2c, 4), 30);
  EXPECT_GT(picture_check::pixelsNear(image, 0xb5, 0x65, 0x1d, 4), 30);

  // The reader itself sees an empty page as empty.
  const picture_check::Image blank = picture_check::renderSvg(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"30\">"
      "<rect width=\"40\" height=\"30\" fill=\"#ffffff\"/></svg>",
      "blank");
  EXPECT_EQ(picture_check::pixelsNear(blank, 255, 255, 255, 0), 40 * 30);
}

TEST(XmlCheck, RejectsWhatIsNotWellFormed) {
  const char* const bad[] = {
      "<a><b></a></b>", "<a x=1/>", "<a x=\"1\" x=\"2\"/>", "<a>&nbsp;</a>", "<a>x & y</a>",
      "<a/><b/>",       "<a>",      "<a x=\"<\"/>",
  };
  for (const char* text : bad) {
    EXPECT_THROW(picture_check::parseXml(text), picture_check::XmlError) << text;
  }
  const auto root =
      picture_check::parseXml("<?xml version=\"1.0\"?>\n<a k='&lt;&amp;'><t>x &gt; y</t></a>");
  EXPECT_EQ(root->attribute("k"), "<&");
  EXPECT_EQ(root->children[0]->text, "x > y");
}

}  // namespace
}  // namespace runner
