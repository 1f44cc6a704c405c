// Captures the driver's log lines (through the stand-in host library) for
// the duration of a test.
#pragma once

#include <string>
#include <vector>

struct LogLine {
  int level;
  std::string text;
  bool operator==(const LogLine&) const = default;
};

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::vector<LogLine>& lines() const { return lines_; }
  std::vector<std::string> texts() const;
  // Number of lines whose text equals text exactly.
  int Count(const std::string& text) const;
  bool Contains(const std::string& text) const { return Count(text) > 0; }
  int CountStartingWith(const std::string& prefix) const;
  // Level of the first line with this text, or -1.
  int LevelOf(const std::string& text) const;
  void Clear() { lines_.clear(); }
  // Prints the lines (after a failure, to see what happened).
  void Dump() const;

 private:
  static void Sink(int level, const char* text, void* context);
  std::vector<LogLine> lines_;
};

// Lets a LogLine print readably in assertion failures.
void PrintTo(const LogLine& line, std::ostream* out);
