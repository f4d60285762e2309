#include "scene/side_names.h"

#include <cstring>

namespace vorrik {

namespace {

struct SidePair {
  const char* left;
  const char* right;
};

// Words before letters, so that "Left_Arm" is read as the word.
const SidePair kSides[] = {
    {"Left", "Right"}, {"left", "right"}, {"LEFT", "RIGHT"}, {"L", "R"}, {"l", "r"},
};

bool isSeparator(char c) { return c == '_' || c == '.' || c == '-' || c == ' '; }
bool isLower(char c) { return c >= 'a' && c <= 'z'; }
bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }

// A side that fills name[0, n) is parted from a non-empty rest.
bool partedAfter(const std::string& name, std::size_t n) {
  if (isSeparator(name[n])) return name.size() > n + 1;
  return isLower(name[n - 1]) && isUpper(name[n]);
}

// A side that fills name[start, end) is parted from a non-empty rest before it.
bool partedBefore(const std::string& name, std::size_t start) {
  if (isSeparator(name[start - 1])) return start > 1;
  return isLower(name[start - 1]) && isUpper(name[start]);
}

bool swapAtStart(const std::string& name, const char* from, const char* to, std::string& out) {
  const std::size_t n = std::strlen(from);
  if (name.size() <= n || name.compare(0, n, from) != 0 || !partedAfter(name, n)) return false;
  out = to + name.substr(n);
  return true;
}

bool swapAtEnd(const std::string& name, const char* from, const char* to, std::string& out) {
  const std::size_t n = std::strlen(from);
  if (name.size() <= n) return false;
  const std::size_t start = name.size() - n;
  if (name.compare(start, n, from) != 0 || !partedBefore(name, start)) return false;
  out = name.substr(0, start) + to;
  return true;
}

}  // namespace

std::string otherSideName(const std::string& name) {
  std::string out;
  for (const SidePair& side : kSides) {
    if (swapAtStart(name, side.left, side.right, out)) return out;
    if (swapAtStart(name, side.right, side.left, out)) return out;
  }
  for (const SidePair& side : kSides) {
    if (swapAtEnd(name, side.left, side.right, out)) return out;
    if (swapAtEnd(name, side.right, side.left, out)) return out;
  }
  return name;
}

bool hasSide(const std::string& name) { return otherSideName(name) != name; }

}  // namespace vorrik
