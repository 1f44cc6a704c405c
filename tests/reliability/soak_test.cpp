// Fault soak: many transactions of every kind against the device simulator
// in its seeded random-fault mode, every fault action mixed in. Each result
// must be the one the logged fault actions give under the retry schemes
// (soak_model.h); the value area changes only on success and then holds the
// simulator's value; a write leaves the device holding the new value when
// it was carried out, the old one otherwise. Leaks show in the sanitized
// run (LeakSanitizer at exit).
//
// Among the faults, the device answers now and then late: after the reply
// timeout, within twice it. Which attempt then hears which answer depends
// on timing, so such a transaction may end in any result; but one that
// succeeds carries its own gate's data, a report its own packets, every
// request it sent is the one it meant or a retry of it, and the next
// transaction gets no late answer: its result is again the model's.
//
// The suite runs a short soak (200 transactions). The long one:
//   KOVRIN_SOAK_TRANSACTIONS=20000 build-sanitize/tests/reliability/soak_tests
// (KOVRIN_SOAK_SEED picks another fault sequence.)

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "host_interface/instance.h"
#include "entry/vpi_main.h"
#include "host/zelpro/zelpro_host.h"
#include "serial/frame.h"
#include "sim/simulator.h"
#include "tests/reliability/soak_model.h"
#include "tests/support/host_session.h"
#include "tests/support/log_capture.h"
#include "tests/support/pty_device.h"
#include "tests/support/same_record.h"
#include "tests/support/temp_dir.h"
#include "transfer/value_area.h"

using namespace kovrin;

