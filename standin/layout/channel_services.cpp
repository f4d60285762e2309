// "Channel Info" and "Animation Envelopes" as Layout answers them, over the scene's motion
// channels: an item's channel group holds its nine motion channels, each with an envelope
// whose keys are the channel's (channel_keys.h). Every call is counted and recorded; what
// the stand-in does not model (new channels and groups, plug-ins on channels, events,
// loading and saving envelopes) is refused as a Layout without it would answer.
#include <cstdio>
#include <string>

#include "standin/layout/stand_in_impl.h"
#include "standin/scene/channel_keys.h"

namespace standin {

namespace {

using Impl = StandIn::Impl;

const char* const kChannelNames[kChannelCount] = {"Position.X", "Position.Y", "Position.Z",
                                                  "Rotation.H", "Rotation.P", "Rotation.B",
                                                  "Scale.X",    "Scale.Y",    "Scale.Z"};

// An id is (number << 3) | kind: never null, and of one kind only. A channel's and an
// envelope's number is its group's times 16 plus the channel.
enum Kind : std::uintptr_t { kGroupKind = 1, kChannelKind = 2, kEnvelopeKind = 3, kKeyKind = 4 };

void* makeId(std::uintptr_t number, Kind kind) {
  return reinterpret_cast<void*>((number << 3) | kind);
}

// The number an id of `kind` carries; false for null or another kind.
bool numberOf(const void* id, Kind kind, std::uintptr_t& number) {
  const auto bits = reinterpret_cast<std::uintptr_t>(id);
  if (bits == 0 || (bits & 7u) != kind) return false;
  number = bits >> 3;
  return true;
}

// One motion channel of a live item, as a channel or envelope id names it.
struct ChannelRef {
  std::uint32_t group = 0;
  ItemId item = 0;
  int channel = 0;
};

Impl* counted(const char* query) {
  StandIn* standIn = activeStandIn();
  if (standIn == nullptr) return nullptr;
  Impl& impl = standIn->impl();
  impl.countQuery(query);
  return &impl;
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

Item* itemOf(Impl& impl, ItemId id) { return impl.owner.scene().find(id); }

// The group an id names, when its item is live.
const Impl::ChannelGroup* group(Impl& impl, LWChanGroupID id) {
  std::uintptr_t n = 0;
  if (!numberOf(id, kGroupKind, n) || n >= impl.channelGroups.size()) return nullptr;
  const Impl::ChannelGroup& found = impl.channelGroups[n];
  return itemOf(impl, found.item) ? &found : nullptr;
}

bool channelOf(Impl& impl, const void* id, Kind kind, ChannelRef& out) {
  std::uintptr_t n = 0;
  if (!numberOf(id, kind, n) || n / 16 >= impl.channelGroups.size() || n % 16 >= kChannelCount) {
    return false;
  }
  out.group = static_cast<std::uint32_t>(n / 16);
  out.item = impl.channelGroups[out.group].item;
  out.channel = static_cast<int>(n % 16);
  return itemOf(impl, out.item) != nullptr;
}

const ChannelRef* channel(Impl& impl, LWChannelID id, ChannelRef& out) {
  return channelOf(impl, id, kChannelKind, out) ? &out : nullptr;
}
const ChannelRef* envelope(Impl& impl, LWEnvelopeID id, ChannelRef& out) {
  return channelOf(impl, id, kEnvelopeKind, out) ? &out : nullptr;
}

void* channelId(const ChannelRef& ref, Kind kind) {
  return makeId(std::uintptr_t{ref.group} * 16 + static_cast<std::uintptr_t>(ref.channel), kind);
}

std::string describe(const ChannelRef& ref) {
  return idText(ref.item) + " " + kChannelNames[ref.channel];
}

// The id of the envelope's key at `time`, its record made on first use.
LWEnvKeyframeID keyId(Impl& impl, const ChannelRef& env, double time) {
  auto& made = impl.channelGroups[env.group].keys[static_cast<std::size_t>(env.channel)];
  for (const auto& entry : made) {
    if (entry.first == time) return makeId(entry.second, kKeyKind);
  }
  const auto index = static_cast<std::uint32_t>(impl.keyRecords.size());
  impl.keyRecords.push_back({env.group, env.channel, time});
  made.emplace_back(time, index);
  return makeId(index, kKeyKind);
}

// The key a key id names, when it is a key of this envelope that still exists.
const Impl::KeyRecord* keyOf(Impl& impl, const ChannelRef& env, LWEnvKeyframeID id) {
  std::uintptr_t n = 0;
  if (!numberOf(id, kKeyKind, n) || n >= impl.keyRecords.size()) return nullptr;
  const Impl::KeyRecord& key = impl.keyRecords[n];
  if (key.group != env.group || key.channel != env.channel) return nullptr;
  const Item* item = itemOf(impl, env.item);
  if (item == nullptr || !shownKey(*item, env.channel, key.time)) return nullptr;
  return &key;
}

// Records one change asked of an envelope and what became of it.
int edited(Impl& impl, const ChannelRef* env, std::string what, bool ok, const std::string& why) {
  const std::string text = what + (env ? " " + describe(*env) : std::string());
  if (ok && env != nullptr) ++impl.envelopeAges[{env->item, env->channel}];
  impl.event("envelope " + text + (ok ? "" : " -> refused: " + why));
  if (impl.run != nullptr) impl.run->keyEdits.push_back({text, ok, ok ? std::string() : why});
  return ok ? 1 : 0;
}

// --- Channel Info ---
LWChanGroupID nextGroup(LWChanGroupID parent, LWChanGroupID previous) {
  Impl* impl = counted("nextGroup");
  // Items' groups are the top level; they hold channels, not groups.
  if (impl == nullptr || parent != nullptr) return nullptr;
  const Impl::ChannelGroup* after = group(*impl, previous);
  if (previous != nullptr && after == nullptr) return nullptr;
  bool take = previous == nullptr;
  for (ItemId id : impl->owner.scene().allItems()) {
    if (take) return channelGroupOf(*impl, id);
    take = id == after->item;
  }
  return nullptr;
}
LWChannelID nextChannel(LWChanGroupID parent, LWChannelID previous) {
  Impl* impl = counted("nextChannel");
  const Impl::ChannelGroup* owner = impl ? group(*impl, parent) : nullptr;
  if (owner == nullptr) return nullptr;
  std::uintptr_t n = 0;
  numberOf(parent, kGroupKind, n);
  ChannelRef next{static_cast<std::uint32_t>(n), owner->item, 0};
  if (previous != nullptr) {
    ChannelRef at;
    if (channel(*impl, previous, at) == nullptr || at.group != next.group ||
        at.channel + 1 >= kChannelCount) {
      return nullptr;
    }
    next.channel = at.channel + 1;
  }
  return channelId(next, kChannelKind);
}
const char* groupName(LWChanGroupID id) {
  Impl* impl = counted("groupName");
  const Impl::ChannelGroup* owner = impl ? group(*impl, id) : nullptr;
  return owner ? itemOf(*impl, owner->item)->name.c_str() : nullptr;
}
const char* channelName(LWChannelID id) {
  Impl* impl = counted("channelName");
  ChannelRef ref;
  return impl && channel(*impl, id, ref) ? kChannelNames[ref.channel] : nullptr;
}
LWChanGroupID groupParent(LWChanGroupID) {
  counted("groupParent");
  return nullptr;
}
LWChanGroupID channelParent(LWChannelID id) {
  Impl* impl = counted("channelParent");
  ChannelRef ref;
  return impl && channel(*impl, id, ref) ? makeId(ref.group, kGroupKind) : nullptr;
}
int channelType(LWChannelID id) {
  Impl* impl = counted("channelType");
  ChannelRef ref;
  if (impl == nullptr || channel(*impl, id, ref) == nullptr) return 0;
  return ref.channel < kHeading ? LWET_DISTANCE : ref.channel < kScaleX ? LWET_ANGLE : LWET_PERCENT;
}
double channelEvaluate(LWChannelID id, LWTime time) {
  Impl* impl = counted("channelEvaluate");
  ChannelRef ref;
  if (impl == nullptr || channel(*impl, id, ref) == nullptr) return 0;
  // What the item shows: its current value at the scene's time, its keys elsewhere.
  const int which = ref.channel < kHeading  ? kPosition
                    : ref.channel < kScaleX ? kRotation
                                            : kScaling;
  return impl->owner.scene().param(ref.item, which,
                                   time)[static_cast<std::size_t>(ref.channel % 3)];
}
LWEnvelopeID channelEnvelope(LWChannelID id) {
  Impl* impl = counted("channelEnvelope");
  ChannelRef ref;
  return impl && channel(*impl, id, ref) ? channelId(ref, kEnvelopeKind) : nullptr;
}
int setChannelEvent(LWChannelID, LWChanEventFunc, void*) {
  Impl* impl = counted("setChannelEvent");
  if (impl) impl->event("channel setChannelEvent -> refused: channel events are not modelled");
  return 0;
}
const char* channelServer(LWChannelID, const char*, int) {
  counted("server");
  return nullptr;  // no channel plug-ins
}
unsigned int channelServerFlags(LWChannelID, const char*, int) {
  counted("serverFlags");
  return 0;
}
void* channelServerInstance(LWChannelID, const char*, int) {
  counted("serverInstance");
  return nullptr;
}
int channelServerApply(LWChannelID, const char*, const char* name, int) {
  Impl* impl = counted("serverApply");
  if (impl) {
    impl->event(std::string("channel serverApply ") + (name ? name : "(null)") +
                " -> refused: channel plug-ins are not modelled");
  }
  return -1;
}
void channelServerRemove(LWChannelID, const char*, const char*, void*) { counted("serverRemove"); }

// --- Animation Envelopes ---
LWEnvelopeID envCreate(LWChanGroupID, const char* name, int) {
  Impl* impl = counted("create");
  if (impl) {
    edited(*impl, nullptr, std::string("create ") + (name ? name : "(null)"), false,
           "new channels are not modelled");
  }
  return nullptr;
}
void envDestroy(LWEnvelopeID id) {
  Impl* impl = counted("destroy");
  ChannelRef ref;
  if (impl) edited(*impl, envelope(*impl, id, ref), "destroy", false, "a motion channel stays");
}
LWChanGroupID envCreateGroup(LWChanGroupID, const char*) {
  Impl* impl = counted("createGroup");
  if (impl) edited(*impl, nullptr, "createGroup", false, "new groups are not modelled");
  return nullptr;
}
void envDestroyGroup(LWChanGroupID) {
  Impl* impl = counted("destroyGroup");
  if (impl) edited(*impl, nullptr, "destroyGroup", false, "an item's group stays");
}
const char* envCopy(LWEnvelopeID to, LWEnvelopeID from) {
  Impl* impl = counted("copy");
  if (impl == nullptr) return "no run";
  ChannelRef targetRef, sourceRef;
  const ChannelRef* target = envelope(*impl, to, targetRef);
  const ChannelRef* source = envelope(*impl, from, sourceRef);
  std::string why = "not an envelope";
  const bool ok = target && source &&
                  copyChannel(impl->owner.scene(), target->item, target->channel, source->item,
                              source->channel, &why);
  edited(*impl, target, "copy from " + (source ? describe(*source) : std::string("?")), ok, why);
  return ok ? nullptr : "the envelope could not be copied";
}
const char* envLoad(LWEnvelopeID id, const st_LWLoadState*) {
  Impl* impl = counted("load");
  ChannelRef ref;
  if (impl) edited(*impl, envelope(*impl, id, ref), "load", false, "load states are not modelled");
  return "the stand-in cannot load envelopes";
}
const char* envSave(LWEnvelopeID, const st_LWSaveState*) {
  Impl* impl = counted("save");
  if (impl) impl->event("envelope save -> refused: save states are not modelled");
  return "the stand-in cannot save envelopes";
}
double envEvaluate(LWEnvelopeID id, LWTime time) {
  Impl* impl = counted("evaluate");
  ChannelRef ref;
  if (impl == nullptr || envelope(*impl, id, ref) == nullptr) return 0;
  return keyedValue(*itemOf(*impl, ref.item), ref.channel, time);
}
int envEdit(LWChanGroupID, LWEnvelopeID, int, void*) {
  counted("edit");
  return 0;  // no graph editor to open
}
int envAge(LWEnvelopeID id) {
  Impl* impl = counted("envAge");
  ChannelRef ref;
  if (impl == nullptr || envelope(*impl, id, ref) == nullptr) return 0;
  const auto found = impl->envelopeAges.find({ref.item, ref.channel});
  return found == impl->envelopeAges.end() ? 0 : found->second;
}
LWEnvKeyframeID envCreateKey(LWEnvelopeID id, LWTime time, double value) {
  Impl* impl = counted("createKey");
  if (impl == nullptr) return nullptr;
  ChannelRef ref;
  const ChannelRef* env = envelope(*impl, id, ref);
  std::string why = "not an envelope";
  const bool ok =
      env && createKeyAt(impl->owner.scene(), env->item, env->channel, time, value, &why);
  edited(*impl, env, "createKey at " + number(time) + ": value " + number(value), ok, why);
  if (!ok) return nullptr;
  // The key made or updated, by its own time: an existing key keeps the time it had.
  return keyId(*impl, *env, shownKey(*itemOf(*impl, env->item), env->channel, time)->time);
}
void envDestroyKey(LWEnvelopeID id, LWEnvKeyframeID key) {
  Impl* impl = counted("destroyKey");
  if (impl == nullptr) return;
  ChannelRef ref;
  const ChannelRef* env = envelope(*impl, id, ref);
  const Impl::KeyRecord* record = env ? keyOf(*impl, *env, key) : nullptr;
  std::string why = env ? "not a key of this envelope" : "not an envelope";
  const bool ok =
      record && destroyKeyAt(impl->owner.scene(), env->item, env->channel, record->time, &why);
  edited(*impl, env, "destroyKey" + (record ? " at " + number(record->time) : ""), ok, why);
}
LWEnvKeyframeID envFindKey(LWEnvelopeID id, LWTime time) {
  Impl* impl = counted("findKey");
  ChannelRef ref;
  if (impl == nullptr || envelope(*impl, id, ref) == nullptr) return nullptr;
  const std::optional<Key> found = shownKey(*itemOf(*impl, ref.item), ref.channel, time);
  if (!found) return nullptr;
  return keyId(*impl, ref, found->time);
}
// The key after (or before) `from` in time; the first (or last) for none.
LWEnvKeyframeID neighbourKey(const char* query, LWEnvelopeID id, LWEnvKeyframeID from,
                             bool forward) {
  Impl* impl = counted(query);
  ChannelRef ref;
  if (impl == nullptr || envelope(*impl, id, ref) == nullptr) return nullptr;
  const Item& item = *itemOf(*impl, ref.item);
  const std::vector<Key>& stored = item.keys[static_cast<std::size_t>(ref.channel)];
  if (stored.empty()) {
    // The one key of a keyless channel.
    return from == nullptr ? keyId(*impl, ref, 0) : nullptr;
  }
  if (from == nullptr) return keyId(*impl, ref, forward ? stored.front().time : stored.back().time);
  const Impl::KeyRecord* at = keyOf(*impl, ref, from);
  if (at == nullptr) return nullptr;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i].time != at->time) continue;
    if (forward) return i + 1 < stored.size() ? keyId(*impl, ref, stored[i + 1].time) : nullptr;
    return i > 0 ? keyId(*impl, ref, stored[i - 1].time) : nullptr;
  }
  return nullptr;
}
LWEnvKeyframeID envNextKey(LWEnvelopeID id, LWEnvKeyframeID key) {
  return neighbourKey("nextKey", id, key, true);
}
LWEnvKeyframeID envPrevKey(LWEnvelopeID id, LWEnvKeyframeID key) {
  return neighbourKey("prevKey", id, key, false);
}
// Tension, continuity and bias are p1 to p3 of a scene file's key line, the parameters
// p4 to p6; the fourth parameter has no place there.
int keyParamIndex(int tag) {
  if (tag >= LWKEY_TENSION && tag <= LWKEY_BIAS) return tag - LWKEY_TENSION;
  if (tag >= LWKEY_PARAM_0 && tag <= LWKEY_PARAM_2) return tag - LWKEY_PARAM_0 + 3;
  return -1;
}
int envKeySet(LWEnvelopeID id, LWEnvKeyframeID key, int tag, void* value) {
  Impl* impl = counted("keySet");
  if (impl == nullptr) return 0;
  ChannelRef ref;
  const ChannelRef* env = envelope(*impl, id, ref);
  const Impl::KeyRecord* record = env ? keyOf(*impl, *env, key) : nullptr;
  std::string why = !env ? "not an envelope" : !record ? "not a key of this envelope" : "";
  std::string what = "keySet" + (record ? " at " + number(record->time) : std::string());
  bool ok = false;
  if (record != nullptr && value != nullptr) {
    Scene& scene = impl->owner.scene();
    const double time = record->time;
    if (tag == LWKEY_VALUE) {
      const double v = *static_cast<const double*>(value);
      what += ": value " + number(v);
      ok = setKeyValue(scene, env->item, env->channel, time, v, &why);
    } else if (tag == LWKEY_SHAPE) {
      const int shape = *static_cast<const int*>(value);
      what += ": shape " + std::to_string(shape);
      ok = setKeySpan(scene, env->item, env->channel, time, shape, &why);
    } else if (keyParamIndex(tag) >= 0) {
      const double v = *static_cast<const double*>(value);
      what += ": tag " + std::to_string(tag) + " " + number(v);
      ok = setKeyParam(scene, env->item, env->channel, time, keyParamIndex(tag), v, &why);
    } else {
      what += ": tag " + std::to_string(tag);
      why = tag == LWKEY_TIME      ? "a key's time cannot be set"
            : tag == LWKEY_PARAM_3 ? "a fourth key parameter has no place in a scene file"
                                   : "no such key tag";
    }
  }
  return edited(*impl, env, what, ok, why);
}
int envKeyGet(LWEnvelopeID id, LWEnvKeyframeID key, int tag, void* value) {
  Impl* impl = counted("keyGet");
  ChannelRef ref;
  const ChannelRef* env = impl ? envelope(*impl, id, ref) : nullptr;
  const Impl::KeyRecord* record = env ? keyOf(*impl, *env, key) : nullptr;
  if (record == nullptr || value == nullptr) return 0;
  const Key shown = *shownKey(*itemOf(*impl, env->item), env->channel, record->time);
  if (tag == LWKEY_SHAPE) {
    *static_cast<int*>(value) = shown.span;
    return 1;
  }
  double answer = 0;
  if (tag == LWKEY_VALUE) {
    answer = shown.value;
  } else if (tag == LWKEY_TIME) {
    answer = shown.time;
  } else if (keyParamIndex(tag) >= 0) {
    answer = shown.params[static_cast<std::size_t>(keyParamIndex(tag))];
  } else if (tag != LWKEY_PARAM_3) {
    return 0;
  }
  *static_cast<double*>(value) = answer;
  return 1;
}
int envSetEvent(LWEnvelopeID, LWEnvEventFunc, void*) {
  Impl* impl = counted("setEnvEvent");
  if (impl) impl->event("envelope setEnvEvent -> refused: envelope events are not modelled");
  return 0;
}
// The envelope, when `groupId` is its own channel group.
const ChannelRef* envelopeInGroup(Impl& impl, LWEnvelopeID id, LWChanGroupID groupId,
                                  ChannelRef& ref) {
  std::uintptr_t n = 0;
  if (envelope(impl, id, ref) == nullptr || !numberOf(groupId, kGroupKind, n) || n != ref.group) {
    return nullptr;
  }
  return &ref;
}
int envGroupSet(LWEnvelopeID id, LWChanGroupID groupId, int tag, void* value) {
  Impl* impl = counted("egSet");
  if (impl == nullptr) return 0;
  ChannelRef ref;
  const ChannelRef* env = envelopeInGroup(*impl, id, groupId, ref);
  std::string why = env ? "" : "not an envelope of that group";
  const int v = value ? *static_cast<const int*>(value) : 0;
  bool ok = false;
  if (env != nullptr && value != nullptr) {
    if (tag == LWENVTAG_PREBEHAVE || tag == LWENVTAG_POSTBEHAVE) {
      ok = setBehavior(impl->owner.scene(), env->item, env->channel, tag == LWENVTAG_PREBEHAVE, v,
                       &why);
    } else if (tag == LWENVTAG_VISIBLE) {
      impl->hiddenEnvelopes[{env->item, env->channel}] = v ? 0 : 1;
      ok = true;
    } else {
      why = tag == LWENVTAG_KEYCOUNT ? "the key count cannot be set" : "no such envelope tag";
    }
  }
  return edited(*impl, env, "egSet tag " + std::to_string(tag) + ": " + std::to_string(v), ok, why);
}
int envGroupGet(LWEnvelopeID id, LWChanGroupID groupId, int tag, void* value) {
  Impl* impl = counted("egGet");
  ChannelRef ref;
  const ChannelRef* env = impl ? envelopeInGroup(*impl, id, groupId, ref) : nullptr;
  if (env == nullptr || value == nullptr) return 0;
  const Item& item = *itemOf(*impl, env->item);
  const ChannelBehaviors& behaviors = item.behaviors[static_cast<std::size_t>(env->channel)];
  int answer = 0;
  switch (tag) {
    case LWENVTAG_VISIBLE: answer = impl->hiddenEnvelopes[{env->item, env->channel}] ? 0 : 1; break;
    case LWENVTAG_PREBEHAVE: answer = behaviors.pre; break;
    case LWENVTAG_POSTBEHAVE: answer = behaviors.post; break;
    case LWENVTAG_KEYCOUNT: answer = static_cast<int>(shownKeys(item, env->channel).size()); break;
    default: return 0;
  }
  *static_cast<int*>(value) = answer;
  return 1;
}

}  // namespace

