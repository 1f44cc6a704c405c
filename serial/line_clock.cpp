#include "serial/line_clock.h"

#include <atomic>

#include "serial/line.h"

namespace kovrin {

namespace {

// One slot a port: the lines of different instances run on different
// threads at once, each on its own handle. A full table notes nothing more,
// and its further ports keep only the drain's check.
constexpr int kTimedLines = 32;
struct LineTime {
  std::atomic<HANDLE> port{nullptr};
  std::atomic<uint64_t> busyAtUs{0};
};
LineTime g_lines[kTimedLines];

// A free slot holds no port: null is never looked up.
LineTime* SlotOf(HANDLE port) {
  if (port == nullptr) return nullptr;
  for (LineTime& line : g_lines) {
    if (line.port.load(std::memory_order_acquire) == port) return &line;
  }
  return nullptr;
}

LineTime* ClaimSlot(HANDLE port) {
  if (port == nullptr) return nullptr;
  for (LineTime& line : g_lines) {
    HANDLE free = nullptr;
    if (line.port.compare_exchange_strong(free, port, std::memory_order_acq_rel)) return &line;
  }
  return nullptr;
}

}  // namespace

uint64_t LineClockUs() {
  const LineOps& line = CurrentLine();
  LARGE_INTEGER count;
  LARGE_INTEGER frequency;
  if (!line.counter(&count) || !line.frequency(&frequency) || frequency.QuadPart <= 0 || count.QuadPart < 0) {
    return 0;
  }
  const uint64_t ticks = static_cast<uint64_t>(count.QuadPart);
  const uint64_t perSecond = static_cast<uint64_t>(frequency.QuadPart);
  constexpr uint64_t kNanosecondCounter = 1000000000;  // the POSIX layer's
  if (perSecond == kNanosecondCounter) return ticks / 1000u;
  // Split, so that a counter of nanoseconds over days does not overflow.
  return ticks / perSecond * 1000000u + ticks % perSecond * 1000000u / perSecond;
}

void WaitUntilUs(uint64_t deadlineUs) {
  uint64_t now = LineClockUs();
  if (now == 0) return;
  constexpr uint64_t kUsPerMs = 1000;
  if (deadlineUs > now + 2 * kUsPerMs) {
    // A sleep may overrun by a scheduler tick: the last millisecond is
    // not slept.
    CurrentLine().sleep(static_cast<DWORD>((deadlineUs - now) / kUsPerMs - 1));
  }
  while (now != 0 && now < deadlineUs) now = LineClockUs();
}

void NoteLineBusy(HANDLE port) {
  LineTime* line = SlotOf(port);
  if (line == nullptr) line = ClaimSlot(port);
  if (line != nullptr) line->busyAtUs.store(LineClockUs(), std::memory_order_relaxed);
}

uint64_t LineBusyAtUs(HANDLE port) {
  const LineTime* line = SlotOf(port);
  return line != nullptr ? line->busyAtUs.load(std::memory_order_relaxed) : 0;
}

void ForgetLineTime(HANDLE port) {
  LineTime* line = SlotOf(port);
  if (line == nullptr) return;
  line->busyAtUs.store(0, std::memory_order_relaxed);
  line->port.store(nullptr, std::memory_order_release);
}

}  // namespace kovrin
