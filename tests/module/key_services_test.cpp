// The stand-in's "Channel Info" and "Animation Envelopes", called as a module calls them:
// what each answers over the scene's keys, what it refuses as Layout would, and that each
// can be withheld; and the "Rename" command.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "standin/files/json/scene_json.h"
#include "standin/layout/commands.h"
#include "standin/layout/stand_in.h"
#include "standin/scene/envelope.h"
#include "support/tool_harness.h"

namespace {

using standin::Item;
using standin::ItemId;
using standin::RunRecord;
using standin::Scene;
using testing_support::ToolHarness;

// Arm's Position.Z has two TCB keys and resets before the first; Lamp has no keys at all.
const char* const kScene = R"({"time": 0.5, "items": [
  {"name": "Body", "type": "object"},
  {"name": "Arm", "type": "bone", "parent": "Body",
   "behaviors": [null, null, [0, 1], null, null, null, null, null, null], "keys": [
    {"time": 0, "position": [0, 0, 1], "rotation": [0, 0, 0], "scale": [1, 1, 1], "span": 0},
    {"time": 1, "position": [0, 0, 3], "rotation": [0, 0, 0], "scale": [1, 1, 1], "span": 0}]},
  {"name": "Lamp", "type": "light", "position": [4, 5, 6]}
]})";

// The tables of one run, looked up by the names a module uses.
struct Tables {
  const LWItemInfo* items;
  const LWChannelInfo* channels;
  const LWEnvelopeFuncs* envelopes;
  // The envelope of an item's channel (0 Position.X ... 8 Scale.Z), and its group.
  LWEnvelopeID envelope(LWItemID item, int channel, LWChanGroupID* group = nullptr) const {
    LWChanGroupID g = items->chanGroup(item);
    if (group != nullptr) *group = g;
    LWChannelID c = channels->nextChannel(g, nullptr);
    for (int i = 0; i < channel && c != nullptr; ++i) c = channels->nextChannel(g, c);
    return c ? channels->channelEnvelope(c) : nullptr;
  }
};

RunRecord inRun(ToolHarness& harness, const std::function<void(const Tables&)>& body) {
  return harness.standIn().runDirect([&](GlobalFunc* global, LWLayoutGeneric*) {
    const Tables tables{static_cast<const LWItemInfo*>(global("LW Item Info 3", 0)),
                        static_cast<const LWChannelInfo*>(global("Channel Info 2", 0)),
                        static_cast<const LWEnvelopeFuncs*>(global("Animation Envelopes", 0))};
    body(tables);
  });
}

LWItemID item(ToolHarness& harness, const char* name) { return lwItemFromNumber(harness.id(name)); }

TEST(ChannelServices, AnItemsGroupHoldsItsNineMotionChannelsInOrder) {
  ToolHarness harness(kScene);
  inRun(harness, [&](const Tables& t) {
    LWChanGroupID group = t.items->chanGroup(item(harness, "Arm"));
    ASSERT_NE(group, nullptr);
    EXPECT_STREQ(t.channels->groupName(group), "Arm");
    EXPECT_EQ(t.channels->groupParent(group), nullptr);
    std::vector<std::string> names;
    std::vector<int> types;
    for (LWChannelID c = t.channels->nextChannel(group, nullptr); c != nullptr;
         c = t.channels->nextChannel(group, c)) {
      names.push_back(t.channels->channelName(c));
      types.push_back(t.channels->channelType(c));
      EXPECT_EQ(t.channels->channelParent(c), group);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Position.X", "Position.Y", "Position.Z",
                                               "Rotation.H", "Rotation.P", "Rotation.B", "Scale.X",
                                               "Scale.Y", "Scale.Z"}));
    EXPECT_EQ(types, (std::vector<int>{3, 3, 3, 5, 5, 5, 4, 4, 4}));
    // The same item gives the same group; another item another one.
    EXPECT_EQ(t.items->chanGroup(item(harness, "Arm")), group);
    EXPECT_NE(t.items->chanGroup(item(harness, "Lamp")), group);
    // The group list holds every item's group, in the scene's order.
    std::vector<std::string> groups;
    for (LWChanGroupID g = t.channels->nextGroup(nullptr, nullptr); g != nullptr;
         g = t.channels->nextGroup(nullptr, g)) {
      groups.push_back(t.channels->groupName(g));
    }
    EXPECT_EQ(groups, (std::vector<std::string>{"Body", "Arm", "Lamp"}));
    // The channel is the item as it shows: its keys away from the current time.
    LWChannelID z = t.channels->nextChannel(group, nullptr);
    z = t.channels->nextChannel(group, t.channels->nextChannel(group, z));
    EXPECT_EQ(t.channels->channelEvaluate(z, 1), 3);
  });
}

