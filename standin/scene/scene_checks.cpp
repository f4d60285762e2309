// The scene's own consistency checks (Scene::validate).
#include "standin/scene/scene.h"

#include <array>
#include <cmath>

namespace standin {

namespace {

// x * 0 is 0 for a finite x and NaN otherwise, so one test covers many values; validate()
// runs over every item of a million-bone rig.
double zeroIfFinite(const double* v, std::size_t n) {
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += v[i] * 0;
  return sum;
}

}  // namespace

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
    if (slotOf(item.id) != s || slotOf_.find(item.id) != s)
      return label() + " is not filed under its id";
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
