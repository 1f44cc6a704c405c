// A UART behind a pseudo-terminal: installed as the serial layer's device
// hook, it answers the requests a pseudo-terminal has no answer for
// (TIOCGSERIAL, TIOCSERGETLSR, TIOCGRS485, the modem lines) as a scripted
// UART would, records every request in order, and passes the rest (termios2,
// FIONREAD, exclusive use unless scripted to fail) on to the pseudo-terminal.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

struct UartScript {
  bool answersSerialInfo = true;      // TIOCGSERIAL; false: ENOTTY as a pty
  int serialFlags = 0;                // the flags TIOCGSERIAL reports
  int setSerialError = 0;             // errno of TIOCSSERIAL, 0 to accept
  bool rs485Enabled = false;          // TIOCGRS485
  bool answersLineStatus = true;      // TIOCSERGETLSR; false: ENOTTY
  std::deque<int> outputQueue;        // TIOCOUTQ answers in turn, then 0
  std::deque<bool> transmitterEmpty;  // TIOCSERGETLSR answers in turn, then true
  int exclusiveError = 0;             // errno of TIOCEXCL, 0 to pass it on
  bool answersExclusiveQuery = true;  // TIOCGEXCL; false: ENOTTY as a kernel without it
  // Nonzero: TCGETS2 reports this rate as held from its second answer on
  // (the first shows the line as it was before it was set).
  uint32_t heldRate = 0;
};

struct UartRequest {
  unsigned long request;
  int value;  // modem-line bits, TCSBRK argument, TIOCSSERIAL flags
};

class UartDouble {
 public:
  explicit UartDouble(const UartScript& script);
  ~UartDouble();
  UartDouble(const UartDouble&) = delete;
  UartDouble& operator=(const UartDouble&) = delete;

  const std::vector<UartRequest>& requests() const;
  // Names of the requests in order, e.g. "TIOCOUTQ TIOCSERGETLSR RTS+",
  // leaving out those in `skip` (by name).
  std::string Trace(const std::vector<std::string>& skip = {"FIONREAD", "TCGETS2", "TCSETS2"}) const;
  // The same, of only the requests in `only` (by name).
  std::string TraceOf(const std::vector<std::string>& only) const;
  void Clear();
  // The serial_struct last handed to TIOCSSERIAL.
  int lastSetBaudBase() const;
};
