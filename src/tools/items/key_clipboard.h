// The key clipboard: the transforms captured by CutKey or CopyKey, kept for PasteKey for as
// long as the module is loaded.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/lw_host.h"
#include "math/matrix.h"
#include "math/vec3.h"

namespace vorrik {

// Where a copied item sat in its rig, for PasteKeyMirror: what the values alone do not say.
struct MirrorSource {
  // Why the host could not say where the item sat when it was copied (a service member
  // missing, item links that loop); "" when everything below was read. The name is kept
  // when it was read before the failure.
  std::string missing;
  std::string name;
  int type = LWI_OBJECT;
  // The nearest ancestor whose name has no side (for a bone, at most its object); null for
  // the world.
  LWItemID reference = LWITEM_NULL;
  // The item's frame in the reference's frame (scale and pivot included).
  Matrix4 placement;
  // A bone's rest rotation in the reference's frame, when the host gives rest values and
  // every item up to the reference is a bone.
  std::optional<Matrix4> restTurn;
};

// The transform of one item at one time, exactly as the host reported it.
struct KeyRecord {
  Vec3 position{0, 0, 0};
  Vec3 rotation{0, 0, 0};  // heading, pitch, bank in radians
  Vec3 scaling{1.0, 1.0, 1.0};
  LWItemID item = LWITEM_NULL;  // the item the values were taken from
  MirrorSource mirror;          // for PasteKeyMirror; PasteKey does not use it
};

class KeyClipboard {
public:
  KeyClipboard() = default;
  KeyClipboard(const KeyClipboard&) = delete;
  KeyClipboard& operator=(const KeyClipboard&) = delete;
  virtual ~KeyClipboard();

  void clear();
  // Takes ownership of a newly built record and adds it at the end.
  void append(std::unique_ptr<KeyRecord> record);

  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  const KeyRecord& operator[](std::size_t index) const { return *records_[index]; }

private:
  std::vector<std::unique_ptr<KeyRecord>> records_;  // capture order
};

}  // namespace vorrik
