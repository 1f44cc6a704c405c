#include "tests/support/fake_line.h"

#include <atomic>
#include <cstring>

#include "tests/support/serial_faults.h"

namespace {

struct Chunk {
  uint32_t offset;
  uint32_t size;
};

struct Reply {
  uint32_t firstChunk;
  uint32_t chunkCount;
  bool writeFails;
};

// Outside the handle range of the serial table, and never a pointer.
HANDLE const kFakeHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xFA4E0));

struct Script {
  uint8_t bytes[kFakeLineMaxBytes];
  Chunk chunks[kFakeLineMaxChunks];
  Reply replies[kFakeLineMaxReplies];
  size_t byteCount;
  size_t chunkCount;
  size_t replyCount;  // replies begun; the last one is being scripted

  // Serving: the reply the last request solicited (-1 before the first),
  // its chunk being read and the bytes of that chunk already read.
  long current;
  uint32_t chunk;
  uint32_t chunkRead;

  uint8_t request[kFakeLineMaxRequest];
  size_t requestSize;
  int requestCount;
  int escapeCount;
  COMMTIMEOUTS timeouts;
  DCB dcb;
};

Script g_script;
// Read by the test line on every call of every line, from their threads.
std::atomic<bool> g_installed{false};
std::atomic<bool> g_open{false};
std::atomic<bool> g_skipSleeps{false};

void ResetScript() {
  g_script.byteCount = 0;
  g_script.chunkCount = 0;
  g_script.replyCount = 1;
  g_script.replies[0] = Reply{0, 0, false};
  g_script.current = -1;
  g_script.chunk = 0;
  g_script.chunkRead = 0;
  g_script.requestSize = 0;
  g_script.requestCount = 0;
  g_script.escapeCount = 0;
  std::memset(&g_script.timeouts, 0, sizeof g_script.timeouts);
  std::memset(&g_script.dcb, 0, sizeof g_script.dcb);
  g_script.dcb.DCBlength = sizeof(DCB);
  g_script.dcb.BaudRate = 9600;
  g_script.dcb.ByteSize = 8;
}

Reply& Scripting() { return g_script.replies[g_script.replyCount - 1]; }

bool Live(HANDLE handle) { return g_installed && g_open && handle == kFakeHandle; }

// The chunk being served, or null when the reply has no more.
const Chunk* ServingChunk() {
  if (g_script.current < 0 || static_cast<size_t>(g_script.current) >= g_script.replyCount) {
    return nullptr;
  }
  const Reply& reply = g_script.replies[g_script.current];
  if (g_script.chunk >= reply.chunkCount) return nullptr;
  return &g_script.chunks[reply.firstChunk + g_script.chunk];
}

void NextChunk() {
  ++g_script.chunk;
  g_script.chunkRead = 0;
}

}  // namespace

void FakeLineInstall() {
  InstallTestLine();
  ResetScript();
  g_installed = true;
  g_open = false;
}

void FakeLineRemove() {
  g_installed = false;
  g_open = false;
  ResetScript();
}

bool FakeLineAddChunk(const uint8_t* bytes, size_t size) {
  if (g_script.chunkCount >= kFakeLineMaxChunks || size > kFakeLineMaxBytes - g_script.byteCount) {
    return false;
  }
  Reply& reply = Scripting();
  if (reply.chunkCount == 0) reply.firstChunk = static_cast<uint32_t>(g_script.chunkCount);
  g_script.chunks[g_script.chunkCount++] =
      Chunk{static_cast<uint32_t>(g_script.byteCount), static_cast<uint32_t>(size)};
  ++reply.chunkCount;
  if (size > 0) std::memcpy(g_script.bytes + g_script.byteCount, bytes, size);
  g_script.byteCount += size;
  return true;
}

bool FakeLineExtendChunk(const uint8_t* bytes, size_t size) {
  if (Scripting().chunkCount == 0) return FakeLineAddChunk(bytes, size);
  if (size > kFakeLineMaxBytes - g_script.byteCount) return false;
  // The last chunk of the reply being scripted is the last chunk of all, so
  // its bytes end where the pool ends.
  g_script.chunks[g_script.chunkCount - 1].size += static_cast<uint32_t>(size);
  if (size > 0) std::memcpy(g_script.bytes + g_script.byteCount, bytes, size);
  g_script.byteCount += size;
  return true;
}

bool FakeLineEndReply(bool writeFails) {
  if (g_script.replyCount >= kFakeLineMaxReplies) return false;
  g_script.replies[g_script.replyCount++] = Reply{static_cast<uint32_t>(g_script.chunkCount), 0, writeFails};
  return true;
}

