// A .lws file read, saved as JSON, read back and saved as .lws again. Properties: the JSON
// the reader accepted reads back; the .lws made from it reads back to a scene whose JSON
// holds the same items (see canonical() for what may differ).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "standin/files/json/scene_json.h"
#include "standin/files/lws/lws_reader.h"
#include "standin/files/lws/lws_writer.h"

namespace {

// The scene's JSON without what a JSON file does not carry back: item ids (a JSON scene
// numbers its items in listing order). For a fresh .lws also without the scene time (a whole
// frame, read back as frame / fps) and without keys where there is at most one: a fresh
// .lws keys every channel once, and one key or none both hold the values the item shows;
// and without the values shown where they differ from the keys (a .lws file holds keys
// only, and the 14 digits of JSON degrees leave such differences of 1e-14).
std::string canonical(const standin::Scene& scene, bool freshLws) {
  nlohmann::json value = standin::sceneToJsonValue(scene);
  if (freshLws) value.erase("time");
  for (nlohmann::json& item : value["items"]) {
    item.erase("id");
    if (!freshLws) continue;
    if (item["keys"].size() <= 1) {
      item.erase("keys");
    } else {
      for (const char* shown : {"position", "rotation", "scale"}) item.erase(shown);
    }
  }
  // A fresh .lws lists objects, then lights, then cameras: compare items by name.
  std::sort(value["items"].begin(), value["items"].end(),
            [](const nlohmann::json& a, const nlohmann::json& b) { return a["name"] < b["name"]; });
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  standin::Scene fromLws;
  try {
    fromLws = standin::sceneFromLws(text, "fuzz.lws");
  } catch (const standin::SceneFileError&) {
    return 0;
  }
  const std::string json = standin::sceneToJson(fromLws);
  standin::Scene fromJson;
  try {
    fromJson = standin::sceneFromJson(json);
  } catch (const standin::SceneFileError& error) {
    fuzzcheck::fail("a scene read from .lws saves as JSON that reads back",
                    error.what() + std::string("\n") + json);
  }
  fuzzcheck::same("the JSON round trip keeps the scene", canonical(fromLws, false),
                  canonical(fromJson, false));
  std::string lws;
  try {
    lws = standin::sceneToLws(fromJson);
  } catch (const standin::SceneFileError&) {
    return 0;  // refused before writing: a scene the plain form cannot hold
  }
  standin::Scene back;
  try {
    back = standin::sceneFromLws(lws, "fresh.lws");
  } catch (const standin::SceneFileError& error) {
    fuzzcheck::fail("a fresh .lws reads back", error.what() + std::string("\n") + lws);
  }
  fuzzcheck::same("JSON to .lws keeps the items", canonical(fromJson, true), canonical(back, true));
  return 0;
}
