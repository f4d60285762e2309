// Every tool on rigs of 1,000, 10,000 and 100,000 bones, as a fan (every bone but one
// hanging from one bone) and as a chain; the key tools and PasteKeyMirror also on a chain of
// left bones beside its mirror image (`sided-chain`). Each benchmark reports the time of one
// activation and, per activation, the host calls (item and bone queries) and commands. The rig is
// built, and restored after a tool that changes it, outside the timed region.
//
// Each tool works on the last bone listed, B, and its parent P: BoneSplit splits B,
// BoneSubdivide cuts B into ten, BoneMerge merges P and B, BoneUnParent unparents P's children,
// QuickParent hangs a lamp from B, BoneUtil enables the whole object, and the key tools take every
// bone.
//
// Benchmarks are named by what they measure: TOOL/SHAPE/BONES ("BoneSplit/fan/100000"),
// with the parts for BoneSubdivide ("BoneSubdivide/fan/100000/n=10"), ListBones/BONES, and
// FindNewBone/SEARCH/BONES. The report's "Time" column is wall-clock time, "CPU" the process's;
// UseRealTime is left off because it adds "/real_time" to names.
//
// FindNewBone compares addBoneAndFind (the new listing walked beside the old one) with
// the plain linear search it replaced, on the same rigs.
#include <benchmark/benchmark.h>

#include <cstdio>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <map>
#include <string>
#include <vector>

#include "module/module.h"
#include "module/module_state.h"
#include "scene/item_helpers.h"
#include "standin/layout/stand_in.h"

namespace {

using standin::ItemId;
using standin::RunRecord;
using standin::Scene;
using standin::StandIn;

// A sided chain is a chain of bones named L_b0, L_b1, ... with its mirror image R_b0, R_b1,
// ... beside it; only the left chain counts as the rig's bones (the key tools take it).
enum Shape { kFan = 0, kChain = 1, kSidedChain = 2 };

const char* shapeName(Shape shape) {
  return shape == kFan ? "fan" : shape == kChain ? "chain" : "sided-chain";
}

struct Rig {
  Scene scene;
  ItemId object = 0, lamp = 0;
  std::vector<ItemId> bones;  // listing order
};

Rig buildRig(Shape shape, std::size_t count) {
  Rig rig;
  rig.object = rig.scene.addObject("Rig");
  rig.lamp = rig.scene.addLight("Lamp");
  rig.bones.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    ItemId parent = rig.object;
    if (i > 0) parent = shape == kFan ? rig.bones.front() : rig.bones.back();
    const std::string name = shape == kSidedChain ? "L_b" + std::to_string(i) : "b";
    const ItemId bone = rig.scene.addBone(rig.object, parent, name);
    rig.scene.setPosition(bone, {0.001 * static_cast<double>(i % 100), 0, 1});
    rig.scene.createKey(bone, 0);
    rig.bones.push_back(bone);
  }
  if (shape != kSidedChain) return rig;
  ItemId parent = rig.object;
  for (std::size_t i = 0; i < count; ++i) {
    parent = rig.scene.addBone(rig.object, parent, "R_b" + std::to_string(i));
    rig.scene.setPosition(parent, {-0.001 * static_cast<double>(i % 100), 0, 1});
    rig.scene.createKey(parent, 0);
  }
  return rig;
}

// Rigs are built once per shape and size and kept for the whole run.
const Rig& rigFor(Shape shape, std::size_t count) {
  static std::map<std::pair<int, std::size_t>, Rig> rigs;
  auto found = rigs.find({shape, count});
  if (found == rigs.end())
    found = rigs.emplace(std::make_pair(shape, count), buildRig(shape, count)).first;
  return found->second;
}

struct Tool {
  const char* server;
  bool changesRig;  // restore the rig before every activation
  std::vector<ItemId> (*selection)(const Rig&);
  standin::Answers answers;
};

std::vector<ItemId> lastBone(const Rig& r) { return {r.bones.back()}; }
std::vector<ItemId> lastPair(const Rig& r) {
  const ItemId b = r.bones.back();
  return {r.scene.parentOf(b), b};
}
std::vector<ItemId> lastParent(const Rig& r) { return {r.scene.parentOf(r.bones.back())}; }
std::vector<ItemId> objectOnly(const Rig& r) { return {r.object}; }
std::vector<ItemId> lastBoneAndLamp(const Rig& r) { return {r.bones.back(), r.lamp}; }
std::vector<ItemId> allBones(const Rig& r) { return r.bones; }

