// Bone deformation of meshes: the binding (what depends on the rest pose only) and the pose.
#include "standin/scene/deformation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

namespace standin {

namespace {

// Distances below this are taken as this, so that a point on a bone gets a finite weight.
constexpr double kNearest = 1e-9;
// Shares smaller than this move a point by less than a billionth of the bone's motion.
constexpr double kSmallestShare = 1e-9;
// Bones that keep their weight per point in the faster mode.
constexpr std::size_t kFasterBones = 4;

// Item frame to parent frame from the values at one time, as Scene::worldMatrix builds it:
// T(position) R(rotation) R(pivot rotation) S(scale) T(-pivot).
Mat4 localAt(const Scene& scene, const Item& item, double time) {
  const Vec3 position = scene.param(item.id, kPosition, time);
  const Vec3 rotation = scene.param(item.id, kRotation, time);
  const Vec3 scale = scene.param(item.id, kScaling, time);
  Mat4 m = multiplyAffine(rotationHPB(rotation), rotationHPB(item.pivotRotation));
  for (int row = 0; row < 3; ++row) {
    m[4 * row + 0] *= scale[0];
    m[4 * row + 1] *= scale[1];
    m[4 * row + 2] *= scale[2];
  }
  const Vec3 shifted = applyLinear(m, item.pivot);
  m[3] = position[0] - shifted[0];
  m[7] = position[1] - shifted[1];
  m[11] = position[2] - shifted[2];
  return m;
}

// A bone's rest frame relative to its parent.
Mat4 restLocal(const Item& bone) {
  Mat4 m = rotationHPB(bone.restRotation);
  m[3] = bone.restPosition[0];
  m[7] = bone.restPosition[1];
  m[11] = bone.restPosition[2];
  return m;
}

// Frames of every bone of `object` in object space, each made from its parent's by `local`.
// Parents are reached through a memo, not recursion: chains may be very deep.
template <typename Local>
std::unordered_map<ItemId, Mat4> boneFrames(const Scene& scene, ItemId object, Local local) {
  std::unordered_map<ItemId, Mat4> frames;
  std::vector<const Item*> chain;
  for (ItemId id = scene.first(ItemType::Bone, object); id; id = scene.next(id)) {
    chain.clear();
    const Item* bone = scene.find(id);
    while (bone && bone->type == ItemType::Bone && !frames.count(bone->id)) {
      chain.push_back(bone);
      bone = scene.find(bone->parent);
    }
    Mat4 frame = bone && bone->type == ItemType::Bone ? frames[bone->id] : identity();
    for (auto at = chain.rbegin(); at != chain.rend(); ++at) {
      frame = multiplyAffine(frame, local(**at));
      frames[(*at)->id] = frame;
    }
  }
  return frames;
}

// A weight map as one value per point (0 for points it does not list).
std::vector<float> denseWeights(const WeightMap& map, std::size_t pointCount) {
  std::vector<float> dense(pointCount, 0.0f);
  for (const PointWeight& w : map.weights) {
    if (w.point < pointCount) dense[w.point] = w.weight;
  }
  return dense;
}

// What one bone brings to the weights of every point.
struct BoneBinding {
  Vec3 start{0, 0, 0}, segment{0, 0, 0};  // rest segment from start to start + segment
  double segmentLengthSquared = 0;
  double strength = 1;             // strength, times the rest length when so set
  const float* weights = nullptr;  // the bone's weight map per point, null for none
  bool weightMapOnly = false;
  bool normalized = true;
  bool limitedRange = false;
  double minRange = 0, maxRange = 1;
};

double distanceToSegment(const BoneBinding& b, const Vec3& p) {
  const Vec3 from = minus(p, b.start);
  double along = 0;
  if (b.segmentLengthSquared > 0) {
    along = std::clamp(dot(from, b.segment) / b.segmentLengthSquared, 0.0, 1.0);
  }
  return length(minus(from, scaled(b.segment, along)));
}

// 1 within the inner radius, 0 beyond the outer, a straight fade between.
double rangeFactor(const BoneBinding& b, double distance) {
  if (!b.limitedRange) return 1;
  if (distance <= b.minRange) return 1;
  if (distance >= b.maxRange) return 0;
  return (b.maxRange - distance) / (b.maxRange - b.minRange);
}

}  // namespace

Mat4 worldMatrixAt(const Scene& scene, ItemId id, double time) {
  Mat4 world = identity();
  for (const Item* item = scene.find(id); item; item = scene.find(item->parent)) {
    world = multiplyAffine(localAt(scene, *item, time), world);
  }
  return world;
}

MeshDeformer::MeshDeformer(const Scene& scene, ItemId object) : object_(object) {
  const ObjectMesh* named = scene.objectMesh(object);
  if (!named || !named->mesh) return;
  mesh_ = named->mesh;
  const Mesh& mesh = *mesh_;
  const std::size_t pointCount = mesh.points.size();
  const ObjectBoneSettings& settings = scene.find(object)->boneSettings;
  const double exponent = std::ldexp(1.0, std::clamp(settings.falloffType, 1, 8) - 1);

  const auto rest = boneFrames(scene, object, restLocal);
  std::unordered_map<std::string, std::vector<float>> maps;
  std::vector<BoneBinding> bindings;
  for (ItemId id = scene.first(ItemType::Bone, object); id; id = scene.next(id)) {
    const Item& bone = *scene.find(id);
    if (!bone.active) continue;  // an inactive bone is left out of the deformation
    const Mat4& frame = rest.at(id);
    BoneBinding b;
    b.start = {frame[3], frame[7], frame[11]};
    b.segment = scaled(column(frame, 2), bone.restLength);
    b.segmentLengthSquared = dot(b.segment, b.segment);
    b.strength = bone.strength * (bone.scaleStrength ? bone.restLength : 1);
    const BoneDeformation& d = bone.deformation;
    if (!d.weightMap.empty()) {
      auto found = maps.find(d.weightMap);
      if (found == maps.end()) {
        const WeightMap* map = mesh.weightMap(d.weightMap);
        // A map the mesh lacks lists no point: every point weighs 0 in it.
        found = maps.emplace(d.weightMap, map ? denseWeights(*map, pointCount)
                                              : std::vector<float>(pointCount, 0.0f))
                    .first;
      }
      b.weights = found->second.data();
      b.weightMapOnly = d.weightMapOnly;
      b.normalized = d.normalization || !d.weightMapOnly;
    }
    b.limitedRange = d.limitedRange;
    b.minRange = std::min(d.minRange, d.maxRange);
    b.maxRange = d.maxRange;
    bindings.push_back(b);
    bones_.push_back(id);
    restInverse_.push_back(inverseAffine(frame));
  }

  const int mode = settings.mode();
  std::size_t kept = bindings.size();
  if (mode == kBoneModeFaster) kept = std::min(kept, kFasterBones);
  if (mode == kBoneModeLimited) {
    kept = std::min(kept, static_cast<std::size_t>(std::max(1, settings.numLimitedBones)));
  }

  const std::size_t boneCount = bindings.size();
  std::vector<double> logDistance(boneCount), range(boneCount), weight(boneCount);
  std::vector<std::uint32_t> order(boneCount);
  std::vector<bool> used(boneCount, false);
  start_.reserve(pointCount + 1);
  unmoved_.reserve(pointCount);
  start_.push_back(0);
  for (std::size_t p = 0; p < pointCount; ++p) {
    const Vec3& point = mesh.points[p];
    // Distance weights are taken relative to the nearest bone's, which keeps them finite for
    // every falloff (d^-128 overflows) and comparable with weight-map-only weights.
    double nearest = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < boneCount; ++i) {
      const BoneBinding& b = bindings[i];
      const bool byDistance = !b.weightMapOnly;
      if (!byDistance && !b.limitedRange) continue;
      const double distance = distanceToSegment(b, point);
      range[i] = rangeFactor(b, distance);
      logDistance[i] = std::log(std::max(distance, kNearest));
      if (byDistance && range[i] > 0) nearest = std::min(nearest, logDistance[i]);
    }
    for (std::size_t i = 0; i < boneCount; ++i) {
      const BoneBinding& b = bindings[i];
      const double map = b.weights ? b.weights[p] : 1.0;
      const double fade = b.limitedRange ? range[i] : 1.0;
      if (b.weightMapOnly) {
        weight[i] = map * fade;
      } else {
        weight[i] = fade > 0
                        ? map * fade * b.strength * std::exp(-exponent * (logDistance[i] - nearest))
                        : 0.0;
      }
      order[i] = static_cast<std::uint32_t>(i);
    }
    // The faster and limited modes keep the largest weights (by size) and drop the rest.
    std::size_t count = boneCount;
    if (kept < boneCount) {
      std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(kept),
                        order.end(), [&](std::uint32_t a, std::uint32_t b) {
                          const double wa = std::abs(weight[a]), wb = std::abs(weight[b]);
                          return wa != wb ? wa > wb : a < b;
                        });
      count = kept;
      std::sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(kept));
    }
    double normalizedSum = 0, normalizedSize = 0;
    for (std::size_t k = 0; k < count; ++k) {
      const std::uint32_t i = order[k];
      if (!bindings[i].normalized) continue;
      normalizedSum += weight[i];
      normalizedSize += std::abs(weight[i]);
    }
    // Weights that cancel out (or are all 0) leave the point to the bones that are not
    // normalised, rather than dividing by next to nothing.
    const bool divide = normalizedSize > 0 && std::abs(normalizedSum) > 1e-12 * normalizedSize;
    double moved = 0;
    for (std::size_t k = 0; k < count; ++k) {
      const std::uint32_t i = order[k];
      double share = weight[i];
      if (bindings[i].normalized) share = divide ? share / normalizedSum : 0.0;
      if (!(std::abs(share) >= kSmallestShare)) continue;
      influences_.push_back({i, share});
      used[i] = true;
      moved += share;
    }
    unmoved_.push_back(1 - moved);
    start_.push_back(static_cast<std::uint32_t>(influences_.size()));
  }
  // start_ holds 32-bit offsets: a mesh whose influences do not fit keeps none.
  if (influences_.size() > std::numeric_limits<std::uint32_t>::max()) {
    influences_.clear();
    std::fill(start_.begin(), start_.end(), 0);
    std::fill(unmoved_.begin(), unmoved_.end(), 1.0);
  }

  // Keep only the bones that move some point; renumber the influences.
  std::vector<std::uint32_t> renumber(boneCount, 0);
  std::vector<ItemId> usedBones;
  std::vector<Mat4> usedRest;
  for (std::size_t i = 0; i < boneCount; ++i) {
    if (!used[i]) continue;
    renumber[i] = static_cast<std::uint32_t>(usedBones.size());
    usedBones.push_back(bones_[i]);
    usedRest.push_back(restInverse_[i]);
  }
  for (Influence& influence : influences_) influence.bone = renumber[influence.bone];
  bones_ = std::move(usedBones);
  restInverse_ = std::move(usedRest);
}

