#include "scene/not_kept.h"

namespace vorrik {

namespace {

constexpr std::size_t kNamesListed = 10;

}  // namespace

void NotKept::add(const std::string& reason, const std::string& item) {
  for (auto& entry : reasons_) {
    if (entry.first != reason) continue;
    for (const std::string& known : entry.second) {
      if (known == item) return;
    }
    entry.second.push_back(item);
    return;
  }
  reasons_.push_back({reason, {item}});
}

void NotKept::addPlacedNowOnly(const Host& host, LWItemID item) {
  add(host.hasKeyServices()
          ? "Layout did not list the motion keys; placed at the current time only"
          : "No channel and envelope services from Layout; placed at the current time only",
      host.name(item));
}

std::string NotKept::text(const char* tool) const {
  std::string out = std::string(tool) + " could not keep everything.";
  for (const auto& entry : reasons_) {
    out += " " + entry.first + ": ";
    const std::vector<std::string>& names = entry.second;
    for (std::size_t i = 0; i < names.size() && i < kNamesListed; ++i) {
      out += (i > 0 ? ", " : "") + names[i];
    }
    if (names.size() > kNamesListed) {
      out += " and " + std::to_string(names.size() - kNamesListed) + " more";
    }
    out += ".";
  }
  return out;
}

void NotKept::report(const Host& host, const char* tool) const {
  if (empty()) return;
  const std::string message = text(tool);
  debugTrace("[Not kept] : %s", message.c_str());
  host.info(message.c_str());
}

}  // namespace vorrik
