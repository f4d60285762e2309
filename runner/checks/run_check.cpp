#include "runner/checks/run_check.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "runner/checks/check_times.h"
#include "runner/checks/number_text.h"
#include "runner/checks/rig_check.h"
#include "runner/checks/rig_deformation.h"
#include "runner/checks/run_intent.h"
#include "standin/scene/auto_key.h"

namespace runner {

SceneBefore::SceneBefore(const standin::Scene& scene) : rig_(scene) {
  // The rig before the run at other times needs the scene as it was; only keyed scenes
  // have other times worth looking at.
  if (hasKeys(scene)) keyed_.emplace(scene);
  // The mesh check needs the scene before the run even when it has no keys (copying a
  // scene copies no mesh points).
  if (!keyed_ && hasLoadedMesh(scene)) unkeyed_.emplace(scene);
}

namespace {

// Moves at the current time that the run was asked for are marked and listed in `intended`
// with its rest changes, in listing order, each with its reason.
void applyIntent(RigChanges& changes, const RunIntent& intent, const standin::Scene& after) {
  changes.intentApplies = true;
  const double now = after.time();
  std::unordered_map<standin::ItemId, IntendedChange> byId;
  for (IntendedChange& change : changes.intended) byId[change.id] = std::move(change);
  for (Moved& move : changes.moved) {
    if (!intent.windowAt(move.id, now)) continue;
    move.intended = true;
    IntendedChange& entry = byId[move.id];
    if (move.distance > entry.distance) entry = {move.id, move.name, move.distance, now, ""};
  }
  for (auto& entry : byId) {
    const IntentWindow* window = intent.windowAt(entry.first, entry.second.time);
    if (window) entry.second.why = intentText(*window, entry.first, after);
  }
  for (const RestChanged& rest : changes.restChanged) {
    const auto asked = intent.restAsked.find(rest.id);
    if (asked == intent.restAsked.end()) continue;
    IntendedChange& entry = byId[rest.id];
    entry.id = rest.id;
    entry.name = rest.name;
    entry.why += (entry.why.empty() ? "" : "; ") + asked->second;
  }
  changes.intended.clear();
  for (standin::ItemId id : after.allItems()) {
    const auto found = byId.find(id);
    if (found != byId.end()) changes.intended.push_back(std::move(found->second));
  }
}

bool movedUnasked(const RigChanges& changes) {
  return !changes.movedOverTime.empty() ||
         std::any_of(changes.moved.begin(), changes.moved.end(),
                     [](const Moved& item) { return !item.intended; });
}

// Points move only with their bones' placements, rest values and settings: when every
// change of those was asked for, so are the points' moves.
bool onlyAsked(const RigChanges& changes, const RunIntent& intent) {
  const bool restAsked =
      std::all_of(changes.restChanged.begin(), changes.restChanged.end(),
                  [&](const RestChanged& rest) { return intent.restAsked.count(rest.id) > 0; });
  return restAsked && !movedUnasked(changes) && changes.added.empty() && changes.removed.empty() &&
         changes.reparented.empty() && changes.switched.empty() &&
         changes.settingsChanged.empty() && changes.lostMaps.empty();
}

}  // namespace

RunFindings checkRun(SceneBefore before, const standin::Scene& after,
                     const standin::RunRecord& record) {
  RunFindings found;
  found.before = std::move(before.rig_);
  found.after = RigSnapshot(after);
  found.changes = compareRigs(found.before, found.after);
  std::optional<standin::Scene>& was = before.keyed_;
  const RunIntent intent = runIntent(record, was ? &*was : nullptr, after);
  const RunIntent* asked = intent.applies ? &intent : nullptr;
  // Over the animation the rig is what its file will hold: current values in the keys
  // a save puts them in.
  std::vector<double> times{after.time()};
  std::optional<standin::Scene> now;
  if (was || hasKeys(after)) {
    now.emplace(after);
    standin::settleIntoKeys(*now);
    if (was) {
      standin::settleIntoKeys(*was);
      times = checkTimes({&*now, &*was});
      checkOverTime(found.changes, *was, *now, times, asked);
    } else {
      times = checkTimes({&*now});
      checkOverTime(found.changes, found.before, *now, times, asked);
    }
  }
  if (asked) applyIntent(found.changes, intent, after);
  if (was || before.unkeyed_) {
    found.meshes = checkMeshes(was ? *was : *before.unkeyed_, !was, now ? *now : after, times,
                               found.changes.tolerance);
  }
  countLostMapPoints(after, found.changes.lostMaps);
  if (asked) found.meshes.intended = onlyAsked(found.changes, intent);
  return found;
}

void countLostMapPoints(const standin::Scene& scene, std::vector<LostMap>& lost) {
  for (LostMap& map : lost) {
    const std::optional<std::size_t> points = pointsInWeightMap(scene, map.objectId, map.map);
    if (!points) continue;
    map.pointsCounted = true;
    map.points = *points;
  }
}

namespace {

// "check failed: " and what failed: a run's server and script line, or a saved file's
// path and script line.
std::string failedAt(const std::string& what, int line) {
  std::string text = "check failed: " + what;
  if (line > 0) text += " (script line " + std::to_string(line) + ")";
  return text;
}

// The first run that left a weight map with no bone: its points stay behind, the mesh
// tears.
std::string lostMapFailure(const std::vector<RunOutcome>& runs) {
  for (const RunOutcome& run : runs) {
    if (run.changes.lostMaps.empty()) continue;
    return failedAt(run.record.server, run.line) + ": " + lostMapText(run.changes.lostMaps.front());
  }
  return "";
}

// The first run that moved items it did not add or remove and was not asked to move, and
// how many runs did.
std::string movedFailure(const std::vector<RunOutcome>& runs) {
  std::size_t failing = 0;
  const RunOutcome* first = nullptr;
  for (const RunOutcome& run : runs) {
    if (!movedUnasked(run.changes)) continue;
    if (!first) first = &run;
    ++failing;
  }
  if (!first) return "";
  std::vector<std::string> moved;
  for (const Moved& item : first->changes.moved) {
    if (!item.intended) moved.push_back(item.name);
  }
  for (const LargestMove& item : first->changes.movedOverTime) {
    if (std::find(moved.begin(), moved.end(), item.name) == moved.end()) {
      moved.push_back(item.name + " (at " + numberText(item.time) + " s)");
    }
  }
  std::string text = failedAt(first->record.server, first->line) + " moved " +
                     std::to_string(moved.size()) + (moved.size() == 1 ? " item" : " items") +
                     " that it did not add or remove: ";
  const std::size_t shown = std::min<std::size_t>(moved.size(), 5);
  for (std::size_t i = 0; i < shown; ++i) text += (i ? ", " : "") + moved[i];
  if (shown < moved.size()) text += ", ...";
  if (failing > 1) text += " (and " + std::to_string(failing - 1) + " more runs)";
  return text;
}

// The first run that moved a point of a loaded mesh it was not asked to move.
std::string meshFailure(const std::vector<RunOutcome>& runs) {
  for (const RunOutcome& run : runs) {
    const MeshMove* move = run.meshes.largest();
    if (!move || run.meshes.intended) continue;
    return failedAt(run.record.server, run.line) + ": " + meshMoveText(*move);
  }
  return "";
}

// The first saved file that does not hold the scene.
std::string saveFailure(const std::vector<SaveCheck>& saves) {
  for (const SaveCheck& save : saves) {
    if (!save.failed()) continue;
    const std::string text = failedAt(save.path, save.line);
    if (!save.unreadable.empty()) return text + " cannot be read back: " + save.unreadable;
    if (!save.differences.empty()) {
      const SavedDifference& d = save.differences.front();
      std::string more;
      if (save.differences.size() > 1) {
        more = " (and " + std::to_string(save.differences.size() - 1) + " more)";
      }
      return text + " does not hold what the scene does: " + d.item + " " + d.channel + more;
    }
    for (const standin::PluginReference& ref : save.references) {
      if (ref.dangling && !ref.namesNow.empty()) {
        return text + ": plug-in " + ref.plugin + "'s " + switchedReferenceText(ref);
      }
      if (ref.dangling) {
        return text + ": plug-in " + ref.plugin + " names " + ref.named + " (" + ref.written +
               "), which was removed";
      }
    }
    if (const std::size_t orphaned = save.orphanedNames(); orphaned > 0) {
      const standin::NameReference& first = *std::find_if(
          save.names.begin(), save.names.end(), [](const auto& ref) { return ref.now.empty(); });
      std::string more;
      if (orphaned > 1) more = " (and " + std::to_string(orphaned - 1) + " more)";
      return text + ": plug-in " + first.plugin + " (line " + std::to_string(first.line) +
             ") names " + first.name + ", which was removed" + more;
    }
    if (!save.lostSetup.empty()) {
      const standin::LostSetup& first = save.lostSetup.front();
      std::string more;
      if (save.lostSetup.size() > 1) {
        more = " (and " + std::to_string(save.lostSetup.size() - 1) + " more)";
      }
      return text + ": " + first.text + " (line " + std::to_string(first.line) +
             ") goes with the removed " + first.item + more;
    }
  }
  return "";
}

}  // namespace

std::string checkVerdict(const std::vector<RunOutcome>& runs, const std::vector<SaveCheck>& saves) {
  for (auto failure : {lostMapFailure, movedFailure, meshFailure}) {
    std::string text = failure(runs);
    if (!text.empty()) return text;
  }
  return saveFailure(saves);
}

}  // namespace runner
