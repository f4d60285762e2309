#include "runner/report/mesh_check_report.h"

namespace runner {

nlohmann::json meshCheckToJson(const MeshCheck& check) {
  nlohmann::json meshes = nlohmann::json::array();
  for (const MeshMove& m : check.meshes) {
    nlohmann::json entry = {{"object", m.name},
                            {"points", m.points},
                            {"largestMove", m.distance},
                            {"moved", m.distance > check.tolerance}};
    if (m.distance > 0) {
      entry["point"] = m.point;
      entry["before"] = {m.before[0], m.before[1], m.before[2]};
      entry["after"] = {m.after[0], m.after[1], m.after[2]};
      entry["time"] = m.time;
      entry["weightMaps"] = m.weightMaps;
      entry["pointsMoved"] = m.pointsMoved;
    }
    meshes.push_back(entry);
  }
  nlohmann::json out = {{"tolerance", check.tolerance},      {"meshes", meshes},
                        {"times", check.timesGiven},         {"timesCompared", check.timesCompared},
                        {"timesSame", check.timesSame},      {"timesSampled", check.timesSampled},
                        {"sampleStride", check.sampleStride}};
  if (check.intended) out["intended"] = true;
  return out;
}

void printMeshCheck(std::ostream& out, const MeshCheck& check) {
  if (check.meshes.empty()) return;
  out << "  mesh check (" << check.timesCompared << " of " << check.timesGiven * check.meshes.size()
      << " mesh times compared";
  if (check.timesSame) out << ", " << check.timesSame << " posed as one already compared";
  if (check.timesSampled) {
    out << ", " << check.timesSampled << " looked at through every " << check.sampleStride
        << "th point only, to keep it fast";
  }
  out << ")\n";
  for (const MeshMove& m : check.meshes) {
    if (m.distance > check.tolerance) {
      out << (check.intended ? "    moved    " : "    MOVED    ") << meshMoveText(m) << "; "
          << m.pointsMoved << " of " << m.points << " points moved then";
      out << (check.intended ? ", with the bones as asked (intended)\n" : "\n");
    } else {
      out << "    still    mesh '" << m.name << "': no point of " << m.points << " moved\n";
    }
  }
}

}  // namespace runner
