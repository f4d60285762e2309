#include "standin/layout/commands.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>
#include <vector>

#include "standin/scene/bone_settings.h"

namespace standin {

namespace {

enum class Args { None, Item, Number, Two, Three, Name };

struct Parsed {
  ItemId id = 0;
  double number = 0;
  Vec3 v{0, 0, 0};
  std::string name;
};

CommandOutcome refuse(std::string why) { return {false, std::move(why)}; }
CommandOutcome accept() { return {true, {}}; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// What C's "%g" prints (either exponent width, as MSVC once used three digits), and
// nothing else: no "nan", "inf", hex floats, leading '+' or spaces.
bool parseNumber(std::string_view text, double& out) {
  std::size_t i = 0, n = text.size();
  if (i < n && text[i] == '-') ++i;
  std::size_t intDigits = 0, fracDigits = 0;
  while (i < n && isDigit(text[i])) ++i, ++intDigits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && isDigit(text[i])) ++i, ++fracDigits;
  }
  if (intDigits + fracDigits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < n && isDigit(text[i])) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != n) return false;
  // from_chars ignores the locale, unlike strtod.
  double value = 0;
  auto [end, err] = std::from_chars(text.data(), text.data() + n, value);
  if (err != std::errc() || end != text.data() + n || !std::isfinite(value)) return false;
  out = value;
  return true;
}

// Item numbers are plain hex ("%x"), either case; leading zeros are read past, as
// scanf's "%x" does, but the value must fit in 32 bits.
bool parseItem(std::string_view text, ItemId& out) {
  if (text.empty()) return false;
  std::size_t zeros = text.find_first_not_of('0');
  if (zeros != std::string_view::npos && text.size() - zeros > 8) return false;
  ItemId value = 0;
  for (char c : text) {
    int digit = isDigit(c)               ? c - '0'
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                         : -1;
    if (digit < 0) return false;
    value = (value << 4) | static_cast<ItemId>(digit);
  }
  out = value;
  return true;
}

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// The current item, or a refusal.
Item* current(Scene& scene, CommandOutcome& refusal) {
  ItemId id = scene.currentItem();
  Item* item = scene.find(id);
  if (!item) refusal = refuse(id == 0 ? "nothing is selected" : "unknown item " + idText(id));
  return item;
}

Item* currentBone(Scene& scene, CommandOutcome& refusal) {
  Item* item = current(scene, refusal);
  if (item && item->type != ItemType::Bone) {
    refusal = refuse("current item " + idText(item->id) + " is not a bone");
    return nullptr;
  }
  return item;
}

CommandOutcome selectItem(Scene& scene, const Parsed& a) {
  if (!scene.find(a.id)) return refuse("unknown item " + idText(a.id));
  scene.select(a.id);
  return accept();
}

CommandOutcome addToSelection(Scene& scene, const Parsed& a) {
  if (!scene.find(a.id)) return refuse("unknown item " + idText(a.id));
  scene.addToSelection(a.id);
  return accept();
}

CommandOutcome clearSelected(Scene& scene, const Parsed&) {
  if (scene.selection().empty()) return refuse("nothing is selected");
  // A copy: each removal edits the selection, and may already have taken later entries
  // (a selected bone under a selected object).
  const std::vector<ItemId> doomed = scene.selection();
  for (ItemId id : doomed) scene.remove(id);
  return accept();
}

CommandOutcome parentItem(Scene& scene, const Parsed& a) {
  CommandOutcome refusal;
  Item* item = current(scene, refusal);
  if (!item) return refusal;
  std::string why;
  if (!scene.setParent(item->id, a.id, scene.parentInPlace, &why)) return refuse(why);
  return accept();
}

// Whether this add is one the scene's settings make add nothing; counts the ones that work.
bool addsNothing(Scene& scene) {
  if (scene.addCommandsAddNothing || scene.addsThatWork == 0) return true;
  if (scene.addsThatWork > 0) --scene.addsThatWork;
  return false;
}

CommandOutcome addBone(Scene& scene, const Parsed& a) {
  CommandOutcome refusal;
  Item* item = current(scene, refusal);
  if (!item) return refusal;
  ItemId owner = 0;
  if (item->type == ItemType::Object) {
    owner = item->id;
  } else if (item->type == ItemType::Bone) {
    owner = item->owner;
  } else {
    return refuse("current item " + idText(item->id) + " is not an object or a bone");
  }
  if (addsNothing(scene)) return accept();
  ItemId bone = scene.addBone(owner, owner, scene.uniqueName(a.name));
  if (bone == 0) return refuse("cannot add a bone to " + idText(owner));
  scene.select(bone);
  return accept();
}

