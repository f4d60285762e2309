// Where the bones a run added go in a file that is written again: the place of the bone
// they replace or before the next bone of their object's listing, with the lines every item
// of the file has.
#include <algorithm>
#include <string_view>
#include <utility>

#include "standin/files/lws/lws_text.h"
#include "standin/files/lws/lws_writer_parts.h"

namespace standin {
namespace lws {
namespace {

const char* perItemDefault(std::string_view keyword) {
  static const std::pair<std::string_view, const char*> kDefaults[] = {
      {"IKInitCustomFrame", "0"},
      {"GoalStrength", "1"},
      {"IKFKBlending", "0"},
      {"CtrlPosItemBlend", "1"},
      {"CtrlRotItemBlend", "1"},
      {"CtrlScaleItemBlend", "1"},
      {"PathAlignMaxLookSteps", "10"},
      {"PathAlignReliableDist", "0.001"},
      {"SplineFlags", "0"},
      {"SplineFit", "0"},
      {"IKInitialState", "0"},
      {"UseIKChainValues", "0"},
  };
  for (const auto& entry : kDefaults) {
    if (entry.first == keyword) return entry.second;
  }
  return nullptr;
}

// Per-item lines whose value is not one fixed default: a new item takes the template's.
bool perItemTakenFromTemplate(std::string_view keyword) {
  return keyword == "IKSoftMin" || keyword == "IKSoftMax" || keyword == "PathAlignLookAhead";
}

// The lines every item of a version-5-or-later file has beside its motion, as a new bone
// gets them: from the bone it replaces, else the object's first bone, else the object.
PerItemLines perItemLines(const FileUpdate& u, ItemId bone, std::size_t objectIndex) {
  PerItemLines lines;
  if (u.doc.version < 5) return lines;
  std::size_t from = objectIndex;
  const auto replaced = u.replaces.find(bone);
  if (replaced != u.replaces.end()) {
    from = replaced->second;
  } else if (objectIndex + 1 < u.regionEnd(objectIndex)) {
    from = objectIndex + 1;
  }
  const LwsItem& t = u.doc.items[from];
  const std::size_t first = t.motionLine != kNoLine ? u.motionEnd(t) + 1 : t.declLine + 1;
  const std::size_t last = t.type == ItemType::Object && from + 1 < u.doc.items.size() &&
                                   u.doc.items[from + 1].type == ItemType::Bone
                               ? u.doc.items[from + 1].declLine
                               : t.lastOwn + 1;
  std::size_t blanks = 0;
  for (std::size_t i = first; i < last && i < u.doc.lines.size(); ++i) {
    const std::string_view text = trim(u.doc.lines[i]);
    if (text.empty()) {
      ++blanks;
      continue;
    }
    const std::string_view k = keyword(text);
    std::string line;
    if (const char* value = perItemDefault(k)) {
      line = std::string(k) + " " + value;
    } else if (perItemTakenFromTemplate(k)) {
      line = std::string(text);
    } else {
      blanks = 0;
      continue;
    }
    Lines& to =
        t.parentLine != kNoLine && i > t.parentLine ? lines.afterParent : lines.beforeParent;
    if (!to.empty()) to.insert(to.end(), blanks, std::string());
    blanks = 0;
    to.push_back(std::move(line));
  }
  return lines;
}

}  // namespace

// The order the object's bones are written in. A new bone that takes the place of a
// removed one (the first new bone under the removed one's parent) is written where that
// one was, so that in a version-3 file it keeps its number and the bones after it keep
// theirs; other new bones go before the next bone of the listing the file has, or last.
void orderBones(FileUpdate& u) {
  for (std::size_t k = 0; k < u.doc.items.size(); ++k) {
    const LwsItem& object = u.doc.items[k];
    if (object.type != ItemType::Object || !u.scene.find(object.id)) continue;
    const std::size_t end = u.regionEnd(k);
    std::vector<ItemId> listing;
    for (ItemId bone = u.scene.first(ItemType::Bone, object.id); bone; bone = u.scene.next(bone)) {
      listing.push_back(bone);
    }
    std::vector<ItemId> fresh;
    for (ItemId bone : listing) {
      if (!u.doc.byId.count(bone)) fresh.push_back(bone);
    }
    std::vector<ItemId> order;
    for (std::size_t b = k + 1; b < end; ++b) {
      const LwsItem& d = u.doc.items[b];
      if (u.scene.find(d.id)) {
        order.push_back(d.id);
        continue;
      }
      const auto heir = std::find_if(fresh.begin(), fresh.end(), [&](ItemId bone) {
        return bone != 0 && u.scene.find(bone)->parent == d.parent;
      });
      if (heir == fresh.end()) continue;
      order.push_back(*heir);
      u.replaces[*heir] = b;
      *heir = 0;
    }
    // The rest, each before the next bone of the listing that already has its place.
    std::vector<ItemId> placed, waiting, last;
    std::unordered_map<ItemId, std::vector<ItemId>> before;
    ItemId nextPlaced = 0;  // the next bone of the listing that has its place
    auto settle = [&]() {
      if (waiting.empty()) return;
      (nextPlaced ? before[nextPlaced] : last) = waiting;
      waiting.clear();
    };
    for (std::size_t i = listing.size(); i-- > 0;) {
      const ItemId bone = listing[i];
      if (u.doc.byId.count(bone) == 0 && u.replaces.count(bone) == 0) {
        waiting.insert(waiting.begin(), bone);
        continue;
      }
      settle();
      nextPlaced = bone;
    }
    settle();
    for (ItemId bone : order) {
      const auto found = before.find(bone);
      if (found != before.end()) {
        placed.insert(placed.end(), found->second.begin(), found->second.end());
      }
      placed.push_back(bone);
    }
    placed.insert(placed.end(), last.begin(), last.end());
    u.boneOrder[object.id] = std::move(placed);
  }
}

void placeNewBones(FileUpdate& u) {
  for (std::size_t k = 0; k < u.doc.items.size(); ++k) {
    const LwsItem& object = u.doc.items[k];
    if (object.type != ItemType::Object || !u.scene.find(object.id)) continue;
    const std::size_t end = u.regionEnd(k);
    // Where a bone after all of the file's bones goes.
    std::size_t tail;
    Lines prefix;
    if (end > k + 1) {
      tail = u.doc.items[end - 1].lastOwn;
    } else if (object.boneSettingsLine != kNoLine) {
      // After any bone line the object's block holds without a bone (a damaged file): read
      // back, such a line would otherwise become the new bone's.
      tail = object.lastOwn != kNoLine ? std::max(object.boneSettingsLine, object.lastOwn)
                                       : object.boneSettingsLine;
    } else {
      tail = object.lastOwn;
      prefix = objectBoneLines(*u.scene.find(object.id));
    }
    const std::vector<ItemId>& order = u.boneOrder[object.id];
    // For each place in the order, the file line the next placed bone starts at.
    std::vector<std::size_t> nextLine(order.size() + 1, kNoLine);
    for (std::size_t i = order.size(); i-- > 0;) {
      const auto known = u.doc.byId.find(order[i]);
      const auto replaced = u.replaces.find(order[i]);
      nextLine[i] = known != u.doc.byId.end()      ? u.doc.items[known->second].declLine
                    : replaced != u.replaces.end() ? u.doc.items[replaced->second].declLine
                                                   : nextLine[i + 1];
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
      if (u.doc.byId.count(order[i])) continue;
      const PerItemLines perItem = perItemLines(u, order[i], k);
      Lines lines = newBone(u.cx, *u.scene.find(order[i]), &perItem);
      const auto replaced = u.replaces.find(order[i]);
      const std::size_t at =
          replaced != u.replaces.end() ? u.doc.items[replaced->second].declLine : nextLine[i + 1];
      if (at != kNoLine) {
        u.edits.insertBefore(at, std::move(lines));
        continue;
      }
      if (!prefix.empty()) lines.insert(lines.begin(), prefix.begin(), prefix.end());
      prefix.clear();
      u.edits.insertAfter(tail, std::move(lines));
    }
  }
}

}  // namespace lws
}  // namespace standin
