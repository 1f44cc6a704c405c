// The address dialog of the driver DLL as a user meets it: BrowseAddress
// runs the modal "Tag Format" dialog on the main thread while a second
// thread finds it, fills it in, meets the validators' message boxes and
// presses OK or Cancel. Actions that may open a message box are posted, so
// that this thread never waits on a modal loop; every wait is bounded.
//
//   dialog_end_to_end.exe MODULE

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "host_interface/host_records.h"
#include "platform/win32.h"
#include "tests/windows/driver_session.h"

namespace {

constexpr DWORD kWaitMs = 10000;

// Control ids of dialog template 101.
constexpr int kPlcEdit = 1037;
constexpr int kMemoryCombo = 1006;
constexpr int kAddressEdit = 1007;
constexpr int kBitList = 1022;
constexpr int kPlcArrows = 1036;
constexpr int kReportEdit = 1044;
constexpr int kLineEdit = 1045;
constexpr int kReportLabel = 1048;
constexpr int kLineLabel = 1049;
constexpr int kStringBased = 1051;
constexpr int kReportBased = 1052;

enum class Act {
  kText,           // set the text of control id
  kMemoryType,     // choose the memory-type entry that begins with text
  kBit,            // scroll the bit list to the entry text
  kToggle,         // click check box id
  kUp,             // PLC arrow up
  kDown,           // PLC arrow down
  kExpectText,     // control id shows text
  kExpectEnabled,  // control id is enabled
  kExpectDisabled,
  kOk,  // press OK; text: the message box expected, null: the dialog ends
  kCancel,
};

struct Step {
  Act act;
  int id;
  const char* text;
};

struct DialogCase {
  const char* name;
  int32_t driverNumber;  // selects the init file: 1 base D, 2 base H, 3 base L
  std::vector<Step> steps;
  int32_t result;
  const char* gas;  // the composed string; for 53, the buffer stays as it was
};

Step Text(int id, const char* text) { return {Act::kText, id, text}; }
Step Memory(const char* entry) { return {Act::kMemoryType, 0, entry}; }
Step Bit(const char* entry) { return {Act::kBit, 0, entry}; }
Step Toggle(int id) { return {Act::kToggle, id, nullptr}; }
Step Up() { return {Act::kUp, 0, nullptr}; }
Step Down() { return {Act::kDown, 0, nullptr}; }
Step Shows(int id, const char* text) { return {Act::kExpectText, id, text}; }
Step Enabled(int id) { return {Act::kExpectEnabled, id, nullptr}; }
Step Disabled(int id) { return {Act::kExpectDisabled, id, nullptr}; }
Step Ok(const char* message = nullptr) { return {Act::kOk, 0, message}; }
Step Cancel() { return {Act::kCancel, 0, nullptr}; }

const std::vector<DialogCase>& Cases() {
  static const std::vector<DialogCase> cases = {
      {"plain address, base D, no bit",
       1,
       {Memory("4"), Text(kAddressEdit, "0010"), Bit("None"), Ok()},
       kResultDone,
       "0140010"},
      {"plain address, base D, bit 3",
       1,
       {Memory("4"), Text(kAddressEdit, "0010"), Bit("3"), Ok()},
       kResultDone,
       "01400103"},
      {"plain address, base L, bit F",
       3,
       {Memory("4"), Text(kAddressEdit, "00010"), Bit("F"), Ok()},
       kResultDone,
       "01400010F"},
      {"plain address, base H",
       2,
       {Text(kPlcEdit, "1A"), Memory("7"), Text(kAddressEdit, "00FF"), Ok()},
       kResultDone,
       "1A700FF"},
      {"validators keep the dialog open until the entries are right",
       1,
       {Memory("4"), Text(kAddressEdit, "00100"), Ok("Wrong address! (4 decimal digits)"),
        Shows(kAddressEdit, "00100"), Text(kAddressEdit, "0010"), Text(kPlcEdit, "1"),
        Ok("Wrong PLC number! (2 decimal digits)"), Text(kPlcEdit, "12"), Ok()},
       kResultDone,
       "1240010"},
      {"no memory type chosen",
       1,
       {Text(kAddressEdit, "0010"), Ok("missing value!"), Memory("3"), Ok()},
       kResultDone,
       "0130010"},
      {"report line, base D",
       1,
       {Toggle(kStringBased), Enabled(kReportEdit), Enabled(kLineEdit), Enabled(kReportLabel),
        Disabled(kMemoryCombo), Disabled(kAddressEdit), Disabled(kBitList), Disabled(kReportBased),
        Text(kReportEdit, "17"), Text(kLineEdit, "110"), Ok("Report number must be from 1 to 16"),
        Text(kReportEdit, "16"), Ok()},
       kResultDone,
       "R0116110"},
      {"report line, base H",
       2,
       {Toggle(kStringBased), Text(kReportEdit, "11"), Text(kLineEdit, "06F"),
        Ok("Report number must be from 1 to 10 hexadecimal"), Text(kReportEdit, "10"),
        Ok("Line number must be from 1 to 6E hexadecimal"), Text(kLineEdit, "06E"), Ok()},
       kResultDone,
       "R011006E"},
      {"report line off again",
       1,
       {Toggle(kStringBased), Toggle(kStringBased), Enabled(kMemoryCombo), Enabled(kReportBased),
        Disabled(kReportEdit), Memory("0"), Text(kAddressEdit, "0001"), Ok()},
       kResultDone,
       "0100001"},
      {"report trigger",
       1,
       {Text(kPlcEdit, "05"), Toggle(kReportBased), Disabled(kMemoryCombo), Disabled(kAddressEdit),
        Disabled(kStringBased), Enabled(kPlcEdit), Ok()},
       kResultDone,
       "!R05"},
      {"PLC arrows, base D",
       1,
       {Text(kPlcEdit, "98"), Up(), Shows(kPlcEdit, "99"), Up(), Shows(kPlcEdit, "99"), Down(),
        Shows(kPlcEdit, "98"), Text(kPlcEdit, "Z"), Up(), Shows(kPlcEdit, "02"), Text(kPlcEdit, "01"), Down(),
        Shows(kPlcEdit, "01"), Memory("1"), Text(kAddressEdit, "0002"), Ok()},
       kResultDone,
       "0110002"},
      {"PLC arrows, base H",
       2,
       {Text(kPlcEdit, "FE"), Up(), Shows(kPlcEdit, "FF"), Up(), Shows(kPlcEdit, "FF"), Cancel()},
       kResultCancelled,
       nullptr},
      {"cancel", 1, {Memory("4"), Text(kAddressEdit, "0010"), Cancel()}, kResultCancelled, nullptr},
  };
  return cases;
}

// The work of the second thread: what it found wrong, for the main thread
// to report once the dialog has ended.
struct Driver {
  const DialogCase* dialogCase = nullptr;
  std::vector<std::string> problems;
  std::vector<std::string> messages;  // texts of the message boxes met
};

template <typename Found>
HWND WaitFor(Found find) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND window = find()) return window;
    if (GetTickCount() - start > kWaitMs) return nullptr;
    Sleep(10);
  }
}

