// A bone's deformation settings, one row each: where the value lives, and how the .lws file,
// the JSON form, the stand-in's commands and host services and the runner's rig check name,
// write and show it. A new setting is its member plus one row; the users loop over the rows.
// Defaults are a new bone's (the initializers of Item and BoneDeformation).
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

#include "standin/scene/scene.h"

namespace standin {

// The shape of a setting's value.
enum class BoneSettingKind {
  Name,        // text, "" for none
  Flag,        // on or off
  Number,      // one value
  FlagAmount,  // on or off; its .lws line is there only when on, holding `number`
  AmountPair,  // self and parent amounts: one JSON array, one command taking both
};

// Where the value lives: most in the bone's BoneDeformation, three in the item itself.
enum class BoneSettingHome { Deformation, Active, Strength, ScaleStrength };

// When the .lws writer writes the line (Layout's own habits).
enum class LwsWhen {
  None,     // no line of its own
  Always,   // every bone
  WithMap,  // with a weight map, or when the value is not a new bone's
  WhenOn,   // only with its flag on (a Number: with `writtenWith` on)
  Apart,    // written among the bone's rest lines, not with the deformation lines
};

struct BoneSetting {
  BoneSettingKind kind = BoneSettingKind::Flag;
  BoneSettingHome home = BoneSettingHome::Deformation;
  std::string BoneDeformation::*name = nullptr;
  bool BoneDeformation::*flag = nullptr;
  double BoneDeformation::*number = nullptr;  // a FlagAmount's amount; a pair's self amount
  double BoneDeformation::*parent = nullptr;  // a pair's parent amount
  std::string_view shown;                     // the rig check's word; "" for none
  std::string_view lws;                       // .lws keyword; "" when the line is another's
  LwsWhen lwsWhen = LwsWhen::None;
  bool BoneDeformation::*writtenWith = nullptr;
  std::string_view json;     // JSON field
  bool jsonAlways = false;   // written even when a new bone's
  std::string_view command;  // the stand-in Layout command; "" for none
  bool distance = false;     // the command refuses a value below 0
  unsigned int flagBit = 0;  // the host's LWBONEF_* bit; 0 for none

