// Names are bytes: Layout scenes from older Windows systems carry Latin-1 names that are not
// UTF-8. These helpers keep such names whole in JSON and readable in messages.
#pragma once

#include <string>
#include <string_view>

namespace standin {

// Bytes in a well-formed UTF-8 sequence starting at `at` (no overlongs, no surrogates, at
// most U+10FFFF); 0 when the byte there does not start one.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);
bool isValidUtf8(std::string_view text);

// The JSON text form of a name that is not valid UTF-8: every byte outside a valid sequence,
// and every '%', as %XX (two upper-case hex digits). Reads back to the same bytes.
std::string percentEscapeBytes(std::string_view name);
// False when a '%' is not followed by two hex digits.
bool percentUnescapeBytes(std::string_view text, std::string& out);

// `text` for a one-line message: control bytes and bytes that are not UTF-8 as \xNN (tab,
// line feed and carriage return as \t, \n, \r), everything else as it is.
std::string printable(std::string_view text);

}  // namespace standin
