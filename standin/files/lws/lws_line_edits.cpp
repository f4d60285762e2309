#include "standin/files/lws/lws_line_edits.h"

#include <utility>

namespace standin {
namespace lws {

void LineEdits::replace(std::size_t line, Lines with) {
  Edit& e = edits_[line];
  e.replaced = true;
  e.with = std::move(with);
}

void LineEdits::insertAfter(std::size_t line, Lines lines) {
  Lines& after = edits_[line].after;
  for (std::string& l : lines) after.push_back(std::move(l));
}

void LineEdits::insertBefore(std::size_t line, Lines lines) {
  Lines& before = edits_[line].before;
  for (std::string& l : lines) before.push_back(std::move(l));
}

bool LineEdits::replaced(std::size_t line) const {
  const auto found = edits_.find(line);
  return found != edits_.end() && found->second.replaced;
}

const std::string& LineEdits::text(const LwsDocument& doc, std::size_t line) const {
  const auto found = edits_.find(line);
  if (found != edits_.end() && found->second.replaced && found->second.with.size() == 1) {
    return found->second.with.front();
  }
  return doc.lines[line];
}

std::string LineEdits::apply(const LwsDocument& doc) const {
  std::string text;
  text.reserve(doc.lines.size() * 24);
  bool lastWasOriginal = true;
  std::size_t lastEnd = 0;
  auto put = [&](const std::string& line, std::size_t anchor, bool original) {
    text += line;
    const std::size_t crs = doc.carriageReturns[anchor];
    text.append(crs, '\r');
    text += '\n';
    lastWasOriginal = original;
    lastEnd = crs + 1;
  };
  auto putAll = [&](const Lines& lines, std::size_t anchor) {
    for (const std::string& line : lines) put(line, anchor, false);
  };
  for (std::size_t i = 0; i < doc.lines.size(); ++i) {
    const auto e = edits_.find(i);
    if (e == edits_.end()) {
      put(doc.lines[i], i, true);
      continue;
    }
    putAll(e->second.before, i);
    if (e->second.replaced) {
      putAll(e->second.with, i);
    } else {
      put(doc.lines[i], i, true);
    }
    putAll(e->second.after, i);
  }
  // A file without a final line feed keeps its last line's carriage returns, if any.
  if (!doc.finalNewline && !text.empty()) {
    text.resize(text.size() - (lastWasOriginal ? 1 : lastEnd));
  }
  return text;
}

}  // namespace lws
}  // namespace standin
