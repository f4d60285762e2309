// Deforming a mesh with its bones: an arm of four bones in a tube of N points, each point in
// the weight maps of the one or two bones it sits by, against a bare pass that only moves
// the points with their object. Both should grow linearly with the points.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>

#include "standin/scene/deformation.h"

namespace {

constexpr int kRingPoints = 16;

// A tube around the z axis from 0 to 3.5, bones Upper (0..1), Lower (1..2), Hand (2..3),
// Finger (3..3.5), each with a map that is 1 along its bone and fades over the next.
standin::Scene armScene(long long points) {
  standin::Scene scene;
  const standin::ItemId arm = scene.addObject("Arm");
  auto mesh = std::make_shared<standin::Mesh>();
  const char* names[4] = {"Upper", "Lower", "Hand", "Finger"};
  const double starts[5] = {0, 1, 2, 3, 3.5};
  for (const char* name : names) mesh->weightMaps.push_back({name, {}, {}});
  const long long rings = (points + kRingPoints - 1) / kRingPoints;
  for (long long i = 0; i < points; ++i) {
    const long long ring = i / kRingPoints;
    const double angle = 2 * 3.14159265358979 * static_cast<double>(i % kRingPoints) / kRingPoints;
    const double z =
        3.5 * static_cast<double>(ring) / static_cast<double>(std::max(1LL, rings - 1));
    mesh->points.push_back({0.2 * std::cos(angle), 0.2 * std::sin(angle), z});
    for (int b = 0; b < 4; ++b) {
      // 1 inside the bone, a linear fade over a quarter of a unit either side.
      const double outside = std::max(starts[b] - z, z - starts[b + 1]);
      const double w = outside <= 0 ? 1.0 : std::max(0.0, 1 - outside / 0.25);
      if (w > 0) {
        mesh->weightMaps[static_cast<std::size_t>(b)].weights.push_back(
            {static_cast<std::uint32_t>(i), static_cast<float>(w)});
      }
    }
  }
  standin::ObjectMesh named;
  named.file = "Objects/Arm.lwo";
  named.mesh = mesh;
  scene.setObjectMesh(arm, named);
  standin::ItemId parent = arm;
  for (int b = 0; b < 4; ++b) {
    const standin::ItemId bone = scene.addBone(arm, parent, names[b]);
    standin::Item& item = *scene.find(bone);
    item.restPosition = {0, 0, b == 0 ? 0.0 : starts[b] - starts[b - 1]};
    item.restLength = starts[b + 1] - starts[b];
    item.deformation.weightMap = names[b];
    scene.setPosition(bone, item.restPosition);
    scene.setRotation(bone, {0, b == 0 ? 0.0 : 0.4, 0});
    parent = bone;
  }
  scene.setRotation(arm, {0.3, 0, 0});
  return scene;
}

standin::ItemId armOf(const standin::Scene& scene) { return scene.findByName("Arm"); }

// Binding and posing, as one call of the pictures would make.
void Deform_Whole(benchmark::State& state) {
  const standin::Scene scene = armScene(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(standin::deformedWorldPoints(scene, armOf(scene)));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Deform_Whole)
    ->Name("Deform/bind-and-pose")
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

// Posing alone, with the binding made once, as the mesh check does at each time.
void Deform_Pose(benchmark::State& state) {
  const standin::Scene scene = armScene(state.range(0));
  const standin::MeshDeformer deformer(scene, armOf(scene));
  for (auto _ : state) benchmark::DoNotOptimize(deformer.worldPointsAt(scene, scene.time()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["influences/point"] =
      static_cast<double>(deformer.influenceCount()) / static_cast<double>(state.range(0));
}
BENCHMARK(Deform_Pose)
    ->Name("Deform/pose")
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

// The points through the object's world matrix into a new array, and nothing else.
void Deform_BarePass(benchmark::State& state) {
  const standin::Scene scene = armScene(state.range(0));
  const standin::Mat4 world = scene.worldMatrix(armOf(scene));
  const std::vector<standin::Vec3>& points = scene.objectMesh(armOf(scene))->mesh->points;
  for (auto _ : state) {
    std::vector<standin::Vec3> out;
    out.reserve(points.size());
    for (const standin::Vec3& p : points) out.push_back(standin::transformPoint(world, p));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Deform_BarePass)
    ->Name("Deform/bare-pass")
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
