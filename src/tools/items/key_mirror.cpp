#include "tools/items/key_mirror.h"

#include <exception>
#include <string>
#include <utility>

#include "host/loop_guard.h"
#include "scene/side_names.h"

namespace vorrik {

Placement readPlacement(const Host& host, LWItemID item) {
  Placement values;
  values.position = host.param(item, LWIP_POSITION);
  values.rotation = host.param(item, LWIP_ROTATION);
  values.scale = host.param(item, LWIP_SCALING);
  values.pivot = host.param(item, LWIP_PIVOT);
  values.pivotRotation = host.param(item, LWIP_PIVOT_ROT);
  return values;
}

bool MirrorSourceReader::walksThrough(LWItemID up, bool fromBone) const {
  // A bone's walk ends at its object, whose plane is the character's.
  if (fromBone && host_.type(up) != LWI_BONE) return false;
  return hasSide(host_.name(up));
}

const MirrorSourceReader::Above& MirrorSourceReader::above(LWItemID up, bool fromBone) {
  std::unordered_map<LWItemID, Above>& known = known_[fromBone ? 1 : 0];
  const auto found = known.find(up);
  if (found != known.end()) return found->second;
  // Up to the first item the walk does not go through, or one already known; then each
  // frame from the top down, every one kept.
  std::vector<LWItemID> chain{up};
  LoopGuard guard;
  guard.step(up);
  LWItemID top = host_.parent(up);
  while (top != LWITEM_NULL && known.count(top) == 0 && walksThrough(top, fromBone)) {
    guard.step(top);
    chain.push_back(top);
    top = host_.parent(top);
  }
  const bool rest = fromBone && host_.services().boneInfo != nullptr;
  Above below;
  below.reference = top;
  if (rest) below.restTurn = Matrix4{};
  if (top != LWITEM_NULL && known.count(top) != 0) below = known.at(top);
  for (auto item = chain.rbegin(); item != chain.rend(); ++item) {
    matMultiply(below.frame, below.frame, placementMatrix(readPlacement(host_, *item)));
    if (rest) {
      matMultiply(*below.restTurn, *below.restTurn,
                  rotationMatrix(host_.restParam(*item, LWIP_ROTATION)));
    }
    known.emplace(*item, below);
  }
  return known.at(up);
}

void MirrorSourceReader::read(const KeyRecord& record, MirrorSource& source) {
  const LWItemID item = record.item;
  source.name = host_.name(item);
  source.type = host_.type(item);
  const bool bone = source.type == LWI_BONE;
  Placement own;
  own.position = record.position;
  own.rotation = record.rotation;
  own.scale = record.scaling;
  own.pivot = host_.param(item, LWIP_PIVOT);
  own.pivotRotation = host_.param(item, LWIP_PIVOT_ROT);
  source.placement = placementMatrix(own);
  if (bone && host_.services().boneInfo != nullptr) {
    source.restTurn = rotationMatrix(host_.restParam(item, LWIP_ROTATION));
  }
  // Up to the nearest ancestor without a side (for a bone, at most its object).
  const LWItemID up = host_.parent(item);
  if (up == LWITEM_NULL || up == item || !walksThrough(up, bone)) {
    if (up == item) throw HostFault("the host's item links loop");
    source.reference = up;
    return;
  }
  const Above& parent = above(up, bone);
  source.reference = parent.reference;
  matMultiply(source.placement, parent.frame, source.placement);
  if (source.restTurn && parent.restTurn) {
    matMultiply(*source.restTurn, *parent.restTurn, *source.restTurn);
  }
}

namespace {

// What is left of a source whose reading failed: its name, if read, and why.
MirrorSource failedSource(std::string name, const char* why) {
  MirrorSource source;
  source.missing = why;
  source.name = std::move(name);
  return source;
}

}  // namespace

MirrorSource MirrorSourceReader::capture(const KeyRecord& record) {
  MirrorSource source;
  try {
    read(record, source);
  } catch (const std::exception& fault) {
    return failedSource(std::move(source.name), fault.what());
  } catch (...) {
    return failedSource(std::move(source.name), "an unknown fault");
  }
  return source;
}

}  // namespace vorrik
