// A device played by a test on its own thread: every request frame the
// driver sends is recorded and answered by a responder function.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/pty_device.h"

using Bytes = std::vector<uint8_t>;

class ScriptedDevice {
 public:
  // Gets the request and its index (0 for the first); returns the bytes to
  // send back, empty for silence.
  using Responder = std::function<Bytes(const Bytes& request, int index)>;

  explicit ScriptedDevice(Responder responder);
  ~ScriptedDevice();
  ScriptedDevice(const ScriptedDevice&) = delete;
  ScriptedDevice& operator=(const ScriptedDevice&) = delete;

  const char* portName() const { return pty_.portName(); }
  std::vector<Bytes> Requests() const;
  int RequestCount() const;

 private:
  void Serve();
  bool ReadRequest(Bytes* request);

  PtyDevice pty_;
  Responder responder_;
  mutable std::mutex mutex_;
  std::vector<Bytes> requests_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Length of a request frame (with CRC) from its first bytes, or 0 when more
// bytes are needed to tell.
size_t RequestFrameLength(const Bytes& head);
