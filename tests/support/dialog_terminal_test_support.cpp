#include "tests/support/dialog_terminal_test_support.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

namespace {

int ExitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

PseudoTerminalChild::PseudoTerminalChild(int (*body)()) {
  std::fflush(nullptr);  // nothing buffered may be written twice
  const pid_t pid = forkpty(&master_, nullptr, nullptr, nullptr);
  if (pid == 0) {
    const int result = body();
    std::fflush(nullptr);
    _exit(result);
  }
  pid_ = pid;
}

PseudoTerminalChild::~PseudoTerminalChild() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (master_ >= 0) close(master_);
}

bool PseudoTerminalChild::Send(const std::string& keys) {
  size_t done = 0;
  while (done < keys.size()) {
    const ssize_t wrote = write(master_, keys.data() + done, keys.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<size_t>(wrote);
  }
  return true;
}

bool PseudoTerminalChild::ReadSome(int timeoutMs) {
  pollfd fd{master_, POLLIN, 0};
  const int ready = poll(&fd, 1, timeoutMs);
  if (ready <= 0) return ready == 0 || errno == EINTR;  // a timeout is no end
  char buffer[512];
  const ssize_t got = read(master_, buffer, sizeof buffer);
  if (got <= 0) return got < 0 && errno == EINTR;  // EIO: the child closed the terminal
  for (ssize_t i = 0; i < got; ++i) {
    if (buffer[i] != '\r') output_ += buffer[i];  // the terminal's CR before each LF
  }
  return true;
}

bool PseudoTerminalChild::WaitFor(const std::string& text, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const size_t at = output_.find(text, seen_);
    if (at != std::string::npos) {
      seen_ = at + text.size();
      return true;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (!ReadSome(static_cast<int>(left.count()))) return false;
  }
}

int PseudoTerminalChild::Wait(int timeoutMs) {
  if (pid_ <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      return ExitStatus(status);
    }
    if (done < 0 || std::chrono::steady_clock::now() >= deadline) return -1;
    // Keep draining the terminal so the child never blocks on a full one.
    if (!ReadSome(20)) usleep(20 * 1000);
  }
}

int RunWithoutTerminal(int (*body)()) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    setsid();
    const int result = body();
    std::fflush(nullptr);
    _exit(result);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return ExitStatus(status);
}
