#include "transfer/station_health.h"

#include "host_interface/journal.h"
#include "host_interface/table_lock.h"

namespace kovrin {

namespace {

// More instances than a host runs in one process; no heap is used. When the
// table is full, the oldest areas make room in turn and start afresh.
constexpr int kAreas = 64;
constexpr int kStations = 256;
constexpr uint8_t kLongestFactor = 8;  // a period grows to 8 x S at most

struct Station {
  uint8_t silentRun;  // transactions in a row that heard nothing
  StationState state;
  uint8_t factor;  // this demotion's period in units of S
  uint64_t probeAtMs;
};

struct AreaStations {
  const void* area;
  DemoteSetting setting;
  Station stations[kStations];
};

TableLock g_lock;
AreaStations g_areas[kAreas];
int g_nextEvicted = 0;

AreaStations* Find(const void* area) {
  for (AreaStations& entry : g_areas) {
    if (entry.area == area) return &entry;
  }
  return nullptr;
}

AreaStations* Entry(const void* area) {
  if (AreaStations* entry = Find(area)) return entry;
  AreaStations* slot = Find(nullptr);
  if (slot == nullptr) {
    slot = &g_areas[g_nextEvicted];
    g_nextEvicted = (g_nextEvicted + 1) % kAreas;
  }
  *slot = AreaStations{};
  slot->area = area;
  return slot;
}

uint64_t PeriodMs(const DemoteSetting& setting, uint8_t factor) {
  return static_cast<uint64_t>(setting.periodS) * factor * 1000u;
}

// What a transaction changed, to be logged once the lock is released.
struct Change {
  enum { kNone, kDemoted, kPromoted } kind = kNone;
  unsigned seconds = 0;
};

Change Demote(Station* station, const DemoteSetting& setting, uint8_t factor, uint64_t nowMs) {
  station->state = StationState::kDemoted;
  station->factor = factor;
  station->probeAtMs = nowMs + PeriodMs(setting, factor);
  return Change{Change::kDemoted, static_cast<unsigned>(setting.periodS) * factor};
}

// A probe's outcome: back at once, out again for twice as long, or (garbled:
// alive, but no reply to go by) out again for as long.
Change AfterProbe(Station* station, const DemoteSetting& setting, StationHeard heard, uint64_t nowMs) {
  switch (heard) {
    case StationHeard::kAccepted:
      *station = Station{0, StationState::kAnswering, 0, 0};
      return Change{Change::kPromoted, 0};
    case StationHeard::kSilence: {
      const int doubled = station->factor * 2;
      return Demote(station, setting,
                    static_cast<uint8_t>(doubled > kLongestFactor ? kLongestFactor : doubled), nowMs);
    }
    case StationHeard::kGarbled:
    case StationHeard::kNothing:
      station->probeAtMs = nowMs + PeriodMs(setting, station->factor);
      return Change{};
  }
  return Change{};
}

Change Record(Station* station, const DemoteSetting& setting, StationTurn turn, StationHeard heard,
              uint64_t nowMs) {
  if (turn == StationTurn::kProbe) return AfterProbe(station, setting, heard, nowMs);
  switch (heard) {
    case StationHeard::kAccepted:
    case StationHeard::kGarbled:
      station->silentRun = 0;
      station->state = StationState::kAnswering;
      return Change{};
    case StationHeard::kSilence:
      if (station->silentRun < 255) ++station->silentRun;
      station->state = StationState::kLastSilent;
      if (setting.afterSilent != 0 && station->silentRun >= setting.afterSilent) {
        return Demote(station, setting, 1, nowMs);
      }
      return Change{};
    case StationHeard::kNothing:
      return Change{};
  }
  return Change{};
}

}  // namespace

bool ConfigureStations(const void* area, DemoteSetting setting) {
  TableLock::Holder hold(g_lock);
  AreaStations* entry = Find(area);
  // Only an area that demotes or was watched before is kept.
  if (entry == nullptr && setting.afterSilent == 0) return false;
  entry = Entry(area);
  *entry = AreaStations{};
  entry->area = area;
  entry->setting = setting;
  return true;
}

void WatchStations(const void* area) {
  TableLock::Holder hold(g_lock);
  Entry(area);
}

StationTurn StationTurnFor(const void* area, uint8_t station, uint64_t nowMs) {
  TableLock::Holder hold(g_lock);
  const AreaStations* entry = Find(area);
  if (entry == nullptr || station == 0) return StationTurn::kSend;
  const Station& s = entry->stations[station];
  if (s.state != StationState::kDemoted) return StationTurn::kSend;
  return nowMs >= s.probeAtMs ? StationTurn::kProbe : StationTurn::kSkip;
}

void RecordStation(const void* area, uint8_t number, StationTurn turn, StationHeard heard, uint64_t nowMs) {
  if (number == 0 || turn == StationTurn::kSkip) return;
  Change change;
  {
    TableLock::Holder hold(g_lock);
    AreaStations* entry = Entry(area);
    change = Record(&entry->stations[number], entry->setting, turn, heard, nowMs);
  }
  if (change.kind == Change::kDemoted) {
    err(kLogMajor, "KOVRIN> station %u demoted for %u s", static_cast<unsigned>(number), change.seconds);
  } else if (change.kind == Change::kPromoted) {
    err(kLogMajor, "KOVRIN> station %u answers again", static_cast<unsigned>(number));
  }
}

StationState StationStateOf(const void* area, uint8_t station) {
  TableLock::Holder hold(g_lock);
  const AreaStations* entry = Find(area);
  return entry == nullptr ? StationState::kAnswering : entry->stations[station].state;
}

}  // namespace kovrin
