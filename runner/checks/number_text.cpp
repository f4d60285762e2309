#include "runner/checks/number_text.h"

#include <cmath>
#include <cstdio>

namespace runner {

std::string numberText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string listText(const std::vector<double>& values, double noise) {
  auto shown = [noise](double v) { return numberText(std::abs(v) <= noise ? 0.0 : v); };
  if (values.size() == 1) return shown(values[0]);
  std::string text = "(";
  for (std::size_t i = 0; i < values.size(); ++i) text += (i ? ", " : "") + shown(values[i]);
  return text + ")";
}

std::string vectorText(const standin::Vec3& v, double noise) {
  return listText({v[0], v[1], v[2]}, noise);
}

}  // namespace runner
