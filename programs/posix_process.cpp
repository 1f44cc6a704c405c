#include <csignal>
#include <ctime>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "programs/line.h"
#include "programs/process.h"

extern char** environ;

long StartProcess(const char* const argv[]) {
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
    return -1;
  }
  return pid;
}

void StopProcess(long pid) {
  if (pid <= 0) return;
  kill(static_cast<pid_t>(pid), SIGTERM);
  for (int i = 0; i < 200; ++i) {
    if (waitpid(static_cast<pid_t>(pid), nullptr, WNOHANG) != 0) return;
    LineSleepMs(10);
  }
  kill(static_cast<pid_t>(pid), SIGKILL);
  waitpid(static_cast<pid_t>(pid), nullptr, 0);
}