// One call (or a few) on the envelopes, whether the last is accepted, and what it leaves.
struct EnvelopeCase {
  const char* what;
  std::function<bool(const Tables&, ToolHarness&)> call;
  bool accepted;
  std::function<void(const Scene&, ToolHarness&)> check;
};

const Item& named(const Scene& scene, ToolHarness& harness, const char* name) {
  return *scene.find(harness.id(name));
}

TEST(ChannelServices, EnvelopesAnswerAndRefuseAsLayoutDoes) {
  constexpr int kZ = 2;
  const EnvelopeCase cases[] = {
      {"keys read in order",
       [](const Tables& t, ToolHarness& h) {
         const LWEnvelopeID env = t.envelope(item(h, "Arm"), kZ);
         std::vector<double> read;
         for (LWEnvKeyframeID k = t.envelopes->nextKey(env, nullptr); k != nullptr;
              k = t.envelopes->nextKey(env, k)) {
           double time = 0, value = 0;
           int shape = -1;
           t.envelopes->keyGet(env, k, LWKEY_TIME, &time);
           t.envelopes->keyGet(env, k, LWKEY_VALUE, &value);
           t.envelopes->keyGet(env, k, LWKEY_SHAPE, &shape);
           read.insert(read.end(), {time, value, static_cast<double>(shape)});
         }
         const LWEnvKeyframeID last = t.envelopes->prevKey(env, nullptr);
         return read == std::vector<double>{0, 1, 0, 1, 3, 0} &&
                last == t.envelopes->findKey(env, 1) && t.envelopes->findKey(env, 0.5) == nullptr;
       },
       true, nullptr},
      {"a value set between keys shows at the current time",
       [](const Tables& t, ToolHarness& h) {
         const LWEnvelopeID env = t.envelope(item(h, "Arm"), kZ);
         double value = 5;
         return t.envelopes->keySet(env, t.envelopes->findKey(env, 1), LWKEY_VALUE, &value) == 1;
       },
       true,
       [](const Scene& s, ToolHarness& h) {
         const Item& arm = named(s, h, "Arm");
         EXPECT_EQ(arm.keys[2][1].value, 5);
         EXPECT_EQ(arm.current[2], standin::evaluateChannel(arm.keys[2], arm.behaviors[2], 0.5));
       }},
      {"a key's time cannot be set",
       [](const Tables& t, ToolHarness& h) {
         const LWEnvelopeID env = t.envelope(item(h, "Arm"), kZ);
         double time = 2;
         return t.envelopes->keySet(env, t.envelopes->findKey(env, 1), LWKEY_TIME, &time) == 1;
       },
       false,
       [](const Scene& s, ToolHarness& h) { EXPECT_EQ(named(s, h, "Arm").keys[2][1].time, 1); }},
      {"tension goes to p1",
       [](const Tables& t, ToolHarness& h) {
         const LWEnvelopeID env = t.envelope(item(h, "Arm"), kZ);
         double tension = 0.5;
         return t.envelopes->keySet(env, t.envelopes->findKey(env, 1), LWKEY_TENSION, &tension) ==
                1;
       },
       true,
       [](const Scene& s, ToolHarness& h) {
         EXPECT_EQ(named(s, h, "Arm").keys[2][1].params[0], 0.5);
       }},
      {"no shape 9",
       [](const Tables& t, ToolHarness& h) {
         const LWEnvelopeID env = t.envelope(item(h, "Arm"), kZ);
         int shape = 9;
         return t.envelopes->keySet(env, t.envelopes->findKey(env, 0), LWKEY_SHAPE, &shape) == 1;
       },
       false, nullptr},
      {"a keyless channel's one key is its value, and stays keyless",
       [](const Tables& t, ToolHarness& h) {
         const LWEnvelopeID env = t.envelope(item(h, "Lamp"), kZ);
         double value = 7;
         const LWEnvKeyframeID only = t.envelopes->nextKey(env, nullptr);
         return t.envelopes->nextKey(env, only) == nullptr &&
                t.envelopes->keySet(env, only, LWKEY_VALUE, &value) == 1;
       },
       true,
       [](const Scene& s, ToolHarness& h) {
         EXPECT_EQ(named(s, h, "Lamp").current[2], 7);
         EXPECT_FALSE(named(s, h, "Lamp").hasKeys());
       }},
      {"a new key on a keyless channel keeps the key at 0",
       [](const Tables& t, ToolHarness& h) {
         return t.envelopes->createKey(t.envelope(item(h, "Lamp"), 0), 1, 9) != nullptr;
       },
       true,
       [](const Scene& s, ToolHarness& h) {
         const std::vector<standin::Key>& keys = named(s, h, "Lamp").keys[0];
         ASSERT_EQ(keys.size(), 2u);
         EXPECT_EQ(keys[0].time, 0);
         EXPECT_EQ(keys[0].value, 4);
         EXPECT_EQ(keys[1].value, 9);
         EXPECT_EQ(named(s, h, "Lamp").current[0], 6.5);  // linear (a JSON scene) at 0.5
       }},
      {"a channel's last key stays",
       [](const Tables& t, ToolHarness& h) {
         const LWEnvelopeID env = t.envelope(item(h, "Arm"), kZ);
         t.envelopes->destroyKey(env, t.envelopes->findKey(env, 1));
         t.envelopes->destroyKey(env, t.envelopes->findKey(env, 0));
         return t.envelopes->findKey(env, 0) == nullptr;
       },
       false,
       [](const Scene& s, ToolHarness& h) {
         EXPECT_EQ(named(s, h, "Arm").keys[2].size(), 1u);
         EXPECT_EQ(named(s, h, "Arm").current[2], 1);
       }},
      {"behaviours and the key count through the envelope's group",
       [](const Tables& t, ToolHarness& h) {
         LWChanGroupID group = nullptr;
         const LWEnvelopeID env = t.envelope(item(h, "Arm"), kZ, &group);
         int pre = -1, post = -1, count = -1, linear = 5;
         t.envelopes->egGet(env, group, LWENVTAG_PREBEHAVE, &pre);
         t.envelopes->egGet(env, group, LWENVTAG_POSTBEHAVE, &post);
         t.envelopes->egGet(env, group, LWENVTAG_KEYCOUNT, &count);
         const bool set = t.envelopes->egSet(env, group, LWENVTAG_POSTBEHAVE, &linear) == 1;
         return pre == 0 && post == 1 && count == 2 && set &&
                t.envelopes->egSet(env, group, LWENVTAG_KEYCOUNT, &count) == 0;
       },
       true,
       [](const Scene& s, ToolHarness& h) {
         EXPECT_EQ(named(s, h, "Arm").behaviors[2].post, standin::kEndLinear);
       }},
      {"another item's group is not the envelope's",
       [](const Tables& t, ToolHarness& h) {
         int pre = -1;
         return t.envelopes->egGet(t.envelope(item(h, "Arm"), kZ),
                                   t.items->chanGroup(item(h, "Lamp")), LWENVTAG_PREBEHAVE,
                                   &pre) == 1;
       },
       false, nullptr},
      {"a channel id is no envelope",
       [](const Tables& t, ToolHarness& h) {
         const LWChanGroupID group = t.items->chanGroup(item(h, "Arm"));
         return t.envelopes->createKey(t.channels->nextChannel(group, nullptr), 2, 1) != nullptr;
       },
       false,
       [](const Scene& s, ToolHarness& h) { EXPECT_EQ(named(s, h, "Arm").keys[0].size(), 2u); }},
      {"nothing new: channels, groups and plug-ins are not made",
       [](const Tables& t, ToolHarness& h) {
         const LWChanGroupID group = t.items->chanGroup(item(h, "Arm"));
         return t.envelopes->create(group, "Extra", 2) != nullptr ||
                t.envelopes->createGroup(group, "G") != nullptr ||
                t.channels->serverApply(t.channels->nextChannel(group, nullptr), "ChannelHandler",
                                        "Oscillator", 0) >= 0;
       },
       false, nullptr},
  };
  for (const EnvelopeCase& c : cases) {
    ToolHarness harness(kScene);
    bool accepted = false;
    const RunRecord record =
        inRun(harness, [&](const Tables& t) { accepted = c.call(t, harness); });
    EXPECT_EQ(accepted, c.accepted) << c.what;
    if (c.check) c.check(harness.scene(), harness);
    // Every change asked is recorded, with what became of it.
    for (const auto& edit : record.keyEdits) EXPECT_FALSE(edit.text.empty()) << c.what;
    EXPECT_GT(record.hostCalls, 0u) << c.what;
    EXPECT_TRUE(harness.scene().validate().empty()) << c.what;
  }
}

