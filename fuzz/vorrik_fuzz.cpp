// libFuzzer target: the input bytes make a rig (objects, bones in chains and fans, many of
// them in left and right pairs, lights, cameras, keys, extreme values), then one to three
// activations of random servers with a random selection, dialog answers, withheld services
// and an add command that may add nothing. Every activation must return its result code,
// send only well-formed commands of the vocabulary, send nothing after a refusal, finish
// what it starts, and leave a valid rig. A failed check prints why and aborts, which
// libFuzzer reports as a crash.
#include <algorithm>
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "module/module.h"
#include "module/module_state.h"
#include "standin/layout/stand_in.h"

namespace {

using standin::ItemId;
using standin::ItemType;
using standin::RunRecord;
using standin::Scene;
using standin::StandIn;

FILE* report = stderr;  // where failures go; the module's trace goes elsewhere

// Reads the input front to back; past its end every read answers zero.
class Bytes {
public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }
  std::uint32_t u32() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | byte();
    return value;
  }
  std::size_t below(std::size_t count) {
    return count == 0 ? 0 : (count <= 256 ? byte() : u32()) % count;
  }
  bool chance(unsigned outOf256) { return byte() < outOf256; }
  double rawDouble() {
    std::uint64_t bits = static_cast<std::uint64_t>(u32()) << 32 | u32();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  // Mostly ordinary numbers, often the awkward ones. Always finite: a scene holds no other.
  double number() {
    switch (byte() % 16) {
      case 8: return 1e300;
      case 9: return -1e300;
      case 10: return -0.0;
      case 11: return 4.9406564584124654e-324;  // the smallest denormal
      case 12: return DBL_MAX;
      case 13: return -1e154;  // its square overflows
      case 14: {
        const double raw = rawDouble();
        return std::isfinite(raw) ? raw : 0.0;
      }
      case 15: return static_cast<double>(static_cast<std::int16_t>(u32() & 0xffff)) / 64.0;
      default: return (static_cast<int>(byte() % 8) - 3) * 0.5;
    }
  }
  standin::Vec3 vec() { return {number(), number(), number()}; }
  // Keyed values stay within 1e300: the scene's interpolation between keys of opposite
  // largest values would overflow.
  standin::Vec3 keyVec() {
    standin::Vec3 v = vec();
    for (double& x : v) x = std::fmax(-1e300, std::fmin(1e300, x));
    return v;
  }

private:
  const std::uint8_t* data_;
  std::size_t size_;
};

[[noreturn]] void fail(const std::string& why, const RunRecord* record) {
  std::fprintf(report, "vorrik_fuzz: %s\n", why.c_str());
  if (record != nullptr) {
    std::fprintf(report, "  server %s, result %d\n", record->server.c_str(), record->result);
    for (const auto& event : record->events) std::fprintf(report, "  %s\n", event.c_str());
  }
  std::fflush(report);
  std::abort();
}

// --- the rig ---

