#include "entry/lifecycle.h"

#include <cstdio>

#include "entry/handlers.h"
#include "entry/host_library.h"
#include "entry/init_file.h"
#include "serial/port.h"

namespace {

VpiInstance* InstanceOf(VpiRequest* request) { return static_cast<VpiInstance*>(request->instance); }

void CopyLine(PortSettings& to, uint16_t baud, int16_t dataBits, int16_t stopBits, int16_t parity) {
  to.baud = baud;
  to.dataBits = dataBits;
  to.stopBits = stopBits;
  to.parity = parity;
}

}  // namespace

HANDLE OpenInstancePort(const PortSettings& settings) {
  char name[13];
  PortNameToCString(settings.portName, name);
  HANDLE handle = nullptr;
  return OpenPort(name, settings, &handle) == kPortDone ? handle : nullptr;
}

int32_t ColdStart(VpiRequest* request) {
  VpiInstance* instance = InstanceOf(request);
  const auto* params = static_cast<const ColdStartParams*>(request->params);
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
  // A port still open from an earlier start is not closed: on a first start
  // the area holds garbage, and an old handle cannot be told from it.
  instance->portHandle = nullptr;

  ReadInitFile(request);

  char clientName[32];
  std::snprintf(clientName, sizeof clientName, "Dorza No_%.2d", request->driverNumber);
  if ((ZelMkClient(clientName, 1, 0, &instance->clientId) & 0xFFFF) != 0) return kResultFailed;

  if (instance->portOpen == 0) return kResultDone;

  CopyPortName(instance->portSettings.portName, params->portName);
  CopyLine(instance->portSettings, params->baud, params->dataBits, params->stopBits, params->parity);
  instance->portSettings.lineFlags = kLineFlagsDefault;

  HANDLE handle = OpenInstancePort(instance->portSettings);
  if (handle == nullptr) {
    err(kLogMajor, "KOVRIN> ColdStart() error opening COM port");
    return kResultTransport;
  }
  instance->portHandle = handle;
  err(kLogMajor, "KOVRIN> ModBus/J-BUS (RTU protocol) 32bit driver installed");
  SetReadTimeout(handle, instance->replyTimeout);
  return kResultDone;
}

int32_t WarmStart(VpiRequest* request) {
  VpiInstance* instance = InstanceOf(request);
  if (instance->portOpen != 0 && instance->portHandle != nullptr) DrainInput(instance->portHandle);
  err(kLogDetail, "KOVRIN> WarmStart()");
  return kResultDone;
}

int32_t CloseCom(VpiRequest* request) {
  VpiInstance* instance = InstanceOf(request);
  if (instance->portHandle != nullptr) {
    if (ClosePort(instance->portHandle) != kPortDone) return kResultTransport;
    instance->portHandle = nullptr;
    instance->portOpen = 0;
  }
  ZelRmClient(instance->clientId);
  return kResultDone;
}

int32_t EndVpi(VpiRequest* request) {
  g_ended = 1;
  const int32_t result = CloseCom(request);
  if (result != kResultDone) err(kLogMajor, "KOVRIN> EndVpi() error closing COM port");
  err(kLogDetail, "KOVRIN> EndVpi()");
  return result;
}

int32_t ReOpenCom(VpiRequest* request) {
  VpiInstance* instance = InstanceOf(request);
  HANDLE handle = OpenInstancePort(instance->portSettings);
  if (handle == nullptr) return kResultTransport;
  instance->portOpen = 1;
  instance->portHandle = handle;
  return kResultDone;
}

int32_t ChangeVpiParams(VpiRequest* request) {
  VpiInstance* instance = InstanceOf(request);
  const auto* params = static_cast<const ChangeParams*>(request->params);
  if (params->replyTimeout != 0 && params->replyTimeout != -1) {
    instance->replyTimeout = static_cast<uint32_t>(params->replyTimeout);
  }
  if (!SamePortName(params->portName, instance->portSettings.portName) &&
      instance->portHandle != nullptr) {
    CloseCom(request);
  }
  CopyPortName(instance->portSettings.portName, params->portName);
  if (static_cast<int16_t>(params->baud) != 0) {
    CopyLine(instance->portSettings, params->baud, params->dataBits, params->stopBits, params->parity);
  }

  HANDLE handle = OpenInstancePort(instance->portSettings);
  if (handle == nullptr) {
    err(kLogMajor, "KOVRIN> ChangeVpiParams() open new COM port failed");
    return kResultTransport;
  }
  instance->portHandle = handle;
  SetReadTimeout(handle, instance->replyTimeout);
  instance->portOpen = 1;
  return kResultDone;
}
