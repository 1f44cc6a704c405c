// The driver linked into the program, as a host drives it on the fake line
// (tests/support/fake_line.h): the tests' fake-line fixture
// (fake_line_fixture.h) and the fuzz targets' driver are this session.
#pragma once

#include <cstdint>

#include "tests/support/host_session.h"

class FakeLineSession : public HostSession {
 public:
  // The instance area is filled with garbage, as a host's allocation may be:
  // ColdStart must not count on a zeroed one.
  explicit FakeLineSession(int32_t driverNumber = 1);
  // Removes the fake line, and sleeps wait again. Close the port first.
  ~FakeLineSession();

  // ColdStart on the fake line, installed already (its script may come now
  // or later), with a 50 ms reply timeout.
  int32_t StartOnFakeLine();
};
