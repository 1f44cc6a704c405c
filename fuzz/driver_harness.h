// What the transfer fuzz targets share: a driver instance started through
// VpiMain on the fake line, a value area with canaries, and the invariants
// every command must keep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "host_interface/host_records.h"
#include "host_interface/instance.h"
#include "tests/support/fake_line_session.h"

// Once per process: the host log goes nowhere (its lines are still
// formatted), and the current directory is a fresh empty one, so that no
// init file is found.
void PrepareFuzzProcess();

// Option bits of the settings byte the targets take from their input.
enum FuzzSettings : uint8_t {
  kFuzzSwap = 1,
  kFuzzFloatSwap = 2,
  kFuzzLongAddr = 4,
  kFuzzJbus = 8,
  kFuzzRtsCts = 16,
  kFuzzGapMs = 32,
  kFuzzGapBusy = 64,
  kFuzzHexBase = 128,
};

class FakeLineDriver {
 public:
  // The instance is started on the fake line (which must be scripted
  // already) and given the settings.
  explicit FakeLineDriver(uint8_t settings);
  ~FakeLineDriver();
  FakeLineDriver(const FakeLineDriver&) = delete;
  FakeLineDriver& operator=(const FakeLineDriver&) = delete;

  bool started() const { return started_; }
  VpiInstance* instance() { return &session_->instance(); }
  int32_t Call(uint32_t command, void* params) { return session_->Call(command, params); }
  // Runs a transfer command and checks what holds after every command:
  // a known result, no write left in progress, a well-formed last request,
  // and no late reply that reached a read while another request was out.
  int32_t Transfer(uint32_t command, GateTransfer* gate);

 private:
  std::unique_ptr<FakeLineSession> session_;
  VpiInstance* instance_;
  bool started_ = false;
};

// A value area of `size` bytes between two canaries (poisoned while a
// command runs when AddressSanitizer is there), filled from seed.
class ValueArea {
 public:
  ValueArea(size_t size, uint8_t seed);
  ~ValueArea();
  ValueArea(const ValueArea&) = delete;
  ValueArea& operator=(const ValueArea&) = delete;

  uint8_t* data() { return block_ + kCanary; }
  size_t size() const { return size_; }
  // Remembers the content; Guard poisons the canaries, Unguard checks them.
  void Snapshot();
  void Guard();
  void Unguard();
  // Every byte as at the snapshot, or every byte outside [offset, offset+length).
  void CheckUnchanged(const char* what) const;
  void CheckUnchangedOutside(size_t offset, size_t length, const char* what) const;

 private:
  static constexpr size_t kCanary = 16;
  static constexpr uint8_t kCanaryByte = 0xA5;
  uint8_t* block_;
  uint8_t* before_;
  size_t size_;
};

// The bytes of the value area a successful read stores, as [offset, offset
// + length); gives false for a width that names none.
bool ReadLayout(const GateTransfer& gate, bool block, size_t* offset, size_t* length);
// The bytes a host hands over for a write or read of this gate.
size_t AreaSizeFor(const GateTransfer& gate, bool block, bool write);
