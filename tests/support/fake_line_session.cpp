#include "tests/support/fake_line_session.h"

#include "tests/support/fake_line.h"

FakeLineSession::FakeLineSession(int32_t driverNumber) : HostSession(&VpiMain, driverNumber) {
  FillArea(0xCD);
}

FakeLineSession::~FakeLineSession() {
  FakeLineSkipSleeps(false);
  FakeLineRemove();
}

int32_t FakeLineSession::StartOnFakeLine() { return Start(kFakeLinePortName, 5); }
