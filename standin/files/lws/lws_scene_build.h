// The second half of reading a .lws file: what the line reader gathered, and the scene built
// from it once every item is declared. Internal to lws_*.cpp.
#pragma once

#include <string>
#include <vector>

#include "standin/files/lws/lws_document.h"
#include "standin/scene/scene.h"

namespace standin {

struct LwsReading {
  LwsDocument doc;
  std::vector<std::string> names;              // per item, as declared
  std::vector<ItemId> rawParents, rawTargets;  // per item, as written
  std::vector<ItemId> objectOrdinals, lightOrdinals, cameraOrdinals;
  long long currentOrdinals[3] = {-1, -1, -1};  // CurrentObject, CurrentLight, CurrentCamera
  double currentFrame = 0;
};

// Builds the scene, keeping `reading.doc` in Scene::source. Throws SceneFileError, naming
// `file` and the line, for what cannot be built.
Scene buildLwsScene(LwsReading reading, const std::string& file);

}  // namespace standin