  constexpr BoneSetting names(std::string_view shownAs, std::string_view keyword, LwsWhen when,
                              std::string_view field, std::string_view commandName) const {
    BoneSetting s = *this;
    s.shown = shownAs;
    s.lws = keyword;
    s.lwsWhen = when;
    s.json = field;
    s.command = commandName;
    return s;
  }
  constexpr BoneSetting bit(unsigned int value) const {
    BoneSetting s = *this;
    s.flagBit = value;
    return s;
  }
};

constexpr BoneSetting itemSetting(BoneSettingKind kind, BoneSettingHome home) {
  BoneSetting s;
  s.kind = kind;
  s.home = home;
  return s;
}
constexpr BoneSetting nameSetting(std::string BoneDeformation::*member) {
  BoneSetting s;
  s.kind = BoneSettingKind::Name;
  s.name = member;
  return s;
}
constexpr BoneSetting flagSetting(bool BoneDeformation::*member) {
  BoneSetting s;
  s.flag = member;
  return s;
}
constexpr BoneSetting numberSetting(double BoneDeformation::*member, bool BoneDeformation::*with,
                                    bool distance) {
  BoneSetting s;
  s.kind = BoneSettingKind::Number;
  s.number = member;
  s.writtenWith = with;
  s.distance = distance;
  return s;
}
constexpr BoneSetting flagAmount(bool BoneDeformation::*member, double BoneDeformation::*amount) {
  BoneSetting s = flagSetting(member);
  s.kind = BoneSettingKind::FlagAmount;
  s.number = amount;
  return s;
}
constexpr BoneSetting amountPair(double BoneDeformation::*self, double BoneDeformation::*parent) {
  BoneSetting s;
  s.kind = BoneSettingKind::AmountPair;
  s.number = self;
  s.parent = parent;
  return s;
}
constexpr BoneSetting alwaysInJson(BoneSetting s) {
  s.jsonAlways = true;
  return s;
}

namespace bone_rows {

using D = BoneDeformation;
using Kind = BoneSettingKind;
using Home = BoneSettingHome;

// In the order of Layout's bone panel, which is also the order of the .lws lines.
inline constexpr BoneSetting kRows[] = {
    // Activity has its own column in the rig check and its own place in the .lws file.
    alwaysInJson(itemSetting(Kind::Flag, Home::Active)
                     .names("", "BoneActive", LwsWhen::Apart, "active", "BoneActive")
                     .bit(1u << 0)),
    nameSetting(&D::weightMap)
        .names("weight map", "BoneWeightMapName", LwsWhen::WithMap, "weightMap",
               "BoneWeightMapName"),
    flagSetting(&D::weightMapOnly)
        .names("weight map only", "BoneWeightMapOnly", LwsWhen::WithMap, "weightMapOnly",
               "BoneWeightMapOnly")
        .bit(1u << 3),
    flagSetting(&D::normalization)
        .names("normalization", "BoneNormalization", LwsWhen::WithMap, "normalization",
               "BoneNormalization")
        .bit(1u << 4),
    itemSetting(Kind::Number, Home::Strength)
        .names("strength", "BoneStrength", LwsWhen::Always, "strength", "BoneStrength"),
    itemSetting(Kind::Flag, Home::ScaleStrength)
        .names("strength multiply", "ScaleBoneStrength", LwsWhen::Always, "scaleStrength",
               "BoneStrengthMultiply")
        .bit(1u << 2),
    flagSetting(&D::limitedRange)
        .names("limited range", "BoneLimitedRange", LwsWhen::WhenOn, "limitedRange",
               "BoneLimitedRange")
        .bit(1u << 1),
    numberSetting(&D::minRange, &D::limitedRange, true)
        .names("min range", "BoneMinRange", LwsWhen::WhenOn, "minRange", "BoneMinRange"),
    numberSetting(&D::maxRange, &D::limitedRange, true)
        .names("max range", "BoneMaxRange", LwsWhen::WhenOn, "maxRange", "BoneMaxRange"),
    flagAmount(&D::jointComp, &D::jointCompSelfAmount)
        .names("joint comp", "BoneJointComp", LwsWhen::WhenOn, "jointComp", "BoneJointComp")
        .bit(1u << 5),
    flagAmount(&D::jointCompParent, &D::jointCompParentAmount)
        .names("joint comp parent", "BoneJointCompParent", LwsWhen::WhenOn, "jointCompParent",
               "BoneJointCompParent")
        .bit(1u << 6),
    amountPair(&D::jointCompSelfAmount, &D::jointCompParentAmount)
        .names("joint comp amounts", "", LwsWhen::None, "jointCompAmounts", "BoneJointCompAmounts"),
    flagAmount(&D::muscleFlex, &D::muscleFlexSelfAmount)
        .names("muscle flex", "BoneMuscleFlex", LwsWhen::WhenOn, "muscleFlex", "BoneMuscleFlex")
        .bit(1u << 7),
    flagAmount(&D::muscleFlexParent, &D::muscleFlexParentAmount)
        .names("muscle flex parent", "BoneMuscleFlexParent", LwsWhen::WhenOn, "muscleFlexParent",
               "BoneMuscleFlexParent")
        .bit(1u << 8),
    amountPair(&D::muscleFlexSelfAmount, &D::muscleFlexParentAmount)
        .names("muscle flex amounts", "", LwsWhen::None, "muscleFlexAmounts",
               "BoneMuscleFlexAmounts"),
};

}  // namespace bone_rows

inline constexpr const auto& kBoneSettings = bone_rows::kRows;
inline constexpr std::size_t kBoneSettingCount = std::size(kBoneSettings);

// The row whose `field` (a member pointer to a string_view) is `value`; null for none.
const BoneSetting* findBoneSetting(std::string_view BoneSetting::*field, std::string_view value);
std::size_t boneSettingIndex(const BoneSetting& s);

// The values, in any holder of a bone's settings (Item, and the copies the .lws reader and
// the rig check keep), which have `deformation`, `active`, `strength` and `scaleStrength`.
template <class H>
auto& flagOf(const BoneSetting& s, H& h) {
  if (s.home == BoneSettingHome::Active) return h.active;
  if (s.home == BoneSettingHome::ScaleStrength) return h.scaleStrength;
  return h.deformation.*s.flag;
}
template <class H>
auto& numberOf(const BoneSetting& s, H& h) {
  if (s.home == BoneSettingHome::Strength) return h.strength;
  return h.deformation.*s.number;
}

// Whether `a` and `b` hold the same value for `s`, compared exactly.
bool sameIn(const BoneSetting& s, const BoneDeformation& a, const BoneDeformation& b);
template <class A, class B>
bool sameSetting(const BoneSetting& s, const A& a, const B& b) {
  if (s.home == BoneSettingHome::Deformation) return sameIn(s, a.deformation, b.deformation);
  if (s.kind == BoneSettingKind::Number) return numberOf(s, a) == numberOf(s, b);
  return flagOf(s, a) == flagOf(s, b);
}
template <class A, class B>
bool sameBoneSettings(const A& a, const B& b) {
  for (const BoneSetting& s : kBoneSettings) {
    if (!sameSetting(s, a, b)) return false;
  }
  return true;
}

// A new bone's settings.
const Item& newBoneSettings();
template <class H>
bool isNewBone(const BoneSetting& s, const H& h) {
  return sameSetting(s, h, newBoneSettings());
}

}  // namespace standin
