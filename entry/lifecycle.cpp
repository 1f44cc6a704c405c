#include "entry/lifecycle.h"

#include <cstdio>

#include "entry/handlers.h"
#include "host_interface/host_library.h"
#include "entry/init_file.h"
#include "entry/opened_ports.h"
#include "transfer/station_health.h"
#include "serial/port.h"

namespace kovrin {

namespace {

void CopyLine(PortSettings& to, uint16_t baud, int16_t dataBits, int16_t stopBits, int16_t parity) {
  to.baud = baud;
  to.dataBits = dataBits;
  to.stopBits = stopBits;
  to.parity = parity;
}

// A reply timeout of 0 would leave every read without a total timeout,
// which the serial functions take as "wait forever": a silent device would
// hold the host's thread for good. The port's own open timeout stands in.
constexpr uint32_t kOpenReplyTimeoutIn10Ms = kOpenReadTimeoutMs / 10;

// A port and host client this module gave the same area at an earlier
// start are released, so that the restart can open the port again and the
// host keeps one client per instance. Anything else in the area (a fresh
// allocation holds garbage) is only dropped.
// Removes the host client this module registered for the area, if any.
void ReleaseOwnClient(VpiInstance* instance) {
  if (!ClientOfArea(instance, instance->clientId)) return;
  ZelRmClient(instance->clientId);
  ForgetClient(instance, instance->clientId);
}

// The port and the client go separately: a start without a port, or whose
// port failed to open, registered a client all the same.
void ReleaseEarlierStart(VpiInstance* instance) {
  if (OpenedForArea(instance, instance->portHandle)) {
    ClosePort(instance->portHandle);
    ForgetOpenedPort(instance, instance->portHandle);
  }
  ReleaseOwnClient(instance);
}

HANDLE OpenFor(VpiInstance* instance) {
  HANDLE handle = OpenInstancePort(instance->portSettings);
  if (handle != nullptr) RememberOpenedPort(instance, handle);
  return handle;
}

// Registers the instance's host client; false when the host refused.
bool RegisterClient(VpiInstance* instance, int32_t driverNumber) {
  char clientName[32];
  std::snprintf(clientName, sizeof clientName, "Dorza No_%.2d", driverNumber);
  if ((ZelMkClient(clientName, 1, 0, &instance->clientId) & 0xFFFF) != 0) return false;
  RememberClient(instance, instance->clientId);
  return true;
}

// A reopen after CloseCom finds the client removed: the report fetch needs
// one to look its gates up.
void RegisterClientIfNone(VpiInstance* instance, int32_t driverNumber) {
  if (!ClientOfArea(instance, instance->clientId)) RegisterClient(instance, driverNumber);
}

// Closes the instance's port, keeping its client; false when the close
// failed.
bool CloseInstancePort(VpiInstance* instance) {
  if (instance->portHandle == nullptr) return true;
  if (ClosePort(instance->portHandle) != PortResult::kDone) return false;
  ForgetOpenedPort(instance, instance->portHandle);
  instance->portHandle = nullptr;
  instance->portOpen = 0;
  return true;
}

}  // namespace

HANDLE OpenInstancePort(const PortSettings& settings) {
  char name[13];
  PortNameToCString(settings.portName, name);
  HANDLE handle = nullptr;
  return OpenPort(name, settings, &handle) == PortResult::kDone ? handle : nullptr;
}

int32_t ColdStart(VpiInstance* instance, const ColdStartParams* params, int32_t driverNumber) {
  err(kLogMajor, "KOVRIN>:version compiled on %s at time %s", __DATE__, __TIME__);

  instance->base = 'D';
  instance->protocol = 'M';
  instance->RTSCTS = 0;
  instance->IFG = 0;
  instance->IFG_MS = 0;
  // The host's allocation need not be zero-filled; no write runs yet.
  instance->writeInProgress = 0;

  instance->portOpen = params->portInUse;
  instance->replyTimeout = params->replyTimeout;
  if (instance->replyTimeout == 0) {
    err(kLogMajor, "KOVRIN> ColdStart() reply timeout 0, 1000 ms used");
    instance->replyTimeout = kOpenReplyTimeoutIn10Ms;
  }
  ReleaseEarlierStart(instance);
  instance->portHandle = nullptr;

  if (ConfigureStations(instance, ReadInitFile(instance, driverNumber))) {
    instance->flags = static_cast<uint16_t>(instance->flags | kFlagStationWatch);
  }

  if (!RegisterClient(instance, driverNumber)) return kResultFailed;

  if (instance->portOpen == 0) return kResultDone;

  CopyPortName(instance->portSettings.portName, params->portName);
  CopyLine(instance->portSettings, params->baud, params->dataBits, params->stopBits, params->parity);
  instance->portSettings.lineFlags = kLineFlagsDefault;

  HANDLE handle = OpenFor(instance);
  if (handle == nullptr) {
    err(kLogMajor, "KOVRIN> ColdStart() error opening COM port");
    return kResultTransport;
  }
  instance->portHandle = handle;
  err(kLogMajor, "KOVRIN> ModBus/J-BUS (RTU protocol) 32bit driver installed");
  SetReadTimeoutIn10Ms(handle, instance->replyTimeout);
  return kResultDone;
}

int32_t WarmStart(VpiInstance* instance) {
  if (instance->portOpen != 0 && instance->portHandle != nullptr) DrainInput(instance->portHandle);
  err(kLogDetail, "KOVRIN> WarmStart()");
  return kResultDone;
}

int32_t CloseCom(VpiInstance* instance) {
  if (!CloseInstancePort(instance)) return kResultTransport;
  ZelRmClient(instance->clientId);
  ForgetClient(instance, instance->clientId);
  return kResultDone;
}

void ReleaseAfterEnd(VpiInstance* instance) {
  if (instance == nullptr) return;
  if (OpenedForArea(instance, instance->portHandle)) CloseInstancePort(instance);
  ReleaseOwnClient(instance);
}

int32_t EndVpi(VpiInstance* instance) {
  g_ended.store(1, std::memory_order_relaxed);
  const int32_t result = CloseCom(instance);
  if (result != kResultDone) err(kLogMajor, "KOVRIN> EndVpi() error closing COM port");
  err(kLogDetail, "KOVRIN> EndVpi()");
  return result;
}

int32_t ReOpenCom(VpiInstance* instance, int32_t driverNumber) {
  RegisterClientIfNone(instance, driverNumber);
  HANDLE handle = OpenFor(instance);
  if (handle == nullptr) return kResultTransport;
  instance->portOpen = 1;
  instance->portHandle = handle;
  SetReadTimeoutIn10Ms(handle, instance->replyTimeout);
  return kResultDone;
}

int32_t ChangeVpiParams(VpiInstance* instance, const ChangeParams* params, int32_t driverNumber) {
  if (params->replyTimeout != 0 && params->replyTimeout != -1) {
    instance->replyTimeout = static_cast<uint32_t>(params->replyTimeout);
  }
  // The open port is closed whether the name changes or not: the same
  // port cannot be opened twice, and its new line settings need the new
  // open. The client stays.
  CloseInstancePort(instance);
  RegisterClientIfNone(instance, driverNumber);
  CopyPortName(instance->portSettings.portName, params->portName);
  if (static_cast<int16_t>(params->baud) != 0) {
    CopyLine(instance->portSettings, params->baud, params->dataBits, params->stopBits, params->parity);
  }

  HANDLE handle = OpenFor(instance);
  if (handle == nullptr) {
    err(kLogMajor, "KOVRIN> ChangeVpiParams() open new COM port failed");
    return kResultTransport;
  }
  instance->portHandle = handle;
  SetReadTimeoutIn10Ms(handle, instance->replyTimeout);
  instance->portOpen = 1;
  return kResultDone;
}

}  // namespace kovrin
