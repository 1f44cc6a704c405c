// Gate records for the transfer fuzz targets, built from a few input bytes
// the way the address parsers would have left them: every read kind, write
// kind, block size and report gate the host can hand the driver.
#pragma once

#include <cstdint>

#include "host_interface/host_records.h"
#include "fuzz/fuzz_input.h"

enum class TransferKind : uint8_t {
  kSingleRead,
  kBlockRead,
  kSingleWrite,
  kBlockWrite,
  kReport,  // a report number written to a report trigger gate
  kCount,
};

struct TransferCase {
  TransferKind kind;
  GateTransfer gate;
  uint16_t value;       // the single write's value, or the report number
  int reportLineGates;  // report-line gates the host has for the report
};

constexpr int kTransferRecordSize = 8;

// Takes kTransferRecordSize bytes.
TransferCase TransferCaseFrom(FuzzInput& input);

uint32_t CommandOf(TransferKind kind);
bool IsBlock(TransferKind kind);
bool IsWrite(TransferKind kind);
