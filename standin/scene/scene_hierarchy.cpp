// The hierarchy (re-parenting, in place or not, and removal) and world placements.
#include "standin/scene/scene.h"

#include <algorithm>
#include <cmath>

namespace standin {

namespace {

bool finite3(const Vec3& v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// The local matrix of an item from its channel values (and its pivot values).
Mat4 localMatrix(const double* v, const Vec3& pivot, const Vec3& pivotRotation) {
  Mat4 r = rotationHPB({v[kHeading], v[kPitch], v[kBank]});
  if (pivotRotation[0] != 0 || pivotRotation[1] != 0 || pivotRotation[2] != 0) {
    r = multiplyAffine(r, rotationHPB(pivotRotation));
  }
  for (int row = 0; row < 3; ++row) {
    r[4 * row + 0] *= v[kScaleX];
    r[4 * row + 1] *= v[kScaleY];
    r[4 * row + 2] *= v[kScaleZ];
  }
  Vec3 shifted = applyLinear(r, pivot);
  r[3] = v[kPosX] - shifted[0];
  r[7] = v[kPosY] - shifted[1];
  r[11] = v[kPosZ] - shifted[2];
  return r;
}

bool isPureTranslation(const double* v, const Vec3& pivotRotation) {
  return v[kHeading] == 0 && v[kPitch] == 0 && v[kBank] == 0 && v[kScaleX] == 1 &&
         v[kScaleY] == 1 && v[kScaleZ] == 1 && pivotRotation[0] == 0 && pivotRotation[1] == 0 &&
         pivotRotation[2] == 0;
}

void setWhy(std::string* why, const std::string& text) {
  if (why) *why = text;
}

}  // namespace

// --- hierarchy ---

bool Scene::setParent(ItemId id, ItemId newParent, bool inPlace, std::string* why) {
  Slot s = slotOf(id);
  if (s == kNil) {
    setWhy(why, "unknown item " + idText(id));
    return false;
  }
  Slot p = kNil;
  if (newParent != 0) {
    p = slotOf(newParent);
    if (p == kNil) {
      setWhy(why, "unknown parent " + idText(newParent));
      return false;
    }
  }
  const Item& item = items_[s];
  if (item.type == ItemType::Bone) {
    if (p == kNil) {
      setWhy(why, "bone " + idText(id) + " needs a parent");
      return false;
    }
    const Item& parent = items_[p];
    bool ownObject = parent.id == item.owner;
    bool ownBone = parent.type == ItemType::Bone && parent.owner == item.owner;
    if (!ownObject && !ownBone) {
      setWhy(why, "bone " + idText(id) + " cannot hang from " + idText(newParent) +
                      ", which is not its object or one of its bones");
      return false;
    }
  }
  // Only an item with children can be its new parent's ancestor; a leaf (every bone of a
  // scene being loaded in order) needs no walk up the chain.
  const bool mayBeAncestor = links_[s].firstChild != kNil || p == s;
  for (Slot up = p; mayBeAncestor && up != kNil; up = links_[up].parent) {
    if (up == s) {
      setWhy(why, "parenting " + idText(id) + " to " + idText(newParent) + " makes a cycle");
      return false;
    }
  }
  if (p == links_[s].parent) return true;  // already there: keep values and child order

  if (inPlace) keepWorldUnder(s, p);
  unlinkChild(s);
  linkChild(p, s);
  items_[s].parent = newParent;
  return true;
}

bool Scene::keepWorldUnder(Slot s, Slot newParent) {
  Item& item = items_[s];
  // To a sibling that a translation alone places (a bone added at its parent's tip): the
  // item comes that much nearer and keeps its angles, exactly, with no matrix round trip.
  if (newParent != kNil && links_[newParent].parent == links_[s].parent) {
    const Item& sibling = items_[newParent];
    if (isPureTranslation(sibling.current.data(), sibling.pivotRotation)) {
      Vec3 position = item.position();
      for (int axis = 0; axis < 3; ++axis) {
        position[axis] -= sibling.current[kPosX + axis] - sibling.pivot[axis];
      }
      if (!finite3(position)) return false;
      std::copy(position.begin(), position.end(), item.current.begin() + kPosX);
      return true;
    }
  }
  // Moving up to an ancestor (Unparent hands children to their grandparent) needs only the
  // placements in between: no walk to the root of a long chain, and no inverse.
  bool ancestor = false;
  for (Slot up = links_[s].parent; newParent != kNil && up != kNil; up = links_[up].parent) {
    if (up == newParent) {
      ancestor = true;
      break;
    }
  }
  Mat4 local;
  if (ancestor) {
    local = localAt(s, time_);
    for (Slot up = links_[s].parent; up != newParent; up = links_[up].parent) {
      applyLocal(local, up, time_);
    }
  } else {
    local = worldAt(s, time_);
    if (newParent != kNil) local = multiplyAffine(inverseAffine(worldAt(newParent, time_)), local);
  }
  if (!finiteMatrix(local)) return false;  // a parent with zero scale: keep the values

  // local = T(pos) R Rpiv S T(-pivot); strip Rpiv S from the right to get R.
  const Vec3 s3 = item.scale();
  Mat4 unscale = identity();
  for (int i = 0; i < 3; ++i) unscale[5 * i] = s3[i] != 0 ? 1 / s3[i] : 0;
  Mat4 pivotRotation = rotationHPB(item.pivotRotation);
  Mat4 pivotInverse = identity();
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) pivotInverse[4 * row + col] = pivotRotation[4 * col + row];
  }
  Mat4 r = orthonormalised(multiplyAffine(multiplyAffine(local, unscale), pivotInverse));
  const Vec3 hpb = nearestHPB(r, item.rotation());
  // The pivot term needs the rotation actually stored, so take it from the decomposed angles.
  Mat4 factor = multiplyAffine(multiplyAffine(rotationHPB(hpb), pivotRotation), scaling(s3));
  Vec3 shifted = applyLinear(factor, item.pivot);
  Vec3 position{local[3] + shifted[0], local[7] + shifted[1], local[11] + shifted[2]};
  if (!finite3(hpb) || !finite3(position)) return false;
  std::copy(position.begin(), position.end(), item.current.begin() + kPosX);
  std::copy(hpb.begin(), hpb.end(), item.current.begin() + kHeading);
  return true;
}

