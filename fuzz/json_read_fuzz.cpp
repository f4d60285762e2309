// The JSON scene reader and writer on arbitrary bytes. Properties: a scene read, written
// and read again is the same scene (its JSON text), and writing it twice gives the same
// text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "standin/files/json/scene_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  standin::Scene scene;
  try {
    scene = standin::sceneFromJson(text);
  } catch (const standin::SceneFileError& error) {
    fuzzcheck::oneLine(error.what());
    return 0;
  }
  const std::string first = standin::sceneToJson(scene);
  standin::Scene again;
  try {
    again = standin::sceneFromJson(first);
  } catch (const standin::SceneFileError& error) {
    fuzzcheck::fail("what the writer writes reads back", error.what() + std::string("\n") + first);
  }
  const std::string second = standin::sceneToJson(again);
  fuzzcheck::same("written, read and written again, the text is the same", first, second);
  return 0;
}
