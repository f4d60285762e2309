#include "standin/scene/scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace standin {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180;

// Elementary matrices written out from Layout's conventions, independent of the scene's
// own helpers so that the two can be checked against each other.
Mat4 one() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }
Mat4 rx(double a) {
  Mat4 m = one();
  m[5] = std::cos(a), m[6] = -std::sin(a), m[9] = std::sin(a), m[10] = std::cos(a);
  return m;
}
Mat4 ry(double a) {
  Mat4 m = one();
  m[0] = std::cos(a), m[2] = std::sin(a), m[8] = -std::sin(a), m[10] = std::cos(a);
  return m;
}
Mat4 rz(double a) {
  Mat4 m = one();
  m[0] = std::cos(a), m[1] = -std::sin(a), m[4] = std::sin(a), m[5] = std::cos(a);
  return m;
}
Mat4 shift(const Vec3& v) {
  Mat4 m = one();
  m[3] = v[0], m[7] = v[1], m[11] = v[2];
  return m;
}
Mat4 grow(const Vec3& v) {
  Mat4 m = one();
  m[0] = v[0], m[5] = v[1], m[10] = v[2];
  return m;
}
Mat4 mul(const Mat4& a, const Mat4& b) {
  Mat4 r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k) r[4 * i + j] += a[4 * i + k] * b[4 * k + j];
  return r;
}
Mat4 hpb(const Vec3& a) { return mul(mul(ry(a[0]), rx(a[1])), rz(a[2])); }

// The local matrix as Layout composes it, from the item's stored values.
Mat4 expectedLocal(const Item& item) {
  Vec3 negPivot{-item.pivot[0], -item.pivot[1], -item.pivot[2]};
  return mul(mul(mul(mul(shift(item.position()), hpb(item.rotation())), hpb(item.pivotRotation)),
                 grow(item.scale())),
             shift(negPivot));
}

Mat4 expectedWorld(const Scene& scene, ItemId id) {
  Mat4 w = one();
  for (ItemId at = id; at != 0; at = scene.parentOf(at)) w = mul(expectedLocal(*scene.find(at)), w);
  return w;
}

