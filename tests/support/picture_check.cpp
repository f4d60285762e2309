#include "support/picture_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>

#include "support/file_text.h"
#include "support/temp_folder.h"

namespace picture_check {

// --- XML ---

std::string Element::attribute(const std::string& key) const {
  const auto found = attributes.find(key);
  return found == attributes.end() ? "" : found->second;
}

std::string Element::title() const {
  for (const auto& child : children) {
    if (child->name == "title") return child->text;
  }
  return "";
}

std::vector<const Element*> Element::all() const {
  std::vector<const Element*> list{this};
  for (const auto& child : children) {
    const std::vector<const Element*> below = child->all();
    list.insert(list.end(), below.begin(), below.end());
  }
  return list;
}

namespace {

class XmlReader {
public:
  explicit XmlReader(const std::string& text) : s_(text) {}

  std::unique_ptr<Element> document() {
    if (s_.compare(0, 5, "<?xml") == 0) {
      const std::size_t end = s_.find("?>");
      if (end == std::string::npos) fail("unterminated declaration");
      i_ = end + 2;
    }
    skipMisc();
    if (i_ >= s_.size() || s_[i_] != '<') fail("no root element");
    std::unique_ptr<Element> root = element();
    skipMisc();
    if (i_ != s_.size()) fail("content after the root element");
    return root;
  }

private:
  [[noreturn]] void fail(const std::string& why) const {
    throw XmlError(why + " at offset " + std::to_string(i_));
  }

  static bool nameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
  }
  static bool nameChar(char c) {
    return nameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
  }
  static bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

  void skipSpace() {
    while (i_ < s_.size() && space(s_[i_])) ++i_;
  }

  void skipMisc() {
    for (;;) {
      skipSpace();
      if (s_.compare(i_, 4, "<!--") != 0) return;
      comment();
    }
  }

  void comment() {
    const std::size_t end = s_.find("-->", i_ + 4);
    if (end == std::string::npos) fail("unterminated comment");
    i_ = end + 3;
  }

  std::string name() {
    if (i_ >= s_.size() || !nameStart(s_[i_])) fail("expected a name");
    const std::size_t start = i_;
    while (i_ < s_.size() && nameChar(s_[i_])) ++i_;
    return s_.substr(start, i_ - start);
  }

  // At '&': appends the decoded entity.
  void entity(std::string& out) {
    const std::size_t end = s_.find(';', i_);
    if (end == std::string::npos || end - i_ > 10) fail("stray '&'");
    const std::string body = s_.substr(i_ + 1, end - i_ - 1);
    static const std::map<std::string, std::string> named = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}};
    const auto found = named.find(body);
    if (found != named.end()) {
      out += found->second;
    } else if (body.size() > 1 && body[0] == '#') {
      const bool hex = body[1] == 'x';
      const unsigned long code = std::stoul(body.substr(hex ? 2 : 1), nullptr, hex ? 16 : 10);
      if (code >= 0x80) fail("only ASCII character references are decoded here");
      out += static_cast<char>(code);
    } else {
      fail("unknown entity &" + body + ";");
    }
    i_ = end + 1;
  }

  std::unique_ptr<Element> element() {
    ++i_;  // '<'
    auto node = std::make_unique<Element>();
    node->name = name();
    for (;;) {
      const bool spaced = i_ < s_.size() && space(s_[i_]);
      skipSpace();
      if (i_ >= s_.size()) fail("unterminated tag");
      if (s_.compare(i_, 2, "/>") == 0) {
        i_ += 2;
        return node;
      }
      if (s_[i_] == '>') {
        ++i_;
        break;
      }
      if (!spaced) fail("attributes need space between them");
      const std::string key = name();
      skipSpace();
      if (i_ >= s_.size() || s_[i_] != '=') fail("attribute without a value");
      ++i_;
      skipSpace();
      if (i_ >= s_.size() || (s_[i_] != '"' && s_[i_] != '\'')) fail("unquoted attribute");
      const char quote = s_[i_++];
      std::string value;
      while (i_ < s_.size() && s_[i_] != quote) {
        if (s_[i_] == '<') fail("'<' in an attribute");
        if (s_[i_] == '&') {
          entity(value);
        } else {
          value += s_[i_++];
        }
      }
      if (i_ >= s_.size()) fail("unterminated attribute");
      ++i_;
      if (!node->attributes.emplace(key, value).second) fail("repeated attribute " + key);
    }
    for (;;) {
      if (i_ >= s_.size()) fail("unclosed <" + node->name + ">");
      if (s_.compare(i_, 4, "<!--") == 0) {
        comment();
      } else if (s_.compare(i_, 2, "</") == 0) {
        i_ += 2;
        if (name() != node->name) fail("</...> does not close <" + node->name + ">");
        skipSpace();
        if (i_ >= s_.size() || s_[i_] != '>') fail("bad end tag");
        ++i_;
        return node;
      } else if (s_[i_] == '<') {
        node->children.push_back(element());
      } else if (s_[i_] == '&') {
        entity(node->text);
      } else {
        node->text += s_[i_++];
      }
    }
  }

  const std::string& s_;
  std::size_t i_ = 0;
};

