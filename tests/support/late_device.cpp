#include "tests/support/late_device.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <deque>

#include "tests/support/frame_crc.h"
#include "tests/support/scripted_device.h"

namespace {

uint16_t Be16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}

}  // namespace

LateDevice::LateDevice(std::chrono::milliseconds late)
    : late_(late), registers_(65536), thread_([this] { Serve(); }) {
  for (size_t n = 0; n < registers_.size(); ++n) registers_[n] = static_cast<uint16_t>(1000 + n);
}

LateDevice::~LateDevice() {
  stop_ = true;
  thread_.join();
}

int LateDevice::RequestCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

uint16_t LateDevice::Register(uint16_t address) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return registers_[address];
}

std::string LateDevice::ReportText(uint16_t code) {
  std::string text;
  for (int line = 1; text.size() < 300; ++line) {
    char piece[32];
    std::snprintf(piece, sizeof piece, "R%u line %02d\r\n", code, line);
    text += piece;
  }
  return text + "\x1A";
}

std::vector<uint8_t> LateDevice::Answer(const std::vector<uint8_t>& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++requests_;
  const uint8_t function = request[1];
  const uint16_t address = Be16(request, 2);
  std::vector<uint8_t> reply(request.begin(), request.begin() + 2);
  switch (function) {
    case 3:
    case 4: {
      const uint16_t quantity = Be16(request, 4);
      reply.push_back(static_cast<uint8_t>(2 * quantity));
      for (uint16_t i = 0; i < quantity; ++i) {
        const uint16_t value = registers_[static_cast<uint16_t>(address + i)];
        reply.push_back(static_cast<uint8_t>(value >> 8));
        reply.push_back(static_cast<uint8_t>(value));
      }
      break;
    }
    case 6:
      registers_[address] = Be16(request, 4);
      reply.assign(request.begin(), request.begin() + 6);
      break;
    case 16: {
      const uint16_t quantity = Be16(request, 4);
      for (uint16_t i = 0; i < quantity; ++i) {
        registers_[static_cast<uint16_t>(address + i)] = Be16(request, 7 + 2 * i);
      }
      reply.assign(request.begin(), request.begin() + 6);
      break;
    }
    case 65: {
      reply.assign(request.begin(), request.begin() + 6);
      const std::string text = ReportText(address);
      const size_t packet = Be16(request, 4);
      for (size_t i = 0; i < 128; ++i) {
        const size_t at = packet * 128 + i;
        reply.push_back(at < text.size() ? static_cast<uint8_t>(text[at]) : ' ');
      }
      break;
    }
    default:
      reply = {request[0], static_cast<uint8_t>(function | 0x80), 1};
      break;
  }
  return WithCrc(reply);
}

void LateDevice::Serve() {
  std::vector<uint8_t> head;
  std::deque<Pending> pending;
  while (!stop_) {
    const auto now = std::chrono::steady_clock::now();
    while (!pending.empty() && pending.front().due <= now) {
      pty_.Send(pending.front().reply);
      pending.pop_front();
    }
    pollfd p{pty_.line(), POLLIN, 0};
    if (poll(&p, 1, 1) <= 0 || (p.revents & POLLIN) == 0) continue;
    uint8_t bytes[256];
    const ssize_t got = read(pty_.line(), bytes, sizeof bytes);
    if (got <= 0) continue;
    const auto arrived = std::chrono::steady_clock::now();
    head.insert(head.end(), bytes, bytes + got);
    for (;;) {
      const size_t length = RequestFrameLength(head);
      if (length == 0 || head.size() < length) break;
      const std::vector<uint8_t> request(head.begin(), head.begin() + static_cast<long>(length));
      head.erase(head.begin(), head.begin() + static_cast<long>(length));
      pending.push_back(Pending{arrived + late_, Answer(request)});
    }
  }
}
