#include "entry/opened_ports.h"

#include "host_interface/table_lock.h"

namespace kovrin {

namespace {

// More instances than a host runs in one process; no heap is used. One
// entry per area holds the handle and client of its latest start: only the
// one the area itself records can be asked about.
constexpr int kSlots = 64;

struct AreaEntry {
  const void* area;
  HANDLE handle;  // null: none open
  unsigned char clientId;
  bool hasClient;
};

// Lines start and close from their own threads: every look at the table
// holds the lock.
TableLock g_lock;
AreaEntry g_entries[kSlots];
int g_nextEvicted = 0;

AreaEntry* Find(const void* area) {
  for (AreaEntry& entry : g_entries) {
    if (entry.area == area) return &entry;
  }
  return nullptr;
}

void DropIfEmpty(AreaEntry* entry) {
  if (entry->handle == nullptr && !entry->hasClient) *entry = AreaEntry{};
}

// The area's entry, made when it has none; when the table is full the
// oldest slots are reused in turn (their areas then restart as before).
AreaEntry* Entry(const void* area) {
  if (AreaEntry* entry = Find(area)) return entry;
  AreaEntry* slot = Find(nullptr);
  if (slot == nullptr) {
    slot = &g_entries[g_nextEvicted];
    g_nextEvicted = (g_nextEvicted + 1) % kSlots;
  }
  *slot = AreaEntry{area, nullptr, 0, false};
  return slot;
}

}  // namespace

void RememberOpenedPort(const void* area, HANDLE handle) {
  TableLock::Holder hold(g_lock);
  if (area == nullptr || handle == nullptr) return;
  // A handle value belongs to one open port: no other area holds it now.
  for (AreaEntry& entry : g_entries) {
    if (entry.area != nullptr && entry.area != area && entry.handle == handle) {
      entry.handle = nullptr;
      DropIfEmpty(&entry);
    }
  }
  Entry(area)->handle = handle;
}

void ForgetOpenedPort(const void* area, HANDLE handle) {
  TableLock::Holder hold(g_lock);
  AreaEntry* entry = area != nullptr ? Find(area) : nullptr;
  if (entry == nullptr || entry->handle != handle) return;
  entry->handle = nullptr;
  DropIfEmpty(entry);
}

bool OpenedForArea(const void* area, HANDLE handle) {
  TableLock::Holder hold(g_lock);
  const AreaEntry* entry = area != nullptr ? Find(area) : nullptr;
  return entry != nullptr && handle != nullptr && entry->handle == handle;
}

void RememberClient(const void* area, unsigned char clientId) {
  TableLock::Holder hold(g_lock);
  if (area == nullptr) return;
  for (AreaEntry& entry : g_entries) {
    if (entry.area != nullptr && entry.area != area && entry.hasClient && entry.clientId == clientId) {
      entry.hasClient = false;
      DropIfEmpty(&entry);
    }
  }
  AreaEntry* entry = Entry(area);
  entry->clientId = clientId;
  entry->hasClient = true;
}

void ForgetClient(const void* area, unsigned char clientId) {
  TableLock::Holder hold(g_lock);
  AreaEntry* entry = area != nullptr ? Find(area) : nullptr;
  if (entry == nullptr || !entry->hasClient || entry->clientId != clientId) return;
  entry->hasClient = false;
  DropIfEmpty(entry);
}

bool ClientOfArea(const void* area, unsigned char clientId) {
  TableLock::Holder hold(g_lock);
  const AreaEntry* entry = area != nullptr ? Find(area) : nullptr;
  return entry != nullptr && entry->hasClient && entry->clientId == clientId;
}

}  // namespace kovrin
