#include "standin/files/base/scene_builder.h"

#include <unordered_map>
#include <utility>

namespace standin {
namespace {

ItemId addItem(Scene& scene, const DraftItem& d, ItemId owner) {
  const std::string& name = d.values.name;
  switch (d.values.type) {
    case ItemType::Object: return d.id ? scene.addObjectWithId(name, d.id) : scene.addObject(name);
    case ItemType::Light: return d.id ? scene.addLightWithId(name, d.id) : scene.addLight(name);
    case ItemType::Camera: return d.id ? scene.addCameraWithId(name, d.id) : scene.addCamera(name);
    case ItemType::Bone: break;
  }
  return d.id ? scene.addBoneWithId(owner, owner, name, d.id) : scene.addBone(owner, owner, name);
}

// Every value of `values` goes into `out`, but for what the scene itself keeps: the id, the
// kind, the name and the links.
void copyValues(Item& out, Item values) {
  values.id = out.id;
  values.type = out.type;
  values.name = std::move(out.name);
  values.parent = out.parent;
  values.owner = out.owner;
  out = std::move(values);
}

// The item a draft item hangs from: its parent, or for a bone without one its owner.
std::size_t hangsFrom(const DraftItem& d) {
  if (d.parent != kNoDraftItem) return d.parent;
  return d.values.type == ItemType::Bone ? d.owner : kNoDraftItem;
}

// A parenting cycle is refused before anything is linked, at the item where a walk from the
// first item in the listing comes round again.
void refuseCycles(const std::vector<DraftItem>& items, const std::vector<ItemId>& ids) {
  const std::size_t n = items.size();
  // 1: on the current walk, 2: known to end at a root.
  std::vector<unsigned char> state(n, 0);
  std::vector<std::size_t> path;
  for (std::size_t start = 0; start < n; ++start) {
    path.clear();
    std::size_t at = start;
    while (at < n && state[at] == 0) {
      state[at] = 1;
      path.push_back(at);
      at = hangsFrom(items[at]);
    }
    if (at < n && state[at] == 1) {
      throw SceneBuildError{SceneBuildError::Step::Parent, at,
                            "parenting " + idText(ids[at]) + " to " +
                                idText(ids[hangsFrom(items[at])]) + " makes a cycle"};
    }
    for (std::size_t p : path) state[p] = 2;
  }
}

}  // namespace

Scene buildScene(SceneDraft draft) {
  std::vector<DraftItem>& items = draft.items;
  const std::size_t n = items.size();
  Scene scene;
  scene.parentInPlace = draft.parentInPlace;
  scene.autoKeyCreate = draft.autoKeyCreate;
  std::vector<ItemId> ids(n, 0);

  // Creation order is listing order; a bone listed before its object waits for it.
  std::unordered_map<std::size_t, std::vector<std::size_t>> waiting;
  auto add = [&](std::size_t k) {
    const DraftItem& d = items[k];
    const bool bone = d.values.type == ItemType::Bone;
    ids[k] = addItem(scene, d, bone ? ids[d.owner] : 0);
    if (ids[k] == 0 || (d.id != 0 && ids[k] != d.id)) {
      throw SceneBuildError{SceneBuildError::Step::Add, k, ""};
    }
  };
  for (std::size_t k = 0; k < n; ++k) {
    const DraftItem& d = items[k];
    if (d.values.type == ItemType::Bone) {
      if (d.owner >= n) throw SceneBuildError{SceneBuildError::Step::Add, k, ""};
      if (ids[d.owner] == 0) {
        waiting[d.owner].push_back(k);
        continue;
      }
    }
    add(k);
    const auto queued = waiting.find(k);
    if (queued != waiting.end()) {
      for (std::size_t b : queued->second) add(b);
      waiting.erase(queued);
    }
  }
  if (!waiting.empty()) {
    throw SceneBuildError{SceneBuildError::Step::Add, waiting.begin()->second.front(), ""};
  }

  // In listing order, so that an item's children are in the order the file lists them. The
  // values are relative to the parent as written: never parent in place here.
  refuseCycles(items, ids);
  for (std::size_t k = 0; k < n; ++k) {
    const DraftItem& d = items[k];
    const bool bone = d.values.type == ItemType::Bone;
    if (d.parent == kNoDraftItem || (bone && d.parent == d.owner)) continue;
    std::string why;
    if (d.parent >= n || !scene.setParent(ids[k], ids[d.parent], false, &why)) {
      throw SceneBuildError{SceneBuildError::Step::Parent, k, why};
    }
  }

  // Values the file gives at the scene time, kept over what the keys say there.
  std::vector<std::pair<std::size_t, std::array<double, kChannelCount>>> given;
  for (std::size_t k = 0; k < n; ++k) {
    DraftItem& d = items[k];
    if (d.currentGiven[0] || d.currentGiven[1] || d.currentGiven[2]) {
      given.emplace_back(k, d.values.current);
    }
    const DraftItem* source = d.bonesFrom < n ? &items[d.bonesFrom] : nullptr;
    d.values.boneSettings.useBonesFrom =
        source && source->values.type == ItemType::Object ? ids[d.bonesFrom] : 0;
    copyValues(*scene.find(ids[k]), std::move(d.values));
    if (d.objectFile) scene.setObjectMesh(ids[k], std::move(*d.objectFile));
  }

  scene.setTime(draft.time);
  for (const auto& [k, current] : given) {
    Item& item = *scene.find(ids[k]);
    for (int c = 0; c < kChannelCount; ++c) {
      if (items[k].currentGiven[static_cast<std::size_t>(c / 3)]) {
        item.current[static_cast<std::size_t>(c)] = current[static_cast<std::size_t>(c)];
      }
    }
  }
  scene.newKeySpan = draft.newKeySpan;

  for (std::size_t i = 0; i < draft.selection.size(); ++i) {
    const ItemId id = ids[draft.selection[i]];
    if (i == 0) {
      scene.select(id);
    } else {
      scene.addToSelection(id);
    }
  }

  std::string problem = scene.validate();
  if (!problem.empty()) {
    throw SceneBuildError{SceneBuildError::Step::Check, kNoDraftItem, std::move(problem)};
  }
  return scene;
}

}  // namespace standin
