// vpihost's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class OutputFormat { kTable, kCsv, kJson };

struct HostOptions {
  std::string module;
  std::string gatesFile;
  std::string port;  // empty: the built-in simulator
  bool noPort = false;
  uint16_t baud = 9600;
  int16_t dataBits = 8;
  int16_t parity = 0;      // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int16_t stopBits = 0;    // 0 one, 1 one and a half, 2 two
  uint32_t timeout = 100;  // units of 10 ms
  int32_t driverNumber = 1;
  int cycles = 1;
  bool cyclesGiven = false;
  int durationSeconds = 0;  // 0: no time limit
  int intervalMs = 1000;
  int logLevel = 32;
  OutputFormat format = OutputFormat::kTable;
  std::string command = "poll";
  std::vector<std::string> arguments;
  bool help = false;
  bool version = false;
};

// Parses argv; false with a reason in error.
bool ParseHostOptions(int argc, char** argv, HostOptions* options, std::string* error);
void PrintHostUsage(const HostOptions& defaults);