CommandOutcome addChildBone(Scene& scene, const Parsed& a) {
  CommandOutcome refusal;
  Item* parent = currentBone(scene, refusal);
  if (!parent) return refusal;
  if (addsNothing(scene)) return accept();
  // Copy before adding: the new item may move the storage `parent` points into.
  const ItemId parentId = parent->id, owner = parent->owner;
  const double length = parent->restLength;
  ItemId bone = scene.addBone(owner, parentId, scene.uniqueName(a.name));
  if (bone == 0) return refuse("cannot add a bone under " + idText(parentId));
  Item* added = scene.find(bone);
  scene.setPosition(bone, {0, 0, length});
  added->restPosition = {0, 0, length};
  added->restLength = length;
  scene.select(bone);
  return accept();
}

// Renames the current item. An object's name comes from its file, so it cannot be renamed;
// a name another item has is shown with a suffix, as a new item's is.
CommandOutcome rename(Scene& scene, const Parsed& a) {
  CommandOutcome refusal;
  Item* item = current(scene, refusal);
  if (!item) return refusal;
  if (item->type == ItemType::Object) {
    return refuse("object " + idText(item->id) + " takes its name from its file");
  }
  if (item->name == a.name) return accept();
  // Its own name does not count against the new one.
  const ItemId id = item->id;
  item->name.clear();
  const std::string name = scene.uniqueName(a.name);
  scene.find(id)->name = name;
  return accept();
}

CommandOutcome position(Scene& scene, const Parsed& a) {
  CommandOutcome refusal;
  Item* item = current(scene, refusal);
  if (!item) return refusal;
  scene.setPosition(item->id, a.v);
  return accept();
}

CommandOutcome rotation(Scene& scene, const Parsed& a) {
  CommandOutcome refusal;
  Item* item = current(scene, refusal);
  if (!item) return refusal;
  scene.setRotation(item->id, toRadians(a.v));
  return accept();
}

CommandOutcome scale(Scene& scene, const Parsed& a) {
  CommandOutcome refusal;
  Item* item = current(scene, refusal);
  if (!item) return refusal;
  scene.setScale(item->id, a.v);
  return accept();
}

CommandOutcome pivotPosition(Scene& scene, const Parsed& a) {
  CommandOutcome refusal;
  Item* item = current(scene, refusal);
  if (!item) return refusal;
  item->pivot = a.v;
  return accept();
}

CommandOutcome pivotRotation(Scene& scene, const Parsed& a) {
  CommandOutcome refusal;
  Item* item = current(scene, refusal);
  if (!item) return refusal;
  item->pivotRotation = toRadians(a.v);
  return accept();
}

CommandOutcome boneRestPosition(Scene& scene, const Parsed& a) {
  CommandOutcome refusal;
  Item* bone = currentBone(scene, refusal);
  if (!bone) return refusal;
  bone->restPosition = a.v;
  return accept();
}

CommandOutcome boneRestRotation(Scene& scene, const Parsed& a) {
  CommandOutcome refusal;
  Item* bone = currentBone(scene, refusal);
  if (!bone) return refusal;
  bone->restRotation = toRadians(a.v);
  return accept();
}

CommandOutcome boneRestLength(Scene& scene, const Parsed& a) {
  CommandOutcome refusal;
  Item* bone = currentBone(scene, refusal);
  if (!bone) return refusal;
  // Layout takes zero and negative lengths too.
  bone->restLength = a.number;
  return accept();
}

CommandOutcome recordRestPosition(Scene& scene, const Parsed&) {
  CommandOutcome refusal;
  Item* bone = currentBone(scene, refusal);
  if (!bone) return refusal;
  bone->restPosition = bone->position();
  bone->restRotation = bone->rotation();
  return accept();
}

CommandOutcome createKey(Scene& scene, const Parsed& a) {
  CommandOutcome refusal;
  Item* item = current(scene, refusal);
  if (!item) return refusal;
  scene.createKey(item->id, a.number);
  return accept();
}

CommandOutcome deleteKey(Scene& scene, const Parsed& a) {
  CommandOutcome refusal;
  Item* item = current(scene, refusal);
  if (!item) return refusal;
  // Layout does not complain when there is no key at that time; neither do we.
  scene.deleteKey(item->id, a.number);
  return accept();
}

// --- deformation settings of the current bone ---

Args settingArgs(const BoneSetting& s) {
  switch (s.kind) {
    case BoneSettingKind::Name: return Args::Name;
    case BoneSettingKind::Number: return Args::Number;
    case BoneSettingKind::AmountPair: return Args::Two;
    case BoneSettingKind::Flag:
    case BoneSettingKind::FlagAmount: break;
  }
  return Args::None;  // the toggles of Layout's bone panel flip the setting
}

