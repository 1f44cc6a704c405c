#include "browse/tag_format_dialog.h"

#include <cstdio>

#include "browse/browse_state.h"
#include "browse/field_validators.h"
#include "browse/tag_format_resource.h"

namespace kovrin {

namespace {

const char* const kBitItems[] = {"None", "0", "1", "2", "3", "4", "5", "6", "7",
                                 "8",    "9", "A", "B", "C", "D", "E", "F"};

// The first character of each is the memory type character of the address.
const char* const kMemoryTypeItems[] = {
    "0: Coils (only for Modicon PLC's)",
    "1: Inputs (only for Modicon PLC's)",
    "3: Input Registers (only for Modicon PLC's)",
    "4: Holding Registers (only for Modicon PLC's)",
    "5: Input Registers (32 bits floating point)",
    "6: Input Registers (32 bits unsigned long)",
    "7: Holding Registers (32 bits floating point)",
    "8: Holding Registers (32 bits unsigned long)",
};

// The fields of a plain address and those of a report line, each with its
// label. The PLC number and its arrows serve every mode.
const int kPlainFields[] = {kIdMemoryType,   kIdMemoryTypeLabel, kIdAddress,
                            kIdAddressLabel, kIdBitNumber,       kIdBitNumberLabel};
const int kReportLineFields[] = {kIdReportNumber, kIdLineNumber, kIdReportLabel, kIdLineLabel};

const char kMissingValue[] = "missing value!";

template <size_t N>
void EnableFields(HWND dialog, const int (&ids)[N], bool enable) {
  for (int id : ids) EnableWindow(GetDlgItem(dialog, id), enable ? TRUE : FALSE);
}

void InitDialog(HWND dialog) {
  for (const char* item : kBitItems) {
    SendDlgItemMessageA(dialog, kIdBitNumber, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
  for (const char* item : kMemoryTypeItems) {
    SendDlgItemMessageA(dialog, kIdMemoryType, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
  SetWindowTextA(GetDlgItem(dialog, kIdPlcNumber), "01");
  EnableFields(dialog, kReportLineFields, false);
}

// The arrows beside the PLC edit count the number up or down within the
// range two digits of the base can show.
void StepPlcNumber(HWND dialog, bool up) {
  const bool hexadecimal = g_browseDialog.base == 'H';
  char text[3];
  const int length = static_cast<int>(GetDlgItemTextA(dialog, kIdPlcNumber, text, sizeof text));
  int number = 0;
  for (int i = 0; i < length && number >= 0; ++i) {
    const int digit = DigitValue(text[i], hexadecimal);
    number = digit < 0 ? -1 : number * (hexadecimal ? 16 : 10) + digit;
  }
  if (length == 0 || number < 0) number = 1;  // unreadable: start from 1

  const int highest = hexadecimal ? 255 : 99;
  if (up) {
    number = number < highest ? number + 1 : highest;
  } else {
    number = number > 1 ? number - 1 : 1;
  }
  char shown[12];
  std::snprintf(shown, sizeof shown, hexadecimal ? "%02X" : "%02d", number);
  SetWindowTextA(GetDlgItem(dialog, kIdPlcNumber), shown);
}

bool IsChecked(HWND dialog, int id) {
  return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// The two check boxes exclude each other: while one is on, the other and
// the fields its mode does not use are disabled.
void SetReportLineMode(HWND dialog, bool on) {
  g_browseDialog.reportLineMode = on;
  EnableFields(dialog, kReportLineFields, on);
  EnableFields(dialog, kPlainFields, !on);
  EnableWindow(GetDlgItem(dialog, kIdReportTriggerMode), on ? FALSE : TRUE);
}

void SetReportTriggerMode(HWND dialog, bool on) {
  g_browseDialog.reportTriggerMode = on;
  EnableFields(dialog, kPlainFields, !on);
  EnableWindow(GetDlgItem(dialog, kIdReportLineMode), on ? FALSE : TRUE);
}

// Shows the message of a failed check; true when there is none.
bool Passes(HWND dialog, const char* message) {
  if (message == nullptr) return true;
  MessageBoxA(dialog, message, "Error", MB_OK);
  return false;
}

// The bit item scrolled into view in the one-row list (not a selection).
void ReadTopBitItem(HWND dialog, char (&bit)[kBitTextSize]) {
  bit[0] = '\0';
  HWND list = GetDlgItem(dialog, kIdBitNumber);
  const LRESULT top = SendMessageA(list, LB_GETTOPINDEX, 0, 0);
  if (top < 0) return;
  // LB_GETTEXT writes the whole item: only read one that fits.
  const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(top), 0);
  if (length < 0 || length >= kBitTextSize) return;
  SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(top), reinterpret_cast<LPARAM>(bit));
}

// Reads the fields and checks them for the current mode, showing the first
// failure; true when the dialog may end with OK.
bool ReadAndCheck(HWND dialog) {
  BrowseDialogState& state = g_browseDialog;
  GetDlgItemTextA(dialog, kIdPlcNumber, state.plc, sizeof state.plc);
  GetDlgItemTextA(dialog, kIdMemoryType, state.memoryType, sizeof state.memoryType);
  GetDlgItemTextA(dialog, kIdAddress, state.address, sizeof state.address);
  ReadTopBitItem(dialog, state.bit);

  if (state.reportLineMode) {
    GetDlgItemTextA(dialog, kIdReportNumber, state.report, sizeof state.report);
    GetDlgItemTextA(dialog, kIdLineNumber, state.line, sizeof state.line);
    if (state.plc[0] == '\0' || state.report[0] == '\0' || state.line[0] == '\0') {
      return Passes(dialog, kMissingValue);
    }
    return Passes(dialog, CheckPlcNumber(state.plc, state.base)) &&
           Passes(dialog, CheckReportNumber(state.report, state.base)) &&
           Passes(dialog, CheckLineNumber(state.line, state.base));
  }
  if (state.reportTriggerMode) return Passes(dialog, CheckPlcNumber(state.plc, state.base));

  if (state.plc[0] == '\0' || state.memoryType[0] == '\0' || state.address[0] == '\0' ||
      state.bit[0] == '\0') {
    return Passes(dialog, kMissingValue);
  }
  return Passes(dialog, CheckAddress(state.address, state.base)) &&
         Passes(dialog, CheckPlcNumber(state.plc, state.base));
}

}  // namespace

INT_PTR CALLBACK TagFormatDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitDialog(dialog);
      return TRUE;  // the PLC edit, first in tab order, takes the focus

    case WM_VSCROLL:
      if (reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, kIdPlcArrows) &&
          (LOWORD(wParam) == SB_LINEUP || LOWORD(wParam) == SB_LINEDOWN)) {
        StepPlcNumber(dialog, LOWORD(wParam) == SB_LINEUP);
      }
      return FALSE;

    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      switch (LOWORD(wParam)) {
        case kIdReportLineMode:
          SetReportLineMode(dialog, IsChecked(dialog, kIdReportLineMode));
          return FALSE;
        case kIdReportTriggerMode:
          SetReportTriggerMode(dialog, IsChecked(dialog, kIdReportTriggerMode));
          return FALSE;
        case IDOK:
          if (!ReadAndCheck(dialog)) return FALSE;  // the dialog stays open
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        default:
          return FALSE;
      }

    default:
      return FALSE;
  }
}

}  // namespace kovrin
