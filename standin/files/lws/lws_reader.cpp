// Reads a .lws file: the header, then statement by statement, where blocks and plug-in
// sections are skipped whole, motion blocks and their envelopes are read here and every
// other line goes to the keyword table (lws_keywords.cpp).
#include "standin/files/lws/lws_reader.h"

#include <cmath>
#include <string_view>
#include <utility>

#include "standin/files/base/scene_file_error.h"
#include "standin/files/lws/lws_document.h"
#include "standin/files/lws/lws_line_reader.h"
#include "standin/files/lws/lws_scene_build.h"
#include "standin/files/lws/lws_text.h"

namespace standin {

using lws::afterKeyword;
using lws::keyword;
using lws::trim;
using lws::words;

void LwsLineReader::fail(std::size_t line, const std::string& message) const {
  throw SceneFileError(file_ + ":" + std::to_string(line + 1) + ": " + message);
}

double LwsLineReader::number(std::size_t i, std::string_view text, const char* what) const {
  double value = 0;
  if (!lws::parseNumber(text, value)) {
    fail(i, std::string(what) + ": \"" + std::string(text) + "\" is not a number");
  }
  return value;
}

long long LwsLineReader::integer(std::size_t i, std::string_view text, const char* what) const {
  long long value = 0;
  if (!lws::parseInteger(text, value)) {
    fail(i, std::string(what) + ": \"" + std::string(text) + "\" is not a whole number");
  }
  return value;
}

std::vector<double> LwsLineReader::numbers(std::size_t i, std::size_t count) const {
  const std::string_view k = keyword(line(i));
  const std::vector<std::string_view> w = words(afterKeyword(line(i)));
  if (w.size() != count) {
    fail(i, std::string(k) + " needs " + std::to_string(count) + " number" +
                (count == 1 ? "" : "s") + ", found " + std::to_string(w.size()));
  }
  std::vector<double> out;
  for (std::string_view word : w) out.push_back(number(i, word, std::string(k).c_str()));
  return out;
}

Vec3 LwsLineReader::vec3(std::size_t i) const {
  const std::vector<double> v = numbers(i, 3);
  return {v[0], v[1], v[2]};
}

ItemId LwsLineReader::hex(std::size_t i, std::string_view text) {
  ItemId id = 0;
  if (!lws::parseHexId(text, id)) {
    fail(i,
         std::string(keyword(line(i))) + " needs a hex item id, not \"" + std::string(text) + "\"");
  }
  if (!sawHexLetter_) {
    for (char c : text) {
      if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) {
        reading.doc.upperHex = c >= 'A' && c <= 'F';
        sawHexLetter_ = true;
        break;
      }
    }
  }
  return id;
}

std::size_t LwsLineReader::once(std::size_t already, std::size_t i) const {
  if (already != kNoLine) {
    fail(i, std::string(keyword(line(i))) + " appears twice for one item (also line " +
                std::to_string(already + 1) + ")");
  }
  return i;
}