namespace {

using sim::Area;

constexpr uint8_t kStation = 1;
constexpr int kReportLines = 110;
constexpr int kMaxMismatchesShown = 10;
// The most a request goes out in one transfer: the read scheme's counted
// attempts and its tries after wrong frames; the write scheme's attempts.
constexpr int kReadAttempts = 3 + 9;
constexpr int kWriteAttempts = 10;
// One transaction in this many begins a spell of late answers.
constexpr uint32_t kSlowSpellEvery = 24;

enum class Kind {
  kSingleRead,
  kBlockRead,
  kSingleWrite,
  kBlockWrite,
  kReport,
};
const char* const kKindNames[] = {"single read", "block read", "single write", "block write", "report"};

// A gate as the address parsers leave it.
struct GateKind {
  int32_t memoryType;
  int32_t width;
  bool withBit;
  int32_t gateType;
  int32_t blockLimit;  // within what one frame and a device take
};

const GateKind kSingleReads[] = {
    {kMemCoils, 1, false, kGateDigital, 0},           {kMemInputs, 1, false, kGateDigital, 0},
    {kMemInputRegisters, 16, false, kGateInt16, 0},   {kMemHoldingRegisters, 16, false, kGateInt16, 0},
    {kMemHoldingRegisters, 1, true, kGateDigital, 0}, {kMemLowByte, 16, false, kGateInt16, 0},
    {kMemHighByte, 16, false, kGateInt16, 0},         {kMemLowByte, 1, true, kGateDigital, 0},
    {kMemHighByte, 1, true, kGateDigital, 0},         {kMemInputFloat, 32, false, kGateFloat, 0},
    {kMemInputLong, 32, false, kGateInt32, 0},        {kMemHoldingFloat, 32, false, kGateFloat, 0},
    {kMemHoldingLong, 32, false, kGateLong, 0},
};
const GateKind kBlockReads[] = {
    {kMemCoils, 1, false, kGateDigital, 2000},        {kMemInputs, 1, false, kGateDigital, 2000},
    {kMemInputRegisters, 16, false, kGateInt16, 125}, {kMemHoldingRegisters, 16, false, kGateInt16, 125},
    {kMemLowByte, 16, false, kGateInt16, 125},        {kMemHighByte, 16, false, kGateInt16, 125},
    {kMemInputFloat, 32, false, kGateFloat, 62},      {kMemInputLong, 32, false, kGateInt32, 62},
    {kMemHoldingFloat, 32, false, kGateFloat, 62},    {kMemHoldingLong, 32, false, kGateInt32, 62},
};
const GateKind kSingleWrites[] = {
    {kMemCoils, 1, false, kGateDigital, 0},           {kMemHoldingRegisters, 16, false, kGateInt16, 0},
    {kMemHoldingRegisters, 1, true, kGateDigital, 0}, {kMemLowByte, 16, false, kGateInt16, 0},
    {kMemHighByte, 16, false, kGateInt16, 0},         {kMemLowByte, 1, true, kGateDigital, 0},
    {kMemHighByte, 1, true, kGateDigital, 0},         {kMemHoldingFloat, 32, false, kGateFloat, 0},
    {kMemHoldingLong, 32, false, kGateInt32, 0},
};
const GateKind kBlockWrites[] = {
    {kMemCoils, 1, false, kGateDigital, 1968},
    {kMemHoldingRegisters, 16, false, kGateInt16, 123},
    {kMemHoldingFloat, 32, false, kGateFloat, 30},
    {kMemHoldingLong, 32, false, kGateInt32, 30},
};

template <size_t N>
const GateKind& Pick(const GateKind (&kinds)[N], std::mt19937& rng) {
  return kinds[rng() % N];
}

Area AreaOf(int32_t memoryType) {
  switch (memoryType) {
    case kMemCoils:
      return Area::kCoil;
    case kMemInputs:
      return Area::kDiscreteInput;
    case kMemInputRegisters:
    case kMemInputFloat:
    case kMemInputLong:
      return Area::kInputRegister;
    default:
      return Area::kHoldingRegister;
  }
}

uint32_t Env(const char* name, uint32_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : fallback;
}

// Every fault action with a small probability; `heavy` makes the cheap
// ones (those that cost no reply timeout) three times as likely, so that
// transactions also run out of attempts.
std::vector<sim::RandomFault> EveryFaultAction(bool heavy) {
  const double cheap = heavy ? 3.0 : 1.0;
  auto fault = [&](sim::FaultKind kind, int value, double p, int gap = 0) {
    const bool costsTimeout = kind == sim::FaultKind::kSilent || kind == sim::FaultKind::kTruncate ||
                              (kind == sim::FaultKind::kDelay && value > kSoakReplyTimeoutMs);
    return sim::RandomFault{sim::FaultAction{kind, value, gap}, costsTimeout ? p : p * cheap};
  };
  using sim::FaultKind;
  std::vector<sim::RandomFault> faults = {
      fault(FaultKind::kSilent, 0, 0.01),        fault(FaultKind::kWrongSlave, 0, 0.03),
      fault(FaultKind::kWrongFunction, 0, 0.03), fault(FaultKind::kBadCrc, 0, 0.04),
      fault(FaultKind::kException, 1, 0.01),     fault(FaultKind::kException, 2, 0.01),
      fault(FaultKind::kException, 4, 0.01),     fault(FaultKind::kException, 6, 0.01),
      fault(FaultKind::kException, 11, 0.01),    fault(FaultKind::kTruncate, 1, 0.004),
      fault(FaultKind::kTruncate, 2, 0.004),     fault(FaultKind::kTruncate, 3, 0.004),
      fault(FaultKind::kTruncate, 7, 0.004),     fault(FaultKind::kSplit, 32, 0.02, 1),
      fault(FaultKind::kDelay, 2, 0.02),         fault(FaultKind::kGarbage, 0, 0.03),
  };
  // An answer after the reply timeout, within twice it.
  faults.push_back(fault(FaultKind::kDelay, kLateReplyMs, 0.01));
  return faults;
}

class SoakTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimulatorOptions options;
    options.stations = {kStation};
    options.line.link = (dir_.path() / "com1").string();
    simulator_ = std::make_unique<sim::Simulator>(options);
    std::string error;
    ASSERT_TRUE(simulator_->Start(&error)) << error;
    comDir_.emplace(dir_.path().string());
    if (hexBase()) dir_.Write("KOVRIN.INT", "BUS = M , H\nHEXREPORTS = YES\n");
    // ColdStart must not count on a zeroed area.
    std::memset(static_cast<void*>(&session_.instance()), 0xCD, sizeof(VpiInstance));
    // A split answer arrives well within the reply timeout, a late one after it.
    ASSERT_EQ(session_.Start("COM1", kSoakReplyTimeoutMs / 10, 19200), kResultDone);
    for (int report = 1; report <= 3; ++report) {
      for (int line = 1; line <= kReportLines; ++line) ZelHostAddGate(LineAddress(report, line).c_str());
    }
  }

  void TearDown() override {
    session_.Close();
    simulator_->Stop();
    comDir_.reset();
    ZelHostClearGates();
  }

  // Report-line addresses as the parser reads them in the instance's base.
  std::string LineAddress(int report, int line) const {
    char text[16];
    std::snprintf(text, sizeof text, hexBase() ? "R%02X%02X%03X" : "R%02d%02d%03d", kStation, report, line);
    return text;
  }
  virtual bool hexBase() const { return false; }

  std::string LineText(int report, int line) const {
    char text[128] = "";
    ZelHostGateText(LineAddress(report, line).c_str(), text, sizeof text);
    return text;
  }

  uint16_t Reg(Area area, uint32_t address) const {
    return simulator_->Get(kStation, area, static_cast<uint16_t>(address));
  }

  void Mismatch(const std::string& what) {
    ++mismatches_;
    if (mismatches_ <= kMaxMismatchesShown) ADD_FAILURE() << "transaction " << transactions_ << ": " << what;
  }

  void Expect(bool holds, const std::string& what) {
    if (!holds) Mismatch(what);
  }

  GateTransfer MakeGate(const GateKind& kind, bool block, bool write = false) {
    GateTransfer gate{};
    gate.gas = "";
    gate.plc = kStation;
    gate.memoryType = kind.memoryType;
    gate.width = kind.width;
    gate.gateType = kind.gateType;
    gate.bit = -1;
    if (kind.withBit) {
      // A high-byte gate's bits 8 to F lie outside the register: the
      // parser accepts them, the transfers refuse them without a request.
      const bool lowByte = kind.memoryType == kMemLowByte;
      gate.bit = static_cast<int32_t>(rng_() % (lowByte ? 8 : 16));
    }
    gate.count = block ? 1 + static_cast<int32_t>(rng_() % kind.blockLimit) : 1;
    // Now and then a write goes to every station (each costs the
    // broadcast turnaround delay).
    if (write && rng_() % 25 == 0) {
      gate.plc = 0;
      ++broadcasts_;
    }
    // Stored addresses: a register pair's index for 32-bit gates.
    gate.address = static_cast<int32_t>(rng_() % (kind.width == 32 ? 1000 : 2000));
    return gate;
  }

  bool OutsideHighByte(const GateTransfer& g) {
    const bool outside = g.memoryType == kMemHighByte && g.bit >= 8;
    if (outside) ++highByteRefusals_;
    return outside;
  }
  static bool Broadcast(const GateTransfer& g) { return g.plc == 0; }
  static bool NeedsPreRead(const GateTransfer& g) { return g.bit != -1 || g.memoryType > 256; }

  // The 16-bit register of a single gate, and the single value it reads.
  uint32_t ExpectedSingle(const GateTransfer& g, int32_t bit) const {
    const Area area = AreaOf(g.memoryType);
    if (g.width == 32) {
      const uint32_t high = Reg(area, 2u * g.address);
      const uint32_t low = Reg(area, 2u * g.address + 1);
      return (high << 16) | low;
    }
    const uint16_t reg = Reg(area, g.address);
    if (g.memoryType == kMemCoils || g.memoryType == kMemInputs) return reg & 1;
    if (bit != -1) return (reg >> (bit + (g.memoryType == kMemHighByte ? 8 : 0))) & 1;
    if (g.memoryType == kMemHighByte) return reg >> 8;
    if (g.memoryType == kMemLowByte) return reg & 0xFF;
    return reg;
  }

  std::vector<uint8_t> ExpectedBlock(const GateTransfer& g) const {
    const Area area = AreaOf(g.memoryType);
    std::vector<uint8_t> bytes;
    if (g.width == 1) {
      bytes.assign((g.count + 7) / 8, 0);
      for (int i = 0; i < g.count; ++i) {
        if (Reg(area, g.address + i)) bytes[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
      }
    } else if (g.width == 16) {
      for (int i = 0; i < g.count; ++i) {
        uint16_t v = Reg(area, g.address + i);
        if (g.memoryType == kMemHighByte) v = v >> 8;
        if (g.memoryType == kMemLowByte) v = v & 0xFF;
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
      }
    } else {
      for (int i = 0; i < g.count; ++i) {
        const uint32_t v = (static_cast<uint32_t>(Reg(area, 2u * g.address + 2 * i)) << 16) |
                           Reg(area, 2u * g.address + 2 * i + 1);
        for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<uint8_t>(v >> (8 * b)));
      }
    }
    return bytes;
  }

  // How many requests a transfer sends when it succeeds (besides their
  // retries): one, a pre-read and its write, or the packets of a report.
  // A late answer makes the result a matter of timing; then the log must
  // still hold only those requests, in order, each retried at most as its
  // scheme allows, and all of them when the transfer succeeded.
  void CheckAllUsed(const RequestCursor& cursor, int expected, int32_t result, const char* what,
                    size_t requestsWhenDone = 1) {
    lastResult_ = result;
    if (cursor.AnyLate()) {
      CheckLate(cursor, result, what, requestsWhenDone);
      return;
    }
    Expect(expected == result, std::string(what) + ": result " + std::to_string(result) +
                                   ", the faults give " + std::to_string(expected) + "; actions " +
                                   cursor.Describe());
    Expect(cursor.used() == cursor.size(), std::string(what) + ": " + std::to_string(cursor.size()) +
                                               " requests went out, the scheme sends " +
                                               std::to_string(cursor.used()) + "; actions " +
                                               cursor.Describe());
  }

  void CheckLate(const RequestCursor& cursor, int32_t result, const char* what, size_t requestsWhenDone) {
    ++lateTransactions_;
    if (result == kResultDone) ++lateDone_;
    const std::string actions = std::string("; actions ") + cursor.Describe();
    Expect(result == kResultDone || result == kResultFailed || result == kResultTransport,
           std::string(what) + " with a late answer: result " + std::to_string(result) + actions);
    const std::vector<RequestRun> runs = cursor.Runs();
    Expect(runs.size() <= requestsWhenDone && (result != kResultDone || runs.size() == requestsWhenDone),
           std::string(what) + " with a late answer: " + std::to_string(runs.size()) +
               " different requests, " + std::to_string(requestsWhenDone) + " when it succeeds; result " +
               std::to_string(result) + actions);
    for (size_t i = 0; i < runs.size(); ++i) {
      const uint8_t function = runs[i].frame[1];
      const bool write = function == 5 || function == 6 || function == 15 || function == 16;
      Expect(runs[i].count <= (write ? kWriteAttempts : kReadAttempts),
             std::string(what) + ": request " + std::to_string(i) + " went out " +
                 std::to_string(runs[i].count) + " times" + actions);
      // Before the last request, only reads: the pre-read or the packets.
      Expect(i + 1 == runs.size() || !write,
             std::string(what) + ": a write before request " + std::to_string(i + 1) + actions);
      if (function == kFunctionReport) {
        Expect(((runs[i].frame[4] << 8) | runs[i].frame[5]) == static_cast<int>(i),
               "report: packet " + std::to_string(i) + " not asked for in its turn" + actions);
      }
    }
  }

  void SingleRead() {
    GateTransfer g = MakeGate(Pick(kSingleReads, rng_), false);
    const int32_t bit = g.bit;
    uint8_t area[4] = {0xA1, 0xA2, 0xA3, 0xA4};
    g.values = area;
    const GateTransfer record = g;
    simulator_->ClearRequests();
    const int32_t result = session_.Call(kCmdSingleRead, &g);
    Expect(SameRecordButReserved(record, g), "a single read changed the host's record");
    if (OutsideHighByte(g)) {
      lastResult_ = result;
      Expect(result == kResultFailed && simulator_->Requests().empty(),
             "a bit 8-F of a high-byte gate was read");
      return;
    }
    RequestCursor cursor(simulator_->Requests());
    CheckAllUsed(cursor, cursor.Read(), result, "single read");
    const uint8_t untouched[4] = {0xA1, 0xA2, 0xA3, 0xA4};
    if (result != kResultDone) {
      Expect(std::memcmp(area, untouched, 4) == 0, "a failed single read changed the value area");
      return;
    }
    const uint32_t expected = ExpectedSingle(g, bit);
    if (g.width == 32) {
      Expect(LoadLe32(area) == expected, "single read of a 32-bit value: wrong value");
    } else {
      Expect(area[0] == 0xA1 && area[1] == 0xA2, "a single read wrote outside its word");
      Expect(LoadLe16(area + 2) == expected, "single read: wrong value");
    }
  }

  void BlockRead() {
    GateTransfer g = MakeGate(Pick(kBlockReads, rng_), true);
    const size_t size = g.width == 1 ? (g.count + 7) / 8 : g.count * (g.width / 8);
    std::vector<uint8_t> area(size + 8, 0xB7);
    g.values = area.data();
    simulator_->ClearRequests();
    const int32_t result = session_.Call(kCmdBlockRead, &g);
    RequestCursor cursor(simulator_->Requests());
    CheckAllUsed(cursor, cursor.Read(), result, "block read");
    for (size_t i = size; i < area.size(); ++i) Expect(area[i] == 0xB7, "a block read wrote past its block");
    if (result != kResultDone) {
      for (size_t i = 0; i < size; ++i) Expect(area[i] == 0xB7, "a failed block read changed the value area");
      return;
    }
    const std::vector<uint8_t> expected = ExpectedBlock(g);
    Expect(std::equal(expected.begin(), expected.end(), area.begin()), "block read: wrong values");
  }

  void SingleWrite() {
    const GateKind& kind = Pick(kSingleWrites, rng_);
    GateTransfer g = MakeGate(kind, false, true);
    const int32_t bit = g.bit;
    uint8_t area[4];
    const uint32_t value32 = static_cast<uint32_t>(rng_());
    StoreLe32(area, value32);
    if (kind.withBit || g.memoryType == kMemCoils) area[2] = static_cast<uint8_t>(rng_() % 2), area[3] = 0;
    const uint8_t before[4] = {area[0], area[1], area[2], area[3]};
    g.values = area;
    const Area regArea = AreaOf(g.memoryType);
    const uint32_t first = g.width == 32 ? 2u * g.address : g.address;
    const uint16_t old0 = Reg(regArea, first);
    const uint16_t old1 = Reg(regArea, first + 1);

    const GateTransfer record = g;
    simulator_->ClearRequests();
    const uint64_t handledBefore = simulator_->HandledCount();
    const int32_t result = session_.Call(kCmdSingleWrite, &g);
    if (Broadcast(g) && !NeedsPreRead(g)) simulator_->WaitForHandled(handledBefore + 1, 2000);
    Expect(SameRecordButReserved(record, g), "a single write changed the host's record");
    if (OutsideHighByte(g)) {
      lastResult_ = result;
      Expect(result == kResultFailed && simulator_->Requests().empty(),
             "a bit 8-F of a high-byte gate was written");
      Expect(Reg(regArea, first) == old0, "a refused write changed the device");
      return;
    }
    if (Broadcast(g)) {
      // Sent once, nobody answers, carried out by the device.
      lastResult_ = result;
      const std::vector<sim::LoggedRequest> sent = simulator_->Requests();
      if (!NeedsPreRead(g)) {
        Expect(result == kResultDone && sent.size() == 1 && sent[0].fate == sim::RequestFate::kBroadcast,
               "a broadcast single write: result " + std::to_string(result) + ", " +
                   std::to_string(sent.size()) + " requests");
      } else {
        Expect(result == kResultFailed && sent.empty(), "a broadcast that needs a pre-read was sent");
        return;
      }
    }
    RequestCursor cursor(simulator_->Requests());
    const bool readModifyWrite = bit != -1 || g.memoryType > 256;
    bool written = true;
    if (!Broadcast(g)) {
      int expected = 0;
      if (readModifyWrite) expected = cursor.Read();
      if (expected == 0) expected = cursor.Write();
      CheckAllUsed(cursor, expected, result, "single write", readModifyWrite ? 2 : 1);
      written = cursor.AnyLate() ? cursor.AnyWriteCarriedOut() : cursor.carriedOut();
      Expect(result != kResultDone || written, "a single write succeeded that the device did not carry out");
    }
    Expect(std::memcmp(area, before, 4) == 0, "a write changed the value area");

    const uint16_t value = LoadLe16(before + 2);
    uint16_t new0 = value;
    uint16_t new1 = old1;
    switch (g.memoryType) {
      case kMemCoils:
        new0 = value != 0 ? 1 : 0;
        break;
      case kMemLowByte:
        new0 = static_cast<uint16_t>((old0 & 0xFF00) | (value & 0xFF));
        break;
      case kMemHighByte:
        new0 = static_cast<uint16_t>(((value & 0xFF) << 8) | (old0 & 0xFF));
        break;
      case kMemHoldingFloat:
      case kMemHoldingLong:
        new0 = static_cast<uint16_t>(value32 >> 16);
        new1 = static_cast<uint16_t>(value32);
        break;
      default:
        break;
    }
    if (bit != -1) {
      const int position = bit + (g.memoryType == kMemHighByte ? 8 : 0);
      const uint16_t mask = static_cast<uint16_t>(1u << position);
      new0 = static_cast<uint16_t>((old0 & ~mask) | (value != 0 ? mask : 0));
    }
    Expect(Reg(regArea, first) == (written ? new0 : old0), "single write: the device holds the wrong value");
    Expect(Reg(regArea, first + 1) == (written ? new1 : old1), "single write touched the next register");
  }

  void BlockWrite() {
    const GateKind& kind = Pick(kBlockWrites, rng_);
    GateTransfer g = MakeGate(kind, true, true);
    const size_t size = g.width == 1 ? (g.count + 7) / 8 : g.count * (g.width == 16 ? 2 : 8);
    std::vector<uint8_t> area(size);
    for (uint8_t& b : area) b = static_cast<uint8_t>(rng_());
    const std::vector<uint8_t> before = area;
    g.values = area.data();
    const Area regArea = AreaOf(g.memoryType);
    const uint32_t first = g.width == 32 ? 2u * g.address : g.address;
    const uint32_t registers = g.width == 32 ? 2u * g.count : g.count;
    std::vector<uint16_t> old;
    for (uint32_t i = 0; i < registers; ++i) old.push_back(Reg(regArea, first + i));

    simulator_->ClearRequests();
    const uint64_t handledBefore = simulator_->HandledCount();
    const int32_t result = session_.Call(kCmdBlockWrite, &g);
    if (Broadcast(g)) simulator_->WaitForHandled(handledBefore + 1, 2000);
    RequestCursor cursor(simulator_->Requests());
    bool written = true;
    if (Broadcast(g)) {
      lastResult_ = result;
      const std::vector<sim::LoggedRequest> sent = simulator_->Requests();
      Expect(result == kResultDone && sent.size() == 1 && sent[0].fate == sim::RequestFate::kBroadcast,
             "a broadcast block write: result " + std::to_string(result) + ", " +
                 std::to_string(sent.size()) + " requests");
      // Whether the device carried it out is what it would have answered:
      // a 32-bit block's quantity counts values, which a device refuses.
      written = sent.size() == 1 && NaturalAnswerTo(sent[0].frame).exception == 0;
    } else {
      CheckAllUsed(cursor, cursor.Write(), result, "block write");
      written = cursor.AnyLate() ? cursor.AnyWriteCarriedOut() : cursor.carriedOut();
      Expect(result != kResultDone || written, "a block write succeeded that the device did not carry out");
    }
    Expect(area == before, "a block write changed the value area");
    for (uint32_t i = 0; i < registers; ++i) {
      uint16_t expected = old[i];
      if (written) {
        expected = g.width == 1 ? (before[i / 8] >> (i % 8)) & 1 : LoadLe16(before.data() + 2 * i);
      }
      Expect(Reg(regArea, first + i) == expected, "block write: the device holds the wrong value");
    }
  }

  void Report() {
    const int report = 1 + static_cast<int>(rng_() % 3);
    GateTransfer g{};
    g.gas = "!R01";
    g.plc = kStation;
    g.memoryType = kMemReport;
    g.gateType = kGateRegisterOrTrigger;
    g.width = 16;
    g.bit = -1;
    g.count = 1;
    uint8_t area[4] = {0, 0, static_cast<uint8_t>(report), 0};
    g.values = area;

    std::vector<std::string> before;
    for (int line = 1; line <= kReportLines; ++line) before.push_back(LineText(report, line));
    simulator_->ClearRequests();
    const int32_t result = session_.Call(kCmdSingleWrite, &g);
    RequestCursor cursor(simulator_->Requests());
    int expected = 0;
    // Report r of the simulator is 128 x r bytes: its CTRL-Z opens packet r.
    for (int packet = 0; packet <= report && expected == 0 && !cursor.AnyLate(); ++packet) {
      expected = cursor.Read();
      if (expected >= 0 && cursor.used() > 0) {
        const std::vector<uint8_t>& frame = cursor.LastFrame();
        Expect(frame[1] == 65 && ((frame[4] << 8) | frame[5]) == packet, "report: wrong packet requested");
      }
    }
    CheckAllUsed(cursor, expected, result, "report", static_cast<size_t>(report) + 1);
    const int32_t pos = instance_.ReportPos;
    Expect(pos >= 0 && pos < kReportBufferSize, "ReportPos left the ReportBuffer");
    if (result != kResultDone) {
      bool kept = true;
      for (int line = 1; line <= kReportLines; ++line)
        kept = kept && LineText(report, line) == before[line - 1];
      Expect(kept, "a failed report changed its lines");
      return;
    }
    const sim::ReportText served = sim::GeneratedReport(kStation, report);
    std::string gathered;
    for (int line = 1; line <= kReportLines; ++line) gathered += LineText(report, line);
    Expect(gathered == std::string(served.text.begin(), served.text.end()), "report: wrong text handed out");
  }

  void Run(uint32_t total, uint32_t seed);

  TempDir dir_;
  LogCapture log_;
  std::unique_ptr<sim::Simulator> simulator_;
  std::optional<ScopedComDir> comDir_;
  HostSession session_;
  VpiInstance& instance_ = session_.instance();
  std::mt19937 rng_;
  uint64_t transactions_ = 0;
  uint64_t mismatches_ = 0;
  uint64_t broadcasts_ = 0;
  uint64_t highByteRefusals_ = 0;
  uint64_t lateTransactions_ = 0;  // with a late answer among their requests
  uint64_t lateDone_ = 0;
  int32_t lastResult_ = 0;
};

