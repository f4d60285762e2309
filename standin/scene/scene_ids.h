// How the scene numbers its items, shared by the scene model's own files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "standin/scene/scene.h"

namespace standin {
namespace scene_ids {

constexpr std::uint32_t kTypeShift = 28;
constexpr std::uint32_t kNumberMask = 0x0fffffffu;    // what fits below the type digit
constexpr std::uint32_t kMaxBoneNumber = 0x1000u;     // bits 16..27 of a bone id
constexpr std::uint32_t kMaxObjectNumber = 0x10000u;  // bits 0..15 of a bone id

inline std::size_t kindIndex(ItemType type) { return static_cast<std::size_t>(type); }

}  // namespace scene_ids
}  // namespace standin
