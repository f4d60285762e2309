// The platform parts of hosting a module: loading it by file path, and catching what it
// writes to the debugger output.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/lw_host.h"

namespace standin {

// A module file loaded through the platform's dynamic loader. Unloaded on destruction,
// which also destroys the module's own static state.
class LoadedModule {
public:
  // Null with `error` filled when the file cannot be loaded or lacks `_mod_descrip`.
  static std::unique_ptr<LoadedModule> open(const std::string& path, std::string* error);
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  ModuleDescriptor* descriptor() const { return descriptor_; }

private:
  LoadedModule(void* handle, ModuleDescriptor* descriptor)
      : handle_(handle), descriptor_(descriptor) {}
  void* handle_;                  // the loader's handle
  ModuleDescriptor* descriptor_;  // inside the loaded file
};

// Collects the module's debugger lines while it lives: on Windows the OutputDebugString
// events, elsewhere what is written to standard error.
class TraceCapture {
public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  // Stops capturing and returns the lines in the order written.
  std::vector<std::string> finish();

private:
  struct State;
  std::unique_ptr<State> state_;
};

// The folder of the running executable ("" when it cannot be told).
std::string executableDirectory();

// The platform's file name for a module beside the executable.
std::string moduleBesideExecutable();

}  // namespace standin
