#include "runner/rig_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <unordered_set>

namespace runner {

namespace {

constexpr double kPi = 3.14159265358979323846;

double distance(const standin::Vec3& a, const standin::Vec3& b) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                   (a[2] - b[2]) * (a[2] - b[2]));
}

std::vector<double> degrees(const standin::Vec3& radians) {
  return {radians[0] * 180 / kPi, radians[1] * 180 / kPi, radians[2] * 180 / kPi};
}

std::vector<double> asList(const standin::Vec3& v) { return {v[0], v[1], v[2]}; }

// Values within `noise` of zero print as 0: a 3e-17 left by the matrix arithmetic (or a -0)
// says nothing to the reader.
std::string listText(const std::vector<double>& values, double noise) {
  auto shown = [noise](double v) { return numberText(std::abs(v) <= noise ? 0.0 : v); };
  if (values.size() == 1) return shown(values[0]);
  std::string text = "(";
  for (std::size_t i = 0; i < values.size(); ++i) text += (i ? ", " : "") + shown(values[i]);
  return text + ")";
}

std::string parentName(const RigSnapshot& rig, standin::ItemId parent) {
  const RigItem* item = rig.find(parent);
  return item ? item->name : "";
}

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

}  // namespace

namespace {

// The item's frame in its parent's, as scene.h defines it: T(position) R(rotation)
// R(pivot rotation) S(scale) T(-pivot).
standin::Mat4 localMatrix(const standin::Item& item, const standin::Vec3& position,
                          const standin::Vec3& rotation, const standin::Vec3& scale) {
  standin::Mat4 m =
      standin::multiply(standin::translation(position), standin::rotationHPB(rotation));
  m = standin::multiply(m, standin::rotationHPB(item.pivotRotation));
  m = standin::multiply(m, standin::scaling(scale));
  return standin::multiply(m,
                           standin::translation({-item.pivot[0], -item.pivot[1], -item.pivot[2]}));
}

}  // namespace

RigSnapshot::RigSnapshot(const standin::Scene& scene) : RigSnapshot(scene, scene.time()) {}

RigSnapshot::RigSnapshot(const standin::Scene& scene, double atTime) : time(atTime) {
  const bool now = atTime == scene.time();
  const std::unordered_set<standin::ItemId> selected(scene.selection().begin(),
                                                     scene.selection().end());
  // World matrices top down, each parent's once: Scene::worldMatrix walks the whole chain
  // for every item, which a deep rig pays for quadratically.
  std::unordered_map<standin::ItemId, standin::Mat4> world;
  auto worldOf = [&](standin::ItemId id) -> const standin::Mat4& {
    std::vector<standin::ItemId> chain;
    for (standin::ItemId cur = id; cur != 0 && world.count(cur) == 0;
         cur = scene.find(cur)->parent) {
      chain.push_back(cur);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      const standin::Item& item = *scene.find(*it);
      const standin::Mat4 local =
          now ? localMatrix(item, item.position(), item.rotation(), item.scale())
              : localMatrix(item, scene.param(*it, standin::kPosition, atTime),
                            scene.param(*it, standin::kRotation, atTime),
                            scene.param(*it, standin::kScaling, atTime));
      world[*it] = item.parent == 0 ? local : standin::multiply(world.at(item.parent), local);
    }
    return world.at(id);
  };
  for (standin::ItemId id : scene.allItems()) {
    const standin::Item& source = *scene.find(id);
    const standin::Mat4& matrix = worldOf(id);
    RigItem item;
    item.id = id;
    item.type = source.type;
    item.name = source.name;
    item.parent = source.parent;
    item.origin = {matrix[3], matrix[7], matrix[11]};
    item.tip =
        item.isBone() ? standin::transformPoint(matrix, {0, 0, source.restLength}) : item.origin;
    item.selected = selected.count(id) != 0;
    if (item.isBone()) {
      item.restPosition = source.restPosition;
      item.restRotation = source.restRotation;
      item.restLength = source.restLength;
      item.active = source.active;
      item.owner = source.owner;
      item.strength = source.strength;
      item.scaleStrength = source.scaleStrength;
      item.deformation = source.deformation;
    }
    index_[id] = items.size();
    items.push_back(std::move(item));
  }
}

const RigItem* RigSnapshot::find(standin::ItemId id) const {
  const auto found = index_.find(id);
  return found == index_.end() ? nullptr : &items[found->second];
}

double RigSnapshot::size() const {
  if (items.empty()) return 0;
  standin::Vec3 low{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                    std::numeric_limits<double>::max()};
  standin::Vec3 high{-low[0], -low[1], -low[2]};
  for (const RigItem& item : items) {
    for (const standin::Vec3* point : {&item.origin, &item.tip}) {
      for (int axis = 0; axis < 3; ++axis) {
        low[axis] = std::min(low[axis], (*point)[axis]);
        high[axis] = std::max(high[axis], (*point)[axis]);
      }
    }
  }
  return boxDiagonal(low, high);
}

