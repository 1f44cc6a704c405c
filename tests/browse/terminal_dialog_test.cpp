// The tag format dialog on a terminal: a user at a pseudo-terminal composes
// an address through the interactive front end.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "entry/vpi_main.h"
#include "tests/support/dialog_terminal_test_support.h"
#include "tests/support/host_session.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kPatience = 20000;                    // ms; generous for a busy machine
constexpr char kPrompt[] = "\"esc\" cancels.\n> ";  // the end of each form

int BrowseAtTheTerminal() {
  char buffer[16] = "untouched";
  BrowseRequest params{buffer};
  HostSession host(&VpiMain, 0);
  const int32_t result = host.CallFor(nullptr, kCmdBrowseAddress, &params);
  std::printf("RESULT=%d GAS=%s\n", static_cast<int>(result), buffer);
  return 0;
}

class TerminalDialogTest : public ::testing::Test {
 protected:
  // Sends one line once the terminal shows what should come before it.
  ::testing::AssertionResult Answer(const std::string& shown, const std::string& line) {
    if (!child_.WaitFor(shown, kPatience)) {
      return ::testing::AssertionFailure() << "waiting for '" << shown << "' in:\n" << child_.output();
    }
    if (!child_.Send(line + "\n")) return ::testing::AssertionFailure() << "could not type '" << line << "'";
    return ::testing::AssertionSuccess();
  }

  int Finish() { return child_.Wait(kPatience); }

  TempDir dir_;
  PseudoTerminalChild child_{&BrowseAtTheTerminal};
};

TEST_F(TerminalDialogTest, UserComposesAnAddress) {
  ASSERT_TRUE(child_.started());
  ASSERT_TRUE(Answer(kPrompt, "5"));  // OK with nothing chosen
  ASSERT_TRUE(Answer("*** Error: missing value!", ""));
  ASSERT_TRUE(Answer(kPrompt, "2"));
  ASSERT_TRUE(Answer("Memory type (the item or its first characters): ", "4"));
  ASSERT_TRUE(Answer("Memory type .......... 4: Holding Registers", "3 0010"));
  ASSERT_TRUE(Answer("Address .............. [0010]", "4 3"));
  ASSERT_TRUE(Answer("Bit number ........... [3]", "7 up"));
  ASSERT_TRUE(Answer("PLC number ........... [02]", "7"));
  ASSERT_TRUE(Answer("PLC number arrows (up or down): ", "down"));
  ASSERT_TRUE(Answer("PLC number ........... [01]", "8 07"));
  ASSERT_TRUE(Answer("Report is disabled.", "5"));
  ASSERT_TRUE(child_.WaitFor("RESULT=0 GAS=01400103", kPatience)) << child_.output();
  EXPECT_EQ(Finish(), 0);

  // The form names every field by its label.
  for (const char* label :
       {"  1  PLC number ........... [01]\n", "  2  Memory type .......... (none chosen)\n",
        "  3  Address .............. []\n", "  4  Bit number ........... [None]\n", "  5  OK\n",
        "  6  Cancel\n", "  7  PLC number arrows .... up / down\n",
        "  8  Report ............... []  (disabled)\n", "  9  Line ................. []  (disabled)\n",
        " 10  String Based Request\n", " 11  Report Based Request\n"}) {
    EXPECT_NE(child_.output().find(label), std::string::npos) << label << "\n" << child_.output();
  }
}

TEST_F(TerminalDialogTest, ReportLineModeAtTheTerminal) {
  ASSERT_TRUE(child_.started());
  ASSERT_TRUE(Answer(kPrompt, "10"));
  ASSERT_TRUE(Answer(kPrompt, "8 16"));
  ASSERT_TRUE(Answer("Report ............... [16]", "9 111"));
  ASSERT_TRUE(Answer("Line ................. [111]", "5"));
  ASSERT_TRUE(Answer("*** Error: Line number must be from1 to 110", ""));
  ASSERT_TRUE(Answer(kPrompt, "9 110"));
  ASSERT_TRUE(Answer("Line ................. [110]", "5"));
  ASSERT_TRUE(child_.WaitFor("RESULT=0 GAS=R0116110", kPatience)) << child_.output();
  EXPECT_EQ(Finish(), 0);
}

TEST_F(TerminalDialogTest, EscapeCancels) {
  ASSERT_TRUE(child_.started());
  ASSERT_TRUE(Answer(kPrompt, "3 0010"));
  ASSERT_TRUE(Answer("[0010]", "\x1b"));
  ASSERT_TRUE(child_.WaitFor("RESULT=53 GAS=untouched", kPatience)) << child_.output();
  EXPECT_EQ(Finish(), 0);
}

TEST_F(TerminalDialogTest, EndOfInputCancels) {
  ASSERT_TRUE(child_.started());
  ASSERT_TRUE(Answer(kPrompt, "\x04"));  // Ctrl-D at the start of a line: end of input
  ASSERT_TRUE(child_.WaitFor("RESULT=53 GAS=untouched", kPatience)) << child_.output();
  EXPECT_EQ(Finish(), 0);
}

}  // namespace
