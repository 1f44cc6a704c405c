// The dialog procedure of the tag format dialog (template 101).
#pragma once

#include "platform/win32.h"

namespace kovrin {

INT_PTR CALLBACK TagFormatDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace kovrin
