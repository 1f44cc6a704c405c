#include "tests/support/log_capture.h"

#include <ostream>

#include "host/zelpro/zelpro_host.h"

LogCapture::LogCapture() { ZelHostSetLogSink(&LogCapture::Sink, this); }

LogCapture::~LogCapture() { ZelHostSetLogSink(nullptr, nullptr); }

void LogCapture::Sink(int level, const char* text, void* context) {
  static_cast<LogCapture*>(context)->lines_.push_back({level, text});
}

std::vector<std::string> LogCapture::texts() const {
  std::vector<std::string> out;
  for (const LogLine& line : lines_) out.push_back(line.text);
  return out;
}

int LogCapture::Count(const std::string& text) const {
  int n = 0;
  for (const LogLine& line : lines_) n += line.text == text ? 1 : 0;
  return n;
}

void PrintTo(const LogLine& line, std::ostream* out) {
  *out << "{" << line.level << ", \"" << line.text << "\"}";
}
