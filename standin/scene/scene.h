// The stand-in's scene model: the items Layout would hold, their hierarchy, motion and bone
// values, and the selection. It knows nothing of the module or of the host's C tables; the
// service layer (services.h) answers the host calls from it and commands.h changes it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "standin/scene/mesh.h"
#include "standin/scene/transform.h"

namespace standin {

// Layout's 32-bit item number ("%x" text in commands). 0 means none.
using ItemId = std::uint32_t;

// Same values as the host's LWI_* item types.
enum class ItemType : int { Object = 0, Light = 1, Camera = 2, Bone = 3 };

// The kind's word in messages and in JSON scenes: "object", "light", "camera", "bone".
constexpr const char* itemTypeWord(ItemType type) {
  switch (type) {
    case ItemType::Light: return "light";
    case ItemType::Camera: return "camera";
    case ItemType::Bone: return "bone";
    case ItemType::Object: break;
  }
  return "object";
}

// What `typeOf` answers for an id that names no live item (never an item type).
constexpr int kNoItemType = -1;

// Same values as the host's LWIP_* item parameters.
enum Param : int {
  kPosition = 1,
  kRight = 2,
  kUp = 3,
  kForward = 4,
  kRotation = 5,
  kScaling = 6,
  kPivot = 7,
  kWorldPosition = 8,
  kWorldRight = 9,
  kWorldUp = 10,
  kWorldForward = 11,
  kPivotRotation = 12,
};

// The .lws file a scene was read from (lws_reader.h); opaque to everything else.
struct LwsDocument;

// Span types of Layout's envelopes (the interpolation of the span that ends at a key).
enum SpanType : int {
  kSpanTCB = 0,       // Kochanek-Bartels: p1 tension, p2 continuity, p3 bias
  kSpanHermite = 1,   // p4 incoming, p5 outgoing tangent
  kSpanBezier1D = 2,  // evaluated as Hermite
  kSpanLinear = 3,
  kSpanStepped = 4,
  kSpanBezier2D = 5,  // p1/p2 incoming, p3/p4 outgoing handle (time, value), offsets from the key
};
constexpr int kSpanTypeCount = 6;

// What a channel does before its first key (pre) and after its last (post).
enum EndBehavior : int {
  kEndReset = 0,  // value 0
  kEndConstant = 1,
  kEndRepeat = 2,
  kEndOscillate = 3,
  kEndOffsetRepeat = 4,  // repeat, shifted by the last-minus-first difference per cycle
  kEndLinear = 5,        // along the end key's tangent
};
constexpr int kEndBehaviorCount = 6;

struct ChannelBehaviors {
  std::uint8_t pre = kEndConstant;
  std::uint8_t post = kEndConstant;
  bool operator==(const ChannelBehaviors& o) const { return pre == o.pre && post == o.post; }
  bool operator!=(const ChannelBehaviors& o) const { return !(*this == o); }
};

// One key of one motion channel, as a scene file stores it. The defaults (linear spans,
// constant ends) are what JSON scenes have always meant.
struct Key {
  double time = 0;
  double value = 0;
  int span = kSpanLinear;          // SpanType of the span ending at this key
  std::array<double, 6> params{};  // p1..p6
};

// Motion channel numbers, as in Layout's scene files.
enum Channel : int {
  kPosX = 0,
  kPosY,
  kPosZ,
  kHeading,
  kPitch,
  kBank,  // radians
  kScaleX,
  kScaleY,
  kScaleZ,
  kChannelCount
};

// A bone's deformation settings beyond its strength and activity, with the values Layout
// gives a new bone (docs/bone-defaults.md says where each comes from). Each has a row in
// bone_settings.h.
struct BoneDeformation {
  std::string weightMap;  // "" for none
  bool weightMapOnly = false;
  bool normalization = true;
  bool limitedRange = false;
  double minRange = 0, maxRange = 1;
  bool jointComp = false, jointCompParent = false;
  double jointCompSelfAmount = 1, jointCompParentAmount = 1;
  bool muscleFlex = false, muscleFlexParent = false;
  double muscleFlexSelfAmount = 1, muscleFlexParentAmount = 1;

