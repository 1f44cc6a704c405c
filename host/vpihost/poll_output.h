// How vpihost prints what the gates gave: a table for people, CSV for a
// spreadsheet, JSON Lines for scripts and log collectors.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/vpihost/options.h"
#include "host/vpihost/poll_summary.h"

// What one gate gave in one cycle.
struct Reading {
  enum class Kind {
    kTransfer,  // a read through the driver: result, and values when it worked
    kRefused,   // the driver refused the address: result, no values
    kText,      // a report line the host keeps: values[0] is its text
    kTrigger,   // a report trigger: nothing to read
  };
  Kind kind = Kind::kTransfer;
  std::chrono::system_clock::time_point time;
  int cycle = 1;
  size_t gate = 0;  // 0-based, in the gates file's order
  std::string address;
  std::string type;
  int32_t result = 0;
  bool block = false;
  bool isFloat = false;
  std::vector<std::string> values;  // ValueTexts of a transfer that worked
  std::string cause;                // why a transfer failed (CauseText); empty when it worked
  uint32_t retries = 0;             // of a transfer: how often its request was sent again
};

class ReadingsWriter {
 public:
  virtual ~ReadingsWriter() = default;
  // cycles: how many the run has at most (0: no limit), elapsed: seconds so far.
  virtual void BeginCycle(int cycle, int cycles, double elapsed) = 0;
  virtual void Write(const Reading& reading) = 0;
  // A line about the run itself, such as a port reopened.
  virtual void Note(const std::string& line) = 0;
  virtual void Summary(const PollSummary& summary, const std::vector<GateLabel>& labels) = 0;
};

// out: where the readings go. redraw: a table that a terminal redraws in
// place for each cycle. showCycles: plain tables each start with "cycle N".
std::unique_ptr<ReadingsWriter> MakeReadingsWriter(OutputFormat format, std::FILE* out, bool redraw,
                                                   bool showCycles);

// One table row, as the table shows it, without the newline.
std::string TableRow(const Reading& reading);
// One CSV record (RFC 4180), with its CRLF.
std::string CsvRecord(const Reading& reading);
extern const char kCsvHeader[];
// One JSON Lines object, without the newline.
std::string JsonLine(const Reading& reading);
std::string SummaryJsonLine(const PollSummary& summary, const std::vector<GateLabel>& labels);
// "2026-12-08T07:30:01.123Z"
std::string UtcTimeText(std::chrono::system_clock::time_point time);