MeshPose MeshDeformer::poseAt(const Scene& scene, double time) const {
  MeshPose pose;
  pose.objectWorld = worldMatrixAt(scene, object_, time);
  if (bones_.empty()) return pose;
  const auto current =
      boneFrames(scene, object_, [&](const Item& bone) { return localAt(scene, bone, time); });
  pose.deformations.reserve(bones_.size());
  for (std::size_t i = 0; i < bones_.size(); ++i) {
    const auto frame = current.find(bones_[i]);
    pose.deformations.push_back(
        frame == current.end() ? identity() : multiplyAffine(frame->second, restInverse_[i]));
  }
  return pose;
}

std::vector<Vec3> MeshDeformer::worldPoints(const MeshPose& pose) const {
  std::vector<Vec3> out;
  worldPoints(pose, out);
  return out;
}

void MeshDeformer::worldPoints(const MeshPose& pose, std::vector<Vec3>& out,
                               std::size_t stride) const {
  out.clear();
  if (!mesh_) return;
  stride = std::max<std::size_t>(stride, 1);
  // Each bone's deformation and the object's world placement in one matrix.
  std::vector<Mat4> toWorld;
  toWorld.reserve(pose.deformations.size());
  for (const Mat4& d : pose.deformations) toWorld.push_back(multiplyAffine(pose.objectWorld, d));
  const Mat4& world = pose.objectWorld;
  const std::vector<Vec3>& points = mesh_->points;
  out.resize((points.size() + stride - 1) / stride);
  const bool posed = toWorld.size() == bones_.size();
  for (std::size_t p = 0; p < points.size(); p += stride) {
    const Vec3& v = points[p];
    Mat4 blend{};
    const double rest = posed ? unmoved_[p] : 1.0;
    for (int e = 0; e < 12; ++e) blend[e] = rest * world[e];
    if (posed) {
      for (const Influence* i = influencesBegin(p); i != influencesEnd(p); ++i) {
        const double* m = toWorld[i->bone].data();
        for (int e = 0; e < 12; ++e) blend[e] += i->share * m[e];
      }
    }
    out[p / stride] = {blend[0] * v[0] + blend[1] * v[1] + blend[2] * v[2] + blend[3],
                       blend[4] * v[0] + blend[5] * v[1] + blend[6] * v[2] + blend[7],
                       blend[8] * v[0] + blend[9] * v[1] + blend[10] * v[2] + blend[11]};
  }
}

