#include "standin/scene/scene.h"

#include "standin/scene/envelope.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

namespace standin {

namespace {

constexpr std::uint32_t kTypeShift = 28;
constexpr std::uint32_t kNumberMask = 0x0fffffffu;    // what fits below the type digit
constexpr std::uint32_t kMaxBoneNumber = 0x1000u;     // bits 16..27 of a bone id
constexpr std::uint32_t kMaxObjectNumber = 0x10000u;  // bits 0..15 of a bone id

std::size_t kindIndex(ItemType type) {
  return static_cast<std::size_t>(type);
}

bool finite3(const Vec3& v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// The upper 3x3 and translation column of `m` times the affine `n`: both bottom rows are
// taken as (0 0 0 1). Written on raw arrays because world matrices walk the whole chain.
Mat4 multiplyAffine(const Mat4& m, const Mat4& n) {
  Mat4 r{};
  const double* a = m.data();
  const double* b = n.data();
  double* c = r.data();
  for (int row = 0; row < 3; ++row) {
    const double* ar = a + 4 * row;
    double* cr = c + 4 * row;
    for (int col = 0; col < 4; ++col) {
      cr[col] = ar[0] * b[col] + ar[1] * b[4 + col] + ar[2] * b[8 + col];
    }
    cr[3] += ar[3];
  }
  c[15] = 1;
  return r;
}

// Column c of the 3x3 part.
Vec3 column(const Mat4& m, int c) {
  return {m[c], m[4 + c], m[8 + c]};
}

Vec3 applyLinear(const Mat4& m, const Vec3& v) {
  return {m[0] * v[0] + m[1] * v[1] + m[2] * v[2], m[4] * v[0] + m[5] * v[1] + m[6] * v[2],
          m[8] * v[0] + m[9] * v[1] + m[10] * v[2]};
}

double dot(const Vec3& a, const Vec3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
double length(const Vec3& a) {
  return std::sqrt(dot(a, a));
}
Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec3 scaled(const Vec3& a, double s) {
  return {a[0] * s, a[1] * s, a[2] * s};
}
Vec3 minus(const Vec3& a, const Vec3& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

bool usable(const Vec3& v) {
  double len = length(v);
  return std::isfinite(len) && len > 0;
}

// The rotation nearest in spirit to `m`'s 3x3 part, keeping its +Z axis (a bone's length
// direction) where possible. Copes with shear from non-uniform parent scale and with
// columns that collapsed to zero.
Mat4 orthonormalised(const Mat4& m) {
  Vec3 x = column(m, 0), y = column(m, 1), z = column(m, 2);
  if (usable(z)) {
    z = scaled(z, 1 / length(z));
  } else if (usable(cross(x, y))) {
    Vec3 c = cross(x, y);
    z = scaled(c, 1 / length(c));
  } else {
    z = {0, 0, 1};
  }
  Vec3 xs = minus(x, scaled(z, dot(x, z)));
  if (!usable(xs) || length(xs) < 1e-9 * length(x)) {
    Vec3 fromY = cross(y, z);
    if (usable(fromY) && length(fromY) >= 1e-9 * length(y)) {
      xs = fromY;
    } else {
      // Anything perpendicular to z.
      xs = std::fabs(z[0]) < 0.9 ? cross(Vec3{0, 1, 0}, z) : cross(Vec3{0, 0, 1}, z);
    }
  }
  Vec3 ys = cross(z, xs);
  ys = scaled(ys, 1 / length(ys));
  Vec3 xr = cross(ys, z);
  Mat4 r = identity();
  for (int row = 0; row < 3; ++row) {
    r[4 * row + 0] = xr[row];
    r[4 * row + 1] = ys[row];
    r[4 * row + 2] = z[row];
  }
  return r;
}

// Heading, pitch, bank of a rotation R = Ry(h) Rx(p) Rz(b).
Vec3 decomposeHPB(const Mat4& r) {
  auto at = [&r](int row, int col) { return r[4 * row + col]; };
  double p = std::asin(std::clamp(-at(1, 2), -1.0, 1.0));
  double cosP = std::sqrt(at(1, 0) * at(1, 0) + at(1, 1) * at(1, 1));
  if (cosP < 1e-9) {
    return {std::atan2(-at(2, 0), at(0, 0)), p, 0};
  }
  return {std::atan2(at(0, 2), at(2, 2)), p, std::atan2(at(1, 0), at(1, 1))};
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

bool finiteMatrix(const Mat4& m) {
  return std::all_of(m.begin(), m.end(), [](double d) { return std::isfinite(d); });
}

// x * 0 is 0 for a finite x and NaN otherwise, so one test covers many values; validate()
// runs over every item of a million-bone rig.
double zeroIfFinite(const double* v, std::size_t n) {
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += v[i] * 0;
  return sum;
}

void setWhy(std::string* why, const std::string& text) {
  if (why) *why = text;
}

}  // namespace

// --- matrix helpers ---

Mat4 identity() {
  return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

Mat4 multiply(const Mat4& a, const Mat4& b) {
  Mat4 r{};
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 4; ++col) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[4 * row + k] * b[4 * k + col];
      r[4 * row + col] = sum;
    }
  }
  return r;
}

Vec3 transformPoint(const Mat4& m, const Vec3& p) {
  Vec3 r = applyLinear(m, p);
  r[0] += m[3];
  r[1] += m[7];
  r[2] += m[11];
  double w = m[12] * p[0] + m[13] * p[1] + m[14] * p[2] + m[15];
  if (w != 1 && w != 0) r = scaled(r, 1 / w);
  return r;
}

Mat4 rotationHPB(const Vec3& radians) {
  double ch = std::cos(radians[0]), sh = std::sin(radians[0]);
  double cp = std::cos(radians[1]), sp = std::sin(radians[1]);
  double cb = std::cos(radians[2]), sb = std::sin(radians[2]);
  // Ry(h) Rx(p) Rz(b) multiplied out.
  // clang-format off
  return {ch * cb + sh * sp * sb, -ch * sb + sh * sp * cb, sh * cp, 0,
          cp * sb,                cp * cb,                 -sp,     0,
          -sh * cb + ch * sp * sb, sh * sb + ch * sp * cb, ch * cp, 0,
          0,                      0,                       0,       1};
  // clang-format on
}

Mat4 translation(const Vec3& v) {
  Mat4 m = identity();
  m[3] = v[0];
  m[7] = v[1];
  m[11] = v[2];
  return m;
}

Mat4 scaling(const Vec3& v) {
  Mat4 m = identity();
  m[0] = v[0];
  m[5] = v[1];
  m[10] = v[2];
  return m;
}

Mat4 inverseAffine(const Mat4& m) {
  auto at = [&m](int row, int col) { return m[4 * row + col]; };
  double c00 = at(1, 1) * at(2, 2) - at(1, 2) * at(2, 1);
  double c01 = at(1, 2) * at(2, 0) - at(1, 0) * at(2, 2);
  double c02 = at(1, 0) * at(2, 1) - at(1, 1) * at(2, 0);
  double det = at(0, 0) * c00 + at(0, 1) * c01 + at(0, 2) * c02;
  Mat4 r = identity();
  if (det == 0 || !std::isfinite(det)) {
    // Singular: callers check for finite results rather than get a made-up inverse.
    std::fill(r.begin(), r.begin() + 12, std::numeric_limits<double>::quiet_NaN());
    return r;
  }
  double k = 1 / det;
  r[0] = c00 * k;
  r[1] = (at(0, 2) * at(2, 1) - at(0, 1) * at(2, 2)) * k;
  r[2] = (at(0, 1) * at(1, 2) - at(0, 2) * at(1, 1)) * k;
  r[4] = c01 * k;
  r[5] = (at(0, 0) * at(2, 2) - at(0, 2) * at(2, 0)) * k;
  r[6] = (at(0, 2) * at(1, 0) - at(0, 0) * at(1, 2)) * k;
  r[8] = c02 * k;
  r[9] = (at(0, 1) * at(2, 0) - at(0, 0) * at(2, 1)) * k;
  r[10] = (at(0, 0) * at(1, 1) - at(0, 1) * at(1, 0)) * k;
  Vec3 t = applyLinear(r, {m[3], m[7], m[11]});
  r[3] = -t[0];
  r[7] = -t[1];
  r[11] = -t[2];
  return r;
}

std::string idText(ItemId id) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(id));
  return text;
}

bool Item::hasKeys() const {
  return std::any_of(keys.begin(), keys.end(),
                     [](const std::vector<Key>& k) { return !k.empty(); });
}

// --- building ---

Scene::Scene() = default;

// --- id index ---

std::size_t Scene::IdIndex::home(ItemId id) const {
  // Ids made one after another should be neighbours in the table, so that walking a big
  // rig in creation order stays in cache. Bone ids keep the object number in the low bits
  // and the bone number above it; swap the two so that the bone number varies fastest.
  std::uint32_t key = id;
  if ((id >> kTypeShift) == 4) {
    key = (id & 0xf0000000u) | ((id & 0xffffu) << 12) | ((id >> 16) & 0xfffu);
  }
  // Runs of 16 consecutive keys share a home block of 16 entries, aligned so that two
  // runs either share a block or do not touch; Fibonacci hashing spreads the blocks.
  const std::uint64_t run = key >> 4;
  const std::size_t block =
      bits_ <= 4 ? 0 : static_cast<std::size_t>((run * 0x9e3779b97f4a7c15ull) >> (68 - bits_));
  return (block << 4) | (key & 15u);
}

Scene::Slot Scene::IdIndex::find(ItemId id) const {
  if (id == 0 || table_.empty()) return kNil;
  const std::size_t mask = table_.size() - 1;
  const Entry* entries = table_.data();
  for (std::size_t i = home(id);; i = (i + 1) & mask) {
    if (entries[i].id == id) return entries[i].slot;
    if (entries[i].id == 0) return kNil;
  }
}

void Scene::IdIndex::grow() {
  std::vector<Entry> old;
  old.swap(table_);
  bits_ = bits_ == 0 ? 4 : bits_ + 1;
  table_.assign(std::size_t{1} << bits_, Entry{});
  size_ = 0;
  for (const Entry& e : old) {
    if (e.id != 0) insert(e.id, e.slot);
  }
}

void Scene::IdIndex::insert(ItemId id, Slot slot) {
  if ((size_ + 1) * 2 > table_.size()) grow();  // at most half full
  const std::size_t mask = table_.size() - 1;
  std::size_t i = home(id);
  while (table_[i].id != 0 && table_[i].id != id) i = (i + 1) & mask;
  if (table_[i].id == 0) ++size_;
  table_[i] = Entry{id, slot};
}

void Scene::IdIndex::erase(ItemId id) {
  if (id == 0 || table_.empty()) return;
  const std::size_t mask = table_.size() - 1;
  std::size_t hole = home(id);
  while (table_[hole].id != id) {
    if (table_[hole].id == 0) return;
    hole = (hole + 1) & mask;
  }
  // Shift later entries of the run back so that no lookup stops early at the hole.
  for (std::size_t j = (hole + 1) & mask; table_[j].id != 0; j = (j + 1) & mask) {
    std::size_t want = home(table_[j].id);
    bool reachable = hole <= j ? (want <= hole || want > j) : (want <= hole && want > j);
    if (reachable) {
      table_[hole] = table_[j];
      hole = j;
    }
  }
  table_[hole] = Entry{};
  --size_;
}

Scene::Slot Scene::slotOf(ItemId id) const {
  if (id >= kFirstOverflowId) {
    const std::size_t index = id - kFirstOverflowId;
    return index < overflowSlots_.size() ? overflowSlots_[index] : kNil;
  }
  return slotOf_.find(id);
}

ItemId Scene::takeOverflowId() {
  if (nextOverflowId_ == 0) throw std::length_error("stand-in scene: item ids exhausted");
  return nextOverflowId_++;
}

bool Scene::idTaken(ItemId id) const {
  return slotOf(id) != kNil || retired_.count(id) != 0;
}

ItemId Scene::nextItemId(ItemType type, Slot ownerSlot) {
  // Given ids (addXWithId) can sit anywhere, so skip any that are or were in use.
  for (;;) {
    ItemId id;
    if (type == ItemType::Bone) {
      ObjectBones& bones = bonesOf_.at(ownerSlot);
      const std::uint32_t boneNumber = bones.nextBoneNumber;
      if (boneNumber < kMaxBoneNumber && bones.objectNumber < kMaxObjectNumber) {
        ++bones.nextBoneNumber;
        id = 0x40000000u | (boneNumber << 16) | bones.objectNumber;
      } else {
        id = takeOverflowId();
      }
    } else {
      const std::uint32_t number = nextNumber_[kindIndex(type)];
      if (number <= kNumberMask) {
        ++nextNumber_[kindIndex(type)];
        id = ((static_cast<std::uint32_t>(type) + 1) << kTypeShift) | number;
      } else {
        id = takeOverflowId();
      }
    }
    if (!idTaken(id)) return id;
  }
}

Scene::Slot Scene::newItem(ItemType type, ItemId id, const std::string& name) {
  Slot s = static_cast<Slot>(items_.size());
  if (s == kNil) throw std::length_error("stand-in scene: too many items");
  Item& item = items_.emplace_back();
  item.id = id;
  item.type = type;
  item.name = name;
  Links& links = links_.emplace_back();
  links.id = id;
  links.type = type;
  links.live = true;
  slotOf_.insert(id, s);
  if (id >= kFirstOverflowId) {
    const std::size_t index = id - kFirstOverflowId;
    if (index >= overflowSlots_.size()) overflowSlots_.resize(index + 1, kNil);
    overflowSlots_[index] = s;
  }
  return s;
}

ItemId Scene::addKind(ItemType type, const std::string& name, ItemId given) {
  ItemId id = given;
  if (given == 0) {
    id = nextItemId(type, kNil);
  } else {
    if ((given >> kTypeShift) != static_cast<std::uint32_t>(type) + 1 || idTaken(given)) return 0;
    // Later ids of this kind come after the given number.
    std::uint32_t& next = nextNumber_[kindIndex(type)];
    next = std::max(next, (given & kNumberMask) + 1);
  }
  Slot s = newItem(type, id, name);
  linkListed(kindLists_[kindIndex(type)], s, kNil);
  if (type == ItemType::Object) {
    // Objects past the id form get no usable number; their bones take overflow ids.
    const std::uint32_t number = id & kNumberMask;
    bonesOf_[s].objectNumber =
        (id >> kTypeShift) == 1 && number < kMaxObjectNumber ? number : kMaxObjectNumber;
  }
  return id;
}

ItemId Scene::addObject(const std::string& name) {
  return addKind(ItemType::Object, name, 0);
}

ItemId Scene::addLight(const std::string& name) {
  return addKind(ItemType::Light, name, 0);
}

ItemId Scene::addCamera(const std::string& name) {
  return addKind(ItemType::Camera, name, 0);
}

ItemId Scene::addObjectWithId(const std::string& name, ItemId id) {
  return id == 0 ? 0 : addKind(ItemType::Object, name, id);
}

ItemId Scene::addLightWithId(const std::string& name, ItemId id) {
  return id == 0 ? 0 : addKind(ItemType::Light, name, id);
}

ItemId Scene::addCameraWithId(const std::string& name, ItemId id) {
  return id == 0 ? 0 : addKind(ItemType::Camera, name, id);
}

Scene::Slot Scene::boneSlots(ItemId owner, ItemId parent, Slot& ownerSlot) const {
  ownerSlot = slotOf(owner);
  Slot parentSlot = slotOf(parent);
  if (ownerSlot == kNil || parentSlot == kNil) return kNil;
  if (items_[ownerSlot].type != ItemType::Object) return kNil;
  if (parentSlot != ownerSlot &&
      (items_[parentSlot].type != ItemType::Bone || items_[parentSlot].owner != owner)) {
    return kNil;
  }
  return parentSlot;
}

ItemId Scene::addBone(ItemId owner, ItemId parent, const std::string& name) {
  Slot ownerSlot = kNil;
  if (boneSlots(owner, parent, ownerSlot) == kNil) return 0;
  return placeBone(ownerSlot, parent, name, nextItemId(ItemType::Bone, ownerSlot));
}

ItemId Scene::addBoneWithId(ItemId owner, ItemId parent, const std::string& name, ItemId id) {
  Slot ownerSlot = kNil;
  if (boneSlots(owner, parent, ownerSlot) == kNil) return 0;
  if ((id >> kTypeShift) != 4 || idTaken(id)) return 0;
  ObjectBones& bones = bonesOf_.at(ownerSlot);
  if ((id & 0xffffu) == bones.objectNumber) {
    bones.nextBoneNumber = std::max(bones.nextBoneNumber, ((id >> 16) & 0xfffu) + 1);
  }
  return placeBone(ownerSlot, parent, name, id);
}

ItemId Scene::placeBone(Slot ownerSlot, ItemId parent, const std::string& name, ItemId id) {
  const ItemId owner = items_[ownerSlot].id;
  const Slot parentSlot = slotOf(parent);
  Slot s = newItem(ItemType::Bone, id, name);
  Item& bone = items_[s];
  bone.owner = owner;
  bone.parent = parent;
  links_[s].owner = ownerSlot;
  linkChild(parentSlot, s);

  List& list = bonesOf_.at(ownerSlot).bones;
  Slot before = kNil;
  if (insertNewBonesAt >= 0 && static_cast<std::size_t>(insertNewBonesAt) < list.count) {
    // Walk from the nearer end; this setting is for tests, the default path is O(1).
    std::size_t index = static_cast<std::size_t>(insertNewBonesAt);
    if (index <= list.count / 2) {
      before = list.first;
      for (std::size_t i = 0; i < index; ++i) before = links_[before].nextListed;
    } else {
      before = list.last;
      for (std::size_t i = list.count - 1; i > index; --i) before = links_[before].prevListed;
    }
  }
  linkListed(list, s, before);
  return id;
}

std::string Scene::uniqueName(const std::string& name) const {
  // One pass over the names: Item::name is public, so no index could be trusted.
  const std::string prefix = name + " (";
  bool baseTaken = false;
  std::vector<bool> suffixTaken(slotOf_.size() + 3, false);
  for (std::size_t s = 0; s < items_.size(); ++s) {
    if (!links_[s].live) continue;
    const std::string& other = items_[s].name;
    if (other == name) {
      baseTaken = true;
      continue;
    }
    if (other.size() <= prefix.size() + 1 || other.back() != ')' ||
        other.compare(0, prefix.size(), prefix) != 0) {
      continue;
    }
    std::size_t begin = prefix.size(), end = other.size() - 1;
    if (other[begin] == '0' || end - begin > 9) continue;  // not a suffix we would give
    std::size_t k = 0;
    bool digits = true;
    for (std::size_t i = begin; i < end && digits; ++i) {
      digits = other[i] >= '0' && other[i] <= '9';
      k = k * 10 + static_cast<std::size_t>(other[i] - '0');
    }
    if (digits && k < suffixTaken.size()) suffixTaken[k] = true;
  }
  if (!baseTaken) return name;
  std::size_t k = 2;
  while (suffixTaken[k]) ++k;
  return prefix + std::to_string(k) + ")";
}

// --- list links ---

Scene::List& Scene::listOf(Slot s) {
  const Links& l = links_[s];
  if (l.type == ItemType::Bone) return bonesOf_.at(l.owner).bones;
  return kindLists_[kindIndex(l.type)];
}

void Scene::linkListed(List& list, Slot s, Slot before) {
  Links& l = links_[s];
  l.nextListed = before;
  l.prevListed = before == kNil ? list.last : links_[before].prevListed;
  if (l.prevListed == kNil) {
    list.first = s;
  } else {
    links_[l.prevListed].nextListed = s;
  }
  if (before == kNil) {
    list.last = s;
  } else {
    links_[before].prevListed = s;
  }
  ++list.count;
}

void Scene::unlinkListed(List& list, Slot s) {
  Links& l = links_[s];
  if (l.prevListed == kNil) {
    list.first = l.nextListed;
  } else {
    links_[l.prevListed].nextListed = l.nextListed;
  }
  if (l.nextListed == kNil) {
    list.last = l.prevListed;
  } else {
    links_[l.nextListed].prevListed = l.prevListed;
  }
  l.prevListed = l.nextListed = kNil;
  --list.count;
}

void Scene::linkChild(Slot parent, Slot child) {
  Links& c = links_[child];
  c.parent = parent;
  c.nextSibling = kNil;
  if (parent == kNil) {
    c.prevSibling = kNil;
    return;
  }
  Links& p = links_[parent];
  c.prevSibling = p.lastChild;
  if (p.lastChild == kNil) {
    p.firstChild = child;
  } else {
    links_[p.lastChild].nextSibling = child;
  }
  p.lastChild = child;
}

void Scene::unlinkChild(Slot child) {
  Links& c = links_[child];
  if (c.parent != kNil) {
    Links& p = links_[c.parent];
    if (c.prevSibling == kNil) {
      p.firstChild = c.nextSibling;
    } else {
      links_[c.prevSibling].nextSibling = c.nextSibling;
    }
    if (c.nextSibling == kNil) {
      p.lastChild = c.prevSibling;
    } else {
      links_[c.nextSibling].prevSibling = c.prevSibling;
    }
  }
  c.parent = c.prevSibling = c.nextSibling = kNil;
}

// --- queries ---

const Item* Scene::find(ItemId id) const {
  Slot s = slotOf(id);
  return s == kNil ? nullptr : &items_[s];
}

Item* Scene::find(ItemId id) {
  Slot s = slotOf(id);
  return s == kNil ? nullptr : &items_[s];
}

int Scene::typeOf(ItemId id) const {
  const Slot s = slotOf(id);
  return s == kNil ? kNoItemType : static_cast<int>(links_[s].type);
}

ItemId Scene::findByName(const std::string& name) const {
  for (std::size_t s = 0; s < items_.size(); ++s) {
    if (links_[s].live && items_[s].name == name) return items_[s].id;
  }
  return 0;
}

ItemId Scene::first(ItemType type, ItemId object) const {
  Slot s = kNil;
  if (type == ItemType::Bone) {
    Slot objectSlot = slotOf(object);
    if (objectSlot == kNil || links_[objectSlot].type != ItemType::Object) return 0;
    s = bonesOf_.at(objectSlot).bones.first;
  } else {
    std::size_t k = kindIndex(type);
    if (k >= kindLists_.size()) return 0;
    s = kindLists_[k].first;
  }
  return s == kNil ? 0 : links_[s].id;
}

ItemId Scene::next(ItemId id) const {
  Slot s = slotOf(id);
  if (s == kNil) return 0;
  Slot n = links_[s].nextListed;
  return n == kNil ? 0 : links_[n].id;
}

ItemId Scene::firstChild(ItemId parent) const {
  Slot s = slotOf(parent);
  if (s == kNil) return 0;
  Slot c = links_[s].firstChild;
  return c == kNil ? 0 : links_[c].id;
}

ItemId Scene::nextChild(ItemId parent, ItemId previousChild) const {
  Slot p = slotOf(parent);
  Slot s = slotOf(previousChild);
  if (p == kNil || s == kNil || links_[s].parent != p) return 0;
  Slot n = links_[s].nextSibling;
  return n == kNil ? 0 : links_[n].id;
}

ItemId Scene::parentOf(ItemId id) const {
  const Slot s = slotOf(id);
  if (s == kNil) return 0;
  const Slot p = links_[s].parent;
  return p == kNil ? 0 : links_[p].id;
}

std::vector<ItemId> Scene::allItems() const {
  std::vector<ItemId> ids;
  ids.reserve(slotOf_.size());
  for (std::size_t s = 0; s < items_.size(); ++s) {
    if (links_[s].live) ids.push_back(items_[s].id);
  }
  return ids;
}

std::size_t Scene::itemCount() const {
  return slotOf_.size();
}

// --- time and motion ---

std::array<double, kChannelCount> Scene::valuesAt(const Item& item, double t) const {
  std::array<double, kChannelCount> v = item.current;
  if (t == time_) return v;
  for (int c = 0; c < kChannelCount; ++c) {
    if (!item.keys[c].empty()) v[c] = evaluateChannel(item.keys[c], item.behaviors[c], t);
  }
  return v;
}

void Scene::setTime(double seconds) {
  if (!std::isfinite(seconds)) return;
  time_ = seconds;
  for (std::size_t s = 0; s < items_.size(); ++s) {
    if (!links_[s].live) continue;
    Item& item = items_[s];
    for (int c = 0; c < kChannelCount; ++c) {
      if (!item.keys[c].empty()) {
        item.current[c] = evaluateChannel(item.keys[c], item.behaviors[c], seconds);
      }
    }
  }
}

Vec3 Scene::param(ItemId id, int which, double atTime) const {
  Slot s = slotOf(id);
  if (s == kNil) return {0, 0, 0};
  const Item& item = items_[s];
  const std::array<double, kChannelCount> v = valuesAt(item, atTime);
  auto axes = [&]() {
    return multiplyAffine(rotationHPB({v[kHeading], v[kPitch], v[kBank]}),
                          rotationHPB(item.pivotRotation));
  };
  auto worldAxis = [&](int axis) {
    Mat4 parentWorld = links_[s].parent == kNil ? identity() : worldAt(links_[s].parent, atTime);
    Vec3 d = applyLinear(parentWorld, column(axes(), axis));
    double len = length(d);
    return len > 0 && std::isfinite(len) ? scaled(d, 1 / len) : d;
  };
  switch (which) {
    case kPosition:
      return {v[kPosX], v[kPosY], v[kPosZ]};
    case kRotation:
      return {v[kHeading], v[kPitch], v[kBank]};
    case kScaling:
      return {v[kScaleX], v[kScaleY], v[kScaleZ]};
    case kPivot:
      return item.pivot;
    case kPivotRotation:
      return item.pivotRotation;
    case kWorldPosition: {
      Mat4 w = worldAt(s, atTime);
      return {w[3], w[7], w[11]};
    }
    case kRight:
      return column(axes(), 0);
    case kUp:
      return column(axes(), 1);
    case kForward:
      return column(axes(), 2);
    case kWorldRight:
      return worldAxis(0);
    case kWorldUp:
      return worldAxis(1);
    case kWorldForward:
      return worldAxis(2);
    default:
      return {0, 0, 0};
  }
}

void Scene::setPosition(ItemId id, const Vec3& v) {
  if (Item* item = find(id)) std::copy(v.begin(), v.end(), item->current.begin() + kPosX);
}

void Scene::setRotation(ItemId id, const Vec3& radians) {
  if (Item* item = find(id)) {
    std::copy(radians.begin(), radians.end(), item->current.begin() + kHeading);
  }
}

void Scene::setScale(ItemId id, const Vec3& v) {
  if (Item* item = find(id)) std::copy(v.begin(), v.end(), item->current.begin() + kScaleX);
}

void Scene::createKey(ItemId id, double t) {
  Item* item = find(id);
  if (!item || !std::isfinite(t)) return;  // a NaN time would break the key order
  for (int c = 0; c < kChannelCount; ++c) {
    std::vector<Key>& keys = item->keys[c];
    auto at = std::lower_bound(keys.begin(), keys.end(), t,
                               [](const Key& k, double when) { return k.time < when; });
    if (at != keys.end() && at->time == t) {
      at->value = item->current[c];  // the key keeps its span type and parameters
    } else {
      Key key{t, item->current[c]};
      key.span = newKeySpan;
      keys.insert(at, key);
    }
  }
}

bool Scene::deleteKey(ItemId id, double t) {
  Item* item = find(id);
  if (!item) return false;
  bool removed = false;
  for (std::vector<Key>& keys : item->keys) {
    auto end = std::remove_if(keys.begin(), keys.end(), [t](const Key& k) { return k.time == t; });
    removed = removed || end != keys.end();
    keys.erase(end, keys.end());
  }
  return removed;
}

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
  Vec3 hpb = decomposeHPB(r);
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

// --- selection ---

void Scene::select(ItemId id) {
  if (slotOf(id) == kNil) return;
  clearSelection();
  addToSelection(id);
}

void Scene::addToSelection(ItemId id) {
  if (slotOf(id) == kNil) return;
  if (selected_.contains(id)) {
    // Re-adding moves the item to the end; rare, so the linear erase is fine.
    selection_.erase(std::remove(selection_.begin(), selection_.end(), id), selection_.end());
  } else {
    selected_.insert(id, 0);
  }
  selection_.push_back(id);
}

void Scene::clearSelection() {
  for (ItemId id : selection_) selected_.erase(id);
  selection_.clear();
}

ItemId Scene::currentItem() const {
  return selection_.empty() ? 0 : selection_.back();
}

// --- checks ---

std::string Scene::validate() const {
  if (!std::isfinite(time_)) return "the current time is not finite";
  std::size_t live = 0;
  for (std::size_t s = 0; s < items_.size(); ++s) {
    if (!links_[s].live) continue;
    ++live;
    const Item& item = items_[s];
    auto label = [&item]() { return "item " + idText(item.id); };
    if (item.id == 0) return "an item has id 0";
    if (slotOf(item.id) != s || slotOf_.find(item.id) != s) return label() + " is not filed under its id";
    if (links_[s].id != item.id) return label() + ": id disagrees with the listing";
    int type = static_cast<int>(item.type);
    if (type < 0 || type > 3) return label() + " has an unknown type";

    if (zeroIfFinite(item.current.data(), kChannelCount) != 0) {
      return label() + " has a non-finite channel value";
    }
    for (const std::vector<Key>& keys : item.keys) {
      if (keys.empty()) continue;
      const Key* k = keys.data();
      for (std::size_t i = 0; i < keys.size(); ++i) {
        if (k[i].time * 0 != 0 || k[i].value * 0 != 0 || zeroIfFinite(k[i].params.data(), 6) != 0) {
          return label() + " has a non-finite key";
        }
        if (k[i].span < 0 || k[i].span >= kSpanTypeCount) {
          return label() + " has a key of unknown span type";
        }
        if (i > 0 && !(k[i - 1].time < k[i].time)) return label() + " has keys out of order";
      }
    }
    for (const ChannelBehaviors& b : item.behaviors) {
      if (b.pre >= kEndBehaviorCount || b.post >= kEndBehaviorCount) {
        return label() + " has an unknown pre- or post-behaviour";
      }
    }
    if (zeroIfFinite(item.pivot.data(), 3) + zeroIfFinite(item.pivotRotation.data(), 3) +
            zeroIfFinite(item.restPosition.data(), 3) + zeroIfFinite(item.restRotation.data(), 3) +
            zeroIfFinite(item.restScale.data(), 3) + item.restLength * 0 + item.strength * 0 !=
        0) {
      return label() + " has a non-finite value";
    }

    Slot parent = kNil;
    if (item.parent != 0) {
      parent = slotOf(item.parent);
      if (parent == kNil)
        return label() + " hangs from " + idText(item.parent) + ", not a live item";
    }
    if (links_[s].parent != parent) return label() + ": parent disagrees with the child lists";
    if (links_[s].type != item.type) return label() + ": type disagrees with the listing";

    if (item.type == ItemType::Bone) {
      Slot owner = slotOf(item.owner);
      if (owner == kNil || items_[owner].type != ItemType::Object) {
        return label() + " belongs to " + idText(item.owner) + ", not a live object";
      }
      if (links_[s].owner != owner) return label() + ": owner disagrees with the listing";
      if (parent == kNil) return label() + " is a bone without a parent";
      const Item& p = items_[parent];
      if (parent != owner && !(p.type == ItemType::Bone && p.owner == item.owner)) {
        return label() + " hangs from " + idText(p.id) + ", outside its object";
      }
    } else if (item.owner != 0) {
      return label() + " is not a bone but has an owner";
    }
  }
  if (live != slotOf_.size()) return "the id index holds dead items";

  // Cycles, with each item visited once: 0 unseen, 1 on the current path, 2 known good.
  std::vector<unsigned char> state(items_.size(), 0);
  std::vector<Slot> path;
  for (std::size_t start = 0; start < items_.size(); ++start) {
    if (!links_[start].live || state[start] == 2) continue;
    path.clear();
    Slot cur = static_cast<Slot>(start);
    while (cur != kNil && state[cur] == 0) {
      state[cur] = 1;
      path.push_back(cur);
      cur = links_[cur].parent;
    }
    if (cur != kNil && state[cur] == 1) return "item " + idText(items_[cur].id) + " is in a cycle";
    for (Slot on : path) state[on] = 2;
  }

  std::string lists = validateLists();
  if (!lists.empty()) return lists;

  for (ItemId sel : selection_) {
    if (slotOf(sel) == kNil) return "selected item " + idText(sel) + " is not live";
    if (!selected_.contains(sel)) return "selected item " + idText(sel) + " is not indexed";
  }
  if (selected_.size() != selection_.size()) return "an item is selected twice";
  return "";
}

std::string Scene::validateLists() const {
  // Child lists: each child once, under the parent it names.
  std::size_t children = 0, withParent = 0;
  for (std::size_t s = 0; s < items_.size(); ++s) {
    if (!links_[s].live) continue;
    if (links_[s].parent != kNil) ++withParent;
    Slot prev = kNil;
    for (Slot c = links_[s].firstChild; c != kNil; c = links_[c].nextSibling) {
      if (!links_[c].live || links_[c].parent != s || links_[c].prevSibling != prev) {
        return "the child list of " + idText(items_[s].id) + " is broken";
      }
      if (++children > withParent + items_.size()) return "a child list loops";
      prev = c;
    }
    if (links_[s].lastChild != prev)
      return "the child list of " + idText(items_[s].id) + " is broken";
  }
  if (children != withParent) return "child lists do not hold every parented item";

  auto walk = [this](const List& list, ItemType type, ItemId owner, std::size_t& seen) {
    Slot prev = kNil;
    std::size_t n = 0;
    for (Slot c = list.first; c != kNil; c = links_[c].nextListed) {
      const Item& item = items_[c];
      if (!links_[c].live || item.type != type || links_[c].prevListed != prev ||
          (type == ItemType::Bone && item.owner != owner) || ++n > list.count) {
        return false;
      }
      prev = c;
    }
    seen += n;
    return list.last == prev && n == list.count;
  };
  std::array<std::size_t, 4> listed{};
  for (std::size_t k = 0; k < kindLists_.size(); ++k) {
    if (!walk(kindLists_[k], static_cast<ItemType>(k), 0, listed[k])) {
      return "the item listing is broken";
    }
  }
  for (const auto& [objectSlot, bones] : bonesOf_) {
    if (!links_[objectSlot].live || items_[objectSlot].type != ItemType::Object) {
      return "a bone listing belongs to no live object";
    }
    if (!walk(bones.bones, ItemType::Bone, items_[objectSlot].id, listed[3])) {
      return "the bone listing of " + idText(items_[objectSlot].id) + " is broken";
    }
  }
  std::array<std::size_t, 4> live{};
  for (std::size_t s = 0; s < items_.size(); ++s) {
    if (links_[s].live) ++live[static_cast<std::size_t>(items_[s].type)];
  }
  if (listed != live || bonesOf_.size() != live[0]) return "the listing misses live items";
  return "";
}

}  // namespace standin
