// A .lws file read, saved as JSON, read back and saved as .lws again. Properties: the JSON
// the reader accepted reads back; the .lws made from it reads back to a scene whose JSON
// holds the same items (times aside: a fresh .lws holds the time as a whole frame).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "standin/files/lws_reader.h"
#include "standin/files/lws_writer.h"
#include "standin/files/scene_json.h"

namespace {

// The items and selection of a scene's JSON, without the scene time.
std::string itemsOf(const standin::Scene& scene) {
  nlohmann::json value = standin::sceneToJsonValue(scene);
  value.erase("time");
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
  fuzzcheck::same("the JSON round trip keeps the scene", json, standin::sceneToJson(fromJson));
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
  fuzzcheck::same("JSON to .lws keeps the items", itemsOf(fromJson), itemsOf(back));
  return 0;
}
