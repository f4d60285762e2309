// The one place where a scene file's items become a scene. Each reader turns its own form
// into a draft (names, kinds, links by position in the file, and every value an item keeps);
// buildScene makes the items, links them and copies their values the same way for all.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "standin/scene/scene.h"

namespace standin {

constexpr std::size_t kNoDraftItem = static_cast<std::size_t>(-1);

struct DraftItem {
  // The item's name, kind and every value the scene keeps of it, with Item's defaults for
  // what the file does not give. Its id, parent and owner are not read: the links below are.
  Item values;
  ItemId id = 0;                         // the id the file gives; 0: the scene numbers it
  std::size_t owner = kNoDraftItem;      // bones: their object
  std::size_t parent = kNoDraftItem;     // none; a bone without one hangs from its owner
  std::size_t bonesFrom = kNoDraftItem;  // objects: the object whose bones deform this one
  std::optional<ObjectMesh> objectFile;  // objects: the file it loads (not yet read)
  // Which of position, rotation and scale `values.current` gives as the value at the scene
  // time, over what the keys say there (a change not keyed yet).
  std::array<bool, 3> currentGiven{false, false, false};
};

struct SceneDraft {
  std::vector<DraftItem> items;  // in listing order; a bone may come before its object
  double time = 0;
  bool parentInPlace = true;
  int autoKeyCreate = 0;
  int newKeySpan = kSpanLinear;
  std::vector<std::size_t> selection;  // items, in selection order
};

// What could not be built, for the reader to say in its own terms.
struct SceneBuildError {
  enum class Step { Add, Parent, Check };
  Step step;
  std::size_t item;  // kNoDraftItem for Check
  std::string why;   // the scene's words (Parent, Check)
};

// The scene the draft describes. Throws SceneBuildError: an item that cannot be added (its
// id is taken, a bone without its object), a parent it cannot hang from or that makes a
// cycle, or a scene that fails Scene::validate.
Scene buildScene(SceneDraft draft);

}  // namespace standin
