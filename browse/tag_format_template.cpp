// Template 101 as data for the headless dialog engine, registered at load.
// It must say what kovrinsx.rc says; a test compares the two.

#include "browse/tag_format_resource.h"
#include "dialog/dialog_template.h"

namespace kovrin {

namespace {

constexpr DWORD kPlainEdit = ES_UPPERCASE | WS_BORDER | WS_TABSTOP;

const DialogItemTemplate kTagFormatItems[] = {
    {"Edit", "", kIdPlcNumber, ES_UPPERCASE | ES_AUTOHSCROLL | WS_TABSTOP, 13, 23, 28, 12},
    {"ComboBox", "", kIdMemoryType, CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP, 78, 15, 150, 100},
    {"Edit", "", kIdAddress, kPlainEdit, 78, 43, 40, 12},
    {"ListBox", "", kIdBitNumber,
     LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_WANTKEYBOARDINPUT | WS_VSCROLL | WS_TABSTOP, 126, 43, 32, 12},
    {"Button", "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 126, 98, 48, 14},
    {"Button", "Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 180, 98, 48, 14},
    {"ScrollBar", "", kIdPlcArrows, SBS_VERT, 41, 23, 9, 12},
    {"Static", "PLC number:", kIdPlcLabel, SS_LEFT, 13, 12, 48, 8},
    {"Static", "Memory type:", kIdMemoryTypeLabel, SS_LEFT, 78, 5, 60, 8},
    {"Static", "Address:", kIdAddressLabel, SS_LEFT, 78, 33, 40, 8},
    {"Static", "Bit number:", kIdBitNumberLabel, SS_LEFT, 126, 33, 40, 8},
    {"Button", "", kIdFrame, BS_GROUPBOX, 7, 3, 62, 37},
    {"Edit", "", kIdReportNumber, kPlainEdit, 20, 95, 26, 12},
    {"Edit", "", kIdLineNumber, kPlainEdit, 67, 95, 26, 12},
    {"Static", "Report", kIdReportLabel, SS_CENTER, 13, 84, 40, 8},
    {"Static", "Line", kIdLineLabel, SS_CENTER, 60, 84, 40, 8},
    {"Button", "String Based Request", kIdReportLineMode, BS_AUTOCHECKBOX | WS_TABSTOP, 7, 62, 100, 10},
    {"Button", "", kIdFrame, BS_GROUPBOX, 7, 74, 100, 40},
    {"Button", "Report Based Request", kIdReportTriggerMode, BS_AUTOCHECKBOX | WS_TABSTOP, 126, 62, 100, 10},
};

const DialogTemplate kTagFormat = {
    kTagFormatDialogId,
    "Tag Format",
    DS_MODALFRAME | WS_POPUP | WS_CAPTION | DS_SETFONT,
    8,
    "MS Sans Serif",
    236,
    122,
    kTagFormatItems,
};

const DialogTemplateRegistration kTagFormatRegistration(kTagFormat);

}  // namespace

}  // namespace kovrin
