#include "tests/support/serial_faults.h"

#include <atomic>

#include "platform/serial_device.h"
#include "serial/line.h"
#include "tests/support/fake_line.h"

using namespace kovrin;

namespace {

// Every line's calls go through here, from the lines' own threads at once:
// the counters are atomic, and a fault armed for n calls fails exactly n.
struct Fault {
  std::atomic<int> skip{0};
  std::atomic<int> failTimes{0};
  std::atomic<int> shortTimes{0};
  std::atomic<uint32_t> shortMax{0};
  std::atomic<int> calls{0};
};
Fault g_faults[static_cast<int>(SerialCall::kCount)];

// Takes one from a positive count; false when it was used up.
bool TakeOne(std::atomic<int>& count) {
  int left = count.load(std::memory_order_relaxed);
  while (left > 0 && !count.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
  }
  return left > 0;
}

// Counts the call; true when it is to fail.
bool Inject(SerialCall call) {
  Fault& f = g_faults[static_cast<int>(call)];
  f.calls.fetch_add(1, std::memory_order_relaxed);
  if (f.failTimes.load(std::memory_order_relaxed) == 0) return false;
  if (TakeOne(f.skip)) return false;
  return TakeOne(f.failTimes);
}

DWORD ShortLimit(SerialCall call, DWORD wanted) {
  Fault& f = g_faults[static_cast<int>(call)];
  if (!TakeOne(f.shortTimes)) return wanted;
  const uint32_t most = f.shortMax.load(std::memory_order_relaxed);
  return wanted < most ? wanted : most;
}

const LineOps& Product() { return ProductLine(); }

HANDLE Open(const char* name) {
  if (Inject(SerialCall::kCreateFile)) return INVALID_HANDLE_VALUE;
  if (fake_line::Claims(name)) return fake_line::Open();
  return Product().open(name);
}

BOOL Close(HANDLE line) {
  if (Inject(SerialCall::kCloseHandle)) return FALSE;
  if (fake_line::Owns(line)) return fake_line::CloseHandle(line);
  return Product().close(line);
}

BOOL GetState(HANDLE line, DCB* dcb) {
  if (Inject(SerialCall::kGetCommState)) return FALSE;
  if (fake_line::Owns(line)) return fake_line::GetCommState(line, dcb);
  return Product().getState(line, dcb);
}

BOOL SetState(HANDLE line, DCB* dcb) {
  if (Inject(SerialCall::kSetCommState)) return FALSE;
  if (fake_line::Owns(line)) return fake_line::SetCommState(line, dcb);
  return Product().setState(line, dcb);
}

BOOL GetTimeouts(HANDLE line, COMMTIMEOUTS* timeouts) {
  if (Inject(SerialCall::kGetCommTimeouts)) return FALSE;
  if (fake_line::Owns(line)) return fake_line::GetCommTimeouts(line, timeouts);
  return Product().getTimeouts(line, timeouts);
}

BOOL SetTimeouts(HANDLE line, COMMTIMEOUTS* timeouts) {
  if (Inject(SerialCall::kSetCommTimeouts)) return FALSE;
  if (fake_line::Owns(line)) return fake_line::SetCommTimeouts(line, timeouts);
  return Product().setTimeouts(line, timeouts);
}

BOOL SetupQueues(HANDLE line, DWORD inputSize, DWORD outputSize) {
  if (Inject(SerialCall::kSetupComm)) return FALSE;
  if (fake_line::Owns(line)) return fake_line::SetupComm(line);
  return Product().setupQueues(line, inputSize, outputSize);
}

BOOL QueueStatus(HANDLE line, DWORD* errors, COMSTAT* status) {
  if (Inject(SerialCall::kClearCommError)) return FALSE;
  if (fake_line::Owns(line)) return fake_line::ClearCommError(line, errors, status);
  return Product().queueStatus(line, errors, status);
}

BOOL Read(HANDLE line, void* buffer, DWORD count, DWORD* got) {
  if (got != nullptr) *got = 0;
  if (Inject(SerialCall::kReadFile)) return FALSE;
  if (fake_line::Owns(line)) return fake_line::ReadFile(line, buffer, count, got);
  return Product().read(line, buffer, ShortLimit(SerialCall::kReadFile, count), got);
}

BOOL Write(HANDLE line, const void* bytes, DWORD count, DWORD* written) {
  if (written != nullptr) *written = 0;
  if (Inject(SerialCall::kWriteFile)) return FALSE;
  if (fake_line::Owns(line)) return fake_line::WriteFile(line, bytes, count, written);
  return Product().write(line, bytes, ShortLimit(SerialCall::kWriteFile, count), written);
}

BOOL Escape(HANDLE line, DWORD function) {
  if (Inject(SerialCall::kEscapeCommFunction)) return FALSE;
  if (fake_line::Owns(line)) return fake_line::EscapeCommFunction(line, function);
  return Product().escape(line, function);
}

void Pause(DWORD milliseconds) {
  if (FakeLineSleepsSkipped()) return;
  Product().sleep(milliseconds);
}

// While sleeps are skipped nothing may wait, not even on the clock: every
// reading of it is a second on.
std::atomic<int64_t> g_skippingCounter{0};
BOOL Counter(LARGE_INTEGER* count) {
  if (!FakeLineSleepsSkipped()) return Product().counter(count);
  LARGE_INTEGER frequency;
  if (!Product().frequency(&frequency)) return FALSE;
  count->QuadPart =
      g_skippingCounter.fetch_add(frequency.QuadPart, std::memory_order_relaxed) + frequency.QuadPart;
  return TRUE;
}
BOOL Frequency(LARGE_INTEGER* frequency) { return Product().frequency(frequency); }

const LineOps kTestLine = {
    Open,        Close, GetState, SetState, GetTimeouts, SetTimeouts, SetupQueues,
    QueueStatus, Read,  Write,    Escape,   Pause,       Counter,     Frequency,
};

}  // namespace

void InstallTestLine() { InstallLine(&kTestLine); }
const LineOps& TestLine() { return kTestLine; }

void SerialFaultFail(SerialCall call, int times, int skip) {
  InstallTestLine();
  Fault& f = g_faults[static_cast<int>(call)];
  f.skip.store(skip, std::memory_order_relaxed);
  f.failTimes.store(times, std::memory_order_relaxed);
}

void SerialFaultShortTransfer(SerialCall call, uint32_t maxBytes, int times) {
  InstallTestLine();
  Fault& f = g_faults[static_cast<int>(call)];
  f.shortMax.store(maxBytes, std::memory_order_relaxed);
  f.shortTimes.store(times, std::memory_order_relaxed);
}

void SerialFaultsReset() {
  InstallTestLine();
  for (Fault& f : g_faults) {
    f.failTimes.store(0, std::memory_order_relaxed);
    f.skip.store(0, std::memory_order_relaxed);
    f.shortTimes.store(0, std::memory_order_relaxed);
    f.shortMax.store(0, std::memory_order_relaxed);
    f.calls.store(0, std::memory_order_relaxed);
  }
  SerialSetIoctlHook(nullptr);
}

int SerialCallCount(SerialCall call) {
  return g_faults[static_cast<int>(call)].calls.load(std::memory_order_relaxed);
}
