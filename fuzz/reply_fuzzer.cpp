// The reply side of every transaction: arbitrary bytes arriving on the line,
// in arbitrary chunks, with timeouts and late (after the attempt's read
// timeout, into the next attempt or the wait for a quiet line, or a tail
// left for a later request), for every read kind, block size, write kind
// and report packet, through the real VpiMain commands.
//
// Input: a settings byte, a command count, that many transfer records, then
// the line script (fuzz/line_script.h). Checked for every command: a known
// result, no write left in progress, well-formed requests, a value area that
// a failed read leaves untouched and a successful one changes only where its
// layout names, canaries intact, ReportPos inside ReportBuffer, the host's
// record unchanged, no request for a bit 8-F of a high-byte gate, a
// broadcast write (station 0) sent at most once, every report-line gate
// (spelt in the instance's base) served by a successful report, and no
// late reply read while another request than its own is out.

#include <cstdint>

#include "address/report_address.h"
#include "fuzz/driver_harness.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/line_script.h"
#include "fuzz/transfer_gate.h"
#include "host/zelpro/zelpro_host.h"
#include "tests/support/fake_line.h"
#include "tests/support/same_record.h"
#include "transfer/value_area.h"

using namespace kovrin;

namespace {

constexpr int kMaxCommands = 3;

// Report-line gates for lines 1 to reportLineGates, spelt as the
// distribution looks them up: hexadecimal in base H with HEXREPORTS.
void AddReportLineGates(const TransferCase& c, bool hex) {
  ZelHostClearGates();
  if (c.kind != TransferKind::kReport) return;
  for (int line = 1; line <= c.reportLineGates; ++line) {
    char address[kReportLineLength + 1];
    SpellReportLineAddress(address, c.gate.plc, c.value, line, hex);
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
  AddReportLineGates(c, driver.instance()->base == 'H' && (driver.instance()->flags & kFlagHexReports) != 0);
  const GateTransfer record = c.gate;
  const int requestsBefore = FakeLineRequestCount();
  const int putsBefore = ZelHostPutCount();

  area.Guard();
  const int32_t result = driver.Transfer(CommandOf(c.kind), &c.gate);
  area.Unguard();

  FUZZ_CHECK(SameRecordWithReserved(record, c.gate), "the host's record changed");
  const int requests = FakeLineRequestCount() - requestsBefore;
  if (c.gate.memoryType == kMemHighByte && c.gate.bit >= 8 && !block) {
    FUZZ_CHECK(requests == 0 && result == kResultFailed, "a bit %d of a high-byte gate: %d requests",
               c.gate.bit, requests);
  }
  if ((c.kind == TransferKind::kSingleWrite || c.kind == TransferKind::kBlockWrite) &&
      static_cast<uint8_t>(c.gate.plc) == 0) {
    FUZZ_CHECK(requests <= 1, "a broadcast write went out %d times", requests);
    FUZZ_CHECK(result != kResultDone || requests == 1, "a broadcast write succeeded unsent");
  }
  if (write || result != kResultDone) {
    area.CheckUnchanged(write ? "a write" : "a failed read");
  } else {
    size_t offset = 0;
    size_t length = 0;
    FUZZ_CHECK(ReadLayout(c.gate, block, &offset, &length), "a read of width %d succeeded", c.gate.width);
    area.CheckUnchangedOutside(offset, length, "a successful read");
  }
  if (c.kind == TransferKind::kReport && c.value >= 1 && c.value <= 16) {
    const int32_t pos = driver.instance()->ReportPos;
    FUZZ_CHECK(pos >= 0 && pos < kReportBufferSize, "ReportPos %d after a report", pos);
    // Every existing report-line gate of the report takes a piece or the
    // empty text, in either base.
    if (result == kResultDone) {
      FUZZ_CHECK(ZelHostPutCount() - putsBefore == c.reportLineGates, "%d of %d report lines served",
                 ZelHostPutCount() - putsBefore, c.reportLineGates);
    }
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
