// What a run was asked to change, so that --check fails only on the rest. A key tool is
// asked to change the items it keys or cuts, and what hangs from them, between their
// neighbouring keys; BoneUtil's rest actions are asked to change the bones they walk.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "standin/layout/stand_in.h"
#include "standin/scene/scene.h"

namespace runner {

// Where one item may move: strictly between `from` and `to` (infinite for no key on that
// side), because of what the run did to `source` at `at`.
struct IntentWindow {
  standin::ItemId source = 0;
  std::string action;  // "pasted", "cut", "rest restored"
  double at = 0;
  double from = 0, to = 0;
  bool contains(double t) const { return from < t && t < to; }
};

struct RunIntent {
  // The tool has a rule of what it is asked to change (the report then lists "intended").
  bool applies = false;
  std::unordered_map<standin::ItemId, std::vector<IntentWindow>> windows;
  // Bones whose rest values the run was asked to change, with the action that did.
  std::unordered_map<standin::ItemId, std::string> restAsked;

  // The window holding `t` for `id`, or null when a move of it there was not asked for.
  const IntentWindow* windowAt(standin::ItemId id, double t) const;
};

// From the commands the run's tool sent: `before` gives each item's keys as the run found
// them (null: it had none), `after` what hangs from each item.
RunIntent runIntent(const standin::RunRecord& record, const standin::Scene* before,
                    const standin::Scene& after);

// "pasted at 1 s (moves between 0.5 s and 2 s)", with "hangs from L_Arm, " before it when
// the window came from another item.
std::string intentText(const IntentWindow& window, standin::ItemId item,
                       const standin::Scene& scene);

}  // namespace runner
