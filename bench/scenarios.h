// The work both masters do, one transaction at a time.
#pragma once

#include "bench/wire_time.h"

enum class Operation {
  kSingleRead,   // one holding register
  kBlockRead,    // `count` holding registers
  kFloatRead,    // one 32-bit float (two registers)
  kSingleWrite,  // one holding register
  kBlockWrite,   // `count` holding registers
  kReport,       // a report of `count` function-65 packets (driver only)
};

struct Scenario {
  const char* id;     // command-line name
  const char* title;  // table text
  Operation operation;
  int count;
  bool shared;  // libmodbus can do the same work
};

extern const Scenario kScenarios[];
extern const int kScenarioCount;

// The scenarios of the main table, then those that show cost growth.
extern const char* const kMainScenarios[];
extern const int kMainScenarioCount;
extern const char* const kGrowthScenarios[];
extern const int kGrowthScenarioCount;

const Scenario* FindScenario(const char* id);
WireLoad LoadOf(const Scenario& scenario);