void* channelGroupOf(Impl& impl, ItemId item) {
  if (impl.owner.scene().find(item) == nullptr) return nullptr;
  const auto found = impl.groupOfItem.find(item);
  if (found != impl.groupOfItem.end()) return makeId(found->second, kGroupKind);
  const auto index = static_cast<std::uint32_t>(impl.channelGroups.size());
  impl.channelGroups.emplace_back();
  impl.channelGroups.back().item = item;
  impl.groupOfItem.emplace(item, index);
  return makeId(index, kGroupKind);
}

void installChannelCallbacks(Impl& impl) {
  impl.channelInfo = LWChannelInfo{nextGroup,
                                   nextChannel,
                                   groupName,
                                   channelName,
                                   groupParent,
                                   channelParent,
                                   channelType,
                                   channelEvaluate,
                                   channelEnvelope,
                                   setChannelEvent,
                                   channelServer,
                                   channelServerFlags,
                                   channelServerInstance,
                                   channelServerApply,
                                   channelServerRemove};
  impl.envelopeFuncs =
      LWEnvelopeFuncs{envCreate,    envDestroy,    envCreateGroup, envDestroyGroup, envCopy,
                      envLoad,      envSave,       envEvaluate,    envEdit,         envAge,
                      envCreateKey, envDestroyKey, envFindKey,     envNextKey,      envPrevKey,
                      envKeySet,    envKeyGet,     envSetEvent,    envGroupSet,     envGroupGet};
}

}  // namespace standin
