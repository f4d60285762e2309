// Small text helpers shared by the .lws reader and writer: C-locale numbers, hex ids,
// words. Internal to lws_*.cpp.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "standin/scene/scene.h"

namespace standin {
namespace lws {

std::string_view trim(std::string_view text);
// The first word (up to a space or tab) and what follows the single separator after it.
std::string_view keyword(std::string_view line);
std::string_view afterKeyword(std::string_view line);
// Words separated by runs of spaces or tabs.
std::vector<std::string_view> words(std::string_view text);

// A finite decimal number, in the C locale whatever the process locale is.
bool parseNumber(std::string_view text, double& out);
bool parseInteger(std::string_view text, long long& out);
// 1 to 8 hex digits, either case.
bool parseHexId(std::string_view text, ItemId& out);

// The shortest text that reads back to exactly `value` ("-0" is written "0").
std::string number(double value);
// 8 hex digits.
std::string hexId(ItemId id, bool upper);
// Degrees text for `radians` that toRadians() turns back into exactly `radians` when
// some nearby decimal does so, else the nearest.
std::string degrees(double radians);

}  // namespace lws
}  // namespace standin
