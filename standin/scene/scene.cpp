#include "standin/scene/scene.h"

#include "standin/scene/envelope.h"
#include "standin/scene/key_time.h"
#include "standin/scene/scene_ids.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace standin {

using scene_ids::kindIndex;

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

std::size_t Scene::itemCount() const { return slotOf_.size(); }

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
    case kPosition: return {v[kPosX], v[kPosY], v[kPosZ]};
    case kRotation: return {v[kHeading], v[kPitch], v[kBank]};
    case kScaling: return {v[kScaleX], v[kScaleY], v[kScaleZ]};
    case kPivot: return item.pivot;
    case kPivotRotation: return item.pivotRotation;
    case kWorldPosition: {
      Mat4 w = worldAt(s, atTime);
      return {w[3], w[7], w[11]};
    }
    case kRight: return column(axes(), 0);
    case kUp: return column(axes(), 1);
    case kForward: return column(axes(), 2);
    case kWorldRight: return worldAxis(0);
    case kWorldUp: return worldAxis(1);
    case kWorldForward: return worldAxis(2);
    default: return {0, 0, 0};
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
    const std::size_t existing = keyAt(keys, t);
    if (existing != keys.size()) {
      // The key keeps its own time (as the file wrote it), span type and parameters.
      keys[existing].value = item->current[c];
      continue;
    }
    auto at = std::lower_bound(keys.begin(), keys.end(), t,
                               [](const Key& k, double when) { return k.time < when; });
    Key key{t, item->current[c]};
    key.span = newKeySpan;
    keys.insert(at, key);
  }
}

bool Scene::deleteKey(ItemId id, double t) {
  Item* item = find(id);
  if (!item) return false;
  bool removed = false;
  for (std::vector<Key>& keys : item->keys) {
    const auto [first, end] = keysAt(keys.data(), keys.size(), t);
    removed = removed || first != end;
    keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(first),
               keys.begin() + static_cast<std::ptrdiff_t>(end));
  }
  if (!removed) return false;
  // As in Layout, the item then shows what its remaining keys give: neither the deleted key's
  // values nor a change no key held stay behind. A channel left without keys keeps its value.
  for (int c = 0; c < kChannelCount; ++c) {
    if (!item->keys[c].empty()) {
      item->current[c] = evaluateChannel(item->keys[c], item->behaviors[c], time_);
    }
  }
  return true;
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

ItemId Scene::currentItem() const { return selection_.empty() ? 0 : selection_.back(); }

}  // namespace standin
