// The Win32 serial subset over POSIX termios, with Windows semantics.

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include "platform/os_notes.h"
#include "platform/port_names.h"
#include "platform/serial_device.h"
#include "platform/posix_termios.h"
#include "platform/win32.h"

namespace {

constexpr size_t kPortPathSize = 256;

std::atomic<OsNoteSink> g_noteSink{nullptr};

void Note(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Note(const char* format, ...) {
  const OsNoteSink sink = g_noteSink.load(std::memory_order_acquire);
  if (sink == nullptr) return;
  char note[160];
  va_list args;
  va_start(args, format);
  std::vsnprintf(note, sizeof note, format, args);
  va_end(args);
  sink(note);
}

// ---- handles ---------------------------------------------------------------
// Handles are small table slots, so a stale or garbage handle is refused
// instead of followed.
// What a slot holds: nothing, a port, or a port whose device went away
// (unplugged, far end closed): every later call on its handle fails, and its
// descriptor is closed (fd -1) by the line's own next read or write, by
// another open of the same path, or by CloseHandle at the latest.
enum class SlotState : uint8_t { kFree, kLive, kGone };

struct alignas(64) Port {  // a slot is found by a shift
  SlotState state = SlotState::kFree;
  int fd = -1;
  bool isTerminal = false;
  COMMTIMEOUTS timeouts{};
  DWORD dtrControl = DTR_CONTROL_ENABLE;
  DWORD rtsControl = RTS_CONTROL_ENABLE;
  // Character size and parity as last set. A pseudo-terminal holds neither
  // (the kernel forces CS8 without PARENB), so the handle reports what it was
  // given, as the Windows driver of a virtual port does.
  bool framingSet = false;
  BYTE byteSize = 8;
  BYTE parity = NOPARITY;
  // Set by a write: the answer cannot be there yet, so the next read waits
  // before it reads. Otherwise a read first takes what is waiting, which
  // saves a poll per piece of a reply that has arrived whole.
  bool readWaitsFirst = false;
  // The output queue was seen empty and nothing was written since: it stays
  // empty, and ClearCommError need not ask again.
  bool outputIdle = false;
  // A pseudo-terminal writes straight into its far end's input: it has no
  // output queue (TIOCOUTQ always answers 0 there).
  bool noOutputQueue = false;
  bool isPseudoTerminal = false;
  // The device cannot tell whether its transmitter is empty (no
  // TIOCSERGETLSR): the layer waits for the output with tcdrain instead.
  bool noLineStatus = false;
  // The kernel's RS-485 mode switches RTS around each frame itself.
  bool kernelRs485 = false;
  bool kernelRs485Told = false;
};

constexpr int kMaxPorts = 64;
constexpr uintptr_t kHandleBase = 0x100;
constexpr uintptr_t kHandleStep = 4;
// A slot's handle changes with every open, so the handle of a port that was
// closed (or whose device went away) never reaches the port opened after it.
constexpr uint32_t kGenerations = 1u << 12;

// Lines call from threads of their own. Each uses only its own handles, so
// a call finds its port without a lock; the table changes (open, close, a
// device found gone) under g_portsMutex. What one line's open may change of
// another line's port (its slot state, its generation, whether its device is
// gone) is read and written atomically.
Port g_ports[kMaxPorts];
// The device path each slot was opened by: another open of the same path
// may release the descriptor of a device gone from under it. Kept apart, so
// that a slot stays one cache line found by a shift.
char g_portPaths[kMaxPorts][kPortPathSize];
std::atomic<uint32_t> g_generation[kMaxPorts];
std::mutex g_portsMutex;

uint32_t GenerationOf(int slot) { return g_generation[slot].load(std::memory_order_relaxed); }

SlotState StateOf(const Port& port) {
  return std::atomic_ref<const SlotState>(port.state).load(std::memory_order_relaxed);
}
void SetState(Port& port, SlotState state) {
  std::atomic_ref<SlotState>(port.state).store(state, std::memory_order_relaxed);
}

HANDLE HandleOf(int slot) {
  const uintptr_t index =
      static_cast<uintptr_t>(slot) + kMaxPorts * static_cast<uintptr_t>(GenerationOf(slot));
  return reinterpret_cast<HANDLE>(kHandleBase + kHandleStep * index);
}

// The port of a handle of this generation whose slot is in one of the
// states at least; null for a stale or garbage handle. Inlined: every serial
// call of a transaction starts here.
inline __attribute__((always_inline)) Port* PortOf(HANDLE handle, SlotState least) {
  // One subtraction and one bound: a value below the base wraps round to a
  // large offset and fails the bound with the rest.
  const uintptr_t offset = reinterpret_cast<uintptr_t>(handle) - kHandleBase;
  if (offset % kHandleStep != 0 || offset >= kHandleStep * kMaxPorts * kGenerations) return nullptr;
  const uintptr_t index = offset / kHandleStep;
  const uintptr_t slot = index % kMaxPorts;
  if (index / kMaxPorts != GenerationOf(static_cast<int>(slot))) return nullptr;
  const SlotState state = StateOf(g_ports[slot]);
  if (state == SlotState::kFree || (least == SlotState::kLive && state != SlotState::kLive)) return nullptr;
  return &g_ports[slot];
}

// Any port of the handle, its device there or gone.
Port* PortOf(HANDLE handle) { return PortOf(handle, SlotState::kGone); }

// A handle whose device is still there.
inline __attribute__((always_inline)) Port* LivePortOf(HANDLE handle) {
  return PortOf(handle, SlotState::kLive);
}

// ---- device requests ----------------------------------------------------------
SerialIoctlHook g_ioctlHook = nullptr;

// Every request to a device beyond its termios goes through here, so that a
// test can see what the layer asks of a UART it cannot have.
int DeviceIoctl(int fd, unsigned long request, void* argument) {
  if (g_ioctlHook != nullptr) return g_ioctlHook(fd, request, argument);
  return ioctl(fd, request, argument);
}

// The bytes in the device's input queue (FIONREAD), asked with syscall():
// the ioctl() wrapper walks a variable argument list and checks a stack
// guard, half of what the request costs in user space, and this is asked
// twice a transaction. A test's hook sees it as any other request.
int QueuedInput(int fd, int* count) {
  if (g_ioctlHook != nullptr) return g_ioctlHook(fd, FIONREAD, count);
  return static_cast<int>(syscall(SYS_ioctl, fd, FIONREAD, count));
}

void CloseDescriptor(Port* port) {
  if (port->fd < 0) return;
  close(port->fd);
  port->fd = -1;
}

// From a call on the port itself: the device went away. Its descriptor is
// released; a USB adapter plugged in again comes back as a new device, so
// nothing is kept for it. Under the table lock: another line's open may be
// sweeping gone devices.
void MarkGone(Port* port) {
  std::lock_guard<std::mutex> lock(g_portsMutex);
  SetState(*port, SlotState::kGone);
  CloseDescriptor(port);
}

bool HungUp(short revents) { return (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0; }

// An errno that says the device itself is gone rather than busy.
bool DeviceGoneError(int error) {
  return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE || error == EBADF;
}

// ---- time ------------------------------------------------------------------
int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

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

// Asserts or negates a modem line. Devices without the line (a
// pseudo-terminal answers ENOTTY) are left alone, as the Windows driver of a
// port without those lines would.
void SetModemLine(int fd, int line, bool on) {
  int bits = line;
  DeviceIoctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

bool IsPseudoTerminalSlave(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned int deviceMajor = major(st.st_rdev);
  return deviceMajor >= 136 && deviceMajor <= 143;  // Unix98 pty slaves
}

// Polls for the events for timeoutMs (-1: without end); gives what happened
// (0 when the time ran out). A signal neither ends the wait nor starts it
// over: the wait goes on to the deadline of its start, startMs (NowMs(),
// given by a caller that has read the clock already, -1 to read it here).
short WaitFor(int fd, short events, int timeoutMs, int64_t startMs = -1) {
  pollfd p{fd, events, 0};
  const int64_t deadline = timeoutMs > 0 ? (startMs < 0 ? NowMs() : startMs) + timeoutMs : 0;
  for (;;) {
    const int n = poll(&p, 1, timeoutMs);
    if (n > 0) return p.revents;
    if (n == 0 || errno != EINTR) return 0;
    if (timeoutMs > 0) {
      const int64_t left = deadline - NowMs();
      if (left <= 0) return 0;
      timeoutMs = static_cast<int>(left);
    }
  }
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

// Returns once the last byte written is on the wire (tcdrain). A signal
// ends the wait early, with the output still going: it is asked again.
void WaitForTransmitter(const Port* port) {
  while (DeviceIoctl(port->fd, TCSBRK, reinterpret_cast<void*>(static_cast<uintptr_t>(1))) != 0 &&
         errno == EINTR) {
  }
}

// Bytes still to go out: the kernel's queue (TIOCOUTQ), and one more while
// the UART's FIFO or shift register still holds something, so that zero
// means the last bit is on the wire. Without a line status register the
// wait for the transmitter happens here (tcdrain). -1 on failure.
int OutputPending(Port* port) {
  int queued = 0;
  if (DeviceIoctl(port->fd, TIOCOUTQ, &queued) != 0) return -1;
  if (queued != 0) return queued;
  if (!port->noLineStatus) {
    unsigned int status = 0;
    if (DeviceIoctl(port->fd, TIOCSERGETLSR, &status) == 0) {
      return (status & TIOCSER_TEMT) != 0 ? 0 : 1;
    }
    port->noLineStatus = true;
  }
  WaitForTransmitter(port);
  return 0;
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
    CloseDescriptor(&port);
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
      CloseDescriptor(&g_ports[slot]);
      return slot;
    }
  }
  return -1;
}

}  // namespace

void SetOsNoteSink(OsNoteSink sink) { g_noteSink.store(sink, std::memory_order_release); }

void SerialSetIoctlHook(SerialIoctlHook hook) { g_ioctlHook = hook; }

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
  int exclusive = 0;
  view->exclusive = DeviceIoctl(port->fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
  return true;
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
  SetModemLine(port->fd, TIOCM_DTR, dcb->fDtrControl != DTR_CONTROL_DISABLE);
  if (dcb->fRtsControl != RTS_CONTROL_HANDSHAKE && !port->kernelRs485) {
    SetModemLine(port->fd, TIOCM_RTS, dcb->fRtsControl == RTS_CONTROL_ENABLE);
  }
  return TRUE;
}

BOOL GetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
  Port* port = PortOf(handle);
  if (port == nullptr || timeouts == nullptr) return FALSE;
  *timeouts = port->timeouts;
  return TRUE;
}

BOOL SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
  Port* port = PortOf(handle);
  if (port == nullptr || timeouts == nullptr) return FALSE;
  port->timeouts = *timeouts;
  return TRUE;
}

