#include "runner/checks/rig_deformation.h"

#include <map>
#include <set>
#include <utility>
#include <vector>

#include "runner/checks/number_text.h"

namespace runner {

namespace {

std::string onOff(bool on) { return on ? "on" : "off"; }

std::string mapText(const std::string& map) { return map.empty() ? "(none)" : "'" + map + "'"; }

std::string pairText(double self, double parent) {
  return numberText(self) + " " + numberText(parent);
}

// Every setting of a bone as (field, text), in the order of Layout's bone panel.
std::vector<std::pair<std::string, std::string>> settingTexts(const RigItem& bone) {
  const standin::BoneDeformation& d = bone.deformation;
  return {
      {"weight map", mapText(d.weightMap)},
      {"weight map only", onOff(d.weightMapOnly)},
      {"normalization", onOff(d.normalization)},
      {"strength", numberText(bone.strength)},
      {"strength multiply", onOff(bone.scaleStrength)},
      {"limited range", onOff(d.limitedRange)},
      {"min range", numberText(d.minRange)},
      {"max range", numberText(d.maxRange)},
      {"joint comp", onOff(d.jointComp)},
      {"joint comp parent", onOff(d.jointCompParent)},
      {"joint comp amounts", pairText(d.jointCompSelfAmount, d.jointCompParentAmount)},
      {"muscle flex", onOff(d.muscleFlex)},
      {"muscle flex parent", onOff(d.muscleFlexParent)},
      {"muscle flex amounts", pairText(d.muscleFlexSelfAmount, d.muscleFlexParentAmount)},
  };
}

bool sameSettings(const RigItem& a, const RigItem& b) {
  return a.deformation == b.deformation && a.strength == b.strength &&
         a.scaleStrength == b.scaleStrength && a.active == b.active;
}

// The maps each object's active bones use (an inactive bone deforms nothing).
std::set<std::pair<standin::ItemId, std::string>> mapsInUse(const RigSnapshot& rig) {
  std::set<std::pair<standin::ItemId, std::string>> maps;
  for (const RigItem& item : rig.items) {
    if (item.isBone() && item.active && !item.deformation.weightMap.empty()) {
      maps.insert({item.owner, item.deformation.weightMap});
    }
  }
  return maps;
}

std::string nameOf(const RigSnapshot& before, const RigSnapshot& after, standin::ItemId id) {
  if (const RigItem* item = after.find(id)) return item->name;
  if (const RigItem* item = before.find(id)) return item->name;
  return "";
}

// A bone that two or more added bones of its object took every setting from was split:
// say where the parts cannot deform its points as it did.
void splitNotes(const RigSnapshot& before, const RigSnapshot& after, RigChanges& changes) {
  for (const Removed& removed : changes.removed) {
    const RigItem* old = before.find(removed.id);
    if (!old || !old->isBone() || !old->active) continue;
    std::vector<std::string> parts;
    for (const Added& added : changes.added) {
      const RigItem* now = after.find(added.id);
      if (now && now->isBone() && now->owner == old->owner && sameSettings(*old, *now)) {
        parts.push_back("'" + now->name + "'");
      }
    }
    if (parts.size() < 2) continue;
    std::string list;
    for (std::size_t i = 0; i < parts.size(); ++i) list += (i ? ", " : "") + parts[i];
    const standin::BoneDeformation& d = old->deformation;
    if (!d.weightMapOnly) {
      changes.deformationNotes.push_back(
          {old->name, "'" + old->name + "' deformed by distance; its points now weigh the " +
                          "shorter bones " + list + " by distance, so they can bend otherwise"});
    } else if (!d.weightMap.empty() && !d.normalization) {
      changes.deformationNotes.push_back(
          {old->name, "weight map '" + d.weightMap + "' now drives " + list +
                          " without normalization: its points get twice the pull when both "
                          "move"});
    }
  }
}

}  // namespace

std::string settingsText(const RigItem& bone) {
  RigItem plain;
  plain.active = bone.active;  // activity has its own column
  const auto defaults = settingTexts(plain);
  const auto own = settingTexts(bone);
  std::string text;
  for (std::size_t i = 0; i < own.size(); ++i) {
    if (own[i].second == defaults[i].second) continue;
    text += (text.empty() ? "" : ", ") + own[i].first + " " + own[i].second;
  }
  return text.empty() ? kDefaultSettings : text;
}

std::string lostMapText(const LostMap& lost) {
  if (!lost.pointsCounted) return "weight map '" + lost.map + "': its points follow no bone";
  return "weight map '" + lost.map + "': " + std::to_string(lost.points) +
         (lost.points == 1 ? " point follows" : " points follow") + " no bone";
}

void compareDeformation(const RigSnapshot& before, const RigSnapshot& after, RigChanges& changes) {
  for (Added& added : changes.added) {
    const RigItem* now = after.find(added.id);
    if (now && now->isBone()) added.settings = settingsText(*now);
  }
  for (const RigItem& now : after.items) {
    const RigItem* old = before.find(now.id);
    if (!old || !now.isBone() || !old->isBone()) continue;
    const auto was = settingTexts(*old);
    const auto is = settingTexts(now);
    SettingsChanged changed{now.id, now.name, {}};
    for (std::size_t i = 0; i < is.size(); ++i) {
      if (was[i].second != is[i].second) {
        changed.values.push_back({is[i].first, was[i].second, is[i].second});
      }
    }
    if (!changed.values.empty()) changes.settingsChanged.push_back(std::move(changed));
  }
  const auto used = mapsInUse(after);
  for (const auto& map : mapsInUse(before)) {
    if (used.count(map) == 0)
      changes.lostMaps.push_back({nameOf(before, after, map.first), map.second, map.first});
  }
  splitNotes(before, after, changes);
}

}  // namespace runner
