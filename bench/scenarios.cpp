#include "bench/scenarios.h"

#include <cstring>

const Scenario kScenarios[] = {
    {"read1", "read 1 register", Operation::kSingleRead, 1, true},
    {"read125", "read 125 registers", Operation::kBlockRead, 125, true},
    {"float", "read 1 float", Operation::kFloatRead, 1, true},
    {"write1", "write 1 register", Operation::kSingleWrite, 1, true},
    {"write100", "write 100 registers", Operation::kBlockWrite, 100, true},
    {"report64", "report, 64 packets", Operation::kReport, 64, false},
    {"block1", "block read 1", Operation::kBlockRead, 1, true},
    {"block8", "block read 8", Operation::kBlockRead, 8, true},
    {"block32", "block read 32", Operation::kBlockRead, 32, true},
    {"block64", "block read 64", Operation::kBlockRead, 64, true},
    {"report1", "report, 1 packet", Operation::kReport, 1, false},
    {"report2", "report, 2 packets", Operation::kReport, 2, false},
    {"report4", "report, 4 packets", Operation::kReport, 4, false},
    {"report8", "report, 8 packets", Operation::kReport, 8, false},
    {"report16", "report, 16 packets", Operation::kReport, 16, false},
    {"report32", "report, 32 packets", Operation::kReport, 32, false},
};
const int kScenarioCount = sizeof kScenarios / sizeof kScenarios[0];

const char* const kMainScenarios[] = {"read1", "read125", "float", "write1", "write100", "report64"};
const int kMainScenarioCount = sizeof kMainScenarios / sizeof kMainScenarios[0];

// read125 and report64 of the main table close the two series.
const char* const kGrowthScenarios[] = {"block1",  "block8",  "block32", "block64",  "report1",
                                        "report2", "report4", "report8", "report16", "report32"};
const int kGrowthScenarioCount = sizeof kGrowthScenarios / sizeof kGrowthScenarios[0];

const Scenario* FindScenario(const char* id) {
  for (const Scenario& scenario : kScenarios) {
    if (std::strcmp(scenario.id, id) == 0) return &scenario;
  }
  return nullptr;
}

WireLoad LoadOf(const Scenario& scenario) {
  // Request and reply sizes with slave address, function code and CRC.
  switch (scenario.operation) {
    case Operation::kSingleRead:
      return {8 + 7, 1};
    case Operation::kBlockRead:
      return {8 + 5 + 2 * scenario.count, 1};
    case Operation::kFloatRead:
      return {8 + 9, 1};
    case Operation::kSingleWrite:
      return {8 + 8, 1};
    case Operation::kBlockWrite:
      return {9 + 2 * scenario.count + 8, 1};
    case Operation::kReport:
      return {(8 + 136) * scenario.count, scenario.count};
  }
  return {};
}
