// Where the points of an object's mesh are at the scene's current time, as its bones move
// them. Both the pictures and the rig check read meshes through here, so they always agree.
// docs/deformation.md says what is computed, which parts are Layout's documented behaviour
// and which are this model's own choices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "standin/scene/scene.h"

namespace standin {

// The points of `object`'s loaded mesh at the scene's current time, in world space, in the
// mesh's point order. Empty when the object has no loaded mesh.
std::vector<Vec3> deformedWorldPoints(const Scene& scene, ItemId object);

// Where an object and its bones are at one time: what posing the mesh needs.
struct MeshPose {
  Mat4 objectWorld{};
  std::vector<Mat4> deformations;  // per bone of the deformer: current x rest^-1, object space

  bool operator==(const MeshPose& o) const {
    return objectWorld == o.objectWorld && deformations == o.deformations;
  }
};

// What an object's bones do to its mesh that does not change over time: the bones' rest
// frames and each point's share in each bone that moves it. Built once from a scene's rest
// pose and settings (points x bones), it poses the mesh at any time in points x the bones
// that influence each point.
class MeshDeformer {
public:
  MeshDeformer(const Scene& scene, ItemId object);

  // A bone's share in one point; shares of normalised bones add up to 1 per point.
  struct Influence {
    std::uint32_t bone = 0;  // index into bones()
    double share = 0;
  };

  bool hasMesh() const { return mesh_ != nullptr; }
  const Mesh* mesh() const { return mesh_.get(); }
  ItemId object() const { return object_; }
  // The object's active bones that move at least one point, in listing order.
  const std::vector<ItemId>& bones() const { return bones_; }
  std::size_t influenceCount() const { return influences_.size(); }
  // The influences of point `p` (shares below a billionth are left out).
  const Influence* influencesBegin(std::size_t p) const { return influences_.data() + start_[p]; }
  const Influence* influencesEnd(std::size_t p) const { return influences_.data() + start_[p + 1]; }

  // The object and bones of `scene` at `time` (the scene's current values at its own time).
  // `scene` must hold the object and the bones this deformer was built for.
  MeshPose poseAt(const Scene& scene, double time) const;
  // The mesh's points in world space in that pose.
  std::vector<Vec3> worldPoints(const MeshPose& pose) const;
  // The same into `out`, whose storage is reused: posing a big mesh at many times then
  // allocates (and faults in) its memory once. With a `stride`, only every stride-th point
  // (0, stride, 2 x stride, ...), for a quick look over many times.
  void worldPoints(const MeshPose& pose, std::vector<Vec3>& out, std::size_t stride = 1) const;
  std::vector<Vec3> worldPointsAt(const Scene& scene, double time) const {
    return worldPoints(poseAt(scene, time));
  }

private:
  std::shared_ptr<const Mesh> mesh_;
  ItemId object_ = 0;
  std::vector<ItemId> bones_;
  std::vector<Mat4> restInverse_;     // per bone, object space
  std::vector<std::uint32_t> start_;  // per point, into influences_; one more at the end
  std::vector<Influence> influences_;
  std::vector<double> unmoved_;  // per point: the share that only follows the object
};

// The item's placement in the world at `time`, built from the values the scene answers for
// that time: the same as Scene::worldMatrix at the scene's own time.
Mat4 worldMatrixAt(const Scene& scene, ItemId id, double time);

// One kind of bone setting the deformation does not carry out, and how often the scene has
// it: "joint compensation on 2 bones is not modelled".
struct UnmodelledDeformation {
  std::string feature;  // "joint compensation"
  std::size_t count = 0;
  std::string unit;  // "bone" or "object" or "weight map"; made plural by text()

  std::string text() const;
};

// The kinds present in `scene`, each once, in a fixed order.
std::vector<UnmodelledDeformation> unmodelledDeformation(const Scene& scene);

}  // namespace standin
