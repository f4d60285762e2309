// The module's whole view of the host during one activation: the service tables acquired
// for it and the local record, behind calls that check what they use. Nothing outside
// host/ touches the host's C tables.
#pragma once

#include <cstdarg>
#include <optional>
#include <string>
#include <vector>

#include "host/command_channel.h"
#include "host/host_fault.h"
#include "host/lw_host.h"
#include "math/vec3.h"

namespace vorrik {

// Services a tool uses beyond the nine every activation acquires, in the order the tool
// looks them up.
enum class ExtraServices { None, Messages, Panels, MessagesThenPanels };

// The host's tables as acquired for one activation. The pointers are the host's; they are
// valid for this activation only and are never released.
struct HostServices {
  GlobalFunc* global = nullptr;
  const LWItemInfo* itemInfo = nullptr;
  const void* lightInfo = nullptr;
  const void* objectInfo = nullptr;
  const LWBoneInfo* boneInfo = nullptr;
  const void* sceneInfo = nullptr;
  const void* cameraInfo = nullptr;
  const void* surfaceFuncs = nullptr;
  const void* sceneObjects = nullptr;
  const LWInterfaceInfo* interfaceInfo = nullptr;
  const LWMessageFuncs* messages = nullptr;
  LWPanelFuncs* panels = nullptr;
  // Tools that keep keys: Layout's channel and envelope services, each the newest
  // generation Layout answers. Null when not asked for, withheld, or lacking a member the
  // module calls (a table is taken whole or not at all).
  const LWChannelInfo* channelInfo = nullptr;
  const LWEnvelopeFuncs* envelopes = nullptr;
};

// Looks up the nine services in their fixed order, then (for a tool that keeps keys) the
// channel and envelope services, then the tool's extra ones. Every lookup uses the transient
// mode. The one place the module asks the host for services.
HostServices acquireHostServices(GlobalFunc* global, ExtraServices extras, bool keys = false);

// Looks up the channel and envelope services, newest name first, into `services`; a table
// missing a member the module calls counts as withheld. Part of acquireHostServices.
void acquireKeyServices(HostServices& services);

// The nine motion channels of an item, in the order of Layout's scene files.
enum MotionChannel : int {
  kPositionX = 0,
  kPositionY,
  kPositionZ,
  kRotationH,
  kRotationP,
  kRotationB,
  kScaleX,
  kScaleY,
  kScaleZ,
  kMotionChannels
};
// "Position.X", ... as Layout names them.
const char* motionChannelName(int channel);

// One motion channel of one item as Layout's channel services list it.
struct ChannelRef {
  LWItemID item = LWITEM_NULL;
  int index = 0;  // MotionChannel
  LWChannelID channel = nullptr;
  LWEnvelopeID envelope = nullptr;
  LWChanGroupID group = nullptr;
  bool found() const { return envelope != nullptr; }
};

struct EnvelopeKey {
  LWEnvKeyframeID id;
  double time;
  double value;
};

class Host;

// A control of a dialog. Valid for the activation that made it.
class DialogControl {
public:
  explicit DialogControl(LWControl* control) : control_(control) {}
  void setInt(int tag, int value);
  void setFloat(int tag, double value);
  int getInt(int tag);
  double getFloat(int tag);

private:
  LWControl* control_;  // owned by the host's panel
};

// A modal dialog built with the host's panel services. The panel is the host's; the tools
// never destroy it.
class Dialog {
public:
  DialogControl addControl(const char* kind, LWPanControlDesc& descriptor, const char* label);
  // A row of buttons at (x, y), one per name of `items` (null-terminated, outliving the panel).
  DialogControl addChoice(const char* label, const char** items, int x, int y);
  // A control of `kind` ("PercentControl", "MiniSliderControl") over min..max at (x, y);
  // width 0 leaves the host's own.
  DialogControl addRange(const char* kind, const char* label, int min, int max, int width, int x,
                         int y);
  // Shows it modally with OK and Cancel; true for OK.
  bool open();

private:
  friend class Host;
  Dialog(LWPanelFuncs* panels, LWPanelID panel) : panels_(panels), panel_(panel) {}
  LWPanelFuncs* panels_;
  LWPanelID panel_;
};

class Host {
public:
  Host(const HostServices& services, const LWLayoutGeneric* local)
      : services_(services), local_(local) {}

  const HostServices& services() const { return services_; }

  // Items (LW Item Info).
  int type(LWItemID item) const;
  LWItemID parent(LWItemID item) const;
  LWItemID first(int itemType, LWItemID object) const;
  LWItemID next(LWItemID item) const;
  LWItemID firstChild(LWItemID parent) const;
  LWItemID nextChild(LWItemID parent, LWItemID previous) const;
  // The item's name, copied at once; "" when the host gives none.
  std::string name(LWItemID item) const;
  // A parameter at the current time (rotations in radians).
  Vec3 param(LWItemID item, int which) const;

  // A parameter at any time (keys evaluated where the time is not the current one).
  Vec3 paramAt(LWItemID item, int which, double time) const;

  // Keys (Channel Info, Animation Envelopes). All need hasKeyServices().
  bool hasKeyServices() const {
    return services_.channelInfo != nullptr && services_.envelopes != nullptr;
  }
  // The item's nine motion channels by name; one Layout does not list is not found().
  std::vector<ChannelRef> motionChannels(LWItemID item) const;
  // Every key of the channel's envelope, in Layout's order (by time).
  std::vector<EnvelopeKey> keys(const ChannelRef& channel) const;
  // LWBEH_* before the first key (pre) or after the last.
  int behavior(const ChannelRef& channel, bool pre) const;
  // Each traced as "[Key] : ..."; false when Layout refused.
  bool setKeyValue(const ChannelRef& channel, LWEnvKeyframeID key, double time, double value) const;
  bool createKey(const ChannelRef& channel, double time, double value) const;

  // Interface (LW Interface Info).
  double currentTime() const;
  // The selected items in selection order; nullopt when the host gives no list at all.
  std::optional<std::vector<LWItemID>> selection() const;

  // Bones (LW Bone Info).
  unsigned int boneFlags(LWItemID bone) const;
  Vec3 restParam(LWItemID bone, int which) const;
  double restLength(LWItemID bone) const;
  // Limited range: the inner and outer distances, as `limits` reports them.
  void boneLimits(LWItemID bone, double& inner, double& outer) const;
  // The weight map's name, copied at once; "" when the bone has none.
  std::string boneWeightMap(LWItemID bone) const;
  double boneStrength(LWItemID bone) const;
  void boneJointComp(LWItemID bone, double& self, double& parent) const;
  void boneMuscleFlex(LWItemID bone, double& self, double& parent) const;

  // Messages (Info Messages).
  void info(const char* text) const;
  bool okCancel(const char* title, const char* text) const;

  // Dialogs (LWPanelServices): a new panel with this title.
  Dialog createDialog(const char* title) const;
  GlobalFunc* global() const { return services_.global; }

  // Commands: traced and evaluated; the untraced form writes no debugger line.
  int send(const char* format, ...) const VORRIK_PRINTF(2, 3);
  int sendUntraced(const char* format, ...) const VORRIK_PRINTF(2, 3);

private:
  const LWItemInfo& items() const;
  const LWBoneInfo& bones() const;
  const LWInterfaceInfo& interface() const;

  HostServices services_;
  const LWLayoutGeneric* local_;  // the host's record for this activation
};

// Item numbers as "%x" arguments.
inline unsigned int idArg(LWItemID id) { return lwItemNumber(id); }

}  // namespace vorrik
