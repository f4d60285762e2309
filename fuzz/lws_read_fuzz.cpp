// The .lws reader and writer on arbitrary bytes. Properties: a file read and written
// without change gives back the same bytes; after an edit (chosen by the last byte: a new
// time, a bone removed or added, a key made), the written text reads back to the same
// scene and writing that again gives the same text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_check.h"
#include "standin/files/json/scene_json.h"
#include "standin/files/lws/lws_reader.h"
#include "standin/files/lws/lws_writer.h"

namespace {

using standin::ItemId;
using standin::ItemType;
using standin::Scene;

ItemId firstOf(const Scene& scene, ItemType type) {
  for (ItemId id : scene.allItems()) {
    if (scene.find(id)->type == type) return id;
  }
  return 0;
}

// False when the edit could not be made (nothing to edit).
bool edit(Scene& scene, unsigned choice) {
  const ItemId object = firstOf(scene, ItemType::Object);
  const ItemId bone = firstOf(scene, ItemType::Bone);
  switch (choice % 5) {
    case 0: scene.setTime(scene.time() + 1); return true;
    case 1:
      if (!bone) return false;
      scene.remove(bone);
      return true;
    case 2: return object && scene.addBone(object, bone ? bone : object, "Fuzz Bone") != 0;
    case 3: {
      if (!object) return false;
      scene.setPosition(object, {1.5, -2, 0.25});
      scene.createKey(object, scene.time());
      return true;
    }
    default:
      if (!bone) return false;
      scene.find(bone)->restLength = 0.125;
      return true;
  }
}

// A repeated name is shown with " (n)" after it, counted when the file is read: once a bone
// before it is removed, the same line reads back with a smaller count or none.
void dropRepeatCount(nlohmann::json& name) {
  if (name.is_object() && name.contains("bytes")) return dropRepeatCount(name["bytes"]);
  if (!name.is_string()) return;
  std::string text = name.get<std::string>();
  const std::size_t open = text.rfind(" (");
  if (open == std::string::npos || text.back() != ')' || open + 3 >= text.size()) return;
  for (std::size_t i = open + 2; i + 1 < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return;
  }
  name = text.substr(0, open);
}

// The scene as JSON; in version 3, where ids are ordinals that a removal renumbers, without
// the ids; and without keys where there are none or one (a channel without keys is written
// with one key, which holds the same value).
std::string sceneText(const Scene& scene, bool ordinalIds) {
  nlohmann::json value = standin::sceneToJsonValue(scene);
  for (nlohmann::json& item : value["items"]) {
    if (ordinalIds) item.erase("id");
    if (item["keys"].size() <= 1) item.erase("keys");
    dropRepeatCount(item["name"]);
    dropRepeatCount(item["parent"]);
  }
  for (nlohmann::json& name : value["selection"]) dropRepeatCount(name);
  // The time is saved as a whole frame and read back as frame / fps, which can differ from
  // the time set (the frame plus one second, say) in its last bit.
  char time[32];
  std::snprintf(time, sizeof time, "%.12g", value["time"].get<double>());
  value["time"] = time;
  // The listing order is not compared: the live scene lists a new bone last, while the file
  // holds it after its object's other bones and so lists it there when read back.
  std::sort(value["items"].begin(), value["items"].end());
  return value.dump(1, ' ', false, nlohmann::json::error_handler_t::strict);
}

bool isVersion3(const std::string& text) {
  const std::size_t second = text.find('\n');
  if (second == std::string::npos) return false;
  std::string version = text.substr(second + 1, text.find('\n', second + 1) - second - 1);
  version.erase(0, version.find_first_not_of(" \t"));
  version.erase(version.find_last_not_of(" \t\r") + 1);
  return version == "3";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Scene scene;
  try {
    scene = standin::sceneFromLws(text, "fuzz.lws");
  } catch (const standin::SceneFileError& error) {
    fuzzcheck::oneLine(error.what());
    return 0;
  }
  std::string unchanged;
  try {
    unchanged = standin::sceneToLws(scene);
  } catch (const standin::SceneFileError& error) {
    fuzzcheck::fail("a file read is written back", error.what());
  }
  fuzzcheck::same("read and written without change, the bytes stay", text, unchanged);

  if (size == 0 || !edit(scene, data[size - 1])) return 0;
  std::string first;
  try {
    first = standin::sceneToLws(scene);
  } catch (const standin::SceneFileError& error) {
    return 0;  // a change the format cannot hold is refused, which is fine
  }
  Scene again;
  try {
    again = standin::sceneFromLws(first, "written.lws");
  } catch (const standin::SceneFileError& error) {
    fuzzcheck::fail("what the writer writes reads back", error.what() + std::string("\n") + first);
  }
  const bool ordinalIds = isVersion3(text);
  fuzzcheck::same("read back, the scene is the same", sceneText(scene, ordinalIds),
                  sceneText(again, ordinalIds));
  fuzzcheck::same("written twice, the text is the same", first, standin::sceneToLws(again));
  return 0;
}
