// Interrupts the thread that made it with a signal (SIGUSR1, whose handler
// does nothing and asks for no restart) every period, until it is destroyed
// or lastFor has passed: every system call the thread waits in returns
// EINTR again and again.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

class SignalStorm {
 public:
  SignalStorm(std::chrono::milliseconds period, std::chrono::milliseconds lastFor);
  ~SignalStorm();
  SignalStorm(const SignalStorm&) = delete;
  SignalStorm& operator=(const SignalStorm&) = delete;

  // How many signals reached the thread so far.
  static int delivered();

 private:
  std::atomic<bool> stop_{false};
  std::thread sender_;
};
