#include "runner/report/save_report.h"

#include "runner/checks/number_text.h"

namespace runner {

nlohmann::json saveCheckToJson(const SaveCheck& check) {
  nlohmann::json references = nlohmann::json::array();
  for (const standin::PluginReference& ref : check.references) {
    references.push_back({{"line", ref.line},
                          {"plugin", ref.plugin},
                          {"in", ref.holder},
                          {"named", ref.named},
                          {"written", ref.written},
                          {"saved", ref.now},
                          {"dangling", ref.dangling}});
    if (!ref.namesNow.empty()) references.back()["namesNow"] = ref.namesNow;
  }
  nlohmann::json differences = nlohmann::json::array();
  for (const SavedDifference& d : check.differences) {
    nlohmann::json entry = {{"item", d.item},
                            {"channel", d.channel},
                            {"time", d.time},
                            {"live", d.live},
                            {"saved", d.saved}};
    if (!d.reason.empty()) entry["reason"] = d.reason;
    differences.push_back(entry);
  }
  nlohmann::json json = {
      {"path", check.path}, {"pluginReferences", references}, {"differences", differences}};
  if (!check.names.empty()) {
    nlohmann::json names = nlohmann::json::array();
    for (const standin::NameReference& ref : check.names) {
      names.push_back(
          {{"line", ref.line}, {"plugin", ref.plugin}, {"in", ref.holder}, {"name", ref.name}});
      if (!ref.now.empty()) names.back()["now"] = ref.now;
    }
    json["nameReferences"] = names;
  }
  if (!check.lostSetup.empty()) {
    nlohmann::json lost = nlohmann::json::array();
    for (const standin::LostSetup& setup : check.lostSetup) {
      lost.push_back({{"item", setup.item}, {"line", setup.line}, {"text", setup.text}});
    }
    json["lostSetup"] = lost;
  }
  if (!check.unreadable.empty()) json["unreadable"] = check.unreadable;
  if (!check.objectFiles.empty()) {
    nlohmann::json files = nlohmann::json::array();
    for (const SaveCheck::ObjectFile& file : check.objectFiles) {
      files.push_back({{"path", file.path}, {"objects", file.objects}, {"written", file.written}});
    }
    json["objectFiles"] = files;
  }
  return json;
}

void printSaveCheck(std::ostream& out, const SaveCheck& check) {
  out << "save " << check.path;
  if (check.line > 0) out << "  (script line " << check.line << ")";
  out << "\n";
  for (const standin::PluginReference& ref : check.references) {
    out << "  plug-in " << ref.plugin << " (line " << ref.line
        << (ref.holder.empty() ? std::string() : ", in " + ref.holder) << "): ";
    if (ref.dangling && !ref.namesNow.empty()) {
      out << switchedReferenceText(ref) << "\n";
    } else if (ref.dangling) {
      out << ref.written << " named " << ref.named
          << ", which was removed: kept as written, dangling (it names no item)\n";
    } else {
      out << ref.written << " -> " << ref.now << " (" << ref.named << ", renumbered)\n";
    }
  }
  for (const standin::NameReference& ref : check.names) {
    out << "  plug-in " << ref.plugin << " (line " << ref.line
        << (ref.holder.empty() ? std::string() : ", in " + ref.holder) << "): ";
    if (ref.now.empty()) {
      out << "names " << ref.name << ", which was removed: it names no item now\n";
    } else {
      out << ref.name << " -> " << ref.now << " (renamed)\n";
    }
  }
  for (const standin::LostSetup& setup : check.lostSetup) {
    out << "  lost with " << setup.item << " (line " << setup.line << "): " << setup.text << "\n";
  }
  for (const SaveCheck::ObjectFile& file : check.objectFiles) {
    out << "  object file " << file.path << ": the mesh of " << file.objects
        << (file.written ? ", written beside the scene\n" : ", there already with the same mesh\n");
  }
  if (!check.unreadable.empty()) out << "  read back: cannot be read: " << check.unreadable << "\n";
  for (const SavedDifference& d : check.differences) {
    out << "  read back: " << d.item << " " << d.channel;
    if (d.channel == "item") {
      out << ": " << d.reason << "\n";
      continue;
    }
    out << " at " << numberText(d.time) << " s is " << numberText(d.saved) << " in the file, "
        << numberText(d.live) << " in the scene";
    if (!d.reason.empty()) out << " (" << d.reason << ")";
    out << "\n";
  }
  if (check.unreadable.empty() && check.differences.empty()) {
    out << "  read back: the file holds the scene\n";
  }
}

}  // namespace runner