BOOL SetupComm(HANDLE handle, DWORD, DWORD) { return LivePortOf(handle) != nullptr ? TRUE : FALSE; }

namespace {

void StoreQueueStatus(LPDWORD errors, LPCOMSTAT stat, int inQueue, int outQueue) {
  if (errors != nullptr) *errors = 0;
  if (stat != nullptr) {
    // Assigned, not cleared with memset: this runs twice a transaction.
    *stat = COMSTAT{};
    stat->cbInQue = static_cast<DWORD>(inQueue);
    stat->cbOutQue = static_cast<DWORD>(outQueue);
  }
}

// ClearCommError on a port whose output queue may still hold bytes.
__attribute__((noinline)) BOOL QueueStatusWithOutput(Port* port, LPDWORD errors, LPCOMSTAT stat) {
  int inQueue = 0;
  if (QueuedInput(port->fd, &inQueue) != 0) return FALSE;
  const int outQueue = OutputPending(port);
  if (outQueue < 0) return FALSE;
  port->outputIdle = outQueue == 0;
  StoreQueueStatus(errors, stat, inQueue, outQueue);
  return TRUE;
}

}  // namespace

BOOL ClearCommError(HANDLE handle, LPDWORD errors, LPCOMSTAT stat) {
  Port* port = LivePortOf(handle);
  if (port == nullptr) return FALSE;
  if (!port->noOutputQueue && !port->outputIdle) return QueueStatusWithOutput(port, errors, stat);
  // The output queue is known empty: one request for the input queue.
  int inQueue = 0;
  if (QueuedInput(port->fd, &inQueue) != 0) return FALSE;
  StoreQueueStatus(errors, stat, inQueue, 0);
  return TRUE;
}

