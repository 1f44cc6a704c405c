#include <windows.h>

#include <cstring>

#include "programs/port_problem.h"

std::string PortOpenProblem(const std::string& portName) {
  // COM10 and above open only in the device form; it serves every port.
  const std::string device = portName.compare(0, 3, "COM") == 0 || portName.compare(0, 3, "com") == 0
                                 ? "\\\\.\\" + portName
                                 : portName;
  const HANDLE handle = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    return {};
  }
  const DWORD code = GetLastError();
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                 sizeof text, nullptr);
  size_t length = std::strlen(text);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.')) {
    text[--length] = '\0';
  }
  return portName + ": " + (length > 0 ? text : "error " + std::to_string(code));
}
