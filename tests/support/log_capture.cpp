#include "tests/support/log_capture.h"

#include <cstdio>
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

int LogCapture::CountStartingWith(const std::string& prefix) const {
  int n = 0;
  for (const LogLine& line : lines_) n += line.text.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
  return n;
}

int LogCapture::LevelOf(const std::string& text) const {
  for (const LogLine& line : lines_) {
    if (line.text == text) return line.level;
  }
  return -1;
}

void LogCapture::Dump() const {
  for (const LogLine& line : lines_) std::printf("   log [%2d] %s\n", line.level, line.text.c_str());
  std::fflush(stdout);
}

void PrintTo(const LogLine& line, std::ostream* out) {
  *out << "{" << line.level << ", \"" << line.text << "\"}";
}
