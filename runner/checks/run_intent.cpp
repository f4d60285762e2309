#include "runner/checks/run_intent.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_set>

#include "runner/checks/number_text.h"
#include "standin/scene/key_time.h"

namespace runner {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A span whose shape follows the tangents at its keys, which a key's neighbours set.
bool curved(int span) { return span != standin::kSpanLinear && span != standin::kSpanStepped; }

// Where a change of `keys` at `t` shows: from the key before `t` to the key after it (keys
// at `t` left out), one key further where the span beyond is a curve, since the new or
// removed key turns the tangent at that neighbour.
void channelWindow(const std::vector<standin::Key>& keys, double t, double& from, double& to) {
  const auto [first, end] = standin::keysAt(keys.data(), keys.size(), t);
  double before = -kInfinity, after = kInfinity;
  if (first > 0) {
    const std::size_t p = first - 1;
    before = keys[p].time;
    if (p > 0 && curved(keys[p].span)) before = keys[p - 1].time;
  }
  if (end < keys.size()) {
    after = keys[end].time;
    if (end + 1 < keys.size() && curved(keys[end + 1].span)) after = keys[end + 1].time;
  }
  from = std::min(from, before);
  to = std::max(to, after);
}

// `onlyCut`: only channels with a key at `t` change (DeleteKey leaves the others).
IntentWindow itemWindow(const standin::Scene* before, standin::ItemId id, double t,
                        const std::string& action, bool onlyCut) {
  IntentWindow window{id, action, t, t, t};
  const standin::Item* item = before ? before->find(id) : nullptr;
  if (!item || !item->hasKeys()) {
    window.from = -kInfinity;
    window.to = kInfinity;
    return window;
  }
  for (const std::vector<standin::Key>& keys : item->keys) {
    if (onlyCut && standin::keyAt(keys, t) == keys.size()) continue;
    channelWindow(keys, t, window.from, window.to);
  }
  return window;
}

bool sameRange(const IntentWindow& a, const IntentWindow& b) {
  return a.from == b.from && a.to == b.to;
}

// The window for its source and for everything that hangs from it. A subtree that already
// has the same range (from an ancestor, walked first) is not walked again, which keeps a
// rest restored on every bone of a long chain linear; the item itself then names its own
// window first.
void addWindow(RunIntent& intent, const standin::Scene& after, const IntentWindow& window) {
  std::vector<standin::ItemId> stack{window.source};
  while (!stack.empty()) {
    const standin::ItemId id = stack.back();
    stack.pop_back();
    std::vector<IntentWindow>& list = intent.windows[id];
    const bool covered = std::any_of(list.begin(), list.end(),
                                     [&](const IntentWindow& w) { return sameRange(w, window); });
    if (covered) {
      if (id == window.source) list.insert(list.begin(), window);
      continue;
    }
    list.push_back(window);
    for (standin::ItemId child = after.firstChild(id); child != 0;
         child = after.nextChild(id, child)) {
      stack.push_back(child);
    }
  }
}

std::string timeText(double t, const char* end) {
  return std::isinf(t) ? std::string(end) : numberText(t) + " s";
}

}  // namespace

const IntentWindow* RunIntent::windowAt(standin::ItemId id, double t) const {
  const auto found = windows.find(id);
  if (found == windows.end()) return nullptr;
  // The item's own window first: it says what the run did to the item itself.
  const IntentWindow* any = nullptr;
  for (const IntentWindow& window : found->second) {
    if (!window.contains(t)) continue;
    if (window.source == id) return &window;
    if (!any) any = &window;
  }
  return any;
}

RunIntent runIntent(const standin::RunRecord& record, const standin::Scene* before,
                    const standin::Scene& after) {
  RunIntent intent;
  const std::string& tool = record.server;
  const bool paste = tool == "Vorrik:PasteKey" || tool == "Vorrik:PasteKeyMirror";
  const bool cut = tool == "Vorrik:CutKey";
  const bool util = tool == "Vorrik:BoneUtil";
  if (!paste && !cut && !util) return intent;
  intent.applies = true;
  const double t = after.time();
  // The item a command without an id acts on: the last one selected.
  standin::ItemId current = 0;
  std::unordered_set<standin::ItemId> done;
  for (const standin::CommandRecord& command : record.commands) {
    if (!command.ok) continue;
    const std::string name = command.text.substr(0, command.text.find(' '));
    if (name == "SelectItem" || name == "AddToSelection") current = command.item;
    if (name == "ClearSelection") current = 0;
    if (current == 0) continue;
    std::string action;
    if (paste && name == "CreateKey") action = "pasted";
    if (cut && name == "DeleteKey") action = "cut";
    if (util && (name == "Position" || name == "Rotation" || name == "Scale")) {
      action = "rest restored";
    }
    if (util && name == "RecordRestPosition") intent.restAsked[current] = "rest recorded";
    if (action.empty() || !done.insert(current).second) continue;
    addWindow(intent, after, itemWindow(before, current, t, action, cut));
  }
  return intent;
}

std::string intentText(const IntentWindow& window, standin::ItemId item,
                       const standin::Scene& scene) {
  std::string text;
  if (window.source != item) {
    const standin::Item* source = scene.find(window.source);
    text = "hangs from " + (source ? source->name : standin::idText(window.source)) + ", ";
  }
  text += window.action + " at " + numberText(window.at) + " s";
  if (std::isinf(window.from) && std::isinf(window.to)) return text + " (moves at any time)";
  return text + " (moves between " + timeText(window.from, "the start") + " and " +
         timeText(window.to, "the end") + ")";
}

}  // namespace runner
