#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/port_names.h"
#include "programs/port_problem.h"

std::string PortOpenProblem(const std::string& portName) {
  char path[4096];
  if (!MapPortName(portName.c_str(), path, sizeof path)) return portName + ": not a port name";
  const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::string(path) + ": " + std::strerror(errno);
  // The driver holds its port for itself, as another program may: a lock
  // held elsewhere keeps it out.
  std::string problem;
  if (isatty(fd) != 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
    problem = std::string(path) + ": in use by another program";
  }
  close(fd);
  return problem;
}
