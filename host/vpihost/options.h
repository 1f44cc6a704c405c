// vpihost's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class OutputFormat { kTable, kCsv, kJson };

struct HostOptions {
  std::string module;
  std::string gatesFile;  // "-": standard input
  // Gates given as ADDR[:type[:blocksize]] (poll's arguments, --gate):
  // when there are any, no gates file is read.
  std::vector<std::string> gateArguments;
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
  bool hex = false;  // integers in hexadecimal in the table and CSV
  bool timeoutGiven = false;
  int scanFirst = 0;  // the scan command's stations
  int scanLast = 0;
  std::string command = "poll";
  std::vector<std::string> arguments;
  bool help = false;
  bool version = false;
};

// What the help tells apart between builds: whether the built-in simulator
// is there (without it --port is needed) and whether longer device paths can
// be linked through VPI_COM_DIR (without it the port names are Windows').
struct UsageFacts {
  bool simulatorBuiltIn = true;
  bool portLinks = true;
};

// Parses argv; false with a reason in error.
bool ParseHostOptions(int argc, char** argv, HostOptions* options, std::string* error);
// "FIRST-LAST" or one station, 1 to 247.
bool ParseStationRange(const std::string& text, int* first, int* last);
// "9600 baud 8N1, reply timeout 1000 ms", as the header lines show the line.
std::string LineSettingsText(const HostOptions& options);
std::string HostUsageText(const HostOptions& defaults, const UsageFacts& facts);
void PrintHostUsage(const HostOptions& defaults, const UsageFacts& facts = UsageFacts{});
