#include "runner/report/object_report.h"

namespace runner {

void printSceneObjects(std::ostream& out, const std::vector<SceneObjects>& scenes) {
  for (const SceneObjects& scene : scenes) {
    if (scene.objects.empty()) continue;
    std::size_t missing = 0;
    for (const standin::ObjectLoad& load : scene.objects) missing += load.loaded() ? 0 : 1;
    out << "scene " << scene.scene;
    if (scene.line > 0) out << "  (script line " << scene.line << ")";
    out << ": " << scene.objects.size() - missing << " of " << scene.objects.size()
        << (scene.objects.size() == 1 ? " object mesh" : " object meshes") << " loaded\n";
    for (const standin::ObjectLoad& load : scene.objects) {
      out << "  " << (load.loaded() ? "mesh     " : "NO MESH  ") << standin::objectLoadText(load)
          << "\n";
    }
    for (const std::string& note : scene.notModelled) out << "  note     " << note << "\n";
  }
}

nlohmann::json sceneObjectsJson(const std::vector<SceneObjects>& scenes) {
  nlohmann::json list = nlohmann::json::array();
  for (const SceneObjects& scene : scenes) {
    nlohmann::json objects = nlohmann::json::array();
    for (const standin::ObjectLoad& load : scene.objects) {
      nlohmann::json entry = {{"object", load.objectName},
                              {"file", load.file},
                              {"layer", load.layerGiven ? nlohmann::json(load.layer) : nullptr},
                              {"loaded", load.loaded()}};
      if (!load.foundPath.empty()) {
        entry["foundPath"] = load.foundPath;
        entry["rule"] = load.rule;
      }
      if (load.loaded()) {
        entry["fileLayer"] = load.fileLayer;
        entry["points"] = load.points;
        entry["polygons"] = load.polygons;
        entry["weightMaps"] = load.weightMaps;
      } else {
        entry["problem"] = load.problem;
      }
      objects.push_back(entry);
    }
    nlohmann::json one = {{"scene", scene.scene}, {"objects", objects}};
    if (!scene.notModelled.empty()) one["notModelled"] = scene.notModelled;
    if (scene.line > 0) one["line"] = scene.line;
    list.push_back(one);
  }
  return list;
}

}  // namespace runner
