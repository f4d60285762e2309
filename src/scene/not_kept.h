// What a tool could not keep, gathered while it runs and told once at its end: one
// debugger line and one message the user sees, each reason with the items it concerns.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/host_session.h"

namespace vorrik {

class NotKept {
public:
  void add(const std::string& reason, const std::string& item);
  // An item whose keys could not be edited, so it was placed at the current time only.
  void addPlacedNowOnly(const Host& host, LWItemID item);
  bool empty() const { return reasons_.empty(); }
  // "<tool> could not keep everything. <reason>: A, B." Names past the tenth of a reason
  // are counted, not listed.
  std::string text(const char* tool) const;
  // The trace line and the message; nothing when there is nothing to tell.
  void report(const Host& host, const char* tool) const;

private:
  std::vector<std::pair<std::string, std::vector<std::string>>> reasons_;  // in order met
};

}  // namespace vorrik
