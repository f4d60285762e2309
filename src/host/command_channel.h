// The command channel: formats one Layout command line, traces it and has Layout carry it
// out through the activation's LWLayoutGeneric record.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "host/lw_host.h"

#if defined(__GNUC__)
#define VORRIK_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define VORRIK_PRINTF(fmt, args)
#endif

namespace vorrik {

// Both the command line and the trace line are built in buffers of this size.
constexpr std::size_t kCommandBufferSize = 1024;

// Formats into `buffer` (kCommandBufferSize bytes), never past its end. Returns false when
// the text did not fit and was cut.
bool formatBounded(char* buffer, const char* format, std::va_list args) VORRIK_PRINTF(2, 0);

// Writes one line to the debugger output: OutputDebugStringA on Windows, one line on
// standard error elsewhere.
void debugTrace(const char* format, ...) VORRIK_PRINTF(1, 2);

// While one of these lives, trace lines for standard error are gathered and written, whole
// lines at a time, when the buffer fills and when the last batch ends. A write per line
// took over a third of a big merge. Windows keeps one OutputDebugStringA
// per line, as a debugger expects. Activations run one at a time on Layout's interface
// thread, so the batch is not locked.
class TraceBatch {
public:
  TraceBatch() noexcept;
  ~TraceBatch();
  TraceBatch(const TraceBatch&) = delete;
  TraceBatch& operator=(const TraceBatch&) = delete;
};

// Formats, traces "[Command] : <line>", then evaluates; returns evaluate's result. A line
// that did not fit the buffer is traced but not evaluated (a cut command could do the
// wrong thing), and 0 is returned. A non-finite "%g" argument is never sent: HostFault is
// thrown before anything is formatted, which ends the activation.
int sendCommand(const LWLayoutGeneric* local, const char* format, ...) VORRIK_PRINTF(2, 3);
int sendCommandV(const LWLayoutGeneric* local, const char* format, std::va_list args)
    VORRIK_PRINTF(2, 0);

// The same without the trace line.
int sendUntracedV(const LWLayoutGeneric* local, const char* format, std::va_list args)
    VORRIK_PRINTF(2, 0);

}  // namespace vorrik
