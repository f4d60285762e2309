#include "runner/report/rig_check_report.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "runner/checks/number_text.h"
#include "runner/checks/rig_deformation.h"
#include "runner/checks/rig_snapshot.h"

namespace runner {

namespace {

std::vector<double> asList(const standin::Vec3& v) { return {v[0], v[1], v[2]}; }

nlohmann::json nameOrNull(const std::string& name) {
  return name.empty() ? nlohmann::json(nullptr) : nlohmann::json(name);
}

// Rows of cells printed in columns. A row's last cell is not padded and does not widen its
// column, so one long trailing note does not push every other row to the right.
class Table {
public:
  void row(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }
  void print(std::ostream& out, const std::string& indent) const {
    std::vector<std::size_t> widths;
    for (const auto& cells : rows_) {
      for (std::size_t i = 0; i + 1 < cells.size(); ++i) {
        if (widths.size() <= i) widths.resize(i + 1, 0);
        widths[i] = std::max(widths[i], cells[i].size());
      }
    }
    for (const auto& cells : rows_) {
      std::string line = indent;
      for (std::size_t i = 0; i < cells.size(); ++i) {
        // A column that is empty in every row takes no room.
        if (i + 1 < cells.size() && widths[i] == 0) continue;
        line += cells[i];
        if (i + 1 < cells.size()) line += std::string(widths[i] - cells[i].size() + 2, ' ');
      }
      while (!line.empty() && line.back() == ' ') line.pop_back();
      out << line << "\n";
    }
  }

private:
  std::vector<std::vector<std::string>> rows_;
};

void deformationToJson(const RigChanges& changes, nlohmann::json& out) {
  nlohmann::json added = nlohmann::json::object();
  for (const Added& item : changes.added) {
    if (!item.settings.empty()) added[item.name] = item.settings;
  }
  nlohmann::json settings = nlohmann::json::array();
  for (const SettingsChanged& item : changes.settingsChanged) {
    nlohmann::json values = nlohmann::json::object();
    for (const SettingChange& v : item.values) values[v.field] = {v.before, v.after};
    settings.push_back({{"name", item.name}, {"settings", values}});
  }
  nlohmann::json lost = nlohmann::json::array();
  for (const LostMap& map : changes.lostMaps) {
    nlohmann::json entry = {{"object", map.object}, {"weightMap", map.map}};
    if (map.pointsCounted) entry["points"] = map.points;
    lost.push_back(entry);
  }
  nlohmann::json notes = nlohmann::json::array();
  for (const DeformationNote& note : changes.deformationNotes) {
    notes.push_back({{"bone", note.bone}, {"note", note.text}});
  }
  out["addedSettings"] = added;
  out["settingsChanged"] = settings;
  out["lostWeightMaps"] = lost;
  out["deformationNotes"] = notes;
}

// Rows for the deformation findings in the rig check's table.
std::vector<std::vector<std::string>> deformationRows(const RigChanges& changes) {
  std::vector<std::vector<std::string>> rows;
  for (const SettingsChanged& item : changes.settingsChanged) {
    bool first = true;
    for (const SettingChange& v : item.values) {
      rows.push_back(
          {first ? "setting" : "", first ? item.name : "", "", v.field, v.before, "-> " + v.after});
      first = false;
    }
  }
  for (const LostMap& lost : changes.lostMaps) {
    rows.push_back({"lost map", lostMapText(lost) + " (" + lost.object + ")"});
  }
  for (const DeformationNote& note : changes.deformationNotes) {
    rows.push_back({"deforms", note.text});
  }
  return rows;
}

}  // namespace

nlohmann::json changesToJson(const RigChanges& changes) {
  nlohmann::json added = nlohmann::json::array();
  for (const Added& item : changes.added) added.push_back(item.name);
  nlohmann::json removed = nlohmann::json::array();
  for (const Removed& item : changes.removed) removed.push_back(item.name);
  nlohmann::json reparented = nlohmann::json::array();
  for (const Reparented& item : changes.reparented) {
    reparented.push_back(
        {{"name", item.name}, {"from", nameOrNull(item.from)}, {"to", nameOrNull(item.to)}});
  }
  nlohmann::json moved = nlohmann::json::array();
  for (const Moved& item : changes.moved) {
    nlohmann::json entry = {{"name", item.name},
                            {"origin", {asList(item.originBefore), asList(item.originAfter)}},
                            {"distance", item.distance}};
    if (item.isBone) entry["tip"] = {asList(item.tipBefore), asList(item.tipAfter)};
    if (item.intended) entry["intended"] = true;
    moved.push_back(entry);
  }
  nlohmann::json rest = nlohmann::json::array();
  for (const RestChanged& item : changes.restChanged) {
    nlohmann::json entry = {{"name", item.name}};
    for (const RestValueChange& value : item.values) {
      // The scene file's field names: restPosition, restRotation, restLength.
      std::string key = "rest" + value.field;
      key[4] = static_cast<char>(key[4] - 'a' + 'A');
      if (value.before.size() == 1) {
        entry[key] = {value.before[0], value.after[0]};
      } else {
        entry[key] = {value.before, value.after};
      }
    }
    rest.push_back(entry);
  }
  nlohmann::json renamed = nlohmann::json::array();
  for (const Renamed& item : changes.renamed) {
    renamed.push_back({{"from", item.from}, {"to", item.to}});
  }
  nlohmann::json switched = nlohmann::json::array();
  for (const Switched& item : changes.switched) {
    switched.push_back({{"name", item.name}, {"active", item.active}});
  }
  nlohmann::json overTime = nlohmann::json::array();
  for (const LargestMove& item : changes.movedOverTime) {
    overTime.push_back({{"name", item.name}, {"distance", item.distance}, {"time", item.time}});
  }
  nlohmann::json out = {{"tolerance", changes.tolerance},
                        {"timesChecked", changes.timesChecked},
                        {"movedOverTime", overTime},
                        {"added", added},
                        {"removed", removed},
                        {"reparented", reparented},
                        {"moved", moved},
                        {"restChanged", rest},
                        {"renamed", renamed},
                        {"switched", switched}};
  deformationToJson(changes, out);
  if (changes.intentApplies) {
    nlohmann::json intended = nlohmann::json::array();
    for (const IntendedChange& item : changes.intended) {
      intended.push_back({{"name", item.name},
                          {"distance", item.distance},
                          {"time", item.time},
                          {"why", item.why}});
    }
    out["intended"] = intended;
  }
  return out;
}

void printChanges(std::ostream& out, const RigChanges& changes) {
  std::string heading = "  rig check  (moves under " + numberText(changes.tolerance) + " ignored";
  if (changes.timesChecked > 1) {
    heading += "; " + std::to_string(changes.timesChecked) + " times looked at";
  }
  heading += ")";
  if (changes.empty()) {
    out << heading << ": no changes\n";
    return;
  }
  out << heading << "\n";
  Table table;
  for (const Added& item : changes.added) {
    table.row({"added", item.name, item.under.empty() ? "(no parent)" : "under " + item.under});
    // A bone with Layout's defaults for a new bone gets no settings row.
    if (!item.settings.empty() && item.settings != kDefaultSettings) {
      table.row({"", "", "settings: " + item.settings});
    }
  }
  for (const Removed& item : changes.removed) table.row({"removed", item.name});
  for (const Reparented& item : changes.reparented) {
    table.row({"reparented", item.name,
               (item.from.empty() ? "(none)" : item.from) + " -> " +
                   (item.to.empty() ? "(none)" : item.to)});
  }
  for (const Renamed& item : changes.renamed) table.row({"renamed", item.from, "-> " + item.to});
  for (const Moved& item : changes.moved) {
    const double noise = changes.tolerance;
    table.row({"moved", item.name, "by " + numberText(item.distance), "origin",
               vectorText(item.originBefore, noise), "-> " + vectorText(item.originAfter, noise)});
    if (item.isBone) {
      table.row({"", "", "", "tip", vectorText(item.tipBefore, noise),
                 "-> " + vectorText(item.tipAfter, noise)});
    }
  }
  for (const RestChanged& item : changes.restChanged) {
    bool first = true;
    for (const RestValueChange& value : item.values) {
      // The empty cell lines the values up with the moved rows' coordinates.
      const double noise =
          value.field == "rotation" ? standin::toDegrees(kAngleTolerance) : changes.tolerance;
      table.row({first ? "rest" : "", first ? item.name : "", "", value.field,
                 listText(value.before, noise), "-> " + listText(value.after, noise)});
      first = false;
    }
  }
  for (const Switched& item : changes.switched) {
    table.row({"switched", item.name, item.active ? "on" : "off"});
  }
  for (std::vector<std::string>& row : deformationRows(changes)) table.row(std::move(row));
  for (const LargestMove& item : changes.movedOverTime) {
    table.row({"moved", item.name, "by " + numberText(item.distance), "at",
               numberText(item.time) + " s (largest move over the animation)"});
  }
  for (const IntendedChange& item : changes.intended) {
    if (item.distance > 0) {
      table.row({"intended", item.name, "by " + numberText(item.distance), "at",
                 numberText(item.time) + " s: " + item.why});
    } else {
      table.row({"intended", item.name, item.why});
    }
  }
  const bool unasked = !changes.movedOverTime.empty() ||
                       std::any_of(changes.moved.begin(), changes.moved.end(),
                                   [](const Moved& item) { return !item.intended; });
  if (!unasked) {
    const bool askedMoves =
        std::any_of(changes.intended.begin(), changes.intended.end(),
                    [](const IntendedChange& item) { return item.distance > 0; });
    table.row({askedMoves ? "no other item moved" : "no item moved"});
  }
  table.print(out, "    ");
}

}  // namespace runner
