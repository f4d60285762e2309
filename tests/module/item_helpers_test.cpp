// The item helpers, called directly against the stand-in's services.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "scene/item_helpers.h"
#include "standin/layout/stand_in_impl.h"
#include "support/tool_harness.h"

namespace {

using testing_support::ToolHarness;
using vorrik::Host;
using vorrik::Vec3;

const char* const kRig = R"({"items": [
  {"name": "Obj", "type": "object"},
  {"name": "Lamp", "type": "light"},
  {"name": "Cam", "type": "camera"},
  {"name": "B1", "type": "bone", "parent": "Obj", "restLength": 2},
  {"name": "B2", "type": "bone", "parent": "B1"},
  {"name": "B3", "type": "bone", "parent": "B2"},
  {"name": "Empty", "type": "object"}
]})";

// Runs `body` with a Host bound to the harness's stand-in; returns the commands sent.
std::vector<std::string> withHost(ToolHarness& harness, const std::function<void(Host&)>& body) {
  const standin::RunRecord record =
      harness.standIn().runDirect([&](GlobalFunc* global, LWLayoutGeneric* local) {
        Host host(vorrik::acquireHostServices(global, vorrik::ExtraServices::None), local);
        body(host);
      });
  return record.commandTexts();
}

LWItemID item(ToolHarness& harness, const std::string& name) {
  return lwItemFromNumber(harness.id(name));
}

TEST(ItemHelpers, OwnerObjectWalksUpToTheFirstItemThatIsNoBone) {
  ToolHarness harness(kRig);
  const std::pair<const char*, const char*> cases[] = {
      {"Obj", "Obj"}, {"Lamp", "Lamp"}, {"Cam", "Cam"}, {"B1", "Obj"}, {"B3", "Obj"},
  };
  for (const auto& c : cases) {
    LWItemID owner = nullptr;
    const auto commands = withHost(
        harness, [&](Host& host) { owner = vorrik::ownerObject(host, item(harness, c.first)); });
    EXPECT_EQ(owner, item(harness, c.second)) << c.first;
    EXPECT_TRUE(commands.empty());
  }
  // No item at all has no owner.
  withHost(harness, [&](Host& host) { EXPECT_EQ(vorrik::ownerObject(host, nullptr), nullptr); });
}

TEST(ItemHelpers, AddBoneAndFindAddsUnderTheRightItemAndFindsItAnywhere) {
  struct Case {
    const char* owner;
    const char* parent;
    long insertAt;
    std::vector<std::string> commands;
    const char* expectedParent;
  };
  const Case cases[] = {
      {"Obj", "Obj", -1, {"SelectItem {Obj}", "AddBone Bone"}, "Obj"},
      {"Obj", "B2", -1, {"SelectItem {B2}", "AddChildBone Bone"}, "B2"},
      {"Obj", "B1", 1, {"SelectItem {B1}", "AddChildBone Bone"}, "B1"},
      {"Obj", "Obj", 0, {"SelectItem {Obj}", "AddBone Bone"}, "Obj"},
      {"Empty", "Empty", -1, {"SelectItem {Empty}", "AddBone Bone"}, "Empty"},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kRig);
    harness.scene().insertNewBonesAt = c.insertAt;
    LWItemID added = nullptr;
    const auto commands = withHost(harness, [&](Host& host) {
      added = vorrik::addBoneAndFind(host, item(harness, c.owner), item(harness, c.parent), "Bone");
    });
    EXPECT_EQ(commands, harness.expand(c.commands)) << c.parent;
    ASSERT_NE(added, nullptr) << c.parent;
    const standin::Item* bone = harness.scene().find(lwItemNumber(added));
    ASSERT_NE(bone, nullptr);
    EXPECT_EQ(bone->name, "Bone");
    EXPECT_EQ(harness.scene().parentOf(bone->id), harness.id(c.expectedParent));
  }
}

TEST(ItemHelpers, AddBoneAndFindGivesNullWhenNoBoneAppears) {
  ToolHarness harness(kRig);
  harness.scene().addCommandsAddNothing = true;
  LWItemID added = item(harness, "Obj");
  const auto commands = withHost(harness, [&](Host& host) {
    added = vorrik::addBoneAndFind(host, item(harness, "Obj"), item(harness, "B1"), "Bone");
  });
  EXPECT_EQ(added, nullptr);
  EXPECT_EQ(commands.size(), 2u);
}

