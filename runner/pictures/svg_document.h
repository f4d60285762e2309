// The SVG text of a picture: numbers, escaping, the document with its body, text and
// titled shapes. Pixels throughout; the font is monospaced so that a label's width can be
// known here.
#pragma once

#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

#include "runner/pictures/mesh_picture.h"
#include "runner/pictures/palette.h"
#include "runner/pictures/view_frame.h"

namespace runner::svg {

constexpr double kFont = 9, kCharWidth = 0.61 * kFont, kLabelHeight = kFont + 2;

// A coordinate or size: one decimal.
std::string num(double value);
// A coordinate with at most one decimal and no ".0": mesh paths hold thousands of them.
std::string shortNum(double value);
// Text for XML: markup characters as entities, control characters as '?'.
std::string escape(const std::string& text);
// The width of `text` in the picture's font, counting UTF-8 characters.
double textWidth(const std::string& text);
// "1 point", "3 points".
std::string countText(std::size_t count, const char* one, const char* many);
// A path of round dots, one zero-length stroke each.
std::string dotPath(const std::vector<Pixel>& dots);

class Picture {
public:
  Picture(double width, double height) : width_(width), height_(height) {}

  std::ostringstream body;

  // The whole document: a white page under the body.
  std::string finish() const;

  // A halo in the cell's colour keeps a name readable across the lines beneath it.
  void text(Point at, const std::string& content, double size, const char* anchor = "start",
            bool bold = false, const char* fill = colour::kInk, bool halo = false);

private:
  double width_, height_;
};

// A polygon through `shape`, or a dot for a single point, with `title` for hovering.
void drawShape(Picture& picture, const std::vector<Point>& shape, const char* fill,
               const char* stroke, const std::string& extra, const std::string& title,
               const char* cls);

}  // namespace runner::svg