void FakeLineSkipSleeps(bool skip) { g_skipSleeps = skip; }
bool FakeLineSleepsSkipped() { return g_skipSleeps; }

int FakeLineRequestCount() { return g_script.requestCount; }

size_t FakeLineLastRequest(const uint8_t** bytes) {
  if (bytes != nullptr) *bytes = g_script.request;
  return g_script.requestSize;
}

int FakeLineEscapeCount() { return g_script.escapeCount; }
bool FakeLineIsOpen() { return g_installed && g_open; }

namespace fake_line {

bool Claims(const char* name) {
  return g_installed && name != nullptr && std::strcmp(name, kFakeLinePortName) == 0;
}

bool Owns(HANDLE handle) { return handle == kFakeHandle; }

HANDLE Open() {
  // Exclusive, like a real port.
  bool wasOpen = false;
  if (!g_installed || !g_open.compare_exchange_strong(wasOpen, true)) return INVALID_HANDLE_VALUE;
  return kFakeHandle;
}

BOOL CloseHandle(HANDLE handle) {
  if (!Live(handle)) return FALSE;
  g_open = false;
  return TRUE;
}

BOOL GetCommState(HANDLE handle, LPDCB dcb) {
  if (!Live(handle) || dcb == nullptr) return FALSE;
  *dcb = g_script.dcb;
  return TRUE;
}

BOOL SetCommState(HANDLE handle, LPDCB dcb) {
  if (!Live(handle) || dcb == nullptr) return FALSE;
  g_script.dcb = *dcb;
  return TRUE;
}

BOOL GetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
  if (!Live(handle) || timeouts == nullptr) return FALSE;
  *timeouts = g_script.timeouts;
  return TRUE;
}

BOOL SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
  if (!Live(handle) || timeouts == nullptr) return FALSE;
  g_script.timeouts = *timeouts;
  return TRUE;
}

BOOL SetupComm(HANDLE handle) { return Live(handle) ? TRUE : FALSE; }

BOOL ClearCommError(HANDLE handle, LPDWORD errors, LPCOMSTAT stat) {
  if (!Live(handle)) return FALSE;
  if (errors != nullptr) *errors = 0;
  if (stat != nullptr) {
    std::memset(stat, 0, sizeof *stat);
    DWORD pending = 0;
    if (g_script.current >= 0 && static_cast<size_t>(g_script.current) < g_script.replyCount) {
      const Reply& reply = g_script.replies[g_script.current];
      for (uint32_t c = g_script.chunk; c < reply.chunkCount; ++c) {
        pending += g_script.chunks[reply.firstChunk + c].size;
      }
      pending -= g_script.chunk < reply.chunkCount ? g_script.chunkRead : 0;
    }
    stat->cbInQue = pending;
  }
  return TRUE;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read) {
  if (read != nullptr) *read = 0;
  if (!Live(handle)) return FALSE;
  const Chunk* chunk = ServingChunk();
  if (chunk == nullptr || toRead == 0) return TRUE;  // a timeout
  if (chunk->size == 0) {
    NextChunk();  // a pause: this read times out with nothing
    return TRUE;
  }
  const uint32_t left = chunk->size - g_script.chunkRead;
  const uint32_t n = toRead < left ? toRead : left;
  std::memcpy(buffer, g_script.bytes + chunk->offset + g_script.chunkRead, n);
  g_script.chunkRead += n;
  if (g_script.chunkRead == chunk->size) NextChunk();
  if (read != nullptr) *read = n;
  return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written) {
  if (written != nullptr) *written = 0;
  if (!Live(handle)) return FALSE;
  ++g_script.requestCount;
  g_script.requestSize = toWrite < kFakeLineMaxRequest ? toWrite : kFakeLineMaxRequest;
  std::memcpy(g_script.request, buffer, g_script.requestSize);
  // The request solicits the next reply; what was left of the last one is
  // gone (the driver drains before every request anyway).
  ++g_script.current;
  g_script.chunk = 0;
  g_script.chunkRead = 0;
  if (static_cast<size_t>(g_script.current) < g_script.replyCount &&
      g_script.replies[g_script.current].writeFails) {
    return FALSE;
  }
  if (written != nullptr) *written = toWrite;
  return TRUE;
}

BOOL EscapeCommFunction(HANDLE handle, DWORD) {
  if (!Live(handle)) return FALSE;
  ++g_script.escapeCount;
  return TRUE;
}

}  // namespace fake_line
