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
using ChannelHandle = Impl::ChannelHandle;
using GroupHandles = Impl::GroupHandles;
using KeyHandle = Impl::KeyHandle;

const char* const kChannelNames[kChannelCount] = {
    "Position.X", "Position.Y", "Position.Z", "Rotation.H", "Rotation.P",
    "Rotation.B", "Scale.X",    "Scale.Y",    "Scale.Z"};

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

// The live item a handle names, or null.
Item* itemOf(Impl& impl, ItemId id) { return impl.owner.scene().find(id); }

const GroupHandles* group(Impl& impl, LWChanGroupID id) {
  return impl.groupIds.count(id) ? static_cast<const GroupHandles*>(id) : nullptr;
}
const ChannelHandle* channel(Impl& impl, LWChannelID id) {
  return impl.channelIds.count(id) ? static_cast<const ChannelHandle*>(id) : nullptr;
}
const ChannelHandle* envelope(Impl& impl, LWEnvelopeID id) {
  return impl.envelopeIds.count(id) ? static_cast<const ChannelHandle*>(id) : nullptr;
}

std::string describe(const ChannelHandle& handle) {
  return idText(handle.item) + " " + kChannelNames[handle.channel];
}

// The key handle of the envelope's key at `time`, made on first use.
LWEnvKeyframeID keyId(Impl& impl, const ChannelHandle& env, double time) {
  const auto index = std::make_tuple(env.item, env.channel, time);
  auto found = impl.keyHandleOf.find(index);
  if (found != impl.keyHandleOf.end()) return found->second;
  impl.keyHandles.push_back(KeyHandle{env.item, env.channel, time});
  KeyHandle* made = &impl.keyHandles.back();
  impl.keyHandleOf.emplace(index, made);
  impl.keyIds.insert(made);
  return made;
}

// The key a key id names, when it is a key of this envelope that still exists.
const KeyHandle* keyOf(Impl& impl, const ChannelHandle& env, LWEnvKeyframeID id) {
  if (!impl.keyIds.count(id)) return nullptr;
  const auto* key = static_cast<const KeyHandle*>(id);
  if (key->item != env.item || key->channel != env.channel) return nullptr;
  const Item* item = itemOf(impl, env.item);
  if (item == nullptr || !shownKey(*item, env.channel, key->time)) return nullptr;
  return key;
}

