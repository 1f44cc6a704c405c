// How a program's stdout behaves: whether it is a terminal that can redraw
// lines, and whether it passes bytes through unchanged.
#pragma once

// True when stdout is a terminal that takes ANSI cursor movement; on a
// Windows console this also switches that on. False for files and pipes.
bool StdoutRedrawsInPlace();

// From now on stdout passes every byte as written: Windows otherwise turns
// each \n into \r\n, which would double the CR of CSV's CRLF.
void StdoutPassesBytes();
