// The comm I/O of the POSIX serial layer: reads under COMMTIMEOUTS, writes
// that return once their bytes have left, the queues ClearCommError reports,
// and the waits they are made of.

#include <cerrno>
#include <climits>
#include <cstdint>
#include <ctime>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "platform/posix_port_table.h"
#include "platform/win32.h"

using posix_serial::DeviceIoctl;
using posix_serial::HungUp;
using posix_serial::LivePortOf;
using posix_serial::MarkGone;
using posix_serial::Port;
using posix_serial::PortOf;
using posix_serial::QueuedInput;
using posix_serial::WaitFor;

namespace {

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

}  // namespace

// Polls for the events for timeoutMs (-1: without end); gives what happened
// (0 when the time ran out). A signal neither ends the wait nor starts it
// over: the wait goes on to the deadline of its start, startMs (NowMs(),
// given by a caller that has read the clock already, -1 to read it here).
short posix_serial::WaitFor(int fd, short events, int timeoutMs, int64_t startMs) {
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

namespace {

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

}  // namespace

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
BOOL ReadAfterWait(Port* port, LPVOID buffer, DWORD toRead, LPDWORD read) {
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
BOOL WriteRest(Port* port, const uint8_t* bytes, DWORD toWrite, DWORD done, ssize_t n, LPDWORD written) {
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
