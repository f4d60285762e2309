#include "runner/checks/mesh_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "runner/checks/number_text.h"
#include "runner/checks/rig_snapshot.h"
#include "standin/scene/deformation.h"

namespace runner {

namespace {

// The diagonal of the box around the mesh's points as modeled.
double meshSize(const standin::Mesh& mesh) {
  if (mesh.points.empty()) return 0;
  standin::Vec3 low = mesh.points.front(), high = low;
  for (const standin::Vec3& p : mesh.points) {
    for (int a = 0; a < 3; ++a) {
      low[a] = std::min(low[a], p[a]);
      high[a] = std::max(high[a], p[a]);
    }
  }
  return boxDiagonal(low, high);
}

// The last value each map gives `point` is its weight; maps giving it 0 are left out.
std::vector<std::string> mapsOfPoint(const standin::Mesh& mesh, std::uint32_t point) {
  std::vector<std::string> names;
  for (const standin::WeightMap& map : mesh.weightMaps) {
    std::optional<float> weight;
    for (const standin::PointWeight& w : map.weights) {
      if (w.point == point) weight = w.weight;
    }
    if (weight && *weight != 0) names.push_back(map.name);
  }
  return names;
}

struct PosePair {
  standin::MeshPose before, after;
  double time = 0;
};

}  // namespace

bool MeshCheck::moved() const {
  return std::any_of(meshes.begin(), meshes.end(),
                     [&](const MeshMove& m) { return m.distance > tolerance; });
}

const MeshMove* MeshCheck::largest() const {
  const MeshMove* found = nullptr;
  for (const MeshMove& m : meshes) {
    if (m.distance > tolerance && (!found || m.distance > found->distance)) found = &m;
  }
  return found;
}

MeshCheck checkMeshes(const standin::Scene& before, bool beforeHeld, const standin::Scene& after,
                      const std::vector<double>& times, double rigTolerance, double budget) {
  MeshCheck check;
  check.tolerance = rigTolerance;
  check.timesGiven = times.size();
  std::vector<standin::ItemId> objects;
  for (standin::ItemId id : after.objectsWithFiles()) {
    const standin::ObjectMesh* now = after.objectMesh(id);
    const standin::ObjectMesh* was = before.objectMesh(id);
    if (now && now->mesh && was && was->mesh) {
      objects.push_back(id);
      check.tolerance = std::max(check.tolerance, lengthTolerance(meshSize(*now->mesh)));
    }
  }
  for (standin::ItemId id : objects) {
    const standin::MeshDeformer was(before, id);
    const standin::MeshDeformer now(after, id);
    MeshMove move;
    move.object = id;
    move.name = after.find(id)->name;
    move.points = now.mesh()->points.size();
    if (was.mesh()->points.size() != move.points) continue;  // not the same mesh: nothing to say

    // Distinct poses first (cheap: bones only), so that times at which nothing of this
    // mesh stands otherwise than at a time already taken cost no pass over the points.
    std::vector<PosePair> poses;
    std::size_t currentIndex = 0;
    const standin::MeshPose heldPose = was.poseAt(before, before.time());
    for (double t : times) {
      PosePair pair{beforeHeld ? heldPose : was.poseAt(before, t), now.poseAt(after, t), t};
      const auto same = std::find_if(poses.begin(), poses.end(), [&](const PosePair& p) {
        return p.before == pair.before && p.after == pair.after;
      });
      if (same != poses.end()) {
        ++check.timesSame;
        if (t == after.time()) currentIndex = static_cast<std::size_t>(same - poses.begin());
        continue;
      }
      if (t == after.time()) currentIndex = poses.size();
      poses.push_back(std::move(pair));
    }
    const double perTime =
        static_cast<double>(2 * move.points + was.influenceCount() + now.influenceCount());
    std::vector<standin::Vec3> a, b;  // reused from time to time
    std::vector<std::size_t> picked;
    if (static_cast<double>(poses.size()) * perTime <= budget) {
      for (std::size_t i = 0; i < poses.size(); ++i) picked.push_back(i);
    } else {
      // Half the budget for a quick look at every stride-th point at every time, half for
      // all points at the times where that look saw the largest moves (and the current time).
      const double half = budget / 2;
      const std::size_t stride =
          static_cast<std::size_t>(std::ceil(static_cast<double>(poses.size()) * perTime / half));
      check.sampleStride = std::max(check.sampleStride, stride);
      std::vector<std::pair<double, std::size_t>> looks;
      for (std::size_t i = 0; i < poses.size(); ++i) {
        was.worldPoints(poses[i].before, a, stride);
        now.worldPoints(poses[i].after, b, stride);
        double largest = 0;
        for (std::size_t p = 0; p < a.size(); ++p) {
          largest = std::max(largest, standin::length(standin::minus(b[p], a[p])));
        }
        looks.push_back({-largest, i});  // largest first, then earliest
      }
      const std::size_t keep = std::max<std::size_t>(
          1, std::min(poses.size(), static_cast<std::size_t>(half / std::max(perTime, 1.0))));
      std::partial_sort(looks.begin(), looks.begin() + static_cast<std::ptrdiff_t>(keep),
                        looks.end());
      for (std::size_t k = 0; k < keep; ++k) picked.push_back(looks[k].second);
      if (std::find(picked.begin(), picked.end(), currentIndex) == picked.end()) {
        picked.push_back(currentIndex);
      }
      std::sort(picked.begin(), picked.end());
      check.timesSampled += poses.size() - picked.size();
    }
    check.timesCompared += picked.size();

    for (std::size_t index : picked) {
      const PosePair& pair = poses[index];
      was.worldPoints(pair.before, a);
      now.worldPoints(pair.after, b);
      double largest = -1;
      std::uint32_t worst = 0;
      std::size_t beyond = 0;
      for (std::size_t p = 0; p < a.size(); ++p) {
        const double d = standin::length(standin::minus(b[p], a[p]));
        if (d > check.tolerance) ++beyond;
        if (d > largest) {
          largest = d;
          worst = static_cast<std::uint32_t>(p);
        }
      }
      // The first time of the largest move wins; poses are in time order.
      if (!(largest > move.distance)) continue;
      move.distance = largest;
      move.point = worst;
      move.before = a[worst];
      move.after = b[worst];
      move.time = pair.time;
      move.pointsMoved = beyond;
    }
    if (move.distance > 0) move.weightMaps = mapsOfPoint(*now.mesh(), move.point);
    check.meshes.push_back(std::move(move));
  }
  return check;
}

bool hasLoadedMesh(const standin::Scene& scene) {
  for (standin::ItemId id : scene.objectsWithFiles()) {
    const standin::ObjectMesh* named = scene.objectMesh(id);
    if (named && named->mesh) return true;
  }
  return false;
}

std::optional<std::size_t> pointsInWeightMap(const standin::Scene& scene, standin::ItemId object,
                                             const std::string& map) {
  const standin::ObjectMesh* named = scene.objectMesh(object);
  if (!named || !named->mesh) return std::nullopt;
  const standin::Mesh& mesh = *named->mesh;
  // The last value the map gives a point is its weight.
  std::vector<float> weight(mesh.points.size(), 0.0f);
  if (const standin::WeightMap* found = mesh.weightMap(map)) {
    for (const standin::PointWeight& w : found->weights) {
      if (w.point < weight.size()) weight[w.point] = w.weight;
    }
  }
  return static_cast<std::size_t>(
      std::count_if(weight.begin(), weight.end(), [](float w) { return w != 0; }));
}

std::string meshMoveText(const MeshMove& move) {
  std::string text = "mesh '" + move.name + "': point " + std::to_string(move.point) + " at " +
                     vectorText(move.before, 0) + " moved " + numberText(move.distance) + " at " +
                     numberText(move.time) + " s";
  if (!move.weightMaps.empty()) {
    text += " (weight map";
    text += move.weightMaps.size() == 1 ? " " : "s ";
    for (std::size_t i = 0; i < move.weightMaps.size(); ++i) {
      text += (i ? ", '" : "'") + move.weightMaps[i] + "'";
    }
    text += ")";
  } else {
    text += " (in no weight map)";
  }
  return text;
}

}  // namespace runner