// --- inflate ---

class Bits {
public:
  explicit Bits(const std::string& data, std::size_t start) : data_(data), byte_(start) {}

  unsigned take(int count) {
    unsigned value = 0;
    for (int i = 0; i < count; ++i) {
      if (byte_ >= data_.size()) throw PngError("compressed data ends early");
      const unsigned bit = (static_cast<unsigned char>(data_[byte_]) >> bit_) & 1u;
      value |= bit << i;
      if (++bit_ == 8) {
        bit_ = 0;
        ++byte_;
      }
    }
    return value;
  }
  void toByte() {
    if (bit_ != 0) {
      bit_ = 0;
      ++byte_;
    }
  }
  unsigned char byte() {
    if (byte_ >= data_.size()) throw PngError("compressed data ends early");
    return static_cast<unsigned char>(data_[byte_++]);
  }

private:
  const std::string& data_;
  std::size_t byte_;
  int bit_ = 0;
};

// A canonical Huffman code from code lengths: codes of each length are consecutive, and
// shorter codes come first.
class Huffman {
public:
  explicit Huffman(const std::vector<int>& lengths) : counts_(16, 0) {
    for (int length : lengths) ++counts_[static_cast<std::size_t>(length)];
    counts_[0] = 0;
    std::vector<int> offsets(16, 0);
    for (std::size_t len = 1; len < 16; ++len) offsets[len] = offsets[len - 1] + counts_[len - 1];
    symbols_.resize(lengths.size());
    for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
      if (lengths[symbol] != 0) {
        symbols_[static_cast<std::size_t>(offsets[static_cast<std::size_t>(lengths[symbol])]++)] =
            static_cast<int>(symbol);
      }
    }
  }

  int decode(Bits& bits) const {
    int code = 0, first = 0, index = 0;
    for (std::size_t len = 1; len < 16; ++len) {
      code |= static_cast<int>(bits.take(1));
      const int count = counts_[len];
      if (code - first < count) return symbols_[static_cast<std::size_t>(index + code - first)];
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    throw PngError("bad Huffman code");
  }

private:
  std::vector<int> counts_;
  std::vector<int> symbols_;
};

