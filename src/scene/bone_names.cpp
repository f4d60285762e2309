#include "scene/bone_names.h"

#include <cctype>

#include "host/loop_guard.h"

namespace vorrik {

namespace {

// Longer stems are cut (at a character boundary) so the name and its number fit one command.
constexpr std::size_t kLongestStem = 240;

bool isSeparator(char c) { return c == '_' || c == '.' || c == '-' || c == ' '; }
bool isLowerOrDigit(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool equalsIgnoringCase(const std::string& text, const char* word) {
  std::size_t i = 0;
  for (; word[i] != '\0'; ++i) {
    if (i >= text.size()) return false;
    const auto a = static_cast<unsigned char>(text[i]);
    const auto b = static_cast<unsigned char>(word[i]);
    if (std::tolower(a) != std::tolower(b)) return false;
  }
  return i == text.size();
}

// How many characters at the end of `name` are a side marker (0 for none).
std::size_t markerLength(const std::string& name) {
  for (const char* side : {"L", "R", "Left", "Right"}) {
    const std::string word(side);
    if (name.size() < word.size() + 2) continue;  // a stem of one character at least
    const std::size_t start = name.size() - word.size();
    if (equalsIgnoringCase(name.substr(start), side) && isSeparator(name[start - 1])) {
      return word.size() + 1;
    }
  }
  for (const char* side : {"Left", "Right"}) {
    const std::string word(side);
    if (name.size() < word.size() + 1) continue;
    const std::size_t start = name.size() - word.size();
    if (name.compare(start, word.size(), word) == 0 && isLowerOrDigit(name[start - 1])) {
      return word.size();
    }
  }
  return 0;
}

// The name without what a command line cannot carry.
std::string sendable(const std::string& name) {
  std::string kept;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7f) kept += c;
  }
  const std::size_t first = kept.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return kept.substr(first, kept.find_last_not_of(' ') - first + 1);
}

std::string cutStem(std::string stem) {
  if (stem.size() <= kLongestStem) return stem;
  std::size_t end = kLongestStem;
  // Back to the start of a UTF-8 character.
  while (end > 0 && (static_cast<unsigned char>(stem[end]) & 0xC0) == 0x80) --end;
  stem.resize(end);
  return stem;
}

}  // namespace

std::unordered_set<std::string> sceneNames(const Host& host) {
  std::unordered_set<std::string> names;
  for (int type : {LWI_OBJECT, LWI_LIGHT, LWI_CAMERA}) {
    LoopGuard guard;
    for (LWItemID item = host.first(type, LWITEM_NULL); item != LWITEM_NULL;
         item = host.next(item)) {
      guard.step(item);
      names.insert(host.name(item));
      if (type != LWI_OBJECT) continue;
      LoopGuard boneGuard;
      for (LWItemID bone = host.first(LWI_BONE, item); bone != LWITEM_NULL;
           bone = host.next(bone)) {
        boneGuard.step(bone);
        names.insert(host.name(bone));
      }
    }
  }
  return names;
}

std::string derivedBoneName(const std::string& old, const std::unordered_set<std::string>& taken) {
  std::string name = sendable(old);
  if (name.empty()) name = "Bone";
  const std::size_t marker = markerLength(name);
  const std::string stem = cutStem(name.substr(0, name.size() - marker));
  const std::string end = name.substr(name.size() - marker);
  const std::string joint = !stem.empty() && isDigit(stem.back()) ? "_" : "";
  for (unsigned long number = 2;; ++number) {
    const std::string candidate = stem + joint + std::to_string(number) + end;
    if (taken.count(candidate) == 0) return candidate;
  }
}

}  // namespace vorrik
