#include "standin/layout/module_loader.h"

#include <cstdio>
#include <string>
#include <utility>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace standin {

std::string moduleBesideExecutable() {
  const std::string folder = executableDirectory();
#if defined(_WIN32)
  return folder.empty() ? std::string("Vorrik.p") : folder + "\\Vorrik.p";
#else
  return folder.empty() ? std::string("Vorrik.p") : folder + "/Vorrik.p";
#endif
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
  // LoadLibrary walks the DLL search path for a bare or relative name; Layout loads the
  // file it is given, so the name is made absolute (with backslashes) first.
  std::string wanted = path;
  for (char& c : wanted) {
    if (c == '/') c = '\\';
  }
  char full[MAX_PATH];
  const DWORD fullLength = GetFullPathNameA(wanted.c_str(), MAX_PATH, full, nullptr);
  if (fullLength > 0 && fullLength < MAX_PATH) wanted.assign(full, fullLength);
  // No "cannot load" message box for a bad file: the error comes back as a code.
  const UINT savedMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE handle = LoadLibraryA(wanted.c_str());
  const DWORD loadError = GetLastError();
  SetErrorMode(savedMode);
  if (handle == nullptr) {
    *error = "cannot load " + path + " (Windows error " + std::to_string(loadError) + ")";
    return nullptr;
  }
  FARPROC symbol = GetProcAddress(handle, "_mod_descrip");
  if (symbol == nullptr) {
    FreeLibrary(handle);
    *error = path + " has no _mod_descrip";
    return nullptr;
  }
  auto* descriptor = reinterpret_cast<ModuleDescriptor*>(symbol);
  return std::unique_ptr<LoadedModule>(new LoadedModule(handle, descriptor));
}

// FreeLibrary runs the module's static destructors (its C runtime's DLL detach), so the
// module-lifetime state goes with it.
LoadedModule::~LoadedModule() { FreeLibrary(static_cast<HMODULE>(handle_)); }

// OutputDebugStringA raises DBG_PRINTEXCEPTION_C with the text's length (with its NUL) and
// address; a vectored handler sees it before anything else and resumes the caller, so the
// line is neither lost nor sent on to a debugger.
namespace {
constexpr DWORD kDebugPrintException = 0x40010006;  // DBG_PRINTEXCEPTION_C
std::vector<std::string>* activeLines = nullptr;

LONG CALLBACK onException(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode != kDebugPrintException || activeLines == nullptr ||
      record->NumberParameters < 2) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const auto length = static_cast<std::size_t>(record->ExceptionInformation[0]);
  const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
  std::string line;
  if (text != nullptr && length > 0) line.assign(text, length);
  if (!line.empty() && line.back() == '\0') line.pop_back();
  activeLines->push_back(std::move(line));
  return EXCEPTION_CONTINUE_EXECUTION;
}
}  // namespace

struct TraceCapture::State {
  std::vector<std::string> lines;
  void* handler = nullptr;
};

TraceCapture::TraceCapture() : state_(new State) {
  activeLines = &state_->lines;
  // First in the chain, so no other handler turns the event into anything else.
  state_->handler = AddVectoredExceptionHandler(1, onException);
  if (state_->handler == nullptr) activeLines = nullptr;
}

std::vector<std::string> TraceCapture::finish() {
  if (state_->handler != nullptr) {
    RemoveVectoredExceptionHandler(state_->handler);
    state_->handler = nullptr;
  }
  if (activeLines == &state_->lines) activeLines = nullptr;
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
