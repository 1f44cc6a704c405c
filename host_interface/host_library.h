// The host library's services the driver imports (ZELPRO.dll on Windows,
// libzelpro.so with the symbol version ZELPRO_1.0 elsewhere). This is the
// module's import ABI: other hosts provide the same five C functions.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "host_interface/journal.h"

extern "C" {
// err, the journal, is declared in journal.h.
// Registers a client; low 16 bits of the result nonzero means refusal.
int VPI_CDECL ZelMkClient(const char* name, int a, int b, unsigned char* clientIdOut);
int VPI_CDECL ZelRmClient(unsigned char clientId);
// Low 16 bits of the result 0: a gate with that address string exists.
int VPI_CDECL ZelGetGateIdByAddressStr(unsigned char clientId, unsigned char driverNumber,
                                       const char* addressText, int32_t* gateIdOut);
// Low 16 bits of the result nonzero: the text was not stored.
int VPI_CDECL ZelPutGateStr(unsigned char clientId, int32_t gateId, int kind, const char* text, int a, int b);
}
