// One window of the headless dialog engine: a dialog or one of its controls,
// with the state and the messages of its window class.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dialog/dialog_engine.h"
#include "platform/win32.h"

struct HWND__ {
  DialogSession* owner = nullptr;
  const DialogItemTemplate* item = nullptr;  // null for the dialog window itself
  DialogControlKind kind = DialogControlKind::kOther;
  DWORD style = 0;
  bool enabled = true;
  std::string text;                // window text; unused by combo and list boxes
  std::vector<std::string> items;  // combo box and list box entries
  int selection = -1;              // combo box
  int topIndex = 0;                // list box
  int check = BST_UNCHECKED;       // check box
};

// The kind of control a template item makes.
DialogControlKind ControlKindOf(const DialogItemTemplate& item);

// The text a user sees in the window (a combo box: its selected item).
std::string_view WindowText(const HWND__& window);
// WM_SETTEXT: false where the window refuses the text.
bool ReplaceWindowText(HWND__& window, std::string_view text);
// Copies text as GetWindowTextA does: at most maxCount - 1 characters and a
// terminating zero; gives the number of characters copied.
int CopyWindowText(std::string_view text, char* buffer, int maxCount);
// Inserts an item where the box's style says (sorted or at the end) and
// gives its index.
int InsertItem(HWND__& box, std::string_view text);
// The index of the item equal to text ignoring case, else of the first item
// that starts with it; -1 when there is none.
int FindItem(const HWND__& box, std::string_view text);

// The messages a control understands; others answer 0.
LRESULT ControlMessage(HWND__& control, UINT message, WPARAM wParam, LPARAM lParam);
