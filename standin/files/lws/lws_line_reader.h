// Reading a .lws file line by line: what has been gathered so far, the item the lines are
// about, and the checks every line's values go through. The statements (blocks, motion,
// plug-in sections) are walked in lws_reader.cpp; keyword lines are read by the table in
// lws_keywords.cpp. Internal to lws_*.cpp.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "standin/files/lws/lws_document.h"
#include "standin/files/lws/lws_scene_build.h"

namespace standin {

class LwsLineReader {
public:
  explicit LwsLineReader(const std::string& file) : file_(file) {}

  LwsReading reading;               // what the file says, so far
  std::size_t cur = kNoLine;        // the item declared last
  std::size_t curObject = kNoLine;  // the object declared last
  bool inMotion = false;            // between a motion line and its last channel
  std::unordered_map<std::size_t, std::size_t> bonesPerObject;  // version 3 numbering

  LwsDocument& doc() { return reading.doc; }
  const LwsDocument& doc() const { return reading.doc; }
  std::size_t lineCount() const { return reading.doc.lines.size(); }
  std::string_view line(std::size_t i) const { return reading.doc.lines[i]; }
  const std::string& file() const { return file_; }

  // Throws SceneFileError "FILE:LINE: message".
  [[noreturn]] void fail(std::size_t line, const std::string& message) const;

  // The item lines are about now; null before the first declaration.
  LwsItem* current() { return cur < reading.doc.items.size() ? &reading.doc.items[cur] : nullptr; }
  // Line `i` is the current item's own (a new bone goes after the last such line).
  void own(std::size_t i) {
    if (LwsItem* item = current()) item->lastOwn = i;
  }

  // Values, refused with the line and what they are for when they do not read.
  double number(std::size_t i, std::string_view text, const char* what) const;
  long long integer(std::size_t i, std::string_view text, const char* what) const;
  // Exactly `count` numbers after the line's keyword.
  std::vector<double> numbers(std::size_t i, std::size_t count) const;
  Vec3 vec3(std::size_t i) const;
  // An item id in hex; the first one with a letter sets the case new ids are written in.
  ItemId hex(std::size_t i, std::string_view text);
  // `i`, refused when the item already has such a line (`already`).
  std::size_t once(std::size_t already, std::size_t i) const;

private:
  const std::string& file_;
  bool sawHexLetter_ = false;
};

// Reads keyword line `i`, `k` being its keyword and `rest` what follows it (untrimmed: a
// name keeps its spaces): declarations, scene settings and the current item's values.
void readKeywordLine(LwsLineReader& r, std::size_t i, std::string_view k, std::string_view rest);

}  // namespace standin
