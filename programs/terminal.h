// Whether a program's output goes to a terminal that can redraw lines.
#pragma once

// True when stdout is a terminal that takes ANSI cursor movement; on a
// Windows console this also switches that on. False for files and pipes.
bool StdoutRedrawsInPlace();
