#include "fuzz/driver_harness.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_check.h"
#include "fuzz/scratch_directory.h"
#include "host/zelpro/zelpro_host.h"
#include "tests/support/fake_line.h"
#include "serial/crc16.h"
#include "transfer/station_health.h"

using namespace kovrin;

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KOVRIN_FUZZ_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KOVRIN_FUZZ_ASAN 1
#endif
#ifdef KOVRIN_FUZZ_ASAN
#include <sanitizer/asan_interface.h>
#define POISON(at, size) ASAN_POISON_MEMORY_REGION(at, size)
#define UNPOISON(at, size) ASAN_UNPOISON_MEMORY_REGION(at, size)
#else
#define POISON(at, size) ((void)(at), (void)(size))
#define UNPOISON(at, size) ((void)(at), (void)(size))
#endif

namespace {

constexpr int32_t kFuzzDriverNumber = 77;

void DiscardLog(int, const char*, void*) {}

}  // namespace

void PrepareFuzzProcess() {
  static bool prepared = false;
  if (prepared) return;
  prepared = true;
  ZelHostSetLogSink(DiscardLog, nullptr);
  EnterScratchDirectory();
}

FakeLineDriver::FakeLineDriver(uint8_t settings) {
  session_ = std::make_unique<FakeLineSession>(kFuzzDriverNumber);
  instance_ = &session_->instance();
  started_ = session_->StartOnFakeLine() == kResultDone;
  FUZZ_CHECK(started_, "ColdStart on the fake line failed");
  instance_->protocol = (settings & kFuzzJbus) ? 'J' : 'M';
  instance_->base = (settings & kFuzzHexBase) ? 'H' : 'D';
  uint16_t flags = 0;
  if (settings & kFuzzSwap) flags |= kFlagSwap;
  if (settings & kFuzzFloatSwap) flags |= kFlagFloatSwap;
  if (settings & kFuzzLongAddr) flags |= kFlagLongAddr;
  // The settings byte is full: base H shares the busy-wait gap's bit for
  // the hexadecimal report-line spelling, so both spellings are fuzzed.
  if ((settings & kFuzzHexBase) && (settings & kFuzzGapBusy)) flags |= kFlagHexReports;
  // Likewise the millisecond gap, which outweighs the busy wait, turns on
  // the echo's learning with it; and J-BUS with RTS switching the demotion
  // of a station after one silent transaction.
  if ((settings & kFuzzGapMs) && (settings & kFuzzGapBusy)) flags |= kFlagEchoAuto;
  if ((settings & kFuzzJbus) && (settings & kFuzzRtsCts) &&
      kovrin::ConfigureStations(instance_, kovrin::DemoteSetting{1, 1})) {
    flags |= kFlagStationWatch;
  }
  instance_->flags = flags;
  instance_->RTSCTS = (settings & kFuzzRtsCts) ? 1 : 0;
  instance_->IFG_MS = (settings & kFuzzGapMs) ? 3 : 0;  // sleeps are skipped
  instance_->IFG = (settings & kFuzzGapBusy) ? 1 : 0;
}

FakeLineDriver::~FakeLineDriver() {
  if (started_) {
    FUZZ_CHECK(Call(kCmdCloseCom, nullptr) == kResultDone, "CloseCom failed");
    FUZZ_CHECK(!FakeLineIsOpen(), "CloseCom left the line open");
  }
  session_.reset();  // removes the line
}

int32_t FakeLineDriver::Transfer(uint32_t command, GateTransfer* gate) {
  const int before = FakeLineRequestCount();
  const int32_t result = Call(command, gate);
  FUZZ_CHECK(result == kResultDone || result == kResultFailed || result == kResultTransport,
             "command %u gave %d", command, result);
  FUZZ_CHECK(instance_->writeInProgress == 0, "command %u left writeInProgress %u", command,
             instance_->writeInProgress);
  const FakeLineStrayLate stray = FakeLineStrayLateBytes();
  FUZZ_CHECK(stray.bytes == 0, "%d bytes of the late reply to request %d reached request %d, another one",
             stray.bytes, stray.reply, stray.request);
  if (FakeLineRequestCount() != before) {
    const uint8_t* request = nullptr;
    const size_t length = FakeLineLastRequest(&request);
    FUZZ_CHECK(length >= 4 && length <= static_cast<size_t>(kFrameBufferSize),
               "a request of %zu bytes went out", length);
    FUZZ_CHECK(Crc16(request, length) == 0, "a request went out with a wrong CRC");
  }
  return result;
}

ValueArea::ValueArea(size_t size, uint8_t seed) : size_(size) {
  block_ = new uint8_t[size + 2 * kCanary];
  before_ = new uint8_t[size + 1];
  std::memset(block_, kCanaryByte, kCanary);
  std::memset(block_ + kCanary + size, kCanaryByte, kCanary);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    data()[i] = static_cast<uint8_t>(x >> 16);
  }
  Snapshot();
}

ValueArea::~ValueArea() {
  delete[] block_;
  delete[] before_;
}

void ValueArea::Snapshot() { std::memcpy(before_, data(), size_); }

void ValueArea::Guard() {
  POISON(block_, kCanary);
  POISON(block_ + kCanary + size_, kCanary);
}

void ValueArea::Unguard() {
  UNPOISON(block_, kCanary);
  UNPOISON(block_ + kCanary + size_, kCanary);
  for (size_t i = 0; i < kCanary; ++i) {
    FUZZ_CHECK(block_[i] == kCanaryByte, "the byte %zu before the value area changed", kCanary - i);
    FUZZ_CHECK(block_[kCanary + size_ + i] == kCanaryByte, "the byte %zu after the value area changed", i);
  }
}

void ValueArea::CheckUnchanged(const char* what) const { CheckUnchangedOutside(0, 0, what); }

void ValueArea::CheckUnchangedOutside(size_t offset, size_t length, const char* what) const {
  for (size_t i = 0; i < size_; ++i) {
    if (i >= offset && i < offset + length) continue;
    FUZZ_CHECK(block_[kCanary + i] == before_[i], "%s: value area byte %zu changed", what, i);
  }
}

bool ReadLayout(const GateTransfer& gate, bool block, size_t* offset, size_t* length) {
  const int64_t count = gate.count > 0 ? gate.count : 0;
  *offset = 0;
  switch (gate.width) {
    case 1:
      if (!block) *offset = 2;
      *length = block ? static_cast<size_t>((count + 7) / 8) : 2;
      return true;
    case 16:
      if (!block) *offset = 2;
      *length = block ? static_cast<size_t>(count * 2) : 2;
      return true;
    case 32:
      *length = block ? static_cast<size_t>(count * 4) : 4;
      return true;
    default:
      *length = 0;
      return false;
  }
}

size_t AreaSizeFor(const GateTransfer& gate, bool block, bool write) {
  if (!block) return 4;
  const int64_t count = gate.count > 0 ? (gate.count < 4096 ? gate.count : 4096) : 0;
  switch (gate.width) {
    case 1:
      return static_cast<size_t>((count + 7) / 8);
    case 16:
      return static_cast<size_t>(count * 2);
    case 32:
      return static_cast<size_t>(count * (write ? 8 : 4));
    default:
      return 0;
  }
}
