#include "sim/simulator.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "programs/far_end.h"
#include "serial/crc16.h"
#include "sim/frame_assembler.h"
#include "sim/slave.h"
#include "sim/trace.h"

using namespace kovrin;

namespace sim {

namespace {

constexpr int kPollMs = 10;
constexpr int kWriteSliceMs = 50;
constexpr int kWriteGiveUpMs = 2000;

bool Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

}  // namespace

Simulator::Simulator(SimulatorOptions options) : options_(std::move(options)) {
  for (uint8_t address : options_.stations) {
    if (address < 1 || address > 247) {
      badStation_ = address;
      continue;
    }
    if (stations_.count(address)) continue;
    auto station = std::make_unique<Station>(address);
    ApplyPresets(options_.presets, *station);
    stations_.emplace(address, std::move(station));
  }
}

Simulator::~Simulator() {
  Stop();
  Close();
}

bool Simulator::Open(std::string* error) {
  if (line_ >= 0) return true;
  if (badStation_ >= 0) return Fail(error, "station " + std::to_string(badStation_) + " is not 1 to 247");
  if (stations_.empty()) return Fail(error, "no station to serve");
  for (const SilentWindow& window : options_.silent) {
    if (!stations_.count(window.station)) {
      return Fail(error, "a silent window is for station " + std::to_string(window.station) +
                             ", which is not served");
    }
  }
  if (options_.idleMs < 1) return Fail(error, "the idle time must be at least 1 ms");
  if (options_.timing.enabled() && options_.timing.bitsPerCharacter < 1) {
    return Fail(error, "bad number of bits a character");
  }
  const LineOptions& line = options_.line;
  if (line.device.empty()) {
    char path[128];
    line_ = FarEndOpenPty(path, sizeof path);
    if (line_ < 0) return Fail(error, "cannot create a pseudo-terminal");
    devicePath_ = path;
    // Holding the slave end open keeps the line up while masters close and
    // reopen it; without it the master end reports a hang-up.
    holdSlave_ = FarEndOpenDevice(path);
  } else {
    line_ = FarEndOpenDevice(line.device.c_str());
    if (line_ < 0) return Fail(error, "cannot open " + line.device);
    devicePath_ = line.device;
    std::string why;
    if (line.baud != 0 && !FarEndConfigure(line_, line.baud, line.parity, line.stopBits, &why)) {
      Close();
      return Fail(error, "cannot set up " + line.device + ": " + why);
    }
  }
  if (!line.link.empty()) {
    // Replacing the link of a simulator that still serves it would take its
    // masters away, and its exit would delete our link.
    const std::string lockPath = line.link + ".lock";
    long holder = -1;
    linkLock_ = HoldLockFile(lockPath.c_str(), &holder);
    if (linkLock_ < 0) {
      Close();
      if (holder < 0) return Fail(error, "cannot make the lock file " + lockPath);
      return Fail(error, "will not take over " + line.link + ": process " +
                             (holder > 0 ? std::to_string(holder) : std::string("(starting)")) +
                             " serves it (" + lockPath + ")");
    }
    linkLockPath_ = lockPath;
    std::error_code ec;
    const std::filesystem::path link(line.link);
    if (std::filesystem::exists(std::filesystem::symlink_status(link, ec)) &&
        !std::filesystem::is_symlink(link, ec)) {
      Close();
      return Fail(error, "will not replace " + line.link + ": it is not a symbolic link");
    }
    if (!MakeSymlink(devicePath_.c_str(), line.link.c_str())) {
      Close();
      return Fail(error, "cannot make the link " + line.link);
    }
    linkMade_ = line.link;
  }
  return true;
}

void Simulator::Close() {
  if (!linkMade_.empty()) {
    // Only our own link: someone may have pointed it elsewhere meanwhile.
    std::error_code ec;
    if (std::filesystem::read_symlink(linkMade_, ec) == std::filesystem::path(devicePath_)) {
      RemoveFile(linkMade_.c_str());
    }
    linkMade_.clear();
  }
  ReleaseLockFile(linkLock_, linkLockPath_.c_str());
  linkLock_ = -1;
  linkLockPath_.clear();
  FarEndClose(holdSlave_);
  FarEndClose(line_);
  holdSlave_ = line_ = -1;
}

bool Simulator::Start(std::string* error) {
  if (running()) return true;
  if (!Open(error)) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = false;
  }
  started_ = std::chrono::steady_clock::now();
  discarded_ = 0;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void Simulator::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool Simulator::HasStation(uint8_t station) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stations_.count(station) != 0;
}

