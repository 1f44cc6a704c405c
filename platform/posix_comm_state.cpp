// The comm state of the POSIX serial layer: a DCB to termios (termios2 for a
// rate without a B constant) and back, and the line settings a device holds.

#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>
#include <termios.h>

#include "platform/posix_port_table.h"
#include "platform/posix_termios.h"
#include "platform/serial_device.h"
#include "platform/win32.h"

using posix_serial::DeviceIoctl;
using posix_serial::LivePortOf;
using posix_serial::Note;
using posix_serial::Port;

namespace {

// ---- line settings -----------------------------------------------------------
using posix_termios::KernelTermios2;

struct SizeEntry {
  BYTE bits;
  tcflag_t flag;
};
const SizeEntry kSizeTable[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};

// The output rate the device holds, in bits per second; 0 when unknown.
DWORD RateHeld(int fd, const termios& tio) {
  KernelTermios2 held;
  if (DeviceIoctl(fd, posix_termios::kGetTermios2, &held) == 0) return posix_termios::RateHeld(held);
  return posix_termios::RateOfCode(cfgetospeed(&tio));
}

}  // namespace

bool SerialViewDevice(HANDLE handle, SerialDeviceView* view) {
  Port* port = LivePortOf(handle);
  termios tio;
  if (port == nullptr || view == nullptr || tcgetattr(port->fd, &tio) != 0) return false;
  view->baud = RateHeld(port->fd, tio);
  view->byteSize = 8;
  for (const SizeEntry& entry : kSizeTable) {
    if ((tio.c_cflag & CSIZE) == entry.flag) view->byteSize = entry.bits;
  }
  view->parityEnable = (tio.c_cflag & PARENB) != 0;
  view->parityOdd = (tio.c_cflag & PARODD) != 0;
  view->markSpace = (tio.c_cflag & CMSPAR) != 0;
  view->twoStopBits = (tio.c_cflag & CSTOPB) != 0;
  view->inputParityCheck = (tio.c_iflag & INPCK) != 0;
  view->rtsCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
  view->raw = (tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 && (tio.c_oflag & OPOST) == 0 &&
              (tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF)) == 0 &&
              (tio.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD) && tio.c_cc[VMIN] == 0 &&
              tio.c_cc[VTIME] == 0;
  view->exclusive = posix_serial::HeldExclusive(port->fd);
  return true;
}