bool WaitGone(HWND window) {
  const DWORD start = GetTickCount();
  while (IsWindow(window)) {
    if (GetTickCount() - start > kWaitMs) return false;
    Sleep(10);
  }
  return true;
}

std::string WindowText(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// The message text of a message box: its static controls' texts.
BOOL CALLBACK CollectStaticText(HWND child, LPARAM context) {
  char className[32] = {};
  GetClassNameA(child, className, sizeof className);
  const std::string text = WindowText(child);
  if (lstrcmpiA(className, "Static") == 0 && !text.empty()) {
    *reinterpret_cast<std::string*>(context) += text;
  }
  return TRUE;
}

// After OK: the first message box that opens, or null once the dialog has
// ended (or after the bounded wait).
HWND WaitForMessageBoxOrEnd(HWND dialog) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start <= kWaitMs) {
    if (HWND box = FindWindowA("#32770", "Error")) return box;
    if (!IsWindow(dialog)) return nullptr;
    Sleep(10);
  }
  return nullptr;
}

std::string MessageText(HWND box) {
  std::string text;
  EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&text));
  return text;
}

// Presses OK and deals with what follows: the expected message box, which
// is read and dismissed, or the end of the dialog.
bool PressOk(Driver& driver, HWND dialog, const char* expectedMessage) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  HWND box = WaitForMessageBoxOrEnd(dialog);
  if (expectedMessage == nullptr) {
    if (IsWindow(dialog)) {
      driver.problems.push_back(box != nullptr ? "OK showed \"" + MessageText(box) + "\""
                                               : std::string("the dialog stayed open after OK"));
    }
    return false;
  }
  if (box == nullptr) {
    driver.problems.push_back(std::string("no message box \"") + expectedMessage + "\"");
    return false;
  }
  const std::string text = MessageText(box);
  driver.messages.push_back(text);
  if (text != expectedMessage) {
    driver.problems.push_back("message box says \"" + text + "\", expected \"" + expectedMessage + "\"");
  }
  if (GetWindow(box, GW_OWNER) != dialog)
    driver.problems.push_back("the message box is not owned by the dialog");
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  if (!WaitGone(box)) {
    driver.problems.push_back("the message box stayed open");
    return false;
  }
  if (!IsWindow(dialog)) {
    driver.problems.push_back("the dialog ended with the message box");
    return false;
  }
  return true;
}

