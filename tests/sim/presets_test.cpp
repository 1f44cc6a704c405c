// Presets from the command line and value files, and rtusim's options.

#include "sim/presets.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <regex>

#include "sim/rtusim_options.h"
#include "tests/support/temp_dir.h"

namespace {

using sim::Area;

struct PresetCase {
  const char* text;
  int station;
  Area area;
  uint16_t address;
  std::vector<uint16_t> values;
};

const PresetCase kPresetCases[] = {
    {"hr:100=1234", 0, Area::kHoldingRegister, 100, {1234}},
    {"3:ir:0x10=0xBEEF,-1,65535", 3, Area::kInputRegister, 16, {0xBEEF, 0xFFFF, 0xFFFF}},
    {"coil:7=1,0,1", 0, Area::kCoil, 7, {1, 0, 1}},
    {"247:input:65535=1", 247, Area::kDiscreteInput, 65535, {1}},
    {"hr:200=float:3.5", 0, Area::kHoldingRegister, 200, {0x4060, 0x0000}},
    {"hr:200=float-swap:3.5", 0, Area::kHoldingRegister, 200, {0x0000, 0x4060}},
    {"hr:0=ulong:0x12345678,ulong-swap:0x12345678",
     0,
     Area::kHoldingRegister,
     0,
     {0x1234, 0x5678, 0x5678, 0x1234}},
    {"ir:5=ulong:-1,7", 0, Area::kInputRegister, 5, {0xFFFF, 0xFFFF, 7}},
    {" hr : 1 = float:-2.0 ", 0, Area::kHoldingRegister, 1, {0xC000, 0x0000}},
};

void PrintTo(const PresetCase& c, std::ostream* os) { *os << c.text; }

class PresetTextTest : public ::testing::TestWithParam<PresetCase> {};

TEST_P(PresetTextTest, Parses) {
  const PresetCase& c = GetParam();
  sim::Presets presets;
  std::string error;
  ASSERT_TRUE(sim::ParsePreset(c.text, "", &presets, &error)) << error;
  ASSERT_EQ(presets.values.size(), 1u);
  const sim::ValuePreset& v = presets.values[0];
  EXPECT_EQ(v.station, c.station);
  EXPECT_EQ(v.area, c.area);
  EXPECT_EQ(v.address, c.address);
  EXPECT_EQ(v.values, c.values);
}

INSTANTIATE_TEST_SUITE_P(Assignments, PresetTextTest, ::testing::ValuesIn(kPresetCases));

TEST(PresetTextTest, RejectsBadAssignments) {
  for (const char* bad :
       {"hr:100", "xx:1=1", "hr:65536=1", "hr:65535=1,2", "hr:65535=float:1", "0:hr:1=1", "248:hr:1=1",
        "coil:1=2", "coil:1=float:1", "hr:1=65536", "hr:1=-32769", "hr:1=double:1", "hr:1=float:abc",
        "report:17=empty", "report:1=loud", "report:1=file:/no/such/file", "1:2:3:4=5"}) {
    sim::Presets presets;
    std::string error;
    EXPECT_FALSE(sim::ParsePreset(bad, "", &presets, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(PresetTextTest, StationLists) {
  std::vector<uint8_t> stations;
  std::string error;
  ASSERT_TRUE(sim::ParseStationList("3,1-2,2,247", &stations, &error)) << error;
  EXPECT_EQ(stations, (std::vector<uint8_t>{3, 1, 2, 247}));
  for (const char* bad : {"", "0", "248", "5-3", "1,,2", "a"}) {
    EXPECT_FALSE(sim::ParseStationList(bad, &stations, &error)) << bad;
  }
}

TEST(ValueFileTest, AppliesToTheNamedStationsWithReportsRelativeToTheFile) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "conf");
  dir.Write("conf/daily.txt", std::string("LINE 1\r\nLINE 2\0END", 18));
  dir.Write("conf/values.txt",
            "# presets\n"
            "\n"
            "2:hr:10=7\n"
            "  coil:0=0   \n"
            "report:3=file:daily.txt\n"
            "2:report:4=raw:daily.txt\n"
            "1:report:5=empty\n");
  sim::Presets presets;
  std::string error;
  ASSERT_TRUE(sim::LoadValueFile((dir.path() / "conf/values.txt").string(), &presets, &error)) << error;
  sim::Station one(1), two(2);
  sim::ApplyPresets(presets, one);
  sim::ApplyPresets(presets, two);
  EXPECT_EQ(one.Get(Area::kHoldingRegister, 10), 10);
  EXPECT_EQ(two.Get(Area::kHoldingRegister, 10), 7);
  EXPECT_EQ(one.Get(Area::kCoil, 0), 0);
  EXPECT_EQ(two.Get(Area::kCoil, 0), 0);
  EXPECT_EQ(one.Report(3).text.size(), 18u);
  EXPECT_TRUE(one.Report(3).endMark);
  EXPECT_FALSE(two.Report(4).endMark);
  EXPECT_EQ(one.Report(4).text, sim::GeneratedReport(1, 4).text);
  EXPECT_TRUE(one.Report(5).text.empty());
  EXPECT_EQ(two.Report(5).text.size(), 5u * 128);
}

TEST(ValueFileTest, NamesTheBadLine) {
  TempDir dir;
  dir.Write("v.txt", "hr:1=1\nhr:2=oops\n");
  sim::Presets presets;
  std::string error;
  EXPECT_FALSE(sim::LoadValueFile((dir.path() / "v.txt").string(), &presets, &error));
  EXPECT_NE(error.find("v.txt:2:"), std::string::npos) << error;
  EXPECT_FALSE(sim::LoadValueFile((dir.path() / "none.txt").string(), &presets, &error));
}

// rtusim --------------------------------------------------------------------

bool Parse(std::vector<const char*> args, sim::RtusimOptions* options, std::string* error) {
  args.insert(args.begin(), "rtusim");
  return sim::ParseRtusimArguments(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(RtusimOptionsTest, ReadsEveryOption) {
  sim::RtusimOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--device",
                     "/dev/ttyUSB0",
                     "--link=/tmp/com1",
                     "--baud",
                     "19200",
                     "--parity",
                     "E",
                     "--stop-bits",
                     "1",
                     "--emulate-timing",
                     "--idle",
                     "30",
                     "--stations",
                     "1,5",
                     "--set",
                     "5:hr:1=2",
                     "--report",
                     "5:2=empty",
                     "--report",
                     "3=exact80",
                     "--faults",
                     "silent*2",
                     "--random-faults",
                     "bad-crc=0.5",
                     "--seed",
                     "9",
                     "--trace"},
                    &o, &error))
      << error;
  EXPECT_EQ(o.simulator.line.device, "/dev/ttyUSB0");
  EXPECT_EQ(o.simulator.line.link, "/tmp/com1");
  EXPECT_EQ(o.simulator.line.baud, 19200);
  EXPECT_EQ(o.simulator.line.parity, 'E');
  EXPECT_EQ(o.simulator.timing.baud, 19200);
  EXPECT_EQ(o.simulator.timing.bitsPerCharacter, 11);
  EXPECT_EQ(o.simulator.idleMs, 30);
  EXPECT_EQ(o.simulator.stations, (std::vector<uint8_t>{1, 5}));
  ASSERT_EQ(o.simulator.presets.values.size(), 1u);
  ASSERT_EQ(o.simulator.presets.reports.size(), 2u);
  EXPECT_EQ(o.simulator.presets.reports[0].station, 5);
  EXPECT_EQ(o.simulator.presets.reports[0].number, 2);
  EXPECT_EQ(o.simulator.presets.reports[1].station, 0);
  EXPECT_EQ(o.simulator.presets.reports[1].text.text.size(), 80u);
  EXPECT_EQ(o.script.size(), 2u);
  EXPECT_EQ(o.random.size(), 1u);
  EXPECT_EQ(o.seed, 9u);
  EXPECT_TRUE(o.trace);
}

TEST(RtusimOptionsTest, DefaultsAndRefusals) {
  sim::RtusimOptions o;
  std::string error;
  ASSERT_TRUE(Parse({}, &o, &error));
  EXPECT_TRUE(o.simulator.line.device.empty());
  EXPECT_EQ(o.simulator.stations, (std::vector<uint8_t>{1}));
  EXPECT_FALSE(o.simulator.timing.enabled());
  ASSERT_TRUE(Parse({"--emulate-timing", "--stop-bits", "2"}, &o, &error));
  EXPECT_EQ(o.simulator.timing.baud, 9600);
  EXPECT_EQ(o.simulator.timing.bitsPerCharacter, 11);
  for (std::vector<const char*> bad : std::vector<std::vector<const char*>>{{"--baud"},
                                                                            {"--baud", "fast"},
                                                                            {"--parity", "X"},
                                                                            {"--stop-bits", "3"},
                                                                            {"--stations", "0"},
                                                                            {"--faults", "nope"},
                                                                            {"--seed", "-1"},
                                                                            {"--bogus"},
                                                                            {"--values", "/no/such/file"}}) {
    EXPECT_FALSE(Parse(bad, &o, &error)) << bad[0];
    EXPECT_FALSE(error.empty());
  }
}

TEST(RtusimOptionsTest, HelpDocumentsEveryOption) {
  const std::string help = sim::RtusimHelp();
  for (const char* option : {"--device", "--link", "--baud", "--parity", "--stop-bits", "--emulate-timing",
                             "--idle", "--stations", "--set", "--values", "--report", "--faults",
                             "--random-faults", "--seed", "--silent", "--echo", "--trace", "--help"}) {
    EXPECT_NE(help.find(std::string("  ") + option), std::string::npos) << option;
  }
  for (const char* action : {"correct", "silent", "wrong-slave", "wrong-function", "bad-crc",
                             "exception:", "truncate:", "split:", "delay:", "garbage"}) {
    EXPECT_NE(help.find(std::string("    ") + action), std::string::npos) << action;
  }
}

TEST(RtusimOptionsTest, ValuesComeAttachedOrNextAndAreRequired) {
  const char* const valueOptions[] = {"--device", "--link",          "--baud", "--parity", "--stop-bits",
                                      "--idle",   "--stations",      "--set",  "--values", "--report",
                                      "--faults", "--random-faults", "--seed", "--silent", "--echo"};
  for (const char* option : valueOptions) {
    sim::RtusimOptions o;
    std::string error;
    EXPECT_FALSE(Parse({"--trace", option}, &o, &error)) << option;
    EXPECT_EQ(error, std::string(option) + " needs a value");
  }
  struct Case {
    std::vector<const char*> args;
    const char* error;  // empty: accepted
  };
  const Case cases[] = {
      {{"--seed=7"}, ""},
      {{"--seed", "7"}, ""},
      {{"--trace=yes", "-h"}, ""},
      {{"--seed=x"}, "bad --seed x"},
      {{"--baud", "fast"}, "bad --baud fast"},
      {{"--idle=0"}, "bad --idle 0"},
      {{"--parity=X"}, "bad --parity X (N, E or O)"},
      {{"--stop-bits", "3"}, "bad --stop-bits 3 (1 or 2)"},
      {{"--bogus=1"}, "unknown option --bogus=1 (see --help)"},
      {{"-x"}, "unknown option -x (see --help)"},
  };
  for (const Case& c : cases) {
    sim::RtusimOptions o;
    std::string error;
    EXPECT_EQ(Parse(c.args, &o, &error), *c.error == '\0') << c.args[0];
    EXPECT_EQ(error, c.error) << c.args[0];
  }
  sim::RtusimOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--seed=7", "--trace=yes", "-h", "--strict-framing", "--loose-framing"}, &o, &error));
  EXPECT_EQ(o.seed, 7u);
  EXPECT_TRUE(o.trace);
  EXPECT_TRUE(o.help);
  EXPECT_FALSE(o.simulator.framing.baud > 0);
}

TEST(RtusimOptionsTest, HelpTextsStartAtOneColumn) {
  const std::string help = sim::RtusimHelp();
  size_t options = 0;
  size_t start = 0;
  while (start < help.size()) {
    size_t end = help.find('\n', start);
    if (end == std::string::npos) end = help.size();
    const std::string line = help.substr(start, end - start);
    start = end + 1;
    if (line.rfind("  --", 0) != 0 || line.rfind("  --report ", 0) == 0) continue;
    ++options;
    ASSERT_GT(line.size(), 24u) << line;
    EXPECT_EQ(line.substr(22, 2), "  ") << line;
    EXPECT_NE(line[24], ' ') << line;
  }
  EXPECT_EQ(options, 20u);
  EXPECT_NE(help.find("\n  --report [S:]N=SOURCE   report N (1..16) of station S (default: every station)\n"
                      "\n  Preset pattern:"),
            std::string::npos);
  EXPECT_NE(help.find("\n  --help                this text\n  --version             print the version\n\nThe "
                      "first line printed is "),
            std::string::npos);
}

TEST(RtusimOptionsTest, SilentWindowsAndEcho) {
  const double kForEver = std::numeric_limits<double>::infinity();
  struct Accepted {
    std::vector<const char*> args;
    std::vector<sim::SilentWindow> windows;
    sim::EchoMode echo;
  };
  const Accepted accepted[] = {
      {{}, {}, sim::EchoMode::kNone},
      {{"--silent", "5:2:12.5"}, {{5, 2, 12.5}}, sim::EchoMode::kNone},
      {{"--silent=5:0:"}, {{5, 0, kForEver}}, sim::EchoMode::kNone},
      {{"--silent", "1:0:0.25", "--silent", "247:3:4"}, {{1, 0, 0.25}, {247, 3, 4}}, sim::EchoMode::kNone},
      {{"--echo", "full"}, {}, sim::EchoMode::kFull},
      {{"--echo", "corrupt", "--silent", "2:1:2"}, {{2, 1, 2}}, sim::EchoMode::kCorrupt},
      {{"--echo", "full", "--echo", "none"}, {}, sim::EchoMode::kNone},
  };
  for (const Accepted& c : accepted) {
    sim::RtusimOptions o;
    std::string error;
    ASSERT_TRUE(Parse(c.args, &o, &error)) << error;
    ASSERT_EQ(o.simulator.silent.size(), c.windows.size()) << c.args.size();
    for (size_t i = 0; i < c.windows.size(); ++i) {
      EXPECT_EQ(o.simulator.silent[i].station, c.windows[i].station);
      EXPECT_EQ(o.simulator.silent[i].from, c.windows[i].from);
      EXPECT_EQ(o.simulator.silent[i].to, c.windows[i].to);
    }
    EXPECT_EQ(o.simulator.echo, c.echo);
  }
  const struct {
    const char* option;
    const char* value;
    const char* error;
  } refused[] = {
      {"--silent", "0:1:2", "bad --silent 0:1:2: the station is not 1 to 247"},
      {"--silent", "x:1:2", "bad --silent x:1:2: the station is not 1 to 247"},
      {"--silent", "5:3:2", "bad --silent 5:3:2: TO is not after FROM"},
      {"--silent", "5:1:-inf", "bad --silent 5:1:-inf: TO is not after FROM"},
      {"--silent", "5:-1:2", "bad --silent 5:-1:2: FROM is not a number of seconds"},
      {"--silent", "5:inf:", "bad --silent 5:inf:: FROM is not a number of seconds"},
      {"--silent", "5:nan:2", "bad --silent 5:nan:2: FROM is not a number of seconds"},
      {"--silent", "5:1:later", "bad --silent 5:1:later: TO is not a number of seconds or inf"},
      {"--silent", "5:1:nan", "bad --silent 5:1:nan: TO is not a number of seconds or inf"},
      {"--silent", "5:1", "bad --silent 5:1 (STATION:FROM:TO, e.g. 5:2:12.5)"},
      {"--echo", "half", "bad --echo half (full, partial, corrupt or none)"},
      {"--echo", "FULL", "bad --echo FULL (full, partial, corrupt or none)"},
  };
  for (const auto& c : refused) {
    sim::RtusimOptions o;
    std::string error;
    EXPECT_FALSE(Parse({c.option, c.value}, &o, &error)) << c.value;
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
