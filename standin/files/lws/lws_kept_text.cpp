#include "standin/files/lws/lws_kept_text.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "standin/files/lws/lws_text.h"

namespace standin {
namespace lws {

int significantDigits(std::string_view text) {
  const std::size_t exponent = text.find_first_of("eE");
  if (exponent != std::string_view::npos) text = text.substr(0, exponent);
  int digits = 0;
  bool leading = true;
  for (char c : text) {
    if (c < '0' || c > '9') continue;
    if (leading && c == '0') continue;
    leading = false;
    ++digits;
  }
  return digits;
}

int writerDigits(const LwsDocument& doc) {
  constexpr int kFull = 17;
  int most = 0;
  for (const LwsItem& item : doc.items) {
    for (const LwsChannel& channel : item.channels) {
      for (std::size_t line : channel.keyLines) {
        for (std::string_view word : words(afterKeyword(trim(doc.lines[line])))) {
          most = std::max(most, significantDigits(word));
        }
        if (most >= kFull) return kFull;
      }
    }
  }
  return most >= 7 ? most : kFull;
}

bool stillReads(std::string_view text, double value, int digits) {
  double written = 0;
  if (!parseNumber(text, written)) return false;
  if (written == value) return true;
  // Near zero, below the last digit of a number near 1, a relative test means nothing: the
  // rounding of any sum of metres or radians is larger (-6.1125499e-010 against
  // -6.112549355563601e-10). There the file's precision is that of a number near 1.
  const double unit = std::pow(10.0, 1 - digits);
  if (std::fabs(written) < unit) return std::fabs(value - written) <= unit / 2;
  const double lastDigit =
      std::pow(10.0, std::floor(std::log10(std::fabs(written))) - (digits - 1));
  return std::fabs(value - written) <= lastDigit / 2;
}

std::string keptKeyLine(std::string_view original, const Key& key, int digits,
                        const std::string& indent) {
  const std::vector<std::string_view> fields = words(afterKeyword(trim(original)));
  double values[9] = {key.value, key.time, static_cast<double>(key.span)};
  for (std::size_t p = 0; p < key.params.size(); ++p) values[3 + p] = key.params[p];
  std::string line = indent + "Key";
  bool allKept = fields.size() == 9;
  for (std::size_t f = 0; f < 9; ++f) {
    // The span type is a whole number: it must match exactly.
    const bool kept = f < fields.size() && (f == 2 ? stillReads(fields[f], values[f], 17)
                                                   : stillReads(fields[f], values[f], digits));
    allKept = allKept && kept;
    line += " " + (kept     ? std::string(fields[f])
                   : f == 2 ? std::to_string(key.span)
                            : number(values[f]));
  }
  return allKept ? std::string(original) : line;
}

}  // namespace lws
}  // namespace standin
