// A pseudo-terminal pair whose far end the test plays as the device. The
// driver reaches the near end as "COM1" through VPI_COM_DIR.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/frame_crc.h"
#include "tests/support/temp_dir.h"

// Sets (or, with no value, removes) VPI_COM_DIR for a scope and restores the
// previous value afterwards.
class ScopedComDir {
 public:
  explicit ScopedComDir(const std::optional<std::string>& dir);
  ~ScopedComDir();
  ScopedComDir(const ScopedComDir&) = delete;
  ScopedComDir& operator=(const ScopedComDir&) = delete;

 private:
  std::optional<std::string> previous_;
};

class PtyDevice {
 public:
  PtyDevice();
  ~PtyDevice();
  PtyDevice(const PtyDevice&) = delete;
  PtyDevice& operator=(const PtyDevice&) = delete;

  // The port name the driver opens ("COM1"), and the device behind it.
  const char* portName() const { return "COM1"; }
  const std::string& devicePath() const { return slavePath_; }
  // The far end, for helpers that play the device on their own thread.
  int line() const { return master_; }

  // Bytes the driver sent, read until the line is idle for idleMs.
  std::vector<uint8_t> Received(int firstByteMs = 1000, int idleMs = 30);
  // Exactly n bytes the driver sent, waiting up to timeoutMs in all.
  std::vector<uint8_t> ReceiveExactly(size_t n, int timeoutMs = 2000);
  void Send(const std::vector<uint8_t>& bytes);
  // Appends the CRC and sends.
  void SendFrame(std::vector<uint8_t> bytes);

  // The directory VPI_COM_DIR names for this device.
  const std::filesystem::path& comDir() const { return dir_.path(); }
  // Makes the device reachable as dir/linkName too (e.g. "com2" beside
  // another device's "com1").
  void LinkAs(const std::filesystem::path& dir, const std::string& linkName) const;
  // Closes the far end: the driver's side sees the line hung up.
  void HangUp();
  // Closes the far end and makes a new line reachable as "COM1", as an
  // adapter unplugged and plugged in again.
  void Replug();

 private:
  TempDir dir_;
  ScopedComDir comDir_{dir_.path().string()};
  std::string slavePath_;
  int master_ = -1;
};
