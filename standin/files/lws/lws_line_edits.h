// Edits to the lines of a file as read, kept apart until the file is written out again: a
// line replaced (by any number of lines, none to remove it), lines put before or after it.
// Every other line comes out as it was, with its own line ending. Internal to lws_*.cpp.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "standin/files/lws/lws_document.h"

namespace standin {
namespace lws {

class LineEdits {
public:
  using Lines = std::vector<std::string>;

  void replace(std::size_t line, Lines with);
  void replace(std::size_t line, std::string with) { replace(line, Lines{std::move(with)}); }
  void remove(std::size_t line) { replace(line, Lines{}); }
  void insertAfter(std::size_t line, Lines lines);
  void insertBefore(std::size_t line, Lines lines);
  // Whether the line is replaced (or removed).
  bool replaced(std::size_t line) const;
  // The line as it will be written when it is replaced by one line; otherwise the file's.
  const std::string& text(const LwsDocument& doc, std::size_t line) const;

  // The file's text with the edits made. Lines written anew take the ending of the line
  // their edit is anchored on; a file without a final line feed still has none.
  std::string apply(const LwsDocument& doc) const;

private:
  // What to do at a line of the file: lines before it, instead of it, after it.
  struct Edit {
    Lines before;
    bool replaced = false;
    Lines with;
    Lines after;
  };
  std::map<std::size_t, Edit> edits_;
};

}  // namespace lws
}  // namespace standin