void Scene::remove(ItemId id) {
  Slot root = slotOf(id);
  if (root == kNil) return;

  // The doomed set is the root and the bones hanging below it through removed items;
  // bones only hang from their own object or its bones, so that is the root's object's
  // bones (all of them for an object). Other children are re-homed.
  std::vector<Slot> doomed{root};
  std::vector<Slot> rehomed;
  for (std::size_t i = 0; i < doomed.size(); ++i) {
    for (Slot c = links_[doomed[i]].firstChild; c != kNil; c = links_[c].nextSibling) {
      (links_[c].type == ItemType::Bone ? doomed : rehomed).push_back(c);
    }
  }
  Slot newParent = links_[root].parent;
  ItemId newParentId = newParent == kNil ? 0 : items_[newParent].id;

  unlinkChild(root);
  for (Slot c : rehomed) {
    links_[c].parent = links_[c].prevSibling = links_[c].nextSibling = kNil;
    linkChild(newParent, c);
    items_[c].parent = newParentId;
  }
  // Bones first: their list lives with the owner, which may be doomed too.
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
    Slot d = *it;
    Item& item = items_[d];
    unlinkListed(listOf(d), d);
    if (links_[d].type == ItemType::Object) bonesOf_.erase(d);
    meshes_.erase(item.id);
    slotOf_.erase(item.id);
    if (item.id >= kFirstOverflowId) overflowSlots_[item.id - kFirstOverflowId] = kNil;
    retired_.insert(item.id);
    links_[d] = Links{};  // dead: no links, live == false
    // Keep the id for the dead slot's record but give its memory back.
    if (item.name.capacity() > std::string().capacity()) std::string().swap(item.name);
    for (std::vector<Key>& keys : item.keys) {
      if (keys.capacity() != 0) std::vector<Key>().swap(keys);
    }
  }
  selection_.erase(std::remove_if(selection_.begin(), selection_.end(),
                                  [this](ItemId sel) {
                                    if (slotOf(sel) != kNil) return false;
                                    selected_.erase(sel);
                                    return true;
                                  }),
                   selection_.end());
}

// --- world placement ---

void Scene::applyLocal(Mat4& m, Slot s, double t) const {
  const Item& item = items_[s];
  std::array<double, kChannelCount> keyed;
  const double* v = item.current.data();
  if (t != time_) {
    keyed = valuesAt(item, t);
    v = keyed.data();
  }
  if (isPureTranslation(v, item.pivotRotation)) {
    m[3] += v[kPosX] - item.pivot[0];
    m[7] += v[kPosY] - item.pivot[1];
    m[11] += v[kPosZ] - item.pivot[2];
  } else {
    m = multiplyAffine(localMatrix(v, item.pivot, item.pivotRotation), m);
  }
}

Mat4 Scene::localAt(Slot s, double t) const {
  Mat4 local = identity();
  applyLocal(local, s, t);
  return local;
}

Mat4 Scene::worldAt(Slot s, double t) const {
  // A loop, not recursion: chains a million bones deep must not exhaust the stack.
  Mat4 world = identity();
  for (Slot cur = s; cur != kNil; cur = links_[cur].parent) applyLocal(world, cur, t);
  return world;
}

Mat4 Scene::worldMatrix(ItemId id) const {
  Slot s = slotOf(id);
  return s == kNil ? identity() : worldAt(s, time_);
}

Vec3 Scene::worldOrigin(ItemId id) const {
  Mat4 w = worldMatrix(id);
  return {w[3], w[7], w[11]};
}

Vec3 Scene::worldTip(ItemId id) const {
  const Item* item = find(id);
  if (!item) return {0, 0, 0};
  return transformPoint(worldMatrix(id), {0, 0, item->restLength});
}

}  // namespace standin
