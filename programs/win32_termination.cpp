#include <windows.h>

#include <atomic>

#include "programs/termination.h"

namespace {

std::atomic<bool> g_requested{false};

BOOL WINAPI OnConsoleEvent(DWORD) {
  g_requested = true;
  return TRUE;
}

}  // namespace

void WatchTerminationRequests() { SetConsoleCtrlHandler(&OnConsoleEvent, TRUE); }

bool TerminationRequested() { return g_requested; }
