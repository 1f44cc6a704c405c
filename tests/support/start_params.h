// The ColdStart record of an instance with a port, 8 data bits, no parity,
// one stop bit.
#pragma once

#include <cstdint>

#include "host_interface/host_records.h"
#include "host_interface/instance.h"

inline ColdStartParams PortStart(const char* portName, uint32_t replyTimeout, uint16_t baud = 9600) {
  ColdStartParams params{};
  CopyPortName(params.portName, portName);
  params.portInUse = 1;
  params.replyTimeout = replyTimeout;
  params.baud = baud;
  params.dataBits = 8;
  return params;
}