namespace {

constexpr int kFirstVersion = 3;
constexpr int kLastVersion = 8;

// A whole number from 0 to below `count`, checked before any conversion to an integer.
bool isIndexBelow(double value, int count) {
  return value >= 0 && value < count && value == std::floor(value);
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

class Reader {
public:
  Reader(const std::string& text, const std::string& file) : r_(file) { split(text); }

  Scene read() {
    header();
    for (std::size_t i = 2; i < n();) i = statement(i);
    if (pendingChannel_ >= 0) {
      r_.fail(pendingLine_, "Channel " + std::to_string(pendingChannel_) +
                                " is not followed by an { Envelope block");
    }
    if (r_.inMotion) endMotion();
    std::vector<LwsItem>& items = r_.doc().items;
    for (std::size_t k = 0; k < items.size(); ++k) {
      items[k].end = k + 1 < items.size() ? items[k + 1].declLine : n();
    }
    return buildLwsScene(std::move(r_.reading), r_.file());
  }

private:
  std::size_t n() const { return r_.lineCount(); }
  std::string_view line(std::size_t i) const { return r_.line(i); }

  void split(const std::string& text) {
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      const bool last = end == std::string::npos;
      if (last) end = text.size();
      std::size_t content = end;
      while (content > start && text[content - 1] == '\r') --content;
      r_.doc().lines.push_back(text.substr(start, content - start));
      r_.doc().carriageReturns.push_back(static_cast<std::uint32_t>(end - content));
      start = last ? text.size() : end + 1;
    }
    r_.doc().finalNewline = !text.empty() && text.back() == '\n';
  }

  void header() {
    std::string_view first = n() > 0 ? line(0) : std::string_view();
    if (startsWith(first, kByteOrderMark)) first.remove_prefix(kByteOrderMark.size());
    if (trim(first) != "LWSC") r_.fail(0, "not a LightWave scene: the first line must be LWSC");
    long long version = 0;
    if (n() < 2 || !lws::parseInteger(trim(line(1)), version)) {
      r_.fail(1, "the second line must be the scene version, a whole number");
    }
    if (version < kFirstVersion) {
      r_.fail(1, "scene version " + std::to_string(version) +
                     " is not supported: versions 1 and 2 use an older motion syntax; save the "
                     "scene from LightWave 6 or later (versions 3 to 8 are read)");
    }
    if (version > kLastVersion) {
      r_.fail(1, "scene version " + std::to_string(version) +
                     " is newer than this reader knows "
                     "(versions 3 to 8 are read)");
    }
    r_.doc().version = static_cast<int>(version);
  }

  // Index of the line that closes the block opened at `open`.
  std::size_t skipBlock(std::size_t open) const {
    int depth = 1;
    for (std::size_t j = open + 1; j < n(); ++j) {
      const std::string_view t = trim(line(j));
      if (!t.empty() && t[0] == '{') {
        ++depth;
      } else if (t == "}" && --depth == 0) {
        return j;
      }
    }
    r_.fail(open, "the block \"" + std::string(trim(line(open))) + "\" is never closed");
  }

  // Index of the EndPlugin line of the plug-in section starting at `open`. Its data is the
  // plug-in's own: only braces are counted, so that an EndPlugin inside a block is skipped.
  std::size_t skipPlugin(std::size_t open) const {
    int depth = 0;
    for (std::size_t j = open + 1; j < n(); ++j) {
      const std::string_view t = trim(line(j));
      if (!t.empty() && t[0] == '{') {
        ++depth;
      } else if (t == "}") {
        if (depth > 0) --depth;
      } else if (depth == 0 && t == "EndPlugin") {
        return j;
      }
    }
    r_.fail(open, "the plug-in section \"" + std::string(trim(line(open))) +
                      "\" is never closed (no EndPlugin)");
  }

  std::size_t statement(std::size_t i) {
    const std::string_view t = trim(line(i));
    if (!t.empty() && t[0] == '{') {
      if (pendingChannel_ >= 0) return envelope(i) + 1;
      const std::size_t close = skipBlock(i);
      return close + 1;
    }
    if (t == "}") r_.fail(i, "\"}\" closes no block");
    if (t.empty()) return i + 1;  // blank lines are only cosmetic
    if (pendingChannel_ >= 0) {
      r_.fail(pendingLine_, "Channel " + std::to_string(pendingChannel_) +
                                " is not followed by an { Envelope block");
    }
    const std::string_view k = keyword(t);
    if (k == "Plugin") {
      const std::size_t close = skipPlugin(i);
      r_.doc().plugins.emplace_back(i, close);
      // Motion modifiers are the item's own; other plug-ins (deformers, ...) the object's.
      const std::vector<std::string_view> w = words(afterKeyword(t));
      if (!w.empty() && w[0] == "ItemMotionHandler") r_.own(close);
      return close + 1;
    }
    if (r_.inMotion) {
      if (k == "NumChannels" || k == "Channel") {
        r_.own(i);
        motionLine(i, k, afterKeyword(t));
        return i + 1;
      }
      endMotion();
    }
    // Kept as text, such a line would join the motion a run may give the item.
    if (k == "NumChannels" || k == "Channel") {
      r_.fail(i, std::string(k) + " outside a motion block (no motion line before it)");
    }
    readKeywordLine(r_, i, k, afterKeyword(line(i)));  // untrimmed: a name keeps its spaces
    return i + 1;
  }

  void endMotion() {
    r_.inMotion = false;
    LwsItem& item = *r_.current();
    if (item.numChannelsLine == kNoLine) {
      r_.fail(item.motionLine, "the motion has no NumChannels line");
    }
    if (static_cast<int>(item.channels.size()) != item.numChannels) {
      r_.fail(item.numChannelsLine, "NumChannels says " + std::to_string(item.numChannels) +
                                        " channels but " + std::to_string(item.channels.size()) +
                                        " follow");
    }
  }

  void motionLine(std::size_t i, std::string_view k, std::string_view rest) {
    LwsItem& item = *r_.current();
    if (k == "NumChannels") {
      if (item.numChannelsLine != kNoLine || !item.channels.empty()) {
        r_.fail(i, "NumChannels must come once, right after the motion line");
      }
      const long long count = r_.integer(i, trim(rest), "NumChannels");
      if (count < 0 || count > 64) r_.fail(i, "NumChannels must be 0 to 64");
      item.numChannelsLine = i;
      item.numChannels = static_cast<int>(count);
      return;
    }
    // "Channel i"
    if (item.numChannelsLine == kNoLine) r_.fail(i, "Channel before NumChannels");
    const long long index = r_.integer(i, trim(rest), "Channel");
    if (index < 0 || index >= item.numChannels) {
      r_.fail(i, "Channel " + std::to_string(index) + " is outside NumChannels " +
                     std::to_string(item.numChannels));
    }
    for (const LwsChannel& c : item.channels) {
      if (c.index == index) r_.fail(i, "Channel " + std::to_string(index) + " appears twice");
    }
    pendingChannel_ = static_cast<int>(index);
    pendingLine_ = i;
  }

  // Reads the Envelope block at `open` for the pending channel; returns its closing line.
  std::size_t envelope(std::size_t open) {
    const std::string where = "the Envelope of Channel " + std::to_string(pendingChannel_);
    if (trim(line(open)) != "{ Envelope") {
      r_.fail(open, "Channel " + std::to_string(pendingChannel_) +
                        " is followed by a block that is not an Envelope");
    }
    LwsChannel ch;
    ch.index = pendingChannel_;
    ch.channelLine = pendingLine_;
    ch.openLine = open;
    pendingChannel_ = -1;
    long long count = -1;
    for (std::size_t j = open + 1; j < n(); ++j) {
      const std::string_view t = trim(line(j));
      if (t.empty()) continue;
      if (t[0] == '{') {
        j = skipBlock(j);
        continue;
      }
      if (t == "}") {
        ch.closeLine = j;
        break;
      }
      const std::string_view k = keyword(t);
      if (k == "Plugin") {
        const std::size_t close = skipPlugin(j);
        r_.doc().plugins.emplace_back(j, close);
        j = close;
        continue;
      }
      if (count < 0) {
        if (!lws::parseInteger(t, count) || count < 0) {
          r_.fail(j, where + " must start with its key count, not \"" + std::string(t) + "\"");
        }
        ch.countLine = j;
      } else if (k == "Key") {
        ch.keys.push_back(key(j));
        ch.keyLines.push_back(j);
        if (ch.keys.size() > 1 && !(ch.keys[ch.keys.size() - 2].time < ch.keys.back().time)) {
          r_.fail(j, "key times must increase (" + lws::number(ch.keys.back().time) + " follows " +
                         lws::number(ch.keys[ch.keys.size() - 2].time) + ")");
        }
      } else if (k == "Behaviors") {
        const std::vector<double> v = r_.numbers(j, 2);
        for (double b : v) {
          if (!isIndexBelow(b, kEndBehaviorCount)) {
            r_.fail(j, "Behaviors: " + lws::number(b) + " is not a behaviour (0 to 5)");
          }
        }
        ch.behaviors = {static_cast<std::uint8_t>(v[0]), static_cast<std::uint8_t>(v[1])};
        ch.behaviorsLine = j;
      }
    }
    if (ch.closeLine == kNoLine) {
      r_.fail(open, where + " is never closed (no \"}\")");
    }
    if (count < 0) r_.fail(ch.closeLine, where + " has no key count");
    if (static_cast<long long>(ch.keys.size()) != count) {
      r_.fail(ch.countLine, where + " says " + std::to_string(count) + " key" +
                                (count == 1 ? "" : "s") + " but has " +
                                std::to_string(ch.keys.size()));
    }
    r_.own(ch.closeLine);
    r_.current()->channels.push_back(std::move(ch));
    return r_.current()->channels.back().closeLine;
  }

  Key key(std::size_t i) const {
    const std::vector<std::string_view> w = words(afterKeyword(trim(line(i))));
    if (w.size() != 9) {
      r_.fail(i, "a Key line needs 9 numbers (value, time, span type, 6 parameters), found " +
                     std::to_string(w.size()));
    }
    double v[9];
    for (int f = 0; f < 9; ++f) v[f] = r_.number(i, w[static_cast<std::size_t>(f)], "Key");
    if (!isIndexBelow(v[2], kSpanTypeCount)) {
      r_.fail(i, "Key: span type " + std::string(w[2]) + " is not one of 0 to 5");
    }
    Key k{v[1], v[0]};
    k.span = static_cast<int>(v[2]);
    for (int p = 0; p < 6; ++p) k.params[static_cast<std::size_t>(p)] = v[3 + p];
    return k;
  }

  LwsLineReader r_;
  int pendingChannel_ = -1;  // a Channel line waiting for its Envelope block
  std::size_t pendingLine_ = 0;
};

}  // namespace

Scene sceneFromLws(const std::string& text, const std::string& fileName) {
  return Reader(text, fileName).read();
}

bool looksLikeLws(std::string_view text) {
  std::string_view first = text.substr(0, text.find('\n'));
  while (!first.empty() && first.back() == '\r') first.remove_suffix(1);
  if (startsWith(first, kByteOrderMark)) first.remove_prefix(kByteOrderMark.size());
  return trim(first) == "LWSC";
}

}  // namespace standin
