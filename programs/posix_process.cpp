#include <csignal>
#include <ctime>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "programs/far_end.h"
#include "programs/process.h"

extern char** environ;

long StartProcess(const char* const argv[]) {
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
    return -1;
  }
  return pid;
}

long StartProcessServing(const char* const argv[], const char* link, int waitMs) {
  const long pid = StartProcess(argv);
  if (pid <= 0) return -1;
  for (int waited = 0; waited < waitMs; waited += 10) {
    if (access(link, F_OK) == 0) return pid;
    SleepForMs(10);
  }
  StopProcess(pid);
  return -1;
}

void StopProcess(long pid) {
  if (pid <= 0) return;
  kill(static_cast<pid_t>(pid), SIGTERM);
  for (int i = 0; i < 200; ++i) {
    if (waitpid(static_cast<pid_t>(pid), nullptr, WNOHANG) != 0) return;
    SleepForMs(10);
  }
  kill(static_cast<pid_t>(pid), SIGKILL);
  waitpid(static_cast<pid_t>(pid), nullptr, 0);
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
