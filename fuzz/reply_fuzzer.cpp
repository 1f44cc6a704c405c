// The reply side of every transaction: arbitrary bytes arriving on the line,
// in arbitrary chunks and with timeouts, for every read kind, block size,
// write kind and report packet, through the real VpiMain commands.
//
// Input: a settings byte, a command count, that many transfer records, then
// the line script (fuzz/line_script.h). Checked for every command: a known
// result, no write left in progress, well-formed requests, a value area that
// a failed read leaves untouched and a successful one changes only where its
// layout names, canaries intact, ReportPos inside ReportBuffer.

#include <cstdint>
#include <cstdio>

#include "fuzz/driver_harness.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/line_script.h"
#include "fuzz/transfer_gate.h"
#include "host/zelpro/zelpro_host.h"
#include "transfer/value_area.h"

namespace {

constexpr int kMaxCommands = 3;

void AddReportLineGates(const TransferCase& c) {
  ZelHostClearGates();
  if (c.kind != TransferKind::kReport) return;
  for (int line = 1; line <= c.reportLineGates; ++line) {
    char address[32];
    std::snprintf(address, sizeof address, "R%02d%02d%03d", c.gate.plc % 100, c.value % 100, line);
    ZelHostAddGate(address);
  }
}

void RunOne(FakeLineDriver& driver, TransferCase& c, uint8_t seed) {
  const bool block = IsBlock(c.kind);
  const bool write = IsWrite(c.kind);
  ValueArea area(AreaSizeFor(c.gate, block, write), seed);
  if (!block && area.size() >= 4) StoreLe16(area.data() + 2, c.value);
  area.Snapshot();
  c.gate.values = area.data();
  AddReportLineGates(c);

  area.Guard();
  const int32_t result = driver.Transfer(CommandOf(c.kind), &c.gate);
  area.Unguard();

  if (write || result != kResultDone) {
    area.CheckUnchanged(write ? "a write" : "a failed read");
  } else {
    size_t offset = 0;
    size_t length = 0;
    FUZZ_CHECK(ReadLayout(c.gate, block, &offset, &length), "a read of width %d succeeded",
               c.gate.width);
    area.CheckUnchangedOutside(offset, length, "a successful read");
  }
  if (c.kind == TransferKind::kReport && c.value >= 1 && c.value <= 16) {
    const int32_t pos = driver.instance()->ReportPos;
    FUZZ_CHECK(pos >= 0 && pos < kReportBufferSize, "ReportPos %d after a report", pos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PrepareFuzzProcess();
  FuzzInput input(data, size);
  const uint8_t settings = input.Byte();
  const int commands = 1 + input.Byte() % kMaxCommands;
  TransferCase cases[kMaxCommands];
  for (int i = 0; i < commands; ++i) cases[i] = TransferCaseFrom(input);
  ScriptFakeLine(input);

  FakeLineDriver driver(settings);
  for (int i = 0; i < commands; ++i) RunOne(driver, cases[i], static_cast<uint8_t>(size + i));
  return 0;
}
