// Tries to open a port the way the driver does, from a process of its own;
// exit code 0 when the open succeeded, 1 when it failed, 2 on bad usage.

#include "platform/win32.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HANDLE port = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (port == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(port);
  return 0;
}