Scene buildRig(Bytes& in) {
  Scene scene;
  std::vector<ItemId> objects, items;
  const std::size_t objectCount = 1 + in.below(4);
  for (std::size_t i = 0; i < objectCount; ++i) {
    objects.push_back(scene.addObject("Obj" + std::to_string(i)));
  }
  items = objects;
  for (std::size_t i = in.below(3); i > 0; --i)
    items.push_back(scene.addLight("Light" + std::to_string(i)));
  for (std::size_t i = in.below(3); i > 0; --i)
    items.push_back(scene.addCamera("Cam" + std::to_string(i)));

  std::vector<std::vector<ItemId>> bonesOf(objects.size());
  const std::size_t boneCount = in.below(48);
  for (std::size_t i = 0; i < boneCount; ++i) {
    const std::size_t o = in.below(objects.size());
    std::vector<ItemId>& bones = bonesOf[o];
    ItemId parent = objects[o];
    if (!bones.empty()) {
      switch (in.byte() % 4) {
        case 0: break;                         // a root bone
        case 1: parent = bones.back(); break;  // a chain
        case 2: parent = bones[in.below(bones.size())]; break;
        case 3: parent = bones.front(); break;  // a fan
      }
    }
    // Every third bone plain, the others in left and right pairs, for PasteKeyMirror.
    const char* const kSides[] = {"B", "L_B", "R_B"};
    const std::size_t number = i % 3 == 0 ? i : i / 3;
    const ItemId bone = scene.addBone(objects[o], parent, kSides[i % 3] + std::to_string(number));
    if (bone == 0) continue;
    bones.push_back(bone);
    items.push_back(bone);
    standin::Item& item = *scene.find(bone);
    if (in.chance(160)) scene.setPosition(bone, in.vec());
    if (in.chance(128)) scene.setRotation(bone, in.vec());
    if (in.chance(40)) scene.setScale(bone, in.vec());
    if (in.chance(40)) item.pivot = in.vec();
    if (in.chance(40)) item.pivotRotation = in.vec();
    if (in.chance(100)) item.restPosition = in.vec();
    if (in.chance(100)) item.restRotation = in.vec();
    if (in.chance(100)) item.restLength = in.number();
    if (in.chance(40)) item.active = false;
  }
  // Items that are no bones hang from something now and then; refusals change nothing.
  for (ItemId item : items) {
    if (scene.typeOf(item) == static_cast<int>(ItemType::Bone) || !in.chance(50)) continue;
    scene.setParent(item, items[in.below(items.size())], false);
    if (in.chance(80)) scene.setPosition(item, in.vec());
    if (in.chance(60)) scene.setRotation(item, in.vec());
  }
  // Keys: the current values at a few times, then other current values.
  for (ItemId item : items) {
    if (!in.chance(50)) continue;
    for (std::size_t k = 1 + in.below(3); k > 0; --k) {
      scene.setPosition(item, in.keyVec());
      scene.setRotation(item, in.keyVec());
      scene.createKey(item, static_cast<double>(in.below(5)) * 0.5 - 0.5);
    }
  }
  scene.setTime(static_cast<double>(in.below(7)) * 0.5 - 0.5);
  scene.parentInPlace = !in.chance(60);
  scene.insertNewBonesAt = in.chance(60) ? static_cast<long>(in.below(64)) : -1;
  return scene;
}

// --- the checks ---

enum class Args { None, Item, Number, Two, Three, Name, Text };

struct Verb {
  const char* name;
  Args args;
};

const Verb kVocabulary[] = {
    {"SelectItem", Args::Item},
    {"AddToSelection", Args::Item},
    {"ClearSelected", Args::None},
    {"ParentItem", Args::Item},
    {"AddBone", Args::Name},
    {"AddChildBone", Args::Name},
    {"Position", Args::Three},
    {"Rotation", Args::Three},
    {"Scale", Args::Three},
    {"PivotPosition", Args::Three},
    {"PivotRotation", Args::Three},
    {"BoneRestPosition", Args::Three},
    {"BoneRestRotation", Args::Three},
    {"BoneRestLength", Args::Number},
    {"RecordRestPosition", Args::None},
    {"BoneActive", Args::None},
    {"CreateKey", Args::Number},
    {"DeleteKey", Args::Number},
    // A bone's deformation settings, carried over by BoneSplit and BoneMerge.
    {"BoneWeightMapName", Args::Text},
    {"Rename", Args::Text},  // a new part of a split or subdivision, named after the bone
    {"BoneWeightMapOnly", Args::None},
    {"BoneNormalization", Args::None},
    {"BoneStrength", Args::Number},
    {"BoneStrengthMultiply", Args::None},
    {"BoneLimitedRange", Args::None},
    {"BoneMinRange", Args::Number},
    {"BoneMaxRange", Args::Number},
    {"BoneJointComp", Args::None},
    {"BoneJointCompParent", Args::None},
    {"BoneJointCompAmounts", Args::Two},
    {"BoneMuscleFlex", Args::None},
    {"BoneMuscleFlexParent", Args::None},
    {"BoneMuscleFlexAmounts", Args::Two},
};

