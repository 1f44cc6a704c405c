// What the POSIX serial layer offers for testing the layer itself: the
// device requests it makes can be routed to a stand-in UART, and the line
// settings a device holds can be read back from the kernel. Nothing here
// changes what the driver does unless a hook is set.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// Every request the layer makes of a device beyond reading and setting its
// termios (TIOCOUTQ, TIOCSERGETLSR, TIOCGSERIAL, TIOCGRS485, termios2, modem
// lines, exclusive use, tcdrain as TCSBRK 1 ...) goes to the hook while one is set, in
// place of ioctl(2): a test plays a UART that a pseudo-terminal is not.
// Null restores ioctl(2). Set only while no line is in a call: every line
// reads it without a lock.
using SerialIoctlHook = int (*)(int fd, unsigned long request, void* argument);
void SerialSetIoctlHook(SerialIoctlHook hook);

// The line settings the device behind an open handle holds, as the kernel
// reports them (a pseudo-terminal keeps 8 bits without parity enable
// whatever it is told).
struct SerialDeviceView {
  uint32_t baud;
  int byteSize;
  bool parityEnable;
  bool parityOdd;
  bool markSpace;  // CMSPAR
  bool twoStopBits;
  bool inputParityCheck;  // INPCK
  bool rtsCtsFlow;        // CRTSCTS
  bool raw;               // no line editing, echo, signals, translation or flow control
  bool exclusive;         // TIOCEXCL
};
// False when the handle is not an open terminal.
bool SerialViewDevice(HANDLE handle, SerialDeviceView* view);
