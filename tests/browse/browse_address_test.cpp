// BrowseAddress (command 16) driven through VpiMain with a scripted user.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "browse/tag_format_resource.h"
#include "host_interface/instance.h"
#include "entry/vpi_main.h"
#include "tests/support/dialog_script.h"
#include "tests/support/dialog_terminal_test_support.h"
#include "tests/support/host_session.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

using namespace kovrin;

namespace {

constexpr char kUntouched[] = "untouched#####";  // 15 bytes with its zero

struct Outcome {
  int32_t result;
  std::string buffer;  // the whole caller buffer, NULs shown as '|'
  std::vector<ShownMessage> messages;
  std::vector<size_t> refused;
  size_t stepsLeft;
};

std::string Shown(const char (&buffer)[sizeof kUntouched]) {
  std::string text(buffer, sizeof buffer - 1);
  for (char& c : text) c = c == '\0' ? '|' : c;
  return text;
}

// The buffer after OK composed text: its characters, the zero, the rest as
// the caller left it.
std::string Composed(const std::string& text) {
  std::string expected = text + "|";
  return expected + std::string(kUntouched).substr(expected.size());
}

Outcome Browse(std::vector<DialogStep> steps, int driverNumber = 1, void* instance = nullptr) {
  ScriptedDialogFrontEnd script(std::move(steps));
  ScopedDialogFrontEnd use(&script);
  char buffer[sizeof kUntouched];
  std::memcpy(buffer, kUntouched, sizeof buffer);
  BrowseRequest params{buffer};
  HostSession host(&VpiMain, driverNumber);
  const int32_t result = host.CallFor(instance, kCmdBrowseAddress, &params);
  return {result, Shown(buffer), script.messages(), script.refused(), script.stepsLeft()};
}

// A plain address as a user enters it; "01" is the PLC number already shown.
std::vector<DialogStep> PlainEntry(const std::string& plc, const std::string& memoryType,
                                   const std::string& address, const std::string& bit) {
  std::vector<DialogStep> steps;
  if (plc != "01") steps.push_back(TypeInto(kIdPlcNumber, plc));
  if (!memoryType.empty()) steps.push_back(ChooseItem(kIdMemoryType, memoryType));
  steps.push_back(TypeInto(kIdAddress, address));
  if (bit != "None") steps.push_back(ScrollListTo(kIdBitNumber, bit));
  return steps;
}

std::vector<DialogStep> ReportLineEntry(const std::string& plc, const std::string& report,
                                        const std::string& line) {
  return {ClickOn(kIdReportLineMode), TypeInto(kIdPlcNumber, plc), TypeInto(kIdReportNumber, report),
          TypeInto(kIdLineNumber, line)};
}

std::vector<DialogStep> Then(std::vector<DialogStep> steps, std::vector<DialogStep> more) {
  for (DialogStep& step : more) steps.push_back(std::move(step));
  return steps;
}

std::vector<DialogStep> Ok(std::vector<DialogStep> steps) { return Then(std::move(steps), {ClickOn(IDOK)}); }

class BrowseAddressTest : public ::testing::Test {
 protected:
  // A fresh directory whose init file sets the base ('D' needs none).
  static void UseBase(const TempDir& dir, char base) {
    if (base != 'D') dir.Write("KOVRIN.INT", std::string("BUS = M , ") + base + "\n");
  }

