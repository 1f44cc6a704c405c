#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include "programs/far_end.h"
#include "platform/posix_termios.h"

namespace {

bool MakeRaw(int fd) {
  termios tio;
  if (tcgetattr(fd, &tio) != 0) return false;
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool WaitReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  for (;;) {
    const int n = poll(&p, 1, timeoutMs);
    if (n >= 0) return n > 0;
    if (errno != EINTR) return false;
  }
}

}  // namespace

int FarEndOpenPty(char* slavePath, size_t pathSize) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return -1;
  char name[128];
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0 ||
      !MakeRaw(master)) {
    close(master);
    return -1;
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  std::snprintf(slavePath, pathSize, "%s", name);
  return master;
}

int FarEndOpenDevice(const char* path) {
  const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (isatty(fd) && !MakeRaw(fd)) {
    close(fd);
    return -1;
  }
  return fd;
}

void FarEndClose(int line) {
  if (line >= 0) close(line);
}

long FarEndRead(int line, uint8_t* buffer, size_t size, int timeoutMs) {
  if (size == 0) return 0;
  if (!WaitReadable(line, timeoutMs)) return 0;
  for (;;) {
    const ssize_t n = read(line, buffer, size);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN) return 0;
    return -1;
  }
}

size_t FarEndReadExactly(int line, uint8_t* buffer, size_t size, int timeoutMs) {
  const int64_t deadline = MonotonicNowMs() + timeoutMs;
  size_t got = 0;
  while (got < size) {
    const int64_t left = deadline - MonotonicNowMs();
    if (left <= 0) break;
    const long n = FarEndRead(line, buffer + got, size - got, static_cast<int>(left));
    if (n < 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

size_t FarEndReadUntilIdle(int line, uint8_t* buffer, size_t size, int firstByteMs, int idleMs) {
  size_t got = 0;
  int wait = firstByteMs;
  while (got < size) {
    const long n = FarEndRead(line, buffer + got, size - got, wait);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    wait = idleMs;
  }
  return got;
}

bool FarEndWrite(int line, const uint8_t* bytes, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(line, bytes + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd p{line, POLLOUT, 0};
      poll(&p, 1, 100);
    } else {
      return false;
    }
  }
  return true;
}

size_t FarEndWriteWithin(int line, const uint8_t* bytes, size_t size, int timeoutMs) {
  const int64_t deadline = MonotonicNowMs() + timeoutMs;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(line, bytes + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) break;
    const int64_t left = deadline - MonotonicNowMs();
    if (left <= 0) break;
    pollfd p{line, POLLOUT, 0};
    poll(&p, 1, static_cast<int>(left < 100 ? left : 100));
  }
  return done;
}

namespace {

bool IsPseudoTerminal(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned int deviceMajor = major(st.st_rdev);
  return (deviceMajor >= 136 && deviceMajor <= 143) || (deviceMajor == 5 && minor(st.st_rdev) == 2);
}

bool Refuse(std::string* why, const std::string& text) {
  if (why != nullptr) *why = text;
  return false;
}

}  // namespace

bool FarEndConfigure(int line, int baud, char parity, int stopBits, std::string* why) {
  using posix_termios::KernelTermios2;
  if (baud < 1) return Refuse(why, "no rate of " + std::to_string(baud) + " baud");
  if (parity != 'N' && parity != 'E' && parity != 'O')
    return Refuse(why, "no parity " + std::string(1, parity));
  if (stopBits != 1 && stopBits != 2) return Refuse(why, "no " + std::to_string(stopBits) + " stop bits");
  const std::string format =
      std::to_string(baud) + " baud 8" + std::string(1, parity) + std::to_string(stopBits);
  termios tio;
  if (tcgetattr(line, &tio) != 0)
    return Refuse(why, "not a serial line: " + std::string(std::strerror(errno)));
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
  tio.c_cflag |= CS8;
  if (parity != 'N') tio.c_cflag |= PARENB;
  if (parity == 'O') tio.c_cflag |= PARODD;
  if (stopBits == 2) tio.c_cflag |= CSTOPB;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;

  const uint32_t rate = static_cast<uint32_t>(baud);
  KernelTermios2 before;
  const bool haveBefore = ioctl(line, posix_termios::kGetTermios2, &before) == 0;
  speed_t code;
  if (posix_termios::CodeOfRate(rate, &code)) {
    cfsetispeed(&tio, code);
    cfsetospeed(&tio, code);
    if (tcsetattr(line, TCSANOW, &tio) != 0) {
      const int error = errno;
      termios held;
      const tcflag_t drops = IsPseudoTerminal(line) ? posix_termios::kPseudoTerminalDrops : 0;
      if (error != EINVAL || tcgetattr(line, &held) != 0 || !posix_termios::HoldsAllBut(held, tio, drops)) {
        return Refuse(why, "the device refuses " + format + ": " + std::strerror(error));
      }
    }
  } else {
    if (!haveBefore)
      return Refuse(why, "the device takes no rate without a B constant, such as " + std::to_string(baud));
    KernelTermios2 wanted = posix_termios::WithRate(tio, before, rate);
    if (ioctl(line, posix_termios::kSetTermios2, &wanted) != 0) {
      return Refuse(why, "the device refuses " + format + ": " + std::strerror(errno));
    }
  }
  KernelTermios2 after;
  if (ioctl(line, posix_termios::kGetTermios2, &after) != 0) return true;
  const uint32_t held = posix_termios::RateHeld(after);
  if (posix_termios::RateClose(held, rate)) return true;
  if (haveBefore) ioctl(line, posix_termios::kSetTermios2, &before);
  return Refuse(why, "the device cannot run at " + std::to_string(baud) + " baud (it offers " +
                         std::to_string(held) + ")");
}

long FarEndAvailable(int line) {
  int n = 0;
  return ioctl(line, FIONREAD, &n) == 0 ? n : -1;
}

void FarEndFlushInput(int line) {
  uint8_t scratch[512];
  while (FarEndRead(line, scratch, sizeof scratch, 0) > 0) {
  }
}

bool MakeSymlink(const char* target, const char* linkPath) {
  unlink(linkPath);
  return symlink(target, linkPath) == 0;
}

bool RemoveFile(const char* path) { return unlink(path) == 0; }

int HoldLockFile(const char* path, long* holder) {
  *holder = -1;
  // A holder that is ending removes the file after its last use: the file
  // locked must still be the one the path names, or another process could
  // lock a new one beside us.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      char text[24] = {};
      const ssize_t n = pread(fd, text, sizeof text - 1, 0);
      *holder = n > 0 ? std::strtol(text, nullptr, 10) : 0;
      close(fd);
      return -1;
    }
    struct stat opened;
    struct stat named;
    if (fstat(fd, &opened) != 0 || stat(path, &named) != 0 || opened.st_dev != named.st_dev ||
        opened.st_ino != named.st_ino) {
      close(fd);
      continue;
    }
    char text[24];
    const int length = std::snprintf(text, sizeof text, "%ld\n", static_cast<long>(getpid()));
    if (ftruncate(fd, 0) != 0 || pwrite(fd, text, static_cast<size_t>(length), 0) != length) {
      close(fd);
      return -1;
    }
    return fd;
  }
  return -1;
}

void ReleaseLockFile(int lock, const char* path) {
  if (lock < 0) return;
  unlink(path);
  close(lock);
}

int64_t MonotonicNowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SleepForMs(int milliseconds) {
  timespec ts;
  ts.tv_sec = milliseconds / 1000;
  ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}