uint16_t Simulator::Get(uint8_t station, Area area, uint16_t address) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = stations_.find(station);
  return it == stations_.end() ? 0 : it->second->Get(area, address);
}

bool Simulator::Set(uint8_t station, Area area, uint16_t address, uint16_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = stations_.find(station);
  if (it == stations_.end()) return false;
  it->second->Set(area, address, value);
  return true;
}

bool Simulator::SetReport(uint8_t station, int number, ReportText text) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = stations_.find(station);
  if (it == stations_.end() || number < 1 || number > 16) return false;
  it->second->SetReport(number, std::move(text));
  return true;
}

void Simulator::Apply(const Presets& presets) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [address, station] : stations_) ApplyPresets(presets, *station);
}

void Simulator::QueueFaults(const std::vector<FaultAction>& actions) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.Queue(actions);
}

void Simulator::SetRandomFaults(uint32_t seed, std::vector<RandomFault> faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.SetRandom(seed, std::move(faults));
}

void Simulator::ClearFaults() {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.Clear();
}

size_t Simulator::QueuedFaults() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_.queued();
}

std::vector<LoggedRequest> Simulator::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {log_.begin(), log_.end()};
}

void Simulator::ClearRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.clear();
}

uint64_t Simulator::HandledCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handled_;
}

bool Simulator::WaitForHandled(uint64_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds{timeoutMs}, [&] { return handled_ >= count; });
}

std::array<uint64_t, kFaultKindCount> Simulator::ActionCounts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return actionCounts_;
}

void Simulator::Trace(const std::string& line) const {
  if (!options_.trace) return;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%10.3f ", seconds);
  options_.trace(stamp + line);
}

bool Simulator::Pause(std::chrono::microseconds duration) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (duration.count() > 0) changed_.wait_for(lock, duration, [&] { return stopping_; });
  return !stopping_;
}

void Simulator::ServeStrictly() {
  const auto silence = SilentInterval(options_.framing);
  // poll waits whole milliseconds: the least that covers the silence.
  const int silenceMs = static_cast<int>((silence.count() + 999) / 1000);
  std::vector<uint8_t> frame;
  uint8_t buffer[512];
  bool readFailed = false;
  while (Pause(std::chrono::microseconds{0})) {
    const long n = FarEndRead(line_, buffer, sizeof buffer, frame.empty() ? kPollMs : silenceMs);
    if (n < 0) {
      if (!readFailed) Trace("reading " + devicePath_ + " failed; trying again");
      readFailed = true;
      frame.clear();
      Pause(std::chrono::milliseconds{20});  // a device gone away: do not spin
      continue;
    }
    readFailed = false;
    if (n > 0) {
      frame.insert(frame.end(), buffer, buffer + n);
      continue;
    }
    if (frame.empty()) continue;
    // The line fell silent: what arrived is one frame, good or not.
    if (frame.size() >= 4 && Crc16(frame.data(), frame.size()) == 0) {
      Handle(frame);
    } else {
      const uint64_t total = discarded_.load() + frame.size();
      NoteDropped(total);
    }
    frame.clear();
  }
}

void Simulator::Serve() {
  if (options_.framing.enabled()) {
    ServeStrictly();
    return;
  }
  FrameAssembler assembler;
  auto lastByte = std::chrono::steady_clock::now();
  uint8_t buffer[512];
  std::vector<uint8_t> frame;
  bool readFailed = false;
  while (Pause(std::chrono::microseconds{0})) {
    const long n = FarEndRead(line_, buffer, sizeof buffer, kPollMs);
    const auto now = std::chrono::steady_clock::now();
    if (n < 0) {
      if (!readFailed) Trace("reading " + devicePath_ + " failed; trying again");
      readFailed = true;
      Pause(std::chrono::milliseconds{20});  // a device gone away: do not spin
      continue;
    }
    readFailed = false;
    if (n > 0) {
      assembler.Push(buffer, static_cast<size_t>(n));
      lastByte = now;
    }
    const bool idle =
        assembler.pending() != 0 && now - lastByte >= std::chrono::milliseconds{options_.idleMs};
    while (assembler.Next(&frame, idle)) {
      NoteDropped(assembler.discarded());
      Handle(frame);
      if (!Pause(std::chrono::microseconds{0})) return;
    }
    NoteDropped(assembler.discarded());
  }
}

