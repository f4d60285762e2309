#include "runner/pictures/svg_document.h"

#include <cstdio>

namespace runner::svg {

namespace {

std::string polygonPoints(const std::vector<Point>& points) {
  std::string text;
  for (const Point& p : points) text += (text.empty() ? "" : " ") + num(p.x) + "," + num(p.y);
  return text;
}

}  // namespace

std::string num(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string shortNum(double value) {
  std::string text = num(value);
  if (text.size() > 2 && text.compare(text.size() - 2, 2, ".0") == 0) text.resize(text.size() - 2);
  return text == "-0" ? "0" : text;
}

std::string escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        // XML 1.0 allows no control characters but tab, newline and return.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
          out += '?';
        } else {
          out += c;
        }
    }
  }
  return out;
}

double textWidth(const std::string& text) {
  std::size_t glyphs = 0;
  for (char c : text) glyphs += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return static_cast<double>(glyphs) * kCharWidth;
}

std::string countText(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string dotPath(const std::vector<Pixel>& dots) {
  std::string d;
  for (const Pixel& p : dots) d += "M" + shortNum(p.x) + " " + shortNum(p.y) + "h0";
  return d;
}

std::string Picture::finish() const {
  std::ostringstream svg;
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << num(width_) << "\" height=\""
      << num(height_) << "\" viewBox=\"0 0 " << num(width_) << " " << num(height_)
      << "\" font-family=\"DejaVu Sans Mono, monospace\">\n"
      << "<rect x=\"0\" y=\"0\" width=\"" << num(width_) << "\" height=\"" << num(height_)
      << "\" fill=\"" << colour::kPage << "\"/>\n"
      << body.str() << "</svg>\n";
  return svg.str();
}

void Picture::text(Point at, const std::string& content, double size, const char* anchor, bool bold,
                   const char* fill, bool halo) {
  body << "<text x=\"" << num(at.x) << "\" y=\"" << num(at.y) << "\" font-size=\"" << num(size)
       << "\"";
  if (anchor[0] != 's') body << " text-anchor=\"" << anchor << "\"";
  if (bold) body << " font-weight=\"bold\"";
  if (halo) {
    body << " stroke=\"" << colour::kCell << "\" stroke-width=\"2.5\" paint-order=\"stroke\"";
  }
  body << " fill=\"" << fill << "\">" << escape(content) << "</text>\n";
}

void drawShape(Picture& picture, const std::vector<Point>& shape, const char* fill,
               const char* stroke, const std::string& extra, const std::string& title,
               const char* cls) {
  if (shape.size() == 1) {
    picture.body << "<circle class=\"" << cls << "\" cx=\"" << num(shape[0].x) << "\" cy=\""
                 << num(shape[0].y) << "\" r=\"2.5\" fill=\"" << fill << "\" stroke=\"" << stroke
                 << "\"" << extra << ">";
  } else {
    picture.body << "<polygon class=\"" << cls << "\" points=\"" << polygonPoints(shape)
                 << "\" fill=\"" << fill << "\" stroke=\"" << stroke << "\"" << extra << ">";
  }
  picture.body << "<title>" << escape(title) << "</title>"
               << (shape.size() == 1 ? "</circle>\n" : "</polygon>\n");
}

}  // namespace runner::svg
