#include "tests/support/fake_line.h"

#include <atomic>
#include <cstring>

#include "tests/support/serial_faults.h"

namespace {

struct Chunk {
  uint32_t offset;
  uint32_t size;
  uint32_t reply;
  bool late;
};

struct Reply {
  uint32_t firstChunk;
  uint32_t chunkCount;
  bool writeFails;
  uint32_t lateTenths;  // 0: no late part
  bool onTimeBytes;     // a byte or a pause before the late part
  bool latePause;       // an empty chunk in the late part
  // Set when its request goes out.
  uint64_t arrivalMs;  // of the late part
  uint64_t request;    // a digest of the request's bytes
  bool promised;       // a late reply the driver must keep from other requests
};

// Far enough that no read timeout reaches it.
constexpr uint64_t kNeverMs = ~uint64_t{0} / 2;
// An interval timeout of all ones with no total timeout: a read returns at
// once with what is there.
constexpr DWORD kNoIntervalWait = 0xFFFFFFFFu;

// Outside the handle range of the serial table, and never a pointer.
HANDLE const kFakeHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xFA4E0));

struct Script {
  uint8_t bytes[kFakeLineMaxBytes];
  Chunk chunks[kFakeLineMaxChunks];
  Reply replies[kFakeLineMaxReplies];
  size_t byteCount;
  size_t chunkCount;
  size_t replyCount;  // replies begun; the last one is being scripted

