#include <atomic>
#include <csignal>

#include "programs/termination.h"

namespace {

std::atomic<bool> g_requested{false};

void OnSignal(int) { g_requested = true; }

}  // namespace

void WatchTerminationRequests() {
  struct sigaction action {};
  action.sa_handler = &OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

bool TerminationRequested() { return g_requested; }
