#include "tests/support/serial_faults.h"

#include "platform/serial_device.h"
#include "serial/line.h"
#include "tests/support/fake_line.h"

namespace {

struct Fault {
  int skip = 0;
  int failTimes = 0;
  int shortTimes = 0;
  uint32_t shortMax = 0;
  int calls = 0;
};
Fault g_faults[static_cast<int>(SerialCall::kCount)];

// Counts the call; true when it is to fail.
bool Inject(SerialCall call) {
  Fault& f = g_faults[static_cast<int>(call)];
  ++f.calls;
  if (f.failTimes == 0) return false;
  if (f.skip > 0) {
    --f.skip;
    return false;
  }
  --f.failTimes;
  return true;
}

DWORD ShortLimit(SerialCall call, DWORD wanted) {
  Fault& f = g_faults[static_cast<int>(call)];
  if (f.shortTimes == 0) return wanted;
  --f.shortTimes;
  return wanted < f.shortMax ? wanted : f.shortMax;
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

const LineOps kTestLine = {
    Open,        Close,       GetState, SetState, GetTimeouts, SetTimeouts,
    SetupQueues, QueueStatus, Read,     Write,    Escape,      Pause,
};

}  // namespace

void InstallTestLine() { InstallLine(&kTestLine); }
const LineOps& TestLine() { return kTestLine; }

void SerialFaultFail(SerialCall call, int times, int skip) {
  InstallTestLine();
  Fault& f = g_faults[static_cast<int>(call)];
  f.failTimes = times;
  f.skip = skip;
}

void SerialFaultShortTransfer(SerialCall call, uint32_t maxBytes, int times) {
  InstallTestLine();
  Fault& f = g_faults[static_cast<int>(call)];
  f.shortMax = maxBytes;
  f.shortTimes = times;
}

void SerialFaultsReset() {
  InstallTestLine();
  for (Fault& f : g_faults) f = Fault();
  SerialSetIoctlHook(nullptr);
}

int SerialCallCount(SerialCall call) { return g_faults[static_cast<int>(call)].calls; }