TEST(ItemHelpers, CommandGroupsSendOnlyWhatIsGiven) {
  const double pi = std::acos(-1.0);
  const Vec3 position{1, 2, 3};
  const Vec3 rotation{pi / 2, 0, -pi / 4};
  const Vec3 scale{1, 1, 2};
  const double length = 0.75;
  struct Case {
    const char* what;
    const char* target;
    std::function<void(Host&, LWItemID)> call;
    std::vector<std::string> commands;
  };
  const Case cases[] = {
      {"transform with nothing",
       "B1",
       [](Host& h, LWItemID i) { vorrik::emitTransform(h, i, nullptr, nullptr, nullptr); },
       {"SelectItem {B1}"}},
      {"transform with a scale only",
       "B1",
       [&](Host& h, LWItemID i) { vorrik::emitTransform(h, i, nullptr, nullptr, &scale); },
       {"SelectItem {B1}", "Scale 1 1 2"}},
      {"transform with everything, rotation in degrees",
       "Lamp",
       [&](Host& h, LWItemID i) { vorrik::emitTransform(h, i, &position, &rotation, &scale); },
       {"SelectItem {Lamp}", "Position 1 2 3", "Rotation 90 0 -45", "Scale 1 1 2"}},
      {"rest values for an object: the selection only",
       "Obj",
       [&](Host& h, LWItemID i) { vorrik::emitRest(h, i, &position, &rotation, &length); },
       {"SelectItem {Obj}"}},
      {"rest values for a bone",
       "B2",
       [&](Host& h, LWItemID i) { vorrik::emitRest(h, i, &position, &rotation, &length); },
       {"SelectItem {B2}", "BoneRestPosition 1 2 3", "BoneRestRotation 90 0 -45",
        "BoneRestLength 0.75"}},
      {"a bone's rest length only",
       "B2",
       [&](Host& h, LWItemID i) { vorrik::emitRest(h, i, nullptr, nullptr, &length); },
       {"SelectItem {B2}", "BoneRestLength 0.75"}},
      {"a pivot position only",
       "Cam",
       [&](Host& h, LWItemID i) { vorrik::emitPivot(h, i, &position, nullptr); },
       {"SelectItem {Cam}", "PivotPosition 1 2 3"}},
      {"a pivot with its rotation",
       "B3",
       [&](Host& h, LWItemID i) { vorrik::emitPivot(h, i, &position, &rotation); },
       {"SelectItem {B3}", "PivotPosition 1 2 3", "PivotRotation 90 0 -45"}},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kRig);
    const auto commands =
        withHost(harness, [&](Host& host) { c.call(host, item(harness, c.target)); });
    EXPECT_EQ(commands, harness.expand(c.commands)) << c.what;
  }
}

TEST(ItemHelpers, TheSceneTakesTheValuesTheGroupsSend) {
  ToolHarness harness(kRig);
  const double pi = std::acos(-1.0);
  const Vec3 restPosition{0, 0, 2};
  const Vec3 restRotation{0, -pi / 2, 0};
  const double length = 0.5;
  withHost(harness, [&](Host& host) {
    vorrik::emitRest(host, item(harness, "B2"), &restPosition, &restRotation, &length);
  });
  const standin::Item& b2 = *harness.scene().find(harness.id("B2"));
  EXPECT_EQ(b2.restPosition, restPosition);
  EXPECT_NEAR(b2.restRotation[1], -pi / 2, 1e-12);
  EXPECT_EQ(b2.restLength, 0.5);
}

