// Runs the real, loaded Vorrik.p inside the stand-in, and writes expected commands with item
// names: "SelectItem {Hand}" stands for the hex id of the item named Hand.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "standin/layout/stand_in.h"

namespace testing_support {

// The module file built beside the tests.
const char* modulePath();

// Runs `body` on a thread with the 1 MiB stack a Windows Layout gives its main thread, so
// code that leans on the call stack fails here whatever this platform's default.
void runOnSmallStack(const std::function<void()>& body);

class ToolHarness {
public:
  // A fresh stand-in with the module loaded, so module-lifetime state starts empty.
  explicit ToolHarness(standin::Scene scene = {});
  explicit ToolHarness(const std::string& sceneJson);

  standin::StandIn& standIn() { return standIn_; }
  standin::Scene& scene() { return standIn_.scene(); }

  // Selects the named items in this order (no names: nothing selected).
  void select(const std::vector<std::string>& names);
  // Runs "Vorrik:<tool>".
  standin::RunRecord run(const std::string& tool, const standin::Answers& answers = {});

  // The id of a named item now, or as it was when the harness first saw it.
  standin::ItemId id(const std::string& name) const;
  // Replaces each {Name} by that item's hex id.
  std::string expand(const std::string& pattern) const;
  std::vector<std::string> expand(const std::vector<std::string>& patterns) const;

private:
  void remember();
  standin::StandIn standIn_;
  std::unordered_map<std::string, standin::ItemId> known_;  // first id seen for each name
};

}  // namespace testing_support
