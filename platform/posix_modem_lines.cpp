// The modem lines of the POSIX serial layer: RTS and DTR, by hand
// (EscapeCommFunction) and as a DCB sets them.

#include <sys/ioctl.h>

#include "platform/posix_port_table.h"
#include "platform/win32.h"

using posix_serial::DeviceIoctl;
using posix_serial::LivePortOf;
using posix_serial::Note;
using posix_serial::Port;

// Asserts or negates a modem line. Devices without the line (a
// pseudo-terminal answers ENOTTY) are left alone, as the Windows driver of a
// port without those lines would.
void posix_serial::SetModemLine(int fd, int line, bool on) {
  int bits = line;
  DeviceIoctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

BOOL EscapeCommFunction(HANDLE handle, DWORD function) {
  Port* port = LivePortOf(handle);
  if (port == nullptr) return FALSE;
  int bits = 0;
  unsigned long request = 0;
  switch (function) {
    case SETRTS:
      bits = TIOCM_RTS;
      request = TIOCMBIS;
      break;
    case CLRRTS:
      bits = TIOCM_RTS;
      request = TIOCMBIC;
      break;
    case SETDTR:
      bits = TIOCM_DTR;
      request = TIOCMBIS;
      break;
    case CLRDTR:
      bits = TIOCM_DTR;
      request = TIOCMBIC;
      break;
    default:
      return FALSE;
  }
  if (bits == TIOCM_RTS && port->kernelRs485) {
    // Switching RTS by hand would fight the kernel, which drops it only
    // when the last bit is out.
    if (!port->kernelRs485Told) {
      Note("KOVRIN> RS-485 mode of the COM port is on: the kernel switches RTS");
      port->kernelRs485Told = true;
    }
    return TRUE;
  }
  return DeviceIoctl(port->fd, request, &bits) == 0 ? TRUE : FALSE;
}
