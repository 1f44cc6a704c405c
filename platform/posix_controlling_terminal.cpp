#include "platform/controlling_terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

struct ControllingTerminal {
  int fd;
  termios saved;
  bool restore;
};

ControllingTerminal* OpenControllingTerminal() {
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  auto* terminal = new ControllingTerminal{fd, {}, false};
  // Line input with echo, whatever mode the host left the terminal in.
  if (tcgetattr(fd, &terminal->saved) == 0) {
    termios lineMode = terminal->saved;
    lineMode.c_lflag |= ICANON | ECHO | ECHOE;
    lineMode.c_iflag |= ICRNL;
    terminal->restore = tcsetattr(fd, TCSANOW, &lineMode) == 0;
  }
  return terminal;
}

void CloseControllingTerminal(ControllingTerminal* terminal) {
  if (terminal == nullptr) return;
  if (terminal->restore) tcsetattr(terminal->fd, TCSANOW, &terminal->saved);
  close(terminal->fd);
  delete terminal;
}

bool ReadTerminalChar(ControllingTerminal* terminal, char& c) {
  for (;;) {
    const ssize_t got = read(terminal->fd, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    return got > 0;
  }
}

void WriteTerminal(ControllingTerminal* terminal, const char* text, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t wrote = write(terminal->fd, text + done, size - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;
    done += static_cast<size_t>(wrote);
  }
}