// The bone found is the one the plain search finds: for each bone listed after the add, the
// first one not found by a linear scan of the bones listed before.
TEST(ItemHelpers, AddBoneAndFindAgreesWithTheLinearSearchWhereverTheBoneIsListed) {
  for (const std::size_t bones :
       {std::size_t{0}, std::size_t{1}, std::size_t{5}, std::size_t{40}}) {
    const long count = static_cast<long>(bones);
    for (const long insertAt : {-1L, 0L, 1L, count / 2, count - 1, count, count + 5}) {
      for (const bool twoAdds : {false, true}) {
        const std::string what = std::to_string(bones) + " bones, new ones at " +
                                 std::to_string(insertAt) + (twoAdds ? ", two adds" : "");
        standin::Scene scene;
        const standin::ItemId object = scene.addObject("Obj");
        standin::ItemId parent = object;
        for (std::size_t i = 0; i < bones; ++i) {
          parent = scene.addBone(object, i % 3 == 0 ? object : parent, "b" + std::to_string(i));
        }
        ToolHarness harness(std::move(scene));
        harness.scene().insertNewBonesAt = insertAt;
        const auto listing = [&harness, object] {
          std::vector<standin::ItemId> ids;
          const standin::Scene& live = harness.scene();
          for (standin::ItemId b = live.first(standin::ItemType::Bone, object); b != 0;
               b = live.next(b)) {
            ids.push_back(b);
          }
          return ids;
        };
        const auto linear = [](const std::vector<standin::ItemId>& before,
                               const std::vector<standin::ItemId>& after) -> standin::ItemId {
          for (standin::ItemId bone : after) {
            bool seen = false;
            for (standin::ItemId old : before) seen = seen || old == bone;
            if (!seen) return bone;
          }
          return 0;
        };
        const std::vector<standin::ItemId> before = listing();
        std::vector<standin::ItemId> middle;
        LWItemID first = nullptr, second = nullptr;
        withHost(harness, [&](Host& host) {
          const LWItemID owner = lwItemFromNumber(object);
          if (!twoAdds) {
            first = vorrik::addBoneAndFind(host, owner, owner, "Bone");
            return;
          }
          vorrik::KnownBones known;
          for (standin::ItemId b : before) known.append(lwItemFromNumber(b));
          first = vorrik::addBoneAndFind(host, owner, owner, "Bone", known);
          middle = listing();
          second = vorrik::addBoneAndFind(host, owner, first, "Bone", known);
        });
        if (!twoAdds) middle = listing();
        EXPECT_EQ(lwItemNumber(first), linear(before, middle)) << what;
        EXPECT_NE(first, nullptr) << what;
        if (twoAdds) {
          EXPECT_EQ(lwItemNumber(second), linear(middle, listing())) << what;
          EXPECT_EQ(harness.scene().parentOf(lwItemNumber(second)), lwItemNumber(first)) << what;
        }
      }
    }
  }
}

// A host that lists an object's bones in another order once a bone has been added: the
// new listing parts from the old one more than once, and the bone found must still be the
// first one listed that was not listed before.
struct ReorderingHost {
  enum Order { kReversed, kRotated, kFirstTwoSwapped, kNewBoneFirst };
  static inline standin::StandIn* standIn = nullptr;
  static inline Order order = kReversed;
  static inline LWItemInfo original{};

  static std::vector<standin::ItemId> listing(LWItemID object) {
    std::vector<standin::ItemId> ids;
    for (LWItemID b = original.first(LWI_BONE, object); b != nullptr; b = original.next(b)) {
      ids.push_back(lwItemNumber(b));
    }
    const standin::RunRecord* run = standIn->impl().run;
    const bool added = run != nullptr && run->commands.size() >= 2;  // SelectItem, Add...
    if (!added || ids.size() < 2) return ids;
    switch (order) {
      case kReversed: std::reverse(ids.begin(), ids.end()); break;
      case kRotated: std::rotate(ids.begin(), ids.begin() + 1, ids.end()); break;
      case kFirstTwoSwapped: std::swap(ids[0], ids[1]); break;
      case kNewBoneFirst: std::rotate(ids.begin(), ids.end() - 1, ids.end()); break;
    }
    return ids;
  }
  static LWItemID objectOf(LWItemID bone) {
    LWItemID up = bone;
    while (up != nullptr && original.type(up) == LWI_BONE) up = original.parent(up);
    return up;
  }
  static LWItemID first(LWItemType type, LWItemID object) {
    if (type != LWI_BONE) return original.first(type, object);
    const auto ids = listing(object);
    return ids.empty() ? nullptr : lwItemFromNumber(ids[0]);
  }
  static LWItemID next(LWItemID item) {
    if (original.type(item) != LWI_BONE) return original.next(item);
    const auto ids = listing(objectOf(item));
    const auto at = std::find(ids.begin(), ids.end(), lwItemNumber(item));
    return at == ids.end() || at + 1 == ids.end() ? nullptr : lwItemFromNumber(*(at + 1));
  }
  static void install(standin::StandIn& target, Order how) {
    standIn = &target;
    order = how;
    LWItemInfo& table = target.itemInfoTable();
    original = table;
    table.first = first;
    table.next = next;
  }
};