standin::Answers answer(const char* control, const char* value) {
  return standin::Answers{true, {{control, value}}};
}

const Tool kTools[] = {
    {"Vorrik:BoneUtil", false, objectOnly, answer("ChoiceControl", "Enable")},
    {"Vorrik:BoneSplit", true, lastBone, answer("PercentControl", "50")},
    {"Vorrik:BoneMerge", true, lastPair, {}},
    {"Vorrik:BoneUnParent", true, lastParent, answer("ChoiceControl", "Unparent")},
    {"Vorrik:QuickParent", false, lastBoneAndLamp, {}},
    {"Vorrik:CopyKey", false, allBones, {}},
    {"Vorrik:CutKey", true, allBones, {}},
    {"Vorrik:PasteKey", false, allBones, {}},
    {"Vorrik:PasteKeyMirror", false, allBones, {}},
};

// Measured apart from the others: its name carries the number of parts.
const Tool kSubdivide = {"Vorrik:BoneSubdivide", true, lastBone, answer("MiniSliderControl", "10")};

void select(Scene& scene, const std::vector<ItemId>& items) {
  scene.clearSelection();
  for (ItemId item : items) scene.addToSelection(item);
}

void runTool(benchmark::State& state, const Tool& tool, Shape shape, std::size_t count) {
  const Rig& rig = rigFor(shape, count);
  StandIn standIn(rig.scene);
  standIn.captureTrace = false;
  standIn.recordEvents = false;
  standIn.attachModule(&_mod_descrip);
  vorrik::moduleState().clipboard.clear();
  vorrik::moduleState().unparentRecord.reset();
  const std::vector<ItemId> selection = tool.selection(rig);
  const std::string server = tool.server;
  if (server == "Vorrik:PasteKey" || server == "Vorrik:PasteKeyMirror") {
    select(standIn.scene(), selection);
    standIn.activate("Vorrik:CopyKey");
  }
  double hostCalls = 0, commands = 0;
  RunRecord record;
  for (auto _ : state) {
    state.PauseTiming();
    if (tool.changesRig) standIn.scene() = rig.scene;
    select(standIn.scene(), selection);
    state.ResumeTiming();
    record = standIn.activate(tool.server, tool.answers);
    state.PauseTiming();
    hostCalls += static_cast<double>(record.hostCalls);
    commands += static_cast<double>(record.commands.size());
    if (record.result != 0 || (!record.messages.empty() && record.messages[0].kind == "info")) {
      state.SkipWithError("the tool refused");
    }
    record = RunRecord{};  // freeing the record of every command is not the tool's time
    state.ResumeTiming();
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["bones"] = static_cast<double>(count);
  state.counters["host_calls"] = hostCalls / runs;
  state.counters["calls_per_bone"] = hostCalls / runs / static_cast<double>(count);
  state.counters["commands"] = commands / runs;
  state.SetLabel(shapeName(shape));
}

void registerTool(const Tool& tool, Shape shape, std::size_t count, const char* suffix = "") {
  const std::string name = std::string(tool.server).substr(std::string("Vorrik:").size()) + "/" +
                           shapeName(shape) + "/" + std::to_string(count) + suffix;
  benchmark::RegisterBenchmark(name.c_str(), [&tool, shape, count](benchmark::State& state) {
    runTool(state, tool, shape, count);
  })->Unit(benchmark::kMillisecond);
}

// The host alone: one pass over the object's bones (first, then next for each), the scan
// every bone tool makes. What a host call costs as the rig grows, without any tool.
void runListBones(benchmark::State& state, std::size_t count) {
  const Rig& rig = rigFor(kChain, count);
  StandIn standIn(rig.scene);
  standIn.captureTrace = false;
  const LWItemID object = lwItemFromNumber(rig.object);
  std::size_t calls = 0;
  for (auto _ : state) {
    const RunRecord record = standIn.runDirect([&](GlobalFunc* global, LWLayoutGeneric* local) {
      const vorrik::Host host(vorrik::acquireHostServices(global, vorrik::ExtraServices::None),
                              local);
      for (LWItemID bone = host.first(LWI_BONE, object); bone != LWITEM_NULL;
           bone = host.next(bone)) {
        benchmark::DoNotOptimize(bone);
      }
    });
    calls = record.hostCalls;
  }
  state.counters["bones"] = static_cast<double>(count);
  state.counters["host_calls"] = static_cast<double>(calls);
}

// --- finding the new bone ---

// The plain search: for each bone listed after the add, scan the bones listed before; the
// first not found is the new one.
LWItemID findLinearly(const vorrik::Host& host, LWItemID owner, LWItemID parentItem) {
  std::vector<LWItemID> before;
  for (LWItemID bone = host.first(LWI_BONE, owner); bone != LWITEM_NULL; bone = host.next(bone)) {
    before.push_back(bone);
  }
  host.send("SelectItem %x", vorrik::idArg(parentItem));
  if (host.type(parentItem) == LWI_BONE) {
    host.send("AddChildBone Bone");
  } else {
    host.send("AddBone Bone");
  }
  for (LWItemID bone = host.first(LWI_BONE, owner); bone != LWITEM_NULL; bone = host.next(bone)) {
    bool seen = false;
    for (LWItemID old : before) {
      if (old == bone) {
        seen = true;
        break;
      }
    }
    if (!seen) return bone;
  }
  return LWITEM_NULL;
}

void runFindNewBone(benchmark::State& state, bool linear, std::size_t count) {
  const Rig& rig = rigFor(kFan, count);
  StandIn standIn(rig.scene);
  standIn.captureTrace = false;
  const LWItemID object = lwItemFromNumber(rig.object);
  for (auto _ : state) {
    state.PauseTiming();
    standIn.scene() = rig.scene;
    state.ResumeTiming();
    LWItemID found = LWITEM_NULL;
    standIn.runDirect([&](GlobalFunc* global, LWLayoutGeneric* local) {
      const vorrik::Host host(vorrik::acquireHostServices(global, vorrik::ExtraServices::None),
                              local);
      found = linear ? findLinearly(host, object, object)
                     : vorrik::addBoneAndFind(host, object, object, "Bone");
    });
    if (found == LWITEM_NULL) state.SkipWithError("no new bone");
  }
  state.counters["bones"] = static_cast<double>(count);
  state.SetLabel(linear ? "linear search" : "walk beside the old listing");
}

void registerBenchmarks() {
  for (const Tool& tool : kTools) {
    for (Shape shape : {kFan, kChain}) {
      for (std::size_t count : {1000, 10000, 100000}) registerTool(tool, shape, count);
    }
  }
  for (Shape shape : {kFan, kChain}) {
    for (std::size_t count : {1000, 10000, 100000}) {
      registerTool(kSubdivide, shape, count, "/n=10");
    }
  }
  // A million-bone chain for the tools that walk or scan it, to see the growth past 100,000.
  for (std::size_t t = 0; t < 3; ++t) registerTool(kTools[t], kChain, 1000000);
  // The tools that read where items sit relative to their nearest centre item, on a chain
  // where every bone has a side (that item is the object for all of them).
  for (const Tool& tool : kTools) {
    const std::string server = tool.server;
    if (server != "Vorrik:CopyKey" && server != "Vorrik:CutKey" &&
        server != "Vorrik:PasteKeyMirror") {
      continue;
    }
    for (std::size_t count : {1000, 10000, 100000}) registerTool(tool, kSidedChain, count);
  }

  for (std::size_t count : {1000, 10000, 100000, 1000000}) {
    benchmark::RegisterBenchmark(("ListBones/" + std::to_string(count)).c_str(),
                                 [count](benchmark::State& state) { runListBones(state, count); })
        ->Unit(benchmark::kMillisecond);
  }
  for (bool linear : {false, true}) {
    for (std::size_t count : {1000, 10000, 100000}) {
      const std::string name = std::string("FindNewBone/") +
                               (linear ? "linear-search/" : "walk-beside/") + std::to_string(count);
      benchmark::RegisterBenchmark(name.c_str(), [linear, count](benchmark::State& state) {
        runFindNewBone(state, linear, count);
      })->Unit(benchmark::kMillisecond);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
#if defined(__GLIBC__)
  // Keep freed memory for the next run instead of handing it back to the system after
  // every activation, as the long-lived heap of a running Layout would: otherwise each run
  // of a big rig pays again for faulting in the pages its records take.
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
#endif
  // The module's trace lines would swamp the report; the FILE it writes to goes nowhere.
  // Google Benchmark's own output is unaffected.
  if (FILE* nowhere = std::fopen("/dev/null", "w")) stderr = nowhere;
  registerBenchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
