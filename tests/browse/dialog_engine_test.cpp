// The headless dialog engine on a small dialog of its own: the messages a
// user's actions produce, the controls' behaviour and the failures.

#include "dialog/dialog_engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/dialog_script.h"
#include "platform/win32.h"

namespace {

constexpr int kToyDialog = 900;
enum : int {
  kUpperEdit = 10,
  kDisabledEdit = 11,
  kPlainEdit = 12,
  kSortedCombo = 20,
  kList = 30,
  kAutoBox = 40,
  kManualBox = 41,
  kArrows = 50,
  kLabel = 60
};

const DialogItemTemplate kToyItems[] = {
    {"Edit", "", kUpperEdit, ES_UPPERCASE | WS_TABSTOP, 0, 0, 10, 10},
    {"Edit", "", kDisabledEdit, WS_TABSTOP | WS_DISABLED, 0, 10, 10, 10},
    {"Edit", "", kPlainEdit, WS_TABSTOP, 0, 20, 10, 10},
    {"ComboBox", "", kSortedCombo, CBS_DROPDOWNLIST | CBS_SORT | WS_TABSTOP, 0, 30, 10, 50},
    {"ListBox", "", kList, LBS_NOTIFY | WS_TABSTOP, 0, 40, 10, 10},
    {"Button", "Auto", kAutoBox, BS_AUTOCHECKBOX | WS_TABSTOP, 0, 50, 10, 10},
    {"Button", "Manual", kManualBox, BS_CHECKBOX | WS_TABSTOP, 0, 60, 10, 10},
    {"ScrollBar", "", kArrows, SBS_VERT, 0, 70, 10, 10},
    {"Button", "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 80, 10, 10},
    {"Static", "Label", kLabel, SS_LEFT, 0, 90, 10, 10},
};
const DialogTemplate kToy = {kToyDialog, "Toy",    WS_POPUP | WS_CAPTION, 8, "MS Sans Serif", 100,
                             100,        kToyItems};
const DialogTemplateRegistration kToyRegistration(kToy);

struct Seen {
  UINT message;
  WORD low;
  WORD high;
  int from;  // id of the control in lParam, 0 for none
  bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& s, std::ostream* out) {
  *out << "{0x" << std::hex << s.message << std::dec << ", " << s.low << ", " << s.high << ", " << s.from
       << "}";
}

std::vector<Seen> g_seen;
std::vector<LRESULT> g_addedAt;
HWND g_toy = nullptr;

int IdOf(HWND dialog, LPARAM lParam) {
  for (const DialogItemTemplate& item : kToyItems) {
    if (GetDlgItem(dialog, item.id) == reinterpret_cast<HWND>(lParam) && lParam != 0) return item.id;
  }
  return 0;
}

// Records what it is sent; ends only on OK (so Escape alone cannot end it).
INT_PTR ToyProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    g_toy = dialog;
    g_addedAt.clear();
    for (const char* item : {"b", "A", "c", "B"}) {
      g_addedAt.push_back(
          SendDlgItemMessageA(dialog, kSortedCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item)));
    }
    for (const char* item : {"z", "y"}) {
      g_addedAt.push_back(
          SendDlgItemMessageA(dialog, kList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item)));
    }
    return TRUE;
  }
  g_seen.push_back({message, LOWORD(wParam), HIWORD(wParam), IdOf(dialog, lParam)});
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    EndDialog(dialog, 7);
    return TRUE;
  }
  return FALSE;
}

INT_PTR RunToy(ScriptedDialogFrontEnd& script) {
  ScopedDialogFrontEnd use(&script);
  g_seen.clear();
  return DialogBoxParamA(GetModuleHandleA("KOVRINSX.DLL"), MAKEINTRESOURCEA(kToyDialog), nullptr, ToyProc, 0);
}

struct ActionCase {
  DialogStep step;
  bool accepted;
  std::vector<Seen> messages;
};

