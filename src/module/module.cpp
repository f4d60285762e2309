#include "module/module.h"

#include <array>
#include <cstddef>
#include <exception>
#include <iterator>
#include <utility>

#include "host/command_channel.h"

#include "tools/bones/bone_tools.h"
#include "tools/items/item_tools.h"

namespace vorrik {

namespace {

void boneUtil(Host& host, ModuleState&) { runBoneUtil(host); }
void boneSplit(Host& host, ModuleState&) { runBoneSplit(host); }
void boneMerge(Host& host, ModuleState&) { runBoneMerge(host); }
void boneUnParent(Host& host, ModuleState& state) { runBoneUnParent(host, state.unparentRecord); }
void quickParent(Host& host, ModuleState&) { runQuickParent(host); }
void cutKey(Host& host, ModuleState& state) { runCutKey(host, state.clipboard); }
void copyKey(Host& host, ModuleState& state) { runCopyKey(host, state.clipboard); }
void pasteKey(Host& host, ModuleState& state) { runPasteKey(host, state.clipboard); }
void boneSubdivide(Host& host, ModuleState& state) { runBoneSubdivide(host, state.subdivideCount); }
void pasteKeyMirror(Host& host, ModuleState& state) {
  runPasteKeyMirror(host, state.clipboard, state.mirrorAxis);
}

// The services a tool cannot run without. Missing ones end the activation before any
// command or message.
bool hasRequiredServices(const HostServices& services, const ToolEntry& tool) {
  if (services.itemInfo == nullptr || services.interfaceInfo == nullptr) return false;
  if (tool.needsBoneInfo && services.boneInfo == nullptr) return false;
  const bool wantsMessages =
      tool.extras == ExtraServices::Messages || tool.extras == ExtraServices::MessagesThenPanels;
  const bool wantsPanels =
      tool.extras == ExtraServices::Panels || tool.extras == ExtraServices::MessagesThenPanels;
  if (wantsMessages && services.messages == nullptr) return false;
  if (wantsPanels && services.panels == nullptr) return false;
  return true;
}

}  // namespace

// The server table is made from this list: a tool is one line here.
constexpr ToolEntry kTools[] = {
    {"Vorrik:BoneUtil", ExtraServices::Panels, true, boneUtil},
    {"Vorrik:BoneSplit", ExtraServices::MessagesThenPanels, true, boneSplit, true},
    {"Vorrik:BoneMerge", ExtraServices::Messages, true, boneMerge, true},
    {"Vorrik:BoneUnParent", ExtraServices::MessagesThenPanels, false, boneUnParent},
    {"Vorrik:QuickParent", ExtraServices::Messages, false, quickParent},
    {"Vorrik:CutKey", ExtraServices::None, false, cutKey},
    {"Vorrik:CopyKey", ExtraServices::None, false, copyKey},
    {"Vorrik:PasteKey", ExtraServices::None, false, pasteKey},
    {"Vorrik:BoneSubdivide", ExtraServices::MessagesThenPanels, true, boneSubdivide, true},
    {"Vorrik:PasteKeyMirror", ExtraServices::MessagesThenPanels, false, pasteKeyMirror},
};
constexpr std::size_t kToolCount = std::size(kTools);

int runActivation(long version, GlobalFunc* global, void* local, const ToolEntry& tool) noexcept {
  if (version != 1) return AFUNC_BADVERSION;
  const TraceBatch trace;  // written out when the activation ends, however it ends
  try {
    if (global == nullptr || local == nullptr) return AFUNC_OK;
    const auto* generic = static_cast<const LWLayoutGeneric*>(local);
    if (generic->evaluate == nullptr) return AFUNC_OK;
    const HostServices services = acquireHostServices(global, tool.extras, tool.keepsKeys);
    if (tool.run == nullptr || !hasRequiredServices(services, tool)) return AFUNC_OK;
    Host host(services, generic);
    tool.run(host, moduleState());
  } catch (const std::exception& fault) {
    // A host fault or anything else: the activation ends here, and Layout goes on. The
    // trace says why, since nothing else will.
    debugTrace("[Fault] : %s stopped: %s", tool.serverName, fault.what());
  } catch (...) {
    debugTrace("[Fault] : %s stopped: an unknown fault", tool.serverName);
  }
  return AFUNC_OK;
}

namespace {

template <std::size_t Index>
int activate(long version, GlobalFunc* global, void* local, void* /*serverData*/) {
  return runActivation(version, global, local, kTools[Index]);
}

void* startup() { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(4)); }
void shutdown(void* /*startupValue*/) {}

// One "LayoutGeneric" row for each tool, in the list's order, then the closing null row.
template <std::size_t... Index>
constexpr std::array<ServerRecord, sizeof...(Index) + 1> makeServerTable(
    std::index_sequence<Index...>) {
  return {{{"LayoutGeneric", kTools[Index].serverName, activate<Index>, nullptr}...,
           {nullptr, nullptr, nullptr, nullptr}}};
}

std::array<ServerRecord, kToolCount + 1> serverTable =
    makeServerTable(std::make_index_sequence<kToolCount>{});

}  // namespace

}  // namespace vorrik

extern "C" {
#if defined(_WIN32)
ModuleDescriptor _mod_descrip = {
#else
__attribute__((visibility("default"))) ModuleDescriptor _mod_descrip = {
#endif
    MOD_SYSSYNC,     MOD_SYSVER,       MOD_MACHINE,
    vorrik::startup, vorrik::shutdown, vorrik::serverTable.data(),
};
}