CommandOutcome boneSetting(Scene& scene, const BoneSetting& s, const Parsed& a) {
  CommandOutcome refusal;
  Item* bone = currentBone(scene, refusal);
  if (!bone) return refusal;
  BoneDeformation& d = bone->deformation;
  switch (s.kind) {
    case BoneSettingKind::Name: d.*s.name = a.name; break;
    case BoneSettingKind::Flag:
    case BoneSettingKind::FlagAmount:
      // Layout offers "weight map only" just for a bone with a map, and turns normalization
      // on with it.
      if (s.flag == &BoneDeformation::weightMapOnly) {
        if (d.weightMap.empty()) return refuse("bone " + idText(bone->id) + " has no weight map");
        if (!d.weightMapOnly) d.normalization = true;
      }
      flagOf(s, *bone) = !flagOf(s, *bone);
      break;
    case BoneSettingKind::Number:
      if (s.distance && a.number < 0) {
        return refuse("a range is a distance, not " + std::to_string(a.number));
      }
      numberOf(s, *bone) = a.number;
      break;
    case BoneSettingKind::AmountPair:
      d.*s.number = a.v[0];
      d.*s.parent = a.v[1];
      break;
  }
  return accept();
}

struct Command {
  std::string_view name;
  Args args;
  CommandOutcome (*run)(Scene&, const Parsed&);
};

constexpr Command kCommands[] = {
    {"SelectItem", Args::Item, selectItem},
    {"AddToSelection", Args::Item, addToSelection},
    {"ClearSelected", Args::None, clearSelected},
    {"ParentItem", Args::Item, parentItem},
    {"AddBone", Args::Name, addBone},
    {"AddChildBone", Args::Name, addChildBone},
    {"Position", Args::Three, position},
    {"Rotation", Args::Three, rotation},
    {"Scale", Args::Three, scale},
    {"PivotPosition", Args::Three, pivotPosition},
    {"PivotRotation", Args::Three, pivotRotation},
    {"BoneRestPosition", Args::Three, boneRestPosition},
    {"BoneRestRotation", Args::Three, boneRestRotation},
    {"BoneRestLength", Args::Number, boneRestLength},
    {"RecordRestPosition", Args::None, recordRestPosition},
    {"Rename", Args::Name, rename},
    {"CreateKey", Args::Number, createKey},
    {"DeleteKey", Args::Number, deleteKey},
};

std::size_t argumentCount(Args args) {
  switch (args) {
    case Args::None: return 0;
    case Args::Item:
    case Args::Number: return 1;
    case Args::Two: return 2;
    case Args::Three: return 3;
    case Args::Name: break;
  }
  return 1;
}

}  // namespace

CommandOutcome executeCommand(Scene& scene, const std::string& line) {
  if (line.empty()) return refuse("empty command");
  for (char c : line) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) return refuse("control character in command");
  }
  std::string_view text(line);
  std::size_t space = text.find(' ');
  std::string_view name = text.substr(0, space);
  const Command* command = nullptr;
  for (const Command& c : kCommands) {
    if (c.name == name) command = &c;
  }
  const BoneSetting* setting = command ? nullptr : findBoneSetting(&BoneSetting::command, name);
  if (!command && !setting) return refuse("unknown command " + quoted(name));
  const Args args = command ? command->args : settingArgs(*setting);
  auto run = [&](const Parsed& parsed) {
    return command ? command->run(scene, parsed) : boneSetting(scene, *setting, parsed);
  };

  std::string_view rest =
      space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
  bool hasRest = space != std::string_view::npos;
  Parsed parsed;
  if (args == Args::Name) {
    // The name is the rest of the line; spaces inside it are the name's own.
    if (rest.empty()) return refuse(std::string(name) + " needs a name");
    if (rest.front() == ' ' || rest.back() == ' ') return refuse("stray space in " + quoted(line));
    parsed.name = std::string(rest);
    return run(parsed);
  }

  // No command takes more than three words; later ones are only counted.
  std::array<std::string_view, 3> words;
  std::size_t wordCount = 0;
  if (hasRest) {
    std::size_t start = 0;
    while (true) {
      std::size_t end = rest.find(' ', start);
      std::string_view word =
          rest.substr(start, end == std::string_view::npos ? rest.npos : end - start);
      if (word.empty()) return refuse("stray space in " + quoted(line));
      if (wordCount < words.size()) words[wordCount] = word;
      ++wordCount;
      if (end == std::string_view::npos) break;
      start = end + 1;
    }
  }
  std::size_t want = argumentCount(args);
  if (wordCount != want) {
    return refuse(std::string(name) + " takes " + std::to_string(want) + " argument" +
                  (want == 1 ? "" : "s") + ", got " + std::to_string(wordCount));
  }
  switch (args) {
    case Args::Item:
      if (!parseItem(words[0], parsed.id)) return refuse("bad item " + quoted(words[0]));
      break;
    case Args::Number:
      if (!parseNumber(words[0], parsed.number)) return refuse("bad number " + quoted(words[0]));
      break;
    case Args::Two:
    case Args::Three:
      for (std::size_t i = 0; i < want; ++i) {
        if (!parseNumber(words[i], parsed.v[i])) return refuse("bad number " + quoted(words[i]));
      }
      break;
    case Args::None:
    case Args::Name: break;
  }
  CommandOutcome outcome = run(parsed);
  if (args == Args::Item) outcome.item = parsed.id;
  return outcome;
}

}  // namespace standin
