// The performance counter over the monotonic clock: counts of nanoseconds,
// so the frequency is 10^9 a second.
#include <time.h>

#include "platform/win32.h"

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  timespec now;
  if (count == nullptr || clock_gettime(CLOCK_MONOTONIC, &now) != 0) return FALSE;
  count->QuadPart = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (frequency == nullptr) return FALSE;
  frequency->QuadPart = 1000000000;
  return TRUE;
}
