// Keys through Layout's channel and envelope services: which generation of each is asked
// for, and the Host calls that read and write an item's motion keys.
#include <cstdio>
#include <initializer_list>
#include <string>

#include "host/host_session.h"
#include "host/loop_guard.h"

namespace vorrik {

namespace {

const char* const kChannelNames[kMotionChannels] = {"Position.X", "Position.Y", "Position.Z",
                                                    "Rotation.H", "Rotation.P", "Rotation.B",
                                                    "Scale.X",    "Scale.Y",    "Scale.Z"};

template <typename Table>
const Table* firstAnswered(GlobalFunc* global, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const void* table = global(name, GFUSE_TRANSIENT);
    if (table != nullptr) return static_cast<const Table*>(table);
  }
  return nullptr;
}

// The members the module calls. A table without one of them is not used at all, so a tool
// finds out before its first command that it must do without keys.
bool complete(const LWChannelInfo& info) {
  return info.nextChannel && info.channelName && info.channelEnvelope;
}
bool complete(const LWEnvelopeFuncs& env) {
  return env.createKey && env.nextKey && env.keySet && env.keyGet && env.egGet;
}

template <typename Function>
Function require(Function function, const char* what) {
  if (function == nullptr) throw HostFault(what);
  return function;
}

}  // namespace

const char* motionChannelName(int channel) {
  return channel >= 0 && channel < kMotionChannels ? kChannelNames[channel] : "";
}

void acquireKeyServices(HostServices& services) {
  GlobalFunc* global = services.global;
  if (global == nullptr) return;
  // Layout 2024 answers the newest names; 7.0 to 2020 "Channel Info 2", and Layouts before
  // 2018 the unnumbered "Animation Envelopes".
  services.channelInfo =
      firstAnswered<LWChannelInfo>(global, {LWCHANNELINFO_GLOBAL, LWCHANNELINFO_GLOBAL_OLD});
  services.envelopes = firstAnswered<LWEnvelopeFuncs>(
      global, {LWENVELOPEFUNCS_GLOBAL, LWENVELOPEFUNCS_GLOBAL_2018, LWENVELOPEFUNCS_GLOBAL_OLD});
  const bool usable = services.channelInfo != nullptr && services.envelopes != nullptr &&
                      complete(*services.channelInfo) && complete(*services.envelopes) &&
                      services.itemInfo != nullptr && services.itemInfo->chanGroup != nullptr;
  if (!usable) {
    services.channelInfo = nullptr;
    services.envelopes = nullptr;
  }
}

Vec3 Host::paramAt(LWItemID item, int which, double time) const {
  const auto query = require(items().param, "item param");
  LWDVector value = {0, 0, 0};
  query(item, which, time, value);
  return {value[0], value[1], value[2]};
}

std::vector<ChannelRef> Host::motionChannels(LWItemID item) const {
  std::vector<ChannelRef> found(kMotionChannels);
  for (int c = 0; c < kMotionChannels; ++c) {
    found[static_cast<std::size_t>(c)].item = item;
    found[static_cast<std::size_t>(c)].index = c;
  }
  if (!hasKeyServices()) return found;
  const LWChannelInfo& info = *services_.channelInfo;
  void* group = require(items().chanGroup, "item chanGroup")(item);
  if (group == nullptr) return found;
  // Layout lists an item's channels in a chain; a broken one that loops is noticed.
  LoopGuard guard;
  for (LWChannelID channel = info.nextChannel(group, nullptr); channel != nullptr;
       channel = info.nextChannel(group, channel)) {
    guard.step(channel);
    const char* name = info.channelName(channel);
    if (name == nullptr) continue;
    for (int c = 0; c < kMotionChannels; ++c) {
      ChannelRef& ref = found[static_cast<std::size_t>(c)];
      if (ref.channel != nullptr || std::string(name) != kChannelNames[c]) continue;
      ref.channel = channel;
      ref.envelope = info.channelEnvelope(channel);
      ref.group = group;  // a motion channel's parent is its item's group
    }
  }
  return found;
}

std::vector<EnvelopeKey> Host::keys(const ChannelRef& channel) const {
  std::vector<EnvelopeKey> all;
  if (!hasKeyServices() || !channel.found()) return all;
  const LWEnvelopeFuncs& env = *services_.envelopes;
  LoopGuard guard;
  for (LWEnvKeyframeID key = env.nextKey(channel.envelope, nullptr); key != nullptr;
       key = env.nextKey(channel.envelope, key)) {
    guard.step(key);
    EnvelopeKey read{key, 0, 0};
    if (!env.keyGet(channel.envelope, key, LWKEY_TIME, &read.time) ||
        !env.keyGet(channel.envelope, key, LWKEY_VALUE, &read.value)) {
      throw HostFault("a key could not be read");
    }
    all.push_back(read);
  }
  return all;
}

int Host::behavior(const ChannelRef& channel, bool pre) const {
  int value = LWBEH_CONSTANT;
  if (!hasKeyServices() || !channel.found()) return value;
  services_.envelopes->egGet(channel.envelope, channel.group,
                             pre ? LWENVTAG_PREBEHAVE : LWENVTAG_POSTBEHAVE, &value);
  return value;
}

bool Host::setKeyValue(const ChannelRef& channel, LWEnvKeyframeID key, double time,
                       double value) const {
  if (!hasKeyServices() || !channel.found()) return false;
  debugTrace("[Key] : set %x %s at %g to %g", idArg(channel.item), motionChannelName(channel.index),
             time, value);
  return services_.envelopes->keySet(channel.envelope, key, LWKEY_VALUE, &value) != 0;
}

bool Host::createKey(const ChannelRef& channel, double time, double value) const {
  if (!hasKeyServices() || !channel.found()) return false;
  debugTrace("[Key] : create %x %s at %g as %g", idArg(channel.item),
             motionChannelName(channel.index), time, value);
  return services_.envelopes->createKey(channel.envelope, time, value) != nullptr;
}

}  // namespace vorrik