// The soak of one instance: `total` transactions from `seed`.
void SoakTest::Run(uint32_t total, uint32_t seed) {
  rng_.seed(seed);
  simulator_->SetRandomFaults(seed, EveryFaultAction(false));

  uint64_t perKind[5] = {};
  uint64_t failed = 0;
  // Now and then the device is slow for a while: the next one to three
  // answers come late, so that an answer also goes out while the driver
  // has already moved on from the request (its own generator: the mix of
  // transactions stays that of the seed).
  std::mt19937 slowSpells(seed ^ 0x51057u);
  for (transactions_ = 0; transactions_ < total; ++transactions_) {
    if (transactions_ == total - total / 4) simulator_->SetRandomFaults(seed + 1, EveryFaultAction(true));
    if (slowSpells() % kSlowSpellEvery == 0) {
      const size_t answers = 1 + slowSpells() % 3;
      simulator_->QueueFaults(
          std::vector<sim::FaultAction>(answers, {sim::FaultKind::kDelay, kLateReplyMs, 0}));
    }
    const auto kind = static_cast<Kind>(rng_() % 20 < 1 ? 4 : rng_() % 4);
    ++perKind[static_cast<int>(kind)];
    switch (kind) {
      case Kind::kSingleRead:
        SingleRead();
        break;
      case Kind::kBlockRead:
        BlockRead();
        break;
      case Kind::kSingleWrite:
        SingleWrite();
        break;
      case Kind::kBlockWrite:
        BlockWrite();
        break;
      case Kind::kReport:
        Report();
        break;
    }
    if (lastResult_ != kResultDone) ++failed;
    Expect(instance_.writeInProgress == 0, "writeInProgress left set");
  }

  const auto actions = simulator_->ActionCounts();
  uint64_t requests = 0;
  uint64_t faults = 0;
  for (size_t i = 0; i < actions.size(); ++i) {
    requests += actions[i];
    if (i != static_cast<size_t>(sim::FaultKind::kCorrect)) faults += actions[i];
  }
  std::printf("soak (seed %u): %llu transactions", seed, static_cast<unsigned long long>(transactions_));
  for (int k = 0; k < 5; ++k)
    std::printf(", %s %llu", kKindNames[k], static_cast<unsigned long long>(perKind[k]));
  std::printf(
      " (%llu failed; %llu broadcast writes, %llu high-byte bits 8-F refused; %llu with a late answer, "
      "%llu of them done)",
      static_cast<unsigned long long>(failed), static_cast<unsigned long long>(broadcasts_),
      static_cast<unsigned long long>(highByteRefusals_), static_cast<unsigned long long>(lateTransactions_),
      static_cast<unsigned long long>(lateDone_));
  std::printf("; %llu requests, %llu faults (", static_cast<unsigned long long>(requests),
              static_cast<unsigned long long>(faults));
  for (size_t i = 1; i < actions.size(); ++i) {
    std::printf("%s%s %llu", i == 1 ? "" : ", ", sim::FaultKindName(static_cast<sim::FaultKind>(i)),
                static_cast<unsigned long long>(actions[i]));
  }
  std::printf("); mismatches: %llu\n", static_cast<unsigned long long>(mismatches_));
  EXPECT_EQ(mismatches_, 0u);
  EXPECT_GT(faults, 0u);
}

TEST_F(SoakTest, EveryKindUnderRandomFaults) {
  Run(Env("KOVRIN_SOAK_TRANSACTIONS", 200), Env("KOVRIN_SOAK_SEED", 20240611));
}

// In base H with HEXREPORTS the report text goes to report-line gates spelt
// in hexadecimal.
class HexBaseSoakTest : public SoakTest {
 protected:
  bool hexBase() const override { return true; }
};

TEST_F(HexBaseSoakTest, EveryKindUnderRandomFaults) {
  Run(Env("KOVRIN_SOAK_TRANSACTIONS", 200) / 2, Env("KOVRIN_SOAK_SEED", 20240611) + 7);
}

}  // namespace