TEST(ChannelServices, EachNameCanBeWithheldAndIdsOfRemovedItemsAnswerNothing) {
  for (const char* name : {"Channel Info 3", "Channel Info 2", "Animation Envelopes 4",
                           "Animation Envelopes 2", "Animation Envelopes"}) {
    ToolHarness harness(kScene);
    harness.standIn().withhold(name);
    harness.standIn().runDirect([&](GlobalFunc* global, LWLayoutGeneric*) {
      for (const char* other : {"Channel Info 3", "Channel Info 2", "Animation Envelopes 4",
                                "Animation Envelopes 2", "Animation Envelopes"}) {
        EXPECT_EQ(global(other, 0) == nullptr, std::string(other) == name) << other;
      }
    });
  }
  ToolHarness harness(kScene);
  inRun(harness, [&](const Tables& t) {
    const LWEnvelopeID env = t.envelope(item(harness, "Arm"), 2);
    const LWEnvKeyframeID key = t.envelopes->nextKey(env, nullptr);
    harness.scene().remove(harness.id("Arm"));
    double value = 0;
    EXPECT_EQ(t.envelopes->keyGet(env, key, LWKEY_VALUE, &value), 0);
    EXPECT_EQ(t.envelopes->nextKey(env, nullptr), nullptr);
    EXPECT_EQ(t.items->chanGroup(item(harness, "Arm")), nullptr);
  });
}