  // Every setting of the table in bone_settings.h that lives here, compared exactly.
  bool operator==(const BoneDeformation& o) const;
  bool operator!=(const BoneDeformation& o) const { return !(*this == o); }
};

// How many bones may move one point: every bone, the four with the largest weights, or the
// object's NumLimitedBones largest (Layout's BoneMode values).
enum BoneModeValue : int { kBoneModeFull = 0, kBoneModeFaster = 1, kBoneModeLimited = 2 };

// The settings an object gives all of its bones, with the values an object gets when a scene
// names none (falloff 5 is "inverse distance ^16", counted from 1).
struct ObjectBoneSettings {
  int falloffType = 5;                // BoneFalloffType: influence ~ distance^-(2^(n-1)), n 1..8
  bool fasterBones = false;           // FasterBones: the older scenes' switch for the faster mode
  int boneMode = -1;                  // BoneMode as given; -1 when not given (FasterBones decides)
  int numLimitedBones = 4;            // NumLimitedBones
  bool bonesFromOtherObject = false;  // UseBonesFrom given
  ItemId useBonesFrom = 0;            // the object it names, 0 when that is not in the scene

  // The bone mode deformation follows: BoneMode when given, else FasterBones.
  int mode() const {
    if (boneMode >= 0) return boneMode;
    return fasterBones ? kBoneModeFaster : kBoneModeFull;
  }
  bool operator==(const ObjectBoneSettings& o) const {
    return falloffType == o.falloffType && fasterBones == o.fasterBones && boneMode == o.boneMode &&
           numLimitedBones == o.numLimitedBones && bonesFromOtherObject == o.bonesFromOtherObject &&
           useBonesFrom == o.useBonesFrom;
  }
  bool operator!=(const ObjectBoneSettings& o) const { return !(*this == o); }
};

// BoneType values.
enum BoneTypeValue : int { kBoneTypeZAxis = 0, kBoneTypeJoint = 1 };

struct Item {
  ItemId id = 0;
  ItemType type = ItemType::Object;
  std::string name;

  // Hierarchy. `owner` is the object a bone belongs to (0 for non-bones).
  ItemId parent = 0;
  ItemId owner = 0;

  // Current values of the nine channels at the scene's current time (positions, radians
  // for rotations, scale factors).
  std::array<double, kChannelCount> current{0, 0, 0, 0, 0, 0, 1, 1, 1};
  // Keys per channel, each sorted by time; all empty when the item has no keys.
  std::array<std::vector<Key>, kChannelCount> keys;
  std::array<ChannelBehaviors, kChannelCount> behaviors{};

  Vec3 pivot{0, 0, 0};
  Vec3 pivotRotation{0, 0, 0};  // radians

  // Bones only.
  Vec3 restPosition{0, 0, 0};
  Vec3 restRotation{0, 0, 0};  // radians
  Vec3 restScale{1, 1, 1};
  double restLength = 1;
  double strength = 1;        // BoneStrength
  bool scaleStrength = true;  // ScaleBoneStrength: strength times rest length
  bool active = true;
  BoneDeformation deformation;
  int boneType = kBoneTypeZAxis;

  // Objects only.
  ObjectBoneSettings boneSettings;

  bool hasKeys() const;
  Vec3 position() const { return {current[kPosX], current[kPosY], current[kPosZ]}; }
  Vec3 rotation() const { return {current[kHeading], current[kPitch], current[kBank]}; }
  Vec3 scale() const { return {current[kScaleX], current[kScaleY], current[kScaleZ]}; }
};

// The scene. Ids are unique and never reused: a removed item's id stays dead. Listing
// order (`first`/`next`) is creation order per kind; bones are listed per object.
// Every operation is O(1) or O(depth) so that rigs of a million bones stay usable.
class Scene {
public:
  Scene();

