// The .lws reader's second half: what the line reader gathered becomes a draft for the scene
// builder (base/scene_builder.h), and the document learns the links the scene resolved.
#include "standin/files/lws/lws_scene_build.h"

#include <cmath>
#include <memory>
#include <string_view>
#include <utility>

#include "standin/files/base/scene_builder.h"
#include "standin/files/base/scene_file_error.h"
#include "standin/files/lws/lws_text.h"
#include "standin/files/lws/unique_names.h"

namespace standin {
namespace {

using lws::afterKeyword;
using lws::trim;

class FileScene {
public:
  FileScene(LwsReading& reading, const std::string& file) : r_(reading), file_(file) {}

  Scene build() {
    SceneDraft draft = this->draft();
    const std::vector<ItemId>* ordinals[3] = {&r_.objectOrdinals, &r_.lightOrdinals,
                                              &r_.cameraOrdinals};
    for (int kind = 0; kind < 3; ++kind) {
      const long long o = r_.currentOrdinals[kind];
      if (r_.doc.currentLines[kind] != kNoLine && o >= 0 &&
          o < static_cast<long long>(ordinals[kind]->size())) {
        r_.doc.currentItems[kind] = (*ordinals[kind])[static_cast<std::size_t>(o)];
        r_.doc.currentOrdinals[kind] = o;
      } else {
        r_.doc.currentLines[kind] = kNoLine;  // kept as written
      }
    }

    r_.doc.time = r_.currentFrame / r_.doc.framesPerSecond;
    if (!std::isfinite(r_.doc.time) || (r_.doc.time == 0 && r_.currentFrame != 0)) {
      fail(r_.doc.currentFrameLine,
           "CurrentFrame " + lws::number(r_.currentFrame) + " at FramesPerSecond " +
               lws::number(r_.doc.framesPerSecond) + " is no time in seconds that can be held");
    }
    draft.time = r_.doc.time;
    draft.newKeySpan = kSpanTCB;  // Layout's default for new keys

    Scene scene;
    try {
      scene = buildScene(std::move(draft));
    } catch (const SceneBuildError& error) {
      if (error.step == SceneBuildError::Step::Check) {
        throw SceneFileError(file_ + ": invalid scene: " + error.why);
      }
      const LwsItem& item = r_.doc.items[error.item];
      if (error.step == SceneBuildError::Step::Add) {
        fail(item.declLine, "the item cannot be added to the scene");
      }
      fail(item.parentLine, "ParentItem: " + error.why);
    }

    for (std::size_t k = 0; k < r_.doc.items.size(); ++k) {
      LwsItem& item = r_.doc.items[k];
      item.parent = item.parentLine != kNoLine    ? r_.rawParents[k]
                    : item.type == ItemType::Bone ? item.owner
                                                  : 0;
      if (item.targetLine != kNoLine && r_.doc.byId.count(r_.rawTargets[k]))
        item.target = r_.rawTargets[k];
      if (item.goalLine != kNoLine) item.goal = goal(item.goalLine);
      item.name = scene.find(item.id)->name;
    }
    scene.source = std::make_shared<const LwsDocument>(std::move(r_.doc));
    return scene;
  }

  // The file's items as the scene builder takes them: the values each item was read with.
  SceneDraft draft() const {
    SceneDraft draft;
    draft.items.resize(r_.doc.items.size());
    UniqueNames names;
    for (std::size_t k = 0; k < r_.doc.items.size(); ++k) {
      const LwsItem& item = r_.doc.items[k];
      DraftItem& d = draft.items[k];
      Item& out = d.values;
      out.name = names.add(r_.names[k]);
      out.type = item.type;
      d.id = item.id;
      if (item.type == ItemType::Bone) d.owner = r_.doc.byId.at(item.owner);
      if (item.parentLine != kNoLine) {
        const auto parent = r_.doc.byId.find(r_.rawParents[k]);
        if (parent == r_.doc.byId.end()) {
          fail(item.parentLine, "ParentItem " +
                                    std::string(trim(afterKeyword(line(item.parentLine)))) +
                                    " names no item of this file");
        }
        d.parent = parent->second;
      }
      for (const LwsChannel& ch : item.channels) {
        if (ch.index >= kChannelCount) continue;  // kept in the file, not modelled
        out.keys[static_cast<std::size_t>(ch.index)] = ch.keys;
        out.behaviors[static_cast<std::size_t>(ch.index)] = ch.behaviors;
      }
      out.pivot = item.pivot;
      out.pivotRotation = item.pivotRotation;
      if (item.type == ItemType::Bone) {
        out.active = item.active;
        out.restPosition = item.restPosition;
        out.restRotation = item.restRotation;
        out.restLength = item.restLength;
        out.strength = item.strength;
        out.scaleStrength = item.scaleStrength;
        out.deformation = item.deformation;
        out.boneType = item.boneType;
      }
      if (item.type == ItemType::Object) {
        out.boneSettings = item.boneSettings;
        const auto source = r_.doc.byId.find(item.useBonesFromWritten);
        if (item.boneSettings.bonesFromOtherObject && source != r_.doc.byId.end()) {
          d.bonesFrom = source->second;
        }
      }
      if (!item.objectFile.empty()) {
        ObjectMesh named;
        named.file = item.objectFile;
        named.layer = item.objectLayer;
        named.layerGiven = item.objectLayerGiven;
        d.objectFile = std::move(named);
      }
    }
    return draft;
  }

  // The object a GoalObject line names, or 0 when its form is not understood. Version 3
  // writes an object number counted from 1 (so the samples show); later versions a hex id.
  ItemId goal(std::size_t i) const {
    const std::string_view text = trim(afterKeyword(line(i)));
    if (r_.doc.version >= 4) {
      ItemId id = 0;
      if (!lws::parseHexId(text, id)) return 0;
      const auto at = r_.doc.byId.find(id);
      return at != r_.doc.byId.end() && r_.doc.items[at->second].type == ItemType::Object ? id : 0;
    }
    long long number = 0;
    if (!lws::parseInteger(text, number) || number < 1 ||
        number > static_cast<long long>(r_.objectOrdinals.size())) {
      return 0;
    }
    return r_.objectOrdinals[static_cast<std::size_t>(number - 1)];
  }

private:
  [[noreturn]] void fail(std::size_t line, const std::string& message) const {
    throw SceneFileError(file_ + ":" + std::to_string(line + 1) + ": " + message);
  }

  std::string_view line(std::size_t i) const { return r_.doc.lines[i]; }

  LwsReading& r_;
  const std::string& file_;
};

}  // namespace

Scene buildLwsScene(LwsReading reading, const std::string& file) {
  return FileScene(reading, file).build();
}

}  // namespace standin
