// The built-in demo rig: a standing figure about 1.8 m tall, facing -Z (the camera).
#include "standin/files/demo_rig.h"

#include <iterator>
#include <string>
#include <vector>

namespace standin {
namespace {

constexpr double kPi = 3.14159265358979323846;

Vec3 radians(const Vec3& degrees) {
  return {degrees[0] * kPi / 180, degrees[1] * kPi / 180, degrees[2] * kPi / 180};
}

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
  }
  return scene;
}

}  // namespace standin
