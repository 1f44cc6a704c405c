// The exclusive open of the POSIX serial layer: CreateFileA on a port name
// takes the device for exclusive use and learns what kind of device it is,
// releasing what earlier opens of a device gone away left behind;
// CloseHandle lets go.

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include "platform/port_names.h"
#include "platform/posix_port_table.h"
#include "platform/win32.h"

using posix_serial::DeviceIoctl;
using posix_serial::g_generation;
using posix_serial::g_portPaths;
using posix_serial::g_ports;
using posix_serial::g_portsMutex;
using posix_serial::GenerationOf;
using posix_serial::HandleOf;
using posix_serial::HungUp;
using posix_serial::kGenerations;
using posix_serial::kMaxPorts;
using posix_serial::kPortPathSize;
using posix_serial::Port;
using posix_serial::PortOf;
using posix_serial::ReleasePortFd;
using posix_serial::SetState;
using posix_serial::SlotState;
using posix_serial::WaitFor;

namespace {

bool IsPseudoTerminalSlave(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned int deviceMajor = major(st.st_rdev);
  return deviceMajor >= 136 && deviceMajor <= 143;  // Unix98 pty slaves
}

// A UART (or a USB adapter posing as one) answers TIOCGSERIAL; a
// pseudo-terminal does not. Its receive latency is asked down to the least
// it has: USB adapters otherwise hold received bytes up to 16 ms. Devices
// that refuse keep what they have.
bool AskLowLatency(int fd) {
  serial_struct serial;
  std::memset(&serial, 0, sizeof serial);
  if (DeviceIoctl(fd, TIOCGSERIAL, &serial) != 0) return false;
  if ((serial.flags & ASYNC_LOW_LATENCY) == 0) {
    serial.flags |= ASYNC_LOW_LATENCY;
    DeviceIoctl(fd, TIOCSSERIAL, &serial);
  }
  return true;
}

// True when the kernel's own RS-485 mode is on: it raises RTS for each frame
// and drops it once the last bit is out.
bool KernelRs485(int fd) {
  serial_rs485 rs485;
  std::memset(&rs485, 0, sizeof rs485);
  return DeviceIoctl(fd, TIOCGRS485, &rs485) == 0 && (rs485.flags & SER_RS485_ENABLED) != 0;
}

// Before a new open of path takes a slot (the caller holds the table lock):
// releases the descriptors of earlier opens of the same path whose device
// went away while nobody used them, as the driver's ReOpenCom leaves them.
// Ports of other paths belong to other lines, whose threads may be in a
// call on them right now: closed under such a call, the descriptor's number
// could reach another device. Their own next read or write, or their
// CloseHandle, releases them.
void SweepGoneDevices(const char* path) {
  for (int slot = 0; slot < kMaxPorts; ++slot) {
    Port& port = g_ports[slot];
    if (port.state != SlotState::kLive || !port.isTerminal || std::strcmp(g_portPaths[slot], path) != 0) {
      continue;
    }
    if (!HungUp(WaitFor(port.fd, 0, 0))) continue;
    SetState(port, SlotState::kGone);
    ReleasePortFd(&port);
  }
}

// A free slot, else the slot of a device that went away; -1 when none.
int FreeSlot() {
  for (int slot = 0; slot < kMaxPorts; ++slot) {
    if (g_ports[slot].state == SlotState::kFree) return slot;
  }
  for (int slot = 0; slot < kMaxPorts; ++slot) {
    if (g_ports[slot].state == SlotState::kGone) {
      // Left behind by its line: a full table reaches it only after every
      // other slot.
      ReleasePortFd(&g_ports[slot]);
      return slot;
    }
  }
  return -1;
}

}  // namespace

// Whether the device is held for exclusive use (TIOCGEXCL); not when the
// kernel cannot tell.
bool posix_serial::HeldExclusive(int fd) {
  int exclusive = 0;
  return DeviceIoctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

HANDLE CreateFileA(LPCSTR name, DWORD, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  char path[kPortPathSize];
  if (!MapPortName(name, path, sizeof path)) return INVALID_HANDLE_VALUE;

  std::lock_guard<std::mutex> lock(g_portsMutex);
  const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  // An adapter plugged in again may come back under the same name, held by
  // the descriptor of its former self until that is let go. Let go after the
  // open, so that the new device does not take over a descriptor number
  // another line's thread may still be about to use.
  SweepGoneDevices(path);
  const int slot = FreeSlot();
  if (slot < 0) {
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  const bool isTerminal = isatty(fd) != 0;
  if (isTerminal && shareMode == 0) {
    // Exclusive use: flock keeps out every cooperating opener (root
    // included), TIOCEXCL keeps out everyone else but root. A device that
    // refuses TIOCEXCL is still opened: the lock is held already.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      close(fd);
      return INVALID_HANDLE_VALUE;
    }
    DeviceIoctl(fd, TIOCEXCL, nullptr);
  }
  if (isTerminal) {
    termios raw;
    if (tcgetattr(fd, &raw) == 0) {
      cfmakeraw(&raw);
      raw.c_cflag |= CLOCAL | CREAD;
      raw.c_cc[VMIN] = 0;
      raw.c_cc[VTIME] = 0;
      tcsetattr(fd, TCSANOW, &raw);
    }
  }

  // The generation first: an old handle of the slot is refused from now on.
  g_generation[slot].store((GenerationOf(slot) + 1) % kGenerations, std::memory_order_relaxed);
  Port& port = g_ports[slot];
  port = Port();
  SetState(port, SlotState::kLive);
  port.fd = fd;
  std::snprintf(g_portPaths[slot], sizeof g_portPaths[slot], "%s", path);
  port.isTerminal = isTerminal;
  port.isPseudoTerminal = isTerminal && IsPseudoTerminalSlave(fd);
  const bool uart = isTerminal && AskLowLatency(fd);
  port.noOutputQueue = !isTerminal || (port.isPseudoTerminal && !uart);
  port.kernelRs485 = isTerminal && KernelRs485(fd);
  return HandleOf(slot);
}

BOOL CloseHandle(HANDLE handle) {
  std::lock_guard<std::mutex> lock(g_portsMutex);
  Port* port = PortOf(handle);
  if (port == nullptr) return FALSE;
  int result = 0;
  if (port->state == SlotState::kLive && port->isTerminal) DeviceIoctl(port->fd, TIOCNXCL, nullptr);
  if (port->fd >= 0) result = close(port->fd);
  *port = Port();
  return result == 0 ? TRUE : FALSE;
}
