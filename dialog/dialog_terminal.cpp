#include "dialog/dialog_terminal.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/controlling_terminal.h"

namespace {

constexpr size_t kMaxLine = 1024;  // longer input lines are cut here

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// A control's own text as a user reads it: without mnemonic marks and
// without a label's closing colon.
std::string Plain(const char* text) {
  std::string plain;
  for (const char* c = text != nullptr ? text : ""; *c != '\0'; ++c) {
    if (*c != '&') plain += *c;
  }
  while (!plain.empty() && (plain.back() == ':' || plain.back() == ' ')) plain.pop_back();
  return plain;
}

// Plain formatting: std::to_string would export library template code from
// the module.
std::string Number(long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%ld", value);
  return text;
}

bool Overlap(int a, int aLength, int b, int bLength) { return a < b + bLength && b < a + aLength; }

// The label of a control: the nearest static text on its left in the same
// row, or above it in the same column, as the eye pairs them.
std::string LabelOf(const DialogSession& session, const DialogItemTemplate& control) {
  int best = -1;
  int bestDistance = 0;
  for (int i = 0; i < session.ControlCount(); ++i) {
    if (session.Kind(i) != DialogControlKind::kStatic) continue;
    const DialogItemTemplate& label = session.ControlTemplate(i);
    int distance = -1;
    if (Overlap(label.y, label.cy, control.y, control.cy) && label.x + label.cx <= control.x) {
      distance = control.x - (label.x + label.cx);
    } else if (Overlap(label.x, label.cx, control.x, control.cx) && label.y + label.cy <= control.y) {
      distance = control.y - (label.y + label.cy);
    }
    if (distance >= 0 && (best < 0 || distance < bestDistance)) {
      best = i;
      bestDistance = distance;
    }
  }
  if (best >= 0) return Plain(session.ControlTemplate(best).text);
  return "Control " + Number(control.id);
}

// A scroll bar serves as the arrows of the control on its left.
std::string ArrowsLabel(const DialogSession& session, const DialogItemTemplate& bar) {
  int best = -1;
  for (int i = 0; i < session.ControlCount(); ++i) {
    const DialogControlKind kind = session.Kind(i);
    if (kind == DialogControlKind::kStatic || kind == DialogControlKind::kGroupBox ||
        kind == DialogControlKind::kScrollBar) {
      continue;
    }
    const DialogItemTemplate& c = session.ControlTemplate(i);
    if (!Overlap(c.y, c.cy, bar.y, bar.cy) || c.x + c.cx > bar.x) continue;
    if (best < 0 || c.x > session.ControlTemplate(best).x) best = i;
  }
  if (best < 0) return "Arrows";
  return LabelOf(session, session.ControlTemplate(best)) + " arrows";
}

struct Field {
  int id;
  DialogControlKind kind;
  std::string label;
};

std::vector<Field> FieldsOf(const DialogSession& session) {
  std::vector<Field> fields;
  for (int i = 0; i < session.ControlCount(); ++i) {
    const DialogItemTemplate& item = session.ControlTemplate(i);
    switch (const DialogControlKind kind = session.Kind(i)) {
      case DialogControlKind::kEdit:
      case DialogControlKind::kComboBox:
      case DialogControlKind::kListBox:
        fields.push_back({item.id, kind, LabelOf(session, item)});
        break;
      case DialogControlKind::kCheckBox:
      case DialogControlKind::kPushButton:
        fields.push_back({item.id, kind, Plain(item.text)});
        break;
      case DialogControlKind::kScrollBar:
        fields.push_back({item.id, kind, ArrowsLabel(session, item)});
        break;
      default:
        break;
    }
  }
  return fields;
}

class TerminalDialogFrontEnd : public DialogFrontEnd {
 public:
  explicit TerminalDialogFrontEnd(ControllingTerminal* terminal) : terminal_(terminal) {}

  ~TerminalDialogFrontEnd() override { CloseControllingTerminal(terminal_); }

  TerminalDialogFrontEnd(const TerminalDialogFrontEnd&) = delete;
  TerminalDialogFrontEnd& operator=(const TerminalDialogFrontEnd&) = delete;

  bool Act(DialogSession& session) override {
    const std::vector<Field> fields = FieldsOf(session);
    ShowForm(session, fields);
    std::string line;
    if (!ReadLine(line)) return false;
    Perform(session, fields, line);
    if (session.Ended()) Write("(" + Plain(session.dialogTemplate().caption) + " closed)\n");
    return true;
  }

  void ShowMessage(const char* text, const char* caption) override {
    Write("\n  *** " + std::string(caption) + ": " + text + "\n  Press Enter to continue. ");
    std::string ignored;
    ReadLine(ignored);
  }