TEST(DialogEngineTest, UserActionsSendWhatWindowsSends) {
  const std::vector<ActionCase> cases = {
      {TypeInto(kUpperEdit, "ab"), true, {{WM_COMMAND, kUpperEdit, EN_CHANGE, kUpperEdit}}},
      {TypeInto(kDisabledEdit, "ab"), false, {}},
      {TypeInto(kLabel, "ab"), false, {}},
      {ChooseItem(kSortedCombo, "C"), true, {{WM_COMMAND, kSortedCombo, CBN_SELCHANGE, kSortedCombo}}},
      {ChooseItem(kSortedCombo, "x"), false, {}},
      {ScrollList(kList, 1), true, {}},  // scrolling tells the parent nothing
      {ScrollListTo(kList, "q"), false, {}},
      {ClickOn(kAutoBox), true, {{WM_COMMAND, kAutoBox, BN_CLICKED, kAutoBox}}},
      {ClickOn(kManualBox), true, {{WM_COMMAND, kManualBox, BN_CLICKED, kManualBox}}},
      {ClickOn(kLabel), false, {}},
      {ArrowUp(kArrows), true, {{WM_VSCROLL, SB_LINEUP, 0, kArrows}, {WM_VSCROLL, SB_ENDSCROLL, 0, kArrows}}},
      {ArrowDown(kArrows),
       true,
       {{WM_VSCROLL, SB_LINEDOWN, 0, kArrows}, {WM_VSCROLL, SB_ENDSCROLL, 0, kArrows}}},
      {ArrowUp(kPlainEdit), false, {}},
      {PressEscape(), true, {{WM_COMMAND, IDCANCEL, BN_CLICKED, 0}}},  // this dialog has no Cancel button
  };
  for (const ActionCase& c : cases) {
    SCOPED_TRACE(Describe(c.step));
    std::vector<Seen> seen;
    ScriptedDialogFrontEnd script(
        {c.step, LookAt([&](const DialogSession&) { seen = g_seen; }), ClickOn(IDOK)});
    EXPECT_EQ(RunToy(script), 7);
    EXPECT_EQ(seen, c.messages);
    EXPECT_EQ(script.refused().empty(), c.accepted);
  }
}

TEST(DialogEngineTest, ControlsBehaveAsTheirStylesSay) {
  ScriptedDialogFrontEnd script({
      LookAt([](const DialogSession& dialog) {
        EXPECT_EQ(dialog.Items(kSortedCombo), (std::vector<std::string>{"A", "b", "B", "c"}));
        EXPECT_EQ(dialog.Items(kList), (std::vector<std::string>{"z", "y"}));  // unsorted: as added
        char text[8] = "x";
        EXPECT_EQ(GetDlgItemTextA(g_toy, kSortedCombo, text, sizeof text), 0u);  // nothing chosen
        EXPECT_STREQ(text, "");
      }),
      TypeInto(kUpperEdit, "abc1f"),
      TypeInto(kPlainEdit, "abc1f"),
      ChooseItem(kSortedCombo, "b"),
      ScrollList(kList, 5),
      ClickOn(kAutoBox),
      ClickOn(kManualBox),
      LookAt([](const DialogSession& dialog) {
        EXPECT_EQ(dialog.Text(kUpperEdit), "ABC1F");
        EXPECT_EQ(dialog.Text(kPlainEdit), "abc1f");
        char text[3];
        EXPECT_EQ(GetDlgItemTextA(g_toy, kUpperEdit, text, sizeof text), 2u);  // cut to the buffer
        EXPECT_STREQ(text, "AB");
        EXPECT_EQ(GetDlgItemTextA(g_toy, kSortedCombo, text, sizeof text), 1u);
        EXPECT_STREQ(text, "b");
        EXPECT_EQ(SendDlgItemMessageA(g_toy, kList, LB_GETTOPINDEX, 0, 0), 1);  // clamped to the last item
        EXPECT_EQ(SendDlgItemMessageA(g_toy, kList, LB_GETTEXTLEN, 2, 0), LB_ERR);
        EXPECT_EQ(SendDlgItemMessageA(g_toy, kAutoBox, BM_GETCHECK, 0, 0), BST_CHECKED);
        EXPECT_EQ(SendDlgItemMessageA(g_toy, kManualBox, BM_GETCHECK, 0, 0), BST_UNCHECKED);
        EXPECT_FALSE(dialog.IsEnabled(kDisabledEdit));
      }),
      ClickOn(IDOK),
  });
  EXPECT_EQ(RunToy(script), 7);
  EXPECT_EQ(g_addedAt, (std::vector<LRESULT>{0, 0, 2, 2, 0, 1}));
  EXPECT_EQ(script.stepsLeft(), 0u);
}