double boxDiagonal(const standin::Vec3& low, const standin::Vec3& high) {
  // Each extent halved first: high - low overflows where both are near the largest double.
  const double diagonal =
      2 * std::hypot(high[0] / 2 - low[0] / 2, high[1] / 2 - low[1] / 2, high[2] / 2 - low[2] / 2);
  return std::isfinite(diagonal) ? diagonal : std::numeric_limits<double>::max();
}

double lengthTolerance(double rigSize) { return 1e-5 * rigSize + 1e-9; }

namespace {

// How far an item moved: its origin, and a bone's tip too unless the run gave it a new rest
// length, which puts the tip elsewhere on purpose (and is listed as a rest change).
double placementMove(const RigItem& was, const RigItem& now) {
  const double origin = distance(was.origin, now.origin);
  if (now.isBone() && was.restLength != now.restLength) return origin;
  return std::max(origin, distance(was.tip, now.tip));
}

}  // namespace

RigChanges compareRigs(const RigSnapshot& before, const RigSnapshot& after) {
  RigChanges changes;
  changes.tolerance = lengthTolerance(before.size());
  const double tolerance = changes.tolerance;
  for (const RigItem& old : before.items) {
    if (!after.find(old.id)) changes.removed.push_back({old.id, old.name});
  }
  for (const RigItem& now : after.items) {
    const RigItem* old = before.find(now.id);
    if (!old) {
      changes.added.push_back({now.id, now.name, parentName(after, now.parent), ""});
      continue;
    }
    if (old->name != now.name) changes.renamed.push_back({now.id, old->name, now.name});
    if (old->parent != now.parent) {
      changes.reparented.push_back(
          {now.id, now.name, parentName(before, old->parent), parentName(after, now.parent)});
    }
    const double moved = placementMove(*old, now);
    if (moved > tolerance) {
      changes.moved.push_back(
          {now.id, now.name, now.isBone(), old->origin, now.origin, old->tip, now.tip, moved});
    }
    if (!now.isBone()) continue;
    RestChanged rest{now.id, now.name, {}};
    if (distance(old->restPosition, now.restPosition) > tolerance) {
      rest.values.push_back({"position", asList(old->restPosition), asList(now.restPosition)});
    }
    bool turned = false;
    for (int axis = 0; axis < 3; ++axis) {
      turned =
          turned || std::abs(old->restRotation[axis] - now.restRotation[axis]) > kAngleTolerance;
    }
    if (turned) {
      rest.values.push_back({"rotation", degrees(old->restRotation), degrees(now.restRotation)});
    }
    if (std::abs(old->restLength - now.restLength) > tolerance) {
      rest.values.push_back({"length", {old->restLength}, {now.restLength}});
    }
    if (!rest.values.empty()) changes.restChanged.push_back(std::move(rest));
    if (old->active != now.active) changes.switched.push_back({now.id, now.name, now.active});
  }
  compareDeformation(before, after, changes);
  return changes;
}

namespace {

template <typename BeforeAt>
void largestMoves(RigChanges& changes, const BeforeAt& beforeAt, const standin::Scene& after,
                  const std::vector<double>& times) {
  changes.timesChecked = times.size();
  std::unordered_map<standin::ItemId, LargestMove> largest;
  for (double t : times) {
    const RigSnapshot& old = beforeAt(t);
    const RigSnapshot now(after, t);
    for (const RigItem& item : now.items) {
      const RigItem* was = old.find(item.id);
      if (!was) continue;
      const double moved = placementMove(*was, item);
      LargestMove& entry = largest[item.id];
      if (moved > entry.distance) entry = {item.id, item.name, moved, t};
    }
  }
  changes.movedOverTime.clear();
  for (standin::ItemId id : after.allItems()) {
    const auto found = largest.find(id);
    if (found != largest.end() && found->second.distance > changes.tolerance) {
      changes.movedOverTime.push_back(found->second);
    }
  }
}

}  // namespace

void checkOverTime(RigChanges& changes, const standin::Scene& before, const standin::Scene& after,
                   const std::vector<double>& times) {
  RigSnapshot snapshot;
  largestMoves(
      changes,
      [&](double t) -> const RigSnapshot& {
        snapshot = RigSnapshot(before, t);
        return snapshot;
      },
      after, times);
}

void checkOverTime(RigChanges& changes, const RigSnapshot& before, const standin::Scene& after,
                   const std::vector<double>& times) {
  largestMoves(
      changes, [&](double) -> const RigSnapshot& { return before; }, after, times);
}

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
  return out;
}

std::string numberText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string vectorText(const standin::Vec3& v, double noise) { return listText(asList(v), noise); }

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
          value.field == "rotation" ? kAngleTolerance * 180 / kPi : changes.tolerance;
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
  if (changes.moved.empty() && changes.movedOverTime.empty()) table.row({"no item moved"});
  table.print(out, "    ");
}

}  // namespace runner