  // --- building (loaders, tests, and the command layer) ---
  // Names are taken as given; uniqueness is the caller's business (see uniqueName).
  ItemId addObject(const std::string& name);
  ItemId addLight(const std::string& name);
  ItemId addCamera(const std::string& name);
  // Adds a bone to `owner` (an object) under `parent` (the owner or one of its bones).
  // Values are the defaults of a new bone (rest length 1, active, no rotation). The bone
  // is listed at the end of the owner's bones unless insertNewBonesAt says otherwise.
  // Returns 0 if owner/parent are not valid for a bone.
  ItemId addBone(ItemId owner, ItemId parent, const std::string& name);
  // The same with the id a scene file gives (the id's type digit must fit the kind; bones
  // as for addBone). 0 when the id is or was in use. Ids made later skip every given one.
  ItemId addObjectWithId(const std::string& name, ItemId id);
  ItemId addLightWithId(const std::string& name, ItemId id);
  ItemId addCameraWithId(const std::string& name, ItemId id);
  ItemId addBoneWithId(ItemId owner, ItemId parent, const std::string& name, ItemId id);
  // `name` if no live item has it, else `name (2)`, `name (3)`, ...
  std::string uniqueName(const std::string& name) const;

  // --- queries ---
  const Item* find(ItemId id) const;  // null for an unknown or removed id
  Item* find(ItemId id);
  int typeOf(ItemId id) const;                       // ItemType value, or kNoItemType
  ItemId findByName(const std::string& name) const;  // 0 if none
  // first(type, object): for bones the first bone of `object`; other kinds ignore `object`.
  ItemId first(ItemType type, ItemId object) const;
  ItemId next(ItemId id) const;  // next of the same kind (bones: of the same object)
  ItemId firstChild(ItemId parent) const;
  ItemId nextChild(ItemId parent, ItemId previousChild) const;
  ItemId parentOf(ItemId id) const;
  // Every live item in creation order (the order a scene file lists them).
  std::vector<ItemId> allItems() const;
  std::size_t itemCount() const;

  // --- time and motion ---
  double time() const { return time_; }
  // Moves the current time; items with keys take their keyed values there.
  void setTime(double seconds);
  // What the host's `param` answers (Param values above; rotations in radians).
  Vec3 param(ItemId id, int which, double atTime) const;
  // Sets current values (position/rotation/scale) without touching keys.
  void setPosition(ItemId id, const Vec3& v);
  void setRotation(ItemId id, const Vec3& radians);
  void setScale(ItemId id, const Vec3& v);
  // Makes or updates a key at `t` on all nine channels from the current values (see
  // newKeySpan). A key within kKeyTimeTolerance of `t` (key_time.h) is the key at `t`.
  void createKey(ItemId id, double t);
  // Removes the item's keys at `t` (within kKeyTimeTolerance); false if there were none.
  // The item's keyed channels then take the values their remaining keys give.
  bool deleteKey(ItemId id, double t);

  // --- hierarchy ---
  // Re-parents `id` to `newParent` (0: none). With inPlace the item's position and
  // rotation are recomputed so its world placement stays. Refuses (returns false and
  // changes nothing) for an unknown item or parent, a cycle, a bone whose new parent is
  // not its own object or one of that object's bones, or a non-bone parented to nothing
  // it may hang from. `why` says why.
  bool setParent(ItemId id, ItemId newParent, bool inPlace, std::string* why = nullptr);
  // Removes the item and every bone below it (an object: all its bones). Other items
  // hanging from a removed item move up to the nearest surviving ancestor, keeping their
  // stored values. Removed items leave the selection.
  void remove(ItemId id);

  // --- world placement at the current time ---
  // Item frame to world: world(parent) x T(position) x R(rotation) x R(pivot rotation)
  // x S(scale) x T(-pivot), R(h, p, b) = Ry(h) Rx(p) Rz(b).
  Mat4 worldMatrix(ItemId id) const;
  Vec3 worldOrigin(ItemId id) const;  // the item's origin (0,0,0) in the world
  Vec3 worldTip(ItemId id) const;     // bones: (0, 0, rest length) in the world

