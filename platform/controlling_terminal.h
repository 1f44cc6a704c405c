// The process's controlling terminal, for the dialog engine's terminal front
// end: opened in line mode with echo whatever mode the host left it in, and
// given back in that mode when closed. Only meaningful where Windows is not
// the platform.
#pragma once

#include <cstddef>

struct ControllingTerminal;

// Null when the process has no controlling terminal.
ControllingTerminal* OpenControllingTerminal();
// Restores the terminal's mode and closes it.
void CloseControllingTerminal(ControllingTerminal* terminal);
// One typed character: true with it in c; false at the end of input or on
// an error. Interrupted reads are retried.
bool ReadTerminalChar(ControllingTerminal* terminal, char& c);
// Writes all of text unless the terminal stops taking it. Interrupted
// writes are retried.
void WriteTerminal(ControllingTerminal* terminal, const char* text, size_t size);
