#include "dialog/dialog_engine.h"

#include "dialog/dialog_window.h"

namespace {

char UpcaseAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

WPARAM CommandParam(int id, WORD code) { return MAKEWPARAM(static_cast<WORD>(id), code); }

}  // namespace

DialogSession::DialogSession(const DialogTemplate& dialogTemplate, DLGPROC procedure)
    : template_(dialogTemplate), procedure_(procedure), window_(std::make_unique<HWND__>()) {
  window_->owner = this;
  window_->style = dialogTemplate.style;
  window_->text = dialogTemplate.caption != nullptr ? dialogTemplate.caption : "";
  for (const DialogItemTemplate& item : dialogTemplate.items) {
    auto control = std::make_unique<HWND__>();
    control->owner = this;
    control->item = &item;
    control->kind = ControlKindOf(item);
    control->style = item.style;
    control->enabled = (item.style & WS_DISABLED) == 0;
    if (control->kind != DialogControlKind::kComboBox && control->kind != DialogControlKind::kListBox) {
      control->text = item.text != nullptr ? item.text : "";
    }
    controls_.push_back(std::move(control));
  }
}

DialogSession::~DialogSession() = default;

int DialogSession::ControlCount() const { return static_cast<int>(controls_.size()); }

const DialogItemTemplate& DialogSession::ControlTemplate(int index) const {
  return *controls_.at(static_cast<size_t>(index))->item;
}

DialogControlKind DialogSession::Kind(int index) const {
  return controls_.at(static_cast<size_t>(index))->kind;
}

HWND DialogSession::window() { return window_.get(); }

HWND DialogSession::Find(HWND window) {
  if (window == nullptr) return nullptr;
  if (window == window_.get()) return window;
  for (const auto& control : controls_) {
    if (control.get() == window) return window;
  }
  return nullptr;
}

HWND__* DialogSession::Lookup(int id) const {
  for (const auto& control : controls_) {
    if (control->item->id == id) return control.get();
  }
  return nullptr;
}

HWND DialogSession::Control(int id) { return Lookup(id); }

HWND__* DialogSession::ControlFor(int id, DialogControlKind kind) const {
  HWND__* control = Lookup(id);
  if (control == nullptr || control->kind != kind || !control->enabled) return nullptr;
  return control;
}

bool DialogSession::IsEnabled(int id) const {
  const HWND__* control = Lookup(id);
  return control != nullptr && control->enabled;
}

std::string DialogSession::Text(int id) const {
  const HWND__* control = Lookup(id);
  return control != nullptr ? std::string(WindowText(*control)) : std::string();
}

bool DialogSession::IsChecked(int id) const {
  const HWND__* control = Lookup(id);
  return control != nullptr && control->check == BST_CHECKED;
}

std::vector<std::string> DialogSession::Items(int id) const {
  const HWND__* control = Lookup(id);
  return control != nullptr ? control->items : std::vector<std::string>();
}

int DialogSession::Selection(int id) const {
  const HWND__* control = Lookup(id);
  return control != nullptr ? control->selection : -1;
}

int DialogSession::TopIndex(int id) const {
  const HWND__* control = Lookup(id);
  return control != nullptr ? control->topIndex : 0;
}

LRESULT DialogSession::Deliver(UINT message, WPARAM wParam, LPARAM lParam) {
  return procedure_(window_.get(), message, wParam, lParam);
}

void DialogSession::End(INT_PTR result) {
  ended_ = true;
  result_ = result;
}

void DialogSession::Notify(HWND__* control, WORD code) {
  Deliver(WM_COMMAND, CommandParam(control->item->id, code), reinterpret_cast<LPARAM>(control));
}

bool DialogSession::Type(int id, std::string_view text) {
  HWND__* edit = ControlFor(id, DialogControlKind::kEdit);
  if (edit == nullptr) return false;
  edit->text.assign(text);
  if (edit->style & ES_UPPERCASE) {
    for (char& c : edit->text) c = UpcaseAscii(c);
  }
  Notify(edit, EN_CHANGE);
  return true;
}

bool DialogSession::Choose(int id, std::string_view text) {
  HWND__* combo = ControlFor(id, DialogControlKind::kComboBox);
  if (combo == nullptr) return false;
  const int index = FindItem(*combo, text);
  if (index < 0) return false;
  combo->selection = index;
  Notify(combo, CBN_SELCHANGE);
  return true;
}

bool DialogSession::ScrollListTo(int id, std::string_view text) {
  HWND__* list = ControlFor(id, DialogControlKind::kListBox);
  if (list == nullptr) return false;
  const int index = FindItem(*list, text);
  if (index < 0) return false;
  // Scrolling moves the view only: the list box tells its parent nothing.
  list->topIndex = index;
  return true;
}

bool DialogSession::ScrollList(int id, int lines) {
  HWND__* list = ControlFor(id, DialogControlKind::kListBox);
  if (list == nullptr || list->items.empty()) return false;
  const long last = static_cast<long>(list->items.size()) - 1;
  long top = static_cast<long>(list->topIndex) + lines;
  if (top < 0) top = 0;
  if (top > last) top = last;
  list->topIndex = static_cast<int>(top);
  return true;
}

bool DialogSession::Click(int id) {
  HWND__* control = Lookup(id);
  if (control == nullptr || !control->enabled) return false;
  if (control->kind == DialogControlKind::kCheckBox) {
    if ((control->style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
      control->check = control->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    }
  } else if (control->kind != DialogControlKind::kPushButton) {
    return false;
  }
  Notify(control, BN_CLICKED);
  return true;
}

bool DialogSession::Arrow(int id, bool up) {
  HWND__* bar = ControlFor(id, DialogControlKind::kScrollBar);
  if (bar == nullptr || (bar->style & SBS_VERT) == 0) return false;
  // Pressing an arrow, then releasing the mouse.
  const LPARAM from = reinterpret_cast<LPARAM>(bar);
  Deliver(WM_VSCROLL, MAKEWPARAM(up ? SB_LINEUP : SB_LINEDOWN, 0), from);
  if (!ended_) Deliver(WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), from);
  return true;
}

void DialogSession::Escape() {
  Deliver(WM_COMMAND, CommandParam(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(Control(IDCANCEL)));
}