TEST(RenameCommand, RenamesTheCurrentItemButNoObject) {
  const struct {
    const char* what;
    const char* select;  // null: nothing selected
    const char* line;
    bool accepted;
    const char* name;  // the selected item's name afterwards
  } cases[] = {
      {"a bone", "Arm", "Rename L_Arm", true, "L_Arm"},
      {"a light, spaces and all", "Lamp", "Rename Key Light", true, "Key Light"},
      {"its own name", "Arm", "Rename Arm", true, "Arm"},
      {"a name in use is shown with a suffix", "Arm", "Rename Lamp", true, "Lamp (2)"},
      {"an object takes its name from its file", "Body", "Rename Hero", false, "Body"},
      {"no name", "Arm", "Rename", false, "Arm"},
      {"nothing selected", nullptr, "Rename X", false, nullptr},
  };
  for (const auto& c : cases) {
    Scene scene = standin::sceneFromJson(kScene);
    scene.clearSelection();
    if (c.select) scene.select(scene.findByName(c.select));
    const ItemId selected = scene.currentItem();
    EXPECT_EQ(standin::executeCommand(scene, c.line).ok, c.accepted) << c.what;
    if (c.name) {
      EXPECT_EQ(scene.find(selected)->name, c.name) << c.what;
    }
  }
}

}  // namespace