 private:
  void ShowForm(const DialogSession& session, const std::vector<Field>& fields) {
    std::string form = "\n== " + Plain(session.dialogTemplate().caption) + " ==\n";
    for (size_t i = 0; i < fields.size(); ++i) {
      const Field& field = fields[i];
      std::string value = Shown(session, field);
      if (!session.IsEnabled(field.id)) value += "  (disabled)";
      char number[24];
      std::snprintf(number, sizeof number, "%3zu  ", i + 1);
      std::string label = field.label;
      if (field.kind != DialogControlKind::kCheckBox && field.kind != DialogControlKind::kPushButton) {
        label += ' ';
        while (label.size() < 22) label += '.';
        label += ' ';
      }
      form += number + label + value + "\n";
    }
    form += "Field number, optionally followed by a value (e.g. \"3 0010\"); \"esc\" cancels.\n> ";
    Write(form);
  }

  static std::string Shown(const DialogSession& session, const Field& field) {
    switch (field.kind) {
      case DialogControlKind::kEdit:
        return "[" + session.Text(field.id) + "]";
      case DialogControlKind::kComboBox: {
        const std::string text = session.Text(field.id);
        return text.empty() ? "(none chosen)" : text;
      }
      case DialogControlKind::kListBox: {
        const std::vector<std::string> items = session.Items(field.id);
        const auto top = static_cast<size_t>(session.TopIndex(field.id));
        return top < items.size() ? "[" + items[top] + "]" : "(empty)";
      }
      case DialogControlKind::kCheckBox:
        return "";
      case DialogControlKind::kScrollBar:
        return "up / down";
      default:
        return "";
    }
  }

  void Perform(DialogSession& session, const std::vector<Field>& fields, const std::string& input) {
    const std::string line = Trim(input);
    if (line.find('\x1b') != std::string::npos || Lower(line) == "esc") {
      session.Escape();
      return;
    }
    if (line.empty()) return;
    char* end = nullptr;
    const long number = std::strtol(line.c_str(), &end, 10);
    if (end == line.c_str() || (*end != '\0' && *end != ' ' && *end != '\t')) {
      Write("Type the number of a field, or esc.\n");
      return;
    }
    if (number < 1 || static_cast<size_t>(number) > fields.size()) {
      Write("There is no field " + Number(number) + ".\n");
      return;
    }
    const Field& field = fields[static_cast<size_t>(number - 1)];
    if (!session.IsEnabled(field.id)) {
      Write(field.label + " is disabled.\n");
      return;
    }
    std::string value = Trim(end);
    const bool given = !value.empty();
    bool done = true;
    switch (field.kind) {
      case DialogControlKind::kEdit:
        if (!given && !Ask(field.label + ": ", value)) return;
        done = session.Type(field.id, value);
        break;
      case DialogControlKind::kComboBox:
        if (!given) {
          std::string items;
          for (const std::string& item : session.Items(field.id)) items += "      " + item + "\n";
          Write(items);
          if (!Ask(field.label + " (the item or its first characters): ", value)) return;
        }
        done = session.Choose(field.id, value);
        break;
      case DialogControlKind::kListBox:
        if (!given) {
          std::string items = "     ";
          for (const std::string& item : session.Items(field.id)) items += " " + item;
          Write(items + "\n");
          if (!Ask(field.label + " (an item, + or -): ", value)) return;
        }
        if (value == "+" || value == "-") {
          done = session.ScrollList(field.id, value == "+" ? 1 : -1);
        } else {
          done = session.ScrollListTo(field.id, value);
        }
        break;
      case DialogControlKind::kCheckBox:
      case DialogControlKind::kPushButton:
        done = session.Click(field.id);
        break;
      case DialogControlKind::kScrollBar: {
        if (!given && !Ask(field.label + " (up or down): ", value)) return;
        const std::string way = Lower(value);
        if (way == "up" || way == "u" || way == "+") {
          done = session.Arrow(field.id, true);
        } else if (way == "down" || way == "d" || way == "-") {
          done = session.Arrow(field.id, false);
        } else {
          done = false;
        }
        break;
      }
      default:
        done = false;
        break;
    }
    if (!done) Write("Not accepted: \"" + value + "\".\n");
  }

  bool Ask(const std::string& prompt, std::string& answer) {
    Write(prompt);
    if (!ReadLine(answer)) return false;
    answer = Trim(answer);
    return true;
  }

  // One line without its end; false at the end of input.
  bool ReadLine(std::string& line) {
    line.clear();
    for (;;) {
      char c = 0;
      if (!ReadTerminalChar(terminal_, c)) return false;
      if (c == '\n') return true;
      if (line.size() < kMaxLine) line += c;
    }
  }

  void Write(const std::string& text) { WriteTerminal(terminal_, text.data(), text.size()); }

  ControllingTerminal* terminal_;
};

}  // namespace

std::unique_ptr<DialogFrontEnd> OpenTerminalDialogFrontEnd() {
  ControllingTerminal* terminal = OpenControllingTerminal();
  if (terminal == nullptr) return nullptr;
  return std::make_unique<TerminalDialogFrontEnd>(terminal);
}
