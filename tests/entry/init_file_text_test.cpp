// The init file read as Windows reads a file in text mode (CR LF, CTRL-Z),
// and found whatever the case of its name: the Linux module must read what
// the DLL reads.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "entry/init_file.h"
#include "host_interface/instance.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

using namespace kovrin;

namespace {

struct Outcome {
  char protocol;
  char base;
  uint16_t flags;
  uint16_t ifg;
  // Lines between the file's name and the summary.
  std::vector<std::string> complaints;
};

Outcome ReadWith(LogCapture& log, int driverNumber = 1) {
  VpiInstance instance;
  std::memset(&instance, 0xCD, sizeof instance);
  instance.protocol = 'M';
  instance.RTSCTS = 0;
  VpiRequest request{};
  request.instance = &instance;
  request.driverNumber = driverNumber;
  log.Clear();
  ReadInitFile(static_cast<VpiInstance*>(request.instance), request.driverNumber);
  const std::vector<std::string> texts = log.texts();
  Outcome outcome{instance.protocol, instance.base, instance.flags, instance.IFG, {}};
  // The summary: six lines, seven in base H (the report-line spelling).
  const long summary = instance.base == 'H' ? 7 : 6;
  if (texts.size() >= static_cast<size_t>(summary + 1)) {
    outcome.complaints.assign(texts.begin() + 1, texts.end() - summary);
  }
  return outcome;
}

std::string Illegal(int line) { return "KOVRIN> Illegal line " + std::to_string(line) + " in Int File"; }

struct TextCase {
  const char* what;
  std::string content;
  char protocol;
  char base;
  uint16_t flags;
  uint16_t ifg;
  std::vector<std::string> complaints;
};

void PrintTo(const TextCase& c, std::ostream* out) { *out << c.what; }

class InitFileTextMode : public ::testing::TestWithParam<TextCase> {};

TEST_P(InitFileTextMode, ReadsAsWindowsTextMode) {
  const TextCase& c = GetParam();
  TempDir dir;
  dir.Write("KOVRIN.INT", c.content);
  LogCapture log;
  const Outcome o = ReadWith(log);
  EXPECT_EQ(o.protocol, c.protocol);
  EXPECT_EQ(o.base, c.base);
  EXPECT_EQ(o.flags, c.flags);
  EXPECT_EQ(o.ifg, c.ifg);
  EXPECT_EQ(o.complaints, c.complaints);
}

const std::string kLong254(254, 'X');
const std::string kCtrlZ("\x1a", 1);

INSTANTIATE_TEST_SUITE_P(
    Files, InitFileTextMode,
    ::testing::Values(
        TextCase{"CTRL-Z left at the end by an old editor",
                 "BUS = J , H\r\nSWAP = YES\r\n" + kCtrlZ,
                 'J',
                 'H',
                 kFlagSwap,
                 0,
                 {}},
        TextCase{"a line after a CTRL-Z is not read",
                 "SWAP = YES\r\n" + kCtrlZ + "BUS = J , H\r\nIFG = 9\r\n",
                 'M',
                 'D',
                 kFlagSwap,
                 0,
                 {}},
        TextCase{"CTRL-Z inside a line ends it and the file",
                 "IFG = 7" + kCtrlZ + "5\r\nBUS = J , H\r\n",
                 'M',
                 'D',
                 0,
                 7,
                 {}},
        TextCase{"a 254-character line ending in CR LF is one line",
                 kLong254 + "\r\n\r\nBUS = J , L\r\n",
                 'J',
                 'L',
                 0,
                 0,
                 {Illegal(1), Illegal(2)}},
        TextCase{"a 255-character line ending in CR LF is two",
                 kLong254 + "X\r\n\r\n",
                 'M',
                 'D',
                 0,
                 0,
                 {Illegal(1), Illegal(2), Illegal(3)}},
        TextCase{"a lone CR stays inside the line", "SWAP = YES\rBUS = J , H\n", 'M', 'D', kFlagSwap, 0, {}},
        TextCase{"CR CR LF leaves one CR", "\r\r\nIFG = 3\r\n", 'M', 'D', 0, 3, {Illegal(1)}},
        TextCase{"CR before CTRL-Z", "IFG = 4\r" + kCtrlZ + "\nBUS = J , H\n", 'M', 'D', 0, 4, {}},
        TextCase{"a CR as the last byte", "IFG = 6\r", 'M', 'D', 0, 6, {}},
        TextCase{"only a CTRL-Z", kCtrlZ, 'M', 'D', 0, 0, {}}));

TEST(InitFileName, IsFoundWhateverItsCase) {
  struct Case {
    std::vector<std::string> files;
    int driverNumber;
    std::string logged;  // the name the log shows, "" for none found
  };
  const Case cases[] = {
      {{"kovrin03.int"}, 3, "KOVRIN03.INT"},
      {{"Kovrin.Int"}, 5, "KOVRIN.INT"},
      {{"KOVRIN.INT", "kovrin3.INT"}, 3, "KOVRIN3.INT"},
      {{"kovrin.int.bak", "xkovrin.int"}, 1, ""},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const std::string& name : c.files) dir.Write(name, "BUS = J , H\n");
    LogCapture log;
    const Outcome o = ReadWith(log, c.driverNumber);
    const std::string first = log.texts().front();
    if (c.logged.empty()) {
      EXPECT_EQ(first, "KOVRIN> ColdStart() no initfile found, defaults used") << c.files[0];
      EXPECT_EQ(o.protocol, 'M');
    } else {
      EXPECT_EQ(first, "KOVRIN> ColdStart() reading initfile '" + c.logged + "'") << c.files[0];
      EXPECT_EQ(o.protocol, 'J') << c.files[0];
    }
  }
}

}  // namespace
