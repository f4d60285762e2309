#include "runner/checks/rig_deformation.h"

#include <map>
#include <set>
#include <utility>
#include <vector>

#include "runner/checks/number_text.h"
#include "standin/scene/bone_settings.h"

namespace runner {

namespace {

std::string onOff(bool on) { return on ? "on" : "off"; }

std::string mapText(const std::string& map) { return map.empty() ? "(none)" : "'" + map + "'"; }

// Every shown setting of a bone as (field, text), in the order of Layout's bone panel.
std::vector<std::pair<std::string, std::string>> settingTexts(const RigItem& bone) {
  using standin::BoneSettingKind;
  std::vector<std::pair<std::string, std::string>> texts;
  for (const standin::BoneSetting& s : standin::kBoneSettings) {
    if (s.shown.empty()) continue;
    std::string text;
    switch (s.kind) {
      case BoneSettingKind::Name: text = mapText(bone.deformation.*s.name); break;
      case BoneSettingKind::Flag:
      case BoneSettingKind::FlagAmount: text = onOff(standin::flagOf(s, bone)); break;
      case BoneSettingKind::Number: text = numberText(standin::numberOf(s, bone)); break;
      case BoneSettingKind::AmountPair:
        text =
            numberText(bone.deformation.*s.number) + " " + numberText(bone.deformation.*s.parent);
        break;
    }
    texts.emplace_back(std::string(s.shown), std::move(text));
  }
  return texts;
}

bool sameSettings(const RigItem& a, const RigItem& b) { return standin::sameBoneSettings(a, b); }

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

// A bone was split when added bones of its object took every setting from it and, with the
// bone itself where it stays as the first part (shortened), make two parts or more: say where
// the parts cannot deform its points as it did.
void splitNotes(const RigSnapshot& before, const RigSnapshot& after, RigChanges& changes) {
  for (const RigItem& old : before.items) {
    if (!old.isBone() || !old.active) continue;
    const RigItem* kept = after.find(old.id);
    if (kept && (kept->restLength == old.restLength || !sameSettings(old, *kept))) continue;
    std::vector<std::string> parts;
    if (kept) parts.push_back("'" + kept->name + "'");
    for (const Added& added : changes.added) {
      const RigItem* now = after.find(added.id);
      if (now && now->isBone() && now->owner == old.owner && sameSettings(old, *now)) {
        parts.push_back("'" + now->name + "'");
      }
    }
    if (parts.size() < 2) continue;
    std::string list;
    for (std::size_t i = 0; i < parts.size(); ++i) list += (i ? ", " : "") + parts[i];
    const standin::BoneDeformation& d = old.deformation;
    if (!d.weightMapOnly) {
      changes.deformationNotes.push_back(
          {old.name, "'" + old.name + "' deformed by distance; its points now weigh the " +
                         "shorter bones " + list + " by distance, so they can bend otherwise"});
    } else if (!d.weightMap.empty() && !d.normalization) {
      changes.deformationNotes.push_back(
          {old.name, "weight map '" + d.weightMap + "' now drives " + list +
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