namespace {

// Waits for input before a read; gives the poll events (0: the time ran
// out). The total timeout is multiplier x toRead + constant, counted from
// the first wait of the read (*deadline, -1 until then); all zero means no
// timeout. An interval timeout of MAXDWORD with zero totals returns at once.
// poll() takes its wait as an int of milliseconds, and a negative one means
// for ever: a longer wait (Win32 timeouts reach 49 days) is waited in
// pieces of INT_MAX, the deadline kept, and is never taken as for ever.
int PollMs(int64_t ms) { return ms > INT_MAX ? INT_MAX : static_cast<int>(ms); }

short WaitForInput(const Port& port, DWORD toRead, DWORD got, int64_t* deadline) {
  const COMMTIMEOUTS& t = port.timeouts;
  const bool immediate = t.ReadIntervalTimeout == 0xFFFFFFFFu && t.ReadTotalTimeoutMultiplier == 0 &&
                         t.ReadTotalTimeoutConstant == 0;
  const int64_t total =
      static_cast<int64_t>(t.ReadTotalTimeoutMultiplier) * toRead + t.ReadTotalTimeoutConstant;
  int waitMs = -1;
  int64_t now = -1;
  if (total > 0 || immediate) {
    now = NowMs();
    if (*deadline < 0) *deadline = now + total;
    const int64_t left = *deadline - now;
    waitMs = left > 0 ? PollMs(left) : 0;
  }
  if (t.ReadIntervalTimeout != 0 && !immediate && got > 0) {
    const int gap = PollMs(t.ReadIntervalTimeout);
    if (waitMs < 0 || gap < waitMs) waitMs = gap;
  }
  return WaitFor(port.fd, POLLIN, waitMs, now);
}

// Reads until toRead bytes arrived (got of them are there already), waiting
// first when wait is set, or the total timeout ran out. A read that finds
// nothing waits and reads again; a device that went away fails the read
// (after handing over what arrived before).
BOOL ReadWaiting(Port* port, uint8_t* bytes, DWORD toRead, DWORD got, bool wait, LPDWORD read) {
  int64_t deadline = -1;
  bool gone = false;
  while (got < toRead) {
    const bool waited = wait;
    short events = 0;
    if (wait) {
      events = WaitForInput(*port, toRead, got, &deadline);
      if (events == 0) break;
    }
    wait = true;
    const ssize_t n = ::read(port->fd, bytes + got, toRead - got);
    if (n > 0) {
      got += static_cast<DWORD>(n);
      continue;
    }
    const int error = n < 0 ? errno : 0;
    // Nothing waiting yet: a terminal without VMIN answers 0, not EAGAIN.
    if (n == 0 && !waited) continue;
    if (n < 0 && (error == EAGAIN || error == EINTR) && !HungUp(events)) continue;
    // End of file, or a line whose device went away: a hang-up reads as 0
    // or EIO however often it is asked, so it is not asked again.
    if (port->isTerminal && (n == 0 || HungUp(events) || DeviceGoneError(error))) {
      MarkGone(port);
      gone = true;
    }
    if (got == 0 && (n < 0 || gone)) return FALSE;
    break;
  }
  if (read != nullptr) *read = got;
  return TRUE;
}

// ReadFile on a port that is gone or must wait first (or a read of nothing).
__attribute__((noinline)) BOOL ReadAfterWait(Port* port, LPVOID buffer, DWORD toRead, LPDWORD read) {
  if (read != nullptr) *read = 0;
  if (port == nullptr) return FALSE;
  port->readWaitsFirst = false;
  return ReadWaiting(port, static_cast<uint8_t*>(buffer), toRead, 0, true, read);
}

// ReadFile after its first read() brought n bytes, fewer than toRead, or
// failed (n < 0, errno set).
__attribute__((noinline)) BOOL ReadAfterPart(Port* port, LPVOID buffer, DWORD toRead, LPDWORD read,
                                             ssize_t n) {
  const int error = errno;
  if (read != nullptr) *read = 0;
  auto* bytes = static_cast<uint8_t*>(buffer);
  // A part, or nothing yet (a terminal without VMIN answers 0, not
  // EAGAIN): wait for the rest.
  if (n >= 0) return ReadWaiting(port, bytes, toRead, static_cast<DWORD>(n), true, read);
  if (error == EAGAIN || error == EINTR) return ReadWaiting(port, bytes, toRead, 0, true, read);
  if (port->isTerminal && DeviceGoneError(error)) MarkGone(port);
  return FALSE;
}

}  // namespace