TEST(ItemHelpers, AddBoneAndFindAgreesWithTheLinearSearchWhenTheHostReorders) {
  const ReorderingHost::Order orders[] = {ReorderingHost::kReversed, ReorderingHost::kRotated,
                                          ReorderingHost::kFirstTwoSwapped,
                                          ReorderingHost::kNewBoneFirst};
  for (const std::size_t bones : {std::size_t{1}, std::size_t{2}, std::size_t{7}}) {
    for (const ReorderingHost::Order order : orders) {
      const std::string what = std::to_string(bones) + " bones, order " + std::to_string(order);
      standin::Scene scene;
      const standin::ItemId object = scene.addObject("Obj");
      for (std::size_t i = 0; i < bones; ++i) scene.addBone(object, object, "b");
      ToolHarness harness(std::move(scene));
      ReorderingHost::install(harness.standIn(), order);
      const LWItemID owner = lwItemFromNumber(object);
      std::vector<standin::ItemId> before, middle, after;
      LWItemID first = nullptr, second = nullptr;
      withHost(harness, [&](Host& host) {
        before = ReorderingHost::listing(owner);
        vorrik::KnownBones known;
        for (standin::ItemId b : before) known.append(lwItemFromNumber(b));
        first = vorrik::addBoneAndFind(host, owner, owner, "Bone", known);
        middle = ReorderingHost::listing(owner);
        second = vorrik::addBoneAndFind(host, owner, owner, "Bone", known);
        after = ReorderingHost::listing(owner);
      });
      const auto linear = [](const std::vector<standin::ItemId>& old,
                             const std::vector<standin::ItemId>& now) -> standin::ItemId {
        for (standin::ItemId bone : now) {
          if (std::find(old.begin(), old.end(), bone) == old.end()) return bone;
        }
        return 0;
      };
      ASSERT_NE(first, nullptr) << what;
      EXPECT_EQ(lwItemNumber(first), linear(before, middle)) << what;
      EXPECT_EQ(lwItemNumber(second), linear(middle, after)) << what;
      EXPECT_NE(first, second) << what;
    }
  }
}

// The flat set against std::set, with ids shaped like Layout's and ids that share low bits.
TEST(ItemSet, HoldsExactlyWhatWasInserted) {
  struct Case {
    const char* what;
    std::uint32_t (*id)(std::uint32_t n);
    std::uint32_t count;
  };
  const Case cases[] = {
      {"bones of one object", [](std::uint32_t n) { return 0x40000000u | (n << 16) | 3u; }, 5000},
      {"objects, lights, cameras",
       [](std::uint32_t n) { return 0x10000000u * (1 + n % 3) + n / 3; }, 3000},
      {"ids alike in their low 16 bits", [](std::uint32_t n) { return (n << 16) | 0x1234u; }, 4000},
      {"scattered", [](std::uint32_t n) { return (n * 2654435761u) | 1u; }, 20000},
  };
  for (const Case& c : cases) {
    vorrik::ItemSet set;
    std::set<std::uint32_t> reference;
    for (std::uint32_t n = 0; n < c.count; ++n) {
      const std::uint32_t id = c.id(n % (c.count / 2 + 1));  // each id comes twice
      EXPECT_EQ(set.insert(lwItemFromNumber(id)), reference.insert(id).second) << c.what;
    }
    EXPECT_EQ(set.size(), reference.size()) << c.what;
    for (std::uint32_t n = 0; n < 2 * c.count; ++n) {
      const std::uint32_t id = c.id(n);
      ASSERT_EQ(set.contains(lwItemFromNumber(id)), reference.count(id) == 1) << c.what << " " << n;
    }
    EXPECT_FALSE(set.contains(nullptr)) << c.what;
  }
}

}  // namespace
