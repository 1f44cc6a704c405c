// The interactive front end: shows a dialog as a simple numbered form on the
// process's controlling terminal and reads the user's actions line by line
// ("3 0010" types 0010 into field 3, "5" clicks field 5, "esc" cancels).
// Message boxes are shown in the same place and acknowledged with Enter.
#pragma once

#include <memory>

#include "dialog/dialog_engine.h"

// Null when the process has no controlling terminal.
std::unique_ptr<DialogFrontEnd> OpenTerminalDialogFrontEnd();
