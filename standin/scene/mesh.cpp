// Meshes and what objects say about their object files.
#include "standin/scene/mesh.h"

#include <utility>

#include "standin/scene/scene.h"

namespace standin {

const WeightMap* Mesh::weightMap(const std::string& name) const {
  for (const WeightMap& map : weightMaps) {
    if (map.name == name) return &map;
  }
  return nullptr;
}

const ObjectMesh* Scene::objectMesh(ItemId object) const {
  if (typeOf(object) != static_cast<int>(ItemType::Object)) return nullptr;
  const auto found = meshes_.find(object);
  return found == meshes_.end() ? nullptr : &found->second;
}

bool Scene::setObjectMesh(ItemId object, ObjectMesh mesh) {
  if (typeOf(object) != static_cast<int>(ItemType::Object)) return false;
  meshes_[object] = std::move(mesh);
  return true;
}

std::vector<ItemId> Scene::objectsWithFiles() const {
  std::vector<ItemId> objects;
  for (ItemId id = first(ItemType::Object, 0); id != 0; id = next(id)) {
    if (meshes_.count(id) != 0) objects.push_back(id);
  }
  return objects;
}

}  // namespace standin
