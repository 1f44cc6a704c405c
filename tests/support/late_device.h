// A station that answers every request, in order, a fixed time after that
// request arrived, however many requests are still waiting for their
// answer: a slow flow computer or a radio link. Its holding registers hold
// 1000 + n; writes land in them (functions 5, 6, 15, 16, echoed); report r
// has a text of its own, cut into 128-byte packets (function 65, report
// code and packet number echoed).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/pty_device.h"

class LateDevice {
 public:
  explicit LateDevice(std::chrono::milliseconds late);
  ~LateDevice();
  LateDevice(const LateDevice&) = delete;
  LateDevice& operator=(const LateDevice&) = delete;

  const char* portName() const { return pty_.portName(); }
  int RequestCount() const;
  uint16_t Register(uint16_t address) const;
  // The whole text of report code (9101 ...), end of report (0x1A) included.
  static std::string ReportText(uint16_t code);

 private:
  struct Pending {
    std::chrono::steady_clock::time_point due;
    std::vector<uint8_t> reply;
  };
  void Serve();
  std::vector<uint8_t> Answer(const std::vector<uint8_t>& request);

  PtyDevice pty_;
  const std::chrono::milliseconds late_;
  mutable std::mutex mutex_;
  std::vector<uint16_t> registers_;
  int requests_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
