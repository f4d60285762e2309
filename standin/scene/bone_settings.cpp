#include "standin/scene/bone_settings.h"

namespace standin {

const BoneSetting* findBoneSetting(std::string_view BoneSetting::*field, std::string_view value) {
  for (const BoneSetting& s : kBoneSettings) {
    if (!value.empty() && s.*field == value) return &s;
  }
  return nullptr;
}

std::size_t boneSettingIndex(const BoneSetting& s) {
  return static_cast<std::size_t>(&s - kBoneSettings);
}

bool sameIn(const BoneSetting& s, const BoneDeformation& a, const BoneDeformation& b) {
  switch (s.kind) {
    case BoneSettingKind::Name: return a.*s.name == b.*s.name;
    case BoneSettingKind::Flag: return a.*s.flag == b.*s.flag;
    case BoneSettingKind::Number: return a.*s.number == b.*s.number;
    // The amount is its pair's, compared there.
    case BoneSettingKind::FlagAmount: return a.*s.flag == b.*s.flag;
    case BoneSettingKind::AmountPair: break;
  }
  return a.*s.number == b.*s.number && a.*s.parent == b.*s.parent;
}

bool BoneDeformation::operator==(const BoneDeformation& o) const {
  for (const BoneSetting& s : kBoneSettings) {
    if (s.home == BoneSettingHome::Deformation && !sameIn(s, *this, o)) return false;
  }
  return true;
}

const Item& newBoneSettings() {
  static const Item bone;
  return bone;
}

}  // namespace standin