  // --- selection (order of selection; the last one selected is the current item) ---
  const std::vector<ItemId>& selection() const { return selection_; }
  void select(ItemId id);          // only selected item
  void addToSelection(ItemId id);  // appended (or moved to the end if already selected)
  void clearSelection();
  ItemId currentItem() const;  // last selected, 0 when nothing is selected

  // --- settings ---
  bool parentInPlace = true;  // Layout's "Parent in Place" option
  // Layout's "Auto Key Create" option (AutoKeyCreate values), which keyAutoCreated (auto_key.h)
  // carries out.
  int autoKeyCreate = 0;
  // When >= 0, new bones are inserted at this index of their object's listing (clamped)
  // instead of at its end; lets tests check that a new bone is found anywhere.
  long insertNewBonesAt = -1;
  // When true, AddBone/AddChildBone are accepted but add nothing.
  bool addCommandsAddNothing = false;
  // When >= 0, only that many more AddBone/AddChildBone add a bone; the later ones add
  // nothing, as addCommandsAddNothing.
  long addsThatWork = -1;
  // Span type of the keys createKey adds (a key it updates keeps its own). Linear, as JSON
  // scenes always were; scenes read from .lws files use Layout's default, TCB.
  int newKeySpan = kSpanLinear;
  // The .lws file this scene was read from, kept so that saving can keep what the stand-in
  // does not model; null for other scenes. Shared by copies, never changed.
  std::shared_ptr<const LwsDocument> source;

  // --- object files and meshes ---
  // What an object names as its file and the mesh loaded from it; null for an item that
  // is not a live object or names no file.
  const ObjectMesh* objectMesh(ItemId object) const;
  // Sets what `object` (a live object) names and holds; false for any other item.
  bool setObjectMesh(ItemId object, ObjectMesh mesh);
  // Objects that name a file, in listing order.
  std::vector<ItemId> objectsWithFiles() const;

  // Checks the scene's invariants (parents exist, bones under their object, no cycles,
  // lists consistent, values finite). Empty when valid, else the first problem found.
  std::string validate() const;

private:
  // Storage and list links are the implementation's own (scene_store.cpp).
  using Slot = std::uint32_t;
  static constexpr Slot kNil = 0xffffffffu;

  // Intrusive links by slot, beside items_ so that Item stays what the header shows.
  // `id`, `type` and `parent` mirror Item's; validate() reports when they disagree. The
  // queries answer from here alone, so walking a big rig never touches the (large) Items.
  struct Links {
    ItemId id = 0;
    Slot parent = kNil;
    Slot firstChild = kNil, lastChild = kNil;
    Slot prevSibling = kNil, nextSibling = kNil;
    Slot prevListed = kNil, nextListed = kNil;  // kind list, or the owner's bone list
    Slot owner = kNil;                          // bones: the object's slot
    ItemType type = ItemType::Object;           // which list, whatever Item::type says
    bool live = false;
  };
  struct List {
    Slot first = kNil, last = kNil;
    std::size_t count = 0;
  };
  struct ObjectBones {
    List bones;
    std::uint32_t objectNumber = 0;
    std::uint32_t nextBoneNumber = 0;
  };

  Slot slotOf(ItemId id) const;  // kNil unless live
  Slot newItem(ItemType type, ItemId id, const std::string& name);
  ItemId nextItemId(ItemType type, Slot ownerSlot);
  bool idTaken(ItemId id) const;
  ItemId addKind(ItemType type, const std::string& name, ItemId id);   // 0: the next free id
  Slot boneSlots(ItemId owner, ItemId parent, Slot& ownerSlot) const;  // kNil if not valid
  ItemId placeBone(Slot ownerSlot, ItemId parent, const std::string& name, ItemId id);
  ItemId takeOverflowId();
  List& listOf(Slot s);
  void linkListed(List& list, Slot s, Slot before);  // before == kNil: at the end
  void unlinkListed(List& list, Slot s);
  void linkChild(Slot parent, Slot child);  // at the end of parent's children
  void unlinkChild(Slot child);
  std::array<double, kChannelCount> valuesAt(const Item& item, double t) const;
  Mat4 worldAt(Slot s, double t) const;
  Mat4 localAt(Slot s, double t) const;  // the item's own placement in its parent's frame
  void applyLocal(Mat4& m, Slot s, double t) const;  // m = localAt(s, t) x m
  bool keepWorldUnder(Slot s, Slot newParent);
  std::string validateLists() const;

