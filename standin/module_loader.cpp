#include "standin/module_loader.h"

#include <cstdio>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace standin {

std::string moduleBesideExecutable() {
  const std::string folder = executableDirectory();
  return folder.empty() ? std::string("Vorrik.p") : folder + "/Vorrik.p";
}

#if defined(_WIN32)

std::string executableDirectory() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "";
  std::string text(path, length);
  const auto slash = text.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : text.substr(0, slash);
}

std::unique_ptr<LoadedModule> LoadedModule::open(const std::string& path, std::string* error) {
  HMODULE handle = LoadLibraryA(path.c_str());
  if (handle == nullptr) {
    *error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  auto* descriptor =
      reinterpret_cast<ModuleDescriptor*>(GetProcAddress(handle, "_mod_descrip"));
  if (descriptor == nullptr) {
    FreeLibrary(handle);
    *error = path + " has no _mod_descrip";
    return nullptr;
  }
  return std::unique_ptr<LoadedModule>(new LoadedModule(handle, descriptor));
}

LoadedModule::~LoadedModule() { FreeLibrary(static_cast<HMODULE>(handle_)); }

// OutputDebugStringA raises DBG_PRINTEXCEPTION_C with the length and text; a vectored
// handler sees it first and tells the system it was handled.
namespace {
constexpr DWORD kDebugPrintException = 0x40010006;
std::vector<std::string>* activeLines = nullptr;

LONG CALLBACK onException(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode != kDebugPrintException || activeLines == nullptr ||
      record->NumberParameters < 2) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const auto length = static_cast<std::size_t>(record->ExceptionInformation[0]);
  const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
  std::string line(text, length);
  if (!line.empty() && line.back() == '\0') line.pop_back();
  activeLines->push_back(line);
  return EXCEPTION_CONTINUE_EXECUTION;
}
}  // namespace

struct TraceCapture::State {
  std::vector<std::string> lines;
  void* handler = nullptr;
};

TraceCapture::TraceCapture() : state_(new State) {
  activeLines = &state_->lines;
  state_->handler = AddVectoredExceptionHandler(1, onException);
}

std::vector<std::string> TraceCapture::finish() {
  if (state_->handler != nullptr) {
    RemoveVectoredExceptionHandler(state_->handler);
    state_->handler = nullptr;
  }
  activeLines = nullptr;
  return std::move(state_->lines);
}

TraceCapture::~TraceCapture() { finish(); }

#else

std::string executableDirectory() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "";
  std::string text(path, static_cast<std::size_t>(length));
  const auto slash = text.find_last_of('/');
  return slash == std::string::npos ? std::string() : text.substr(0, slash);
}

std::unique_ptr<LoadedModule> LoadedModule::open(const std::string& path, std::string* error) {
  // A bare file name would send dlopen searching the library path; Layout loads the file
  // it is given.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    *error = "cannot load " + path + ": " + (reason ? reason : "unknown error");
    return nullptr;
  }
  auto* descriptor = static_cast<ModuleDescriptor*>(dlsym(handle, "_mod_descrip"));
  if (descriptor == nullptr) {
    dlclose(handle);
    *error = path + " has no _mod_descrip";
    return nullptr;
  }
  return std::unique_ptr<LoadedModule>(new LoadedModule(handle, descriptor));
}

LoadedModule::~LoadedModule() { dlclose(handle_); }

// Standard error is pointed at a temporary file while the module runs; the lines are read
// back afterwards. A file rather than a pipe: a long run cannot fill it and stall.
struct TraceCapture::State {
  std::FILE* file = nullptr;
  int savedError = -1;
  bool finished = false;
};

TraceCapture::TraceCapture() : state_(new State) {
  std::fflush(stderr);
  state_->file = std::tmpfile();
  if (state_->file == nullptr) return;
  state_->savedError = dup(STDERR_FILENO);
  if (state_->savedError < 0 || dup2(fileno(state_->file), STDERR_FILENO) < 0) {
    if (state_->savedError >= 0) close(state_->savedError);
    state_->savedError = -1;
    std::fclose(state_->file);
    state_->file = nullptr;
  }
}

std::vector<std::string> TraceCapture::finish() {
  std::vector<std::string> lines;
  if (state_->finished || state_->file == nullptr) return lines;
  state_->finished = true;
  std::fflush(stderr);
  dup2(state_->savedError, STDERR_FILENO);
  close(state_->savedError);
  std::rewind(state_->file);
  std::string line;
  char chunk[65536];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, state_->file)) > 0;) {
    for (std::size_t i = 0; i < got; ++i) {
      if (chunk[i] == '\n') {
        lines.push_back(line);
        line.clear();
      } else {
        line.push_back(chunk[i]);
      }
    }
  }
  if (!line.empty()) lines.push_back(line);
  std::fclose(state_->file);
  state_->file = nullptr;
  return lines;
}

TraceCapture::~TraceCapture() { finish(); }

#endif

}  // namespace standin