constexpr std::array<int, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                             15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                             67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<int, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<int, 30> kDistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void inflateBlock(Bits& bits, const Huffman& literals, const Huffman& distances, std::string& out) {
  for (;;) {
    const int symbol = literals.decode(bits);
    if (symbol < 256) {
      out += static_cast<char>(symbol);
      continue;
    }
    if (symbol == 256) return;
    const std::size_t lengthCode = static_cast<std::size_t>(symbol - 257);
    if (lengthCode >= kLengthBase.size()) throw PngError("bad length code");
    const int length =
        kLengthBase[lengthCode] + static_cast<int>(bits.take(kLengthExtra[lengthCode]));
    const std::size_t distanceCode = static_cast<std::size_t>(distances.decode(bits));
    if (distanceCode >= kDistanceBase.size()) throw PngError("bad distance code");
    const std::size_t distance = static_cast<std::size_t>(
        kDistanceBase[distanceCode] + static_cast<int>(bits.take(kDistanceExtra[distanceCode])));
    if (distance > out.size()) throw PngError("distance reaches before the start");
    for (int i = 0; i < length; ++i) out += out[out.size() - distance];
  }
}

void dynamicBlock(Bits& bits, std::string& out) {
  const int literalCount = static_cast<int>(bits.take(5)) + 257;
  const int distanceCount = static_cast<int>(bits.take(5)) + 1;
  const int lengthCount = static_cast<int>(bits.take(4)) + 4;
  static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  std::vector<int> codeLengths(19, 0);
  for (int i = 0; i < lengthCount; ++i) codeLengths[order[i]] = static_cast<int>(bits.take(3));
  const Huffman lengthCode(codeLengths);
  std::vector<int> lengths;
  while (static_cast<int>(lengths.size()) < literalCount + distanceCount) {
    const int symbol = lengthCode.decode(bits);
    if (symbol < 16) {
      lengths.push_back(symbol);
      continue;
    }
    int repeat = 0, value = 0;
    if (symbol == 16) {
      if (lengths.empty()) throw PngError("repeat with nothing before it");
      value = lengths.back();
      repeat = 3 + static_cast<int>(bits.take(2));
    } else if (symbol == 17) {
      repeat = 3 + static_cast<int>(bits.take(3));
    } else {
      repeat = 11 + static_cast<int>(bits.take(7));
    }
    lengths.insert(lengths.end(), static_cast<std::size_t>(repeat), value);
  }
  if (static_cast<int>(lengths.size()) != literalCount + distanceCount) {
    throw PngError("code lengths overrun");
  }
  const auto split = lengths.begin() + literalCount;
  inflateBlock(bits, Huffman(std::vector<int>(lengths.begin(), split)),
               Huffman(std::vector<int>(split, lengths.end())), out);
}

}  // namespace

std::unique_ptr<Element> parseXml(const std::string& text) { return XmlReader(text).document(); }

std::string inflateZlib(const std::string& stream) {
  if (stream.size() < 2 || (static_cast<unsigned char>(stream[0]) & 0x0f) != 8) {
    throw PngError("not a deflate stream");
  }
  Bits bits(stream, 2);
  std::string out;
  for (bool last = false; !last;) {
    last = bits.take(1) != 0;
    const unsigned type = bits.take(2);
    if (type == 0) {
      bits.toByte();
      const unsigned length = bits.byte() | (bits.byte() << 8);
      const unsigned check = bits.byte() | (bits.byte() << 8);
      if ((length ^ 0xffffu) != check) throw PngError("bad stored block");
      for (unsigned i = 0; i < length; ++i) out += static_cast<char>(bits.byte());
    } else if (type == 1) {
      std::vector<int> literals(288, 8);
      std::fill(literals.begin() + 144, literals.begin() + 256, 9);
      std::fill(literals.begin() + 256, literals.begin() + 280, 7);
      inflateBlock(bits, Huffman(literals), Huffman(std::vector<int>(30, 5)), out);
    } else if (type == 2) {
      dynamicBlock(bits, out);
    } else {
      throw PngError("bad block type");
    }
  }
  return out;
}

namespace {

std::uint32_t bigEndian(const std::string& s, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(s[at + i]);
  return value;
}

int paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

}  // namespace

