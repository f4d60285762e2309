// How the scene stores its items: the id index, the numbering of new ids, adding items, and
// the list links (kind and bone listings, child lists) kept beside the items.
#include "standin/scene/scene.h"

#include "standin/scene/scene_ids.h"

#include <algorithm>
#include <stdexcept>

namespace standin {

using namespace scene_ids;

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

bool Scene::idTaken(ItemId id) const { return slotOf(id) != kNil || retired_.count(id) != 0; }

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

ItemId Scene::addObject(const std::string& name) { return addKind(ItemType::Object, name, 0); }

ItemId Scene::addLight(const std::string& name) { return addKind(ItemType::Light, name, 0); }

ItemId Scene::addCamera(const std::string& name) { return addKind(ItemType::Camera, name, 0); }

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

}  // namespace standin