TEST(DialogEngineTest, EnableWindowTellsThePreviousStateAndGatesTheUser) {
  ScriptedDialogFrontEnd script({
      LookAt([](const DialogSession&) {
        EXPECT_EQ(EnableWindow(GetDlgItem(g_toy, kPlainEdit), FALSE), FALSE);
        EXPECT_EQ(EnableWindow(GetDlgItem(g_toy, kPlainEdit), FALSE), TRUE);
      }),
      TypeInto(kPlainEdit, "refused"),
      LookAt([](const DialogSession&) { EnableWindow(GetDlgItem(g_toy, kPlainEdit), TRUE); }),
      TypeInto(kPlainEdit, "taken"),
      LookAt([](const DialogSession& dialog) { EXPECT_EQ(dialog.Text(kPlainEdit), "taken"); }),
      ClickOn(IDOK),
  });
  EXPECT_EQ(RunToy(script), 7);
  EXPECT_EQ(script.refused(), (std::vector<size_t>{1}));
}

TEST(DialogEngineTest, AUserWhoLeavesClosesTheDialogAndItsWindowsGo) {
  ScriptedDialogFrontEnd script({});
  EXPECT_EQ(RunToy(script), IDCANCEL);  // Escape was ignored, so the engine closed it
  EXPECT_EQ(g_seen, (std::vector<Seen>{{WM_COMMAND, IDCANCEL, BN_CLICKED, 0}}));
  EXPECT_EQ(GetDlgItem(g_toy, kPlainEdit), nullptr);
  EXPECT_EQ(EndDialog(g_toy, 1), FALSE);
  EXPECT_EQ(SendMessageA(g_toy, WM_COMMAND, IDOK, 0), 0);
  char text[4] = "abc";
  EXPECT_EQ(GetDlgItemTextA(g_toy, kPlainEdit, text, sizeof text), 0u);
  EXPECT_STREQ(text, "");
}

TEST(DialogEngineTest, TemplatesAreFoundOnlyInThisModule) {
  HMODULE module = GetModuleHandleA("KOVRINSX.DLL");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetModuleHandleA("kovrinsx.dll"), module);
  EXPECT_EQ(GetModuleHandleA("KovrinSX"), module);
  EXPECT_EQ(GetModuleHandleA("OTHER.DLL"), nullptr);
  EXPECT_NE(GetModuleHandleA(nullptr), module);

  ScriptedDialogFrontEnd script({ClickOn(IDOK)});
  ScopedDialogFrontEnd use(&script);
  EXPECT_EQ(DialogBoxParamA(module, MAKEINTRESOURCEA(901), nullptr, ToyProc, 0), -1);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kToyDialog), nullptr, ToyProc, 0), -1);
  EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kToyDialog), nullptr, ToyProc, 0),
            -1);
  EXPECT_EQ(DialogBoxParamA(module, MAKEINTRESOURCEA(kToyDialog), nullptr, nullptr, 0), -1);
  EXPECT_EQ(script.stepsLeft(), 1u);
}

TEST(DialogEngineTest, MessageBoxesGoToTheFrontEnd) {
  ScriptedDialogFrontEnd script({});
  ScopedDialogFrontEnd use(&script);
  EXPECT_EQ(MessageBoxA(nullptr, "first", "Caption", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "second", nullptr, MB_OK), IDOK);
  EXPECT_EQ(script.messages(), (std::vector<ShownMessage>{{"Caption", "first"}, {"Error", "second"}}));
}

}  // namespace
