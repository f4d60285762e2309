// The mesh side of the rig check: how far a run moved the points of each loaded mesh, at
// the times the rig check looks at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "standin/scene/scene.h"

namespace runner {

// One mesh's largest point move over the times compared.
struct MeshMove {
  standin::ItemId object = 0;
  std::string name;
  std::size_t points = 0;
  double distance = 0;      // the largest move of any point (0 when none moved)
  std::uint32_t point = 0;  // that point's index in the mesh
  standin::Vec3 before{0, 0, 0}, after{0, 0, 0};  // where it was and is (world) at `time`
  double time = 0;                                // the first time of that move
  std::vector<std::string> weightMaps;            // the maps that give that point a weight
  std::size_t pointsMoved = 0;                    // points beyond the tolerance at `time`
};

struct MeshCheck {
  double tolerance = 0;
  std::vector<MeshMove> meshes;   // objects with a loaded mesh before and after, listing order
  std::size_t timesGiven = 0;     // the rig check's times
  std::size_t timesCompared = 0;  // times whose points were all compared (summed)
  std::size_t timesSame = 0;      // times skipped: every bone and the object stood as at a
                                  // time already compared
  std::size_t timesSampled = 0;   // times looked at through every sampleStride-th point only,
  std::size_t sampleStride = 0;   // to keep within the work budget (0: none)
  // The points moved only with changes the run was asked to make (run_intent.h).
  bool intended = false;

  bool moved() const;               // some point moved more than the tolerance
  const MeshMove* largest() const;  // the mesh with the largest move, null when none moved
};

// Points compared plus their bone influences, summed over the times of one mesh, beyond
// which most times are looked at through a sample of the points only: all points are
// compared at the times where the sample moved most and at the current time.
constexpr double kMeshCheckBudget = 1.2e8;

// Compares each mesh as `before` deforms it with how `after` does at each of `times` (when
// `beforeHeld`, `before` has no keys and counts as it stands at every time). `rigTolerance`
// is the rig check's; a mesh bigger than the rig gets a tolerance from its own size.
MeshCheck checkMeshes(const standin::Scene& before, bool beforeHeld, const standin::Scene& after,
                      const std::vector<double>& times, double rigTolerance,
                      double budget = kMeshCheckBudget);

// Whether any object of the scene has a loaded mesh.
bool hasLoadedMesh(const standin::Scene& scene);

// How many points of the object's loaded mesh have a weight in the named map (0 when the
// mesh has no such map); nothing when the object has no loaded mesh.
std::optional<std::size_t> pointsInWeightMap(const standin::Scene& scene, standin::ItemId object,
                                             const std::string& map);

// "mesh 'Body': point 17 at (0, 1.5, 0) moved 0.25 at 1 s (weight maps 'Arm', 'Hand')"
std::string meshMoveText(const MeshMove& move);

}  // namespace runner
