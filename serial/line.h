// The line seam: every call the driver makes on a serial line goes through
// the table of functions installed here, and nothing else in the driver
// touches a port.
//
// Contract. The functions keep the meaning of the Win32 serial calls they
// stand for: `open` opens a port by name for exclusive reading and writing
// (INVALID_HANDLE_VALUE on failure); `close` releases it; `getState` and
// `setState` read and configure the line (rate, character size, parity, stop
// bits, DTR and RTS control); `getTimeouts` and `setTimeouts` hold the read
// timeouts, which bound every `read`; `setupQueues` sizes the driver's
// queues; `queueStatus` gives the bytes waiting in the input and output
// queues (draining input and waiting for the output queue are built on it
// and `read`); `read` returns once the count arrived or the total timeout ran
// out, TRUE with fewer bytes on a timeout; `write` sends every byte or fails;
// `escape` raises (SETRTS) or drops (CLRRTS) RTS; `sleep` waits the
// milliseconds; `counter` and `frequency` are the performance counter and
// its counts a second (a clock that only moves forward). Any function may fail (FALSE); none logs, allocates
// or throws. One table serves the whole module; it is swapped only while no transaction runs.
#pragma once

#include "platform/win32.h"

namespace kovrin {

struct LineOps {
  HANDLE (*open)(const char* name);
  BOOL (*close)(HANDLE line);
  BOOL (*getState)(HANDLE line, DCB* dcb);
  BOOL (*setState)(HANDLE line, DCB* dcb);
  BOOL (*getTimeouts)(HANDLE line, COMMTIMEOUTS* timeouts);
  BOOL (*setTimeouts)(HANDLE line, COMMTIMEOUTS* timeouts);
  BOOL (*setupQueues)(HANDLE line, DWORD inputSize, DWORD outputSize);
  BOOL (*queueStatus)(HANDLE line, DWORD* errors, COMSTAT* status);
  BOOL (*read)(HANDLE line, void* buffer, DWORD count, DWORD* got);
  BOOL (*write)(HANDLE line, const void* bytes, DWORD count, DWORD* written);
  BOOL (*escape)(HANDLE line, DWORD function);
  void (*sleep)(DWORD milliseconds);
  BOOL (*counter)(LARGE_INTEGER* count);
  BOOL (*frequency)(LARGE_INTEGER* frequency);
};

namespace line_seam {
extern const LineOps* g_installed;  // never null
}

// The table in use: the product one unless another was installed. Inline:
// it sits on every port call of a transaction.
inline const LineOps& CurrentLine() { return *line_seam::g_installed; }
// The product implementation: the Win32 serial functions.
const LineOps& ProductLine();
// Installs ops (kept by pointer, so it must outlive its use); null puts the
// product implementation back. Not exported from the module: only code
// linked with the driver's objects (tests, fuzz targets, the benchmark) can
// install another line.
void InstallLine(const LineOps* ops);

}  // namespace kovrin
