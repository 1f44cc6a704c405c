// Faults on demand: what goes back for each request a station receives.
//
// Actions, in the text form of scripts and the command line:
//   correct                the right answer
//   silent                 no answer at all
//   wrong-slave[:ADDR]     the answer from slave ADDR (default: the request's + 1, 247 -> 1)
//   wrong-function[:FN]    the answer with function byte FN (default: the request's + 1,
//                          keeping the exception bit of an exception answer)
//   bad-crc                the answer with both CRC bytes inverted
//   exception:CODE         an exception answer with CODE (0..255); the request is not
//                          carried out
//   truncate:K             only the first K bytes of the answer
//   split:N:G              the answer in pieces of N bytes, G ms apart
//   delay:MS               the answer MS ms late
//   garbage[:COUNT]        COUNT bytes (default 3) of FF FE FD FC FB FA F9 F8 ... (never a
//                          slave address) right before the answer
// ACTION*N stands for N times ACTION in a list. With every action but
// exception the request is carried out (a write takes effect): the fault is
// on the way back.
//
// A plan serves a script first (one action per request, in order) and, when
// the script is used up, the seeded random mode if one is set: each request
// draws one action by its probability (the rest of 1 is "correct").
//
// Beside the actions, two faults of the line itself:
//   silent windows   a station powered off for a while: requests arriving
//                    then get no answer and change nothing
//   adapter echo     a 2-wire adapter whose receiver stays on hands every
//                    request back to the master before anything else:
//                      full     the whole frame, CRC included
//                      partial  its first kPartialEcho bytes
//                      corrupt  the whole frame with the last byte before
//                               the CRC XOR kCorruptEchoMask
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "sim/wire_timing.h"

namespace sim {

enum class FaultKind : uint8_t {
  kCorrect,
  kSilent,
  kWrongSlave,
  kWrongFunction,
  kBadCrc,
  kException,
  kTruncate,
  kSplit,
  kDelay,
  kGarbage,
};
constexpr size_t kFaultKindCount = 10;

struct FaultAction {
  FaultKind kind = FaultKind::kCorrect;
  int value = 0;  // address, function, code, bytes kept, piece size, ms or count; 0 = default
  int gapMs = 0;  // split only

  bool operator==(const FaultAction&) const = default;
};

const char* FaultKindName(FaultKind kind);
std::string FormatFault(const FaultAction& action);
bool ParseFault(std::string_view text, FaultAction* action, std::string* error);
// Comma-separated actions, each possibly ACTION*N.
bool ParseFaultList(std::string_view text, std::vector<FaultAction>* actions, std::string* error);

struct RandomFault {
  FaultAction action;
  double probability = 0;
};
// Comma-separated ACTION=PROBABILITY entries; the probabilities add up to at most 1.
bool ParseRandomFaults(std::string_view text, std::vector<RandomFault>* faults, std::string* error);

class FaultPlan {
 public:
  void Queue(const std::vector<FaultAction>& actions);
  // Empty faults: no random mode.
  void SetRandom(uint32_t seed, std::vector<RandomFault> faults);
  void Clear();
  FaultAction Next();
  size_t queued() const { return script_.size(); }

 private:
  std::deque<FaultAction> script_;
  std::vector<RandomFault> random_;
  std::mt19937 rng_;
};

// The bytes that go back for one request, as pieces each sent after a pause.
struct Chunk {
  std::chrono::microseconds pause{0};
  std::vector<uint8_t> bytes;
};

// answer: the station's correct answer without CRC (unused for exception).
// With wire timing, the first piece also waits for the request's and its own
// wire time and the silent interval, every later piece for its own wire time.
std::vector<Chunk> PlanAnswer(const std::vector<uint8_t>& request, const std::vector<uint8_t>& answer,
                              const FaultAction& action, const WireTiming& timing);

void AppendCrc(std::vector<uint8_t>& frame);

// Station is powered off for requests arriving from seconds after the
// simulator started (included) until to (excluded; infinity: for ever).
struct SilentWindow {
  uint8_t station = 0;
  double from = 0;
  double to = 0;
};

bool InSilentWindow(const std::vector<SilentWindow>& windows, uint8_t station, double seconds);

enum class EchoMode : uint8_t { kNone, kFull, kPartial, kCorrupt };
constexpr size_t kPartialEcho = 3;
constexpr uint8_t kCorruptEchoMask = 0x20;

// "none", "full", "partial", "corrupt".
const char* EchoModeName(EchoMode mode);
bool ParseEchoMode(std::string_view text, EchoMode* mode);

// What the adapter hands back of a request (with CRC, at least 4 bytes).
// With wire timing the echo is on the line while the request is, so it waits
// only for its own wire time, and the first piece of answer, timed from the
// request's arrival too, waits that much less: the answer keeps its usual
// time and always comes after the echo.
Chunk PlanEcho(const std::vector<uint8_t>& request, EchoMode mode, const WireTiming& timing,
               std::vector<Chunk>* answer);

}  // namespace sim
