// vpihost's gates file, value texts and command line.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "host/vpihost/gates_file.h"
#include "host/vpihost/options.h"
#include "host/vpihost/port_link.h"
#include "host/vpihost/value_format.h"

namespace {

TEST(GatesFile, ReadsGatesCommentsAndBlocks) {
  std::vector<GateEntry> gates;
  std::string error;
  ASSERT_TRUE(ParseGates("# demo\n\n0140001 int16\n  0140002\tint16 4 # block\n!R01 trigger\n", "g.txt",
                         &gates, &error))
      << error;
  ASSERT_EQ(gates.size(), 3u);
  EXPECT_EQ(gates[1].address, "0140002");
  EXPECT_EQ(gates[1].kind->gateType, 2);
  EXPECT_EQ(gates[1].blockSize, 4);
  EXPECT_EQ(gates[1].line, 4);
  EXPECT_EQ(gates[2].kind->gateType, 0);
}

TEST(GatesFile, BadLinesNameFileAndLine) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"0140001\n", "g.txt:1: gate '0140001' has no type"},
      {"# x\n0140001 word\n",
       "g.txt:2: unknown gate type 'word' (digital, int16, float, int32, text or trigger)"},
      {"0140001 int16 0\n", "g.txt:1: block size '0' is not a number from 1 to 100000"},
      {"0140001 int16 12x\n", "g.txt:1: block size '12x' is not a number from 1 to 100000"},
      {"R0101001 text 3\n", "g.txt:1: a text gate cannot be a block"},
      {"0140001 int16 3 4\n", "g.txt:1: unexpected '4' after the gate"},
      {"# nothing\n", "g.txt: no gates"},
  };
  for (const Case& c : cases) {
    std::vector<GateEntry> gates;
    std::string error;
    EXPECT_FALSE(ParseGates(c.text, "g.txt", &gates, &error)) << c.text;
    EXPECT_EQ(error, c.error);
  }
}

TEST(ValueFormat, SingleAndBlockValues) {
  const uint8_t word[4] = {0xEE, 0xEE, 0x34, 0x12};
  EXPECT_EQ(FormatValues(word, 2, 16, 0), "4660");
  const uint8_t one[4] = {0, 0, 0x80, 0x3F};
  EXPECT_EQ(FormatValues(one, 3, 32, 0), "1");
  EXPECT_EQ(FormatValues(one, 4, 32, 0), "1065353216");
  const uint8_t bits[2] = {0x05, 0x01};
  EXPECT_EQ(FormatValues(bits, 6, 1, 9), "[1, 0, 1, 0, 0, 0, 0, 0, 1]");
  const uint8_t words[4] = {1, 0, 2, 0};
  EXPECT_EQ(FormatValues(words, 2, 16, 2), "[1, 2]");
}

TEST(ValueFormat, ParsedValuesLandWhereTheDriverTakesThem) {
  uint8_t v[32] = {};
  std::string error;
  ASSERT_TRUE(ParseValue("0x1234", 2, 16, v, &error));
  EXPECT_EQ(v[2], 0x34);
  EXPECT_EQ(v[3], 0x12);
  ASSERT_TRUE(ParseValue("-2.5", 3, 32, v, &error));
  float f;
  std::memcpy(&f, v, 4);
  EXPECT_EQ(f, -2.5f);
  int32_t count = 0;
  std::memset(v, 0, sizeof v);
  ASSERT_TRUE(ParseBlockValues("7,8,9", 4, 32, v, 3, &count, &error));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(v[8], 8);  // 32-bit block writes take 8-byte cells
  EXPECT_EQ(v[16], 9);
  ASSERT_TRUE(ParseBlockValues("1,0,1", 6, 1, v, 3, &count, &error));
  EXPECT_EQ(v[0], 0x05);

  EXPECT_FALSE(ParseValue("70000", 2, 16, v, &error));
  EXPECT_FALSE(ParseValue("2", 6, 1, v, &error));
  EXPECT_FALSE(ParseValue("x", 3, 32, v, &error));
  EXPECT_FALSE(ParseBlockValues("1,2,3,4", 2, 16, v, 3, &count, &error));
  // Fewer values than the block holds would write part of it.
  EXPECT_FALSE(ParseBlockValues("1,0,1", 6, 1, v, 8, &count, &error));
  EXPECT_EQ(error, "the block holds 8 values: give 8 comma-separated values, not 3");
}

