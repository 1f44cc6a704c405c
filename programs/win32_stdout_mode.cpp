#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "programs/stdout_mode.h"

bool StdoutRedrawsInPlace() {
  // Consoles before Windows 10 refuse the mode: they get plain lines.
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode)) return false;
  const DWORD kVirtualTerminalProcessing = 0x0004;
  return (mode & kVirtualTerminalProcessing) != 0 || SetConsoleMode(out, mode | kVirtualTerminalProcessing);
}

void StdoutPassesBytes() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}
