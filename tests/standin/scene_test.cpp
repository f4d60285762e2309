// The stand-in's scene model: item ids, listing, the hierarchy and parenting in place.
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
#include "scene_cases.h"

namespace standin {
namespace {

using namespace scene_cases;

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

}  // namespace
}  // namespace standin
