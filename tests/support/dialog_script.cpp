#include "tests/support/dialog_script.h"

#include <utility>

namespace {

DialogStep Step(DialogStep::Action action, int id, std::string text = {}, int lines = 0) {
  DialogStep step;
  step.action = action;
  step.id = id;
  step.text = std::move(text);
  step.lines = lines;
  return step;
}

}  // namespace

DialogStep TypeInto(int id, std::string text) { return Step(DialogStep::Action::kType, id, std::move(text)); }
DialogStep ChooseItem(int id, std::string text) {
  return Step(DialogStep::Action::kChoose, id, std::move(text));
}
DialogStep ScrollListTo(int id, std::string text) {
  return Step(DialogStep::Action::kScrollListTo, id, std::move(text));
}
DialogStep ScrollList(int id, int lines) { return Step(DialogStep::Action::kScrollList, id, {}, lines); }
DialogStep ClickOn(int id) { return Step(DialogStep::Action::kClick, id); }
DialogStep ArrowUp(int id) { return Step(DialogStep::Action::kArrowUp, id); }
DialogStep ArrowDown(int id) { return Step(DialogStep::Action::kArrowDown, id); }
DialogStep PressEscape() { return Step(DialogStep::Action::kEscape, 0); }
DialogStep LookAt(std::function<void(const DialogSession&)> look) {
  DialogStep step = Step(DialogStep::Action::kLook, 0);
  step.look = std::move(look);
  return step;
}

bool ScriptedDialogFrontEnd::Act(DialogSession& session) {
  if (next_ >= steps_.size()) return false;
  const size_t index = next_++;
  const DialogStep& step = steps_[index];
  bool accepted = true;
  switch (step.action) {
    case DialogStep::Action::kType:
      accepted = session.Type(step.id, step.text);
      break;
    case DialogStep::Action::kChoose:
      accepted = session.Choose(step.id, step.text);
      break;
    case DialogStep::Action::kScrollListTo:
      accepted = session.ScrollListTo(step.id, step.text);
      break;
    case DialogStep::Action::kScrollList:
      accepted = session.ScrollList(step.id, step.lines);
      break;
    case DialogStep::Action::kClick:
      accepted = session.Click(step.id);
      break;
    case DialogStep::Action::kArrowUp:
    case DialogStep::Action::kArrowDown:
      accepted = session.Arrow(step.id, step.action == DialogStep::Action::kArrowUp);
      break;
    case DialogStep::Action::kEscape:
      session.Escape();
      break;
    case DialogStep::Action::kLook:
      if (step.look) step.look(session);
      break;
  }
  if (!accepted) refused_.push_back(index);
  return true;
}

void ScriptedDialogFrontEnd::ShowMessage(const char* text, const char* caption) {
  messages_.push_back({caption, text});
}

std::vector<std::string> ScriptedDialogFrontEnd::messageTexts() const {
  std::vector<std::string> texts;
  for (const ShownMessage& message : messages_) texts.push_back(message.text);
  return texts;
}

std::string Describe(const DialogStep& step) {
  static const char* const kNames[] = {"type",     "choose",     "scroll list to", "scroll list", "click",
                                       "arrow up", "arrow down", "escape",         "look"};
  std::string text = kNames[static_cast<int>(step.action)];
  if (step.id != 0) text += " " + std::to_string(step.id);
  if (!step.text.empty()) text += " '" + step.text + "'";
  return text;
}
