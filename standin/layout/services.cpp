// The host's C callbacks. Each finds the active stand-in, counts the call and answers from
// its scene. Outside a run they answer "nothing".
#include <cstring>
#include <utility>

#include "standin/layout/stand_in_impl.h"
#include "standin/scene/bone_settings.h"

namespace standin {

namespace {

StandIn* active = nullptr;

ItemId idOf(LWItemID item) { return lwItemNumber(item); }
LWItemID itemOf(ItemId id) { return lwItemFromNumber(id); }

// The active stand-in's implementation, with the query counted; null outside a run.
StandIn::Impl* counted(const char* query) {
  if (active == nullptr) return nullptr;
  StandIn::Impl& impl = active->impl();
  impl.countQuery(query);
  return &impl;
}

void putVector(LWDVector out, const Vec3& value) {
  out[0] = value[0];
  out[1] = value[1];
  out[2] = value[2];
}

// --- LW Item Info ---
LWItemID itemFirst(LWItemType type, LWItemID object) {
  StandIn::Impl* impl = counted("first");
  if (impl == nullptr || type < LWI_OBJECT || type > LWI_BONE) return nullptr;
  return itemOf(impl->owner.scene().first(static_cast<ItemType>(type), idOf(object)));
}
LWItemID itemNext(LWItemID item) {
  StandIn::Impl* impl = counted("next");
  return impl ? itemOf(impl->owner.scene().next(idOf(item))) : nullptr;
}
LWItemID itemFirstChild(LWItemID parent) {
  StandIn::Impl* impl = counted("firstChild");
  return impl ? itemOf(impl->owner.scene().firstChild(idOf(parent))) : nullptr;
}
LWItemID itemNextChild(LWItemID parent, LWItemID previous) {
  StandIn::Impl* impl = counted("nextChild");
  return impl ? itemOf(impl->owner.scene().nextChild(idOf(parent), idOf(previous))) : nullptr;
}
LWItemID itemParent(LWItemID item) {
  StandIn::Impl* impl = counted("parent");
  return impl ? itemOf(impl->owner.scene().parentOf(idOf(item))) : nullptr;
}
LWItemID itemNone(LWItemID) { return nullptr; }
LWItemType itemType(LWItemID item) {
  StandIn::Impl* impl = counted("type");
  return impl ? impl->owner.scene().typeOf(idOf(item)) : kNoItemType;
}
const char* itemName(LWItemID item) {
  StandIn::Impl* impl = counted("name");
  if (impl == nullptr) return nullptr;
  const Item* found = impl->owner.scene().find(idOf(item));
  return found ? found->name.c_str() : nullptr;
}
void itemParam(LWItemID item, LWItemParam which, LWTime time, LWDVector out) {
  StandIn::Impl* impl = counted("param");
  putVector(out, impl ? impl->owner.scene().param(idOf(item), which, time) : Vec3{0, 0, 0});
}
unsigned int itemLimits(LWItemID, LWItemParam, LWDVector, LWDVector) { return 0; }
const char* itemGetTag(LWItemID, int) { return nullptr; }
void itemSetTag(LWItemID, int, const char*) {}
void* itemChanGroup(LWItemID item) {
  StandIn::Impl* impl = counted("chanGroup");
  return impl ? channelGroupOf(*impl, idOf(item)) : nullptr;
}
const char* itemServer(LWItemID, const char*, int) { return nullptr; }
unsigned int itemServerFlags(LWItemID, const char*, int) { return 0; }
void itemController(LWItemID, LWItemParam, int type[3]) { type[0] = type[1] = type[2] = 0; }
unsigned int itemFlags(LWItemID) { return 0; }
LWTime itemLookAhead(LWItemID) { return 0; }
double itemGoalStrength(LWItemID, LWTime) { return 0; }
void itemStiffness(LWItemID, LWItemParam, LWDVector out) { out[0] = out[1] = out[2] = 0; }

// --- LW Bone Info ---
const Item* boneItem(const char* query, LWItemID bone) {
  StandIn::Impl* impl = counted(query);
  if (impl == nullptr) return nullptr;
  const Item* found = impl->owner.scene().find(idOf(bone));
  return found && found->type == ItemType::Bone ? found : nullptr;
}
unsigned int boneFlags(LWItemID bone) {
  const Item* found = boneItem("boneFlags", bone);
  if (found == nullptr) return 0;
  unsigned int flags = 0;
  for (const BoneSetting& s : kBoneSettings) {
    if (s.flagBit != 0 && flagOf(s, *found)) flags |= s.flagBit;
  }
  return flags;
}
void boneRestParam(LWItemID bone, LWItemParam which, LWDVector out) {
  const Item* found = boneItem("restParam", bone);
  Vec3 value{0, 0, 0};
  if (found != nullptr) {
    if (which == LWIP_POSITION) value = found->restPosition;
    if (which == LWIP_ROTATION) value = found->restRotation;
    if (which == LWIP_SCALING) value = found->restScale;
  }
  putVector(out, value);
}
double boneRestLength(LWItemID bone) {
  const Item* found = boneItem("restLength", bone);
  return found ? found->restLength : 0.0;
}
void boneLimits(LWItemID bone, double* inner, double* outer) {
  const Item* found = boneItem("limits", bone);
  *inner = found ? found->deformation.minRange : 0.0;
  *outer = found ? found->deformation.maxRange : 0.0;
}
// The text lives in the scene until the bone's map changes or the bone goes.
const char* boneWeightMap(LWItemID bone) {
  const Item* found = boneItem("weightMap", bone);
  if (found == nullptr || found->deformation.weightMap.empty()) return nullptr;
  return found->deformation.weightMap.c_str();
}
double boneStrength(LWItemID bone) {
  const Item* found = boneItem("strength", bone);
  return found ? found->strength : 0.0;
}
int boneFalloff(LWItemID) { return 0; }
void boneJointComp(LWItemID bone, double* self, double* parent) {
  const Item* found = boneItem("jointComp", bone);
  *self = found ? found->deformation.jointCompSelfAmount : 0.0;
  *parent = found ? found->deformation.jointCompParentAmount : 0.0;
}
void boneMuscleFlex(LWItemID bone, double* self, double* parent) {
  const Item* found = boneItem("muscleFlex", bone);
  *self = found ? found->deformation.muscleFlexSelfAmount : 0.0;
  *parent = found ? found->deformation.muscleFlexParentAmount : 0.0;
}

// --- LW Interface Info ---
unsigned int interfaceItemFlags(LWItemID item) {
  StandIn::Impl* impl = counted("itemFlags");
  if (impl == nullptr) return 0;
  for (ItemId selected : impl->owner.scene().selection()) {
    if (selected == idOf(item)) return LWITEMF_SELECTED;
  }
  return 0;
}
void interfaceSchemaPos(LWItemID, double* x, double* y) { *x = *y = 0; }
int interfaceItemVis(LWItemID) { return 1; }
int interfaceItemColor(LWItemID) { return 0; }

// --- Info Messages ---
void messageInfo(const char* text, const char* text2) {
  if (active) active->impl().message("info", text, text2);
}
void messageError(const char* text, const char* text2) {
  if (active) active->impl().message("error", text, text2);
}
void messageWarning(const char* text, const char* text2) {
  if (active) active->impl().message("warning", text, text2);
}
int boxOkCancel(const char* title, const char* text, const char* text2) {
  return active ? active->impl().messageBox("okCancel", title, text, text2) : 0;
}
int boxYesNo(const char* title, const char* text, const char* text2) {
  return active ? active->impl().messageBox("yesNo", title, text, text2) : 0;
}
int boxYesNoCan(const char* title, const char* text, const char* text2) {
  return active ? active->impl().messageBox("yesNoCan", title, text, text2) : 0;
}
int boxYesNoAll(const char* title, const char* text, const char* text2) {
  return active ? active->impl().messageBox("yesNoAll", title, text, text2) : 0;
}

// --- LWPanelServices ---
LWPanelID panelCreate(char* title, void*) {
  return active ? active->impl().createPanel(title) : nullptr;
}
void panelDestroy(LWPanelID) {
  if (active) active->impl().event("panel destroy");
}
int panelOpen(LWPanelID panel, int flags) {
  return active ? active->impl().openPanel(panel, flags) : 0;
}
int panelHandle(LWPanelID, int) { return 0; }
void panelDraw(LWPanelID, int) {}
void panelClose(LWPanelID) {}
void panelGet(LWPanelID, int, void*) {}
void panelSet(LWPanelID, int, void*) {}
LWControl* panelAddControl(LWPanelID panel, char* kind, LWPanControlDesc* desc, char* label) {
  return active ? active->impl().addControl(panel, kind, desc, label) : nullptr;
}
LWControl* panelNextControl(LWPanelID, LWControl*) { return nullptr; }
void controlDraw(LWControl*, int) {}
void controlGet(LWControl* control, int tag, LWValue* value) {
  if (active) active->impl().controlGet(control, tag, value);
}
void controlSet(LWControl* control, int tag, LWValue* value) {
  if (active) active->impl().controlSet(control, tag, value);
}

// --- the service lookup and the local record ---
void* globalLookup(const char* name, int mode) {
  return active ? active->impl().lookUp(name, mode) : nullptr;
}
int genericEvaluate(void* data, const char* command) {
  auto* standIn = static_cast<StandIn*>(data);
  return standIn ? standIn->impl().evaluate(command) : 0;
}
LWCommandCode genericLookup(void*, const char*) { return 0; }
int genericExecute(void*, LWCommandCode, int, const void*, void*) { return 0; }
int genericSaveScene(const char*) { return 0; }
int genericLoadScene(const char*, const char*) { return 0; }

}  // namespace

StandIn* activeStandIn() { return active; }
void setActiveStandIn(StandIn* standIn) { active = standIn; }

GlobalFunc* standInGlobal() { return globalLookup; }

void installCallbacks(StandIn::Impl& impl) {
  impl.itemInfo = LWItemInfo{
      itemFirst,     itemNext,         itemFirstChild, itemNextChild,   itemParent,     itemNone,
      itemNone,      itemType,         itemName,       itemParam,       itemLimits,     itemGetTag,
      itemSetTag,    itemChanGroup,    itemServer,     itemServerFlags, itemController, itemFlags,
      itemLookAhead, itemGoalStrength, itemStiffness};
  impl.boneInfo =
      LWBoneInfo{boneFlags,    boneRestParam, boneRestLength, boneLimits,    boneWeightMap,
                 boneStrength, boneFalloff,   boneJointComp,  boneMuscleFlex};
  impl.interfaceInfo = LWInterfaceInfo{};
  impl.interfaceInfo.itemFlags = interfaceItemFlags;
  impl.interfaceInfo.schemaPos = interfaceSchemaPos;
  impl.interfaceInfo.itemVis = interfaceItemVis;
  impl.interfaceInfo.itemColor = interfaceItemColor;
  impl.messages = LWMessageFuncs{messageInfo, messageError, messageWarning, boxOkCancel,
                                 boxYesNo,    boxYesNoCan,  boxYesNoAll};
  impl.panels = LWPanelFuncs{
      panelCreate, panelDestroy,    panelOpen,        panelHandle, panelDraw, panelClose, panelGet,
      panelSet,    panelAddControl, panelNextControl, nullptr,     nullptr,   nullptr};
  impl.generic = LWLayoutGeneric{genericSaveScene, genericLoadScene, &impl.owner,
                                 genericLookup,    genericExecute,   genericEvaluate};
}

void initControl(LWControl& control) {
  control.draw = controlDraw;
  control.get = controlGet;
  control.set = controlSet;
}

}  // namespace standin
