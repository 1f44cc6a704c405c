// The headless dialog engine: the Win32 dialog subset of platform/win32.h
// for builds without Windows.
//
// DialogBoxParamA builds the controls of a registered template
// (dialog/dialog_template.h), sends WM_INITDIALOG to the dialog procedure
// and then hands the dialog to a front end, which plays the user. The front
// end sees the controls and acts only as a user can: typing into an edit,
// choosing a combo box item, scrolling a list box, clicking a button or a
// check box, pressing a scroll bar's arrows, pressing Escape. Each action
// produces the messages Windows would send to the dialog procedure; a
// disabled control refuses every action. The dialog runs until the procedure
// calls EndDialog.
//
// The front end is the one installed with ScopedDialogFrontEnd (the scripted
// one of the tests, tests/support/dialog_script.h), otherwise the interactive
// one on the controlling terminal (dialog/dialog_terminal.h). With neither,
// DialogBoxParamA fails with -1 and MessageBoxA with 0.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dialog/dialog_template.h"
#include "platform/win32.h"

enum class DialogControlKind {
  kEdit,
  kComboBox,
  kListBox,
  kCheckBox,
  kPushButton,
  kGroupBox,
  kScrollBar,
  kStatic,
  kOther,
};

// One running modal dialog as its user sees and touches it. Controls are
// named by id; where ids repeat, the first in tab order is meant.
class DialogSession {
 public:
  DialogSession(const DialogTemplate& dialogTemplate, DLGPROC procedure);
  ~DialogSession();
  DialogSession(const DialogSession&) = delete;
  DialogSession& operator=(const DialogSession&) = delete;

  // ---- what the user sees ------------------------------------------------
  const DialogTemplate& dialogTemplate() const { return template_; }
  int ControlCount() const;  // every control, in tab order
  const DialogItemTemplate& ControlTemplate(int index) const;
  DialogControlKind Kind(int index) const;
  bool IsEnabled(int id) const;
  std::string Text(int id) const;  // a combo box shows its selected item
  bool IsChecked(int id) const;
  std::vector<std::string> Items(int id) const;
  int Selection(int id) const;  // -1 for none
  int TopIndex(int id) const;
  bool Ended() const { return ended_; }

  // ---- what the user does ------------------------------------------------
  // Each returns false and does nothing when the control is missing,
  // disabled or of another kind, or the item does not exist.
  bool Type(int id, std::string_view text);  // replaces the edit's text
  // Selects the item equal to text (ignoring case), else the first item
  // that starts with it.
  bool Choose(int id, std::string_view text);
  bool ScrollListTo(int id, std::string_view text);  // brings the item to the top
  bool ScrollList(int id, int lines);                // positive: further down
  bool Click(int id);                                // button or check box
  bool Arrow(int id, bool up);                       // vertical scroll bar arrows
  void Escape();

  // ---- the engine's side -------------------------------------------------
  HWND window();
  HWND Find(HWND window);  // window if it belongs to this dialog, else null
  HWND Control(int id);
  LRESULT Deliver(UINT message, WPARAM wParam, LPARAM lParam);  // to the procedure
  void End(INT_PTR result);
  INT_PTR result() const { return result_; }

 private:
  HWND__* Lookup(int id) const;
  HWND__* ControlFor(int id, DialogControlKind kind) const;
  void Notify(HWND__* control, WORD code);

  const DialogTemplate& template_;
  DLGPROC procedure_;
  std::unique_ptr<HWND__> window_;
  std::vector<std::unique_ptr<HWND__>> controls_;
  bool ended_ = false;
  INT_PTR result_ = 0;
};

// The user's side of a dialog.
class DialogFrontEnd {
 public:
  virtual ~DialogFrontEnd() = default;
  // Performs the user's next action on the running dialog. False: the user
  // has nothing more to do; the engine then presses Escape and, should the
  // dialog still not end, closes it with IDCANCEL.
  virtual bool Act(DialogSession& session) = 0;
  // Shows a message box until the user acknowledges it.
  virtual void ShowMessage(const char* text, const char* caption) = 0;
};

// Installs a front end for its lifetime (restoring the previous one).
class ScopedDialogFrontEnd {
 public:
  explicit ScopedDialogFrontEnd(DialogFrontEnd* frontEnd);
  ~ScopedDialogFrontEnd();
  ScopedDialogFrontEnd(const ScopedDialogFrontEnd&) = delete;
  ScopedDialogFrontEnd& operator=(const ScopedDialogFrontEnd&) = delete;

 private:
  DialogFrontEnd* previous_;
};
