// The performance counter over the monotonic clock: counts of nanoseconds,
// so the frequency is 10^9 a second. Sleep on the same clock.
#include <cerrno>
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

// Sleeps to a deadline on the monotonic clock, so that signals neither
// shorten nor lengthen the sleep.
void Sleep(DWORD milliseconds) {
  timespec until;
  clock_gettime(CLOCK_MONOTONIC, &until);
  until.tv_sec += milliseconds / 1000;
  until.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (until.tv_nsec >= 1000000000L) {
    until.tv_sec += 1;
    until.tv_nsec -= 1000000000L;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}
