#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/port_names.h"

bool MapPortName(const char* name, char* path, size_t pathSize) {
  if (name == nullptr || pathSize == 0) return false;
  if (name[0] == '/') {
    const int n = std::snprintf(path, pathSize, "%s", name);
    return n > 0 && static_cast<size_t>(n) < pathSize;
  }
  // Win32 drops trailing blanks from a name (a host may pad its fixed-width
  // field: "COM1 "); the device form "\\.\COMn" keeps them, as there.
  char trimmed[64];
  if (std::strncmp(name, "\\\\.\\", 4) != 0) {
    size_t length = std::strlen(name);
    while (length > 0 && name[length - 1] == ' ') --length;
    if (length >= sizeof trimmed) return false;
    std::memcpy(trimmed, name, length);
    trimmed[length] = '\0';
    name = trimmed;
  }
  if (strcasecmp(name, "NUL") == 0) {
    std::snprintf(path, pathSize, "/dev/null");
    return true;
  }
  // "\\.\COMn" names the device itself, as hosts write COM10 and above;
  // "COMn:" is the old device form. Both reach what "COMn" reaches.
  const bool devicePrefix = std::strncmp(name, "\\\\.\\", 4) == 0;
  if (devicePrefix) name += 4;
  if (strncasecmp(name, "COM", 3) != 0) return false;
  const char* digits = name + 3;
  if (*digits < '1' || *digits > '9') return false;
  unsigned long number = 0;
  for (const char* d = digits; *d != '\0'; ++d) {
    if (*d == ':' && d[1] == '\0' && !devicePrefix) break;
    if (*d < '0' || *d > '9' || number > 100000) return false;
    number = number * 10 + static_cast<unsigned long>(*d - '0');
  }
  const char* dir = std::getenv("VPI_COM_DIR");
  const int n = (dir != nullptr && dir[0] != '\0')
                    ? std::snprintf(path, pathSize, "%s/com%lu", dir, number)
                    : std::snprintf(path, pathSize, "/dev/ttyS%lu", number - 1);
  return n > 0 && static_cast<size_t>(n) < pathSize;
}