// Records one change asked of an envelope and what became of it.
int edited(Impl& impl, const ChannelHandle* env, std::string what, bool ok,
           const std::string& why) {
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
  const std::vector<ItemId> items = impl->owner.scene().allItems();
  bool take = previous == nullptr;
  const GroupHandles* after = group(*impl, previous);
  for (ItemId id : items) {
    if (take) return channelGroupOf(*impl, id);
    take = after != nullptr && after->item == id;
  }
  return nullptr;
}
LWChannelID nextChannel(LWChanGroupID parent, LWChannelID previous) {
  Impl* impl = counted("nextChannel");
  const GroupHandles* owner = impl ? group(*impl, parent) : nullptr;
  if (owner == nullptr || itemOf(*impl, owner->item) == nullptr) return nullptr;
  if (previous == nullptr) return const_cast<ChannelHandle*>(&owner->channels[0]);
  const ChannelHandle* at = channel(*impl, previous);
  if (at == nullptr || at->item != owner->item || at->channel + 1 >= kChannelCount) return nullptr;
  return const_cast<ChannelHandle*>(&owner->channels[at->channel + 1]);
}
const char* groupName(LWChanGroupID id) {
  Impl* impl = counted("groupName");
  const GroupHandles* owner = impl ? group(*impl, id) : nullptr;
  const Item* item = owner ? itemOf(*impl, owner->item) : nullptr;
  return item ? item->name.c_str() : nullptr;
}
const char* channelName(LWChannelID id) {
  Impl* impl = counted("channelName");
  const ChannelHandle* at = impl ? channel(*impl, id) : nullptr;
  return at && itemOf(*impl, at->item) ? kChannelNames[at->channel] : nullptr;
}
LWChanGroupID groupParent(LWChanGroupID) {
  counted("groupParent");
  return nullptr;
}
LWChanGroupID channelParent(LWChannelID id) {
  Impl* impl = counted("channelParent");
  const ChannelHandle* at = impl ? channel(*impl, id) : nullptr;
  return at && itemOf(*impl, at->item) ? channelGroupOf(*impl, at->item) : nullptr;
}
int channelType(LWChannelID id) {
  Impl* impl = counted("channelType");
  const ChannelHandle* at = impl ? channel(*impl, id) : nullptr;
  if (at == nullptr) return 0;
  return at->channel < kHeading ? LWET_DISTANCE : at->channel < kScaleX ? LWET_ANGLE : LWET_PERCENT;
}
double channelEvaluate(LWChannelID id, LWTime time) {
  Impl* impl = counted("channelEvaluate");
  const ChannelHandle* at = impl ? channel(*impl, id) : nullptr;
  if (at == nullptr || itemOf(*impl, at->item) == nullptr) return 0;
  // What the item shows: its current value at the scene's time, its keys elsewhere.
  const int which = at->channel < kHeading ? kPosition : at->channel < kScaleX ? kRotation : kScaling;
  return impl->owner.scene().param(at->item, which, time)[static_cast<std::size_t>(at->channel % 3)];
}
LWEnvelopeID channelEnvelope(LWChannelID id) {
  Impl* impl = counted("channelEnvelope");
  const ChannelHandle* at = impl ? channel(*impl, id) : nullptr;
  if (at == nullptr || itemOf(*impl, at->item) == nullptr) return nullptr;
  GroupHandles* owner = static_cast<GroupHandles*>(channelGroupOf(*impl, at->item));
  return &owner->envelopes[at->channel];
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
void channelServerRemove(LWChannelID, const char*, const char*, void*) {
  counted("serverRemove");
}

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
  if (impl) edited(*impl, envelope(*impl, id), "destroy", false, "a motion channel stays");
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
  const ChannelHandle* target = envelope(*impl, to);
  const ChannelHandle* source = envelope(*impl, from);
  std::string why = "not an envelope";
  const bool ok = target && source &&
                  copyChannel(impl->owner.scene(), target->item, target->channel, source->item,
                              source->channel, &why);
  edited(*impl, target, "copy from " + (source ? describe(*source) : std::string("?")), ok, why);
  return ok ? nullptr : "the envelope could not be copied";
}
const char* envLoad(LWEnvelopeID id, const st_LWLoadState*) {
  Impl* impl = counted("load");
  if (impl) edited(*impl, envelope(*impl, id), "load", false, "load states are not modelled");
  return "the stand-in cannot load envelopes";
}
const char* envSave(LWEnvelopeID id, const st_LWSaveState*) {
  Impl* impl = counted("save");
  if (impl) impl->event("envelope save -> refused: save states are not modelled");
  (void)id;
  return "the stand-in cannot save envelopes";
}
double envEvaluate(LWEnvelopeID id, LWTime time) {
  Impl* impl = counted("evaluate");
  const ChannelHandle* env = impl ? envelope(*impl, id) : nullptr;
  const Item* item = env ? itemOf(*impl, env->item) : nullptr;
  return item ? keyedValue(*item, env->channel, time) : 0;
}
int envEdit(LWChanGroupID, LWEnvelopeID, int, void*) {
  counted("edit");
  return 0;  // no graph editor to open
}
int envAge(LWEnvelopeID id) {
  Impl* impl = counted("envAge");
  const ChannelHandle* env = impl ? envelope(*impl, id) : nullptr;
  if (env == nullptr) return 0;
  const auto found = impl->envelopeAges.find({env->item, env->channel});
  return found == impl->envelopeAges.end() ? 0 : found->second;
}
LWEnvKeyframeID envCreateKey(LWEnvelopeID id, LWTime time, double value) {
  Impl* impl = counted("createKey");
  if (impl == nullptr) return nullptr;
  const ChannelHandle* env = envelope(*impl, id);
  std::string why = "not an envelope";
  const bool ok =
      env && createKeyAt(impl->owner.scene(), env->item, env->channel, time, value, &why);
  edited(*impl, env, "createKey at " + number(time) + ": value " + number(value), ok, why);
  return ok ? keyId(*impl, *env, time) : nullptr;
}
void envDestroyKey(LWEnvelopeID id, LWEnvKeyframeID keyId) {
  Impl* impl = counted("destroyKey");
  if (impl == nullptr) return;
  const ChannelHandle* env = envelope(*impl, id);
  const KeyHandle* key = env ? keyOf(*impl, *env, keyId) : nullptr;
  std::string why = env ? "not a key of this envelope" : "not an envelope";
  const bool ok =
      key && destroyKeyAt(impl->owner.scene(), env->item, env->channel, key->time, &why);
  edited(*impl, env, "destroyKey" + (key ? " at " + number(key->time) : ""), ok, why);
}
LWEnvKeyframeID envFindKey(LWEnvelopeID id, LWTime time) {
  Impl* impl = counted("findKey");
  const ChannelHandle* env = impl ? envelope(*impl, id) : nullptr;
  const Item* item = env ? itemOf(*impl, env->item) : nullptr;
  if (item == nullptr || !shownKey(*item, env->channel, time)) return nullptr;
  return keyId(*impl, *env, time);
}
// The key after (or before) `from` in time; the first (or last) for none.
LWEnvKeyframeID neighbourKey(const char* query, LWEnvelopeID id, LWEnvKeyframeID from,
                             bool forward) {
  Impl* impl = counted(query);
  const ChannelHandle* env = impl ? envelope(*impl, id) : nullptr;
  const Item* item = env ? itemOf(*impl, env->item) : nullptr;
  if (item == nullptr) return nullptr;
  const std::vector<Key> keys = shownKeys(*item, env->channel);
  if (from == nullptr) return keyId(*impl, *env, forward ? keys.front().time : keys.back().time);
  const KeyHandle* at = keyOf(*impl, *env, from);
  if (at == nullptr) return nullptr;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].time != at->time) continue;
    if (forward) return i + 1 < keys.size() ? keyId(*impl, *env, keys[i + 1].time) : nullptr;
    return i > 0 ? keyId(*impl, *env, keys[i - 1].time) : nullptr;
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
int envKeySet(LWEnvelopeID id, LWEnvKeyframeID keyId, int tag, void* value) {
  Impl* impl = counted("keySet");
  if (impl == nullptr) return 0;
  const ChannelHandle* env = envelope(*impl, id);
  const KeyHandle* key = env ? keyOf(*impl, *env, keyId) : nullptr;
  std::string why = !env ? "not an envelope" : !key ? "not a key of this envelope" : "";
  std::string what = "keySet" + (key ? " at " + number(key->time) : std::string());
  bool ok = false;
  if (key != nullptr && value != nullptr) {
    Scene& scene = impl->owner.scene();
    if (tag == LWKEY_VALUE) {
      const double v = *static_cast<const double*>(value);
      what += ": value " + number(v);
      ok = setKeyValue(scene, env->item, env->channel, key->time, v, &why);
    } else if (tag == LWKEY_SHAPE) {
      const int shape = *static_cast<const int*>(value);
      what += ": shape " + std::to_string(shape);
      ok = setKeySpan(scene, env->item, env->channel, key->time, shape, &why);
    } else if (keyParamIndex(tag) >= 0) {
      const double v = *static_cast<const double*>(value);
      what += ": tag " + std::to_string(tag) + " " + number(v);
      ok = setKeyParam(scene, env->item, env->channel, key->time, keyParamIndex(tag), v, &why);
    } else {
      what += ": tag " + std::to_string(tag);
      why = tag == LWKEY_TIME      ? "a key's time cannot be set"
            : tag == LWKEY_PARAM_3 ? "a fourth key parameter has no place in a scene file"
                                   : "no such key tag";
    }
  }
  return edited(*impl, env, what, ok, why);
}
int envKeyGet(LWEnvelopeID id, LWEnvKeyframeID keyId, int tag, void* value) {
  Impl* impl = counted("keyGet");
  const ChannelHandle* env = impl ? envelope(*impl, id) : nullptr;
  const KeyHandle* key = env ? keyOf(*impl, *env, keyId) : nullptr;
  if (key == nullptr || value == nullptr) return 0;
  const Key shown = *shownKey(*itemOf(*impl, env->item), env->channel, key->time);
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
const ChannelHandle* envelopeInGroup(Impl& impl, LWEnvelopeID id, LWChanGroupID groupId) {
  const ChannelHandle* env = envelope(impl, id);
  const GroupHandles* owner = group(impl, groupId);
  if (env == nullptr || owner == nullptr || owner->item != env->item) return nullptr;
  return itemOf(impl, env->item) ? env : nullptr;
}
int envGroupSet(LWEnvelopeID id, LWChanGroupID groupId, int tag, void* value) {
  Impl* impl = counted("egSet");
  if (impl == nullptr) return 0;
  const ChannelHandle* env = envelopeInGroup(*impl, id, groupId);
  std::string why = env ? "" : "not an envelope of that group";
  const int v = value ? *static_cast<const int*>(value) : 0;
  bool ok = false;
  if (env != nullptr && value != nullptr) {
    if (tag == LWENVTAG_PREBEHAVE || tag == LWENVTAG_POSTBEHAVE) {
      ok = setBehavior(impl->owner.scene(), env->item, env->channel, tag == LWENVTAG_PREBEHAVE,
                       v, &why);
    } else if (tag == LWENVTAG_VISIBLE) {
      impl->hiddenEnvelopes[{env->item, env->channel}] = v ? 0 : 1;
      ok = true;
    } else {
      why = tag == LWENVTAG_KEYCOUNT ? "the key count cannot be set" : "no such envelope tag";
    }
  }
  return edited(*impl, env, "egSet tag " + std::to_string(tag) + ": " + std::to_string(v), ok,
                why);
}
int envGroupGet(LWEnvelopeID id, LWChanGroupID groupId, int tag, void* value) {
  Impl* impl = counted("egGet");
  const ChannelHandle* env = impl ? envelopeInGroup(*impl, id, groupId) : nullptr;
  if (env == nullptr || value == nullptr) return 0;
  const Item& item = *itemOf(*impl, env->item);
  const ChannelBehaviors& behaviors = item.behaviors[static_cast<std::size_t>(env->channel)];
  int answer = 0;
  switch (tag) {
    case LWENVTAG_VISIBLE: answer = impl->hiddenEnvelopes[{env->item, env->channel}] ? 0 : 1; break;
    case LWENVTAG_PREBEHAVE: answer = behaviors.pre; break;
    case LWENVTAG_POSTBEHAVE: answer = behaviors.post; break;
    case LWENVTAG_KEYCOUNT:
      answer = static_cast<int>(shownKeys(item, env->channel).size());
      break;
    default: return 0;
  }
  *static_cast<int*>(value) = answer;
  return 1;
}

}  // namespace

