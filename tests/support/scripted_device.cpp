#include "tests/support/scripted_device.h"

#include "programs/far_end.h"

size_t RequestFrameLength(const Bytes& head) {
  if (head.size() < 2) return 0;
  const uint8_t function = head[1];
  if (function == 15 || function == 16) return head.size() < 7 ? 0 : 9u + head[6];
  return 8;
}

ScriptedDevice::ScriptedDevice(Responder responder)
    : responder_(std::move(responder)), thread_([this] { Serve(); }) {}

ScriptedDevice::~ScriptedDevice() {
  stop_ = true;
  thread_.join();
}

std::vector<Bytes> ScriptedDevice::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

int ScriptedDevice::RequestCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(requests_.size());
}

bool ScriptedDevice::ReadRequest(Bytes* request) {
  request->clear();
  uint8_t byte = 0;
  while (!stop_) {
    const long n = FarEndRead(pty_.line(), &byte, 1, 20);
    if (n < 0) {
      SleepForMs(5);  // the driver has not opened its end yet
      continue;
    }
    if (n == 0) {
      request->clear();  // a pause ends a broken frame
      continue;
    }
    request->push_back(byte);
    const size_t length = RequestFrameLength(*request);
    if (length != 0 && request->size() == length) return true;
  }
  return false;
}

void ScriptedDevice::Serve() {
  Bytes request;
  while (ReadRequest(&request)) {
    int index = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      index = static_cast<int>(requests_.size());
      requests_.push_back(request);
    }
    const Bytes reply = responder_(request, index);
    if (!reply.empty()) pty_.Send(reply);
  }
}
