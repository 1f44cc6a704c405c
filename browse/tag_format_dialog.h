// The dialog procedure of the tag format dialog (template 101).
#pragma once

#include "platform/win32.h"

INT_PTR CALLBACK TagFormatDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