void Simulator::NoteDropped(uint64_t total) {
  const uint64_t before = discarded_.exchange(total);
  if (total != before) Trace("dropped " + std::to_string(total - before) + " bytes (no valid frame)");
}

void Simulator::Handle(const std::vector<uint8_t>& frame) {
  LoggedRequest entry;
  entry.time = std::chrono::steady_clock::now();
  entry.frame = frame;
  std::vector<uint8_t> answer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = stations_.find(frame[0]);
    const double seconds = std::chrono::duration<double>(entry.time - started_).count();
    const auto silent = [&](uint8_t address) { return InSilentWindow(options_.silent, address, seconds); };
    if (frame[0] == 0) {
      entry.fate = RequestFate::kBroadcast;
      for (auto& [address, station] : stations_) {
        if (!silent(address)) ExecuteBroadcast(*station, frame.data(), frame.size());
      }
    } else if (it == stations_.end()) {
      entry.fate = RequestFate::kOtherStation;
    } else if (silent(frame[0])) {
      entry.fate = RequestFate::kSilentStation;
    } else {
      entry.action = faults_.Next();
      ++actionCounts_[static_cast<size_t>(entry.action.kind)];
      if (entry.action.kind != FaultKind::kException)
        answer = AnswerRequest(*it->second, frame.data(), frame.size());
    }
    log_.push_back(entry);
    while (log_.size() > options_.logLimit) log_.pop_front();
  }

  if (options_.trace) {
    std::string line = "RX " + HexBytes(frame.data(), frame.size()) + "  | ";
    line += frame[0] == 0 ? "broadcast" : "station " + std::to_string(frame[0]);
    line += ": " + DescribeRequest(frame.data(), frame.size());
    if (entry.fate == RequestFate::kOtherStation) line += " (not served here: ignored)";
    if (entry.fate == RequestFate::kBroadcast) line += " (no answer)";
    if (entry.fate == RequestFate::kSilentStation) line += " (station silent: no answer, nothing done)";
    Trace(line);
  }
  std::vector<Chunk> chunks;
  if (entry.fate == RequestFate::kServed) chunks = PlanAnswer(frame, answer, entry.action, options_.timing);
  if (options_.echo != EchoMode::kNone) {
    const Chunk echo = PlanEcho(frame, options_.echo, options_.timing, &chunks);
    Trace(std::string("echo ") + EchoModeName(options_.echo));
    Transmit({echo}, false);
  }
  if (entry.fate == RequestFate::kServed) {
    if (options_.trace && entry.action.kind != FaultKind::kCorrect)
      Trace("fault " + FormatFault(entry.action));
    Transmit(chunks, chunks.size() == 1 && entry.action.kind != FaultKind::kGarbage &&
                         entry.action.kind != FaultKind::kTruncate);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++handled_;
  }
  changed_.notify_all();
}

void Simulator::Transmit(const std::vector<Chunk>& chunks, bool wholeFrame) {
  for (const Chunk& chunk : chunks) {
    if (!Pause(chunk.pause)) return;
    if (chunk.bytes.empty()) continue;
    size_t done = 0;
    // The wire never blocks; a master that does not read loses the rest.
    for (int waited = 0; done < chunk.bytes.size() && waited < kWriteGiveUpMs; waited += kWriteSliceMs) {
      done += FarEndWriteWithin(line_, chunk.bytes.data() + done, chunk.bytes.size() - done, kWriteSliceMs);
      if (!Pause(std::chrono::microseconds{0})) return;
    }
    if (options_.trace) {
      std::string line = "TX " + HexBytes(chunk.bytes.data(), chunk.bytes.size()) + "  | " +
                         (wholeFrame ? DescribeAnswer(chunk.bytes.data(), chunk.bytes.size())
                                     : std::to_string(chunk.bytes.size()) + " bytes");
      if (done < chunk.bytes.size())
        line += " (" + std::to_string(chunk.bytes.size() - done) + " bytes not taken by the line)";
      Trace(line);
    }
  }
}

}  // namespace sim
