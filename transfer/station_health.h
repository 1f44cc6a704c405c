// The stations of each line: whether each answers, and its demotion when the
// init file asks for it (DEMOTE = N , S). A station whose N transactions in
// a row heard nothing at all is left out for S seconds; then one request
// goes out as a probe. A probe that stays silent leaves it out again for
// twice as long, up to 8 x S; any reply the frame layer accepts brings it
// back at once.
//
// Kept beside the host's instance area, keyed by its address, since the
// area's layout is the host's. An instance's requests come one at a time,
// but instances run on threads of their own: every look at the table holds
// its lock, never across a wait on the line.
#pragma once

#include <cstdint>

namespace kovrin {

struct DemoteSetting {
  uint8_t afterSilent = 0;  // N, 1 to 255; 0: no demotion
  uint16_t periodS = 0;     // S, 1 to 3600
};

// The state a station-health gate reads.
enum class StationState : uint8_t {
  kAnswering = 0,
  kLastSilent = 1,  // its last transaction heard nothing
  kDemoted = 2,
};

// What the next transaction with a station does.
enum class StationTurn {
  kSend,   // as always
  kProbe,  // one attempt: the station is demoted and its period is over
  kSkip,   // nothing: the station is demoted
};

// How a transaction with a station went, as far as its health goes.
enum class StationHeard {
  kAccepted,  // a reply the frame layer accepts (an exception included)
  kGarbled,   // bytes, but no reply to accept: the station is alive
  kSilence,   // requests went out, nothing at all came back
  kNothing,   // no request went out: says nothing of the station
};

// A start of the area: its setting, every station answering. True when the
// area's transactions are to be recorded (it demotes, or was watched before).
bool ConfigureStations(const void* area, DemoteSetting setting);

StationTurn StationTurnFor(const void* area, uint8_t station, uint64_t nowMs);
// After a transaction the turn allowed; logs each demotion and promotion.
// Starts watching the area when it was not.
void RecordStation(const void* area, uint8_t station, StationTurn turn, StationHeard heard, uint64_t nowMs);

// Starts watching the area (as when a health gate is read before any
// transaction was recorded).
void WatchStations(const void* area);
StationState StationStateOf(const void* area, uint8_t station);

}  // namespace kovrin