std::vector<Vec3> deformedWorldPoints(const Scene& scene, ItemId object) {
  const MeshDeformer deformer(scene, object);
  return deformer.worldPointsAt(scene, scene.time());
}

std::string UnmodelledDeformation::text() const {
  return feature + " on " + std::to_string(count) + " " + unit + (count == 1 ? "" : "s") +
         " is not modelled";
}

std::vector<UnmodelledDeformation> unmodelledDeformation(const Scene& scene) {
  std::size_t jointComp = 0, muscleFlex = 0, jointBones = 0, otherBones = 0, cornerMaps = 0;
  for (ItemId id : scene.allItems()) {
    const Item& item = *scene.find(id);
    if (item.type == ItemType::Bone) {
      const BoneDeformation& d = item.deformation;
      if (d.jointComp || d.jointCompParent) ++jointComp;
      if (d.muscleFlex || d.muscleFlexParent) ++muscleFlex;
      if (item.boneType == kBoneTypeJoint) ++jointBones;
    } else if (item.type == ItemType::Object) {
      if (item.boneSettings.bonesFromOtherObject) ++otherBones;
      const ObjectMesh* named = scene.objectMesh(id);
      if (named && named->mesh) {
        for (const WeightMap& map : named->mesh->weightMaps) {
          if (!map.cornerWeights.empty()) ++cornerMaps;
        }
      }
    }
  }
  std::vector<UnmodelledDeformation> found;
  auto add = [&](const char* feature, std::size_t count, const char* unit) {
    if (count) found.push_back({feature, count, unit});
  };
  add("joint compensation", jointComp, "bone");
  add("muscle flexing", muscleFlex, "bone");
  add("the joint bone type", jointBones, "bone");
  add("bones from another object", otherBones, "object");
  add("per-polygon weights", cornerMaps, "weight map");
  return found;
}

}  // namespace standin
