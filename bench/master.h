// One Modbus master of the comparison, doing the transactions of a scenario.
#pragma once

#include <string>

#include "bench/scenarios.h"

class Master {
 public:
  virtual ~Master() = default;
  virtual const char* name() const = 0;
  // Makes ready for the transactions of scenario; false with a reason.
  virtual bool Prepare(const Scenario& scenario, std::string* error) = 0;
  // One transaction of the prepared scenario; true when it succeeded.
  virtual bool Transact() = 0;
};
