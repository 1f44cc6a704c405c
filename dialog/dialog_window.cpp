#include "dialog/dialog_window.h"

#include <algorithm>
#include <cstring>

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool LessIgnoringCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(LowerAscii(x)) < static_cast<unsigned char>(LowerAscii(y));
  });
}

const char* TextParam(LPARAM lParam) {
  const char* text = reinterpret_cast<const char*>(lParam);
  return text != nullptr ? text : "";
}

// An item index carried in wParam, or -1 when it names no item.
int ItemIndex(const HWND__& box, WPARAM wParam) {
  return wParam < box.items.size() ? static_cast<int>(wParam) : -1;
}

LRESULT ItemText(const HWND__& box, WPARAM wParam, LPARAM lParam, LRESULT error) {
  const int index = ItemIndex(box, wParam);
  char* buffer = reinterpret_cast<char*>(lParam);
  if (index < 0 || buffer == nullptr) return error;
  // Like Windows: the caller's buffer must hold the whole item; the
  // ...GETTEXTLEN messages tell how long it is.
  const std::string& item = box.items[static_cast<size_t>(index)];
  std::memcpy(buffer, item.c_str(), item.size() + 1);
  return static_cast<LRESULT>(item.size());
}

LRESULT ItemTextLength(const HWND__& box, WPARAM wParam, LRESULT error) {
  const int index = ItemIndex(box, wParam);
  return index < 0 ? error : static_cast<LRESULT>(box.items[static_cast<size_t>(index)].size());
}

LRESULT ListBoxMessage(HWND__& box, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case LB_ADDSTRING:
      return InsertItem(box, TextParam(lParam));
    case LB_GETCOUNT:
      return static_cast<LRESULT>(box.items.size());
    case LB_GETTEXT:
      return ItemText(box, wParam, lParam, LB_ERR);
    case LB_GETTEXTLEN:
      return ItemTextLength(box, wParam, LB_ERR);
    case LB_GETTOPINDEX:
      return box.topIndex;
    case LB_SETTOPINDEX:
      if (ItemIndex(box, wParam) < 0) return LB_ERR;
      box.topIndex = static_cast<int>(wParam);
      return 0;
    default:
      return 0;
  }
}

LRESULT ComboBoxMessage(HWND__& box, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case CB_ADDSTRING:
      return InsertItem(box, TextParam(lParam));
    case CB_GETCOUNT:
      return static_cast<LRESULT>(box.items.size());
    case CB_GETCURSEL:
      return box.selection;
    case CB_SETCURSEL:
      box.selection = ItemIndex(box, wParam);
      return box.selection;  // CB_ERR when the selection was removed
    case CB_GETLBTEXT:
      return ItemText(box, wParam, lParam, CB_ERR);
    case CB_GETLBTEXTLEN:
      return ItemTextLength(box, wParam, CB_ERR);
    default:
      return 0;
  }
}

LRESULT CheckBoxMessage(HWND__& box, UINT message, WPARAM wParam) {
  switch (message) {
    case BM_GETCHECK:
      return box.check;
    case BM_SETCHECK:
      box.check = wParam == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
      return 0;
    default:
      return 0;
  }
}

}  // namespace

DialogControlKind ControlKindOf(const DialogItemTemplate& item) {
  const std::string_view windowClass = item.windowClass != nullptr ? item.windowClass : "";
  if (SameIgnoringCase(windowClass, "Edit")) return DialogControlKind::kEdit;
  if (SameIgnoringCase(windowClass, "ComboBox")) return DialogControlKind::kComboBox;
  if (SameIgnoringCase(windowClass, "ListBox")) return DialogControlKind::kListBox;
  if (SameIgnoringCase(windowClass, "ScrollBar")) return DialogControlKind::kScrollBar;
  if (SameIgnoringCase(windowClass, "Static")) return DialogControlKind::kStatic;
  if (SameIgnoringCase(windowClass, "Button")) {
    switch (item.style & BS_TYPEMASK) {
      case BS_PUSHBUTTON:
      case BS_DEFPUSHBUTTON:
        return DialogControlKind::kPushButton;
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
        return DialogControlKind::kCheckBox;
      case BS_GROUPBOX:
        return DialogControlKind::kGroupBox;
      default:
        return DialogControlKind::kOther;
    }
  }
  return DialogControlKind::kOther;
}

std::string_view WindowText(const HWND__& window) {
  switch (window.kind) {
    case DialogControlKind::kComboBox:
      return window.selection >= 0 ? std::string_view(window.items[static_cast<size_t>(window.selection)])
                                   : std::string_view();
    case DialogControlKind::kListBox:
      return {};
    default:
      return window.text;
  }
}

bool ReplaceWindowText(HWND__& window, std::string_view text) {
  switch (window.kind) {
    case DialogControlKind::kComboBox: {
      // A drop-down list shows only its items: the text selects the item.
      const int index = FindItem(window, text);
      if (index < 0 || !SameIgnoringCase(window.items[static_cast<size_t>(index)], text)) return false;
      window.selection = index;
      return true;
    }
    case DialogControlKind::kListBox:
      return false;
    default:
      window.text.assign(text);
      return true;
  }
}

int CopyWindowText(std::string_view text, char* buffer, int maxCount) {
  if (buffer == nullptr || maxCount <= 0) return 0;
  const size_t count = std::min(text.size(), static_cast<size_t>(maxCount) - 1);
  if (count > 0) std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  return static_cast<int>(count);
}

int InsertItem(HWND__& box, std::string_view text) {
  const bool sorted =
      box.kind == DialogControlKind::kComboBox ? (box.style & CBS_SORT) != 0 : (box.style & LBS_SORT) != 0;
  auto at = box.items.end();
  if (sorted) {
    at = std::upper_bound(box.items.begin(), box.items.end(), text,
                          [](std::string_view a, const std::string& b) { return LessIgnoringCase(a, b); });
  }
  const int index = static_cast<int>(at - box.items.begin());
  box.items.insert(at, std::string(text));
  if (box.selection >= index) ++box.selection;
  return index;
}

int FindItem(const HWND__& box, std::string_view text) {
  for (size_t i = 0; i < box.items.size(); ++i) {
    if (SameIgnoringCase(box.items[i], text)) return static_cast<int>(i);
  }
  if (text.empty()) return -1;
  for (size_t i = 0; i < box.items.size(); ++i) {
    if (box.items[i].size() >= text.size() &&
        SameIgnoringCase(std::string_view(box.items[i]).substr(0, text.size()), text)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

LRESULT ControlMessage(HWND__& control, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT:
      return ReplaceWindowText(control, TextParam(lParam)) ? TRUE : FALSE;
    case WM_GETTEXT:
      return CopyWindowText(WindowText(control), reinterpret_cast<char*>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(WindowText(control).size());
    default:
      break;
  }
  switch (control.kind) {
    case DialogControlKind::kListBox:
      return ListBoxMessage(control, message, wParam, lParam);
    case DialogControlKind::kComboBox:
      return ComboBoxMessage(control, message, wParam, lParam);
    case DialogControlKind::kCheckBox:
      return CheckBoxMessage(control, message, wParam);
    default:
      return 0;
  }
}
