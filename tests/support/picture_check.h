// Checks for the runner's pictures: a small strict XML reader, and a PNG reader for what
// rsvg-convert makes of them (8-bit RGB or RGBA, not interlaced), with its own inflate.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace picture_check {

struct XmlError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Element {
  std::string name;
  std::map<std::string, std::string> attributes;  // entities decoded
  std::string text;                               // direct text, entities decoded
  std::vector<std::unique_ptr<Element>> children;

  std::string attribute(const std::string& key) const;
  // Direct text of the first <title> child ("" if none).
  std::string title() const;
  // This element and every descendant, in document order.
  std::vector<const Element*> all() const;
};

// Throws XmlError on anything not well-formed: unbalanced or crossed tags, unquoted or
// repeated attributes, a raw '<' or a stray '&', unknown entities, content after the root.
std::unique_ptr<Element> parseXml(const std::string& text);

// For tests: the parsed picture, or, when it is not well-formed, a test failure that says
// why and an empty element, so that the test goes on to its other checks.
std::unique_ptr<Element> parsedOrFailure(const std::string& svg);

struct Image {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgba;  // 4 bytes a pixel, rows top to bottom
};

struct PngError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

Image readPng(const std::string& bytes);

// zlib stream (RFC 1950/1951) to bytes; throws PngError when damaged.
std::string inflateZlib(const std::string& stream);

// Renders `svg` with rsvg-convert (Debian's librsvg2-bin) in a temporary folder and reads the
// PNG back; `stem` names the files. Throws std::runtime_error when rsvg-convert fails.
Image renderSvg(const std::string& svg, const std::string& stem);

// How many pixels are within `within` of the colour (r, g, b) in each channel.
long pixelsNear(const Image& image, int r, int g, int b, int within);

}  // namespace picture_check
