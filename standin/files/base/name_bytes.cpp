#include "standin/files/base/name_bytes.h"

#include <cstdio>

namespace standin {
namespace {

unsigned char byteAt(std::string_view text, std::size_t at) {
  return static_cast<unsigned char>(text[at]);
}

bool isContinuation(std::string_view text, std::size_t at) {
  return at < text.size() && (byteAt(text, at) & 0xC0) == 0x80;
}

void appendHex(std::string& out, char prefix, unsigned char byte) {
  char hex[4];
  std::snprintf(hex, sizeof hex, "%02X", byte);
  out += prefix;
  out += hex;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
  const unsigned char lead = byteAt(text, at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  if (at + 1 >= text.size() || byteAt(text, at + 1) < low || byteAt(text, at + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (!isContinuation(text, at + k)) return 0;
  }
  return length;
}

bool isValidUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8SequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string percentEscapeBytes(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 8);
  for (std::size_t at = 0; at < name.size();) {
    const std::size_t length = utf8SequenceLength(name, at);
    if (length == 0 || name[at] == '%') {
      appendHex(out, '%', byteAt(name, at));
      ++at;
    } else {
      out.append(name, at, length);
      at += length;
    }
  }
  return out;
}

bool percentUnescapeBytes(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '%') {
      out += text[at];
      continue;
    }
    if (at + 2 >= text.size()) return false;
    const int high = hexDigit(text[at + 1]), low = hexDigit(text[at + 2]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    at += 2;
  }
  return true;
}

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto escape = [&out](unsigned char byte) {
    out += '\\';
    appendHex(out, 'x', byte);
  };
  for (std::size_t at = 0; at < text.size();) {
    const unsigned char byte = byteAt(text, at);
    const std::size_t length = utf8SequenceLength(text, at);
    if (byte == '\t') {
      out += "\\t";
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte == '\r') {
      out += "\\r";
    } else if (length == 0 || byte < 0x20 || byte == 0x7F) {
      escape(byte);
    } else if (length == 2 && byte == 0xC2 && byteAt(text, at + 1) < 0xA0) {
      // U+0080 to U+009F: control codes a terminal would act on.
      escape(byte);
      escape(byteAt(text, at + 1));
      at += 2;
      continue;
    } else {
      out.append(text, at, length);
      at += length;
      continue;
    }
    ++at;
  }
  return out;
}

}  // namespace standin
