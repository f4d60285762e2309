// Every tool on a chain of a million bones and on an object with a hundred thousand, each
// run on a thread with the 1 MiB stack a Windows Layout gives its main thread. Each rig is
// built once and the tools run on it in turn, every step checked before the next.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

#include "standin/layout/stand_in.h"
#include "support/tool_harness.h"

namespace {

using standin::Answers;
using standin::ItemId;
using standin::RunRecord;
using standin::Scene;
using standin::StandIn;
using standin::Vec3;

// Millions of trace lines would only fill the test log.
class QuietTrace {
public:
  QuietTrace() {
#if !defined(_WIN32)
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, STDERR_FILENO);
      close(null);
    }
#endif
  }
  ~QuietTrace() {
#if !defined(_WIN32)
    std::fflush(stderr);
    if (saved_ >= 0) {
      dup2(saved_, STDERR_FILENO);
      close(saved_);
    }
#endif
  }
  QuietTrace(const QuietTrace&) = delete;
  QuietTrace& operator=(const QuietTrace&) = delete;

private:
  int saved_ = -1;
};

Answers answer(std::map<std::string, std::string> values) {
  return Answers{true, std::move(values)};
}
Answers noAnswers() { return Answers{}; }

Vec3 difference(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double distance(const Vec3& a, const Vec3& b) {
  const Vec3 d = difference(a, b);
  return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

struct Rig {
  ItemId object = 0, lamp = 0;
  std::vector<ItemId> bones;  // in the order built
};

// One tool run on the rig, then its checks. The selection is made from the live rig.
struct Step {
  const char* what;
  const char* tool;
  std::function<std::vector<ItemId>(const Rig&)> selection;
  Answers answers;
  std::size_t commands;  // how many the run must send
  std::function<void(const Rig&, const Scene&, const RunRecord&)> check;  // may be empty
};

double runSteps(StandIn& standIn, const Rig& rig, const std::vector<Step>& steps,
                const std::string& rigName) {
  double total = 0;
  for (const Step& step : steps) {
    Scene& scene = standIn.scene();
    scene.clearSelection();
    for (ItemId item : step.selection(rig)) scene.addToSelection(item);
    RunRecord record;
    const auto started = std::chrono::steady_clock::now();
    {
      QuietTrace quiet;
      testing_support::runOnSmallStack(
          [&] { record = standIn.activate(std::string("Vorrik:") + step.tool, step.answers); });
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    total += seconds;
    std::printf("[  timing  ] %s, %s: %.3f s, %zu commands, %zu host calls\n", rigName.c_str(),
                step.what, seconds, record.commands.size(), record.hostCalls);
    EXPECT_EQ(record.result, 0) << step.what;
    EXPECT_EQ(record.answerError, "") << step.what;
    EXPECT_TRUE(record.messages.empty() || record.messages[0].kind == "okCancel") << step.what;
    EXPECT_EQ(record.commands.size(), step.commands) << step.what;
    for (const auto& command : record.commands) {
      EXPECT_TRUE(command.ok) << step.what << ": " << command.text << ": " << command.why;
    }
    if (step.check) step.check(rig, scene, record);
  }
  return total;
}

ItemId named(const Scene& scene, const char* name) { return scene.findByName(name); }

// A chain of a million bones under Rig, every 100,000th switched off, and a lamp.
TEST(BigRigs, EveryToolOnAMillionBoneChain) {
  constexpr std::size_t kBones = 1000000;
  const auto built = std::chrono::steady_clock::now();
  Scene scene;
  Rig rig;
  rig.object = scene.addObject("Rig");
  rig.lamp = scene.addLight("Lamp");
  rig.bones.reserve(kBones);
  for (std::size_t i = 0; i < kBones; ++i) {
    const ItemId bone = scene.addBone(rig.object, i == 0 ? rig.object : rig.bones.back(), "b");
    ASSERT_NE(bone, 0u);
    rig.bones.push_back(bone);
    scene.find(bone)->current[standin::kPosZ] = 1;
    scene.find(bone)->restPosition = {0, 0, 1};
    scene.find(bone)->active = i % 100000 != 7;
  }
  StandIn standIn(std::move(scene));
  standIn.captureTrace = false;
  standIn.loadModule(testing_support::modulePath());
  std::printf("[  timing  ] million-bone chain built in %.3f s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - built).count());

  const ItemId last = rig.bones.back();
  const ItemId beforeLast = rig.bones[kBones - 2];
  const Vec3 lastTip = standIn.scene().worldTip(last);

  const std::vector<Step> steps = {
      {"BoneUtil enables the whole object", "BoneUtil",
       [](const Rig& r) { return std::vector<ItemId>{r.object}; },
       answer({{"ChoiceControl", "Enable"}}), 2 * 10,
       [](const Rig& r, const Scene& s, const RunRecord&) {
         for (ItemId bone : r.bones) ASSERT_TRUE(s.find(bone)->active);
       }},
      {"BoneSplit splits the bone before the last", "BoneSplit",
       [](const Rig& r) { return std::vector<ItemId>{r.bones[r.bones.size() - 2]}; },
       answer({{"PercentControl", "25"}}), 12,
       [&](const Rig& r, const Scene& s, const RunRecord&) {
         // Every bone is named "b": the second part is "b2", under the first.
         const ItemId second = named(s, "b2");
         EXPECT_EQ(s.parentOf(beforeLast), r.bones[r.bones.size() - 3]);
         EXPECT_EQ(s.parentOf(second), beforeLast);
         EXPECT_EQ(s.parentOf(last), second);
         EXPECT_NEAR(s.find(beforeLast)->restLength, 0.25, 1e-12);
         EXPECT_LT(distance(s.worldTip(last), lastTip), 1e-6);
       }},
      {"BoneMerge merges the last two bones", "BoneMerge",
       [&standIn](const Rig& r) {
         return std::vector<ItemId>{named(standIn.scene(), "b2"), r.bones.back()};
       },
       noAnswers(), 4,
       [&](const Rig&, const Scene& s, const RunRecord&) {
         const ItemId merged = named(s, "b2");
         EXPECT_EQ(s.find(last), nullptr);
         EXPECT_EQ(s.parentOf(merged), beforeLast);
         EXPECT_LT(distance(s.worldTip(merged), lastTip), 1e-6);
       }},
      {"BoneUnParent unparents the root bone's child", "BoneUnParent",
       [](const Rig& r) { return std::vector<ItemId>{r.bones[0]}; },
       answer({{"ChoiceControl", "Unparent"}}), 3,
       [](const Rig& r, const Scene& s, const RunRecord&) {
         EXPECT_EQ(s.parentOf(r.bones[1]), r.object);
       }},
      {"BoneUnParent recovers it", "BoneUnParent",
       [](const Rig& r) { return std::vector<ItemId>{r.bones[0]}; },
       answer({{"ChoiceControl", "Recover"}}), 3,
       [](const Rig& r, const Scene& s, const RunRecord&) {
         EXPECT_EQ(s.parentOf(r.bones[1]), r.bones[0]);
       }},
      {"QuickParent hangs the lamp from the deepest bone", "QuickParent",
       [](const Rig& r) {
         return std::vector<ItemId>{r.bones[r.bones.size() - 3], r.lamp};
       },
       noAnswers(), 2,
       [](const Rig& r, const Scene& s, const RunRecord&) {
         EXPECT_EQ(s.parentOf(r.lamp), r.bones[r.bones.size() - 3]);
         EXPECT_LT(distance(s.worldOrigin(r.lamp), {0, 0, 0}), 1e-6);
       }},
      {"CopyKey copies the deepest bones", "CopyKey",
       [](const Rig& r) {
         return std::vector<ItemId>{r.bones[r.bones.size() - 3], r.bones[r.bones.size() - 4]};
       },
       noAnswers(), 0, nullptr},
      {"CutKey cuts them", "CutKey",
       [](const Rig& r) {
         return std::vector<ItemId>{r.bones[r.bones.size() - 3], r.bones[r.bones.size() - 4]};
       },
       noAnswers(), 6, nullptr},
      {"PasteKey keys them", "PasteKey", [](const Rig& r) { return std::vector<ItemId>{r.lamp}; },
       noAnswers(), 11,
       [](const Rig& r, const Scene& s, const RunRecord&) {
         EXPECT_TRUE(s.find(r.bones[r.bones.size() - 3])->hasKeys());
       }},
  };
  const double seconds = runSteps(standIn, rig, steps, "million-bone chain");
  std::printf("[  timing  ] million-bone chain, all steps: %.3f s\n", seconds);
  EXPECT_EQ(standIn.scene().validate(), "");
}

// Rig with one bone H and 99,999 bones hanging from it, each a little off to the side.
TEST(BigRigs, EveryToolOnAHundredThousandBoneObject) {
  constexpr std::size_t kBones = 100000;
  Scene scene;
  Rig rig;
  rig.object = scene.addObject("Rig");
  rig.lamp = scene.addLight("Lamp");
  const ItemId hub = scene.addBone(rig.object, rig.object, "H");
  scene.find(hub)->restLength = 2;
  rig.bones.push_back(hub);
  for (std::size_t i = 1; i < kBones; ++i) {
    const ItemId leaf = scene.addBone(rig.object, hub, "l");
    ASSERT_NE(leaf, 0u);
    scene.setPosition(leaf, {0.001 * static_cast<double>(i % 1000), 0, 2});
    scene.find(leaf)->restPosition = {0, 0, 2};
    rig.bones.push_back(leaf);
  }
  StandIn standIn(std::move(scene));
  standIn.captureTrace = false;
  standIn.loadModule(testing_support::modulePath());
  const ItemId probe = rig.bones[54321];
  const Vec3 probeOrigin = standIn.scene().worldOrigin(probe);
  const auto leaves = [](const Rig& r) {
    return std::vector<ItemId>(r.bones.begin() + 1, r.bones.end());
  };
  // The key tools work on the selection, not the object: a thousand of its bones.
  const auto someLeaves = [](const Rig& r) {
    return std::vector<ItemId>(r.bones.end() - 1000, r.bones.end());
  };
  const auto allHangFrom = [leaves](const Rig& r, const Scene& s, ItemId parent) {
    for (ItemId leaf : leaves(r)) ASSERT_EQ(s.parentOf(leaf), parent);
  };
  const std::size_t moved = kBones - 1;

  const std::vector<Step> steps = {
      {"BoneUtil records the rest pose of every bone", "BoneUtil",
       [](const Rig& r) { return std::vector<ItemId>{r.object}; },
       answer({{"ChoiceControl", "Record rest"}}), 2 * kBones, nullptr},
      {"BoneSplit splits the hub", "BoneSplit",
       [](const Rig& r) { return std::vector<ItemId>{r.bones[0]}; },
       answer({{"PercentControl", "50"}}), 6 + 4 * moved,
       [&](const Rig& r, const Scene& s, const RunRecord&) {
         allHangFrom(r, s, named(s, "H2"));
         EXPECT_EQ(s.parentOf(named(s, "H2")), r.bones[0]);
         EXPECT_LT(distance(s.worldOrigin(probe), probeOrigin), 1e-9);
       }},
      {"BoneMerge merges the two parts", "BoneMerge",
       [&standIn](const Rig& r) {
         return std::vector<ItemId>{r.bones[0], named(standIn.scene(), "H2")};
       },
       noAnswers(), 4 + 4 * moved,
       [&](const Rig& r, const Scene& s, const RunRecord&) {
         allHangFrom(r, s, r.bones[0]);
         EXPECT_EQ(named(s, "H2"), 0u);
         EXPECT_LT(distance(s.worldOrigin(probe), probeOrigin), 1e-9);
       }},
      {"BoneUnParent unparents the merged bone's children", "BoneUnParent",
       [](const Rig& r) { return std::vector<ItemId>{r.bones[0]}; },
       answer({{"ChoiceControl", "Unparent"}}), 2 * moved + 1,
       [&](const Rig& r, const Scene& s, const RunRecord&) { allHangFrom(r, s, r.object); }},
      {"BoneUnParent recovers them", "BoneUnParent",
       [](const Rig& r) { return std::vector<ItemId>{r.bones[0]}; },
       answer({{"ChoiceControl", "Recover"}}), 2 * moved + 1,
       [&](const Rig& r, const Scene& s, const RunRecord&) { allHangFrom(r, s, r.bones[0]); }},
      {"QuickParent hangs the lamp from a bone", "QuickParent",
       [probe](const Rig& r) {
         return std::vector<ItemId>{probe, r.lamp};
       },
       noAnswers(), 2,
       [probe](const Rig& r, const Scene& s, const RunRecord&) {
         EXPECT_EQ(s.parentOf(r.lamp), probe);
       }},
      {"CopyKey copies a thousand bones", "CopyKey", someLeaves, noAnswers(), 0, nullptr},
      {"CutKey cuts them", "CutKey", someLeaves, noAnswers(), 3 * 1000, nullptr},
      {"PasteKey keys them again", "PasteKey", someLeaves, noAnswers(), 6 * 1000,
       [someLeaves](const Rig& r, const Scene& s, const RunRecord&) {
         for (ItemId leaf : someLeaves(r)) ASSERT_TRUE(s.find(leaf)->hasKeys());
       }},
  };
  const double seconds = runSteps(standIn, rig, steps, "100,000-bone object");
  std::printf("[  timing  ] 100,000-bone object, all steps: %.3f s\n", seconds);
  EXPECT_EQ(standIn.scene().validate(), "");
}

}  // namespace
