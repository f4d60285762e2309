// Compares what the native runner and the Windows runner under Wine wrote for the same
// script: two JSON documents when both files hold one (reports, saved scenes), else two
// texts (error output). Strings and texts are split into numbers and the text between
// them; numbers compare as numbers, so "1.5e+006" (the Windows C runtime) equals "1.5e+06",
// and results of the two C libraries' sin and cos, which differ in their last bits, pass.
//
// usage: vorrik_compare_reports NATIVE WINDOWS
// Prints "identical: N runs" (N: entries of a report's "runs") and exits 0, or prints the
// differences and exits 1; 2 when a file cannot be read.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

// Far below anything a tool means (the scene's units are metres and degrees), far above
// the two C libraries' rounding.
constexpr double kAbsolute = 1e-9;
constexpr double kRelative = 1e-9;
constexpr std::size_t kShownDifferences = 20;

bool sameNumber(double a, double b) {
  if (a == b) return true;
  if (std::isnan(a) || std::isnan(b) || std::isinf(a) || std::isinf(b)) return false;
  return std::fabs(a - b) <= kAbsolute + kRelative * std::fmax(std::fabs(a), std::fabs(b));
}

struct Piece {
  bool isNumber = false;
  std::string text;  // the text itself, or the number as written
  double value = 0;
};

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// The length of a decimal number starting at `at` ([-+]digits[.digits][e[-+]digits]), or 0.
std::size_t numberLength(const std::string& text, std::size_t at) {
  std::size_t i = at;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  const std::size_t digitsStart = i;
  while (i < text.size() && isDigit(text[i])) ++i;
  bool digits = i > digitsStart;
  if (i < text.size() && text[i] == '.') {
    const std::size_t fraction = i + 1;
    std::size_t j = fraction;
    while (j < text.size() && isDigit(text[j])) ++j;
    if (digits || j > fraction) {
      digits = true;
      i = j;
    }
  }
  if (!digits) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '-' || text[j] == '+')) ++j;
    const std::size_t exponent = j;
    while (j < text.size() && isDigit(text[j])) ++j;
    if (j > exponent) i = j;
  }
  return i - at;
}

std::vector<Piece> split(const std::string& text) {
  std::vector<Piece> pieces;
  std::string plain;
  for (std::size_t i = 0; i < text.size();) {
    // A sign after a letter or digit is a hyphen or an operator, not part of a number.
    const bool signAllowed =
        i == 0 || !(std::isalnum(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '_');
    std::size_t length = 0;
    if (isDigit(text[i]) || text[i] == '.' || (signAllowed && (text[i] == '-' || text[i] == '+'))) {
      length = numberLength(text, i);
    }
    if (length == 0) {
      plain.push_back(text[i++]);
      continue;
    }
    if (!plain.empty()) pieces.push_back({false, plain, 0});
    plain.clear();
    const std::string written = text.substr(i, length);
    pieces.push_back({true, written, std::strtod(written.c_str(), nullptr)});
    i += length;
  }
  if (!plain.empty()) pieces.push_back({false, plain, 0});
  return pieces;
}

bool sameText(const std::string& a, const std::string& b) {
  if (a == b) return true;
  const std::vector<Piece> left = split(a), right = split(b);
  if (left.size() != right.size()) return false;
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (left[i].isNumber != right[i].isNumber) return false;
    if (left[i].isNumber ? !sameNumber(left[i].value, right[i].value)
                         : left[i].text != right[i].text) {
      return false;
    }
  }
  return true;
}

class Comparison {
public:
  void compare(const json& a, const json& b, const std::string& where) {
    if (a.is_number() && b.is_number()) {
      if (!sameNumber(a.get<double>(), b.get<double>())) differ(where, a.dump(), b.dump());
      return;
    }
    if (a.type() != b.type()) {
      differ(where, a.dump(), b.dump());
      return;
    }
    if (a.is_string()) {
      if (!sameText(a.get<std::string>(), b.get<std::string>())) {
        differ(where, a.dump(), b.dump());
      }
    } else if (a.is_array()) {
      if (a.size() != b.size()) {
        differ(where, std::to_string(a.size()) + " entries", std::to_string(b.size()) + " entries");
      }
      for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        compare(a[i], b[i], where + "[" + std::to_string(i) + "]");
      }
    } else if (a.is_object()) {
      for (auto entry = a.begin(); entry != a.end(); ++entry) {
        const std::string path = where.empty() ? entry.key() : where + "." + entry.key();
        if (!b.contains(entry.key())) {
          differ(path, entry.value().dump(), "(missing)");
        } else {
          compare(entry.value(), b.at(entry.key()), path);
        }
      }
      for (auto entry = b.begin(); entry != b.end(); ++entry) {
        if (!a.contains(entry.key())) {
          differ(where.empty() ? entry.key() : where + "." + entry.key(), "(missing)",
                 entry.value().dump());
        }
      }
    } else if (a != b) {
      differ(where, a.dump(), b.dump());
    }
  }

  void compareLines(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    if (a.size() != b.size()) {
      differ("lines", std::to_string(a.size()) + " lines", std::to_string(b.size()) + " lines");
    }
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
      if (!sameText(a[i], b[i])) differ("line " + std::to_string(i + 1), a[i], b[i]);
    }
  }

  std::size_t count() const { return count_; }

private:
  void differ(const std::string& where, const std::string& native, const std::string& windows) {
    if (++count_ > kShownDifferences) return;
    std::cout << "  at " << (where.empty() ? "(top)" : where) << "\n    native:  " << cut(native)
              << "\n    windows: " << cut(windows) << "\n";
  }
  static std::string cut(const std::string& text) {
    return text.size() > 300 ? text.substr(0, 300) + "..." : text;
  }
  std::size_t count_ = 0;
};

bool readFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  text = buffer.str();
  return true;
}

// Lines without their ends: the Windows runner writes "\r\n".
std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: vorrik_compare_reports NATIVE WINDOWS\n";
    return 2;
  }
  std::string nativeText, windowsText;
  if (!readFile(argv[1], nativeText) || !readFile(argv[2], windowsText)) {
    std::cerr << "vorrik_compare_reports: cannot read " << argv[1] << " or " << argv[2] << "\n";
    return 2;
  }
  const json native = json::parse(nativeText, nullptr, false);
  const json windows = json::parse(windowsText, nullptr, false);
  Comparison comparison;
  std::size_t runs = 0;
  if (!native.is_discarded() && !windows.is_discarded()) {
    comparison.compare(native, windows, "");
    if (native.is_object() && native.contains("runs") && native["runs"].is_array()) {
      runs = native["runs"].size();
    }
  } else if (native.is_discarded() != windows.is_discarded()) {
    std::cout << "  one file is a JSON document and the other is not\n";
    return 1;
  } else {
    comparison.compareLines(linesOf(nativeText), linesOf(windowsText));
  }
  if (comparison.count() > 0) {
    std::cout << "differences: " << comparison.count() << "\n";
    return 1;
  }
  std::cout << "identical: " << runs << " runs\n";
  return 0;
}
