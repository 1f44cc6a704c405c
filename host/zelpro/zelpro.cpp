// Stand-in for the host library: a log, a client registry and a gate table.

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "host_interface/host_library.h"
#include "host_interface/table_lock.h"
#include "host/zelpro/zelpro_host.h"

using namespace kovrin;

namespace {

// A host serves many lines from their own threads: every entry point holds
// a lock, the driver's own kind.
using Hold = TableLock::Holder;

TableLock g_stateLock;
TableLock g_logLock;

struct Gate {
  std::string address;
  std::string text;
};

struct Client {
  unsigned char id;
  std::string name;
};

struct HostState {
  ZelLogSink sink = nullptr;
  void* sinkContext = nullptr;
  int minimumLevel = 0;
  bool refuseClients = false;
  unsigned char nextClientId = 1;
  std::vector<Client> clients;
  std::vector<Gate> gates;
  std::unordered_map<std::string, int32_t> gateIds;  // address -> id (index + 1)
  int putCount = 0;
  int putsBeforeFailure = -1;
};

HostState& State() {
  static HostState state;
  return state;
}

void DefaultSink(int level, const char* text) {
  if (level < State().minimumLevel) return;
  std::fprintf(stderr, "[%2d] %s\n", level, text);
}

}  // namespace

extern "C" {

VPI_EXPORT int VPI_CDECL err(int level, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  Hold hold(g_logLock);
  HostState& state = State();
  if (state.sink != nullptr) {
    state.sink(level, text, state.sinkContext);
  } else {
    DefaultSink(level, text);
  }
  return 0;
}

VPI_EXPORT int VPI_CDECL ZelMkClient(const char* name, int, int, unsigned char* clientIdOut) {
  Hold hold(g_stateLock);
  HostState& state = State();
  if (state.refuseClients) return 1;
  const unsigned char id = state.nextClientId++;
  if (state.nextClientId == 0) state.nextClientId = 1;
  state.clients.push_back({id, name != nullptr ? std::string(name) : std::string()});
  *clientIdOut = id;
  return 0;
}

VPI_EXPORT int VPI_CDECL ZelRmClient(unsigned char clientId) {
  Hold hold(g_stateLock);
  auto& clients = State().clients;
  for (auto it = clients.begin(); it != clients.end(); ++it) {
    if (it->id == clientId) {
      clients.erase(it);
      return 0;
    }
  }
  return 1;
}

VPI_EXPORT int VPI_CDECL ZelGetGateIdByAddressStr(unsigned char, unsigned char, const char* addressText,
                                                  int32_t* gateIdOut) {
  Hold hold(g_stateLock);
  const auto& ids = State().gateIds;
  const auto found = ids.find(addressText);
  if (found == ids.end()) return 1;
  *gateIdOut = found->second;
  return 0;
}

VPI_EXPORT int VPI_CDECL ZelPutGateStr(unsigned char, int32_t gateId, int, const char* text, int, int) {
  Hold hold(g_stateLock);
  HostState& state = State();
  if (gateId < 1 || static_cast<size_t>(gateId) > state.gates.size()) return 1;
  if (state.putsBeforeFailure == 0) return 1;
  if (state.putsBeforeFailure > 0) --state.putsBeforeFailure;
  state.gates[gateId - 1].text.assign(text, strnlen(text, 4096));
  ++state.putCount;
  return 0;
}

VPI_EXPORT void ZelHostSetLogSink(ZelLogSink sink, void* context) {
  Hold hold(g_logLock);
  State().sink = sink;
  State().sinkContext = context;
}

VPI_EXPORT void ZelHostSetMinimumLevel(int level) {
  Hold hold(g_logLock);
  State().minimumLevel = level;
}

VPI_EXPORT void ZelHostRefuseClients(int refuse) {
  Hold hold(g_stateLock);
  State().refuseClients = refuse != 0;
}

VPI_EXPORT int ZelHostClientCount(void) {
  Hold hold(g_stateLock);
  return static_cast<int>(State().clients.size());
}

VPI_EXPORT int ZelHostClientRegistered(unsigned char clientId) {
  Hold hold(g_stateLock);
  for (const Client& client : State().clients) {
    if (client.id == clientId) return 1;
  }
  return 0;
}

VPI_EXPORT int ZelHostClientName(unsigned char clientId, char* out, size_t outSize) {
  if (outSize == 0) return 0;
  Hold hold(g_stateLock);
  out[0] = '\0';
  for (const Client& client : State().clients) {
    if (client.id == clientId) {
      std::snprintf(out, outSize, "%s", client.name.c_str());
      return static_cast<int>(std::strlen(out));
    }
  }
  return 0;
}

VPI_EXPORT int32_t ZelHostAddGate(const char* address) {
  Hold hold(g_stateLock);
  HostState& state = State();
  const auto found = state.gateIds.find(address);
  if (found != state.gateIds.end()) return found->second;
  state.gates.push_back({address, std::string()});
  const auto id = static_cast<int32_t>(state.gates.size());
  state.gateIds.emplace(address, id);
  return id;
}

VPI_EXPORT void ZelHostClearGates(void) {
  Hold hold(g_stateLock);
  State().gates.clear();
  State().gateIds.clear();
}

VPI_EXPORT int ZelHostGateText(const char* address, char* out, size_t outSize) {
  Hold hold(g_stateLock);
  const auto& ids = State().gateIds;
  const auto found = ids.find(address);
  if (found == ids.end()) {
    if (outSize > 0) out[0] = '\0';
    return 0;
  }
  if (outSize > 0) std::snprintf(out, outSize, "%s", State().gates[found->second - 1].text.c_str());
  return 1;
}

VPI_EXPORT int ZelHostPutCount(void) {
  Hold hold(g_stateLock);
  return State().putCount;
}

VPI_EXPORT void ZelHostFailPutsAfter(int okCount) {
  Hold hold(g_stateLock);
  State().putsBeforeFailure = okCount;
}

VPI_EXPORT void ZelHostReset(void) {
  Hold log(g_logLock);
  Hold hold(g_stateLock);
  State() = HostState();
}

}  // extern "C"