void* channelGroupOf(Impl& impl, ItemId item) {
  if (impl.owner.scene().find(item) == nullptr) return nullptr;
  const auto found = impl.groupOfItem.find(item);
  if (found != impl.groupOfItem.end()) return found->second;
  impl.groups.emplace_back();
  GroupHandles& made = impl.groups.back();
  made.item = item;
  for (int c = 0; c < kChannelCount; ++c) {
    made.channels[c] = {item, c};
    made.envelopes[c] = {item, c};
    impl.channelIds.insert(&made.channels[c]);
    impl.envelopeIds.insert(&made.envelopes[c]);
  }
  impl.groupIds.insert(&made);
  impl.groupOfItem.emplace(item, &made);
  return &made;
}

void installChannelCallbacks(Impl& impl) {
  impl.channelInfo = LWChannelInfo{
      nextGroup,       nextChannel,       groupName,          channelName,
      groupParent,     channelParent,     channelType,        channelEvaluate,
      channelEnvelope, setChannelEvent,   channelServer,      channelServerFlags,
      channelServerInstance, channelServerApply, channelServerRemove};
  impl.envelopeFuncs = LWEnvelopeFuncs{
      envCreate,    envDestroy,   envCreateGroup, envDestroyGroup, envCopy,
      envLoad,      envSave,      envEvaluate,    envEdit,         envAge,
      envCreateKey, envDestroyKey, envFindKey,    envNextKey,      envPrevKey,
      envKeySet,    envKeyGet,    envSetEvent,    envGroupSet,     envGroupGet};
}

}  // namespace standin
