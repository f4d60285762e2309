// What goes with an item a save removes beyond its motion and its place in the hierarchy:
// the lines that set up how Layout moves it (IK and other controllers, limits, locked
// channels, its goal and target) and the plug-in blocks of its own (motion handlers, channel
// handlers in its envelopes, any other). The stand-in models none of them, so a run that
// removes the item loses them without the rig check seeing it; the save lists them.
#include <algorithm>
#include <string_view>

#include "standin/files/lws/lws_text.h"
#include "standin/files/lws/lws_writer_parts.h"

namespace standin {
namespace lws {
namespace {

// The lines that matter whatever their value, and those that matter when not 0 (the
// controllers' 0 is "keyframes", the locked channels' 0 is "none").
bool isSetupLine(std::string_view keyword, std::string_view value) {
  static const std::string_view kAlways[] = {"HLimits",    "PLimits",    "BLimits",
                                             "GoalObject", "TargetItem", "IKAnchor",
                                             "HStiffness", "PStiffness", "BStiffness"};
  static const std::string_view kUnlessZero[] = {"HController", "PController", "BController",
                                                 "LockedChannels", "FullTimeIK"};
  if (std::find(std::begin(kAlways), std::end(kAlways), keyword) != std::end(kAlways)) return true;
  if (std::find(std::begin(kUnlessZero), std::end(kUnlessZero), keyword) == std::end(kUnlessZero)) {
    return false;
  }
  return trim(value) != "0";
}

}  // namespace

void listLostSetup(const FileUpdate& u, std::size_t k, std::size_t first, std::size_t last,
                   std::vector<LostSetup>& out) {
  const LwsItem& d = u.doc.items[k];
  const auto plugin = [&](std::size_t line) {
    return std::find_if(u.doc.plugins.begin(), u.doc.plugins.end(),
                        [&](const auto& block) { return block.first == line; });
  };
  for (std::size_t i = first; i <= last && i < u.doc.lines.size(); ++i) {
    const auto block = plugin(i);
    if (block != u.doc.plugins.end()) {
      out.push_back({d.name, i + 1, std::string(trim(u.doc.lines[i]))});
      i = block->second;  // what the block holds goes with it
      continue;
    }
    const std::string_view line = trim(u.doc.lines[i]);
    if (isSetupLine(keyword(line), afterKeyword(line))) {
      out.push_back({d.name, i + 1, std::string(line)});
    }
  }
}

}  // namespace lws
}  // namespace standin
