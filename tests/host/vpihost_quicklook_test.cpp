// vpihost's quick looks: gate arguments, block limits, --hex, the scan's
// pieces, refused gates' lines, the port line's settings and the help of
// each build.

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "host/vpihost/gate_arguments.h"
#include "host/vpihost/gate_refusals.h"
#include "host/vpihost/gates_file.h"
#include "host/vpihost/hex_values.h"
#include "host/vpihost/options.h"
#include "host/vpihost/scan.h"
#include "host_interface/journal.h"

namespace {

TEST(GateArguments, AddressTypeAndBlock) {
  struct Case {
    const char* text;
    const char* address;
    const char* kind;
    int32_t blockSize;
    bool typeOmitted;
  };
  const Case cases[] = {
      {"0140001", "0140001", "int16", 0, true},
      {"0170101:float", "0170101", "float", 0, false},
      {"0140002:int16:4", "0140002", "int16", 4, false},
      {"0100001:digital:2000", "0100001", "digital", 2000, false},
      {"0170101:float:62", "0170101", "float", 62, false},
      {"!R01:trigger", "!R01", "trigger", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    GateEntry gate;
    std::string error;
    ASSERT_TRUE(ParseGateArgument(c.text, 3, &gate, &error)) << error;
    EXPECT_EQ(gate.address, c.address);
    EXPECT_STREQ(gate.kind->name, c.kind);
    EXPECT_EQ(gate.blockSize, c.blockSize);
    EXPECT_EQ(gate.typeOmitted, c.typeOmitted);
    EXPECT_EQ(gate.origin, "argument 3");
  }
}

// A usage error that names the argument, then why.
TEST(GateArguments, BadOnesAreUsageErrorsNamingThem) {
  const std::pair<const char*, const char*> cases[] = {
      {"0140001:word", "unknown gate type 'word' (digital, int16, float, int32, text or trigger)"},
      {"0140001:", "unknown gate type '' (digital, int16, float, int32, text or trigger)"},
      {"0140001:int16:", "block size '' is not a number from 1 to 100000"},
      {"0140001:int16:0", "block size '0' is not a number from 1 to 100000"},
      {"0140001:int16:4:5", "block size '4:5' is not a number from 1 to 100000"},
      {"0140001:int16:126", "a block of 126 int16 values does not fit one frame (at most 125)"},
      {"R0101001:text:2", "a text gate cannot be a block"},
      {":int16", "no address (ADDR[:type[:blocksize]])"},
      {"01 40001", "an address has no blanks or '#'"},
  };
  for (const auto& [text, reason] : cases) {
    GateEntry gate;
    std::string error;
    EXPECT_FALSE(ParseGateArgument(text, 1, &gate, &error)) << text;
    EXPECT_EQ(error, "gate '" + std::string(text) + "': " + reason);
  }
}

TEST(GatesFile, BlocksLargerThanOneFrameAreTheFilesError) {
  struct Case {
    const char* text;
    const char* error;  // "": read
  };
  const Case cases[] = {
      {"0100001 digital 2000\n0140001 int16 125\n0170101 float 62\n0180201 int32 62\n", ""},
      {"0140001 int16\n0100001 digital 2001\n",
       "g.txt:2: a block of 2001 digital values does not fit one frame (at most 2000)"},
      {"0140001 int16 126\n", "g.txt:1: a block of 126 int16 values does not fit one frame (at most 125)"},
      {"0170101 float 63\n", "g.txt:1: a block of 63 float values does not fit one frame (at most 62)"},
      {"!R01 trigger 1\n", "g.txt:1: a trigger gate cannot be a block"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<GateEntry> gates;
    std::string error;
    EXPECT_EQ(ParseGates(c.text, "g.txt", &gates, &error), *c.error == '\0');
    EXPECT_EQ(error, c.error);
    if (*c.error == '\0') {
      EXPECT_EQ(gates[1].origin, "g.txt:2");
    }
  }
}

TEST(HexValues, SixteenAndThirtyTwoBitIntegersOnly) {
  struct Text {
    const char* decimal;
    int digits;
    const char* hex;
  };
  const Text texts[] = {
      {"0", 4, "0x0000"},
      {"42", 4, "0x002A"},
      {"65535", 4, "0xFFFF"},
      {"65536", 4, "65536"},
      {"123456789", 8, "0x075BCD15"},
      {"4294967295", 8, "0xFFFFFFFF"},
      {"4294967296", 8, "4294967296"},
      {"-1", 4, "-1"},
      {"21.5", 4, "21.5"},
      {"", 4, ""},
  };
  for (const Text& t : texts) EXPECT_EQ(HexValueText(t.decimal, t.digits), t.hex) << t.decimal;

  // A reading as vpihost makes it: floats are the float gates.
  const auto of = [](Reading::Kind kind, const char* type, int32_t result, std::vector<std::string> values) {
    Reading reading;
    reading.kind = kind;
    reading.type = type;
    reading.result = result;
    reading.isFloat = reading.type == "float";
    reading.values = std::move(values);
    return reading;
  };
  constexpr Reading::Kind kRead = Reading::Kind::kTransfer;
  const std::pair<Reading, std::vector<std::string>> cases[] = {
      {of(kRead, "int16", 0, {"10"}), {"0x000A"}},
      {of(kRead, "int16", 0, {"1", "2", "65535"}), {"0x0001", "0x0002", "0xFFFF"}},
      {of(kRead, "int32", 0, {"123456789"}), {"0x075BCD15"}},
      {of(kRead, "float", 0, {"21.5"}), {"21.5"}},
      {of(kRead, "digital", 0, {"1", "0"}), {"1", "0"}},
      {of(kRead, "int16", 2, {}), {}},
      {of(Reading::Kind::kText, "text", 0, {"42"}), {"42"}},
  };
  for (const auto& [reading, shown] : cases) EXPECT_EQ(WithHexValues(reading).values, shown) << reading.type;
}

// A writer that keeps what it was given.
class Kept : public ReadingsWriter {
 public:
  explicit Kept(std::vector<Reading>* readings) : readings_(readings) {}
  void BeginCycle(int, int, double) override {}
  void Write(const Reading& reading) override { readings_->push_back(reading); }
  void Note(const std::string&) override {}
  void Summary(const PollSummary&, const std::vector<GateLabel>&) override {}

 private:
  std::vector<Reading>* readings_;
};

TEST(HexValues, JsonKeepsItsNumbers) {
  struct Case {
    OutputFormat format;
    bool hex;
    const char* shown;
  };
  const Case cases[] = {
      {OutputFormat::kTable, true, "0x002A"},
      {OutputFormat::kCsv, true, "0x002A"},
      {OutputFormat::kJson, true, "42"},
      {OutputFormat::kTable, false, "42"},
  };
  for (const Case& c : cases) {
    std::vector<Reading> readings;
    const auto writer = HexWhereAsked(std::make_unique<Kept>(&readings), c.format, c.hex);
    Reading reading;
    reading.type = "int16";
    reading.values = {"42"};
    writer->Write(reading);
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_EQ(readings[0].values[0], c.shown);
  }
}

TEST(Scan, AddressesOfHoldingRegisterZeroInEveryBase) {
  struct Case {
    int station;
    std::vector<std::string> addresses;
  };
  const Case cases[] = {
      {1, {"0140001", "01400001", "0140000", "01400000"}},
      {10, {"1040001", "10400001", "0A40001", "1040000", "10400000", "0A40000"}},
      {99, {"9940001", "99400001", "6340001", "9940000", "99400000", "6340000"}},
      {100, {"6440001", "6440000"}},
      {247, {"F740001", "F740000"}},
  };
  for (const Case& c : cases) EXPECT_EQ(ScanAddresses(c.station), c.addresses) << c.station;
}

TEST(Scan, OutcomeFromTheResultAndTheDriversLines) {
  struct Case {
    int32_t result;
    std::vector<const char*> lines;
    const char* text;
    bool answered;
  };
  const Case cases[] = {
      {0, {}, "answers: holding register 0 = 42 (0x002A)", true},
      {1,
       {"KOVRIN> (MB-protocol) Illegal data address", "KOVRIN> (MB-protocol) Illegal data address"},
       "answers with exception 2 (illegal data address)",
       true},
      {2,
       {"KOVRIN> (MB-protocol) Failure in associated device"},
       "answers with exception 4 (server device failure)",
       true},
      {1, {"KOVRIN> (MB-protocol error)"}, "answers with exception (a code past 8)", true},
      // An exception, then silence: the station is there all the same.
      {2,
       {"KOVRIN> (MB-protocol) Busy, rejected message", "KOVRIN> Recieve() timeout 1 (iRead=0)"},
       "answers with exception 6 (server device busy)",
       true},
      {2,
       {"KOVRIN> Recieve() timeout 1 (iRead=0)", "KOVRIN> Recieve() timeout 1 (iRead=0)"},
       "no reply",
       false},
      {1, {"KOVRIN> DoRead() crc error, retry 1"}, "bad CRC", false},
      {2, {"KOVRIN> SEND> Unable to send message."}, "send failure", false},
      {2, {"KOVRIN> station 4 demoted, request not sent"}, "station demoted", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TransferJournal journal;
    for (const char* line : c.lines) journal.Add(line);
    const ScanOutcome outcome = ScanOutcomeOf(c.result, 42, journal);
    EXPECT_EQ(ScanOutcomeText(outcome), c.text);
    EXPECT_EQ(outcome.answered, c.answered);
  }
}

// Four reply timeouts and three requests on the wire with room each.
TEST(Scan, SilentStationBoundFollowsTimeoutAndLine) {
  HostOptions line;
  const double at9600 = SilentStationMs(10, line);
  EXPECT_GE(at9600, 4 * 100 + 3 * 8 * 10 * 1000.0 / 9600);
  EXPECT_LE(at9600, 4 * 100 + 3 * 40);
  EXPECT_NEAR(SilentStationMs(20, line) - at9600, 4 * 100, 1e-9);
  line.baud = 1200;
  line.parity = 2;
  EXPECT_NEAR(SilentStationMs(10, line) - at9600, 3 * 11.5 * (11000.0 / 1200 - 10000.0 / 9600), 1e-6);
}

// IFG_MS waits before every request, so before each of the 3 attempts.
TEST(Scan, TheInitFilesGapFromTheStartUpLines) {
  struct Case {
    std::vector<std::string> lines;
    uint32_t gapMs;
  };
  const Case cases[] = {
      {{"KOVRIN> Protocol = Modbus", "KOVRIN> Inter Frame Gap = 5 msec."}, 5},
      {{"KOVRIN> Inter Frame Gap = 65535 msec."}, 65535},
      {{"KOVRIN> Inter Frame Gap = 100"}, 0},  // a busy-wait count, no time
      {{}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(InterFrameGapMs(c.lines), c.gapMs);
  HostOptions line;
  EXPECT_NEAR(SilentStationMs(10, line, 50) - SilentStationMs(10, line), 3 * 50, 1e-9);
}

TEST(GateRefusals, EachRefusedGateWithItsOriginAndTheDriversLines) {
  GateEntry block;
  block.address = "0140002";
  block.kind = FindGateKind("int16");
  block.blockSize = 4;
  block.origin = "g.gates:7";
  GateEntry single = block;
  single.blockSize = 0;
  single.origin = "argument 2";
  const GateRefusal cases[] = {{block, {"KOVRIN> one", "KOVRIN> two"}}, {single, {}}};
  EXPECT_EQ(RefusalText(cases[0]), "g.gates:7: 0140002 int16 4: KOVRIN> one / KOVRIN> two");
  EXPECT_EQ(RefusalText(cases[1]), "argument 2: 0140002 int16: refused, the driver logged no reason");
}

// Every line of a parse is kept, whatever its level; only those at or above
// the level shown reach stderr, and only when asked.
TEST(GateRefusals, HeldLinesKeepEveryLevel) {
  std::vector<std::string> taken;
  std::string shown;
  {
    JournalTap lines(32);
    err(kLogMajor, "KOVRIN> before");
    testing::internal::CaptureStderr();
    lines.Hold();
    err(kLogDetail, "KOVRIN> Parse() illegal char #%u", 2u);
    err(kLogMajor, "KOVRIN> SingleParse() gate type should be DIGITAL");
    taken = lines.Held();
    lines.Release(true);
    lines.Hold();
    err(kLogMajor, "KOVRIN> Parse() Wrong size of gas, '%s'", "0149");
    lines.Release(false);  // a refused gate's lines are its refusal, not shown
    shown = testing::internal::GetCapturedStderr();
  }
  EXPECT_EQ(taken, (std::vector<std::string>{"KOVRIN> Parse() illegal char #2",
                                             "KOVRIN> SingleParse() gate type should be DIGITAL"}));
  EXPECT_EQ(shown, "[32] KOVRIN> SingleParse() gate type should be DIGITAL\n");
}

// The help of the Linux build and of the Windows one (no simulator, no
// links), from the same text.
TEST(Usage, EachBuildDescribesItsOwnProgram) {
  HostOptions defaults;
  defaults.module = "mod";
  defaults.gatesFile = "demo.gates";
  struct Case {
    UsageFacts facts;
    std::vector<const char*> present;
    std::vector<const char*> absent;
  };
  const Case cases[] = {
      {{true, true},
       {"Without --port it starts the built-in device simulator",
        "  --port NAME           serial port: COM1 ... (see VPI_COM_DIR), NUL or a\n"
        "                        device path; without it the built-in simulator\n",
        "  --hex                 integers (int16, int32, their blocks) in hexadecimal in\n",
        "  --gate GATE           a gate, ADDR[:type[:blocksize]], read instead of the\n",
        "  scan FIRST-LAST ", "--gates - reads it from standard input.\n"},
       {"\\\\.\\COM10", "no built-in device simulator"}},
      {{false, false},
       {"This build has no built-in device simulator: --port names the\n",
        "  --port NAME           serial port: COM1 ... COM9, \\\\.\\COM10 and above, or NUL\n"
        "                        (11 characters at most); required\n",
        "  scan FIRST-LAST "},
       {"VPI_COM_DIR", "Without --port", "the built-in simulator", "device path"}},
  };
  for (const Case& c : cases) {
    const std::string usage = HostUsageText(defaults, c.facts);
    for (const char* text : c.present) EXPECT_NE(usage.find(text), std::string::npos) << text;
    for (const char* text : c.absent) EXPECT_EQ(usage.find(text), std::string::npos) << text;
  }
}

}  // namespace