// Returns when toRead bytes arrived or the total timeout ran out (see
// WaitForInput). The common case, the rest of a reply that has arrived
// whole, is one read() and nothing else: no wait, no clock; everything else
// goes out of line.
BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
  Port* port = LivePortOf(handle);
  if (port == nullptr || port->readWaitsFirst || toRead == 0)
    return ReadAfterWait(port, buffer, toRead, read);
  const ssize_t n = ::read(port->fd, buffer, toRead);
  if (n == static_cast<ssize_t>(toRead)) {
    if (read != nullptr) *read = toRead;
    return TRUE;
  }
  return ReadAfterPart(port, buffer, toRead, read, n);
}

namespace {

// WriteFile after write() took fewer bytes than asked (or failed).
__attribute__((noinline)) BOOL WriteRest(Port* port, const uint8_t* bytes, DWORD toWrite, DWORD done,
                                         ssize_t n, LPDWORD written) {
  for (;;) {
    if (n > 0) {
      done += static_cast<DWORD>(n);
      if (done >= toWrite) break;
    } else if (n < 0 && errno == EAGAIN) {
      WaitFor(port->fd, POLLOUT, -1);
    } else if (n < 0 && errno == EINTR) {
      // interrupted before anything went out: write again
    } else {
      if (n < 0 && port->isTerminal && DeviceGoneError(errno)) MarkGone(port);
      if (written != nullptr) *written = done;
      return FALSE;
    }
    n = ::write(port->fd, bytes + done, toWrite - done);
  }
  if (written != nullptr) *written = done;
  return TRUE;
}

// A whole write: as a synchronous write on a Windows port, it returns when
// the bytes have left, so that a read's timeout after it counts from the
// end of the request, not from its start. A pseudo-terminal has no wire:
// its bytes are with the other end once written.
BOOL WriteDone(Port* port, LPDWORD written, DWORD count) {
  if (!port->noOutputQueue) {
    WaitForTransmitter(port);
    port->outputIdle = true;
  }
  if (written != nullptr) *written = count;
  return TRUE;
}

}  // namespace

// Writes have no timeout: every byte is written, partial writes retried.
BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
  Port* port = LivePortOf(handle);
  if (port == nullptr) {
    if (written != nullptr) *written = 0;
    return FALSE;
  }
  port->readWaitsFirst = true;
  port->outputIdle = false;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  const ssize_t n = toWrite != 0 ? ::write(port->fd, bytes, toWrite) : 0;
  if (n == static_cast<ssize_t>(toWrite)) return WriteDone(port, written, toWrite);
  if (!WriteRest(port, bytes, toWrite, 0, n, written)) return FALSE;
  return WriteDone(port, written, toWrite);
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

// Sleeps to a deadline on the monotonic clock, so that signals neither
// shorten nor lengthen the sleep.
void Sleep(DWORD milliseconds) {
  timespec until;
  clock_gettime(CLOCK_MONOTONIC, &until);
  until.tv_sec += milliseconds / 1000;
  until.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (until.tv_nsec >= 1000000000L) {
    until.tv_sec += 1;
    until.tv_nsec -= 1000000000L;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}
