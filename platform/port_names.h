// How Windows port names reach devices on POSIX systems:
//   "/..."  a device path, used as it is;
//   "NUL"   the null device (any letter case);
//   "COMn"  (n from 1, any letter case) "$VPI_COM_DIR/comn" when VPI_COM_DIR
//           is set, else "/dev/ttyS<n-1>"; "\\.\COMn" and "COMn:" alike.
// Only meaningful where Windows is not the platform.
#pragma once

#include <cstddef>

// Writes the device path for name into path; false when the name names no
// device.
bool MapPortName(const char* name, char* path, size_t pathSize);
