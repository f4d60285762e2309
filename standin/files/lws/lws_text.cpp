#include "standin/files/lws/lws_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "standin/files/lws/lws_document.h"

namespace standin {
namespace lws {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string_view trim(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && isBlank(text[b])) ++b;
  while (e > b && isBlank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

std::string_view keyword(std::string_view line) {
  std::size_t b = 0;
  while (b < line.size() && isBlank(line[b])) ++b;
  std::size_t e = b;
  while (e < line.size() && !isBlank(line[e])) ++e;
  return line.substr(b, e - b);
}

std::string_view afterKeyword(std::string_view line) {
  const std::string_view word = keyword(line);
  const std::size_t end = static_cast<std::size_t>(word.data() - line.data()) + word.size();
  return end < line.size() ? line.substr(end + 1) : std::string_view();
}

std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isBlank(text[i])) ++i;
    std::size_t start = i;
    while (i < text.size() && !isBlank(text[i])) ++i;
    if (i > start) out.push_back(text.substr(start, i - start));
  }
  return out;
}

bool parseNumber(std::string_view text, double& out) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty() || (text[0] != '-' && text[0] != '.' && (text[0] < '0' || text[0] > '9'))) {
    return false;  // from_chars would also take "inf" and "nan"
  }
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return false;
  }
  out = value;
  return true;
}

bool parseInteger(std::string_view text, long long& out) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return false;
  out = value;
  return true;
}

bool parseHexId(std::string_view text, ItemId& out) {
  if (text.empty() || text.size() > 8) return false;
  ItemId value = 0;
  for (char c : text) {
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0) return false;
    value = (value << 4) | static_cast<ItemId>(digit);
  }
  out = value;
  return true;
}

std::string number(double value) {
  char buffer[40];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value + 0.0);
  return std::string(buffer, result.ptr);
}

std::string hexId(ItemId id, bool upper) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, upper ? "%08X" : "%08x", static_cast<unsigned>(id));
  return buffer;
}

std::string degrees(double radians) {
  const double guess = toDegrees(radians);
  if (!std::isfinite(guess)) return number(0);
  // Neighbouring doubles of the plain conversion; the first that converts back exactly wins.
  double best = guess;
  double below = guess, above = guess;
  for (int step = 0; step < 8; ++step) {
    if (toRadians(above) == radians) {
      best = above;
      break;
    }
    if (toRadians(below) == radians) {
      best = below;
      break;
    }
    above = std::nextafter(above, HUGE_VAL);
    below = std::nextafter(below, -HUGE_VAL);
  }
  return number(best);
}

}  // namespace lws
}  // namespace standin
