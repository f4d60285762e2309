// Bone deformation of meshes, checked against positions worked out by hand: a point weighted
// to one bone follows it exactly, normalization splits a point between bones, inactive and
// limited-range bones, the bone modes, the falloff numbering and strength.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "standin/scene/deformation.h"

namespace {

using standin::ItemId;
using standin::Scene;
using standin::Vec3;

constexpr double kDegree = 3.14159265358979323846 / 180;

// An object "Body" with a mesh built in code, and bones added to it at rest.
struct Rig {
  Scene scene;
  ItemId body = 0;
  std::shared_ptr<standin::Mesh> mesh = std::make_shared<standin::Mesh>();

  Rig() { body = scene.addObject("Body"); }

  // A bone along its own +z at `restPosition` in its parent (0: the object), standing at rest.
  ItemId bone(const std::string& name, const Vec3& restPosition, double length = 1,
              ItemId parent = 0) {
    const ItemId id = scene.addBone(body, parent ? parent : body, name);
    standin::Item& item = *scene.find(id);
    item.restPosition = restPosition;
    item.restLength = length;
    scene.setPosition(id, restPosition);
    return id;
  }
  standin::Item& item(ItemId id) { return *scene.find(id); }
  // Weight-map-only bone on its own map.
  void mapOnly(ItemId id, const std::string& map, bool normalization = true) {
    item(id).deformation.weightMap = map;
    item(id).deformation.weightMapOnly = true;
    item(id).deformation.normalization = normalization;
  }
  void weight(const std::string& map, std::uint32_t point, float w) {
    standin::WeightMap* found = nullptr;
    for (standin::WeightMap& m : mesh->weightMaps) {
      if (m.name == map) found = &m;
    }
    if (!found) {
      mesh->weightMaps.push_back({map, {}, {}});
      found = &mesh->weightMaps.back();
    }
    found->weights.push_back({point, w});
  }
  std::vector<Vec3> deformed() {
    standin::ObjectMesh named;
    named.file = "Objects/Body.lwo";
    named.mesh = mesh;
    scene.setObjectMesh(body, named);
    return standin::deformedWorldPoints(scene, body);
  }
};

void expectNear(const Vec3& got, const Vec3& want, const std::string& label,
                double tolerance = 1e-9) {
  for (int a = 0; a < 3; ++a) {
    EXPECT_NEAR(got[a], want[a], tolerance)
        << label << " axis " << a << ": got (" << got[0] << ", " << got[1] << ", " << got[2] << ")";
  }
}

struct Case {
  const char* label;
  std::vector<Vec3> points;
  std::function<void(Rig&)> setUp;
  std::vector<Vec3> expected;  // world positions after deformation
  double tolerance = 1e-9;
};

TEST(MeshDeformation, PointsGoWhereTheHandComputedModelPutsThem) {
  const Case cases[] = {
      // Heading 90 turns the bone's +z to +x: (0, 0.2, 0.5) in the bone goes to (0.5, 0.2, 0),
      // then the bone's move by +1 in x and the object's by +2 in z.
      {"weight 1 on one bone follows that bone exactly",
       {{0, 0.2, 0.5}},
       [](Rig& r) {
         const ItemId upper = r.bone("Upper", {0, 0, 0});
         r.mapOnly(upper, "Upper");
         r.weight("Upper", 0, 1);
         r.scene.setPosition(upper, {1, 0, 0});
         r.scene.setRotation(upper, {90 * kDegree, 0, 0});
         r.scene.setPosition(r.body, {0, 0, 2});
       },
       {{1.5, 0.2, 2}}},
      // A child bone's rest frame sits on its parent's: Lower rests at z = 1 and pitches 90
      // (its +z turns to -y) about that point, so (0, 0, 1.5) goes to (0, -0.5, 1).
      {"a child bone turns about its own rest origin",
       {{0, 0, 1.5}},
       [](Rig& r) {
         const ItemId upper = r.bone("Upper", {0, 0, 0});
         const ItemId lower = r.bone("Lower", {0, 0, 1}, 1, upper);
         r.mapOnly(upper, "Upper");
         r.mapOnly(lower, "Lower");
         r.weight("Lower", 0, 1);
         r.scene.setRotation(lower, {0, 90 * kDegree, 0});
       },
       {{0, -0.5, 1}}},
      // Weights 0.3 and 0.1 normalise to 0.75 and 0.25 of A's +1 x and B's +2 y.
      {"normalization splits a point between two bones",
       {{0, 0, 0.5}, {0, 0, 0.7}},
       [](Rig& r) {
         const ItemId a = r.bone("A", {0, 0, 0});
         const ItemId b = r.bone("B", {0, 0, 0});
         r.mapOnly(a, "A");
         r.mapOnly(b, "B");
         r.weight("A", 0, 0.3f);
         r.weight("B", 0, 0.1f);
         r.weight("A", 1, 0.2f);  // point 1 only in A's map: all of A's move
         r.scene.setPosition(a, {1, 0, 0});
         r.scene.setPosition(b, {0, 2, 0});
       },
       {{0.75, 0.5, 0.5}, {1, 0, 0.7}},
       1e-6},
      // Without normalization the map weights are taken as they are: 0.3 of +1 x, 0.1 of +2 y.
      {"without normalization the weights move the point as they stand",
       {{0, 0, 0.5}},
       [](Rig& r) {
         const ItemId a = r.bone("A", {0, 0, 0});
         const ItemId b = r.bone("B", {0, 0, 0});
         r.mapOnly(a, "A", false);
         r.mapOnly(b, "B", false);
         r.weight("A", 0, 0.3f);
         r.weight("B", 0, 0.1f);
         r.scene.setPosition(a, {1, 0, 0});
         r.scene.setPosition(b, {0, 2, 0});
       },
       {{0.3, 0.2, 0.5}},
       1e-6},
      {"an inactive bone is left out and the others share the point",
       {{0, 0, 0.5}},
       [](Rig& r) {
         const ItemId a = r.bone("A", {0, 0, 0});
         const ItemId b = r.bone("B", {0, 0, 0});
         r.mapOnly(a, "A");
         r.mapOnly(b, "B");
         r.weight("A", 0, 0.5f);
         r.weight("B", 0, 0.5f);
         r.item(b).active = false;
         r.scene.setPosition(a, {1, 0, 0});
         r.scene.setPosition(b, {0, 2, 0});
       },
       {{1, 0, 0.5}}},
      // Range 0.5 to 1.5 around the segment from (0,0,0) to (0,0,1): full inside 0.5, half at
      // 1.0, none at 2; the bone moves +1 in y, so each point moves by its factor.
      {"limited range: full inside, fading between, nothing beyond",
       {{0.2, 0, 0.5}, {1.0, 0, 0.5}, {0, 1.25, 0.5}, {2, 0, 0.5}, {0, 0, 2.75}},
       [](Rig& r) {
         const ItemId a = r.bone("A", {0, 0, 0});
         r.mapOnly(a, "A", false);
         for (std::uint32_t p = 0; p < 5; ++p) r.weight("A", p, 1);
         r.item(a).deformation.limitedRange = true;
         r.item(a).deformation.minRange = 0.5;
         r.item(a).deformation.maxRange = 1.5;
         r.scene.setPosition(a, {0, 1, 0});
       },
       {{0.2, 1, 0.5}, {1.0, 0.5, 0.5}, {0, 1.25 + 0.25, 0.5}, {2, 0, 0.5}, {0, 0, 2.75}}},
      {"no bones: the mesh moves with its object",
       {{1, 2, 3}},
       [](Rig& r) {
         r.scene.setPosition(r.body, {1, 0, 0});
         r.scene.setRotation(r.body, {90 * kDegree, 0, 0});
       },
       {{4, 2, -1}}},
      // A map the mesh does not have weighs every point 0: the bone takes nothing.
      {"a bone whose map the mesh lacks moves no point",
       {{0, 0, 0.5}},
       [](Rig& r) {
         const ItemId a = r.bone("A", {0, 0, 0});
         r.mapOnly(a, "Missing");
         r.weight("Other", 0, 1);
         r.scene.setPosition(a, {1, 0, 0});
       },
       {{0, 0, 0.5}}},
  };
  for (const Case& c : cases) {
    Rig rig;
    for (const Vec3& p : c.points) rig.mesh->points.push_back(p);
    c.setUp(rig);
    const std::vector<Vec3> got = rig.deformed();
    ASSERT_EQ(got.size(), c.expected.size()) << c.label;
    for (std::size_t p = 0; p < got.size(); ++p) {
      expectNear(got[p], c.expected[p], std::string(c.label) + " point " + std::to_string(p),
                 c.tolerance);
    }
  }
}

// Three weight-map-only bones with weights 0.5, 0.3 and 0.2 move the point +1 in x, y and z.
TEST(MeshDeformation, BoneModesKeepTheStrongestBonesAndShareThePointAmongThem) {
  const struct {
    const char* label;
    bool fasterBones;
    int boneMode;
    int limited;
    Vec3 move;
  } cases[] = {
      {"full: every bone", false, -1, 4, {0.5, 0.3, 0.2}},
      {"FasterBones alone keeps four", true, -1, 4, {0.5, 0.3, 0.2}},
      {"limited to two, shares renormalised",
       false,
       standin::kBoneModeLimited,
       2,
       {0.625, 0.375, 0}},
      {"limited to one", false, standin::kBoneModeLimited, 1, {1, 0, 0}},
      // BoneMode wins over FasterBones when a scene gives both.
      {"BoneMode full over FasterBones", true, standin::kBoneModeFull, 1, {0.5, 0.3, 0.2}},
      {"BoneMode limited over FasterBones", true, standin::kBoneModeLimited, 2, {0.625, 0.375, 0}},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.mesh->points.push_back({0, 0, 0.5});
    const char* names[3] = {"X", "Y", "Z"};
    const float weights[3] = {0.5f, 0.3f, 0.2f};
    for (int b = 0; b < 3; ++b) {
      // Listed weakest first, so that keeping the first bones listed would be wrong.
      const int at = 2 - b;
      const ItemId bone = rig.bone(names[at], {0, 0, 0});
      rig.mapOnly(bone, names[at]);
      rig.weight(names[at], 0, weights[at]);
      Vec3 to{0, 0, 0};
      to[static_cast<std::size_t>(at)] = 1;
      rig.scene.setPosition(bone, to);
    }
    standin::ObjectBoneSettings& s = rig.item(rig.body).boneSettings;
    s.fasterBones = c.fasterBones;
    s.boneMode = c.boneMode;
    s.numLimitedBones = c.limited;
    const std::vector<Vec3> got = rig.deformed();
    ASSERT_EQ(got.size(), 1u);
    expectNear(got[0], {c.move[0], c.move[1], 0.5 + c.move[2]}, c.label, 1e-6);
  }
}

// By distance: bone A along z at x = 0 moves +1 in x; bone B along z at x = 3 stays. A point
// at x = 1 is 1 from A and 2 from B, so A's share is 1 / (1 + 2^-e), e = 2^(n-1).
TEST(MeshDeformation, FalloffTypesCountFromOneAndStrengthScalesTheShare) {
  const struct {
    const char* label;
    int falloff;
    double strengthA;
    bool scaleA;
    double lengthA;
    double share;
  } cases[] = {
      {"1: inverse distance", 1, 1, true, 1, 1 / (1 + 0.5)},
      {"2: inverse distance squared", 2, 1, true, 1, 1 / (1 + 0.25)},
      {"3: fourth power", 3, 1, true, 1, 1 / (1 + 1.0 / 16)},
      {"5 (the default): ^16", 5, 1, true, 1, 1 / (1 + std::pow(2.0, -16))},
      // d^-128 overflows a double near a bone: the shares must still come out.
      {"8: ^128", 8, 1, true, 1, 1 / (1 + std::pow(2.0, -128))},
      // Strength 2 doubles A's weight: 2 / (2 + 0.5).
      {"strength 2", 1, 2, true, 1, 2 / (2 + 0.5)},
      // Strength multiply: A's rest length 2 doubles its weight (the point stays 1 from A).
      {"strength times rest length", 1, 1, true, 2, 2 / (2 + 0.5)},
      {"strength not multiplied", 1, 1, false, 2, 1 / (1 + 0.5)},
      {"strength 0 takes nothing", 1, 0, true, 1, 0},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.mesh->points.push_back({1, 0, 0.5});
    const ItemId a = rig.bone("A", {0, 0, 0}, c.lengthA);
    rig.bone("B", {3, 0, 0});
    rig.item(a).strength = c.strengthA;
    rig.item(a).scaleStrength = c.scaleA;
    rig.item(rig.body).boneSettings.falloffType = c.falloff;
    rig.scene.setPosition(a, {1, 0, 0});
    const std::vector<Vec3> got = rig.deformed();
    ASSERT_EQ(got.size(), 1u);
    expectNear(got[0], {1 + c.share, 0, 0.5}, c.label, 1e-12);
  }
}

// The distance is to the rest segment, not to the bone's origin: a point beside the middle
// of a long bone belongs to it even when another bone's origin is nearer than its own.
TEST(MeshDeformation, DistanceIsMeasuredToTheRestSegment) {
  Rig rig;
  rig.mesh->points.push_back({0.5, 0, 4});
  const ItemId longBone = rig.bone("Long", {0, 0, 0}, 8);  // 0.5 from the point's side
  rig.bone("Short", {0, 0, 5.2}, 0.1);                     // origin 1.3 away
  rig.item(rig.body).boneSettings.falloffType = 1;
  rig.scene.setPosition(longBone, {0, 1, 0});
  const std::vector<Vec3> got = rig.deformed();
  ASSERT_EQ(got.size(), 1u);
  // Long weighs 8 (strength x rest length) / 0.5, Short 0.1 / sqrt(0.5^2 + 1.2^2) = 0.1 / 1.3.
  const double longWeight = 8 / 0.5, shortWeight = 0.1 / 1.3;
  expectNear(got[0], {0.5, longWeight / (longWeight + shortWeight), 4}, "segment", 1e-12);
}

// The pose at another time uses that time's keys, and a deformer built once gives at the
// scene's time what deformedWorldPoints gives.
TEST(MeshDeformation, ADeformerPosesTheMeshAtAnyTimeFromItsKeys) {
  Rig rig;
  rig.mesh->points.push_back({0, 0, 0.5});
  const ItemId a = rig.bone("A", {0, 0, 0});
  rig.mapOnly(a, "A");
  rig.weight("A", 0, 1);
  standin::Item& item = rig.item(a);
  item.keys[standin::kPosX] = {{0, 0}, {1, 2}};  // linear from 0 to 2 over a second
  rig.scene.setTime(0);
  const std::vector<Vec3> now = rig.deformed();
  const standin::MeshDeformer deformer(rig.scene, rig.body);
  expectNear(deformer.worldPointsAt(rig.scene, 0.5)[0], {1, 0, 0.5}, "at 0.5 s");
  expectNear(deformer.worldPointsAt(rig.scene, 1)[0], {2, 0, 0.5}, "at 1 s");
  expectNear(deformer.worldPointsAt(rig.scene, 0)[0], now[0], "at the scene's time");
  EXPECT_EQ(deformer.bones().size(), 1u);
}

TEST(MeshDeformation, NotModelledSettingsAreNamedOncePerKind) {
  Rig rig;
  const ItemId a = rig.bone("A", {0, 0, 0});
  const ItemId b = rig.bone("B", {0, 0, 0});
  rig.bone("C", {0, 0, 0});
  rig.item(a).deformation.jointComp = true;
  rig.item(b).deformation.jointCompParent = true;
  rig.item(b).deformation.muscleFlexParent = true;
  rig.item(a).boneType = standin::kBoneTypeJoint;
  const ItemId other = rig.scene.addObject("Other");
  rig.item(other).boneSettings.bonesFromOtherObject = true;
  std::vector<std::string> texts;
  for (const auto& kind : standin::unmodelledDeformation(rig.scene)) texts.push_back(kind.text());
  const std::vector<std::string> expected = {
      "joint compensation on 2 bones is not modelled",
      "muscle flexing on 1 bone is not modelled",
      "the joint bone type on 1 bone is not modelled",
      "bones from another object on 1 object is not modelled",
  };
  EXPECT_EQ(texts, expected);
  Rig plain;
  plain.bone("A", {0, 0, 0});
  EXPECT_TRUE(standin::unmodelledDeformation(plain.scene).empty());
}

}  // namespace
