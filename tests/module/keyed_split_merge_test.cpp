// BoneSplit and BoneMerge on a keyed arm as a rigger's scene has it: keys on most bones at
// times other than the current one, TCB spans, a sword in the hand and a shield on the
// forearm. Each run is made between keys and at a key, with Auto Key Create off, on the
// modified channels and on all, and with Parent in Place on and off; then the rig is looked
// at over the whole animation.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "standin/scene/auto_key.h"
#include "support/tool_harness.h"

namespace {

using standin::ItemId;
using standin::RunRecord;
using standin::Scene;
using standin::Vec3;
using testing_support::ToolHarness;

std::string key(double time, const char* position, const char* rotation) {
  return R"({"time": )" + std::to_string(time) + R"(, "position": [)" + position +
         R"(], "rotation": [)" + rotation + R"(], "scale": [1, 1, 1], "span": 0})";
}

std::string keyedArm(double time, const char* autoKey, bool parentInPlace) {
  return std::string(R"({"time": )") + std::to_string(time) + R"(, "autoKeyCreate": ")" + autoKey +
         R"(", "parentInPlace": )" + (parentInPlace ? "true" : "false") +
         R"(, "items": [
  {"name": "Hero", "type": "object"},
  {"name": "Spine", "type": "bone", "parent": "Hero", "restLength": 0.5,
   "restRotation": [0, -90, 0], "keys": [)" +
         key(0, "0, 0, 0", "0, -90, 0") + ", " + key(2, "0, 0.1, 0", "10, -80, 5") + R"(]},
  {"name": "L_UpperArm", "type": "bone", "parent": "Spine", "restPosition": [0.1, 0, 0.5],
   "restRotation": [90, 0, 0], "restLength": 0.4, "keys": [)" +
         key(0, "0.1, 0, 0.5", "90, 0, 0") + ", " + key(1, "0.1, 0, 0.5", "60, 20, 10") + ", " +
         key(3, "0.1, 0, 0.5", "100, -10, 0") + R"(]},
  {"name": "L_Forearm", "type": "bone", "parent": "L_UpperArm", "restPosition": [0, 0, 0.4],
   "restRotation": [0, 30, 0], "restLength": 0.35, "keys": [)" +
         key(0, "0, 0, 0.4", "0, 30, 0") + ", " + key(1.5, "0, 0, 0.4", "20, 60, 0") + R"(]},
  {"name": "L_Hand", "type": "bone", "parent": "L_Forearm", "restPosition": [0, 0, 0.35],
   "restLength": 0.15, "keys": [)" +
         key(0, "0, 0, 0.35", "0, 0, 0") + ", " + key(0.5, "0, 0, 0.36", "0, -20, 30") + ", " +
         key(2.5, "0, 0.02, 0.35", "10, 10, 0") + R"(]},
  {"name": "L_Twist", "type": "bone", "parent": "L_Forearm", "position": [0.02, 0, 0.3],
   "rotation": [0, 0, 45], "restPosition": [0.02, 0, 0.3], "restRotation": [0, 0, 45],
   "restLength": 0.05},
  {"name": "L_Finger", "type": "bone", "parent": "L_Hand", "restPosition": [0, 0, 0.15],
   "restLength": 0.05, "keys": [)" +
         key(0, "0, 0, 0.15", "0, 0, 0") + ", " + key(1.2, "0, 0, 0.15", "0, 40, 0") + R"(]},
  {"name": "Sword", "type": "object", "parent": "L_Hand", "position": [0, -0.05, 0.1],
   "rotation": [0, 90, 0]},
  {"name": "Shield", "type": "object", "parent": "L_Forearm", "position": [0.05, 0, 0.2]},
  {"name": "Lamp", "type": "light", "parent": "L_UpperArm", "position": [0, 0.1, 0.2]}
]})";
}

// Every item's origin, and a bone's tip, at time `t` as a saved file would hold the scene.
struct Place {
  Vec3 origin, tip;
};
std::map<ItemId, Place> placesAt(const Scene& scene, double t) {
  Scene copy = scene;
  standin::settleIntoKeys(copy);
  copy.setTime(t);
  std::map<ItemId, Place> places;
  for (ItemId id : copy.allItems()) places[id] = {copy.worldOrigin(id), copy.worldTip(id)};
  return places;
}

double distance(const Vec3& a, const Vec3& b) {
  return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

bool sameKeys(const standin::Item& a, const standin::Item& b) {
  for (int c = 0; c < standin::kChannelCount; ++c) {
    if (a.keys[c].size() != b.keys[c].size()) return false;
    for (std::size_t k = 0; k < a.keys[c].size(); ++k) {
      const standin::Key& x = a.keys[c][k];
      const standin::Key& y = b.keys[c][k];
      if (x.time != y.time || x.value != y.value || x.span != y.span || x.params != y.params) {
        return false;
      }
    }
  }
  return true;
}

// The key times of the scene's items and midway between them, the current time among them.
std::vector<double> someTimes(double now) {
  std::vector<double> times = {0, 0.25, 0.5, 0.7, 1, 1.2, 1.35, 1.5, 2, 2.5, 3, 3.5};
  times.push_back(now);
  return times;
}

struct Setting {
  double time;
  const char* autoKey;
  bool parentInPlace;
  std::string what() const {
    return std::to_string(time) + " s, auto key " + autoKey +
           (parentInPlace ? ", in place" : ", not in place");
  }
};

std::vector<Setting> settings() {
  std::vector<Setting> all;
  for (double time : {0.7, 1.5}) {
    for (const char* autoKey : {"off", "modified", "all"}) {
      for (bool inPlace : {true, false}) all.push_back({time, autoKey, inPlace});
    }
  }
  return all;
}

TEST(KeyedSplit, TheRigMovesAtNoTimeAndTheFirstPartKeepsItsKeys) {
  for (const Setting& s : settings()) {
    for (const std::string bone : {"L_Forearm", "L_UpperArm", "L_Hand"}) {
      const std::string what = bone + ", " + s.what();
      ToolHarness harness(keyedArm(s.time, s.autoKey, s.parentInPlace));
      Scene& scene = harness.scene();
      const ItemId split = harness.id(bone);
      const standin::Item before = *scene.find(split);
      std::map<double, std::map<ItemId, Place>> was;
      for (double t : someTimes(s.time)) was[t] = placesAt(scene, t);
      std::vector<ItemId> children;
      for (ItemId id : scene.allItems()) {
        if (scene.parentOf(id) == split) children.push_back(id);
      }

      harness.select({bone});
      const RunRecord record =
          harness.run("BoneSplit", standin::Answers{true, {{"PercentControl", "40"}}});
      EXPECT_TRUE(record.messages.empty()) << what;
      for (const auto& c : record.commands) EXPECT_TRUE(c.ok) << what << ": " << c.text;
      for (const auto& e : record.keyEdits) EXPECT_TRUE(e.ok) << what << ": " << e.text;
      // What Auto Key Create would key now: nothing, whatever the mode.
      EXPECT_EQ(standin::keyAutoCreated(scene), 0u) << what;

      const standin::Item& kept = *scene.find(split);
      EXPECT_EQ(kept.name, bone) << what;
      EXPECT_TRUE(sameKeys(kept, before)) << what;
      const ItemId second = scene.findByName(bone + "2");
      ASSERT_NE(second, 0u) << what;
      EXPECT_EQ(scene.parentOf(second), split) << what;
      for (ItemId child : children) {
        const bool isBone = scene.typeOf(child) == static_cast<int>(standin::ItemType::Bone);
        EXPECT_EQ(scene.parentOf(child), isBone ? second : split) << what;
      }
      for (const auto& [t, places] : was) {
        const std::map<ItemId, Place> now = placesAt(scene, t);
        for (const auto& [id, place] : places) {
          const std::string name = scene.find(id)->name;
          EXPECT_LT(distance(now.at(id).origin, place.origin), 1e-9)
              << what << ": " << name << " at " << t;
          if (id == split) {
            EXPECT_LT(distance(now.at(second).tip, place.tip), 1e-9) << what << " at " << t;
          } else {
            EXPECT_LT(distance(now.at(id).tip, place.tip), 1e-9)
                << what << ": " << name << " at " << t;
          }
        }
      }
    }
  }
}

TEST(KeyedMerge, FollowersKeepTheirPlacesAtEveryKeyTimeAndTheUpperBoneItsKeys) {
  const std::pair<const char*, const char*> pairs[] = {{"L_UpperArm", "L_Forearm"},
                                                       {"L_Forearm", "L_Hand"}};
  for (const Setting& s : settings()) {
    for (const auto& [upper, lower] : pairs) {
      const std::string what = std::string(upper) + "+" + lower + ", " + s.what();
      ToolHarness harness(keyedArm(s.time, s.autoKey, s.parentInPlace));
      Scene& scene = harness.scene();
      const ItemId p = harness.id(upper), q = harness.id(lower);
      const standin::Item before = *scene.find(p);
      const Vec3 lowerTip = scene.worldTip(q);
      std::vector<ItemId> followers;
      for (ItemId id : scene.allItems()) {
        const ItemId parent = scene.parentOf(id);
        if ((parent == p && id != q) || parent == q) followers.push_back(id);
      }
      // The times each follower must keep its place: the current one and every key time of
      // the two bones and its own.
      std::map<ItemId, std::vector<double>> times;
      for (ItemId id : followers) {
        times[id].push_back(s.time);
        for (ItemId keyed : {p, q, id}) {
          for (const auto& channel : scene.find(keyed)->keys) {
            for (const standin::Key& k : channel) times[id].push_back(k.time);
          }
        }
      }
      std::map<double, std::map<ItemId, Place>> was;
      for (const auto& entry : times) {
        for (double t : entry.second) was.emplace(t, placesAt(scene, t));
      }

      harness.select({lower, upper});
      const RunRecord record = harness.run("BoneMerge");
      ASSERT_EQ(record.messages.size(), 1u) << what;
      for (const auto& c : record.commands) EXPECT_TRUE(c.ok) << what << ": " << c.text;
      for (const auto& e : record.keyEdits) EXPECT_TRUE(e.ok) << what << ": " << e.text;
      EXPECT_EQ(standin::keyAutoCreated(scene), 0u) << what;

      EXPECT_EQ(scene.find(q), nullptr) << what;
      const standin::Item& merged = *scene.find(p);
      EXPECT_EQ(merged.name, upper) << what;
      EXPECT_TRUE(sameKeys(merged, before)) << what;
      EXPECT_LT(distance(scene.worldTip(p), lowerTip), 1e-6) << what;
      for (ItemId id : followers) {
        EXPECT_EQ(scene.parentOf(id), p) << what;
        for (double t : times[id]) {
          const std::map<ItemId, Place> now = placesAt(scene, t);
          const std::string name = scene.find(id)->name;
          EXPECT_LT(distance(now.at(id).origin, was[t].at(id).origin), 1e-9)
              << what << ": " << name << " at " << t;
          EXPECT_LT(distance(now.at(id).tip, was[t].at(id).tip), 1e-9)
              << what << ": " << name << " at " << t;
          EXPECT_LT(distance(now.at(p).origin, was[t].at(p).origin), 1e-12) << what << " at " << t;
        }
      }
    }
  }
}

// Layout gives back a key made at frame 15 as 0.60000002 while the current time is 0.6: a
// merge there edits each follower's key once, and makes no second key beside it.
TEST(KeyedMerge, AtAKeyWrittenInSinglePrecisionEachKeyIsEditedOnce) {
  const std::pair<const char*, const char*> pairs[] = {{"L_UpperArm", "L_Forearm"},
                                                       {"L_Forearm", "L_Hand"}};
  for (const auto& [upper, lower] : pairs) {
    ToolHarness harness(keyedArm(1.5, "off", true));
    harness.scene().setTime(1.5 + 2e-8);  // L_Forearm's key is at 1.5
    harness.select({lower, upper});
    const RunRecord record = harness.run("BoneMerge");
    ASSERT_EQ(record.messages.size(), 1u) << upper;
    const std::regex valueEdit(R"(^(?:createKey|keySet) at ([^:]+): value \S+ (.+)$)");
    std::map<std::string, std::vector<double>> editTimes;  // by channel
    for (const auto& e : record.keyEdits) {
      std::smatch m;
      if (!std::regex_match(e.text, m, valueEdit)) continue;
      std::vector<double>& times = editTimes[m[2]];
      for (double t : times) {
        EXPECT_GT(std::fabs(t - std::stod(m[1])), 1e-5) << upper << ": " << e.text;
      }
      times.push_back(std::stod(m[1]));
    }
    EXPECT_FALSE(editTimes.empty()) << upper;
  }
}

}  // namespace
