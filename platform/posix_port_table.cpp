// The port table of the POSIX serial layer (see posix_port_table.h), the
// notes the layer has for the journal, and the one way its requests reach a
// device.

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/os_notes.h"
#include "platform/posix_port_table.h"
#include "platform/serial_device.h"

namespace posix_serial {

namespace {

std::atomic<OsNoteSink> g_noteSink{nullptr};

}  // namespace

SerialIoctlHook g_ioctlHook = nullptr;

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

Port g_ports[kMaxPorts];
char g_portPaths[kMaxPorts][kPortPathSize];
std::atomic<uint32_t> g_generation[kMaxPorts];
std::mutex g_portsMutex;

HANDLE HandleOf(int slot) {
  const uintptr_t index =
      static_cast<uintptr_t>(slot) + kMaxPorts * static_cast<uintptr_t>(GenerationOf(slot));
  return reinterpret_cast<HANDLE>(kHandleBase + kHandleStep * index);
}

// ---- device requests ----------------------------------------------------------

// Every request to a device beyond its termios goes through here, so that a
// test can see what the layer asks of a UART it cannot have.
int DeviceIoctl(int fd, unsigned long request, void* argument) {
  if (g_ioctlHook != nullptr) return g_ioctlHook(fd, request, argument);
  return ioctl(fd, request, argument);
}

void ReleasePortFd(Port* port) {
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
  ReleasePortFd(port);
}

}  // namespace posix_serial

void SetOsNoteSink(OsNoteSink sink) { posix_serial::g_noteSink.store(sink, std::memory_order_release); }

void SerialSetIoctlHook(SerialIoctlHook hook) { posix_serial::g_ioctlHook = hook; }
