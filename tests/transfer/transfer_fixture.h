// A started driver instance on a pseudo-terminal whose far end a scripted
// device plays, and helpers to build replies.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "host_interface/instance.h"
#include "entry/vpi_main.h"
#include "tests/support/frame_crc.h"
#include "tests/support/host_session.h"
#include "tests/support/log_capture.h"
#include "tests/support/same_record.h"
#include "tests/support/scripted_device.h"
#include "tests/support/temp_dir.h"

// A read reply carrying data, for the request it answers.
inline Bytes ReadReply(const Bytes& request, const Bytes& data) {
  Bytes reply = {request[0], request[1], static_cast<uint8_t>(data.size())};
  reply.insert(reply.end(), data.begin(), data.end());
  return WithCrc(reply);
}

// The acknowledgement of a write: its first six bytes echoed.
inline Bytes WriteEcho(const Bytes& request) { return WithCrc(Bytes(request.begin(), request.begin() + 6)); }

inline Bytes ExceptionReply(const Bytes& request, uint8_t code) {
  return WithCrc({request[0], static_cast<uint8_t>(request[1] | 0x80), code});
}

inline Bytes BreakCrc(Bytes frame) {
  if (!frame.empty()) frame.back() ^= 0xFF;
  return frame;
}

struct Gate {
  int32_t plc = 1;
  int32_t memoryType = 4;
  int32_t address = 0;
  int32_t bit = -1;
  int32_t width = 16;
  int32_t gateType = 2;
  int32_t count = 1;
  const char* gas = "";
};

class TransferTest : public ::testing::Test {
 protected:
  // Starts the instance with this init file and device; replyTimeout in
  // units of 10 ms.
  void Start(ScriptedDevice::Responder responder, const std::string& initFile = "",
             uint32_t replyTimeout = 5) {
    device_ = std::make_unique<ScriptedDevice>(std::move(responder));
    // The device's own temporary directory became the current one.
    std::filesystem::current_path(dir_.path());
    if (!initFile.empty()) dir_.Write("KOVRIN.INT", initFile);
    // ColdStart must not count on a zeroed area.
    std::memset(&session_.instance(), 0xCD, sizeof(VpiInstance));
    ASSERT_EQ(session_.Start(device_->portName(), replyTimeout), kResultDone);
    log_.Clear();
  }

  void TearDown() override {
    if (device_) session_.Close();
    g_ended = 0;
  }

  // Runs a transfer command on gate with values as the value area.
  int32_t Transfer(uint32_t command, const Gate& gate, uint8_t* values) {
    ParseRequest parsed{};
    parsed.gas = gate.gas;
    parsed.gateType = gate.gateType;
    parsed.plc = gate.plc;
    parsed.memoryType = gate.memoryType;
    parsed.address = gate.address;
    parsed.bit = gate.bit;
    parsed.width = gate.width;
    transfer_ = HostSession::TransferFor(parsed, gate.count, values);
    return session_.Call(command, &transfer_);
  }

  VpiInstance& instance() { return session_.instance(); }

  std::vector<Bytes> Requests() const { return device_->Requests(); }

  TempDir dir_;
  LogCapture log_;
  std::unique_ptr<ScriptedDevice> device_;
  HostSession session_;
  GateTransfer transfer_{};
};
