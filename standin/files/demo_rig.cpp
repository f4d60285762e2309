// The built-in demo rig: a standing figure about 1.8 m tall, facing -Z (the camera).
#include "standin/files/demo_rig.h"

#include <cmath>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "standin/scene/mesh.h"

namespace standin {
namespace {

Vec3 radians(const Vec3& degrees) { return toRadians(degrees); }

// A bone points along +Z of its own frame; position and rotation are relative to the
// parent (a child at (0, 0, parent length) starts at the parent's tip).
struct BoneRow {
  const char* name;
  const char* parent;
  Vec3 position;
  Vec3 rotation;  // heading, pitch, bank in degrees
  double length;
};

// Pitch -90 turns +Z up; the chest's +X is the figure's left (+X in the world).
const BoneRow kCentre[] = {
    {"Hips", "Hero", {0, 1.0, 0}, {0, -90, 0}, 0.12},
    {"Spine", "Hips", {0, 0, 0.12}, {0, 0, 0}, 0.20},
    {"Chest", "Spine", {0, 0, 0.20}, {0, 0, 0}, 0.25},
    {"Neck", "Chest", {0, 0, 0.25}, {0, 0, 0}, 0.08},
    {"Head", "Neck", {0, 0, 0.08}, {0, 0, 0}, 0.15},
};

// The left side; the right side mirrors it across X (x, heading and bank change sign).
// Arms stretch out sideways (T pose), legs point down (pitch 180), feet forward.
const BoneRow kLeftArm[] = {
    {"Shoulder", "Chest", {0.03, 0, 0.20}, {90, 0, 0}, 0.15},
    {"UpperArm", "Shoulder", {0, 0, 0.15}, {0, 0, 0}, 0.30},
    {"Forearm", "UpperArm", {0, 0, 0.30}, {0, 0, 0}, 0.25},
    {"Hand", "Forearm", {0, 0, 0.25}, {0, 0, 0}, 0.08},
    {"Finger", "Hand", {0, 0, 0.08}, {0, 0, 0}, 0.05},
    {"FingerTip", "Finger", {0, 0, 0.05}, {0, 0, 0}, 0.03},
};
const BoneRow kLeftLeg[] = {
    {"Thigh", "Hips", {0.10, 0, 0}, {0, 180, 0}, 0.45},
    {"Shin", "Thigh", {0, 0, 0.45}, {0, 0, 0}, 0.43},
    {"Foot", "Shin", {0, 0, 0.43}, {0, 90, 0}, 0.15},
};

// Keys at time 0 (the rest pose) and time 1; heading +60 lowers the left arm.
struct KeyRow {
  const char* bone;
  Vec3 atOne;  // rotation in degrees at time 1
};
const KeyRow kKeys[] = {
    {"L_UpperArm", {60, 0, 0}},
    {"R_UpperArm", {-60, 0, 0}},
    {"Head", {0, 0, 30}},  // bank about the neck's axis: the head turns
};

// Radii of the body's tubes per bone, without the side prefix; the head is a wider box.
struct TubeRow {
  const char* bone;
  double radius;
};
const TubeRow kTubes[] = {
    {"Hips", 0.15},      {"Spine", 0.13},     {"Chest", 0.16},    {"Neck", 0.05}, {"Head", 0.10},
    {"Shoulder", 0.06},  {"UpperArm", 0.055}, {"Forearm", 0.045}, {"Hand", 0.04}, {"Finger", 0.025},
    {"FingerTip", 0.02}, {"Thigh", 0.08},     {"Shin", 0.06},     {"Foot", 0.05},
};
constexpr int kTubeSides = 6;

double tubeRadius(const std::string& bone) {
  const std::string base =
      bone.rfind("L_", 0) == 0 || bone.rfind("R_", 0) == 0 ? bone.substr(2) : bone;
  for (const TubeRow& row : kTubes) {
    if (base == row.bone) return row.radius;
  }
  return 0.04;
}

// `value` to the micrometre, then as a float holds it. The first rounding makes the body the
// same on every platform: C libraries' sin and cos differ in their last bits, which left
// coordinates of 1e-17 instead of 0. Through a volatile: GCC 12's vectoriser at -O2 drops
// the float rounding when the three coordinates of a point are rounded side by side.
double singlePrecision(double value) {
  const double micrometres = std::round(value * 1e6) / 1e6;
  volatile float single = static_cast<float>(micrometres);
  return single;
}

// The body: a six-sided tube with closed ends around each bone at rest, its twelve points
// weighted 1 in the bone's own weight map. Points are stored at float precision, as an
// object file holds them, so that a saved and reloaded body is the same mesh.
std::shared_ptr<const Mesh> bodyMesh(const Scene& scene, ItemId hero) {
  auto mesh = std::make_shared<Mesh>();
  mesh->layer = 0;
  const Mat4 toObject = inverseAffine(scene.worldMatrix(hero));
  for (ItemId bone = scene.first(ItemType::Bone, hero); bone != 0; bone = scene.next(bone)) {
    const Item& item = *scene.find(bone);
    const Mat4 boneToObject = multiply(toObject, scene.worldMatrix(bone));
    const double radius = tubeRadius(item.name);
    const auto first = static_cast<std::uint32_t>(mesh->points.size());
    WeightMap map;
    map.name = item.name;
    for (double along : {0.0, item.restLength}) {
      for (int side = 0; side < kTubeSides; ++side) {
        const double angle = 2 * kPi * side / kTubeSides;
        const Vec3 exact = transformPoint(
            boneToObject, {radius * std::cos(angle), radius * std::sin(angle), along});
        const Vec3 p{singlePrecision(exact[0]), singlePrecision(exact[1]),
                     singlePrecision(exact[2])};
        map.weights.push_back({static_cast<std::uint32_t>(mesh->points.size()), 1.0f});
        mesh->points.push_back(p);
      }
    }
    auto polygon = [&mesh](std::vector<std::uint32_t> corners) {
      mesh->polygonPoints.insert(mesh->polygonPoints.end(), corners.begin(), corners.end());
      mesh->polygonStart.push_back(static_cast<std::uint32_t>(mesh->polygonPoints.size()));
      mesh->polygonKinds.push_back(PolygonKind::Face);
    };
    std::vector<std::uint32_t> start, end;
    for (std::uint32_t side = 0; side < kTubeSides; ++side) {
      const std::uint32_t next = (side + 1) % kTubeSides;
      polygon({first + side, first + next, first + kTubeSides + next, first + kTubeSides + side});
      start.push_back(first + kTubeSides - 1 - side);
      end.push_back(first + kTubeSides + side);
    }
    polygon(start);
    polygon(end);
    mesh->weightMaps.push_back(std::move(map));
  }
  return mesh;
}

std::string sided(const char* side, const char* name) {
  // Centre bones keep their names; only the side chains get the prefix.
  const std::string n = name;
  if (n == "Chest" || n == "Hips") return n;
  return std::string(side) + n;
}

}  // namespace

Scene demoRig() {
  Scene scene;
  const ItemId hero = scene.addObject("Hero");

  struct Bone {
    std::string name, parent;
    Vec3 position, rotation;
    double length;
  };
  std::vector<Bone> bones;
  for (const BoneRow& row : kCentre) {
    bones.push_back({row.name, row.parent, row.position, row.rotation, row.length});
  }
  auto addSides = [&bones](const BoneRow* chain, std::size_t count) {
    for (const char* side : {"L_", "R_"}) {
      const double mirror = side[0] == 'R' ? -1 : 1;
      for (std::size_t i = 0; i < count; ++i) {
        const BoneRow& row = chain[i];
        bones.push_back({sided(side, row.name),
                         sided(side, row.parent),
                         {mirror * row.position[0], row.position[1], row.position[2]},
                         {mirror * row.rotation[0], row.rotation[1], mirror * row.rotation[2]},
                         row.length});
      }
    }
  };
  addSides(kLeftArm, std::size(kLeftArm));
  addSides(kLeftLeg, std::size(kLeftLeg));

  for (const Bone& b : bones) {
    const ItemId bone = scene.addBone(hero, scene.findByName(b.parent), b.name);
    scene.setPosition(bone, b.position);
    scene.setRotation(bone, radians(b.rotation));
    scene.find(bone)->restLength = b.length;
  }

  const ItemId light = scene.addLight("Key Light");
  scene.setPosition(light, {-2, 2, -2});
  scene.setRotation(light, radians({45, 35, 0}));
  const ItemId camera = scene.addCamera("Camera");
  scene.setPosition(camera, {0, 1.5, -5});
  // The hands are at about x = +-0.75, y = 1.52.
  const ItemId sword = scene.addObject("Sword");
  scene.setPosition(sword, {-0.8, 1.52, -0.1});
  scene.setRotation(sword, radians({0, -90, 0}));  // blade up
  const ItemId shield = scene.addObject("Shield");
  scene.setPosition(shield, {0.8, 1.52, -0.1});

  for (const KeyRow& key : kKeys) {
    const ItemId bone = scene.findByName(key.bone);
    const Vec3 atZero = scene.find(bone)->rotation();
    scene.createKey(bone, 0);
    scene.setRotation(bone, radians(key.atOne));
    scene.createKey(bone, 1);
    scene.setRotation(bone, atZero);
  }
  scene.setTime(0);

  // As if Record Rest Position had been used on every bone.
  for (ItemId id = scene.first(ItemType::Bone, hero); id != 0; id = scene.next(id)) {
    Item& bone = *scene.find(id);
    bone.restPosition = bone.position();
    bone.restRotation = bone.rotation();
    // Each bone moves the points of its own weight map and no others.
    bone.deformation.weightMap = bone.name;
    bone.deformation.weightMapOnly = true;
    bone.deformation.normalization = true;
  }

  ObjectMesh body;
  body.file = kDemoBodyFile;
  body.layer = 1;
  body.mesh = bodyMesh(scene, hero);
  scene.setObjectMesh(hero, std::move(body));
  return scene;
}

}  // namespace standin
