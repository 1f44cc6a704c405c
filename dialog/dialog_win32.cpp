// The Win32 dialog functions over the headless engine.

#include <memory>
#include <string_view>
#include <vector>

#include "dialog/dialog_engine.h"
#include "dialog/dialog_terminal.h"
#include "dialog/dialog_window.h"
#include "platform/win32.h"

struct HINSTANCE__ {
  const char* fileName;
};

namespace {

// The module the engine is linked into, under the file name it has on
// Windows; the dialog templates registered here are its resources.
HINSTANCE__ g_thisModule{"KOVRINSX.DLL"};
HINSTANCE__ g_processModule{""};

DialogFrontEnd* g_installed = nullptr;  // ScopedDialogFrontEnd
DialogFrontEnd* g_active = nullptr;     // serving the running dialog
std::vector<DialogSession*> g_openDialogs;

bool SameFileName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

// A window of one of the running dialogs, or null.
HWND__* Lookup(HWND window) {
  for (DialogSession* session : g_openDialogs) {
    if (HWND found = session->Find(window)) return found;
  }
  return nullptr;
}

DialogSession* DialogOf(HWND dialog) {
  HWND__* window = Lookup(dialog);
  if (window == nullptr || window->item != nullptr) return nullptr;
  return window->owner;
}

// The front end serving a dialog or message box: the one already serving
// the running dialog, else the installed one, else the terminal.
class FrontEndLease {
 public:
  FrontEndLease() : previous_(g_active) {
    frontEnd_ = g_active != nullptr ? g_active : g_installed;
    if (frontEnd_ == nullptr) {
      terminal_ = OpenTerminalDialogFrontEnd();
      frontEnd_ = terminal_.get();
    }
    g_active = frontEnd_;
  }
  ~FrontEndLease() { g_active = previous_; }
  FrontEndLease(const FrontEndLease&) = delete;
  FrontEndLease& operator=(const FrontEndLease&) = delete;

  DialogFrontEnd* get() const { return frontEnd_; }

 private:
  DialogFrontEnd* previous_;
  DialogFrontEnd* frontEnd_;
  std::unique_ptr<DialogFrontEnd> terminal_;
};

class OpenDialog {
 public:
  explicit OpenDialog(DialogSession* session) { g_openDialogs.push_back(session); }
  ~OpenDialog() { g_openDialogs.pop_back(); }
  OpenDialog(const OpenDialog&) = delete;
  OpenDialog& operator=(const OpenDialog&) = delete;
};

}  // namespace

ScopedDialogFrontEnd::ScopedDialogFrontEnd(DialogFrontEnd* frontEnd) : previous_(g_installed) {
  g_installed = frontEnd;
}

ScopedDialogFrontEnd::~ScopedDialogFrontEnd() { g_installed = previous_; }

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  if (moduleName == nullptr) return &g_processModule;
  const std::string_view name(moduleName);
  const std::string_view full(g_thisModule.fileName);
  // As on Windows, a name without extension means ".DLL".
  if (SameFileName(name, full) || SameFileName(name, full.substr(0, full.size() - 4))) return &g_thisModule;
  return nullptr;
}

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam) {
  const auto name = reinterpret_cast<uintptr_t>(templateName);
  if (instance != &g_thisModule || dialogProc == nullptr || name > 0xFFFF) return -1;
  if (owner != nullptr && Lookup(owner) == nullptr) return -1;
  const DialogTemplate* dialogTemplate = FindDialogTemplate(static_cast<int>(name));
  if (dialogTemplate == nullptr) return -1;
  FrontEndLease frontEnd;
  if (frontEnd.get() == nullptr) return -1;

  DialogSession session(*dialogTemplate, dialogProc);
  OpenDialog open(&session);
  HWND focus = nullptr;
  for (int i = 0; i < session.ControlCount() && focus == nullptr; ++i) {
    const DialogItemTemplate& item = session.ControlTemplate(i);
    if ((item.style & WS_TABSTOP) && (item.style & WS_DISABLED) == 0) focus = session.Control(item.id);
  }
  session.Deliver(WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam);
  while (!session.Ended()) {
    if (!frontEnd.get()->Act(session)) {
      // The user has gone: close the dialog as Escape would, and for good.
      session.Escape();
      if (!session.Ended()) session.End(IDCANCEL);
    }
  }
  return session.result();
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  DialogSession* session = DialogOf(dialog);
  if (session == nullptr) return FALSE;
  session->End(result);
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  DialogSession* session = DialogOf(dialog);
  return session != nullptr ? session->Control(id) : nullptr;
}

BOOL EnableWindow(HWND window, BOOL enable) {
  HWND__* target = Lookup(window);
  if (target == nullptr) return FALSE;
  const bool wasDisabled = !target->enabled;
  target->enabled = enable != FALSE;
  return wasDisabled ? TRUE : FALSE;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  HWND__* target = Lookup(window);
  if (target == nullptr) return FALSE;
  if (target->item == nullptr) {
    target->text = text != nullptr ? text : "";
    return TRUE;
  }
  return ReplaceWindowText(*target, text != nullptr ? text : "") ? TRUE : FALSE;
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount) {
  const HWND__* target = Lookup(window);
  return CopyWindowText(target != nullptr ? WindowText(*target) : std::string_view(), text, maxCount);
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int maxCount) {
  return static_cast<UINT>(GetWindowTextA(GetDlgItem(dialog, id), text, maxCount));
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND__* target = Lookup(window);
  if (target == nullptr) return 0;
  if (target->item == nullptr) return target->owner->Deliver(message, wParam, lParam);
  return ControlMessage(*target, message, wParam, lParam);
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageA(GetDlgItem(dialog, id), message, wParam, lParam);
}

// Shown by the front end serving the dialog; only the OK button exists.
int MessageBoxA(HWND /*owner*/, LPCSTR text, LPCSTR caption, UINT /*type*/) {
  FrontEndLease frontEnd;
  if (frontEnd.get() == nullptr) return 0;
  frontEnd.get()->ShowMessage(text != nullptr ? text : "", caption != nullptr ? caption : "Error");
  return IDOK;
}
