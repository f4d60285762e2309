// Hosts whose item links come round in a loop: a bone listed again after the last one, a
// parent chain that leads back to itself, a child that is its own ancestor, siblings that
// repeat. Every walk must notice and end the run instead of hanging Layout.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "standin/layout/stand_in_impl.h"
#include "support/tool_harness.h"

namespace {

using standin::Answers;
using standin::RunRecord;
using testing_support::ToolHarness;

// Rig: A with the chain B -> C and a second child K; C is inactive. Listing order A, B, C, K.
const char* const kRig = R"({"items": [
  {"name": "Rig", "type": "object"},
  {"name": "A", "type": "bone", "parent": "Rig", "position": [0, 0, 0.5], "restLength": 2},
  {"name": "B", "type": "bone", "parent": "A", "position": [0, 0, 2], "rotation": [0, 30, 0],
   "restLength": 1.5},
  {"name": "C", "type": "bone", "parent": "B", "position": [0, 0, 1.5], "active": false},
  {"name": "K", "type": "bone", "parent": "A", "position": [0.5, 0, 1]}
]})";

// The answers the damaged host gives instead of the true ones. Keys and values are item
// names; nextChild lies are keyed by "parent/child".
struct Lies {
  std::map<LWItemID, LWItemID> next, parent, firstChild;
  std::map<std::pair<LWItemID, LWItemID>, LWItemID> nextChild;
};

struct LyingHost {
  static inline Lies lies;
  static inline LWItemInfo original{};

  template <typename Map, typename Key>
  static bool lookup(const Map& map, const Key& key, LWItemID& answer) {
    const auto found = map.find(key);
    if (found == map.end()) return false;
    answer = found->second;
    return true;
  }
  static LWItemID next(LWItemID item) {
    LWItemID answer;
    return lookup(lies.next, item, answer) ? answer : original.next(item);
  }
  static LWItemID parent(LWItemID item) {
    LWItemID answer;
    return lookup(lies.parent, item, answer) ? answer : original.parent(item);
  }
  static LWItemID firstChild(LWItemID item) {
    LWItemID answer;
    return lookup(lies.firstChild, item, answer) ? answer : original.firstChild(item);
  }
  static LWItemID nextChild(LWItemID parentItem, LWItemID child) {
    LWItemID answer;
    return lookup(lies.nextChild, std::make_pair(parentItem, child), answer)
               ? answer
               : original.nextChild(parentItem, child);
  }
  static void install(standin::StandIn& standIn, Lies told) {
    lies = std::move(told);
    LWItemInfo& table = standIn.itemInfoTable();
    original = table;
    table.next = next;
    table.parent = parent;
    table.firstChild = firstChild;
    table.nextChild = nextChild;
  }
};

struct Loop {
  const char* what;
  Lies (*lies)(const ToolHarness&);
};

LWItemID item(const ToolHarness& harness, const char* name) {
  return lwItemFromNumber(harness.id(name));
}

const Loop kLoops[] = {
    {"the last bone is followed by the first again",
     [](const ToolHarness& h) {
       Lies lies;
       lies.next[item(h, "K")] = item(h, "A");
       return lies;
     }},
    {"the listing comes back to its second bone after the first",
     [](const ToolHarness& h) {
       Lies lies;
       lies.next[item(h, "B")] = item(h, "A");
       return lies;
     }},
    {"the parent chain leads back to itself",
     [](const ToolHarness& h) {
       Lies lies;
       lies.parent[item(h, "A")] = item(h, "C");
       return lies;
     }},
    {"a bone is its own parent",
     [](const ToolHarness& h) {
       Lies lies;
       lies.parent[item(h, "B")] = item(h, "B");
       return lies;
     }},
    {"a child is its own ancestor",
     [](const ToolHarness& h) {
       Lies lies;
       lies.firstChild[item(h, "C")] = item(h, "A");
       return lies;
     }},
    {"siblings repeat",
     [](const ToolHarness& h) {
       Lies lies;
       lies.nextChild[{item(h, "A"), item(h, "K")}] = item(h, "B");
       return lies;
     }},
};

struct Scenario {
  const char* what;
  const char* tool;
  std::vector<std::string> selection;
  Answers answers;
};

const Scenario kScenarios[] = {
    {"BoneUtil enables the object", "BoneUtil", {"Rig"}, {true, {{"ChoiceControl", "Enable"}}}},
    {"BoneUtil restores rest from a bone",
     "BoneUtil",
     {"B"},
     {true, {{"ChoiceControl", "Restore rest"}}}},
    {"BoneSplit splits B", "BoneSplit", {"B"}, {true, {{"PercentControl", "40"}}}},
    {"BoneMerge merges B and C", "BoneMerge", {"B", "C"}, {}},
    {"BoneUnParent unparents A", "BoneUnParent", {"A"}, {true, {{"ChoiceControl", "Unparent"}}}},
};

// Runs the tool on another thread and gives it a deadline: a walk that never ends must
// fail this test, not hang the whole suite.
RunRecord runWithDeadline(ToolHarness& harness, const Scenario& scenario, const std::string& what) {
  std::packaged_task<RunRecord()> task(
      [&] { return harness.run(scenario.tool, scenario.answers); });
  std::future<RunRecord> result = task.get_future();
  std::thread worker(std::move(task));
  if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    // Standard output: the run has standard error redirected to catch its trace.
    std::printf("%s: the run did not end\n", what.c_str());
    std::fflush(stdout);
    std::_Exit(1);  // the worker cannot be stopped; leave before it hangs the suite
  }
  worker.join();
  return result.get();
}

TEST(LoopingHost, EveryWalkNoticesTheLoopAndEndsTheRun) {
  for (const Scenario& scenario : kScenarios) {
    ToolHarness sound(kRig);
    sound.select(scenario.selection);
    const RunRecord healthy = sound.run(scenario.tool, scenario.answers);

    for (const Loop& loop : kLoops) {
      const std::string what = std::string(scenario.what) + ", " + loop.what;
      ToolHarness harness(kRig);
      harness.select(scenario.selection);
      LyingHost::install(harness.standIn(), loop.lies(harness));
      const RunRecord record = runWithDeadline(harness, scenario, what);
      EXPECT_EQ(record.result, 0) << what;
      // Seen within a few rounds: a handful of times the queries of a sound run.
      EXPECT_LE(record.hostCalls, 3 * healthy.hostCalls + 50) << what;
      // BoneUtil may act on a few bones a second time before the loop shows; its actions
      // give the same result when repeated.
      EXPECT_LE(record.commands.size(), 2 * healthy.commands.size()) << what;
      EXPECT_EQ(harness.scene().validate(), "") << what;
    }
  }
}

}  // namespace