  // Serving: the reply the last request solicited (-1 before the first);
  // the chunks still to read, in order (late ones of earlier replies first,
  // then this reply's), and the bytes of the first one already read.
  long current;
  uint32_t queue[kFakeLineMaxChunks];
  size_t queueHead;
  size_t queueEnd;
  uint32_t chunkRead;
  uint64_t nowMs;
  uint64_t requestDigest;  // of the request out now
  FakeLineStrayLate stray;

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
  g_script.replies[0] = Reply{};
  g_script.current = -1;
  g_script.queueHead = 0;
  g_script.queueEnd = 0;
  g_script.chunkRead = 0;
  g_script.nowMs = 0;
  g_script.requestDigest = 0;
  g_script.stray = FakeLineStrayLate{0, -1, -1};
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

// The chunk being served, or null when none is left.
const Chunk* ServingChunk() {
  if (g_script.queueHead >= g_script.queueEnd) return nullptr;
  return &g_script.chunks[g_script.queue[g_script.queueHead]];
}

void NextChunk() {
  ++g_script.queueHead;
  g_script.chunkRead = 0;
}

uint64_t ArrivalOf(const Chunk& chunk) { return chunk.late ? g_script.replies[chunk.reply].arrivalMs : 0; }

// What a read may wait, by the line's read timeouts; kNeverMs when it
// waits for ever (all zero).
uint64_t ReadTimeoutMs(DWORD toRead) {
  const COMMTIMEOUTS& t = g_script.timeouts;
  if (t.ReadIntervalTimeout == kNoIntervalWait && t.ReadTotalTimeoutMultiplier == 0 &&
      t.ReadTotalTimeoutConstant == 0) {
    return 0;  // returns at once with what is there
  }
  if (t.ReadIntervalTimeout == 0 && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
    return kNeverMs;
  }
  return uint64_t{t.ReadTotalTimeoutConstant} + uint64_t{t.ReadTotalTimeoutMultiplier} * toRead;
}

uint64_t Digest(const uint8_t* bytes, size_t size) {
  uint64_t h = 14695981039346656037ull;
  for (size_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
  return h ^ size;
}

void NoteRead(const Chunk& chunk, uint32_t n) {
  const Reply& reply = g_script.replies[chunk.reply];
  if (!chunk.late || !reply.promised || reply.request == g_script.requestDigest) return;
  if (g_script.stray.bytes == 0) {
    g_script.stray.reply = static_cast<int>(chunk.reply);
    g_script.stray.request = g_script.requestCount - 1;
  }
  g_script.stray.bytes += static_cast<int>(n);
}

// A request went out: what is left of on-time replies is gone, late
// chunks not read yet stay ahead of the new reply's.
void Solicit(const uint8_t* request, size_t size) {
  const Chunk* head = ServingChunk();
  if (head == nullptr || !head->late) g_script.chunkRead = 0;  // a late head keeps its part read
  size_t kept = 0;
  // A reply waits behind the late bytes before it: they keep it within the
  // promise only when they are all promised themselves (a pause or a later
  // answer ahead would hold it back beyond its lateness).
  bool aheadPromised = true;
  for (size_t i = g_script.queueHead; i < g_script.queueEnd; ++i) {
    const Chunk& chunk = g_script.chunks[g_script.queue[i]];
    if (!chunk.late) continue;
    aheadPromised = aheadPromised && g_script.replies[chunk.reply].promised;
    g_script.queue[kept++] = g_script.queue[i];
  }
  g_script.queueHead = 0;
  g_script.queueEnd = kept;
  g_script.requestDigest = Digest(request, size);
  if (static_cast<size_t>(g_script.current) >= g_script.replyCount) return;
  Reply& reply = g_script.replies[g_script.current];
  const uint64_t timeout = g_script.timeouts.ReadTotalTimeoutConstant;
  reply.arrivalMs = g_script.nowMs + timeout * reply.lateTenths / 10;
  reply.request = g_script.requestDigest;
  reply.promised = reply.lateTenths != 0 && reply.lateTenths < 20 && !reply.onTimeBytes && !reply.latePause &&
                   !reply.writeFails && size > 0 && request[0] != 0 && aheadPromised;
  for (uint32_t c = 0; c < reply.chunkCount && g_script.queueEnd < kFakeLineMaxChunks; ++c) {
    g_script.queue[g_script.queueEnd++] = reply.firstChunk + c;
  }
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
  const bool late = reply.lateTenths != 0;
  if (!late) reply.onTimeBytes = true;
  if (late && size == 0) reply.latePause = true;
  g_script.chunks[g_script.chunkCount++] =
      Chunk{static_cast<uint32_t>(g_script.byteCount), static_cast<uint32_t>(size),
            static_cast<uint32_t>(g_script.replyCount - 1), late};
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
  Reply next{};
  next.firstChunk = static_cast<uint32_t>(g_script.chunkCount);
  next.writeFails = writeFails;
  g_script.replies[g_script.replyCount++] = next;
  return true;
}

bool FakeLineLateRest(uint32_t tenths) {
  Reply& reply = Scripting();
  if (reply.lateTenths != 0 || tenths == 0) return false;
  reply.lateTenths = tenths;
  return true;
}

FakeLineStrayLate FakeLineStrayLateBytes() { return g_script.stray; }

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
    // What has arrived: up to the first late chunk still on its way.
    DWORD pending = 0;
    for (size_t i = g_script.queueHead; i < g_script.queueEnd; ++i) {
      const Chunk& chunk = g_script.chunks[g_script.queue[i]];
      if (ArrivalOf(chunk) > g_script.nowMs) break;
      pending += chunk.size;
    }
    if (pending != 0) pending -= g_script.chunkRead;
    stat->cbInQue = pending;
  }
  return TRUE;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read) {
  if (read != nullptr) *read = 0;
  if (!Live(handle)) return FALSE;
  if (toRead == 0) return TRUE;
  const uint64_t timeout = ReadTimeoutMs(toRead);
  const auto timedOut = [&] {
    if (timeout != kNeverMs) g_script.nowMs += timeout;
    return TRUE;
  };
  const Chunk* chunk = ServingChunk();
  if (chunk == nullptr) return timedOut();
  const uint64_t arrival = ArrivalOf(*chunk);
  if (arrival > g_script.nowMs) {
    if (timeout != kNeverMs && arrival > g_script.nowMs + timeout) return timedOut();
    g_script.nowMs = arrival;  // the read got them as they came
  }
  if (chunk->size == 0) {
    NextChunk();  // a pause: this read times out with nothing
    return timedOut();
  }
  // One read takes the rest of its chunk, and late chunks that are there
  // right after a late one (they came together).
  uint32_t n = 0;
  auto* out = static_cast<uint8_t*>(buffer);
  for (;;) {
    const uint32_t left = chunk->size - g_script.chunkRead;
    const uint32_t take = toRead - n < left ? toRead - n : left;
    std::memcpy(out + n, g_script.bytes + chunk->offset + g_script.chunkRead, take);
    NoteRead(*chunk, take);
    n += take;
    g_script.chunkRead += take;
    if (g_script.chunkRead < chunk->size) break;
    const bool late = chunk->late;
    NextChunk();
    chunk = ServingChunk();
    if (n == toRead || !late || chunk == nullptr || !chunk->late || chunk->size == 0 ||
        ArrivalOf(*chunk) > g_script.nowMs) {
      break;
    }
  }
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
  // gone (the driver drains before every request anyway), but for late
  // bytes still on their way.
  ++g_script.current;
  Solicit(static_cast<const uint8_t*>(buffer), toWrite);
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
