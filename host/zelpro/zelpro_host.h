// The host-facing side of the stand-in host library: what a host program and
// the tests use to watch the driver's log, the client registry and the gate
// table. The driver itself sees only the five imports of host_interface/host_library.h.
// Every function may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

extern "C" {
// Receives every log line the driver writes through err(), one line at a
// time whatever thread writes it; it must not call err() itself.
typedef void (*ZelLogSink)(int level, const char* text, void* context);

// A null sink restores the default: one line per message on standard error,
// "[level] text", for messages at or above the minimum level.
VPI_EXPORT void ZelHostSetLogSink(ZelLogSink sink, void* context);
VPI_EXPORT void ZelHostSetMinimumLevel(int level);

// Client registry. While refusal is on, ZelMkClient fails.
VPI_EXPORT void ZelHostRefuseClients(int refuse);
VPI_EXPORT int ZelHostClientCount(void);
VPI_EXPORT int ZelHostClientRegistered(unsigned char clientId);
// Name of a registered client into out (empty when none); returns its length.
VPI_EXPORT int ZelHostClientName(unsigned char clientId, char* out, size_t outSize);

// Gate table, keyed by address string, holding text values.
VPI_EXPORT int32_t ZelHostAddGate(const char* address);
VPI_EXPORT void ZelHostClearGates(void);
// Copies the text of the gate into out; returns 1 when the gate exists.
VPI_EXPORT int ZelHostGateText(const char* address, char* out, size_t outSize);
// Number of successful ZelPutGateStr calls since the last reset.
VPI_EXPORT int ZelHostPutCount(void);
// After okCount more successful stores, every ZelPutGateStr fails; -1 never.
VPI_EXPORT void ZelHostFailPutsAfter(int okCount);

// Back to the state of a freshly loaded library (default sink, no clients,
// no gates, no failures).
VPI_EXPORT void ZelHostReset(void);
}