BOOL GetCommState(HANDLE handle, LPDCB dcb) {
  Port* port = LivePortOf(handle);
  if (port == nullptr || dcb == nullptr) return FALSE;
  termios tio;
  if (tcgetattr(port->fd, &tio) != 0) return FALSE;
  std::memset(dcb, 0, sizeof *dcb);
  dcb->DCBlength = sizeof(DCB);
  dcb->BaudRate = RateHeld(port->fd, tio);
  dcb->fBinary = 1;
  dcb->fParity = (tio.c_iflag & INPCK) ? 1 : 0;
  dcb->fOutxCtsFlow = (tio.c_cflag & CRTSCTS) ? 1 : 0;
  dcb->fDtrControl = port->dtrControl;
  dcb->fRtsControl = port->rtsControl;
  dcb->fOutX = (tio.c_iflag & IXON) ? 1 : 0;
  dcb->fInX = (tio.c_iflag & IXOFF) ? 1 : 0;
  dcb->ByteSize = 8;
  for (const SizeEntry& entry : kSizeTable) {
    if ((tio.c_cflag & CSIZE) == entry.flag) dcb->ByteSize = entry.bits;
  }
  if (!(tio.c_cflag & PARENB)) {
    dcb->Parity = NOPARITY;
  } else if (tio.c_cflag & CMSPAR) {
    dcb->Parity = (tio.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
  } else {
    dcb->Parity = (tio.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
  }
  if (port->framingSet) {
    dcb->ByteSize = port->byteSize;
    dcb->Parity = port->parity;
  }
  dcb->StopBits = !(tio.c_cflag & CSTOPB) ? ONESTOPBIT : dcb->ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
  dcb->XonChar = static_cast<char>(tio.c_cc[VSTART]);
  dcb->XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
  dcb->EofChar = static_cast<char>(tio.c_cc[VEOF]);
  return TRUE;
}

namespace {

// Applies the settings; a rate without a B constant goes through termios2.
// True when the device holds them (a pseudo-terminal may drop what it cannot
// carry) and runs at the rate asked, within what a UART tolerates.
bool ApplyLine(Port* port, termios asked, DWORD rate) {
  const int fd = port->fd;
  const tcflag_t drops = port->isPseudoTerminal ? posix_termios::kPseudoTerminalDrops : 0;
  KernelTermios2 before;
  const bool haveBefore = DeviceIoctl(fd, posix_termios::kGetTermios2, &before) == 0;
  speed_t code;
  if (posix_termios::CodeOfRate(rate, &code)) {
    cfsetispeed(&asked, code);
    cfsetospeed(&asked, code);
    if (tcsetattr(fd, TCSANOW, &asked) != 0) {
      termios held;
      if (errno != EINVAL || tcgetattr(fd, &held) != 0 || !posix_termios::HoldsAllBut(held, asked, drops)) {
        return false;
      }
    }
  } else {
    if (!haveBefore) return false;
    const KernelTermios2 wanted = posix_termios::WithRate(asked, before, rate);
    if (DeviceIoctl(fd, posix_termios::kSetTermios2, const_cast<KernelTermios2*>(&wanted)) != 0) {
      return false;
    }
  }
  KernelTermios2 after;
  if (DeviceIoctl(fd, posix_termios::kGetTermios2, &after) != 0) return true;
  if (posix_termios::RateClose(posix_termios::RateHeld(after), rate)) return true;
  // The device runs at a rate of its own choosing: put back what it had.
  if (haveBefore) DeviceIoctl(fd, posix_termios::kSetTermios2, &before);
  Note("KOVRIN> The COM port cannot run at %lu baud (it offers %lu)", static_cast<unsigned long>(rate),
       static_cast<unsigned long>(posix_termios::RateHeld(after)));
  return false;
}

}  // namespace

BOOL SetCommState(HANDLE handle, LPDCB dcb) {
  Port* port = LivePortOf(handle);
  if (port == nullptr || dcb == nullptr) return FALSE;
  if (dcb->BaudRate == 0) return FALSE;
  tcflag_t size = 0;
  for (const SizeEntry& entry : kSizeTable) {
    if (entry.bits == dcb->ByteSize) size = entry.flag;
  }
  if (size == 0 && dcb->ByteSize != 5) return FALSE;  // CS5 is 0
  if (dcb->Parity > SPACEPARITY) return FALSE;
  // As a Windows port takes them: one and a half stop bits only with 5-bit
  // characters, two only with longer ones. A UART's second stop bit is half
  // a bit long at 5 bits, so both are CSTOPB.
  const bool fiveBits = dcb->ByteSize == 5;
  const bool stopBitsFit = dcb->StopBits == ONESTOPBIT || (dcb->StopBits == ONE5STOPBITS && fiveBits) ||
                           (dcb->StopBits == TWOSTOPBITS && !fiveBits);
  if (!stopBitsFit) return FALSE;

  termios tio;
  if (tcgetattr(port->fd, &tio) != 0) return FALSE;
  cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  tio.c_cflag |= size | CLOCAL | CREAD;
  switch (dcb->Parity) {
    case ODDPARITY:
      tio.c_cflag |= PARENB | PARODD;
      break;
    case EVENPARITY:
      tio.c_cflag |= PARENB;
      break;
    case MARKPARITY:
      tio.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case SPACEPARITY:
      tio.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (dcb->StopBits != ONESTOPBIT) tio.c_cflag |= CSTOPB;
  if (dcb->fOutxCtsFlow || dcb->fRtsControl == RTS_CONTROL_HANDSHAKE) tio.c_cflag |= CRTSCTS;
  tio.c_iflag &= ~(INPCK | IXON | IXOFF);
  if (dcb->fParity) tio.c_iflag |= INPCK;
  if (dcb->fOutX) tio.c_iflag |= IXON;
  if (dcb->fInX) tio.c_iflag |= IXOFF;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (!ApplyLine(port, tio, dcb->BaudRate)) return FALSE;

  port->dtrControl = dcb->fDtrControl;
  port->rtsControl = dcb->fRtsControl;
  port->framingSet = true;
  port->byteSize = dcb->ByteSize;
  port->parity = dcb->Parity;
  posix_serial::SetModemLine(port->fd, TIOCM_DTR, dcb->fDtrControl != DTR_CONTROL_DISABLE);
  if (dcb->fRtsControl != RTS_CONTROL_HANDSHAKE && !port->kernelRs485) {
    posix_serial::SetModemLine(port->fd, TIOCM_RTS, dcb->fRtsControl == RTS_CONTROL_ENABLE);
  }
  return TRUE;
}
