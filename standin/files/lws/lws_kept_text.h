// Keeping the text of numbers a run did not change: a value that still reads as what the
// file wrote, at the precision the file was written with, keeps that text byte for byte.
// Internal to lws_*.cpp.
#pragma once

#include <string>
#include <string_view>

#include "standin/files/lws/lws_document.h"

namespace standin {
namespace lws {

// Significant digits written in a number's text: "0.0500" has 3, "-1.5e-008" 2, "0" none.
int significantDigits(std::string_view text);

// The significant digits the file's writer used for its keys: the most any key number has,
// up to 17. A file whose key numbers all have fewer than 7 tells nothing about it and is
// taken as written in full (17).
int writerDigits(const LwsDocument& doc);

// Whether `value` is what `text` stands for, give or take half a unit in the last of
// `digits` significant digits; for a written number smaller than the last digit of a number
// near 1 (0 among them), give or take half of that digit.
bool stillReads(std::string_view text, double value, int digits);

// The Key line for `key`: `original`'s own text when every field still reads as written,
// else `indent` and the fields, each kept as written when it still reads so.
std::string keptKeyLine(std::string_view original, const Key& key, int digits,
                        const std::string& indent);

}  // namespace lws
}  // namespace standin