// Performs one step; false ends the case (the dialog is gone or stuck).
bool Perform(Driver& driver, HWND dialog, const Step& step) {
  HWND control = GetDlgItem(dialog, step.id);
  switch (step.act) {
    case Act::kText:
      SetWindowTextA(control, step.text);
      return true;
    case Act::kMemoryType: {
      HWND combo = GetDlgItem(dialog, kMemoryCombo);
      if (SendMessageA(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                       reinterpret_cast<LPARAM>(step.text)) == CB_ERR) {
        driver.problems.push_back(std::string("no memory type entry ") + step.text);
      }
      return true;
    }
    case Act::kBit: {
      HWND list = GetDlgItem(dialog, kBitList);
      const LRESULT index = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(step.text));
      if (index == LB_ERR) {
        driver.problems.push_back(std::string("no bit entry ") + step.text);
      } else {
        SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
        if (SendMessageA(list, LB_GETTOPINDEX, 0, 0) != index) {
          driver.problems.push_back(std::string("bit entry ") + step.text + " did not scroll to the top");
        }
      }
      return true;
    }
    case Act::kToggle: {
      // What a click does: the box changes its check and notifies the dialog.
      const bool checked = SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
      SendMessageA(control, BM_SETCHECK, checked ? BST_UNCHECKED : BST_CHECKED, 0);
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(step.id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
      return true;
    }
    case Act::kUp:
    case Act::kDown:
      SendMessageA(dialog, WM_VSCROLL, MAKEWPARAM(step.act == Act::kUp ? SB_LINEUP : SB_LINEDOWN, 0),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, kPlcArrows)));
      return true;
    case Act::kExpectText:
      if (WindowText(control) != step.text) {
        driver.problems.push_back("control " + std::to_string(step.id) + " shows \"" + WindowText(control) +
                                  "\", expected \"" + step.text + "\"");
      }
      return true;
    case Act::kExpectEnabled:
    case Act::kExpectDisabled: {
      const bool wanted = step.act == Act::kExpectEnabled;
      if ((IsWindowEnabled(control) != FALSE) != wanted) {
        driver.problems.push_back("control " + std::to_string(step.id) + (wanted ? " disabled" : " enabled"));
      }
      return true;
    }
    case Act::kOk:
      return PressOk(driver, dialog, step.text);
    case Act::kCancel:
      PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
      if (!WaitGone(dialog)) driver.problems.push_back("the dialog stayed open after Cancel");
      return false;
  }
  return true;
}

// Every dialog opens in plain mode with the PLC number 01.
void CheckOpeningState(Driver& driver, HWND dialog) {
  const Step opening[] = {Shows(kPlcEdit, "01"),  Enabled(kMemoryCombo), Enabled(kAddressEdit),
                          Enabled(kBitList),      Disabled(kReportEdit), Disabled(kLineEdit),
                          Disabled(kReportLabel), Disabled(kLineLabel),  Enabled(kStringBased),
                          Enabled(kReportBased)};
  for (const Step& step : opening) Perform(driver, dialog, step);
  for (int box : {kStringBased, kReportBased}) {
    if (SendMessageA(GetDlgItem(dialog, box), BM_GETCHECK, 0, 0) != BST_UNCHECKED) {
      driver.problems.push_back("check box " + std::to_string(box) + " starts checked");
    }
  }
  HWND list = GetDlgItem(dialog, kBitList);
  char top[16] = {};
  SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(SendMessageA(list, LB_GETTOPINDEX, 0, 0)),
               reinterpret_cast<LPARAM>(top));
  if (std::strcmp(top, "None") != 0) driver.problems.push_back(std::string("bit list starts at ") + top);
  if (SendMessageA(list, LB_GETCOUNT, 0, 0) != 17) driver.problems.push_back("bit list has not 17 entries");
  if (SendMessageA(GetDlgItem(dialog, kMemoryCombo), CB_GETCOUNT, 0, 0) != 8) {
    driver.problems.push_back("memory type list has not 8 entries");
  }
}

