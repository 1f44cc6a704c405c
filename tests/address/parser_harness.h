// Runs the address parser commands through VpiMain on an instance whose
// station settings come from its init file, and collects what the tests
// check: the result, the five GateAddress fields and the log.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "host_interface/instance.h"
#include "tests/support/host_session.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

struct Station {
  char protocol;  // 'M' or 'J'
  char base;      // 'D', 'H' or 'L'
  bool longAddr;
};

inline constexpr Station kModbusD{'M', 'D', false};
inline constexpr Station kJbusD{'J', 'D', false};
inline constexpr Station kModbusH{'M', 'H', false};
inline constexpr Station kJbusH{'J', 'H', false};
inline constexpr Station kModbusL{'M', 'L', false};
inline constexpr Station kJbusL{'J', 'L', false};
inline constexpr Station kModbusDLong{'M', 'D', true};
inline constexpr Station kJbusDLong{'J', 'D', true};

// Every field holds this before a command runs; a field that still holds it
// was not written.
inline constexpr int32_t kUnwritten = -7777;

struct Fields {
  int32_t plc;
  int32_t memoryType;
  int32_t address;
  int32_t bit;
  int32_t width;
  bool operator==(const Fields&) const = default;
};

inline constexpr Fields kUntouched{kUnwritten, kUnwritten, kUnwritten, kUnwritten, kUnwritten};

// The one log line a case expects; a null text means no line at all.
struct ExpectedLog {
  int level;
  const char* text;
  std::vector<LogLine> Lines() const;
};

inline constexpr ExpectedLog kNoLog{0, nullptr};

struct Outcome {
  int32_t result;
  Fields fields;
  std::vector<LogLine> log;
};

class ParserHarness {
 public:
  // Writes KOVRIN.INT for the station and reads it into a fresh instance.
  void Configure(const Station& station);
  Outcome Single(const std::string& gas, int32_t gateType) { return Run(3, gas.c_str(), gateType, 1); }
  Outcome Block(const std::string& gas, int32_t blockSize) { return Run(4, gas.c_str(), 0, blockSize); }
  // command 3 or 4 with the host's pointer as it is, null included.
  Outcome Run(uint32_t command, const char* gas, int32_t gateType, int32_t blockSize);

 private:
  TempDir dir_;
  LogCapture log_;
  HostSession host_;
  VpiInstance& instance_ = host_.instance();
};

// One row of a parser table: the GAS, the station, the gate type (command 3)
// or block size (command 4), and what must come out.
struct Case {
  std::string gas;
  Station station;
  int32_t input;
  int32_t result;
  Fields fields;
  ExpectedLog log;
};

// Checks result, fields and log of one run against the row.
void ExpectCase(const Outcome& got, const Case& want);

// The GAS with bytes outside printable ASCII escaped, for failure messages.
std::string Printable(const std::string& gas);
std::string Describe(const Station& station);
void PrintTo(const Fields& fields, std::ostream* out);
void PrintTo(const Case& c, std::ostream* out);
