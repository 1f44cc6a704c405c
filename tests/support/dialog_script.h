// The scripted front end: plays a fixed list of user actions on the dialog
// and records the message boxes it is shown. The test seam of the dialogs.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "dialog/dialog_engine.h"

struct DialogStep {
  enum class Action {
    kType,
    kChoose,
    kScrollListTo,
    kScrollList,
    kClick,
    kArrowUp,
    kArrowDown,
    kEscape,
    kLook
  };
  Action action = Action::kLook;
  int id = 0;
  std::string text;                                // kType, kChoose, kScrollListTo
  int lines = 0;                                   // kScrollList
  std::function<void(const DialogSession&)> look;  // kLook: sees the dialog, touches nothing
};

DialogStep TypeInto(int id, std::string text);
DialogStep ChooseItem(int id, std::string text);
DialogStep ScrollListTo(int id, std::string text);
DialogStep ScrollList(int id, int lines);
DialogStep ClickOn(int id);
DialogStep ArrowUp(int id);
DialogStep ArrowDown(int id);
DialogStep PressEscape();
DialogStep LookAt(std::function<void(const DialogSession&)> look);

struct ShownMessage {
  std::string caption;
  std::string text;
  bool operator==(const ShownMessage&) const = default;
};

class ScriptedDialogFrontEnd : public DialogFrontEnd {
 public:
  explicit ScriptedDialogFrontEnd(std::vector<DialogStep> steps) : steps_(std::move(steps)) {}

  bool Act(DialogSession& session) override;
  void ShowMessage(const char* text, const char* caption) override;

  const std::vector<ShownMessage>& messages() const { return messages_; }
  std::vector<std::string> messageTexts() const;
  // Indices of the steps the dialog did not accept (a disabled or missing
  // control, an item that does not exist).
  const std::vector<size_t>& refused() const { return refused_; }
  size_t stepsLeft() const { return steps_.size() - next_; }

 private:
  std::vector<DialogStep> steps_;
  size_t next_ = 0;
  std::vector<ShownMessage> messages_;
  std::vector<size_t> refused_;
};

// For an assertion's message: the step's action and control.
std::string Describe(const DialogStep& step);