// Whatever went wrong, the dialog must not outlive its case: closes any
// message box (noting its text), then cancels the dialog.
void CloseDialog(Driver& driver, HWND dialog) {
  const DWORD start = GetTickCount();
  while (IsWindow(dialog) && GetTickCount() - start < kWaitMs) {
    if (HWND box = FindWindowA("#32770", "Error")) {
      driver.problems.push_back("unexpected message box \"" + MessageText(box) + "\"");
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      WaitGone(box);
    }
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    Sleep(100);
  }
}

DWORD WINAPI DriveDialog(LPVOID context) {
  Driver& driver = *static_cast<Driver*>(context);
  // The window exists before its initialisation has run; it is shown when
  // the modal loop takes over.
  HWND dialog = WaitFor([] {
    HWND found = FindWindowA("#32770", "Tag Format");
    return found != nullptr && IsWindowVisible(found) ? found : nullptr;
  });
  if (dialog == nullptr) {
    driver.problems.push_back("no \"Tag Format\" dialog appeared");
    return 0;
  }
  CheckOpeningState(driver, dialog);
  for (const Step& step : driver.dialogCase->steps) {
    if (!Perform(driver, dialog, step)) break;
  }
  if (IsWindow(dialog)) {
    driver.problems.push_back("the dialog was still open at the end of the case");
    CloseDialog(driver, dialog);
  }
  return 0;
}

void PrintTo(const DialogCase& c, std::ostream* out) { *out << c.name; }

// The instances of driver numbers 1 to 3, which main opens.
DriverSession* g_instances[4] = {};

class DialogTest : public ::testing::TestWithParam<DialogCase> {};

TEST_P(DialogTest, ComposesTheAddressOrCancels) {
  const DialogCase& c = GetParam();
  Driver driver;
  driver.dialogCase = &c;
  HANDLE thread = CreateThread(nullptr, 0, DriveDialog, &driver, 0, nullptr);
  ASSERT_NE(thread, nullptr);

  char buffer[16];
  std::strcpy(buffer, "untouched");
  BrowseRequest request{};
  request.gasBuffer = buffer;
  const int32_t result = g_instances[c.driverNumber]->Call(kCmdBrowseAddress, &request);

  const bool ended = WaitForSingleObject(thread, kWaitMs + 5000) == WAIT_OBJECT_0;
  CloseHandle(thread);
  EXPECT_TRUE(ended);
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(std::string(buffer), c.gas != nullptr ? c.gas : "untouched");
  for (const std::string& problem : driver.problems) ADD_FAILURE() << problem;
}

INSTANTIATE_TEST_SUITE_P(Cases, DialogTest, ::testing::ValuesIn(Cases()));

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc != 2) {
    std::printf("usage: dialog_end_to_end MODULE\n");
    return 2;
  }
  // The dialog learns its number base from the init file of the request's
  // driver number.
  WriteTextFile("KOVRIN01.INT", "BUS = M , D\n");
  WriteTextFile("KOVRIN02.INT", "BUS = M , H\n");
  WriteTextFile("KOVRIN03.INT", "BUS = M , L\n");

  const char* modulePath = argv[1];
  LogCapture log;
  DriverSession base10(modulePath, 1), base16(modulePath, 2), base10long(modulePath, 3);
  if (!OpenedModule(base10) || !OpenedModule(base16) || !OpenedModule(base10long)) return 1;
  g_instances[1] = &base10;
  g_instances[2] = &base16;
  g_instances[3] = &base10long;
  return RUN_ALL_TESTS();
}