// The commands that set a bone's deformation settings (BoneActive among them).
bool isSettingCommand(const std::string& name) {
  static const char* const kSettings[] = {
      "BoneActive",     "BoneWeightMapName",    "BoneWeightMapOnly",    "BoneNormalization",
      "BoneStrength",   "BoneStrengthMultiply", "BoneLimitedRange",     "BoneMinRange",
      "BoneMaxRange",   "BoneJointComp",        "BoneJointCompParent",  "BoneJointCompAmounts",
      "BoneMuscleFlex", "BoneMuscleFlexParent", "BoneMuscleFlexAmounts"};
  for (const char* setting : kSettings) {
    if (name == setting) return true;
  }
  return false;
}

bool digits(const std::string& text, std::size_t& i) {
  const std::size_t start = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  return i > start;
}

// Exactly what "%g" prints for a finite number.
bool isNumber(const std::string& text) {
  std::size_t i = 0;
  if (i < text.size() && text[i] == '-') ++i;
  if (!digits(text, i)) return false;
  if (i < text.size() && text[i] == '.' && !(++i, digits(text, i))) return false;
  if (i < text.size() && text[i] == 'e') {
    ++i;
    if (i >= text.size() || (text[i] != '+' && text[i] != '-')) return false;
    ++i;
    const std::size_t start = i;
    if (!digits(text, i) || i - start < 2) return false;
  }
  return i == text.size();
}

bool isHexItem(const std::string& text) {
  if (text.empty() || text.size() > 8) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t space = line.find(' ', start);
    out.push_back(line.substr(start, space - start));
    if (space == std::string::npos) return out;
    start = space + 1;
  }
}

// The command's name, after checking it is of the vocabulary and well-formed.
std::string checkCommand(const std::string& line, const RunRecord& record) {
  if (line.size() >= 1023) fail("a command as long as the buffer: " + line, &record);
  const std::vector<std::string> parts = words(line);
  for (const Verb& verb : kVocabulary) {
    if (parts[0] != verb.name) continue;
    bool good = false;
    switch (verb.args) {
      case Args::None: good = parts.size() == 1; break;
      case Args::Item: good = parts.size() == 2 && isHexItem(parts[1]); break;
      case Args::Number: good = parts.size() == 2 && isNumber(parts[1]); break;
      case Args::Two: good = parts.size() == 3 && isNumber(parts[1]) && isNumber(parts[2]); break;
      case Args::Text: {
        // A weight map name or an item name: the rest of the line, not empty, no control
        // characters.
        good = parts.size() >= 2 && !parts[1].empty() && line.back() != ' ';
        for (char c : line) {
          if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) good = false;
        }
        break;
      }
      case Args::Three:
        good = parts.size() == 4 && isNumber(parts[1]) && isNumber(parts[2]) && isNumber(parts[3]);
        break;
      case Args::Name: good = parts.size() == 2 && parts[1] == "Bone"; break;
    }
    if (!good) fail("a malformed command: \"" + line + "\"", &record);
    return parts[0];
  }
  fail("a command outside the vocabulary: \"" + line + "\"", &record);
}

bool endsWith(const std::string& text, const char* tail) {
  const std::size_t n = std::strlen(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// The names repeat `group` whole, from `from` to `to`.
bool wholeGroups(const std::vector<std::string>& names, std::size_t from, std::size_t to,
                 const std::vector<const char*>& group) {
  if (to < from || (to - from) % group.size() != 0) return false;
  for (std::size_t i = from; i < to; ++i) {
    if (names[i] != group[(i - from) % group.size()]) return false;
  }
  return true;
}

// A selection made again: SelectItem, then AddToSelection for each other item.
bool reselection(const std::vector<std::string>& names, std::size_t from) {
  if (from == names.size()) return true;
  if (names[from] != "SelectItem") return false;
  for (std::size_t i = from + 1; i < names.size(); ++i) {
    if (names[i] != "AddToSelection") return false;
  }
  return true;
}

// The names without the groups that set a new bone's deformation settings ("SelectItem", then
// one or more setting commands): those come only where a setting differs.
std::vector<std::string> withoutSettingGroups(const std::vector<std::string>& names) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == "SelectItem" && i + 1 < names.size() && isSettingCommand(names[i + 1])) {
      while (i + 1 < names.size() && isSettingCommand(names[i + 1])) ++i;
      continue;
    }
    out.push_back(names[i]);
  }
  return out;
}

