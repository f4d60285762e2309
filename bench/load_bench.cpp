// Loading scene files: .lws files whose bones all share Layout's default name, and flat JSON
// scenes. Both should grow linearly with the file.
#include <benchmark/benchmark.h>

#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "standin/files/json/scene_json.h"
#include "standin/files/lws/lws_reader.h"

namespace {

// Version 3 numbers at most 4096 bones per object, so the bones are spread over objects.
std::string sameNamedBones(long long bones) {
  std::string text = "LWSC\n3\n\nFramesPerSecond 30\n";
  for (long long b = 0; b < bones; ++b) {
    if (b % 4000 == 0) text += "\nLoadObjectLayer 1 Objects/Rig.lwo\nBoneFalloffType 5\n";
    text += "AddBone\nBoneName Bone\nShowBone 1 3\nBoneActive 1\nBoneRestLength 0.5\n";
  }
  return text;
}

std::string flatJson(long long items) {
  std::string text = "{\"items\": [\n";
  for (long long i = 0; i < items; ++i) {
    text += (i ? ",\n" : "") + std::string("{\"name\": \"Item ") + std::to_string(i) +
            "\", \"type\": \"object\", \"position\": [0, 1, 2]}";
  }
  return text + "\n]}\n";
}

void LoadLws_SameNamedBones(benchmark::State& state) {
  const std::string text = sameNamedBones(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(standin::sceneFromLws(text, "rig.lws"));
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * text.size()));
}
BENCHMARK(LoadLws_SameNamedBones)
    ->Name("LoadLws/same-names")
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

void LoadJson_FlatItems(benchmark::State& state) {
  const std::string text = flatJson(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(standin::sceneFromJson(text));
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * text.size()));
}
BENCHMARK(LoadJson_FlatItems)
    ->Name("LoadJson/flat")
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
#if defined(__GLIBC__)
  // Keep freed memory for the next load, so that every run does not pay again for faulting
  // in the pages of a scene of a million items.
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
