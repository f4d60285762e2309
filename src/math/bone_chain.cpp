#include "math/bone_chain.h"

#include "host/loop_guard.h"

namespace vorrik {

namespace {

bool isBone(const Host& host, LWItemID item) {
  return item != LWITEM_NULL && host.type(item) == LWI_BONE;
}

// T(position) Ry(h) Rx(p) Rz(b) Ry(h') Rx(p') Rz(b') T(-pivot), built right to left.
void ownPlacement(Matrix4& m, const Host& host, LWItemID bone) {
  m = Matrix4{};
  const Vec3 pivot = host.param(bone, LWIP_PIVOT);
  preTranslate(m, -pivot[0], -pivot[1], -pivot[2]);
  const Vec3 pivotRotation = host.param(bone, LWIP_PIVOT_ROT);
  preRotateZ(m, pivotRotation[2]);
  preRotateX(m, pivotRotation[1]);
  preRotateY(m, pivotRotation[0]);
  const Vec3 rotation = host.param(bone, LWIP_ROTATION);
  preRotateZ(m, rotation[2]);
  preRotateX(m, rotation[1]);
  preRotateY(m, rotation[0]);
  const Vec3 position = host.param(bone, LWIP_POSITION);
  preTranslate(m, position[0], position[1], position[2]);
}

// The inverse of ownPlacement, from its factors undone in reverse order.
void ownInverse(Matrix4& m, const Host& host, LWItemID bone) {
  m = Matrix4{};
  const Vec3 position = host.param(bone, LWIP_POSITION);
  preTranslate(m, -position[0], -position[1], -position[2]);
  const Vec3 rotation = host.param(bone, LWIP_ROTATION);
  preRotateY(m, -rotation[0]);
  preRotateX(m, -rotation[1]);
  preRotateZ(m, -rotation[2]);
  const Vec3 pivotRotation = host.param(bone, LWIP_PIVOT_ROT);
  preRotateY(m, -pivotRotation[0]);
  preRotateX(m, -pivotRotation[1]);
  preRotateZ(m, -pivotRotation[2]);
  const Vec3 pivot = host.param(bone, LWIP_PIVOT);
  preTranslate(m, pivot[0], pivot[1], pivot[2]);
}

// One step up the chain: the parent, or null where the chain ends. The chain is walked in a
// loop, not by recursion, so that any depth fits the stack.
LWItemID nextBoneUp(const Host& host, LWItemID bone) {
  const LWItemID parent = host.parent(bone);
  if (!isBone(host, parent)) return LWITEM_NULL;
  // The recursive form asks the parent's type again as it starts on it; so does the walk,
  // so the host sees the same queries.
  return host.type(parent) == LWI_BONE ? parent : LWITEM_NULL;
}

}  // namespace

Matrix4& boneToSkeleton(Matrix4& out, const Host& host, LWItemID item) {
  Matrix4 product;
  if (isBone(host, item)) {
    Matrix4 own;
    LoopGuard guard;
    for (LWItemID bone = item; bone != LWITEM_NULL; bone = nextBoneUp(host, bone)) {
      guard.step(bone);
      ownPlacement(own, host, bone);
      matMultiply(product, own, product);
    }
  }
  out = product;
  return out;
}

Matrix4& skeletonToBone(Matrix4& out, const Host& host, LWItemID item) {
  Matrix4 product;
  if (isBone(host, item)) {
    Matrix4 own;
    LoopGuard guard;
    for (LWItemID bone = item; bone != LWITEM_NULL; bone = nextBoneUp(host, bone)) {
      guard.step(bone);
      ownInverse(own, host, bone);
      matMultiply(product, product, own);
    }
  }
  out = product;
  return out;
}

Vec3& childTipInBone(Vec3& out, const Host& host, LWItemID a, LWItemID b) {
  Matrix4 toSkeleton, toA;
  boneToSkeleton(toSkeleton, host, b);
  skeletonToBone(toA, host, a);
  Vec3 tip{0, 0, host.restLength(b)};
  transformPoint(tip, toSkeleton, tip);
  transformPoint(tip, toA, tip);
  out = tip;
  return out;
}

void childTipNearParent(Vec3& inP, Vec3& inParent, const Host& host, LWItemID p, LWItemID q) {
  // The products in the order boneToSkeleton and skeletonToBone build them.
  Matrix4 toParent, toP, own;
  ownPlacement(own, host, q);
  matMultiply(toParent, own, toParent);
  ownPlacement(own, host, p);
  matMultiply(toParent, own, toParent);
  ownInverse(own, host, p);
  matMultiply(toP, toP, own);
  const Vec3 tip{0, 0, host.restLength(q)};
  transformPoint(inParent, toParent, tip);
  transformPoint(inP, toP, inParent);
}

}  // namespace vorrik