  // Slot-indexed storage in fixed-size chunks: growing never moves what is stored (so
  // Item pointers from find() survive later additions) and a million items are not
  // copied over and over while the store grows.
  template <typename T>
  class Chunked {
  public:
    Chunked() = default;
    // A copy reserves whole chunks again, so that it keeps the no-move promise.
    Chunked(const Chunked& other) : size_(other.size_) {
      chunks_.reserve(other.chunks_.size());
      for (const std::vector<T>& chunk : other.chunks_) {
        chunks_.emplace_back();
        chunks_.back().reserve(kMask + 1);
        chunks_.back().insert(chunks_.back().end(), chunk.begin(), chunk.end());
      }
    }
    Chunked(Chunked&&) noexcept = default;
    Chunked& operator=(const Chunked& other) {
      if (this != &other) *this = Chunked(other);
      return *this;
    }
    Chunked& operator=(Chunked&&) noexcept = default;
    ~Chunked() = default;

    T& operator[](std::size_t i) { return chunks_[i >> kShift][i & kMask]; }
    const T& operator[](std::size_t i) const { return chunks_[i >> kShift][i & kMask]; }
    std::size_t size() const { return size_; }
    T& emplace_back() {
      if ((size_ & kMask) == 0) {
        chunks_.emplace_back();
        chunks_.back().reserve(kMask + 1);
      }
      ++size_;
      return chunks_.back().emplace_back();
    }

  private:
    static constexpr std::size_t kShift = 12;
    static constexpr std::size_t kMask = (std::size_t{1} << kShift) - 1;
    std::vector<std::vector<T>> chunks_;
    std::size_t size_ = 0;
  };

  // Live id -> slot, open addressing with linear probing; id 0 marks a free entry (no
  // item has id 0). Flat, so that lookups stay cheap even in unoptimised builds.
  class IdIndex {
  public:
    Slot find(ItemId id) const;
    void insert(ItemId id, Slot slot);
    void erase(ItemId id);
    std::size_t size() const { return size_; }
    bool contains(ItemId id) const { return find(id) != kNil; }

  private:
    struct Entry {
      ItemId id = 0;
      Slot slot = 0;
    };
    std::size_t home(ItemId id) const;
    void grow();
    std::vector<Entry> table_;
    unsigned bits_ = 0;
    std::size_t size_ = 0;
  };

  double time_ = 0;
  std::vector<ItemId> selection_;
  IdIndex selected_;      // the ids in selection_, so that adding to a big selection stays O(1)
  Chunked<Item> items_;   // by slot; removed slots stay dead
  Chunked<Links> links_;  // same slots as items_
  IdIndex slotOf_;        // live ids only
  std::array<List, 3> kindLists_;                  // objects, lights, cameras
  std::array<std::uint32_t, 3> nextNumber_{};      // creation numbers per kind
  std::unordered_map<Slot, ObjectBones> bonesOf_;  // by object slot, live objects only
  static constexpr ItemId kFirstOverflowId = 0x50000000u;
  ItemId nextOverflowId_ = kFirstOverflowId;
  // Overflow ids are handed out in order, so their slots sit in a plain array (kNil once
  // removed): the ids of a big object's bones need no hashing.
  std::vector<Slot> overflowSlots_;
  std::unordered_set<ItemId> retired_;             // ids of removed items
  std::unordered_map<ItemId, ObjectMesh> meshes_;  // live objects that name a file
};

// Layout item-id text ("%x": lower-case hex, no leading zeros).
std::string idText(ItemId id);

}  // namespace standin
