// The port table of the POSIX serial layer, shared by the layer's own files
// and by nothing outside platform/: the slots behind the handles, how a call
// finds its port, and the helpers more than one of the files needs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/serial_device.h"
#include "platform/win32.h"

namespace posix_serial {

constexpr size_t kPortPathSize = 256;

// A note for the journal, dropped until the driver hands the layer a sink
// (see os_notes.h).
void Note(const char* format, ...) __attribute__((format(printf, 1, 2)));

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
extern Port g_ports[kMaxPorts];
// The device path each slot was opened by: another open of the same path
// may release the descriptor of a device gone from under it. Kept apart, so
// that a slot stays one cache line found by a shift.
extern char g_portPaths[kMaxPorts][kPortPathSize];
extern std::atomic<uint32_t> g_generation[kMaxPorts];
extern std::mutex g_portsMutex;

inline uint32_t GenerationOf(int slot) { return g_generation[slot].load(std::memory_order_relaxed); }

inline SlotState StateOf(const Port& port) {
  return std::atomic_ref<const SlotState>(port.state).load(std::memory_order_relaxed);
}
inline void SetState(Port& port, SlotState state) {
  std::atomic_ref<SlotState>(port.state).store(state, std::memory_order_relaxed);
}

HANDLE HandleOf(int slot);

// The port of a handle of this generation whose slot is in one of the
// states at least; null for a stale or garbage handle. Every serial call of
// a transaction starts here: in the header, so that each file's calls can be
// inlined, which the compiler does unforced.
inline Port* PortOf(HANDLE handle, SlotState least) {
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
inline Port* PortOf(HANDLE handle) { return PortOf(handle, SlotState::kGone); }

// A handle whose device is still there.
inline Port* LivePortOf(HANDLE handle) { return PortOf(handle, SlotState::kLive); }

// ---- device requests (posix_port_table.cpp) ---------------------------------
int DeviceIoctl(int fd, unsigned long request, void* argument);

// The test's device hook (SerialSetIoctlHook); null: the device itself.
extern SerialIoctlHook g_ioctlHook;

// The bytes in the device's input queue (FIONREAD), asked with syscall():
// the ioctl() wrapper walks a variable argument list and checks a stack
// guard, half of what the request costs in user space, and this is asked
// twice a transaction. A test's hook sees it as any other request. Inline:
// a call into the table's file costs more than the request's own code.
inline int QueuedInput(int fd, int* count) {
  if (g_ioctlHook != nullptr) return g_ioctlHook(fd, FIONREAD, count);
  return static_cast<int>(syscall(SYS_ioctl, fd, FIONREAD, count));
}
void ReleasePortFd(Port* port);
void MarkGone(Port* port);

inline bool HungUp(short revents) { return (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0; }

// ---- what one job of the layer offers the others -----------------------------
// posix_comm_io.cpp
short WaitFor(int fd, short events, int timeoutMs, int64_t startMs = -1);
// posix_modem_lines.cpp
void SetModemLine(int fd, int line, bool on);
// posix_exclusive_open.cpp
bool HeldExclusive(int fd);

}  // namespace posix_serial
