// The module descriptor Layout reads, the server table, and the activation guard every
// server goes through.
#pragma once

#include <cstddef>

#include "host/host_session.h"
#include "module/module_state.h"

extern "C" {
// The one symbol the module exports.
extern ModuleDescriptor _mod_descrip;
}

namespace vorrik {

// What a server runs once the host's services are in hand.
using ToolFunction = void (*)(Host& host, ModuleState& state);

struct ToolEntry {
  const char* serverName;
  ExtraServices extras;  // looked up after the nine common services
  bool needsBoneInfo;
  ToolFunction run;  // null for a tool that is not built yet
  // Also looks up Layout's channel and envelope services; the tool runs without them.
  bool keepsKeys = false;
};

// The tools in server-table order, and how many there are.
extern const ToolEntry kTools[];
extern const std::size_t kToolCount;

// The activation contract: version check, service acquisition, the tool, and a result
// code. Catches everything: no exception leaves the module.
int runActivation(long version, GlobalFunc* global, void* local, const ToolEntry& tool) noexcept;

}  // namespace vorrik
