// The stand-in's scene model: removal, motion and keys, world placement, names, selection,
// validation and a million bones.
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
#include "standin/scene/scene.h"

namespace standin {
namespace {

using namespace scene_cases;

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
