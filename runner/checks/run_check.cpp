#include "runner/checks/run_check.h"

#include <algorithm>
#include <utility>

#include "runner/checks/check_times.h"
#include "runner/checks/number_text.h"
#include "runner/checks/rig_check.h"
#include "runner/checks/rig_deformation.h"
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

RunFindings checkRun(SceneBefore before, const standin::Scene& after) {
  RunFindings found;
  found.before = std::move(before.rig_);
  found.after = RigSnapshot(after);
  found.changes = compareRigs(found.before, found.after);
  std::optional<standin::Scene>& was = before.keyed_;
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
      checkOverTime(found.changes, *was, *now, times);
    } else {
      times = checkTimes({&*now});
      checkOverTime(found.changes, found.before, *now, times);
    }
  }
  if (was || before.unkeyed_) {
    found.meshes = checkMeshes(was ? *was : *before.unkeyed_, !was, now ? *now : after, times,
                               found.changes.tolerance);
  }
  countLostMapPoints(after, found.changes.lostMaps);
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

// The first run that moved items it did not add or remove, and how many runs did.
std::string movedFailure(const std::vector<RunOutcome>& runs) {
  std::size_t failing = 0;
  const RunOutcome* first = nullptr;
  for (const RunOutcome& run : runs) {
    if (run.changes.moved.empty() && run.changes.movedOverTime.empty()) continue;
    if (!first) first = &run;
    ++failing;
  }
  if (!first) return "";
  std::vector<std::string> moved;
  for (const Moved& item : first->changes.moved) moved.push_back(item.name);
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

// The first run that moved a point of a loaded mesh.
std::string meshFailure(const std::vector<RunOutcome>& runs) {
  for (const RunOutcome& run : runs) {
    const MeshMove* move = run.meshes.largest();
    if (!move) continue;
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
      if (ref.dangling) {
        return text + ": plug-in " + ref.plugin + " names " + ref.named + " (" + ref.written +
               "), which was removed";
      }
    }
    if (!save.names.empty()) {
      const standin::NameReference& first = save.names.front();
      std::string more;
      if (save.names.size() > 1) more = " (and " + std::to_string(save.names.size() - 1) + " more)";
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
