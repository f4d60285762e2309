#include "host/command_channel.h"

#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "host/host_fault.h"

namespace vorrik {

bool formatBounded(char* buffer, const char* format, std::va_list args) {
  const int written = std::vsnprintf(buffer, kCommandBufferSize, format, args);
  if (written < 0) {
    buffer[0] = '\0';
    return false;
  }
  return static_cast<std::size_t>(written) < kCommandBufferSize;
}

namespace {

void writeTraceLine(const char* line) {
#if defined(_WIN32)
  OutputDebugStringA(line);
#else
  // One write per line so that lines from one activation never interleave.
  char buffer[kCommandBufferSize + 1];
  const std::size_t length = std::strlen(line);
  std::memcpy(buffer, line, length);
  buffer[length] = '\n';
  std::fwrite(buffer, 1, length + 1, stderr);
  std::fflush(stderr);
#endif
}

int evaluateLine(const LWLayoutGeneric* local, const char* line) {
  if (local == nullptr || local->evaluate == nullptr) throw HostFault("no evaluate");
  return local->evaluate(local->data, line);
}

}  // namespace

void debugTrace(const char* format, ...) {
  char line[kCommandBufferSize];
  std::va_list args;
  va_start(args, format);
  formatBounded(line, format, args);
  va_end(args);
  writeTraceLine(line);
}

int sendCommandV(const LWLayoutGeneric* local, const char* format, std::va_list args) {
  char line[kCommandBufferSize];
  const bool complete = formatBounded(line, format, args);
  debugTrace("[Command] : %s", line);
  if (!complete) return 0;
  return evaluateLine(local, line);
}

int sendCommand(const LWLayoutGeneric* local, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const int result = sendCommandV(local, format, args);
  va_end(args);
  return result;
}

int sendUntracedV(const LWLayoutGeneric* local, const char* format, std::va_list args) {
  char line[kCommandBufferSize];
  if (!formatBounded(line, format, args)) return 0;
  return evaluateLine(local, line);
}

}  // namespace vorrik
