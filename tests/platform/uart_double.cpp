#include "tests/platform/uart_double.h"

#include <cerrno>
#include <cstring>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>

#include "platform/posix_termios.h"
#include "tests/support/serial_faults.h"

namespace {

UartScript g_script;
int g_termiosReads = 0;
std::vector<UartRequest> g_requests;
int g_lastBaudBase = 0;
constexpr int kBaudBase = 115200;

int Refuse(int error) {
  errno = error;
  return -1;
}

int Hook(int fd, unsigned long request, void* argument) {
  UartRequest seen{request, 0};
  int result = 0;
  if (request == TIOCGSERIAL) {
    if (!g_script.answersSerialInfo) {
      result = Refuse(ENOTTY);
    } else {
      auto* serial = static_cast<serial_struct*>(argument);
      std::memset(serial, 0, sizeof *serial);
      serial->type = PORT_16550A;
      serial->baud_base = kBaudBase;
      serial->flags = g_script.serialFlags;
    }
  } else if (request == TIOCSSERIAL) {
    const auto* serial = static_cast<const serial_struct*>(argument);
    seen.value = serial->flags;
    g_lastBaudBase = serial->baud_base;
    if (g_script.setSerialError != 0) {
      result = Refuse(g_script.setSerialError);
    } else {
      g_script.serialFlags = serial->flags;
    }
  } else if (request == TIOCGRS485) {
    auto* rs485 = static_cast<serial_rs485*>(argument);
    std::memset(rs485, 0, sizeof *rs485);
    if (g_script.rs485Enabled) rs485->flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
  } else if (request == TIOCOUTQ) {
    int queued = 0;
    if (!g_script.outputQueue.empty()) {
      queued = g_script.outputQueue.front();
      g_script.outputQueue.pop_front();
    }
    *static_cast<int*>(argument) = queued;
  } else if (request == TIOCSERGETLSR) {
    if (!g_script.answersLineStatus) {
      seen.value = -1;
      result = Refuse(ENOTTY);
    } else {
      bool empty = true;
      if (!g_script.transmitterEmpty.empty()) {
        empty = g_script.transmitterEmpty.front();
        g_script.transmitterEmpty.pop_front();
      }
      seen.value = empty ? 1 : 0;
      *static_cast<unsigned int*>(argument) = empty ? TIOCSER_TEMT : 0;
    }
  } else if (request == TIOCMBIS || request == TIOCMBIC) {
    seen.value = *static_cast<int*>(argument);
  } else if (request == TCSBRK) {
    seen.value = static_cast<int>(reinterpret_cast<uintptr_t>(argument));
  } else if (request == TIOCEXCL && g_script.exclusiveError != 0) {
    result = Refuse(g_script.exclusiveError);
  } else if (request == TIOCGEXCL && !g_script.answersExclusiveQuery) {
    result = Refuse(ENOTTY);
  } else {
    result = ioctl(fd, request, argument);
    if (result == 0 && request == posix_termios::kGetTermios2 && g_script.heldRate != 0 &&
        ++g_termiosReads > 1) {
      auto* held = static_cast<posix_termios::KernelTermios2*>(argument);
      held->c_cflag = (held->c_cflag & ~CBAUD) | posix_termios::kRateOther;
      held->c_ospeed = g_script.heldRate;
      held->c_ispeed = g_script.heldRate;
    }
  }
  const int saved = errno;
  g_requests.push_back(seen);
  errno = saved;
  return result;
}

const char* NameOf(const UartRequest& r) {
  switch (r.request) {
    case TIOCGSERIAL:
      return "TIOCGSERIAL";
    case TIOCSSERIAL:
      return "TIOCSSERIAL";
    case TIOCGRS485:
      return "TIOCGRS485";
    case TIOCOUTQ:
      return "TIOCOUTQ";
    case TIOCSERGETLSR:
      return r.value < 0 ? "LSR-none" : r.value ? "LSR-empty" : "LSR-busy";
    case TIOCMBIS:
      return r.value == TIOCM_RTS ? "RTS+" : "DTR+";
    case TIOCMBIC:
      return r.value == TIOCM_RTS ? "RTS-" : "DTR-";
    case TCSBRK:
      return r.value == 1 ? "drain" : "break";
    case FIONREAD:
      return "FIONREAD";
    case TIOCEXCL:
      return "TIOCEXCL";
    case TIOCNXCL:
      return "TIOCNXCL";
    case TIOCGEXCL:
      return "TIOCGEXCL";
    default:
      break;
  }
  if (r.request == posix_termios::kGetTermios2) return "TCGETS2";
  if (r.request == posix_termios::kSetTermios2) return "TCSETS2";
  return "other";
}

}  // namespace

UartDouble::UartDouble(const UartScript& script) {
  g_script = script;
  g_requests.clear();
  g_lastBaudBase = 0;
  g_termiosReads = 0;
  SerialSetIoctlHook(Hook);
}

UartDouble::~UartDouble() { SerialSetIoctlHook(nullptr); }

const std::vector<UartRequest>& UartDouble::requests() const { return g_requests; }

namespace {

// The names of the requests in order, those named in `names` left out
// (keep false) or the only ones given (keep true).
std::string TraceNames(const std::vector<std::string>& names, bool keep) {
  std::string trace;
  for (const UartRequest& r : g_requests) {
    const std::string name = NameOf(r);
    bool named = false;
    for (const std::string& n : names) named = named || n == name;
    if (named != keep) continue;
    if (!trace.empty()) trace += ' ';
    trace += name;
  }
  return trace;
}

}  // namespace

std::string UartDouble::Trace(const std::vector<std::string>& skip) const { return TraceNames(skip, false); }

std::string UartDouble::TraceOf(const std::vector<std::string>& only) const { return TraceNames(only, true); }

void UartDouble::Clear() { g_requests.clear(); }

int UartDouble::lastSetBaudBase() const { return g_lastBaudBase; }
