// Whether a command left the host's transfer record as the host filled it,
// for the tests and the fuzz targets. Field by field: the record may have
// padding.
#pragma once

#include "host_interface/host_records.h"

// The fields the driver reads, not the two reserved ones.
inline bool SameRecordButReserved(const GateTransfer& a, const GateTransfer& b) {
  return a.gas == b.gas && a.plc == b.plc && a.memoryType == b.memoryType && a.address == b.address &&
         a.bit == b.bit && a.width == b.width && a.gateType == b.gateType && a.count == b.count &&
         a.values == b.values;
}

// Every field, the reserved ones too.
inline bool SameRecordWithReserved(const GateTransfer& a, const GateTransfer& b) {
  return SameRecordButReserved(a, b) && a.reserved1 == b.reserved1 && a.reserved2 == b.reserved2;
}
