// Mesh points at the scene's current time.
#include "standin/scene/deformation.h"

namespace standin {

// For now the mesh moves with its object only; bones come next.
std::vector<Vec3> deformedWorldPoints(const Scene& scene, ItemId object) {
  std::vector<Vec3> points;
  const ObjectMesh* objectMesh = scene.objectMesh(object);
  if (!objectMesh || !objectMesh->mesh) return points;
  const Mat4 world = scene.worldMatrix(object);
  points.reserve(objectMesh->mesh->points.size());
  for (const Vec3& p : objectMesh->mesh->points) points.push_back(transformPoint(world, p));
  return points;
}

}  // namespace standin
