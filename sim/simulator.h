// The device simulator: one or more Modbus RTU / J-BUS slave stations on one
// serial line, served on a thread of its own.
//
//   sim::SimulatorOptions options;
//   options.stations = {1, 2};
//   options.line.link = dir + "/com1";     // the driver opens "COM1" via VPI_COM_DIR
//   sim::Simulator simulator(options);
//   if (!simulator.Start(&error)) ...;      // creates a pseudo-terminal
//   simulator.QueueFaults({{sim::FaultKind::kSilent}});   // next request unanswered
//   ... the master talks to simulator.devicePath() ...
//   simulator.Stop();
//
// The line is a pseudo-terminal the simulator creates (devicePath() is its
// slave end, which masters open; the simulator keeps that end open itself as
// well, so masters may close and reopen it) or an existing device.
//
// Requests are served one after the other in the order they arrive. Every
// frame with a correct CRC is logged; a frame for a station not served is
// ignored, one for address 0 (broadcast) is carried out on every station
// without an answer, and a frame for a served station takes the next fault
// action (see sim/faults.h; "correct" when none is set). A station inside
// one of its silent windows is powered off: it neither answers nor carries
// out anything (broadcasts included), and takes no fault action. With an
// echo mode every frame logged is first handed back, whoever it is for.
// Station data, presets and the preset pattern: sim/station.h and
// sim/presets.h. All member functions are safe to call from any thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/faults.h"
#include "sim/presets.h"
#include "sim/station.h"
#include "sim/wire_timing.h"

namespace sim {

struct LineOptions {
  std::string device;  // empty: create a pseudo-terminal
  std::string link;    // if set: a symbolic link to the line's device, removed again on close
  // Set on an existing device when baud is not 0 (a pseudo-terminal ignores it).
  int baud = 0;
  char parity = 'N';
  int stopBits = 1;
};

struct SimulatorOptions {
  LineOptions line;
  std::vector<uint8_t> stations{1};
  Presets presets;
  WireTiming timing;  // baud 0: answers go out at once
  // Strict framing when framing.baud is set: as a real slave frames, the
  // bytes received are one frame until a silence of 3.5 characters at that
  // rate, and a frame whose CRC does not match is ignored (so a request with
  // a stray byte before or after it, or two requests in one burst, are not
  // answered). Otherwise frames are cut out by their length rules.
  WireTiming framing;
  std::vector<SilentWindow> silent;  // for served stations only
  EchoMode echo = EchoMode::kNone;
  int idleMs = 50;           // silence after which an incomplete frame is dropped
  size_t logLimit = 100000;  // requests kept in the log (oldest dropped first)
  // Receives each trace line (without newline) on the serving thread; it
  // must not call Stop. Empty: no trace.
  std::function<void(const std::string&)> trace;
};

enum class RequestFate : uint8_t {
  kServed,         // for a station of this simulator: answered as its action says
  kBroadcast,      // address 0: writes carried out, no answer
  kOtherStation,   // ignored
  kSilentStation,  // for a station in a silent window: nothing carried out, no answer
};

struct LoggedRequest {
  std::chrono::steady_clock::time_point time;  // when the frame was complete
  std::vector<uint8_t> frame;                  // with its CRC
  RequestFate fate = RequestFate::kServed;
  FaultAction action;  // applied (kServed only)
};

class Simulator {
 public:
  explicit Simulator(SimulatorOptions options = {});
  ~Simulator();  // Stop(), then closes the line and removes the link
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Opens the line (Start does it when needed); false with a reason.
  bool Open(std::string* error = nullptr);
  // Serves the line on a thread of its own.
  bool Start(std::string* error = nullptr);
  // Ends the thread within about 100 ms, even during a delay; the line
  // stays open.
  void Stop();
  bool running() const { return thread_.joinable(); }
  // The device masters open: the pseudo-terminal's slave end or the device.
  const std::string& devicePath() const { return devicePath_; }

  bool HasStation(uint8_t station) const;
  // 0 for a station not served.
  uint16_t Get(uint8_t station, Area area, uint16_t address) const;
  bool Set(uint8_t station, Area area, uint16_t address, uint16_t value);
  bool SetReport(uint8_t station, int number, ReportText text);
  void Apply(const Presets& presets);

  void QueueFaults(const std::vector<FaultAction>& actions);
  void SetRandomFaults(uint32_t seed, std::vector<RandomFault> faults);
  void ClearFaults();
  size_t QueuedFaults() const;

  // The request log, oldest first.
  std::vector<LoggedRequest> Requests() const;
  void ClearRequests();
  // Requests whose handling (answer included) is finished, since start.
  uint64_t HandledCount() const;
  // Waits until HandledCount() reaches count; false on timeout.
  bool WaitForHandled(uint64_t count, int timeoutMs) const;
  // How often each action was applied, indexed by FaultKind.
  std::array<uint64_t, kFaultKindCount> ActionCounts() const;
  // Bytes dropped while resynchronising.
  uint64_t DiscardedBytes() const { return discarded_.load(); }

 private:
  void Close();
  void Serve();
  void ServeStrictly();
  void Handle(const std::vector<uint8_t>& frame);
  // wholeFrame: the one chunk is a frame, worth describing in the trace.
  void Transmit(const std::vector<Chunk>& chunks, bool wholeFrame);
  void NoteDropped(uint64_t total);
  bool Pause(std::chrono::microseconds duration);  // false when stopping
  void Trace(const std::string& line) const;

  SimulatorOptions options_;
  std::string devicePath_;
  std::string linkMade_;
  // Held while the link is ours: a second simulator on it refuses.
  std::string linkLockPath_;
  int linkLock_ = -1;
  int line_ = -1;
  int holdSlave_ = -1;
  int badStation_ = -1;  // a station address out of range, refused by Open
  std::chrono::steady_clock::time_point started_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<uint8_t, std::unique_ptr<Station>> stations_;
  FaultPlan faults_;
  std::deque<LoggedRequest> log_;
  uint64_t handled_ = 0;
  std::array<uint64_t, kFaultKindCount> actionCounts_{};
  bool stopping_ = false;

  std::atomic<uint64_t> discarded_{0};
  std::thread thread_;
};

}  // namespace sim
