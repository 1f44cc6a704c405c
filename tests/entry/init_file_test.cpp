// The init file: which file is read, every key, bad lines and the summary.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "entry/init_file.h"
#include "host_interface/instance.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

using namespace kovrin;

namespace {

struct Settings {
  char protocol;
  char base;
  uint16_t flags;
  uint8_t rtscts;
  uint16_t ifg;
  uint16_t ifgMs;
};

class InitFileTest : public ::testing::Test {
 protected:
  // Runs the reader the way ColdStart does: protocol and RTSCTS preset, the
  // rest of the instance holding garbage.
  Settings Read(int driverNumber = 1) {
    std::memset(&instance_, 0xCD, sizeof instance_);
    instance_.protocol = 'M';
    instance_.RTSCTS = 0;
    VpiRequest request{};
    request.instance = &instance_;
    request.driverNumber = driverNumber;
    log_.Clear();
    ReadInitFile(static_cast<VpiInstance*>(request.instance), request.driverNumber);
    return {instance_.protocol, instance_.base, instance_.flags,
            instance_.RTSCTS,   instance_.IFG,  instance_.IFG_MS};
  }

  // The summary block: six lines, and a seventh on the report-line
  // spelling in base H.
  long SummaryLines() const { return instance_.base == 'H' ? 7 : 6; }

  // The log lines written before the summary block.
  std::vector<std::string> Complaints() const {
    std::vector<std::string> texts = log_.texts();
    EXPECT_GE(texts.size(), static_cast<size_t>(SummaryLines() + 1));
    return {texts.begin() + 1, texts.end() - SummaryLines()};
  }

  std::vector<std::string> Summary() const {
    std::vector<std::string> texts = log_.texts();
    return {texts.end() - SummaryLines(), texts.end()};
  }

