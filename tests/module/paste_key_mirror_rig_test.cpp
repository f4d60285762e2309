// PasteKeyMirror on rigs: where the pasted side's bones end in the world, checked with the
// stand-in's own math against the mirror of where the copied side's were.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "standin/files/demo_rig.h"
#include "standin/scene/transform.h"
#include "support/tool_harness.h"

namespace {

using standin::Answers;
using standin::ItemId;
using standin::Mat4;
using standin::Scene;
using standin::Vec3;
using testing_support::ToolHarness;

constexpr double kPi = 3.14159265358979323846;
// Values go out with six significant digits: tips land within this of where they should.
constexpr double kTolerance = 2e-5;

Vec3 radians(const Vec3& degrees) {
  return {degrees[0] * kPi / 180, degrees[1] * kPi / 180, degrees[2] * kPi / 180};
}

// The reflection that turns `axis` round.
Mat4 reflection(int axis) {
  Mat4 f = standin::identity();
  f[5 * static_cast<std::size_t>(axis)] = -1;
  return f;
}

Mat4 mirrorOf(const Mat4& m, int axis = 0) {
  return standin::multiply(reflection(axis), standin::multiply(m, reflection(axis)));
}

// The item's frame in the frame of `reference` now.
Mat4 relative(const Scene& scene, ItemId reference, ItemId item) {
  return standin::multiply(standin::inverseAffine(scene.worldMatrix(reference)),
                           scene.worldMatrix(item));
}

void expectNear(const Mat4& actual, const Mat4& expected, const std::string& what) {
  for (std::size_t k = 0; k < 12; ++k) EXPECT_NEAR(actual[k], expected[k], kTolerance) << what;
}

void expectNear(const Vec3& actual, const Vec3& expected, const std::string& what) {
  for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(actual[k], expected[k], kTolerance) << what;
}

// The demo rig's left arm posed and keyed at time 0 (degrees).
struct Pose {
  const char* bone;
  Vec3 rotation;
};
const Pose kLeftArmPose[] = {
    {"L_Shoulder", {95, 10, -5}}, {"L_UpperArm", {20, -40, 15}}, {"L_Forearm", {0, -60, 10}},
    {"L_Hand", {15, 10, -20}},    {"L_Finger", {0, -30, 0}},     {"L_FingerTip", {5, -20, 0}},
};

// L_Prop hangs from the right hand and R_Prop from the left one; the hands hang from Body,
// which has no side and so is what the pose is mirrored against.
const char* const kCrossed = R"({"items": [
  {"name": "Body", "type": "object", "position": [1, 0, 2], "rotation": [30, 0, 0]},
  {"name": "L_Hand", "type": "object", "parent": "Body", "position": [0.5, 1, 0],
   "rotation": [10, 20, 30]},
  {"name": "R_Hand", "type": "object", "parent": "Body", "position": [-0.5, 1, 0],
   "rotation": [-40, 5, 0], "scale": [2, 2, 2]},
  {"name": "L_Prop", "type": "object", "parent": "R_Hand", "position": [0.1, 0.2, 0.3],
   "rotation": [5, 6, 7], "scale": [1, 2, 1]},
  {"name": "R_Prop", "type": "object", "parent": "L_Hand", "position": [0, 0, 1]}
]})";

std::string otherSide(const std::string& name) {
  return (name[0] == 'L' ? "R" : "L") + name.substr(1);
}

