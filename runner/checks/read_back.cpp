#include "runner/checks/read_back.h"

#include <cmath>
#include <cstdio>
#include <map>

#include "runner/checks/check_times.h"
#include "runner/checks/number_text.h"
#include "runner/checks/rig_snapshot.h"
#include "standin/files/json/scene_json.h"
#include "standin/files/lws/lws_reader.h"
#include "standin/files/scene_file.h"
#include "standin/scene/auto_key.h"

namespace runner {

namespace {

constexpr double kScaleTolerance = 1e-6;

const char* const kChannelNames[standin::kChannelCount] = {"position x", "position y", "position z",
                                                           "heading",    "pitch",      "bank",
                                                           "scale x",    "scale y",    "scale z"};

std::array<double, standin::kChannelCount> valuesAt(const standin::Scene& scene, standin::ItemId id,
                                                    double t) {
  const standin::Vec3 p = scene.param(id, standin::kPosition, t);
  const standin::Vec3 r = scene.param(id, standin::kRotation, t);
  const standin::Vec3 s = scene.param(id, standin::kScaling, t);
  return {p[0], p[1], p[2], r[0], r[1], r[2], s[0], s[1], s[2]};
}

// Why a channel of the live scene is not what its keys say, as far as it can be told.
std::string reasonFor(const standin::Scene& live, const standin::Item& item, int c) {
  const std::string now = numberText(live.time()) + " s";
  if (standin::changeNotKeyed(live, item, c)) {
    return "changed at " + now +
           " where no key holds it: Layout keeps such a change only until the frame changes";
  }
  return "";
}

}  // namespace

std::string switchedReferenceText(const standin::PluginReference& ref) {
  return ref.written + " names " + ref.namesNow + " now: its old bone " + ref.named +
         " was removed";
}

std::size_t SaveCheck::orphanedNames() const {
  std::size_t count = 0;
  for (const standin::NameReference& ref : names) count += ref.now.empty() ? 1 : 0;
  return count;
}

bool SaveCheck::dangling() const {
  for (const standin::PluginReference& ref : references) {
    if (ref.dangling) return true;
  }
  return false;
}

std::vector<SavedDifference> compareSaved(
    const standin::Scene& live, const standin::Scene& saved,
    const std::unordered_map<standin::ItemId, standin::ItemId>& fileIds, bool byName) {
  std::vector<SavedDifference> differences;
  const double lengthLimit = lengthTolerance(RigSnapshot(live).size());
  const std::vector<double> times = checkTimes({&live});
  for (standin::ItemId id : live.allItems()) {
    const standin::Item& item = *live.find(id);
    standin::ItemId savedId = 0;
    if (byName) {
      savedId = saved.findByName(item.name);
    } else {
      const auto mapped = fileIds.find(id);
      savedId = mapped == fileIds.end() ? id : mapped->second;
    }
    if (!saved.find(savedId)) {
      differences.push_back({item.name, "item", live.time(), 0, 0, "not in the saved file"});
      continue;
    }
    // The largest difference of each channel, and when.
    std::map<int, SavedDifference> worst;
    std::map<int, double> worstBy;
    for (double t : times) {
      const auto a = valuesAt(live, id, t);
      const auto b = valuesAt(saved, savedId, t);
      for (int c = 0; c < standin::kChannelCount; ++c) {
        const double limit = c < standin::kHeading  ? lengthLimit
                             : c < standin::kScaleX ? kAngleTolerance
                                                    : kScaleTolerance;
        const double by =
            std::fabs(a[static_cast<std::size_t>(c)] - b[static_cast<std::size_t>(c)]);
        if (!(by > limit) || (worstBy.count(c) && worstBy[c] >= by)) continue;
        const double unit =
            c >= standin::kHeading && c < standin::kScaleX ? standin::toDegrees(1.0) : 1;
        worstBy[c] = by;
        worst[c] = {item.name,
                    kChannelNames[c],
                    t,
                    a[static_cast<std::size_t>(c)] * unit,
                    b[static_cast<std::size_t>(c)] * unit,
                    ""};
      }
    }
    for (auto& [c, difference] : worst) {
      difference.reason = reasonFor(live, item, c);
      differences.push_back(std::move(difference));
    }
  }
  return differences;
}

SaveCheck saveAndReadBack(const standin::Scene& live, const std::string& path, std::string& text,
                          bool letReferencesSwitch) {
  SaveCheck check;
  check.path = path;
  std::unordered_map<standin::ItemId, standin::ItemId> fileIds;
  const bool lws = standin::isLwsPath(path);
  if (lws) {
    standin::LwsSaved saved = standin::saveLws(live);
    // In a version 3 file a removed item's number passes to the item after it: a plug-in
    // naming the removed item would follow that one without a word. Nothing is written,
    // unless the user asked for the file anyway; the report then says what it names.
    for (const standin::PluginReference& ref : saved.references) {
      if (letReferencesSwitch || !ref.dangling || ref.namesNow.empty()) continue;
      throw standin::SceneFileError(
          "plug-in " + ref.plugin + " (line " + std::to_string(ref.line) +
          (ref.holder.empty() ? std::string() : ", in " + ref.holder) + ") names " + ref.named +
          ", which was removed; in the saved file its number " + ref.written + " names " +
          ref.namesNow +
          ", which the plug-in would follow instead: nothing is written (--let-references-switch "
          "writes it anyway)");
    }
    text = std::move(saved.text);
    check.references = std::move(saved.references);
    check.lostSetup = std::move(saved.lostSetup);
    check.names = std::move(saved.nameReferences);
    fileIds = std::move(saved.fileIds);
  } else {
    text = standin::sceneFileText(live, path);
  }
  try {
    const standin::Scene saved =
        lws ? standin::sceneFromLws(text, path) : standin::sceneFromJson(text);
    // The keys a save puts current values in hold them at every time.
    standin::Scene settled = live;
    standin::settleIntoKeys(settled);
    check.differences = compareSaved(settled, saved, fileIds, !lws);
  } catch (const standin::SceneFileError& error) {
    check.unreadable = error.what();
  }
  return check;
}

}  // namespace runner