::testing::AssertionResult near(const Mat4& a, const Mat4& b, double tolerance) {
  for (int i = 0; i < 16; ++i) {
    if (!(std::fabs(a[i] - b[i]) <= tolerance)) {
      return ::testing::AssertionFailure() << "element " << i << ": " << a[i] << " vs " << b[i];
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult near(const Vec3& a, const Vec3& b, double tolerance) {
  for (int i = 0; i < 3; ++i) {
    if (!(std::fabs(a[i] - b[i]) <= tolerance)) {
      return ::testing::AssertionFailure()
             << "(" << a[0] << ", " << a[1] << ", " << a[2] << ") vs (" << b[0] << ", " << b[1]
             << ", " << b[2] << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

std::vector<ItemId> listed(const Scene& scene, ItemType type, ItemId object = 0) {
  std::vector<ItemId> ids;
  for (ItemId id = scene.first(type, object); id != 0; id = scene.next(id)) ids.push_back(id);
  return ids;
}

std::vector<ItemId> children(const Scene& scene, ItemId parent) {
  std::vector<ItemId> ids;
  for (ItemId id = scene.firstChild(parent); id != 0; id = scene.nextChild(parent, id)) {
    ids.push_back(id);
  }
  return ids;
}

// --- ids ---

TEST(SceneIds, FollowLayoutsForm) {
  Scene scene;
  ItemId object0 = scene.addObject("a");
  ItemId light0 = scene.addLight("l0");
  ItemId object1 = scene.addObject("b");
  ItemId light1 = scene.addLight("l1");
  ItemId camera0 = scene.addCamera("c0");
  ItemId camera1 = scene.addCamera("c1");
  ItemId bone00 = scene.addBone(object0, object0, "b00");
  ItemId bone01 = scene.addBone(object0, bone00, "b01");
  ItemId bone10 = scene.addBone(object1, object1, "b10");
  ItemId bone02 = scene.addBone(object0, object0, "b02");
  ItemId bone11 = scene.addBone(object1, bone10, "b11");

  const struct {
    ItemId id;
    const char* text;
    ItemType type;
  } cases[] = {
      {object0, "10000000", ItemType::Object}, {object1, "10000001", ItemType::Object},
      {light0, "20000000", ItemType::Light},   {light1, "20000001", ItemType::Light},
      {camera0, "30000000", ItemType::Camera}, {camera1, "30000001", ItemType::Camera},
      {bone00, "40000000", ItemType::Bone},    {bone01, "40010000", ItemType::Bone},
      {bone02, "40020000", ItemType::Bone},    {bone10, "40000001", ItemType::Bone},
      {bone11, "40010001", ItemType::Bone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(idText(c.id), c.text);
    EXPECT_EQ(scene.typeOf(c.id), static_cast<int>(c.type)) << c.text;
  }
  EXPECT_EQ(scene.validate(), "");
}

TEST(SceneIds, BonesPastTheFormStayUniqueAndNeverZero) {
  Scene scene;
  ItemId object = scene.addObject("rig");
  std::set<ItemId> ids{object};
  ItemId last = 0;
  for (int i = 0; i < 4100; ++i) {
    last = scene.addBone(object, object, "b");
    ASSERT_NE(last, 0u);
    ASSERT_TRUE(ids.insert(last).second) << "repeated id " << idText(last);
  }
  EXPECT_EQ(idText(scene.first(ItemType::Bone, object)), "40000000");
  // Bone 4095 is the last one Layout's form can hold.
  ItemId b = scene.first(ItemType::Bone, object);
  for (int i = 0; i < 4095; ++i) b = scene.next(b);
  EXPECT_EQ(idText(b), "4fff0000");
  EXPECT_EQ(scene.typeOf(last), static_cast<int>(ItemType::Bone));

  // Items made afterwards never collide with the overflow ids.
  ids.insert(scene.addObject("later"));
  ids.insert(scene.addLight("later"));
  ids.insert(scene.addBone(object, object, "later"));
  EXPECT_EQ(ids.size(), 4104u);
  EXPECT_EQ(scene.validate(), "");
}

TEST(SceneIds, ObjectsPastSixteenBitsGiveTheirBonesOverflowIds) {
  Scene scene;
  ItemId object = 0;
  for (int i = 0; i <= 0x10000; ++i) object = scene.addObject("o");
  EXPECT_EQ(idText(object), "10010000");
  ItemId bone = scene.addBone(object, object, "b");
  ASSERT_NE(bone, 0u);
  // 0x40000000 | 0x10000 would read as bone 1 of object 0.
  EXPECT_NE(bone, 0x40010000u);
  scene.addBone(0x10000000, 0x10000000, "x");
  ItemId firstObjectsSecondBone = scene.addBone(0x10000000, 0x10000000, "y");
  EXPECT_EQ(firstObjectsSecondBone, 0x40010000u);
  EXPECT_NE(bone, firstObjectsSecondBone);
}

TEST(SceneIds, RemovedIdsStayDeadAndAreNotReused) {
  Scene scene;
  ItemId object = scene.addObject("o");
  ItemId b0 = scene.addBone(object, object, "b0");
  ItemId b1 = scene.addBone(object, object, "b1");
  ItemId light = scene.addLight("l");
  scene.remove(b1);
  scene.remove(light);
  for (ItemId dead : {b1, light}) {
    EXPECT_EQ(scene.typeOf(dead), kNoItemType);
    EXPECT_EQ(scene.find(dead), nullptr);
  }
  EXPECT_EQ(idText(scene.addBone(object, object, "b2")), "40020000");
  EXPECT_EQ(idText(scene.addLight("l2")), "20000001");
  scene.remove(object);
  EXPECT_EQ(scene.typeOf(b0), kNoItemType);
  EXPECT_EQ(idText(scene.addObject("o2")), "10000001");
  EXPECT_EQ(scene.itemCount(), 2u);
  EXPECT_EQ(scene.validate(), "");
}

// --- listing ---

TEST(SceneListing, KindsAndBonesPerObject) {
  Scene scene;
  ItemId o0 = scene.addObject("o0");
  ItemId l0 = scene.addLight("l0");
  ItemId o1 = scene.addObject("o1");
  ItemId c0 = scene.addCamera("c0");
  ItemId b00 = scene.addBone(o0, o0, "b00");
  ItemId b10 = scene.addBone(o1, o1, "b10");
  ItemId b01 = scene.addBone(o0, b00, "b01");
  EXPECT_EQ(listed(scene, ItemType::Object), (std::vector<ItemId>{o0, o1}));
  EXPECT_EQ(listed(scene, ItemType::Object, o1), (std::vector<ItemId>{o0, o1}));
  EXPECT_EQ(listed(scene, ItemType::Light), (std::vector<ItemId>{l0}));
  EXPECT_EQ(listed(scene, ItemType::Camera), (std::vector<ItemId>{c0}));
  EXPECT_EQ(listed(scene, ItemType::Bone, o0), (std::vector<ItemId>{b00, b01}));
  EXPECT_EQ(listed(scene, ItemType::Bone, o1), (std::vector<ItemId>{b10}));
  EXPECT_EQ(scene.first(ItemType::Bone, l0), 0u);
  EXPECT_EQ(scene.first(ItemType::Bone, b00), 0u);
  EXPECT_EQ(scene.allItems(), (std::vector<ItemId>{o0, l0, o1, c0, b00, b10, b01}));

  scene.remove(b00);  // takes b01 along
  EXPECT_EQ(listed(scene, ItemType::Bone, o0), std::vector<ItemId>{});
  EXPECT_EQ(scene.next(b00), 0u);
}

TEST(SceneListing, InsertNewBonesAt) {
  const struct {
    long at;
    std::vector<int> order;  // creation numbers of the bones in listing order
  } cases[] = {
      {-1, {0, 1, 2, 3}}, {0, {3, 2, 1, 0}}, {1, {0, 3, 2, 1}},
      {2, {0, 1, 3, 2}},  {3, {0, 1, 2, 3}}, {99, {0, 1, 2, 3}},
  };
  for (const auto& c : cases) {
    Scene scene;
    ItemId object = scene.addObject("o");
    scene.insertNewBonesAt = c.at;
    std::vector<ItemId> made;
    for (int i = 0; i < 4; ++i) made.push_back(scene.addBone(object, object, "b"));
    std::vector<ItemId> want;
    for (int n : c.order) want.push_back(made[static_cast<std::size_t>(n)]);
    EXPECT_EQ(listed(scene, ItemType::Bone, object), want) << "insert at " << c.at;
    EXPECT_EQ(scene.validate(), "") << "insert at " << c.at;
  }
}

TEST(SceneListing, ChildOrderIsOrderOfBecomingAChild) {
  Scene scene;
  ItemId o = scene.addObject("o");
  ItemId a = scene.addBone(o, o, "a");
  ItemId b = scene.addBone(o, o, "b");
  ItemId c = scene.addBone(o, o, "c");
  ItemId light = scene.addLight("l");
  ASSERT_TRUE(scene.setParent(light, o, false));
  EXPECT_EQ(children(scene, o), (std::vector<ItemId>{a, b, c, light}));
  ASSERT_TRUE(scene.setParent(a, c, false));
  ASSERT_TRUE(scene.setParent(a, o, false));  // back again: now last
  EXPECT_EQ(children(scene, o), (std::vector<ItemId>{b, c, light, a}));
  ASSERT_TRUE(scene.setParent(b, o, false));  // already there: stays put
  EXPECT_EQ(children(scene, o), (std::vector<ItemId>{b, c, light, a}));
  EXPECT_EQ(scene.nextChild(c, light), 0u);  // not c's child
  EXPECT_EQ(scene.nextChild(o, 0x4fffffff), 0u);
  EXPECT_EQ(scene.validate(), "");
}

// --- hierarchy ---

TEST(SceneParent, Refusals) {
  const ItemId kObject = 0x10000000, kOther = 0x10000001, kLight = 0x20000000;
  const ItemId kRoot = 0x40000000, kChild = 0x40010000, kGrandchild = 0x40020000,
               kOtherBone = 0x40000001;
  const struct {
    const char* name;
    ItemId item, parent;
  } cases[] = {
      {"unknown item", 0x40070000, kObject},
      {"unknown parent", kLight, 0x10000009},
      {"item to itself", kLight, kLight},
      {"bone to itself", kRoot, kRoot},
      {"bone under its own descendant", kRoot, kGrandchild},
      {"object under its own bone", kObject, kChild},
      {"object under a light hanging from it", kObject, kLight},
      {"bone to another object's bone", kChild, kOtherBone},
      {"bone to another object", kChild, kOther},
      {"bone to a light", kChild, kLight},
      {"bone to nothing", kChild, 0},
  };
  for (const auto& c : cases) {
    for (bool inPlace : {false, true}) {
      Scene scene;
      scene.addObject("o");
      scene.addObject("other");
      scene.addLight("l");
      scene.addBone(kObject, kObject, "root");
      scene.addBone(kObject, kRoot, "child");
      scene.addBone(kObject, kChild, "grandchild");
      scene.addBone(kOther, kOther, "other bone");
      ASSERT_TRUE(scene.setParent(kLight, kObject, false));
      scene.setRotation(kRoot, {0.5, 0.25, 0});
      const Item before = *scene.find(kRoot);
      const std::vector<ItemId> rootChildren = children(scene, kObject);

      std::string why;
      EXPECT_FALSE(scene.setParent(c.item, c.parent, inPlace, &why)) << c.name;
      EXPECT_FALSE(why.empty()) << c.name;
      EXPECT_EQ(scene.parentOf(kRoot), kObject) << c.name;
      EXPECT_EQ(scene.parentOf(kChild), kRoot) << c.name;
      EXPECT_EQ(scene.parentOf(kObject), 0u) << c.name;
      EXPECT_EQ(scene.find(kRoot)->current, before.current) << c.name;
      EXPECT_EQ(children(scene, kObject), rootChildren) << c.name;
      EXPECT_EQ(scene.validate(), "") << c.name;
    }
  }
}

TEST(SceneParent, AllowedMoves) {
  Scene scene;
  ItemId o = scene.addObject("o"), other = scene.addObject("other");
  ItemId root = scene.addBone(o, o, "root"), child = scene.addBone(o, root, "child");
  ItemId otherBone = scene.addBone(other, other, "ob");
  ItemId light = scene.addLight("l"), camera = scene.addCamera("c");
  EXPECT_TRUE(scene.setParent(child, o, true));      // bone up to its object
  EXPECT_TRUE(scene.setParent(root, child, true));   // and the old parent below it
  EXPECT_TRUE(scene.setParent(o, otherBone, true));  // object under another's bone
  EXPECT_TRUE(scene.setParent(light, root, true));   // light under a bone
  EXPECT_TRUE(scene.setParent(camera, light, true));
  EXPECT_TRUE(scene.setParent(camera, 0, true));
  EXPECT_EQ(scene.parentOf(root), child);
  EXPECT_EQ(scene.parentOf(o), otherBone);
  EXPECT_EQ(scene.parentOf(camera), 0u);
  EXPECT_EQ(scene.validate(), "");
}

struct PlacementCase {
  const char* name;
  // Builds a scene and returns {item, new parent}.
  std::function<std::pair<ItemId, ItemId>(Scene&)> build;
};

TEST(SceneParent, InPlaceKeepsTheWorldPlacement) {
  auto pose = [](Scene& s, ItemId id, Vec3 pos, Vec3 rotDeg) {
    s.setPosition(id, pos);
    s.setRotation(id, {rotDeg[0] * kDeg, rotDeg[1] * kDeg, rotDeg[2] * kDeg});
  };
  const PlacementCase cases[] = {
      {"object under a rotated object",
       [&](Scene& s) {
         ItemId a = s.addObject("a"), b = s.addObject("b");
         pose(s, a, {1, 2, 3}, {30, 20, 10});
         pose(s, b, {-4, 5, 0.5}, {-70, 15, 110});
         return std::make_pair(b, a);
       }},
      {"pivoted item with pivot rotation",
       [&](Scene& s) {
         ItemId a = s.addObject("a"), b = s.addLight("b");
         pose(s, a, {0, 1, 0}, {45, 0, 0});
         pose(s, b, {2, 0, 0}, {10, 80, -30});
         s.find(b)->pivot = {0.3, -0.2, 1.5};
         s.find(b)->pivotRotation = {20 * kDeg, -10 * kDeg, 5 * kDeg};
         s.setScale(b, {2, 0.5, 1.5});
         s.find(a)->pivot = {1, 1, 1};
         s.find(a)->pivotRotation = {0, 33 * kDeg, 0};
         return std::make_pair(b, a);
       }},
      {"nested chain to a deep new parent",
       [&](Scene& s) {
         ItemId o = s.addObject("o");
         ItemId r = s.addBone(o, o, "r"), m = s.addBone(o, r, "m"), t = s.addBone(o, m, "t");
         ItemId side = s.addBone(o, o, "side");
         pose(s, o, {1, 1, 1}, {90, 0, 0});
         pose(s, r, {0, 0, 1}, {0, 40, 0});
         pose(s, m, {0, 0, 1}, {25, -35, 60});
         pose(s, t, {0, 0, 1}, {-5, 12, 7});
         pose(s, side, {0.5, 0.2, 0}, {170, 60, -120});
         return std::make_pair(side, t);
       }},
      {"up to its grandparent past a pivoted bone",
       [&](Scene& s) {
         ItemId o = s.addObject("o");
         ItemId r = s.addBone(o, o, "r"), m = s.addBone(o, r, "m"), t = s.addBone(o, m, "t");
         pose(s, o, {1, 1, 1}, {90, 0, 0});
         pose(s, r, {0, 0, 1}, {0, 40, 0});
         pose(s, m, {0, 0.3, 1}, {25, -35, 60});
         s.find(m)->pivot = {0.1, 0, 0.4};
         s.find(m)->pivotRotation = {0, 15 * kDeg, 0};
         pose(s, t, {0, 0, 1}, {-5, 12, 7});
         return std::make_pair(t, r);
       }},
      {"up a long chain to its object",
       [&](Scene& s) {
         ItemId o = s.addObject("o");
         pose(s, o, {0, 2, 0}, {10, 0, 0});
         ItemId b = o;
         for (int i = 0; i < 12; ++i) {
           b = s.addBone(o, b, "b");
           pose(s, b, {0.1 * i, 0, 1}, {7.0 * i, -3.0 * i, 11});
         }
         return std::make_pair(b, o);
       }},
      {"out of a hierarchy to no parent",
       [&](Scene& s) {
         ItemId a = s.addObject("a"), b = s.addObject("b");
         pose(s, a, {3, 0, 0}, {0, 0, 90});
         s.setParent(b, a, false);
         pose(s, b, {1, 1, 0}, {15, 25, 35});
         return std::make_pair(b, ItemId{0});
       }},
      {"looking straight down (pitch 90)",
       [&](Scene& s) {
         ItemId a = s.addObject("a"), b = s.addObject("b");
         pose(s, a, {0, 0, 0}, {30, 0, 0});
         pose(s, b, {1, 2, 3}, {75, 90, 0});
         return std::make_pair(b, a);
       }},
      {"pitch -90 under a banked parent",
       [&](Scene& s) {
         ItemId a = s.addObject("a"), b = s.addObject("b");
         pose(s, a, {1, 0, 0}, {0, 0, 40});
         pose(s, b, {0, 2, 0}, {0, -90, 0});
         return std::make_pair(b, a);
       }},
  };
  for (const auto& c : cases) {
    Scene scene;
    auto [item, parent] = c.build(scene);
    const Mat4 before = scene.worldMatrix(item);
    const Item stored = *scene.find(item);
    ASSERT_TRUE(near(before, expectedWorld(scene, item), 1e-12)) << c.name;
    ASSERT_TRUE(scene.setParent(item, parent, true)) << c.name;
    EXPECT_EQ(scene.parentOf(item), parent) << c.name;
    EXPECT_TRUE(near(scene.worldMatrix(item), before, 1e-9)) << c.name;
    EXPECT_TRUE(near(expectedWorld(scene, item), before, 1e-9)) << c.name;
    const Item& now = *scene.find(item);
    EXPECT_EQ(now.scale(), stored.scale()) << c.name;
    EXPECT_EQ(now.pivot, stored.pivot) << c.name;
    EXPECT_EQ(now.pivotRotation, stored.pivotRotation) << c.name;
    EXPECT_EQ(scene.validate(), "") << c.name;
  }
}

// Scale is not carried over by parenting in place, so under a scaled parent only the
// origin and the axis directions can stay.
TEST(SceneParent, InPlaceUnderUniformScaleKeepsOriginAndDirections) {
  const struct {
    const char* name;
    bool intoScaled;  // moved under the scaled item, or out from under it
  } cases[] = {{"into", true}, {"out of", false}};
  for (const auto& c : cases) {
    Scene scene;
    ItemId a = scene.addObject("a"), b = scene.addObject("b");
    scene.setPosition(a, {0, 4, 0});
    scene.setRotation(a, {0.2, 0.4, 0.6});
    scene.setScale(a, {3, 3, 3});
    if (!c.intoScaled) scene.setParent(b, a, false);
    scene.setPosition(b, {1, 0, 2});
    scene.setRotation(b, {-0.7, 0.1, 1.2});
    const Vec3 origin = scene.worldOrigin(b);
    std::vector<Vec3> axes;
    for (int p : {kWorldRight, kWorldUp, kWorldForward}) axes.push_back(scene.param(b, p, 0));
    ASSERT_TRUE(scene.setParent(b, c.intoScaled ? a : 0, true)) << c.name;
    EXPECT_TRUE(near(scene.worldOrigin(b), origin, 1e-9)) << c.name;
    int k = 0;
    for (int p : {kWorldRight, kWorldUp, kWorldForward}) {
      EXPECT_TRUE(near(scene.param(b, p, 0), axes[static_cast<std::size_t>(k++)], 1e-9))
          << c.name << " param " << p;
    }
  }
}

TEST(SceneParent, WithoutInPlaceTheStoredValuesStay) {
  Scene scene;
  ItemId a = scene.addObject("a"), b = scene.addObject("b");
  scene.setPosition(a, {5, 0, 0});
  scene.setRotation(a, {1, 0, 0});
  scene.setPosition(b, {1, 2, 3});
  scene.setRotation(b, {0.1, 0.2, 0.3});
  Item before = *scene.find(b);
  ASSERT_TRUE(scene.setParent(b, a, false));
  EXPECT_EQ(scene.find(b)->current, before.current);
  // So the world placement follows the parent.
  EXPECT_TRUE(near(scene.worldOrigin(b), transformPoint(scene.worldMatrix(a), {1, 2, 3}), 1e-12));
}

TEST(SceneParent, InPlaceLeavesKeysAndRestValues) {
  Scene scene;
  ItemId o = scene.addObject("o");
  ItemId a = scene.addBone(o, o, "a"), b = scene.addBone(o, o, "b");
  scene.setRotation(a, {0, 1, 0});
  scene.setPosition(b, {0, 1, 0});
  scene.createKey(b, 0);
  scene.find(b)->restPosition = {4, 5, 6};
  scene.find(b)->restRotation = {0.4, 0.5, 0.6};
  const Item before = *scene.find(b);
  ASSERT_TRUE(scene.setParent(b, a, true));
  const Item& now = *scene.find(b);
  EXPECT_NE(now.current, before.current);
  EXPECT_EQ(now.keys[kPosY].size(), 1u);
  EXPECT_EQ(now.keys[kPosY][0].value, 1);
  EXPECT_EQ(now.restPosition, before.restPosition);
  EXPECT_EQ(now.restRotation, before.restRotation);
}

TEST(SceneParent, InPlaceUnderShearingOrFlatParentsStaysFinite) {
  const struct {
    const char* name;
    Vec3 parentScale;
  } cases[] = {{"non-uniform", {1, 4, 0.25}}, {"flat", {1, 0, 1}}, {"mirrored", {-1, 1, 1}}};
  for (const auto& c : cases) {
    Scene scene;
    ItemId a = scene.addObject("a"), b = scene.addObject("b");
    scene.setRotation(a, {0.3, 0.2, 0.1});
    scene.setScale(a, c.parentScale);
    scene.setRotation(b, {1.1, -0.4, 0.7});
    scene.setPosition(b, {1, 2, 3});
    ASSERT_TRUE(scene.setParent(b, a, true)) << c.name;
    EXPECT_EQ(scene.validate(), "") << c.name;
  }
}

// --- removal ---

TEST(SceneRemove, TakesBonesBelowAndRehomesOthers) {
  Scene scene;
  ItemId holder = scene.addObject("holder");
  ItemId o = scene.addObject("o");
  ItemId root = scene.addBone(o, o, "root");
  ItemId mid = scene.addBone(o, root, "mid");
  ItemId tip = scene.addBone(o, mid, "tip");
  ItemId side = scene.addBone(o, o, "side");
  ItemId light = scene.addLight("l");
  ItemId rider = scene.addObject("rider");
  ItemId riderBone = scene.addBone(rider, rider, "rb");
  ASSERT_TRUE(scene.setParent(o, holder, false));
  ASSERT_TRUE(scene.setParent(light, tip, false));
  ASSERT_TRUE(scene.setParent(rider, mid, false));
  scene.setPosition(light, {7, 8, 9});
  scene.select(side);
  scene.addToSelection(tip);
  scene.addToSelection(light);

  scene.remove(mid);
  for (ItemId gone : {mid, tip}) EXPECT_EQ(scene.typeOf(gone), kNoItemType);
  EXPECT_EQ(children(scene, root), (std::vector<ItemId>{rider, light}));
  EXPECT_EQ(scene.parentOf(light), root);
  EXPECT_EQ(scene.find(light)->position(), (Vec3{7, 8, 9}));
  EXPECT_EQ(scene.parentOf(riderBone), rider);  // another object's bones stay with it
  EXPECT_EQ(scene.selection(), (std::vector<ItemId>{side, light}));
  EXPECT_EQ(scene.validate(), "");

  scene.remove(o);  // all its bones, wherever they hang
  for (ItemId gone : {o, root, side}) EXPECT_EQ(scene.typeOf(gone), kNoItemType);
  EXPECT_EQ(children(scene, holder), (std::vector<ItemId>{rider, light}));
  EXPECT_EQ(scene.parentOf(rider), holder);
  EXPECT_EQ(scene.selection(), (std::vector<ItemId>{light}));
  EXPECT_EQ(scene.itemCount(), 4u);
  EXPECT_EQ(scene.validate(), "");

  scene.remove(holder);
  EXPECT_EQ(scene.parentOf(rider), 0u);
  EXPECT_EQ(scene.parentOf(light), 0u);
  EXPECT_EQ(scene.validate(), "");
  scene.remove(holder);  // dead already: nothing happens
  EXPECT_EQ(scene.itemCount(), 3u);
}

// --- motion ---

TEST(SceneMotion, ChannelsBetweenAndOutsideKeys) {
  Scene scene;
  ItemId o = scene.addObject("o");
  scene.setPosition(o, {0, 10, 0});
  scene.createKey(o, 1);
  scene.setPosition(o, {4, 20, 0});
  scene.createKey(o, 3);
  scene.setPosition(o, {4, 20, 8});  // no key at this value

  const struct {
    double time;
    Vec3 position;
  } cases[] = {
      {-5, {0, 10, 0}}, {1, {0, 10, 0}}, {1.5, {1, 12.5, 0}},
      {2, {2, 15, 0}},  {3, {4, 20, 0}}, {9, {4, 20, 0}},
  };
  for (const auto& c : cases) {
    scene.setTime(c.time);
    EXPECT_TRUE(near(scene.find(o)->position(), c.position, 1e-12)) << "t=" << c.time;
    EXPECT_EQ(scene.time(), c.time);
  }
}

TEST(SceneMotion, SetTimeLeavesUnkeyedChannelsAndItems) {
  Scene scene;
  ItemId keyed = scene.addObject("k"), loose = scene.addObject("l");
  scene.setPosition(keyed, {1, 1, 1});
  scene.createKey(keyed, 0);
  scene.setPosition(keyed, {3, 3, 3});
  scene.createKey(keyed, 2);
  scene.find(keyed)->keys[kScaleY].clear();  // one channel without keys
  scene.setScale(keyed, {1, 5, 1});
  scene.setPosition(loose, {9, 9, 9});
  scene.setTime(1);
  EXPECT_EQ(scene.find(keyed)->position(), (Vec3{2, 2, 2}));
  EXPECT_EQ(scene.find(keyed)->scale(), (Vec3{1, 5, 1}));
  EXPECT_EQ(scene.find(loose)->position(), (Vec3{9, 9, 9}));
}

TEST(SceneMotion, CreateAndDeleteKeys) {
  Scene scene;
  ItemId o = scene.addObject("o");
  scene.setPosition(o, {1, 0, 0});
  scene.createKey(o, 2);
  scene.setPosition(o, {5, 0, 0});
  scene.createKey(o, 0);
  scene.createKey(o, 2);  // same time: updated, not doubled
  const Item& item = *scene.find(o);
  ASSERT_EQ(item.keys[kPosX].size(), 2u);
  EXPECT_EQ(item.keys[kPosX][0].time, 0);
  EXPECT_EQ(item.keys[kPosX][1].value, 5);
  for (int c = 0; c < kChannelCount; ++c) EXPECT_EQ(item.keys[c].size(), 2u) << c;
  EXPECT_EQ(item.keys[kScaleZ][0].value, 1);

  EXPECT_FALSE(scene.deleteKey(o, 1.9999));  // a tenth of a millisecond away: another time
  EXPECT_TRUE(scene.deleteKey(o, 2));
  EXPECT_FALSE(scene.deleteKey(o, 2));
  EXPECT_EQ(item.keys[kHeading].size(), 1u);
  EXPECT_TRUE(scene.deleteKey(o, 0));
  EXPECT_FALSE(item.hasKeys());
  EXPECT_EQ(item.position(), (Vec3{5, 0, 0}));
}

TEST(SceneMotion, ParamAtOtherTimes) {
  Scene scene;
  ItemId parent = scene.addObject("p"), child = scene.addObject("c");
  ASSERT_TRUE(scene.setParent(child, parent, false));
  scene.setPosition(parent, {0, 0, 0});
  scene.createKey(parent, 0);
  scene.setPosition(parent, {10, 0, 0});
  scene.setRotation(parent, {90 * kDeg, 0, 0});
  scene.createKey(parent, 1);
  scene.setTime(0);
  scene.setPosition(child, {0, 0, 1});  // unkeyed: the same at every time
  scene.setScale(parent, {2, 2, 2});    // changed after keying, not yet re-keyed

  const struct {
    int which;
    double at;
    Vec3 want;
  } cases[] = {
      {kPosition, 0, {0, 0, 0}},      {kPosition, 0.5, {5, 0, 0}},
      {kPosition, 7, {10, 0, 0}},     {kRotation, 0.5, {45 * kDeg, 0, 0}},
      {kScaling, 0, {2, 2, 2}},       {kScaling, 0.5, {1, 1, 1}},  // keyed scale wins
      {kWorldPosition, 0, {0, 0, 2}}, {kWorldPosition, 1, {11, 0, 0}},
      {kPosition, -1, {0, 0, 0}},     {kForward, 1, {1, 0, 0}},
      {kWorldForward, 1, {1, 0, 0}},
  };
  for (const auto& c : cases) {
    ItemId id = c.which == kWorldPosition ? child : parent;
    EXPECT_TRUE(near(scene.param(id, c.which, c.at), c.want, 1e-12))
        << "param " << c.which << " at " << c.at;
  }
  EXPECT_TRUE(near(scene.param(child, kPosition, 0.5), {0, 0, 1}, 0));
  EXPECT_TRUE(near(scene.param(0x1000abcd, kPosition, 0), {0, 0, 0}, 0));
  EXPECT_TRUE(near(scene.param(child, 99, 0), {0, 0, 0}, 0));
  // The scene's time does not move.
  EXPECT_EQ(scene.time(), 0);
  EXPECT_EQ(scene.find(parent)->position(), (Vec3{0, 0, 0}));
}

TEST(SceneMotion, DirectionParams) {
  Scene scene;
  ItemId parent = scene.addObject("p"), item = scene.addObject("i");
  ASSERT_TRUE(scene.setParent(item, parent, false));
  scene.setRotation(parent, {0, 0, 90 * kDeg});  // bank: +X to +Y
  scene.setScale(parent, {1, 3, 1});
  scene.setRotation(item, {90 * kDeg, 0, 0});  // heading: +Z to +X
  scene.setScale(item, {5, 5, 5});
  scene.find(item)->pivot = {1, 2, 3};

  const struct {
    int which;
    Vec3 want;
  } cases[] = {
      {kRight, {0, 0, -1}},      {kUp, {0, 1, 0}},       {kForward, {1, 0, 0}},
      {kWorldRight, {0, 0, -1}}, {kWorldUp, {-1, 0, 0}}, {kWorldForward, {0, 1, 0}},
      {kPivot, {1, 2, 3}},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(near(scene.param(item, c.which, 0), c.want, 1e-12)) << "param " << c.which;
  }
}

// --- world placement ---

TEST(SceneWorld, ElementaryTurns) {
  const struct {
    const char* name;
    Vec3 rotationDeg;
    Vec3 in, out;
  } cases[] = {
      {"heading +90 turns +Z into +X", {90, 0, 0}, {0, 0, 1}, {1, 0, 0}},
      {"pitch +90 turns +Z into -Y", {0, 90, 0}, {0, 0, 1}, {0, -1, 0}},
      {"bank +90 turns +X into +Y", {0, 0, 90}, {1, 0, 0}, {0, 1, 0}},
      {"heading then pitch", {90, 90, 0}, {0, 0, 1}, {0, -1, 0}},
      {"bank applies first", {90, 0, 90}, {1, 0, 0}, {0, 1, 0}},
  };
  for (const auto& c : cases) {
    Vec3 r{c.rotationDeg[0] * kDeg, c.rotationDeg[1] * kDeg, c.rotationDeg[2] * kDeg};
    EXPECT_TRUE(near(rotationHPB(r), hpb(r), 1e-15)) << c.name;
    EXPECT_TRUE(near(transformPoint(rotationHPB(r), c.in), c.out, 1e-15)) << c.name;
  }
}

TEST(SceneWorld, ChainMatchesLayoutsComposition) {
  Scene scene;
  ItemId o = scene.addObject("o");
  ItemId a = scene.addBone(o, o, "a"), b = scene.addBone(o, a, "b");
  scene.setPosition(o, {1, -2, 3});
  scene.setRotation(o, {0.3, -0.2, 0.9});
  scene.setScale(o, {1, 2, 0.5});
  scene.find(o)->pivot = {0.5, 0.5, 0};
  scene.find(o)->pivotRotation = {0.1, 0.2, 0.3};
  scene.setPosition(a, {0, 0, 1});
  scene.setRotation(a, {-1, 0.5, 0});
  scene.setPosition(b, {0, 0, 2});
  scene.find(b)->pivot = {0.1, 0.2, 0.3};  // pivot without rotation or scale
  scene.find(b)->restLength = 2.5;
  EXPECT_TRUE(near(scene.worldMatrix(b), expectedWorld(scene, b), 1e-12));
  EXPECT_TRUE(near(scene.worldTip(b), transformPoint(expectedWorld(scene, b), {0, 0, 2.5}), 1e-12));
  Mat4 w = expectedWorld(scene, o);
  EXPECT_TRUE(near(scene.worldOrigin(o), {w[3], w[7], w[11]}, 1e-12));
  EXPECT_TRUE(near(scene.param(o, kWorldPosition, 0), {w[3], w[7], w[11]}, 1e-12));
}

TEST(SceneWorld, MatrixHelpers) {
  Mat4 m = mul(mul(shift({1, 2, 3}), hpb({0.4, -0.7, 2})), grow({2, 3, 0.5}));
  EXPECT_TRUE(near(multiply(m, inverseAffine(m)), one(), 1e-12));
  EXPECT_TRUE(near(multiply(inverseAffine(m), m), one(), 1e-12));
  EXPECT_TRUE(near(multiply(translation({1, 2, 3}), scaling({4, 5, 6})),
                   mul(shift({1, 2, 3}), grow({4, 5, 6})), 0));
  EXPECT_FALSE(std::isfinite(inverseAffine(grow({1, 0, 1}))[0]));
  EXPECT_EQ(idText(0x4001ffff), "4001ffff");
  EXPECT_EQ(idText(0x10), "10");
}

// --- names and selection ---

TEST(SceneNames, UniqueName) {
  const struct {
    std::vector<std::string> existing;
    std::string asked, given;
  } cases[] = {
      {{}, "Bone", "Bone"},
      {{"Bone"}, "Bone", "Bone (2)"},
      {{"Bone", "Bone (2)"}, "Bone", "Bone (3)"},
      {{"Bone", "Bone (3)"}, "Bone", "Bone (2)"},
      {{"Bone (2)"}, "Bone", "Bone"},
      {{"Bone", "Bone (02)", "Bone (x)"}, "Bone", "Bone (2)"},
      {{"bone"}, "Bone", "Bone"},
      {{"Bone (2)", "Bone (2)"}, "Bone (2)", "Bone (2) (2)"},
  };
  for (const auto& c : cases) {
    Scene scene;
    for (const std::string& n : c.existing) scene.addLight(n);
    EXPECT_EQ(scene.uniqueName(c.asked), c.given) << c.asked;
  }
  Scene scene;
  ItemId gone = scene.addObject("Bone");
  scene.addObject("Bone (2)");
  scene.remove(gone);  // a removed item's name is free again
  EXPECT_EQ(scene.uniqueName("Bone"), "Bone");
  EXPECT_EQ(scene.findByName("Bone (2)"), 0x10000001u);
  EXPECT_EQ(scene.findByName("Bone"), 0u);
}

TEST(SceneSelection, OrderAndCurrentItem) {
  Scene scene;
  ItemId a = scene.addObject("a"), b = scene.addLight("b"), c = scene.addCamera("c");
  EXPECT_EQ(scene.currentItem(), 0u);
  scene.select(a);
  scene.addToSelection(b);
  scene.addToSelection(c);
  scene.addToSelection(a);  // moves to the end
  EXPECT_EQ(scene.selection(), (std::vector<ItemId>{b, c, a}));
  EXPECT_EQ(scene.currentItem(), a);
  scene.select(c);
  EXPECT_EQ(scene.selection(), (std::vector<ItemId>{c}));
  scene.select(0x10000009);  // not an item: no change
  scene.addToSelection(0x10000009);
  EXPECT_EQ(scene.selection(), (std::vector<ItemId>{c}));
  scene.clearSelection();
  EXPECT_EQ(scene.currentItem(), 0u);
}

// Random selects, adds, clears and removals against a plain list: the scene's selection
// keeps an index beside its list, and the two must never drift apart.
TEST(SceneSelection, MatchesAPlainListUnderRandomEdits) {
  Scene scene;
  std::vector<ItemId> items;
  const ItemId object = scene.addObject("o");
  items.push_back(object);
  for (int i = 0; i < 20; ++i)
    items.push_back(scene.addBone(object, i == 0 ? object : items.back(), "b"));
  for (int i = 0; i < 5; ++i) items.push_back(scene.addLight("l"));
  std::vector<ItemId> model;
  std::set<ItemId> removed;
  std::uint32_t seed = 12345;
  auto random = [&seed](std::uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  for (int step = 0; step < 4000; ++step) {
    const ItemId id = items[random(static_cast<std::uint32_t>(items.size()))];
    const bool live = removed.count(id) == 0;
    switch (random(20)) {
      case 0:
        scene.select(id);
        if (live) model.assign(1, id);
        break;
      case 1:
        scene.clearSelection();
        model.clear();
        break;
      case 2:
        if (id != object && step % 7 == 0) {
          // Removing a bone takes the bones below it too.
          scene.remove(id);
          for (ItemId other : items) {
            if (scene.find(other) == nullptr) removed.insert(other);
          }
          model.erase(std::remove_if(model.begin(), model.end(),
                                     [&](ItemId m) { return removed.count(m) != 0; }),
                      model.end());
        }
        break;
      default:
        scene.addToSelection(id);
        if (live) {
          model.erase(std::remove(model.begin(), model.end(), id), model.end());
          model.push_back(id);
        }
        break;
    }
    ASSERT_EQ(scene.selection(), model) << "step " << step;
    ASSERT_EQ(scene.validate(), "") << "step " << step;
  }
}

// The id index answers for every live id and for no dead one, whatever the ids look like:
// made in order, given by a scene file, past the 16-bit forms, removed and made again.
TEST(SceneIds, IndexFindsEveryLiveIdAndNoDeadOne) {
  Scene scene;
  std::vector<ItemId> live;
  std::vector<ItemId> dead;
  std::vector<ItemId> objects;
  for (int i = 0; i < 3; ++i) objects.push_back(scene.addObject("o"));
  objects.push_back(scene.addObjectWithId("given", 0x1000ff00u));
  live = objects;
  for (ItemId object : objects) {
    for (int i = 0; i < 6000; ++i) live.push_back(scene.addBone(object, object, "b"));
  }
  for (ItemId given : {0x40050009u, 0x4fff0123u, 0x4abc0777u}) {
    const ItemId id = scene.addBoneWithId(objects[1], objects[1], "g", given);
    ASSERT_NE(id, 0u) << idText(given);
    live.push_back(id);
  }
  for (int i = 0; i < 300; ++i) live.push_back(scene.addLight("l"));
  // Remove every third bone.
  std::vector<ItemId> kept;
  for (std::size_t i = 0; i < live.size(); ++i) {
    if (i % 3 == 2 && scene.typeOf(live[i]) == static_cast<int>(ItemType::Bone)) {
      scene.remove(live[i]);
      dead.push_back(live[i]);
    } else {
      kept.push_back(live[i]);
    }
  }
  for (int i = 0; i < 500; ++i) kept.push_back(scene.addBone(objects[0], objects[0], "late"));
  ASSERT_EQ(scene.itemCount(), kept.size());
  for (ItemId id : kept) {
    ASSERT_NE(scene.find(id), nullptr) << idText(id);
    ASSERT_EQ(scene.find(id)->id, id);
  }
  for (ItemId id : dead) ASSERT_EQ(scene.typeOf(id), kNoItemType) << idText(id);
  EXPECT_EQ(scene.validate(), "");
}

// --- validation ---

TEST(SceneValidate, CatchesBrokenScenes) {
  const ItemId kO = 0x10000000, kOther = 0x10000001, kRoot = 0x40000000, kChild = 0x40010000,
               kLight = 0x20000000;
  const struct {
    const char* name;
    std::function<void(Scene&)> breakIt;
  } cases[] = {
      {"NaN channel", [&](Scene& s) { s.find(kChild)->current[kPitch] = std::nan(""); }},
      {"infinite rest length",
       [&](Scene& s) { s.find(kRoot)->restLength = std::numeric_limits<double>::infinity(); }},
      {"NaN pivot", [&](Scene& s) { s.find(kLight)->pivot[1] = std::nan(""); }},
      {"NaN key", [&](Scene& s) { s.find(kLight)->keys[kPosX][0].value = std::nan(""); }},
      {"keys out of order",
       [&](Scene& s) {
         s.find(kLight)->keys[kPosX].push_back(Key{-1, 0});
       }},
      {"parent not live", [&](Scene& s) { s.find(kLight)->parent = 0x10000007; }},
      {"parent edited behind the lists", [&](Scene& s) { s.find(kLight)->parent = kRoot; }},
      {"cycle", [&](Scene& s) { s.find(kO)->parent = kLight; }},
      {"bone owner not live", [&](Scene& s) { s.find(kChild)->owner = 0x10000005; }},
      {"bone owned by another object", [&](Scene& s) { s.find(kChild)->owner = kOther; }},
      {"bone without parent", [&](Scene& s) { s.find(kRoot)->parent = 0; }},
      {"non-bone with owner", [&](Scene& s) { s.find(kLight)->owner = kO; }},
      {"type changed", [&](Scene& s) { s.find(kLight)->type = ItemType::Camera; }},
      {"id changed", [&](Scene& s) { s.find(kLight)->id = 0x20000005; }},
  };
  for (const auto& c : cases) {
    Scene scene;
    scene.addObject("o");
    scene.addObject("other");
    scene.addLight("l");
    scene.addBone(kO, kO, "root");
    scene.addBone(kO, kRoot, "child");
    scene.setParent(kLight, kO, false);
    scene.createKey(kLight, 0);
    scene.createKey(kLight, 1);
    ASSERT_EQ(scene.validate(), "") << c.name;
    c.breakIt(scene);
    EXPECT_NE(scene.validate(), "") << c.name;
  }
}

// --- a million bones ---

TEST(SceneScale, MillionBoneChain) {
  constexpr int kBones = 1000000;
  auto started = std::chrono::steady_clock::now();
  Scene scene;
  ItemId object = scene.addObject("rig");
  scene.setRotation(object, {90 * kDeg, 0, 0});  // +Z along the chain becomes +X
  ItemId parent = object, root = 0, last = 0, secondLast = 0;
  for (int i = 0; i < kBones; ++i) {
    secondLast = last;
    last = scene.addBone(object, parent, "b");
    ASSERT_NE(last, 0u);
    scene.find(last)->current[kPosZ] = 1;
    if (i == 0) root = last;
    parent = last;
  }
  EXPECT_EQ(scene.itemCount(), static_cast<std::size_t>(kBones) + 1);
  EXPECT_EQ(scene.typeOf(last), static_cast<int>(ItemType::Bone));
  EXPECT_EQ(scene.first(ItemType::Bone, object), root);
  EXPECT_EQ(scene.next(last), 0u);

  const Vec3 tip = scene.worldTip(last);
  EXPECT_TRUE(near(tip, {kBones + 1.0, 0, 0}, 1e-6));

  // The last bone, moved up to the root bone, stays where it is.
  ASSERT_TRUE(scene.setParent(last, root, true));
  EXPECT_TRUE(near(scene.find(last)->position(), {0, 0, kBones - 1.0}, 1e-6));
  EXPECT_TRUE(near(scene.worldTip(last), tip, 1e-6));
  std::string why;
  EXPECT_FALSE(scene.setParent(root, secondLast, true, &why));  // the whole chain is below
  EXPECT_NE(why.find("cycle"), std::string::npos) << why;
  EXPECT_EQ(scene.validate(), "");

  scene.remove(root);
  EXPECT_EQ(scene.itemCount(), 1u);
  EXPECT_EQ(scene.first(ItemType::Bone, object), 0u);
  EXPECT_EQ(scene.typeOf(last), kNoItemType);
  EXPECT_EQ(scene.validate(), "");
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  RecordProperty("seconds", std::to_string(seconds));
}

}  // namespace
}  // namespace standin