  TempDir dir_;
  LogCapture log_;
  VpiInstance instance_;
};

TEST_F(InitFileTest, NoFileKeepsDefaultsAndSaysSo) {
  const Settings s = Read();
  EXPECT_EQ(s.protocol, 'M');
  EXPECT_EQ(s.base, 'D');
  EXPECT_EQ(s.flags, 0);
  EXPECT_EQ(s.ifg, 0);
  EXPECT_EQ(s.ifgMs, 0);
  const std::vector<LogLine> expected = {
      {32, "KOVRIN> ColdStart() no initfile found, defaults used"},
      {32, "KOVRIN> Protocol = Modbus"},
      {32, "KOVRIN> Base = Decimal"},
      {32, "KOVRIN> Word swap of int 32bit gates = NO"},
      {32, "KOVRIN> Word swap of float gates = NO"},
      {32, "KOVRIN> Long word addres mapping = NO"},
      {32, "KOVRIN> Inter Frame Gap = 0"},
  };
  EXPECT_EQ(log_.lines(), expected);
}

TEST_F(InitFileTest, FileChoiceByDriverNumber) {
  struct Case {
    std::vector<std::string> files;
    int driverNumber;
    std::string chosen;
  };
  const Case cases[] = {
      {{"KOVRIN.INT"}, 3, "KOVRIN.INT"},
      {{"KOVRIN.INT", "KOVRIN3.INT"}, 3, "KOVRIN3.INT"},
      {{"KOVRIN.INT", "KOVRIN3.INT", "KOVRIN03.INT"}, 3, "KOVRIN03.INT"},
      {{"KOVRIN.INT", "KOVRIN12.INT"}, 12, "KOVRIN12.INT"},
      {{"KOVRIN03.INT"}, 4, ""},
  };
  for (const Case& c : cases) {
    TempDir local;
    for (const std::string& name : c.files) local.Write(name, "BUS = J , H\n");
    Read(c.driverNumber);
    const std::string first = log_.lines().front().text;
    if (c.chosen.empty()) {
      EXPECT_EQ(first, "KOVRIN> ColdStart() no initfile found, defaults used");
    } else {
      EXPECT_EQ(first, "KOVRIN> ColdStart() reading initfile '" + c.chosen + "'");
    }
  }
}

struct LineCase {
  const char* content;
  Settings expected;
  std::vector<std::string> complaints;
};

const char kSwapPairA[] = "KOVRIN> Illegal format of Int File:";

class InitFileLines : public InitFileTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(InitFileLines, ApplyAndComplain) {
  const LineCase& c = GetParam();
  dir_.Write("KOVRIN.INT", c.content);
  const Settings s = Read();
  EXPECT_EQ(s.protocol, c.expected.protocol);
  EXPECT_EQ(s.base, c.expected.base);
  EXPECT_EQ(s.flags, c.expected.flags);
  EXPECT_EQ(s.rtscts, c.expected.rtscts);
  EXPECT_EQ(s.ifg, c.expected.ifg);
  EXPECT_EQ(s.ifgMs, c.expected.ifgMs);
  EXPECT_EQ(Complaints(), c.complaints);
  for (const LogLine& line : log_.lines()) EXPECT_EQ(line.level, 32) << line.text;
}

const Settings kDefaults = {'M', 'D', 0, 0, 0, 0};

Settings With(char protocol, char base, uint16_t flags = 0, uint8_t rtscts = 0, uint16_t ifg = 0,
              uint16_t ifgMs = 0) {
  return {protocol, base, flags, rtscts, ifg, ifgMs};
}

INSTANTIATE_TEST_SUITE_P(
    Keys, InitFileLines,
    ::testing::Values(
        LineCase{"bus=j,h\n", With('J', 'H'), {}}, LineCase{"BUS = J , L\r\n", With('J', 'L'), {}},
        LineCase{"BUS = MD\n", kDefaults, {"KOVRIN> Illegal line 1 in Int File"}},
        LineCase{"BUS = X , D\n",
                 kDefaults,
                 {"KOVRIN> Illegal format of Int File! - ",
                  "KOVRIN> Default values used: Protocol=Modbus Base=Decimal"}},
        LineCase{"BUS = J , H\nBUS = X , D\n",
                 With('J', 'H'),
                 {"KOVRIN> Illegal format of Int File! - ",
                  "KOVRIN> Default values used: Protocol=Modbus Base=Decimal"}},
        LineCase{"SWAP = YES\nFLOATSWAP = yes\nLONGADDR = YES\n",
                 With('M', 'D', kFlagSwap | kFlagFloatSwap | kFlagLongAddr),
                 {}},
        LineCase{"SWAP = YES\nSWAP = NO", kDefaults, {}},
        LineCase{"SWAP = YESS\nFLOATSWAP = NOT\n", With('M', 'D', kFlagSwap), {}},
        LineCase{"SWAP = YES\nSWAP = YE",
                 kDefaults,
                 {kSwapPairA, "KOVRIN> Check for SWAP = in your int file. Assuming NO swap"}},
        LineCase{"SWAP = Y\n",
                 kDefaults,
                 {kSwapPairA, "KOVRIN> Check for SWAP = in your int file. Assuming NO swap"}},
        LineCase{"FLOATSWAP = maybe\n",
                 kDefaults,
                 {kSwapPairA, "KOVRIN> Check for FLOATSWAP = in your int file. Assuming NO swap"}},
        LineCase{"LONGADDR = X\n",
                 kDefaults,
                 {kSwapPairA, "KOVRIN> Check for LONGADDR = in your int file. Assuming NO switching"}},
        LineCase{"HEXREPORTS = YES\n", With('M', 'D', kFlagHexReports), {}},
        LineCase{"HEXREPORTS = YES\nHEXREPORTS = HEX\n",
                 kDefaults,
                 {kSwapPairA,
                  "KOVRIN> Check for HEXREPORTS = in your int file. Assuming NO hexadecimal report lines"}},
        LineCase{"RTSCTS = YES\r\n", With('M', 'D', 0, 1), {}},
        LineCase{"RTSCTS = YES\nRTSCTS = ON\n",
                 kDefaults,
                 {kSwapPairA, "KOVRIN> Check for RTSCTS = in your int file. Assuming NO switching"}},
        LineCase{"IFG = 70000\n", With('M', 'D', 0, 0, 4464), {}},
        LineCase{"IFG_MS = 0\n",
                 kDefaults,
                 {kSwapPairA, "KOVRIN> Check for IFG_MS = in your int file. Assuming IFG_MS = 0"}},
        LineCase{"IFG = 9\nIFG = 0\n",
                 With('M', 'D', 0, 0, 9),
                 {kSwapPairA, "KOVRIN> Check for IFG = in your int file. Assuming IFG = 0"}},
        LineCase{"IFG_MS = 5\r\nIFG = 9\r\n", With('M', 'D', 0, 0, 9, 5), {}},
        // A signed number would wrap round (-1 gave 65535 ms before every
        // frame): the line is illegal and the setting keeps what it held.
        LineCase{
            "IFG_MS = 5\nIFG_MS = -1\n", With('M', 'D', 0, 0, 0, 5), {"KOVRIN> Illegal line 2 in Int File"}},
        LineCase{"IFG = -5\n", kDefaults, {"KOVRIN> Illegal line 1 in Int File"}},
        LineCase{"IFG = 7\nifg =  +3\r\n", With('M', 'D', 0, 0, 3), {}},  // the plus sign of stored files
        LineCase{"IFG_MS = +5\n", With('M', 'D', 0, 0, 0, 5), {}},
        LineCase{"IFG_MS=-0\n", kDefaults, {"KOVRIN> Illegal line 1 in Int File"}},
        LineCase{"BUS = J , H\n\n  SWAP = YES\n# comment\n",
                 With('J', 'H'),
                 {"KOVRIN> Illegal line 2 in Int File", "KOVRIN> Illegal line 3 in Int File",
                  "KOVRIN> Illegal line 4 in Int File"}}));

TEST_F(InitFileTest, SummaryReflectsSettings) {
  dir_.Write("KOVRIN.INT", "BUS=J,L\nSWAP=YES\nFLOATSWAP=YES\nLONGADDR=YES\nIFG_MS=5\nIFG=9\n");
  Read();
  const std::vector<std::string> expected = {
      "KOVRIN> Protocol = J-Bus",
      "KOVRIN> Base =Long Decimal",
      "KOVRIN> Word swap of int 32bit gates = YES",
      "KOVRIN> Word swap of float gates = YES",
      "KOVRIN> Long word addres mapping = YES",
      "KOVRIN> Inter Frame Gap = 5 msec.",
  };
  EXPECT_EQ(Summary(), expected);
  dir_.Write("KOVRIN.INT", "BUS=M,H\nIFG=9\n");
  Read();
  EXPECT_EQ(Summary()[1], "KOVRIN> Base = Hexadecimal");
  EXPECT_EQ(Summary()[5], "KOVRIN> Inter Frame Gap = 9");
  EXPECT_EQ(Summary()[6], "KOVRIN> Hexadecimal report line addresses = NO");
  dir_.Write("KOVRIN.INT", "BUS=M,H\nHEXREPORTS=YES\n");
  Read();
  EXPECT_EQ(Summary()[6], "KOVRIN> Hexadecimal report line addresses = YES");
}

TEST_F(InitFileTest, LongLinesAreReadInPiecesAndCounted) {
  std::string content;
  for (int i = 0; i < 199; ++i) content += "SWAP = NO\n";
  content += "nonsense\n";                  // line 200
  content += std::string(300, 'X') + "\n";  // lines 201 and 202
  content += "BUS = J , H";                 // line 203, no line feed
  dir_.Write("KOVRIN.INT", content);
  const Settings s = Read();
  EXPECT_EQ(s.protocol, 'J');
  const std::vector<std::string> expected = {"KOVRIN> Illegal line 200 in Int File",
                                             "KOVRIN> Illegal line 201 in Int File",
                                             "KOVRIN> Illegal line 202 in Int File"};
  EXPECT_EQ(Complaints(), expected);
}

TEST_F(InitFileTest, PieceBoundaryCanStartAKey) {
  // 255 bytes of filler end the first piece; the second piece is a key line.
  dir_.Write("KOVRIN.INT", std::string(255, ' ') + "SWAP = YES\n");
  const Settings s = Read();
  EXPECT_EQ(s.flags, kFlagSwap);
  EXPECT_EQ(Complaints(), std::vector<std::string>{"KOVRIN> Illegal line 1 in Int File"});
}

TEST_F(InitFileTest, BinaryContentIsHarmless) {
  std::string content("BUS = J , H\n\0\xff\x80SWAP = YES\n", 26);
  content += std::string(1000, '\0');
  dir_.Write("KOVRIN.INT", content);
  const Settings s = Read();
  EXPECT_EQ(s.protocol, 'J');
  EXPECT_EQ(s.flags, 0);
}

// The sample shipped in the Windows package names every key and explains each
// on its own line; the driver must take it without a single complaint, with
// LF or CR LF line ends.
TEST_F(InitFileTest, ShippedSampleIsReadWithoutComplaint) {
  std::ifstream file(KOVRIN_SAMPLE_INIT_FILE, std::ios::binary);
  ASSERT_TRUE(file) << KOVRIN_SAMPLE_INIT_FILE;
  std::stringstream read;
  read << file.rdbuf();
  const std::string sample = read.str();

  std::vector<std::string> keys;
  std::istringstream lines(sample);
  for (std::string line; std::getline(lines, line);) keys.push_back(line.substr(0, line.find(' ')));
  const std::vector<std::string> everyKey = {"BUS",        "SWAP",   "FLOATSWAP", "LONGADDR",
                                             "HEXREPORTS", "RTSCTS", "IFG_MS",    "IFG"};
  EXPECT_EQ(keys, everyKey);

  std::string crlf;
  for (const char c : sample) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (const std::string& content : {sample, crlf}) {
    dir_.Write("KOVRIN.INT", content);
    const Settings s = Read();
    EXPECT_EQ(Complaints(), std::vector<std::string>{});
    EXPECT_EQ(s.protocol, 'M');
    EXPECT_EQ(s.base, 'D');
    EXPECT_EQ(s.flags, 0);
    EXPECT_EQ(s.rtscts, 0);
    EXPECT_EQ(s.ifgMs, 5);
    EXPECT_EQ(s.ifg, 1);
  }
}

// The line's own keys, ECHO and DEMOTE: what they set, what they say when
// set, and the complaint of an illegal value (which leaves the key off).
TEST_F(InitFileTest, EchoAndDemotion) {
  const std::string kPair = "KOVRIN> Illegal format of Int File:";
  const std::string kEchoNo = "KOVRIN> Check for ECHO = in your int file. Assuming NO echo";
  const std::string kDemoteNo = "KOVRIN> Check for DEMOTE = in your int file. Assuming NO demotion";
  struct Case {
    const char* content;
    uint16_t echoFlags;
    uint8_t afterSilent;
    uint16_t periodS;
    std::vector<std::string> complaints;
    std::vector<std::string> said;  // after the usual summary
  };
  const Case cases[] = {
      {"ECHO = NO\n", 0, 0, 0, {}, {}},
      {"echo = yes\r\n", kFlagEcho, 0, 0, {}, {"KOVRIN> Echo of requests = YES"}},
      {"ECHO=AUTO", kFlagEchoAuto, 0, 0, {}, {"KOVRIN> Echo of requests = AUTO"}},
      {"ECHO = YES\nECHO = NO\n", 0, 0, 0, {}, {}},
      {"ECHO = AUTO\nECHO = AUT\n", 0, 0, 0, {kPair, kEchoNo}, {}},
      {"ECHO = ON\n", 0, 0, 0, {kPair, kEchoNo}, {}},
      {"ECHO =\n", 0, 0, 0, {"KOVRIN> Illegal line 1 in Int File"}, {}},
      {"DEMOTE = 3 , 30\n",
       0,
       3,
       30,
       {},
       {"KOVRIN> Station demotion = after 3 silent transactions for 30 s"}},
      {"demote=1,3600\r\n",
       0,
       1,
       3600,
       {},
       {"KOVRIN> Station demotion = after 1 silent transactions for 3600 s"}},
      {"DEMOTE = 255 , 1\n",
       0,
       255,
       1,
       {},
       {"KOVRIN> Station demotion = after 255 silent transactions for 1 s"}},
      {"DEMOTE = 0 , 30\n", 0, 0, 0, {kPair, kDemoteNo}, {}},
      {"DEMOTE = 256 , 30\n", 0, 0, 0, {kPair, kDemoteNo}, {}},
      {"DEMOTE = 3 , 0\n", 0, 0, 0, {kPair, kDemoteNo}, {}},
      {"DEMOTE = 3 , 3601\n", 0, 0, 0, {kPair, kDemoteNo}, {}},
      {"DEMOTE = 3\n", 0, 0, 0, {kPair, kDemoteNo}, {}},
      {"DEMOTE = 3 , -5\n", 0, 0, 0, {kPair, kDemoteNo}, {}},
      // An illegal line after a legal one turns demotion off again.
      {"DEMOTE = 3 , 30\nDEMOTE = 3 , x\n", 0, 0, 0, {kPair, kDemoteNo}, {}},
      {"DEMOTE = x\n", 0, 0, 0, {"KOVRIN> Illegal line 1 in Int File"}, {}},
      {"DEMOTE = 2 , 10\nECHO = YES\n",
       kFlagEcho,
       2,
       10,
       {},
       {"KOVRIN> Echo of requests = YES", "KOVRIN> Station demotion = after 2 silent transactions for 10 s"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    dir_.Write("KOVRIN.INT", c.content);
    std::memset(&instance_, 0xCD, sizeof instance_);
    instance_.protocol = 'M';
    instance_.RTSCTS = 0;
    log_.Clear();
    const DemoteSetting demote = ReadInitFile(&instance_, 1);
    EXPECT_EQ(instance_.flags, c.echoFlags);
    EXPECT_EQ(demote.afterSilent, c.afterSilent);
    EXPECT_EQ(demote.periodS, c.periodS);
    std::vector<std::string> texts = log_.texts();
    ASSERT_GE(texts.size(), 7 + c.said.size());
    const auto summaryStart = texts.end() - 6 - static_cast<long>(c.said.size());
    EXPECT_EQ(std::vector<std::string>(texts.begin() + 1, summaryStart), c.complaints);
    EXPECT_EQ(std::vector<std::string>(texts.end() - static_cast<long>(c.said.size()), texts.end()), c.said);
    for (const LogLine& line : log_.lines()) EXPECT_EQ(line.level, 32) << line.text;
  }
}

}  // namespace
