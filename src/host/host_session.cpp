#include "host/host_session.h"

#include <cstdio>

namespace vorrik {

namespace {

template <typename Table>
const Table* lookUp(GlobalFunc* global, const char* name) {
  return static_cast<const Table*>(global(name, GFUSE_TRANSIENT));
}

// A member the host left null ends the activation instead of crashing Layout.
template <typename Function>
Function require(Function function, const char* what) {
  if (function == nullptr) throw HostFault(what);
  return function;
}

}  // namespace

HostServices acquireHostServices(GlobalFunc* global, ExtraServices extras, bool keys) {
  HostServices services;
  if (global == nullptr) return services;
  services.global = global;
  services.itemInfo = lookUp<LWItemInfo>(global, LWITEMINFO_GLOBAL);
  services.lightInfo = lookUp<void>(global, "LW Light Info 3");
  services.objectInfo = lookUp<void>(global, "LW Object Info 4");
  services.boneInfo = lookUp<LWBoneInfo>(global, LWBONEINFO_GLOBAL);
  services.sceneInfo = lookUp<void>(global, "LW Scene Info 3");
  services.cameraInfo = lookUp<void>(global, "LW Camera Info 2");
  services.surfaceFuncs = lookUp<void>(global, "Surface Functions 2");
  services.sceneObjects = lookUp<void>(global, "Scene Objects 4");
  services.interfaceInfo = lookUp<LWInterfaceInfo>(global, LWINTERFACEINFO_GLOBAL);
  if (keys) acquireKeyServices(services);
  if (extras == ExtraServices::Messages || extras == ExtraServices::MessagesThenPanels) {
    services.messages = lookUp<LWMessageFuncs>(global, LWMESSAGEFUNCS_GLOBAL);
  }
  if (extras == ExtraServices::Panels || extras == ExtraServices::MessagesThenPanels) {
    // The panel services carry the lookup function for the controls that need it.
    services.panels = static_cast<LWPanelFuncs*>(global(LWPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
    if (services.panels != nullptr) services.panels->globalFun = global;
  }
  return services;
}

const LWItemInfo& Host::items() const {
  if (services_.itemInfo == nullptr) throw HostFault("no item info");
  return *services_.itemInfo;
}

const LWBoneInfo& Host::bones() const {
  if (services_.boneInfo == nullptr) throw HostFault("no bone info");
  return *services_.boneInfo;
}

const LWInterfaceInfo& Host::interface() const {
  if (services_.interfaceInfo == nullptr) throw HostFault("no interface info");
  return *services_.interfaceInfo;
}

int Host::type(LWItemID item) const { return require(items().type, "item type")(item); }

LWItemID Host::parent(LWItemID item) const { return require(items().parent, "item parent")(item); }

LWItemID Host::first(int itemType, LWItemID object) const {
  return require(items().first, "item first")(itemType, object);
}

LWItemID Host::next(LWItemID item) const { return require(items().next, "item next")(item); }

LWItemID Host::firstChild(LWItemID parentItem) const {
  return require(items().firstChild, "item firstChild")(parentItem);
}

LWItemID Host::nextChild(LWItemID parentItem, LWItemID previous) const {
  return require(items().nextChild, "item nextChild")(parentItem, previous);
}

std::string Host::name(LWItemID item) const {
  // The host's text may not outlive the next call; keep a copy.
  const char* text = require(items().name, "item name")(item);
  return text == nullptr ? std::string() : std::string(text);
}

Vec3 Host::param(LWItemID item, int which) const {
  const auto query = require(items().param, "item param");
  LWDVector value = {0, 0, 0};
  query(item, which, currentTime(), value);
  return {value[0], value[1], value[2]};
}

double Host::currentTime() const { return interface().curTime; }

std::optional<std::vector<LWItemID>> Host::selection() const {
  const LWItemID* selected = interface().selItems;
  if (selected == nullptr) return std::nullopt;
  std::vector<LWItemID> snapshot;
  for (const LWItemID* entry = selected; *entry != LWITEM_NULL; ++entry) snapshot.push_back(*entry);
  return snapshot;
}

unsigned int Host::boneFlags(LWItemID bone) const {
  return require(bones().flags, "bone flags")(bone);
}

Vec3 Host::restParam(LWItemID bone, int which) const {
  const auto query = require(bones().restParam, "bone restParam");
  LWDVector value = {0, 0, 0};
  query(bone, which, value);
  return {value[0], value[1], value[2]};
}

double Host::restLength(LWItemID bone) const {
  return require(bones().restLength, "bone restLength")(bone);
}

void Host::boneLimits(LWItemID bone, double& inner, double& outer) const {
  inner = outer = 0;
  require(bones().limits, "bone limits")(bone, &inner, &outer);
}

std::string Host::boneWeightMap(LWItemID bone) const {
  // The host's text may not outlive the next call; keep a copy.
  const char* name = require(bones().weightMap, "bone weightMap")(bone);
  return name == nullptr ? std::string() : std::string(name);
}

double Host::boneStrength(LWItemID bone) const {
  return require(bones().strength, "bone strength")(bone);
}

void Host::boneJointComp(LWItemID bone, double& self, double& parent) const {
  self = parent = 0;
  require(bones().jointComp, "bone jointComp")(bone, &self, &parent);
}

void Host::boneMuscleFlex(LWItemID bone, double& self, double& parent) const {
  self = parent = 0;
  require(bones().muscleFlex, "bone muscleFlex")(bone, &self, &parent);
}

void Host::info(const char* text) const {
  if (services_.messages == nullptr) throw HostFault("no message services");
  require(services_.messages->info, "message info")(text, nullptr);
}

bool Host::okCancel(const char* title, const char* text) const {
  if (services_.messages == nullptr) throw HostFault("no message services");
  return require(services_.messages->okCancel, "message okCancel")(title, text, nullptr) != 0;
}

Dialog Host::createDialog(const char* title) const {
  LWPanelFuncs* panels = services_.panels;
  if (panels == nullptr) throw HostFault("no panel services");
  // The host takes a writable title; give it a copy that lives as long as the module.
  static char titleBuffer[kCommandBufferSize];
  std::snprintf(titleBuffer, sizeof titleBuffer, "%s", title);
  LWPanelID panel = require(panels->create, "panel create")(titleBuffer, panels);
  if (panel == nullptr) throw HostFault("panel not created");
  return Dialog(panels, panel);
}

DialogControl Dialog::addControl(const char* kind, LWPanControlDesc& descriptor,
                                 const char* label) {
  // The host's signature takes writable strings; it only reads them.
  LWControl* control = require(panels_->addControl, "panel addControl")(
      panel_, const_cast<char*>(kind), &descriptor, const_cast<char*>(label));
  if (control == nullptr) throw HostFault("control not created");
  return DialogControl(control);
}

DialogControl Dialog::addChoice(const char* label, const char** items, int x, int y) {
  // Layout reads the descriptor when the control is made.
  LWPanControlDesc descriptor{};
  descriptor.choice.type = LWT_CHOICE;
  descriptor.choice.items = items;
  descriptor.choice.vertical = 0;
  DialogControl control = addControl("ChoiceControl", descriptor, label);
  control.setInt(CTL_X, x);
  control.setInt(CTL_Y, y);
  return control;
}

DialogControl Dialog::addRange(const char* kind, const char* label, int min, int max, int width,
                               int x, int y) {
  LWPanControlDesc descriptor{};
  descriptor.range.type = LWT_RANGE;
  descriptor.range.width = width;
  descriptor.range.min = min;
  descriptor.range.max = max;
  DialogControl control = addControl(kind, descriptor, label);
  control.setInt(CTL_X, x);
  control.setInt(CTL_Y, y);
  return control;
}

bool Dialog::open() {
  return require(panels_->open, "panel open")(panel_, PANF_BLOCKING | PANF_CANCEL | PANF_FRAME) !=
         0;
}

void DialogControl::setInt(int tag, int value) {
  LWValue record{};
  record.intv.type = LWT_INTEGER;
  record.intv.value = value;
  require(control_->set, "control set")(control_, tag, &record);
}

void DialogControl::setFloat(int tag, double value) {
  LWValue record{};
  record.flt.type = LWT_FLOAT;
  record.flt.value = value;
  require(control_->set, "control set")(control_, tag, &record);
}

int DialogControl::getInt(int tag) {
  LWValue record{};
  record.intv.type = LWT_INTEGER;
  require(control_->get, "control get")(control_, tag, &record);
  return record.intv.value;
}

double DialogControl::getFloat(int tag) {
  LWValue record{};
  record.flt.type = LWT_FLOAT;
  require(control_->get, "control get")(control_, tag, &record);
  return record.flt.value;
}

int Host::send(const char* format, ...) const {
  std::va_list args;
  va_start(args, format);
  const int result = sendCommandV(local_, format, args);
  va_end(args);
  return result;
}

int Host::sendUntraced(const char* format, ...) const {
  std::va_list args;
  va_start(args, format);
  const int result = sendUntracedV(local_, format, args);
  va_end(args);
  return result;
}

}  // namespace vorrik