Image readPng(const std::string& bytes) {
  if (bytes.size() < 8 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) {
    throw PngError("not a PNG file");
  }
  Image image;
  int colourType = -1;
  std::string compressed;
  for (std::size_t at = 8; at + 12 <= bytes.size();) {
    const std::uint32_t length = bigEndian(bytes, at);
    const std::string type = bytes.substr(at + 4, 4);
    if (at + 12 + length > bytes.size()) throw PngError("chunk runs past the end");
    const std::string data = bytes.substr(at + 8, length);
    if (type == "IHDR") {
      image.width = static_cast<int>(bigEndian(data, 0));
      image.height = static_cast<int>(bigEndian(data, 4));
      colourType = static_cast<unsigned char>(data[9]);
      if (data[8] != 8 || (colourType != 2 && colourType != 6) || data[12] != 0) {
        throw PngError("only 8-bit RGB or RGBA, not interlaced");
      }
    } else if (type == "IDAT") {
      compressed += data;
    } else if (type == "IEND") {
      break;
    }
    at += 12 + length;
  }
  if (colourType < 0) throw PngError("no IHDR");
  const std::size_t channels = colourType == 6 ? 4 : 3;
  const std::size_t stride = channels * static_cast<std::size_t>(image.width);
  const std::string raw = inflateZlib(compressed);
  const std::size_t rows = static_cast<std::size_t>(image.height);
  if (raw.size() != rows * (stride + 1)) throw PngError("image data has the wrong size");
  std::vector<std::uint8_t> pixels(rows * stride);
  for (std::size_t y = 0; y < rows; ++y) {
    const int filter = static_cast<unsigned char>(raw[y * (stride + 1)]);
    for (std::size_t x = 0; x < stride; ++x) {
      const int value = static_cast<unsigned char>(raw[y * (stride + 1) + 1 + x]);
      const int left = x >= channels ? pixels[y * stride + x - channels] : 0;
      const int up = y > 0 ? pixels[(y - 1) * stride + x] : 0;
      const int corner = x >= channels && y > 0 ? pixels[(y - 1) * stride + x - channels] : 0;
      int predicted = 0;
      switch (filter) {
        case 0: break;
        case 1: predicted = left; break;
        case 2: predicted = up; break;
        case 3: predicted = (left + up) / 2; break;
        case 4: predicted = paeth(left, up, corner); break;
        default: throw PngError("bad filter type");
      }
      pixels[y * stride + x] = static_cast<std::uint8_t>((value + predicted) & 0xff);
    }
  }
  image.rgba.resize(rows * static_cast<std::size_t>(image.width) * 4);
  for (std::size_t p = 0; p < rows * static_cast<std::size_t>(image.width); ++p) {
    for (std::size_t c = 0; c < 4; ++c) {
      image.rgba[p * 4 + c] = c < channels ? pixels[p * channels + c] : 255;
    }
  }
  return image;
}

std::unique_ptr<Element> parsedOrFailure(const std::string& svg) {
  try {
    return parseXml(svg);
  } catch (const XmlError& error) {
    ADD_FAILURE() << "not well-formed: " << error.what();
    return std::make_unique<Element>();
  }
}

// --- rendering ---

Image renderSvg(const std::string& svg, const std::string& stem) {
  // A folder of its own, so that tests running side by side never share files.
  const testing_support::TempFolder folder;
  const std::string in = folder.write(stem + ".svg", svg).string(),
                    out = folder.path(stem + ".png");
  const std::string command = "rsvg-convert '" + in + "' -o '" + out + "'";
  if (std::system(command.c_str()) != 0) {
    throw std::runtime_error("rsvg-convert failed (scripts/install-deps.sh installs librsvg2-bin)");
  }
  return readPng(testing_support::readFile(out));
}

long pixelsNear(const Image& image, int r, int g, int b, int within) {
  long count = 0;
  for (std::size_t p = 0; p + 3 < image.rgba.size(); p += 4) {
    count += std::abs(image.rgba[p] - r) <= within && std::abs(image.rgba[p + 1] - g) <= within &&
             std::abs(image.rgba[p + 2] - b) <= within;
  }
  return count;
}

}  // namespace picture_check
