#include "host/command_channel.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
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

#if !defined(_WIN32)
// Lines waiting for standard error while a TraceBatch lives. Only whole lines go in, so
// every write ends at a line's end and lines of two writers never mix inside one.
struct PendingTrace {
  static constexpr std::size_t kCapacity = 64 * 1024;
  char text[kCapacity];
  std::size_t used = 0;
  int batches = 0;  // nesting depth of live TraceBatch objects
};
PendingTrace pendingTrace;

void writePending() {
  if (pendingTrace.used == 0) return;
  std::fwrite(pendingTrace.text, 1, pendingTrace.used, stderr);
  std::fflush(stderr);
  pendingTrace.used = 0;
}
#endif

void writeTraceLine(const char* line) {
#if defined(_WIN32)
  // One call per line, without a newline: a debugger takes each call as one line.
  OutputDebugStringA(line);
#else
  const std::size_t length = std::strlen(line);  // < kCommandBufferSize: formatBounded's
  if (pendingTrace.used + length + 1 > PendingTrace::kCapacity) writePending();
  std::memcpy(pendingTrace.text + pendingTrace.used, line, length);
  pendingTrace.used += length;
  pendingTrace.text[pendingTrace.used++] = '\n';
  if (pendingTrace.batches == 0) writePending();  // outside an activation: at once
#endif
}

// True when every "%g" argument is a finite number. A NaN or an infinity has no meaning as
// a position or a length, and the C runtimes spell them differently ("nan", "1.#INF").
bool numbersAreFinite(const char* format, std::va_list args) {
  std::va_list walk;
  va_copy(walk, args);
  bool finite = true;
  for (const char* c = format; *c != '\0'; ++c) {
    if (*c != '%') continue;
    ++c;
    if (*c == 'g') {
      finite = finite && std::isfinite(va_arg(walk, double));
    } else if (*c == 'x') {
      (void)va_arg(walk, unsigned int);
    } else if (*c == 's') {
      (void)va_arg(walk, const char*);
    } else if (*c == '\0') {
      break;
    }
  }
  va_end(walk);
  return finite;
}

int evaluateLine(const LWLayoutGeneric* local, const char* line) {
  if (local == nullptr || local->evaluate == nullptr) throw HostFault("no evaluate");
  return local->evaluate(local->data, line);
}

}  // namespace

TraceBatch::TraceBatch() noexcept {
#if !defined(_WIN32)
  ++pendingTrace.batches;
#endif
}

TraceBatch::~TraceBatch() {
#if !defined(_WIN32)
  if (--pendingTrace.batches == 0) writePending();
#endif
}

void debugTrace(const char* format, ...) {
  char line[kCommandBufferSize];
  std::va_list args;
  va_start(args, format);
  formatBounded(line, format, args);
  va_end(args);
  writeTraceLine(line);
}

int sendCommandV(const LWLayoutGeneric* local, const char* format, std::va_list args) {
  if (!numbersAreFinite(format, args)) throw HostFault("a command would carry a non-finite number");
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
  if (!numbersAreFinite(format, args)) throw HostFault("a command would carry a non-finite number");
  char line[kCommandBufferSize];
  if (!formatBounded(line, format, args)) return 0;
  return evaluateLine(local, line);
}

}  // namespace vorrik