// Copied at time 0, pasted at time 1, maybe after the character has moved: each pasted
// item's frame (and a bone's tip) in the frame of the centre item the pose is mirrored
// against is the mirror of the copied one's.
TEST(PasteKeyMirrorRig, EachPastedFrameIsTheMirrorOfTheCopiedOneAgainstTheCentre) {
  struct Case {
    const char* what;
    const char* scene;  // null: the demo rig, its left arm posed
    std::vector<std::string> copied;
    const char* centre;
    const char* axis = "X";  // answered in the dialog
    int turned = 0;          // the centre's axis the mirror turns round
    Vec3 moveBy{0, 0, 0};    // moves the centre before the paste
    double turnBy = 0;       // degrees of heading: turns the centre before the paste
  };
  const std::vector<std::string> kArm = {"L_Shoulder", "L_UpperArm", "L_Forearm",
                                         "L_Hand",     "L_Finger",   "L_FingerTip"};
  // Without the shoulder, the right one stays as it is; with the finger tip first, parents
  // are still placed before their children; across y it is Chest's z axis that is turned,
  // as Chest points up; R_Hand's counterpart is R_Prop's parent.
  const Case cases[] = {
      {"the arm", nullptr, kArm, "Hero"},
      {"the arm, finger tip first", nullptr, {kArm.rbegin(), kArm.rend()}, "Hero"},
      {"without the shoulder", nullptr, {"L_UpperArm", "L_Hand"}, "Hero"},
      {"walked on", nullptr, {"L_UpperArm", "L_Finger"}, "Hero", "X", 0, {2, 0.5, -3}, 70},
      {"across y", nullptr, {"L_UpperArm"}, "Chest", "Y", 2},
      {"hanging from the other side", kCrossed, {"L_Prop"}, "Body", "X", 0, {-1, 0, 0.5}, -50},
      {"with the hand it hangs from", kCrossed, {"L_Prop", "R_Hand"}, "Body"},
  };
  for (const Case& c : cases) {
    ToolHarness harness(c.scene ? ToolHarness(c.scene) : ToolHarness(standin::demoRig()));
    Scene& scene = harness.scene();
    if (c.scene == nullptr) {
      for (const Pose& pose : kLeftArmPose) {
        scene.setRotation(harness.id(pose.bone), radians(pose.rotation));
        scene.createKey(harness.id(pose.bone), 0);
      }
    }
    const ItemId centre = harness.id(c.centre);
    std::vector<Mat4> before;
    for (const std::string& name : c.copied)
      before.push_back(relative(scene, centre, harness.id(name)));
    harness.select(c.copied);
    harness.run("CopyKey");
    scene.setTime(1);
    const Vec3 at = scene.find(centre)->position(), turn = scene.find(centre)->rotation();
    scene.setPosition(centre, {at[0] + c.moveBy[0], at[1] + c.moveBy[1], at[2] + c.moveBy[2]});
    scene.setRotation(centre, {turn[0] + c.turnBy * kPi / 180, turn[1], turn[2]});
    harness.select({});
    const auto record = harness.run("PasteKeyMirror", Answers{true, {{"ChoiceControl", c.axis}}});
    EXPECT_EQ(record.commands.size(), 5 * c.copied.size()) << c.what;
    EXPECT_TRUE(record.messages.empty()) << c.what;
    for (std::size_t i = 0; i < c.copied.size(); ++i) {
      const ItemId target = harness.id(otherSide(c.copied[i]));
      const std::string what = std::string(c.what) + ": " + otherSide(c.copied[i]);
      const Mat4 mirrored = mirrorOf(before[i], c.turned);
      expectNear(relative(scene, centre, target), mirrored, what + " frame");
      if (scene.typeOf(target) != static_cast<int>(standin::ItemType::Bone)) continue;
      const Mat4 toCentre = standin::inverseAffine(scene.worldMatrix(centre));
      expectNear(standin::transformPoint(toCentre, scene.worldTip(target)),
                 standin::transformPoint(mirrored, {0, 0, scene.find(target)->restLength}),
                 what + " tip");
    }
    EXPECT_EQ(scene.validate(), "") << c.what;
  }
}

// A rig whose right bones are each rolled about their length against the mirror of the left
// ones: the same tips, other rest rotations. Built from the left side's values.
struct SidePair {
  const char* left;
  const char* parent;  // the left bone's parent
  Vec3 position;
  Vec3 rotation;  // degrees
  double length;
  double roll;  // degrees: the right bone's frame is the mirror of the left's, rolled by this
};
const SidePair kPairs[] = {
    {"Arm", "Chest", {0.2, 0, 0.3}, {90, 0, 0}, 0.4, 40},
    {"Fore", "Arm", {0, 0, 0.4}, {0, 30, 0}, 0.3, -25},
    {"Hand", "Fore", {0, 0, 0.3}, {10, 0, 20}, 0.1, 70},
};

