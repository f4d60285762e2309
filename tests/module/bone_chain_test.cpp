#include "math/bone_chain.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standin/layout/stand_in_impl.h"
#include "support/tool_harness.h"

namespace {

using standin::ItemId;
using vorrik::HALF_PI;
using vorrik::Matrix4;
using vorrik::Vec3;

LWItemID lw(ItemId id) { return lwItemFromNumber(id); }

// A Host answered by the stand-in outside a run: the stand-in is made the active one and its
// interface time is the scene's, until the binding ends.
class BoundHost {
public:
  explicit BoundHost(standin::StandIn& standIn) : host_(servicesOf(standIn), nullptr) {
    standIn.interfaceTable().curTime = standIn.scene().time();
    standin::setActiveStandIn(&standIn);
  }
  ~BoundHost() { standin::setActiveStandIn(nullptr); }
  BoundHost(const BoundHost&) = delete;
  BoundHost& operator=(const BoundHost&) = delete;
  const vorrik::Host& operator*() const { return host_; }

private:
  static vorrik::HostServices servicesOf(standin::StandIn& standIn) {
    vorrik::HostServices services;
    services.itemInfo = &standIn.itemInfoTable();
    services.boneInfo = &standIn.boneInfoTable();
    services.interfaceInfo = &standIn.interfaceTable();
    return services;
  }
  vorrik::Host host_;
};

struct BoneValues {
  Vec3 position{0, 0, 0}, rotation{0, 0, 0}, pivot{0, 0, 0}, pivotRotation{0, 0, 0};
  double restLength = 1;
};

ItemId addBone(standin::Scene& scene, ItemId object, ItemId parent, const BoneValues& v) {
  const ItemId bone = scene.addBone(object, parent, "Bone");
  scene.setPosition(bone, v.position);
  scene.setRotation(bone, v.rotation);
  standin::Item& item = *scene.find(bone);
  item.pivot = v.pivot;
  item.pivotRotation = v.pivotRotation;
  item.restLength = v.restLength;
  return bone;
}

void expectNear(const Vec3& actual, const Vec3& expected, double tolerance,
                const std::string& what) {
  for (int i = 0; i < 3; ++i)
    EXPECT_NEAR(actual[i], expected[i], tolerance) << what << " [" << i << "]";
}

void expectNear(const Matrix4& actual, const std::array<double, 16>& expected, double tolerance,
                const std::string& what) {
  for (int k = 0; k < 16; ++k)
    EXPECT_NEAR(actual[k], expected[k], tolerance) << what << " [" << k << "]";
}

const std::array<double, 16> kIdentity = Matrix4{}.e;

Vec3 applied(const Matrix4& m, const Vec3& p) {
  Vec3 out;
  return vorrik::transformPoint(out, m, p);
}

TEST(BoneChainSingle, PlacementOfOneBoneUnderItsObject) {
  // Rest length 2; where the tip and the point (1, 0, 0) of the bone's frame land.
  const struct {
    const char* name;
    BoneValues values;
    Vec3 tip, unitX;
  } cases[] = {
      {"zero values", {}, {0, 0, 2}, {1, 0, 0}},
      {"position", {{1, 2, 3}, {}, {}, {}}, {1, 2, 5}, {2, 2, 3}},
      {"heading", {{}, {HALF_PI, 0, 0}, {}, {}}, {2, 0, 0}, {0, 0, -1}},
      {"pitch", {{}, {0, HALF_PI, 0}, {}, {}}, {0, -2, 0}, {1, 0, 0}},
      {"bank", {{}, {0, 0, HALF_PI}, {}, {}}, {0, 0, 2}, {0, 1, 0}},
      {"pitch before heading", {{}, {HALF_PI, HALF_PI, 0}, {}, {}}, {0, -2, 0}, {0, 0, -1}},
      {"bank before heading", {{}, {HALF_PI, 0, HALF_PI}, {}, {}}, {2, 0, 0}, {0, 1, 0}},
      {"pivot", {{}, {}, {0, 0, 1}, {}}, {0, 0, 1}, {1, 0, -1}},
      {"pivot before heading", {{}, {HALF_PI, 0, 0}, {0, 0, 1}, {}}, {1, 0, 0}, {-1, 0, -1}},
      {"pivot rotation", {{}, {}, {}, {HALF_PI, 0, 0}}, {2, 0, 0}, {0, 0, -1}},
      {"pivot rotation before rotation",
       {{}, {0, 0, HALF_PI}, {}, {HALF_PI, 0, 0}},
       {0, 2, 0},
       {0, 0, -1}},
      {"rotations before position",
       {{1, 0, 0}, {HALF_PI, 0, 0}, {}, {0, HALF_PI, 0}},
       {1, -2, 0},
       {1, 0, -1}},
  };
  for (const auto& c : cases) {
    testing_support::ToolHarness harness;
    standin::Scene& scene = harness.scene();
    const ItemId object = scene.addObject("Rig");
    BoneValues values = c.values;
    values.restLength = 2;
    const ItemId bone = addBone(scene, object, object, values);
    BoundHost host(harness.standIn());

    Matrix4 toSkeleton, toBone;
    vorrik::boneToSkeleton(toSkeleton, *host, lw(bone));
    vorrik::skeletonToBone(toBone, *host, lw(bone));
    expectNear(applied(toSkeleton, {0, 0, 2}), c.tip, 1e-15, c.name);
    expectNear(applied(toSkeleton, {1, 0, 0}), c.unitX, 1e-15, c.name);
    expectNear(applied(toBone, c.unitX), {1, 0, 0}, 1e-15, c.name);
    expectNear(toSkeleton, scene.worldMatrix(bone), 1e-15, c.name);

    Vec3 tip;
    expectNear(vorrik::childTipInBone(tip, *host, lw(object), lw(bone)), c.tip, 1e-15, c.name);
    expectNear(vorrik::childTipInBone(tip, *host, lw(bone), lw(bone)), {0, 0, 2}, 1e-15, c.name);
  }
}

TEST(BoneChainSingle, PositionOnlyIsAPureTranslationAndObjectsAddNothing) {
  testing_support::ToolHarness harness;
  standin::Scene& scene = harness.scene();
  const ItemId object = scene.addObject("Rig");
  scene.setPosition(object, {5, 6, 7});
  scene.setRotation(object, {0.3, 0.2, 0.1});
  const ItemId bone = addBone(scene, object, object, {{1, 2, 3}, {}, {}, {}});
  BoundHost host(harness.standIn());

  Matrix4 m;
  EXPECT_EQ(vorrik::boneToSkeleton(m, *host, lw(bone)).e,
            (std::array<double, 16>{1, 0, 0, 1, 0, 1, 0, 2, 0, 0, 1, 3, 0, 0, 0, 1}));
  EXPECT_EQ(vorrik::skeletonToBone(m, *host, lw(bone)).e,
            (std::array<double, 16>{1, 0, 0, -1, 0, 1, 0, -2, 0, 0, 1, -3, 0, 0, 0, 1}));
  for (LWItemID notABone : {lw(object), LWItemID{LWITEM_NULL}}) {
    m[3] = 9;
    EXPECT_EQ(vorrik::boneToSkeleton(m, *host, notABone).e, kIdentity);
    m[3] = 9;
    EXPECT_EQ(vorrik::skeletonToBone(m, *host, notABone).e, kIdentity);
  }
}

TEST(BoneChainParent, ChildTipInSkeletonAndParentFrames) {
  testing_support::ToolHarness harness;
  standin::Scene& scene = harness.scene();
  const ItemId object = scene.addObject("Rig");
  const ItemId p = addBone(scene, object, object, {{}, {HALF_PI, 0, 0}, {}, {}});
  const ItemId q = addBone(scene, object, p, {{0, 0, 4}, {}, {}, {}, 2});
  BoundHost host(harness.standIn());

  Vec3 tip;
  expectNear(vorrik::childTipInBone(tip, *host, lw(object), lw(q)), {6, 0, 0}, 1e-15, "skeleton");
  expectNear(vorrik::childTipInBone(tip, *host, LWITEM_NULL, lw(q)), {6, 0, 0}, 1e-15, "null");
  expectNear(vorrik::childTipInBone(tip, *host, lw(p), lw(q)), {0, 0, 6}, 1e-15, "in P");
}

TEST(BoneChainParent, ReadsTheHostAtItsCurrentTimeOnEveryCall) {
  testing_support::ToolHarness harness;
  standin::Scene& scene = harness.scene();
  const ItemId object = scene.addObject("Rig");
  const ItemId p = addBone(scene, object, object, {});
  const ItemId q = addBone(scene, object, p, {{0, 0, 1}, {}, {}, {}});
  scene.createKey(q, 0);
  scene.setPosition(q, {0, 0, 3});
  scene.createKey(q, 1);
  scene.setTime(0);
  BoundHost host(harness.standIn());

  Vec3 tip;
  expectNear(vorrik::childTipInBone(tip, *host, LWITEM_NULL, lw(q)), {0, 0, 2}, 1e-15, "time 0");
  harness.standIn().interfaceTable().curTime = 0.5;
  expectNear(vorrik::childTipInBone(tip, *host, LWITEM_NULL, lw(q)), {0, 0, 3}, 1e-15, "time 0.5");
  scene.setRotation(p, {HALF_PI, 0, 0});
  expectNear(vorrik::childTipInBone(tip, *host, LWITEM_NULL, lw(q)), {3, 0, 0}, 1e-15, "turned");
}

// A random tree of bones under an object at the origin, every value random but scale 1.
std::vector<ItemId> randomTree(standin::Scene& scene, ItemId object, std::mt19937_64& random,
                               int count) {
  std::uniform_real_distribution<double> offset(-3, 3), angle(-4, 4), length(0.1, 3);
  std::vector<ItemId> bones;
  for (int n = 0; n < count; ++n) {
    const ItemId parent =
        bones.empty() || random() % 5 == 0 ? object : bones[random() % bones.size()];
    BoneValues v;
    for (int i = 0; i < 3; ++i) {
      v.position[i] = offset(random);
      v.rotation[i] = angle(random);
      v.pivot[i] = offset(random);
      v.pivotRotation[i] = angle(random);
    }
    v.restLength = length(random);
    bones.push_back(addBone(scene, object, parent, v));
  }
  return bones;
}

TEST(BoneChainRandom, AgreesWithTheScenesOwnWorldPlacement) {
  std::mt19937_64 random(7031);
  testing_support::ToolHarness harness;
  standin::Scene& scene = harness.scene();
  const ItemId object = scene.addObject("Rig");
  const std::vector<ItemId> bones = randomTree(scene, object, random, 150);
  BoundHost host(harness.standIn());

  for (std::size_t n = 0; n < bones.size(); ++n) {
    const std::string what = "bone " + std::to_string(n);
    Matrix4 toSkeleton, toBone, product;
    vorrik::boneToSkeleton(toSkeleton, *host, lw(bones[n]));
    vorrik::skeletonToBone(toBone, *host, lw(bones[n]));
    expectNear(toSkeleton, scene.worldMatrix(bones[n]), 1e-9, what);
    expectNear(vorrik::matMultiply(product, toBone, toSkeleton), kIdentity, 1e-9, what);

    const ItemId a = bones[random() % bones.size()];
    const standin::Vec3 expected = standin::transformPoint(
        standin::inverseAffine(scene.worldMatrix(a)), scene.worldTip(bones[n]));
    Vec3 tip;
    expectNear(vorrik::childTipInBone(tip, *host, lw(a), lw(bones[n])), expected, 1e-9, what);
  }
}

TEST(BoneChainRandom, ScalingChangesNothing) {
  std::mt19937_64 random(911);
  testing_support::ToolHarness harness;
  standin::Scene& scene = harness.scene();
  const ItemId object = scene.addObject("Rig");
  const std::vector<ItemId> bones = randomTree(scene, object, random, 40);
  BoundHost host(harness.standIn());

  auto results = [&] {
    std::vector<std::array<double, 16>> all;
    Matrix4 m;
    Vec3 tip;
    for (ItemId bone : bones) {
      all.push_back(vorrik::boneToSkeleton(m, *host, lw(bone)).e);
      all.push_back(vorrik::skeletonToBone(m, *host, lw(bone)).e);
      vorrik::childTipInBone(tip, *host, lw(bones.front()), lw(bone));
      all.push_back({tip[0], tip[1], tip[2]});
    }
    return all;
  };
  const auto before = results();
  for (ItemId bone : bones) scene.setScale(bone, {2, 0.5, 3});
  EXPECT_EQ(results(), before);
}

TEST(BoneChainDeep, HundredThousandBonesWalkedWithoutRecursion) {
  // Each bone one unit ahead of its parent and turned a little: the chain closes into a
  // circle, so the last tip lies one rest length along +Z from the start.
  constexpr int kBones = 100000;
  testing_support::ToolHarness harness;
  standin::Scene& scene = harness.scene();
  const ItemId object = scene.addObject("Rig");
  ItemId last = object;
  for (int n = 0; n < kBones; ++n) {
    last = addBone(scene, object, last, {{0, 0, 1}, {2 * vorrik::PI / kBones, 0, 0}, {}, {}, 0.5});
  }
  BoundHost host(harness.standIn());

  Matrix4 toSkeleton, toBone, product;
  const auto start = std::chrono::steady_clock::now();
  vorrik::boneToSkeleton(toSkeleton, *host, lw(last));
  const auto middle = std::chrono::steady_clock::now();
  vorrik::skeletonToBone(toBone, *host, lw(last));
  const auto end = std::chrono::steady_clock::now();
  using ms = std::chrono::duration<double, std::milli>;
  std::printf("100000 bones: boneToSkeleton %.1f ms, skeletonToBone %.1f ms\n",
              ms(middle - start).count(), ms(end - middle).count());

  expectNear(applied(toSkeleton, {0, 0, 0.5}), {0, 0, 0.5}, 1e-6, "tip");
  expectNear(applied(toSkeleton, {0, 0, 0.5}), scene.worldTip(last), 1e-6, "tip");
  expectNear(vorrik::matMultiply(product, toBone, toSkeleton), kIdentity, 1e-6, "inverse");
}

}  // namespace
