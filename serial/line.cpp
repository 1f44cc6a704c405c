#include "serial/line.h"

#include "platform/os_notes.h"
#include "host_interface/journal.h"

namespace kovrin {

namespace {

void JournalOsNote(const char* note) { err(kLogMajor, "%s", note); }

HANDLE OpenPortByName(const char* name) {
  SetOsNoteSink(JournalOsNote);
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}
BOOL Close(HANDLE line) { return CloseHandle(line); }
BOOL GetState(HANDLE line, DCB* dcb) { return GetCommState(line, dcb); }
BOOL SetState(HANDLE line, DCB* dcb) { return SetCommState(line, dcb); }
BOOL GetTimeouts(HANDLE line, COMMTIMEOUTS* timeouts) { return GetCommTimeouts(line, timeouts); }
BOOL SetTimeouts(HANDLE line, COMMTIMEOUTS* timeouts) { return SetCommTimeouts(line, timeouts); }
BOOL SetupQueues(HANDLE line, DWORD inputSize, DWORD outputSize) {
  return SetupComm(line, inputSize, outputSize);
}
BOOL QueueStatus(HANDLE line, DWORD* errors, COMSTAT* status) { return ClearCommError(line, errors, status); }
BOOL Read(HANDLE line, void* buffer, DWORD count, DWORD* got) {
  return ReadFile(line, buffer, count, got, nullptr);
}
BOOL Write(HANDLE line, const void* bytes, DWORD count, DWORD* written) {
  return WriteFile(line, bytes, count, written, nullptr);
}
BOOL Escape(HANDLE line, DWORD function) { return EscapeCommFunction(line, function); }
void Pause(DWORD milliseconds) { Sleep(milliseconds); }
BOOL Counter(LARGE_INTEGER* count) { return QueryPerformanceCounter(count); }
BOOL Frequency(LARGE_INTEGER* frequency) { return QueryPerformanceFrequency(frequency); }

const LineOps kProductLine = {
    OpenPortByName, Close, GetState, SetState, GetTimeouts, SetTimeouts, SetupQueues,
    QueueStatus,    Read,  Write,    Escape,   Pause,       Counter,     Frequency,
};

}  // namespace

const LineOps* line_seam::g_installed = &kProductLine;

const LineOps& ProductLine() { return kProductLine; }
void InstallLine(const LineOps* ops) { line_seam::g_installed = ops != nullptr ? ops : &kProductLine; }

}  // namespace kovrin