  TempDir dir_;
  LogCapture log_;
};

struct CompositionCase {
  const char* name;
  char base;
  std::vector<DialogStep> steps;  // OK is pressed after them
  const char* expected;
};

TEST_F(BrowseAddressTest, ComposesEachFormInEachBase) {
  const std::vector<CompositionCase> cases = {
      {"D plain", 'D', PlainEntry("01", "4", "0010", "None"), "0140010"},
      {"D bit 3", 'D', PlainEntry("01", "4", "0010", "3"), "01400103"},
      {"D coils", 'D', PlainEntry("47", "0", "9999", "None"), "4709999"},
      {"D 32-bit", 'D', PlainEntry("12", "8", "0002", "None"), "1280002"},
      {"L plain", 'L', PlainEntry("01", "4", "00010", "None"), "01400010"},
      {"L bit F", 'L', PlainEntry("01", "4", "00010", "F"), "01400010F"},
      {"H letters typed small", 'H', PlainEntry("1a", "7", "00ff", "A"), "1A700FFA"},
      {"H plain", 'H', PlainEntry("FF", "3", "FFFF", "None"), "FF3FFFF"},
      {"D report line", 'D', ReportLineEntry("01", "16", "110"), "R0116110"},
      {"D report line low", 'D', ReportLineEntry("99", "01", "001"), "R9901001"},
      {"H report line", 'H', ReportLineEntry("01", "10", "06E"), "R011006E"},
      {"L report line", 'L', ReportLineEntry("07", "05", "100"), "R0705100"},
      {"D trigger, plain fields empty",
       'D',
       {ClickOn(kIdReportTriggerMode), TypeInto(kIdPlcNumber, "05")},
       "!R05"},
      {"H trigger", 'H', {ClickOn(kIdReportTriggerMode), TypeInto(kIdPlcNumber, "fe")}, "!RFE"},
      {"trigger ignores filled plain fields", 'D',
       Then(PlainEntry("01", "4", "bad", "3"), {ClickOn(kIdReportTriggerMode)}), "!R01"},
      {"report line after trigger off", 'D',
       Then({ClickOn(kIdReportTriggerMode), ClickOn(kIdReportTriggerMode)},
            ReportLineEntry("02", "03", "004")),
       "R0203004"},
      {"plain after report line off", 'D',
       Then({ClickOn(kIdReportLineMode), ClickOn(kIdReportLineMode)}, PlainEntry("01", "6", "1234", "None")),
       "0161234"},
      {"PLC from the arrows", 'D',
       Then({ArrowUp(kIdPlcArrows), ArrowUp(kIdPlcArrows)}, PlainEntry("01", "1", "0001", "None")),
       "0310001"},
      // The bit is the item scrolled to the top of the one-row list.
      {"bit by scrolling", 'D',
       Then(PlainEntry("01", "4", "0010", "None"),
            {ScrollList(kIdBitNumber, 4), ScrollList(kIdBitNumber, -1)}),
       "01400102"},
      {"bit scrolled past the end", 'D',
       Then(PlainEntry("01", "4", "0010", "None"), {ScrollList(kIdBitNumber, 40)}), "0140010F"},
      {"bit scrolled back to None", 'D',
       Then(PlainEntry("01", "4", "0010", "7"), {ScrollList(kIdBitNumber, -40)}), "0140010"},
  };
  for (const CompositionCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    UseBase(dir, c.base);
    const Outcome outcome = Browse(Ok(c.steps));
    EXPECT_EQ(outcome.result, kResultDone);
    EXPECT_EQ(outcome.buffer, Composed(c.expected));
    EXPECT_TRUE(outcome.messages.empty());
    EXPECT_TRUE(outcome.refused.empty());
    EXPECT_EQ(outcome.stepsLeft, 0u);
  }
}

struct RefusalCase {
  char base;
  std::vector<DialogStep> steps;  // OK is pressed after them
  const char* message;
};

TEST_F(BrowseAddressTest, EveryCheckShowsItsMessageAndKeepsTheDialogOpen) {
  const std::vector<RefusalCase> cases = {
      {'D', PlainEntry("01", "", "0010", "None"), "missing value!"},
      {'D', PlainEntry("01", "4", "", "None"), "missing value!"},
      {'D', PlainEntry("", "4", "0010", "None"), "missing value!"},
      {'D', PlainEntry("01", "4", "00010", "None"), "Wrong address! (4 decimal digits)"},
      {'D', PlainEntry("01", "4", "001", "None"), "Wrong address! (4 decimal digits)"},
      {'D', PlainEntry("01", "4", "00A1", "None"), "Wrong address! (4 decimal digits)"},
      {'H', PlainEntry("01", "4", "0G10", "None"), "Wrong address! (4 hexadecimal digits)"},
      {'H', PlainEntry("01", "4", "00FFF", "None"), "Wrong address! (4 hexadecimal digits)"},
      {'L', PlainEntry("01", "4", "0010", "None"), "Wrong address! (5 decimal digits)"},
      {'L', PlainEntry("01", "4", "000100", "None"), "Wrong address! (5 decimal digits)"},
      {'L', PlainEntry("01", "4", "00010000", "None"), "Wrong address! (5 decimal digits)"},
      {'D', PlainEntry("1", "4", "0010", "None"), "Wrong PLC number! (2 decimal digits)"},
      {'D', PlainEntry("123", "4", "0010", "None"), "Wrong PLC number! (2 decimal digits)"},
      {'D', PlainEntry("1A", "4", "0010", "None"), "Wrong PLC number! (2 decimal digits)"},
      {'L', PlainEntry("AB", "4", "00010", "None"), "Wrong PLC number! (2 decimal digits)"},
      {'H', PlainEntry("1G", "4", "0010", "None"), "Wrong PLC number! (2 hexadecimal digits)"},
      // The address is checked before the PLC number.
      {'D', PlainEntry("1", "4", "10", "None"), "Wrong address! (4 decimal digits)"},
      {'D', ReportLineEntry("01", "", "001"), "missing value!"},
      {'D', ReportLineEntry("01", "01", ""), "missing value!"},
      {'D', ReportLineEntry("", "01", "001"), "missing value!"},
      {'D', ReportLineEntry("01", "17", "001"), "Report number must be from 1 to 16"},
      {'D', ReportLineEntry("01", "00", "001"), "Report number must be from 1 to 16"},
      {'L', ReportLineEntry("01", "17", "001"), "Report number must be from 1 to 16"},
      {'D', ReportLineEntry("01", "1", "001"), "Wrong Report number! (2 decimal digits)"},
      {'D', ReportLineEntry("01", "0A", "001"), "Wrong Report number! (2 decimal digits)"},
      {'H', ReportLineEntry("01", "11", "001"), "Report number must be from 1 to 10 hexadecimal"},
      {'H', ReportLineEntry("01", "1G", "001"), "Wrong Report number! (2 hexadecimal digits)"},
      {'D', ReportLineEntry("01", "01", "111"), "Line number must be from1 to 110"},
      {'D', ReportLineEntry("01", "01", "000"), "Line number must be from1 to 110"},
      {'D', ReportLineEntry("01", "01", "11"), "Wrong Line number! (3 decimal digits)"},
      {'D', ReportLineEntry("01", "01", "0110"), "Wrong Line number! (3 decimal digits)"},
      {'H', ReportLineEntry("01", "01", "06F"), "Line number must be from 1 to 6E hexadecimal"},
      {'H', ReportLineEntry("01", "01", "6E"), "Wrong Line number! (3 hexadecimal digits)"},
      // PLC, then report, then line.
      {'D', ReportLineEntry("1", "17", "999"), "Wrong PLC number! (2 decimal digits)"},
      {'D', ReportLineEntry("01", "17", "999"), "Report number must be from 1 to 16"},
      {'D',
       {ClickOn(kIdReportTriggerMode), TypeInto(kIdPlcNumber, "")},
       "Wrong PLC number! (2 decimal digits)"},
      {'H',
       {ClickOn(kIdReportTriggerMode), TypeInto(kIdPlcNumber, "XY")},
       "Wrong PLC number! (2 hexadecimal digits)"},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(std::string(1, c.base) + ": " + c.message);
    TempDir dir;
    UseBase(dir, c.base);
    // Still open after the message: the user can look, then cancels.
    bool stillOpen = false;
    const Outcome outcome = Browse(
        Then(Ok(c.steps), {LookAt([&](const DialogSession&) { stillOpen = true; }), ClickOn(IDCANCEL)}));
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(outcome.result, kResultCancelled);
    EXPECT_EQ(outcome.buffer, Shown(reinterpret_cast<const char(&)[sizeof kUntouched]>(kUntouched)));
    EXPECT_EQ(outcome.messages, (std::vector<ShownMessage>{{"Error", c.message}}));
    EXPECT_EQ(outcome.stepsLeft, 0u);
    EXPECT_TRUE(outcome.refused.empty());
  }
}

TEST_F(BrowseAddressTest, EntriesStayAfterAMessageAndCanBeCorrected) {
  std::string addressAfter;
  const Outcome outcome = Browse(
      Ok(Then(Ok(PlainEntry("01", "4", "00100", "5")),
              {LookAt([&](const DialogSession& dialog) {
                 addressAfter = dialog.Text(kIdAddress);
                 EXPECT_EQ(dialog.Text(kIdMemoryType), "4: Holding Registers (only for Modicon PLC's)");
                 EXPECT_EQ(dialog.Items(kIdBitNumber).at(dialog.TopIndex(kIdBitNumber)), "5");
               }),
               TypeInto(kIdAddress, "0100")})));
  EXPECT_EQ(addressAfter, "00100");
  EXPECT_EQ(outcome.messages, (std::vector<ShownMessage>{{"Error", "Wrong address! (4 decimal digits)"}}));
  EXPECT_EQ(outcome.result, kResultDone);
  EXPECT_EQ(outcome.buffer, Composed("01401005"));
}

struct ArrowCase {
  char base;
  const char* typed;  // null: leave the "01" shown at start
  bool up;
  const char* shown;
};

TEST_F(BrowseAddressTest, PlcArrowsCountWithinTheBase) {
  const std::vector<ArrowCase> cases = {
      {'D', nullptr, true, "02"},
      {'D', nullptr, false, "01"},
      {'D', "98", true, "99"},
      {'D', "99", true, "99"},
      {'D', "10", false, "09"},
      {'D', "00", true, "01"},
      {'D', "00", false, "01"},
      {'D', "X", true, "02"},
      {'D', "X", false, "01"},
      {'D', "", true, "02"},
      {'D', "1A", true, "02"},
      {'D', "5", true, "06"},
      // Only the first two characters are read.
      {'D', "123", true, "13"},
      {'L', "99", true, "99"},
      {'L', "AB", false, "01"},
      {'H', "FE", true, "FF"},
      {'H', "FF", true, "FF"},
      {'H', "09", true, "0A"},
      {'H', "0f", true, "10"},
      {'H', "10", false, "0F"},
      {'H', "99", true, "9A"},
      {'H', "01", false, "01"},
      {'H', "G", true, "02"},
      {'H', "zz", false, "01"},
  };
  for (const ArrowCase& c : cases) {
    SCOPED_TRACE(std::string(1, c.base) + " '" + (c.typed ? c.typed : "01") + (c.up ? "' up" : "' down"));
    TempDir dir;
    UseBase(dir, c.base);
    std::string shown;
    std::vector<DialogStep> steps;
    if (c.typed != nullptr) steps.push_back(TypeInto(kIdPlcNumber, c.typed));
    steps.push_back(c.up ? ArrowUp(kIdPlcArrows) : ArrowDown(kIdPlcArrows));
    steps.push_back(LookAt([&](const DialogSession& dialog) { shown = dialog.Text(kIdPlcNumber); }));
    const Outcome outcome = Browse(std::move(steps));
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(outcome.result, kResultCancelled);
    EXPECT_TRUE(outcome.messages.empty());
  }
}

// Enabled state of every control the modes touch, as one string: upper case
// for enabled, lower case for disabled.
std::string Enabling(const DialogSession& dialog) {
  static const std::map<int, char> kLetters = {
      {kIdMemoryType, 'm'},   {kIdMemoryTypeLabel, 'n'}, {kIdAddress, 'a'},
      {kIdAddressLabel, 'b'}, {kIdBitNumber, 'x'},       {kIdBitNumberLabel, 'y'},
      {kIdReportNumber, 'r'}, {kIdLineNumber, 'l'},      {kIdReportLabel, 's'},
      {kIdLineLabel, 'k'},    {kIdReportLineMode, 'q'},  {kIdReportTriggerMode, 't'},
      {kIdPlcNumber, 'p'},    {kIdPlcArrows, 'u'},       {IDOK, 'o'},
      {IDCANCEL, 'c'},
  };
  std::string text;
  for (const auto& [id, letter] : kLetters) {
    text += dialog.IsEnabled(id) ? static_cast<char>(letter - 'a' + 'A') : letter;
  }
  return text;
}

TEST_F(BrowseAddressTest, CheckBoxesSwitchTheFields) {
  std::vector<std::string> seen;
  auto look = LookAt([&](const DialogSession& dialog) {
    seen.push_back(Enabling(dialog) + (dialog.IsChecked(kIdReportLineMode) ? "+" : "-") +
                   (dialog.IsChecked(kIdReportTriggerMode) ? "+" : "-"));
  });
  const std::vector<DialogStep> steps = {
      look,
      ClickOn(kIdReportLineMode),
      look,
      ClickOn(kIdReportTriggerMode),   // refused: disabled in report-line mode
      ChooseItem(kIdMemoryType, "4"),  // refused
      TypeInto(kIdAddress, "0010"),    // refused
      ScrollList(kIdBitNumber, 1),     // refused
      ClickOn(kIdReportLineMode),
      look,
      ClickOn(kIdReportTriggerMode),
      look,
      ClickOn(kIdReportLineMode),       // refused
      TypeInto(kIdReportNumber, "01"),  // refused: still disabled
      ClickOn(kIdReportTriggerMode),
      look,
  };
  // Sorted by id: m=1006 a=1007 x=1022 u=1036 p=1037 r=1044 l=1045 s=1048
  // k=1049 q=1051 t=1052 n=1054 y=1055 b=1058, then OK and Cancel first.
  const std::string plain = "OCMAXUPrlskQTNYB--";
  const Outcome outcome = Browse(steps);
  EXPECT_EQ(seen, (std::vector<std::string>{
                      plain,
                      "OCmaxUPRLSKQtnyb+-",  // report-line mode
                      plain,
                      "OCmaxUPrlskqTnyb-+",  // report-trigger mode
                      plain,
                  }));
  EXPECT_EQ(outcome.refused, (std::vector<size_t>{3, 4, 5, 6, 11, 12}));
  EXPECT_EQ(outcome.result, kResultCancelled);
}

TEST_F(BrowseAddressTest, OpensWithItsItemsAndThePlcNumberOne) {
  const Outcome outcome = Browse({LookAt([](const DialogSession& dialog) {
    EXPECT_STREQ(dialog.dialogTemplate().caption, "Tag Format");
    EXPECT_EQ(dialog.Items(kIdBitNumber),
              (std::vector<std::string>{"None", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "B",
                                        "C", "D", "E", "F"}));
    EXPECT_EQ(dialog.TopIndex(kIdBitNumber), 0);
    EXPECT_EQ(
        dialog.Items(kIdMemoryType),
        (std::vector<std::string>{
            "0: Coils (only for Modicon PLC's)", "1: Inputs (only for Modicon PLC's)",
            "3: Input Registers (only for Modicon PLC's)", "4: Holding Registers (only for Modicon PLC's)",
            "5: Input Registers (32 bits floating point)", "6: Input Registers (32 bits unsigned long)",
            "7: Holding Registers (32 bits floating point)",
            "8: Holding Registers (32 bits unsigned long)"}));
    EXPECT_EQ(dialog.Selection(kIdMemoryType), -1);
    EXPECT_EQ(dialog.Text(kIdPlcNumber), "01");
    EXPECT_FALSE(dialog.IsChecked(kIdReportLineMode));
    EXPECT_FALSE(dialog.IsChecked(kIdReportTriggerMode));
  })});
  EXPECT_EQ(outcome.result, kResultCancelled);
}

TEST_F(BrowseAddressTest, EveryWayOutButOkLeavesTheBufferUntouched) {
  const std::vector<std::vector<DialogStep>> ways = {
      {ClickOn(IDCANCEL)},
      {PressEscape()},
      {},  // the user goes away
      Then(PlainEntry("01", "4", "0010", "3"), {ClickOn(IDCANCEL)}),
      Then(ReportLineEntry("01", "16", "110"), {PressEscape()}),
      Then(Ok(PlainEntry("01", "4", "1", "None")), {PressEscape()}),
  };
  for (size_t i = 0; i < ways.size(); ++i) {
    SCOPED_TRACE(i);
    const Outcome outcome = Browse(ways[i]);
    EXPECT_EQ(outcome.result, kResultCancelled);
    EXPECT_EQ(outcome.buffer, Shown(reinterpret_cast<const char(&)[sizeof kUntouched]>(kUntouched)));
    EXPECT_EQ(outcome.stepsLeft, 0u);
  }
}

TEST_F(BrowseAddressTest, EachDialogOpensInPlainMode) {
  const Outcome first = Browse(Ok(ReportLineEntry("01", "02", "003")));
  EXPECT_EQ(first.buffer, Composed("R0102003"));

  const Outcome cancelled = Browse({ClickOn(kIdReportTriggerMode), ClickOn(IDCANCEL)});
  EXPECT_EQ(cancelled.result, kResultCancelled);

  bool plainAtStart = false;
  const Outcome second = Browse(Ok(Then({LookAt([&](const DialogSession& dialog) {
                                          plainAtStart = !dialog.IsChecked(kIdReportLineMode) &&
                                                         !dialog.IsChecked(kIdReportTriggerMode) &&
                                                         dialog.IsEnabled(kIdMemoryType) &&
                                                         !dialog.IsEnabled(kIdReportNumber);
                                        })},
                                        PlainEntry("01", "4", "0010", "None"))));
  EXPECT_TRUE(plainAtStart);
  EXPECT_EQ(second.result, kResultDone);
  EXPECT_EQ(second.buffer, Composed("0140010"));
}

TEST_F(BrowseAddressTest, ReadsTheBaseFromTheInstancesInitFileOnAScratchInstance) {
  dir_.Write("KOVRIN03.INT", "BUS = J , L\nRTSCTS = YES\n");
  dir_.Write("KOVRIN.INT", "BUS = M , H\n");
  VpiInstance host;
  std::memset(&host, 0xCD, sizeof host);
  VpiInstance before = host;

  const Outcome outcome = Browse(Ok(PlainEntry("01", "4", "00010", "None")), 3, &host);
  EXPECT_EQ(outcome.buffer, Composed("01400010"));
  EXPECT_EQ(std::memcmp(&host, &before, sizeof host), 0);
  EXPECT_TRUE(log_.Contains("KOVRIN> ColdStart() reading initfile 'KOVRIN03.INT'"));
  EXPECT_TRUE(log_.Contains("KOVRIN> Protocol = J-Bus"));
  EXPECT_TRUE(log_.Contains("KOVRIN> Base =Long Decimal"));

  log_.Clear();
  const Outcome shared = Browse(Ok(PlainEntry("0a", "4", "00af", "None")), 4);
  EXPECT_EQ(shared.buffer, Composed("0A400AF"));
  EXPECT_TRUE(log_.Contains("KOVRIN> Base = Hexadecimal"));
}

TEST_F(BrowseAddressTest, WithoutABufferNoDialogIsShown) {
  ScriptedDialogFrontEnd script({ClickOn(IDOK)});
  ScopedDialogFrontEnd use(&script);
  BrowseRequest params{nullptr};
  HostSession host(&VpiMain, 0);
  EXPECT_EQ(host.CallFor(nullptr, kCmdBrowseAddress, &params), kResultCancelled);
  EXPECT_EQ(script.stepsLeft(), 1u);
}

int BrowseWithNobodyThere() {
  char buffer[sizeof kUntouched];
  std::memcpy(buffer, kUntouched, sizeof buffer);
  BrowseRequest params{buffer};
  HostSession host(&VpiMain, 0);
  const int32_t result = host.CallFor(nullptr, kCmdBrowseAddress, &params);
  if (std::memcmp(buffer, kUntouched, sizeof buffer) != 0) return 100;
  // A message box has nobody to show it to either.
  if (MessageBoxA(nullptr, "text", "Error", MB_OK) != 0) return 101;
  return result;
}

TEST_F(BrowseAddressTest, WithoutTerminalOrScriptTheDialogCannotBeShown) {
  EXPECT_EQ(RunWithoutTerminal(&BrowseWithNobodyThere), kResultCancelled);
}

}  // namespace

