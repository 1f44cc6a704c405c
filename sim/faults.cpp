#include "sim/faults.h"

#include <algorithm>

#include "serial/crc16.h"
#include "sim/text_parse.h"

using namespace kovrin;

namespace sim {

namespace {

struct KindName {
  FaultKind kind;
  const char* name;
};

constexpr KindName kKindNames[kFaultKindCount] = {
    {FaultKind::kCorrect, "correct"},
    {FaultKind::kSilent, "silent"},
    {FaultKind::kWrongSlave, "wrong-slave"},
    {FaultKind::kWrongFunction, "wrong-function"},
    {FaultKind::kBadCrc, "bad-crc"},
    {FaultKind::kException, "exception"},
    {FaultKind::kTruncate, "truncate"},
    {FaultKind::kSplit, "split"},
    {FaultKind::kDelay, "delay"},
    {FaultKind::kGarbage, "garbage"},
};

struct EchoName {
  EchoMode mode;
  const char* name;
};

constexpr EchoName kEchoNames[] = {
    {EchoMode::kNone, "none"},
    {EchoMode::kFull, "full"},
    {EchoMode::kPartial, "partial"},
    {EchoMode::kCorrupt, "corrupt"},
};

constexpr int kMaxMs = 600000;
constexpr int kDefaultGarbage = 3;

bool Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

}  // namespace

const char* FaultKindName(FaultKind kind) {
  for (const KindName& entry : kKindNames) {
    if (entry.kind == kind) return entry.name;
  }
  return "?";
}

std::string FormatFault(const FaultAction& action) {
  std::string text = FaultKindName(action.kind);
  switch (action.kind) {
    case FaultKind::kWrongSlave:
    case FaultKind::kWrongFunction:
    case FaultKind::kGarbage:
      if (action.value != 0) text += ":" + std::to_string(action.value);
      break;
    case FaultKind::kException:
    case FaultKind::kTruncate:
    case FaultKind::kDelay:
      text += ":" + std::to_string(action.value);
      break;
    case FaultKind::kSplit:
      text += ":" + std::to_string(action.value) + ":" + std::to_string(action.gapMs);
      break;
    default:
      break;
  }
  return text;
}

bool ParseFault(std::string_view text, FaultAction* action, std::string* error) {
  const std::vector<std::string_view> parts = Split(text, ':');
  const std::string name(parts[0]);
  const KindName* found = std::find_if(std::begin(kKindNames), std::end(kKindNames),
                                       [&](const KindName& entry) { return name == entry.name; });
  if (found == std::end(kKindNames)) return Fail(error, "unknown fault action \"" + std::string(text) + "\"");
  FaultAction parsed;
  parsed.kind = found->kind;
  // Parameters each action takes: {required, optional} count, and bounds.
  size_t required = 0, optional = 0;
  long long low = 0, high = 0;
  switch (parsed.kind) {
    case FaultKind::kWrongSlave:
      optional = 1;
      low = 0;
      high = 255;
      break;
    case FaultKind::kWrongFunction:
      optional = 1;
      low = 0;
      high = 255;
      break;
    case FaultKind::kException:
      required = 1;
      low = 0;
      high = 255;
      break;
    case FaultKind::kTruncate:
      required = 1;
      low = 0;
      high = 1000;
      break;
    case FaultKind::kSplit:
      required = 2;
      low = 1;
      high = 1000;
      break;
    case FaultKind::kDelay:
      required = 1;
      low = 0;
      high = kMaxMs;
      break;
    case FaultKind::kGarbage:
      optional = 1;
      low = 1;
      high = 1000;
      break;
    default:
      break;
  }
  const size_t given = parts.size() - 1;
  if (given < required || given > required + optional) {
    return Fail(error, "wrong number of parameters in fault action \"" + std::string(text) + "\"");
  }
  long long value = 0;
  if (given >= 1) {
    if (!ParseInteger(parts[1], low, high, &value)) {
      return Fail(error, "bad parameter in fault action \"" + std::string(text) + "\"");
    }
    parsed.value = static_cast<int>(value);
  }
  if (given >= 2) {
    if (!ParseInteger(parts[2], 0, kMaxMs, &value)) {
      return Fail(error, "bad gap in fault action \"" + std::string(text) + "\"");
    }
    parsed.gapMs = static_cast<int>(value);
  }
  *action = parsed;
  return true;
}

bool ParseFaultList(std::string_view text, std::vector<FaultAction>* actions, std::string* error) {
  std::vector<FaultAction> parsed;
  for (std::string_view item : Split(text, ',')) {
    if (item.empty()) return Fail(error, "empty fault action in \"" + std::string(text) + "\"");
    long long repeat = 1;
    const size_t star = item.find('*');
    if (star != std::string_view::npos) {
      if (!ParseInteger(item.substr(star + 1), 1, 1000000, &repeat)) {
        return Fail(error, "bad repeat count in \"" + std::string(item) + "\"");
      }
      item = Trim(item.substr(0, star));
    }
    FaultAction action;
    if (!ParseFault(item, &action, error)) return false;
    parsed.insert(parsed.end(), static_cast<size_t>(repeat), action);
  }
  actions->insert(actions->end(), parsed.begin(), parsed.end());
  return true;
}

bool ParseRandomFaults(std::string_view text, std::vector<RandomFault>* faults, std::string* error) {
  std::vector<RandomFault> parsed;
  double total = 0;
  for (std::string_view item : Split(text, ',')) {
    const size_t equals = item.rfind('=');
    if (equals == std::string_view::npos)
      return Fail(error, "expected ACTION=PROBABILITY, got \"" + std::string(item) + "\"");
    RandomFault fault;
    if (!ParseFault(Trim(item.substr(0, equals)), &fault.action, error)) return false;
    if (!ParseDouble(item.substr(equals + 1), &fault.probability) || fault.probability < 0 ||
        fault.probability > 1) {
      return Fail(error, "bad probability in \"" + std::string(item) + "\"");
    }
    total += fault.probability;
    parsed.push_back(fault);
  }
  if (total > 1.0 + 1e-9) return Fail(error, "fault probabilities add up to more than 1");
  *faults = std::move(parsed);
  return true;
}

void FaultPlan::Queue(const std::vector<FaultAction>& actions) {
  script_.insert(script_.end(), actions.begin(), actions.end());
}

void FaultPlan::SetRandom(uint32_t seed, std::vector<RandomFault> faults) {
  random_ = std::move(faults);
  rng_.seed(seed);
}

void FaultPlan::Clear() {
  script_.clear();
  random_.clear();
}

FaultAction FaultPlan::Next() {
  if (!script_.empty()) {
    const FaultAction action = script_.front();
    script_.pop_front();
    return action;
  }
  if (random_.empty()) return {};
  // mt19937 is the same everywhere; the distributions of <random> are not.
  const double draw = static_cast<double>(rng_()) / 4294967296.0;
  double sum = 0;
  for (const RandomFault& fault : random_) {
    sum += fault.probability;
    if (draw < sum) return fault.action;
  }
  return {};
}

void AppendCrc(std::vector<uint8_t>& frame) {
  const uint16_t crc = Crc16(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
}

std::vector<Chunk> PlanAnswer(const std::vector<uint8_t>& request, const std::vector<uint8_t>& answer,
                              const FaultAction& action, const WireTiming& timing) {
  if (action.kind == FaultKind::kSilent) return {};
  std::vector<uint8_t> frame = answer;
  switch (action.kind) {
    case FaultKind::kWrongSlave:
      frame[0] =
          static_cast<uint8_t>(action.value != 0 ? action.value : (request[0] >= 247 ? 1 : request[0] + 1));
      break;
    case FaultKind::kWrongFunction:
      frame[1] = static_cast<uint8_t>(action.value != 0 ? action.value
                                                        : ((request[1] + 1) & 0x7F) | (answer[1] & 0x80));
      break;
    case FaultKind::kException:
      frame = {request[0], static_cast<uint8_t>(request[1] | 0x80), static_cast<uint8_t>(action.value)};
      break;
    default:
      break;
  }
  AppendCrc(frame);
  if (action.kind == FaultKind::kBadCrc) {
    frame[frame.size() - 2] ^= 0xFF;
    frame[frame.size() - 1] ^= 0xFF;
  }
  if (action.kind == FaultKind::kTruncate)
    frame.resize(std::min(frame.size(), static_cast<size_t>(action.value)));
  if (action.kind == FaultKind::kGarbage) {
    const int count = action.value != 0 ? action.value : kDefaultGarbage;
    std::vector<uint8_t> garbage;
    for (int i = 0; i < count; ++i) garbage.push_back(static_cast<uint8_t>(0xFF - i % 8));
    frame.insert(frame.begin(), garbage.begin(), garbage.end());
  }

  std::vector<Chunk> chunks;
  if (action.kind == FaultKind::kSplit) {
    const size_t piece = static_cast<size_t>(action.value);
    for (size_t start = 0; start < frame.size(); start += piece) {
      Chunk chunk;
      if (start != 0) chunk.pause = std::chrono::milliseconds{action.gapMs};
      chunk.bytes.assign(frame.begin() + static_cast<long>(start),
                         frame.begin() + static_cast<long>(std::min(frame.size(), start + piece)));
      chunks.push_back(std::move(chunk));
    }
  } else {
    chunks.push_back(Chunk{std::chrono::microseconds{0}, std::move(frame)});
  }
  if (action.kind == FaultKind::kDelay) chunks.front().pause += std::chrono::milliseconds{action.value};
  chunks.front().pause += WireTime(timing, request.size()) + SilentInterval(timing);
  for (Chunk& chunk : chunks) chunk.pause += WireTime(timing, chunk.bytes.size());
  return chunks;
}

bool InSilentWindow(const std::vector<SilentWindow>& windows, uint8_t station, double seconds) {
  return std::any_of(windows.begin(), windows.end(), [&](const SilentWindow& window) {
    return window.station == station && seconds >= window.from && seconds < window.to;
  });
}

const char* EchoModeName(EchoMode mode) {
  for (const EchoName& entry : kEchoNames) {
    if (entry.mode == mode) return entry.name;
  }
  return "?";
}

bool ParseEchoMode(std::string_view text, EchoMode* mode) {
  for (const EchoName& entry : kEchoNames) {
    if (text == entry.name) {
      *mode = entry.mode;
      return true;
    }
  }
  return false;
}

Chunk PlanEcho(const std::vector<uint8_t>& request, EchoMode mode, const WireTiming& timing,
               std::vector<Chunk>* answer) {
  Chunk echo;
  if (mode == EchoMode::kNone) return echo;
  echo.bytes = request;
  if (mode == EchoMode::kPartial) echo.bytes.resize(std::min(request.size(), kPartialEcho));
  if (mode == EchoMode::kCorrupt) echo.bytes[echo.bytes.size() - 3] ^= kCorruptEchoMask;
  echo.pause = WireTime(timing, echo.bytes.size());
  // Never below zero: the echo is no longer than the request the answer
  // waits for.
  if (!answer->empty()) answer->front().pause -= echo.pause;
  return echo;
}

}  // namespace sim
