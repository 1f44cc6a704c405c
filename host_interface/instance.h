// The per-instance working area the host allocates (instanceSize bytes) and
// the few variables that exist once for the whole module.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/win32.h"
#include "host_interface/port_settings.h"

constexpr uint32_t kInstanceSize = 9464;
constexpr int kFrameBufferSize = 600;
constexpr int kReportBufferSize = 8200;

// Option bits of VpiInstance::flags, set from the init file.
constexpr uint16_t kFlagSwap = 2;
constexpr uint16_t kFlagFloatSwap = 4;
constexpr uint16_t kFlagLongAddr = 8;
constexpr uint16_t kFlagHexReports = 16;  // base H: report-line addresses spelt hexadecimal
// The bits of the driver's own state: stations are watched (their health
// recorded, beside the area); the line echoes each request (ECHO = YES, or
// learnt with AUTO); ECHO = AUTO, the echo not yet seen.
constexpr uint16_t kFlagStationWatch = 32;
constexpr uint16_t kFlagEcho = 64;
constexpr uint16_t kFlagEchoAuto = 128;

struct VpiInstance {
  uint32_t replyTimeout;  // units of 10 ms
  uint32_t portOpen;
  char protocol;  // 'M' Modbus, 'J' J-BUS
  char base;      // 'D' decimal, 'H' hexadecimal, 'L' long decimal
  HANDLE portHandle;
  PortSettings portSettings;
  uint32_t writeInProgress;
  uint8_t txBuffer[kFrameBufferSize];
  uint8_t rxBuffer[kFrameBufferSize];
  uint16_t flags;
  uint16_t IFG;
  uint16_t IFG_MS;
  uint8_t RTSCTS;
  uint8_t clientId;
  char ReportBuffer[kReportBufferSize];
  int32_t ReportPos;
};

static_assert(sizeof(VpiInstance) <= kInstanceSize, "VpiInstance must fit instanceSize");

// Driver-wide state, one copy for all instances. Lines run on threads of
// their own, so these are atomic; they stay module-wide: after transactions
// on several lines at once, the indicator holds what one of them left.
extern std::atomic<int> g_ended;          // set by EndVpi; VpiMain then answers 0
extern std::atomic<uint8_t> g_lastError;  // transaction last-error indicator

inline uint8_t LoadLastError() { return g_lastError.load(std::memory_order_relaxed); }
inline void StoreLastError(uint8_t value) { g_lastError.store(value, std::memory_order_relaxed); }

constexpr uint8_t kLastErrorSendFailed = 1;
constexpr uint8_t kLastErrorException = 8;

// Port names travel in 12-byte fields that the host may fill without a NUL.
// A name is read up to its 12th byte at most and taken to end there.
void CopyPortName(char (&to)[12], const char* from);
bool SamePortName(const char* a, const char* b);
// The name as a C string (12 characters at most, always NUL-terminated).
void PortNameToCString(const char* name, char (&out)[13]);
