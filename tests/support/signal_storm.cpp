#include "tests/support/signal_storm.h"

#include <pthread.h>
#include <signal.h>

#include <cstring>

namespace {

std::atomic<int> g_delivered{0};

void CountSignal(int) { g_delivered.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

SignalStorm::SignalStorm(std::chrono::milliseconds period, std::chrono::milliseconds lastFor) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = CountSignal;  // no SA_RESTART: waits end with EINTR
  sigemptyset(&action.sa_mask);
  sigaction(SIGUSR1, &action, nullptr);
  g_delivered = 0;
  const pthread_t target = pthread_self();
  sender_ = std::thread([this, target, period, lastFor] {
    const auto end = std::chrono::steady_clock::now() + lastFor;
    while (!stop_ && std::chrono::steady_clock::now() < end) {
      pthread_kill(target, SIGUSR1);
      std::this_thread::sleep_for(period);
    }
  });
}

SignalStorm::~SignalStorm() {
  stop_ = true;
  sender_.join();
}

int SignalStorm::delivered() { return g_delivered.load(std::memory_order_relaxed); }
