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

namespace {

// Reads where the item sits into `source`, throwing where the host fails.
void readMirrorSource(const Host& host, const KeyRecord& record, MirrorSource& source) {
  const LWItemID item = record.item;
  source.name = host.name(item);
  source.type = host.type(item);
  const bool bone = source.type == LWI_BONE;
  Placement own;
  own.position = record.position;
  own.rotation = record.rotation;
  own.scale = record.scaling;
  own.pivot = host.param(item, LWIP_PIVOT);
  own.pivotRotation = host.param(item, LWIP_PIVOT_ROT);
  source.placement = placementMatrix(own);
  if (bone && host.services().boneInfo != nullptr) {
    source.restTurn = rotationMatrix(host.restParam(item, LWIP_ROTATION));
  }
  // Up to the nearest ancestor without a side; a bone's walk ends at its object, whose
  // plane is the character's.
  LoopGuard guard;
  LWItemID up = host.parent(item);
  while (up != LWITEM_NULL) {
    guard.step(up);
    const bool upIsBone = host.type(up) == LWI_BONE;
    if ((bone && !upIsBone) || !hasSide(host.name(up))) break;
    matMultiply(source.placement, placementMatrix(readPlacement(host, up)), source.placement);
    if (source.restTurn) {
      matMultiply(*source.restTurn, rotationMatrix(host.restParam(up, LWIP_ROTATION)),
                  *source.restTurn);
    }
    up = host.parent(up);
  }
  source.reference = up;
}

// What is left of a source whose reading failed: its name, if read, and why.
MirrorSource failedSource(std::string name, const char* why) {
  MirrorSource source;
  source.missing = why;
  source.name = std::move(name);
  return source;
}

}  // namespace

MirrorSource captureMirrorSource(const Host& host, const KeyRecord& record) {
  MirrorSource source;
  try {
    readMirrorSource(host, record, source);
  } catch (const std::exception& fault) {
    return failedSource(std::move(source.name), fault.what());
  } catch (...) {
    return failedSource(std::move(source.name), "an unknown fault");
  }
  return source;
}

}  // namespace vorrik
