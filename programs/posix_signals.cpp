#include <csignal>
#include <pthread.h>

#include "programs/signals.h"

namespace {

sigset_t TerminationSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

bool TerminationRequestsHold() {
  const sigset_t set = TerminationSet();
  return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

int TerminationRequestWait() {
  const sigset_t set = TerminationSet();
  int signal = 0;
  while (sigwait(&set, &signal) != 0) {
  }
  return signal;
}