// Whole numbers in either spelling a register takes, signed or unsigned, and
// the range the refusal names.
TEST(ValueFormat, SignedAndUnsignedWholeNumbers) {
  struct Case {
    const char* text;
    int32_t gateType;
    int32_t width;
    bool ok;
    uint32_t stored;      // the 16-bit value in bytes 2-3, or the 32-bit one
    const char* refusal;  // when refused
  };
  const Case cases[] = {
      {"-5", 2, 16, true, 0xFFFB, ""},
      {"-32768", 2, 16, true, 0x8000, ""},
      {"65535", 2, 16, true, 0xFFFF, ""},
      {"-32769", 2, 16, false, 0, "'-32769' is not a whole number from -32768 to 65535"},
      {"65536", 2, 16, false, 0, "'65536' is not a whole number from -32768 to 65535"},
      {"-1", 4, 32, true, 0xFFFFFFFFu, ""},
      {"-2147483648", 4, 32, true, 0x80000000u, ""},
      {"4294967295", 4, 32, true, 0xFFFFFFFFu, ""},
      {"-2147483649", 4, 32, false, 0, "'-2147483649' is not a whole number from -2147483648 to 4294967295"},
      {"-0x10", 2, 16, true, 0xFFF0, ""},
      {"-1", 6, 1, false, 0, "'-1' is not a whole number from 0 to 1"},
      {"-", 2, 16, false, 0, "'-' is not a whole number from -32768 to 65535"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint8_t v[8] = {};
    std::string error;
    EXPECT_EQ(ParseValue(c.text, c.gateType, c.width, v, &error), c.ok);
    if (!c.ok) {
      EXPECT_EQ(error, c.refusal);
    } else if (c.width == 16) {
      EXPECT_EQ(v[2] | v[3] << 8, static_cast<int>(c.stored));
    } else {
      EXPECT_EQ(static_cast<uint32_t>(v[0] | v[1] << 8 | v[2] << 16 | static_cast<uint32_t>(v[3]) << 24),
                c.stored);
    }
  }
}

TEST(Options, CommandsArgumentsAndErrors) {
  struct Case {
    std::vector<const char*> args;
    bool ok;
    const char* command;
    const char* error;
  };
  const Case cases[] = {
      {{}, true, "poll", ""},
      {{"--port", "COM2", "write", "0140001", "-5"}, true, "write", ""},
      {{"report", "!R01", "3", "--log-level", "0"}, true, "report", ""},
      {{"write", "0140001"}, false, "", "'write' takes 2 arguments"},
      {{"frobnicate"}, false, "", "unknown command 'frobnicate'"},
      {{"--bogus"}, false, "", "unknown option --bogus"},
      // Longer than the port record: vpihost links it (see PortLink).
      {{"--port", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"}, true, "poll", ""},
      {{"--parity", "x"}, false, "", "--parity takes none, odd, even, mark or space"},
      {{"--baud", "115200"}, false, "", "--baud takes a rate from 50 to 65535 (the host's field is 16 bits)"},
      {{"--timeout"}, false, "", "--timeout needs a value"},
  };
  for (const Case& c : cases) {
    std::vector<char*> argv = {const_cast<char*>("vpihost")};
    for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
    HostOptions options;
    std::string error;
    EXPECT_EQ(ParseHostOptions(static_cast<int>(argv.size()), argv.data(), &options, &error), c.ok) << error;
    if (c.ok) {
      EXPECT_EQ(options.command, c.command);
    } else {
      EXPECT_EQ(error, c.error);
    }
  }
}

bool ParseArgs(std::vector<const char*> args, HostOptions* options, std::string* error) {
  std::vector<char*> argv = {const_cast<char*>("vpihost")};
  for (const char* a : args) argv.push_back(const_cast<char*>(a));
  return ParseHostOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

// Gates on the command line, the scan's stations and --hex.
TEST(Options, PollGatesScanRangesAndHex) {
  struct Case {
    std::vector<const char*> args;
    const char* error;  // "": taken
    std::vector<std::string> gates;
    int scanFirst;
    int scanLast;
  };
  const Case cases[] = {
      {{"poll", "0140001", "0170101:float"}, "", {"0140001", "0170101:float"}, 0, 0},
      {{"--gate", "0100001", "poll", "0140001", "--gate", "0110003:digital"},
       "",
       {"0140001", "0100001", "0110003:digital"},
       0,
       0},
      {{"--gate", "0140001", "write", "0140001", "5"}, "", {"0140001"}, 0, 0},
      {{"scan", "1-247"}, "", {}, 1, 247},
      {{"scan", "5"}, "", {}, 5, 5},
      {{"scan", "7-7", "--timeout", "3"}, "", {}, 7, 7},
      {{"scan"}, "'scan' takes the stations to ask, FIRST-LAST or one station", {}, 0, 0},
      {{"scan", "1-3", "4"}, "'scan' takes the stations to ask, FIRST-LAST or one station", {}, 0, 0},
      {{"scan", "0-3"},
       "'scan' takes stations from 1 to 247, FIRST-LAST with FIRST <= LAST, not '0-3'",
       {},
       0,
       0},
      {{"scan", "1-248"},
       "'scan' takes stations from 1 to 247, FIRST-LAST with FIRST <= LAST, not '1-248'",
       {},
       0,
       0},
      {{"scan", "9-2"},
       "'scan' takes stations from 1 to 247, FIRST-LAST with FIRST <= LAST, not '9-2'",
       {},
       0,
       0},
      {{"scan", "1-"},
       "'scan' takes stations from 1 to 247, FIRST-LAST with FIRST <= LAST, not '1-'",
       {},
       0,
       0},
      {{"--gate", "0140001", "scan", "1"}, "'scan' reads no gates (--gate)", {}, 0, 0},
      {{"--gate"}, "--gate needs a value", {}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "" : c.args.back());
    HostOptions options;
    std::string error;
    const bool ok = ParseArgs(c.args, &options, &error);
    EXPECT_EQ(ok, *c.error == '\0') << error;
    EXPECT_EQ(error, c.error);
    if (!ok) continue;
    EXPECT_EQ(options.gateArguments, c.gates);
    EXPECT_EQ(options.scanFirst, c.scanFirst);
    EXPECT_EQ(options.scanLast, c.scanLast);
  }
  HostOptions options;
  std::string error;
  ASSERT_TRUE(ParseArgs({"--hex", "--timeout", "20", "--gates", "-"}, &options, &error)) << error;
  EXPECT_TRUE(options.hex);
  EXPECT_TRUE(options.timeoutGiven);
  EXPECT_EQ(options.gatesFile, "-");
  HostOptions plain;
  ASSERT_TRUE(ParseArgs({}, &plain, &error));
  EXPECT_FALSE(plain.hex);
  EXPECT_FALSE(plain.timeoutGiven);
}

// The port line's settings, from the options that set them.
TEST(Options, LineSettingsAsThePortLineShowsThem) {
  struct Case {
    std::vector<const char*> args;
    const char* text;
  };
  const Case cases[] = {
      {{}, "9600 baud 8N1, reply timeout 1000 ms"},
      {{"--baud", "19200", "--parity", "even", "--stop-bits", "2", "--timeout", "25"},
       "19200 baud 8E2, reply timeout 250 ms"},
      {{"--baud", "1200", "--data-bits", "7", "--parity", "odd", "--stop-bits", "1.5", "--timeout", "1"},
       "1200 baud 7O1.5, reply timeout 10 ms"},
      {{"--data-bits", "5", "--parity", "M", "--timeout", "6000"}, "9600 baud 5M1, reply timeout 60000 ms"},
      {{"--data-bits", "6", "--parity", "space", "--stop-bits", "2"}, "9600 baud 6S2, reply timeout 1000 ms"},
  };
  for (const Case& c : cases) {
    HostOptions options;
    std::string error;
    ASSERT_TRUE(ParseArgs(c.args, &options, &error)) << error;
    EXPECT_EQ(LineSettingsText(options), c.text);
  }
}

TEST(Options, EveryValueOptionRefusesItsLastPlaceAndBadValues) {
  struct Case {
    const char* option;
    const char* bad;  // null: any text is taken
    const char* refusal;
  };
  const Case cases[] = {
      {"--module", nullptr, ""},
      {"--gates", nullptr, ""},
      {"--port", "", "--port takes a port name or a device path"},
      {"--baud", "49", "--baud takes a rate from 50 to 65535 (the host's field is 16 bits)"},
      {"--data-bits", "9", "--data-bits takes 5, 6, 7 or 8"},
      {"--parity", "even!", "--parity takes none, odd, even, mark or space"},
      {"--stop-bits", "3", "--stop-bits takes 1, 1.5 or 2"},
      {"--timeout", "0", "--timeout takes 1 to 6000 (units of 10 ms)"},
      {"--driver-number", "1000", "--driver-number takes 0 to 999"},
      {"--cycles", "0", "--cycles takes a count from 1"},
      {"--interval", "-1", "--interval takes milliseconds"},
      {"--log-level", "x", "--log-level takes a level (0, 8 or 32)"},
      {"--duration", "0", "--duration takes whole seconds from 1"},
      {"--duration", "1.5", "--duration takes whole seconds from 1"},
      {"--format", "xml", "--format takes table, csv or json"},
  };
  for (const Case& c : cases) {
    HostOptions options;
    std::string error;
    EXPECT_FALSE(ParseArgs({"poll", c.option}, &options, &error)) << c.option;
    EXPECT_EQ(error, std::string(c.option) + " needs a value");
    if (c.bad == nullptr) continue;
    error.clear();
    EXPECT_FALSE(ParseArgs({c.option, c.bad}, &options, &error)) << c.option;
    EXPECT_EQ(error, c.refusal);
  }
}

TEST(Options, FlagsTakeNoValueAndLandInTheirFields) {
  HostOptions options;
  std::string error;
  ASSERT_TRUE(
      ParseArgs({"-h", "--no-port", "--module", "m.so", "--gates", "g", "--data-bits", "7", "--parity", "M",
                 "--stop-bits", "1.5", "--driver-number", "0", "--cycles", "3", "--interval", "0", "info"},
                &options, &error))
      << error;
  EXPECT_TRUE(options.help);
  EXPECT_TRUE(options.noPort);
  EXPECT_EQ(options.module, "m.so");
  EXPECT_EQ(options.gatesFile, "g");
  EXPECT_EQ(options.dataBits, 7);
  EXPECT_EQ(options.parity, 3);
  EXPECT_EQ(options.stopBits, 1);
  EXPECT_EQ(options.driverNumber, 0);
  EXPECT_EQ(options.cycles, 3);
  EXPECT_EQ(options.intervalMs, 0);
  EXPECT_EQ(options.command, "info");
}

TEST(Options, PollingLimitsAndFormats) {
  struct Case {
    std::vector<const char*> args;
    int cycles;
    bool cyclesGiven;
    int duration;
    OutputFormat format;
  };
  const Case cases[] = {
      {{}, 1, false, 0, OutputFormat::kTable},
      {{"--duration", "60"}, 1, false, 60, OutputFormat::kTable},
      {{"--duration", "60", "--cycles", "5", "--format", "csv"}, 5, true, 60, OutputFormat::kCsv},
      {{"--format", "json", "--format", "table"}, 1, false, 0, OutputFormat::kTable},
      {{"--format", "json", "report", "!R01", "1"}, 1, false, 0, OutputFormat::kJson},
  };
  for (const Case& c : cases) {
    HostOptions options;
    std::string error;
    ASSERT_TRUE(ParseArgs(c.args, &options, &error)) << error;
    EXPECT_EQ(options.cycles, c.cycles);
    EXPECT_EQ(options.cyclesGiven, c.cyclesGiven);
    EXPECT_EQ(options.durationSeconds, c.duration);
    EXPECT_EQ(options.format, c.format);
  }
}

TEST(Options, UsageShowsEachOptionWithItsDefault) {
  HostOptions defaults;
  defaults.module = "mod.so";
  defaults.gatesFile = "demo.gates";
  defaults.cycles = 4;
  testing::internal::CaptureStdout();
  PrintHostUsage(defaults);
  const std::string usage = testing::internal::GetCapturedStdout();
  for (const char* line : {
           "\n  --gates FILE          the gates file (default demo.gates)\n",
           "\n  --no-port             start the instance without a serial port\n",
           "\n  --baud N              baud rate (9600)\n",
           "\n  --cycles N            poll N times (4; no limit with --duration alone); after\n"
           "                        a cycle in which a request could not be sent (the device\n"
           "                        may have gone) the port is closed and reopened; a station\n"
           "                        that does not answer leaves the port open\n",
           "\n  --module PATH         the driver module (default mod.so)\n  --help                this "
           "text\n  --version             print the version of vpihost and of the module\n\n",
       }) {
    EXPECT_NE(usage.find(line), std::string::npos) << line;
  }
}

// The link points at the path as given from the working folder, whatever
// VPI_COM_DIR held; removing it takes the folder and gives VPI_COM_DIR back.
TEST(PortLink, LinksComOneAndRestoresTheFolderSetting) {
  namespace fs = std::filesystem;
  const std::optional<std::string> before[] = {std::nullopt, std::string("/srv/ports")};
  for (const std::optional<std::string>& previous : before) {
    if (previous) {
      setenv("VPI_COM_DIR", previous->c_str(), 1);
    } else {
      unsetenv("VPI_COM_DIR");
    }
    std::string folder;
    {
      PortLink link;
      std::string error;
      ASSERT_TRUE(link.Make("serial/by-id/usb-TEST-if00-port0", &error)) << error;
      folder = link.folder();
      ASSERT_NE(std::getenv("VPI_COM_DIR"), nullptr);
      EXPECT_EQ(std::string(std::getenv("VPI_COM_DIR")), folder);
      EXPECT_EQ(fs::read_symlink(fs::path(folder) / "com1"),
                fs::current_path() / "serial/by-id/usb-TEST-if00-port0");
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder)));
    const char* after = std::getenv("VPI_COM_DIR");
    EXPECT_EQ(after != nullptr, previous.has_value());
    if (after != nullptr && previous) {
      EXPECT_EQ(std::string(after), *previous);
    }
  }
  unsetenv("VPI_COM_DIR");
}

}  // namespace