// Each tool's commands come in whole groups; one cut short means the tool stopped half-way.
bool complete(const std::string& tool, const std::vector<std::string>& allNames,
              const std::string& lastMessage) {
  const bool boneBuilder =
      tool == "Vorrik:BoneSplit" || tool == "Vorrik:BoneMerge" || tool == "Vorrik:BoneSubdivide";
  const std::vector<std::string> names = boneBuilder ? withoutSettingGroups(allNames) : allNames;
  const std::size_t n = names.size();
  if (n == 0) return true;
  const bool lostBone = endsWith(lastMessage, "the new bone could not be found.");
  if (tool == "Vorrik:QuickParent") return wholeGroups(names, 0, n, {"SelectItem", "ParentItem"});
  if (tool == "Vorrik:CopyKey") return false;
  if (tool == "Vorrik:CutKey") {
    const std::size_t items = n / 3;  // a pair for each item, then the selection again
    return n % 3 == 0 && wholeGroups(names, 0, 2 * items, {"SelectItem", "DeleteKey"}) &&
           reselection(names, 2 * items);
  }
  if (tool == "Vorrik:PasteKey" || tool == "Vorrik:PasteKeyMirror") {
    std::size_t groups = 0;
    while (5 * (groups + 1) <= n &&
           wholeGroups(names, 5 * groups, 5 * (groups + 1),
                       {"SelectItem", "Position", "Rotation", "Scale", "CreateKey"})) {
      ++groups;
    }
    return reselection(names, 5 * groups);
  }
  if (tool == "Vorrik:BoneUtil") {
    return wholeGroups(names, 0, n, {"SelectItem", "Position", "Rotation", "Scale"}) ||
           wholeGroups(names, 0, n, {"SelectItem", "RecordRestPosition"}) ||
           wholeGroups(names, 0, n, {"SelectItem", "BoneActive"});
  }
  if (tool == "Vorrik:BoneUnParent") {
    return names.back() == "SelectItem" &&
           wholeGroups(names, 0, n - 1, {"SelectItem", "ParentItem"});
  }
  // The split keeps its bone and the merge its upper bone, and both send only what changes,
  // so their sequences vary with the rig; the tool tests pin them down. Here: a split adds
  // and names its second part and removes nothing; a merge ends by removing the lower bone.
  const auto has = [&names](const char* name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  if (tool == "Vorrik:BoneSplit") {
    if (lostBone) return true;
    return has("AddChildBone") && has("Rename") && !has("ClearSelected");
  }
  // A subdivision adds and names each part and removes nothing; one that loses a part
  // removes the parts it made and moves no child.
  if (tool == "Vorrik:BoneSubdivide") {
    if (lostBone) return !has("ParentItem");
    const auto count = [&names](const char* name) {
      return std::count(names.begin(), names.end(), name);
    };
    return has("AddChildBone") && count("AddChildBone") == count("Rename") && !has("ClearSelected");
  }
  if (tool == "Vorrik:BoneMerge") {
    if (lostBone) return n == 2;
    return n >= 2 && names[n - 1] == "ClearSelected" && names[n - 2] == "SelectItem";
  }
  return false;
}

void checkRun(const RunRecord& record, long version, const Scene& scene) {
  const int expected = version == 1 ? AFUNC_OK : AFUNC_BADVERSION;
  if (record.result != expected) fail("result " + std::to_string(record.result), &record);
  std::vector<std::string> names;
  for (const auto& command : record.commands) {
    names.push_back(checkCommand(command.text, record));
    // Every item a command names is one the scene holds: nothing is sent for ids of nothing.
    if (!command.ok && (command.why.rfind("unknown item", 0) == 0 ||
                        command.why.rfind("unknown parent", 0) == 0)) {
      fail("a command naming no item: \"" + command.text + "\": " + command.why, &record);
    }
  }
  bool refused = false;
  for (const std::string& event : record.events) {
    if (event.rfind("info ", 0) == 0) refused = true;
    if (refused && event.rfind("command ", 0) == 0) fail("a command after a refusal", &record);
  }
  const std::string lastMessage = record.messages.empty() ? "" : record.messages.back().text;
  if (!complete(record.server, names, lastMessage)) fail("a sequence cut short", &record);
  const std::string problem = scene.validate();
  if (!problem.empty()) fail("the rig is invalid: " + problem, &record);
}

// --- one activation ---

const char* const kServers[] = {
    "Vorrik:BoneUtil",      "Vorrik:BoneSplit",      "Vorrik:BoneMerge", "Vorrik:BoneUnParent",
    "Vorrik:QuickParent",   "Vorrik:CutKey",         "Vorrik:CopyKey",   "Vorrik:PasteKey",
    "Vorrik:BoneSubdivide", "Vorrik:PasteKeyMirror",
};
constexpr std::size_t kServerCount = std::size(kServers);

const char* const kServices[] = {"LW Item Info 3",      "LW Light Info 3", "LW Object Info 4",
                                 "LW Bone Info 3",      "LW Scene Info 3", "LW Camera Info 2",
                                 "Surface Functions 2", "Scene Objects 4", "LW Interface Info 3",
                                 "Info Messages 2",     "LWPanelServices"};

std::string numberText(Bytes& in) {
  char text[64];
  switch (in.byte() % 10) {
    case 0: return "nan";
    case 1: return "inf";
    case 2: return "-inf";
    case 3: return "1e300";
    case 4: return "-0";
    case 5: return "4.9406564584124654e-324";
    case 6: std::snprintf(text, sizeof text, "%.17g", in.rawDouble()); return text;
    case 7:
      std::snprintf(text, sizeof text, "%" PRId32, static_cast<std::int32_t>(in.u32()));
      return text;
    default: std::snprintf(text, sizeof text, "%d", static_cast<int>(in.byte()) - 28); return text;
  }
}

std::string integerText(Bytes& in) {
  char text[32];
  if (in.chance(200)) {
    std::snprintf(text, sizeof text, "%d", static_cast<int>(in.byte() % 7) - 1);
  } else {
    std::snprintf(text, sizeof text, "%" PRId32, static_cast<std::int32_t>(in.u32()));
  }
  return text;
}

struct Tally {
  std::size_t runs = 0, withCommands = 0, withMessages = 0;
};
Tally tally[kServerCount];

void activateOnce(StandIn& standIn, Bytes& in) {
  Scene& scene = standIn.scene();
  std::vector<ItemId> live = scene.allItems();

  // The user deletes something between runs now and then.
  if (!live.empty() && in.chance(30)) {
    scene.remove(live[in.below(live.size())]);
    live = scene.allItems();
  }
  const std::size_t which = in.byte() % kServerCount;
  scene.clearSelection();
  std::vector<ItemId> bones;
  for (ItemId item : live) {
    if (scene.typeOf(item) == static_cast<int>(ItemType::Bone)) bones.push_back(item);
  }
  switch (in.byte() % 4) {
    case 0: {  // what the bone tools want: one bone, or one with its parent, either order
      if (bones.empty()) break;
      const ItemId bone = bones[in.below(bones.size())];
      const ItemId parent = scene.parentOf(bone);
      const bool pair = in.chance(128);
      if (pair && in.chance(128)) scene.addToSelection(parent);
      scene.addToSelection(bone);
      if (pair) scene.addToSelection(parent);
      break;
    }
    case 1:  // everything, in listing order
      for (ItemId item : live) scene.addToSelection(item);
      break;
    default:  // a few items in any order
      for (std::size_t i = in.below(6); i > 0 && !live.empty(); --i) {
        scene.addToSelection(live[in.below(live.size())]);
      }
  }
  // A list the scene's selection would not give: an id of nothing, or one twice.
  standIn.editSelectionList = nullptr;
  if (in.chance(30)) {
    const std::uint32_t stray = in.chance(128) ? in.u32() : 0x4fff0001u;
    const std::size_t at = in.byte();
    const bool twice = in.chance(128);
    standIn.editSelectionList = [stray, at, twice](std::vector<LWItemID>& list) {
      const auto where = list.begin() + static_cast<long>(at % (list.size() + 1));
      if (twice && !list.empty()) {
        list.insert(where, list.front());
      } else {
        list.insert(where, lwItemFromNumber(stray == 0 ? 1 : stray));
      }
    };
  }
  standIn.nullSelection = in.chance(8);
  scene.addCommandsAddNothing = in.chance(20);
  standIn.provideAll();
  if (in.chance(40)) {
    for (const char* service : kServices) {
      if (in.chance(40)) standIn.withhold(service);
    }
  }

  standin::Answers answers;
  answers.ok = !in.chance(40);
  answers.values["PercentControl"] = numberText(in);
  answers.values["ChoiceControl"] = integerText(in);
  answers.values["MiniSliderControl"] =
      in.chance(200) ? integerText(in) : std::to_string(in.byte());
  if (in.chance(100) && !live.empty()) {
    char text[16];
    std::snprintf(text, sizeof text, "#%x", live[in.below(live.size())]);
    answers.values["LWListControl"] = text;
  } else if (in.chance(128)) {
    char text[16];
    std::snprintf(text, sizeof text, "#%x", in.u32());
    answers.values["LWListControl"] = text;
  }
  long version = 1;
  if (in.chance(20)) version = static_cast<long>(static_cast<std::int8_t>(in.byte()));

  const RunRecord record = standIn.activate(kServers[which], answers, version);
  if (!record.activated) fail(std::string("no server ") + kServers[which], &record);
  checkRun(record, version, scene);
  ++tally[which].runs;
  if (!record.commands.empty()) ++tally[which].withCommands;
  if (!record.messages.empty()) ++tally[which].withMessages;
}

// VORRIK_FUZZ_STATS=1: how far the runs of each server got, printed at exit, to see that
// the inputs reach the tools' work and not only their refusals.
void printTally() {
  for (std::size_t i = 0; i < kServerCount; ++i) {
    std::fprintf(report, "%-20s %8zu runs %8zu with commands %8zu with messages\n", kServers[i],
                 tally[i].runs, tally[i].withCommands, tally[i].withMessages);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The module's trace lines go to standard error, thousands a second. Unless asked to
  // keep them, the FILE the module writes to goes nowhere; libFuzzer and the sanitizers
  // write to the descriptor itself, which stays.
  if (std::getenv("VORRIK_FUZZ_STATS") != nullptr) std::atexit(printTally);
  if (std::getenv("VORRIK_FUZZ_TRACE") == nullptr) {
    report = stderr;
    FILE* nowhere = std::fopen("/dev/null", "w");
    if (nowhere != nullptr) stderr = nowhere;
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes in(data, size);
  StandIn standIn(buildRig(in));
  standIn.captureTrace = false;
  standIn.stepDownVersions = false;
  standIn.attachModule(&_mod_descrip);
  // Each input starts from an empty clipboard and no unparent record, so it replays alike.
  vorrik::moduleState().clipboard.clear();
  vorrik::moduleState().unparentRecord.reset();
  vorrik::moduleState().mirrorAxis = 0;
  vorrik::moduleState().subdivideCount = 2;
  const std::string problem = standIn.scene().validate();
  if (!problem.empty()) fail("the generated rig is invalid: " + problem, nullptr);
  for (std::size_t runs = 1 + in.below(3); runs > 0; --runs) activateOnce(standIn, in);
  return 0;
}