namespace {

// The dialog exists once for the module: a second one asked for while it is
// open (here from inside the first, as another line's thread may) is refused
// with a log line and an untouched buffer, and the first goes on.
TEST_F(BrowseAddressTest, ASecondDialogWhileOneIsOpenIsRefused) {
  Outcome second{};
  const Outcome first =
      Browse(Ok(Then(PlainEntry("01", "4", "0010", "None"), {LookAt([&](const DialogSession&) {
                       char buffer[sizeof kUntouched];
                       std::memcpy(buffer, kUntouched, sizeof buffer);
                       BrowseRequest params{buffer};
                       HostSession other(&VpiMain, 2);
                       second.result = other.CallFor(nullptr, kCmdBrowseAddress, &params);
                       second.buffer = Shown(buffer);
                     })})));
  EXPECT_EQ(second.result, kResultCancelled);
  EXPECT_EQ(second.buffer, Shown(kUntouched));
  EXPECT_TRUE(log_.Contains("KOVRIN> BrowseAddress() the address dialog is open already"));
  EXPECT_EQ(first.result, kResultDone);
  EXPECT_EQ(first.buffer, Composed("0140010"));
  EXPECT_EQ(Browse(Ok(PlainEntry("01", "4", "0011", "None"))).result, kResultDone)
      << "the dialog is free again";
}

}  // namespace