Scene rolledRig() {
  Scene scene;
  const ItemId body = scene.addObject("Body");
  const ItemId chest = scene.addBone(body, body, "Chest");
  scene.setPosition(chest, {0, 1, 0});
  scene.setRotation(chest, radians({0, -90, 0}));
  double parentRoll = 0;
  for (const SidePair& pair : kPairs) {
    const std::string parent = pair.parent;
    const bool centreParent = parent == "Chest";
    const ItemId left = scene.addBone(body, scene.findByName(centreParent ? parent : "L_" + parent),
                                      std::string("L_") + pair.left);
    const ItemId right =
        scene.addBone(body, scene.findByName(centreParent ? parent : "R_" + parent),
                      std::string("R_") + pair.left);
    scene.setPosition(left, pair.position);
    scene.setRotation(left, radians(pair.rotation));
    // Right local = Rz(-parent roll) x mirror(left local) x Rz(roll).
    Mat4 leftLocal = standin::rotationHPB(radians(pair.rotation));
    for (int k = 0; k < 3; ++k) leftLocal[4 * static_cast<std::size_t>(k) + 3] = pair.position[k];
    const Mat4 unroll = standin::rotationHPB({0, 0, -parentRoll * kPi / 180});
    const Mat4 rightLocal = standin::multiply(
        unroll, standin::multiply(mirrorOf(leftLocal),
                                  standin::rotationHPB({0, 0, pair.roll * kPi / 180})));
    scene.setPosition(right, {rightLocal[3], rightLocal[7], rightLocal[11]});
    scene.setRotation(right, standin::decomposeHPB(rightLocal));
    scene.find(left)->restLength = scene.find(right)->restLength = pair.length;
    parentRoll = pair.roll;
  }
  for (ItemId id = scene.first(standin::ItemType::Bone, body); id != 0; id = scene.next(id)) {
    standin::Item& bone = *scene.find(id);
    bone.restPosition = bone.position();
    bone.restRotation = bone.rotation();
  }
  return scene;
}

TEST(PasteKeyMirrorRig, SidesWithOtherRestRotationsGetTheMirroredTipsAndKeepTheirRoll) {
  struct Case {
    const char* what;
    std::vector<Vec3> leftPose;  // degrees, for Arm, Fore, Hand; empty: the rest pose
  };
  const Case cases[] = {
      {"the rest pose pasted gives the right side its own rest pose", {}},
      {"a posed arm", {{110, -30, 10}, {0, 75, 15}, {0, 20, 5}}},
      {"a pose past a quarter turn", {{200, 100, -80}, {30, -120, 0}, {-90, 0, 180}}},
  };
  for (const Case& c : cases) {
    ToolHarness harness(rolledRig());
    Scene& scene = harness.scene();
    std::vector<std::string> copied;
    for (std::size_t i = 0; i < std::size(kPairs); ++i) {
      copied.push_back(std::string("L_") + kPairs[i].left);
      if (!c.leftPose.empty()) scene.setRotation(harness.id(copied.back()), radians(c.leftPose[i]));
    }
    harness.select(copied);
    harness.run("CopyKey");
    harness.select({});
    EXPECT_EQ(harness.run("PasteKeyMirror").commands.size(), 15u) << c.what;
    for (const SidePair& pair : kPairs) {
      const std::string what = std::string(c.what) + ": R_" + pair.left;
      const ItemId left = harness.id(std::string("L_") + pair.left);
      const ItemId right = harness.id(std::string("R_") + pair.left);
      const Vec3 leftTip = scene.worldTip(left);
      expectNear(scene.worldTip(right), {-leftTip[0], leftTip[1], leftTip[2]}, what + " tip");
      const Mat4 rolled = standin::multiply(mirrorOf(scene.worldMatrix(left)),
                                            standin::rotationHPB({0, 0, pair.roll * kPi / 180}));
      expectNear(scene.worldMatrix(right), rolled, what + " frame with its roll");
    }
  }
}

}  // namespace
