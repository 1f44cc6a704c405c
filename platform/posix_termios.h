// Termios helpers shared by the driver's serial layer and the line helper:
// rates without a B constant (the kernel's termios2 with BOTHER) and the
// check of what a device really holds after it was set.
#pragma once

#include <cstdint>
#include <cstring>
#include <sys/ioctl.h>
#include <termios.h>

namespace posix_termios {

// The kernel's termios2 (asm/termbits.h cannot be included beside
// termios.h): the same flags as termios, plus the rates in bits per second.
struct KernelTermios2 {
  tcflag_t c_iflag;
  tcflag_t c_oflag;
  tcflag_t c_cflag;
  tcflag_t c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed;
  speed_t c_ospeed;
};

const unsigned long kGetTermios2 = _IOR('T', 0x2A, KernelTermios2);
const unsigned long kSetTermios2 = _IOW('T', 0x2B, KernelTermios2);
constexpr tcflag_t kRateOther = 0010000;           // BOTHER: the rate is in c_ospeed
constexpr int kInputRateShift = 16;                // IBSHIFT: CBAUD to CIBAUD
constexpr tcflag_t kInputRateMask = 002003600000;  // CIBAUD

// A device rounds a rate to what its clock divides down to; a UART copes
// with 2% between the two ends, so more than that is a refusal.
inline bool RateClose(uint32_t held, uint32_t wanted) {
  const uint32_t difference = held > wanted ? held - wanted : wanted - held;
  return held != 0 && static_cast<uint64_t>(difference) * 50 <= wanted;
}

struct RateCode {
  uint32_t rate;
  speed_t code;
};

const RateCode kRateCodes[] = {
    {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
};

// The B constant of a rate; false when it has none.
inline bool CodeOfRate(uint32_t rate, speed_t* code) {
  for (const RateCode& entry : kRateCodes) {
    if (entry.rate == rate) {
      *code = entry.code;
      return true;
    }
  }
  return false;
}

inline uint32_t RateOfCode(speed_t code) {
  for (const RateCode& entry : kRateCodes) {
    if (entry.code == code) return entry.rate;
  }
  return 0;
}

// The output rate a kernel termios2 holds.
inline uint32_t RateHeld(const KernelTermios2& held) {
  if ((held.c_cflag & CBAUD) == kRateOther) return held.c_ospeed;
  return RateOfCode(held.c_cflag & CBAUD);
}

// The settings of `asked` with the rate in bits per second, in termios2 form
// (c_line from `current`).
inline KernelTermios2 WithRate(const termios& asked, const KernelTermios2& current, uint32_t rate) {
  KernelTermios2 wanted = current;
  wanted.c_iflag = asked.c_iflag;
  wanted.c_oflag = asked.c_oflag;
  wanted.c_lflag = asked.c_lflag;
  wanted.c_cflag = (asked.c_cflag & ~(CBAUD | kInputRateMask)) | kRateOther | (kRateOther << kInputRateShift);
  std::memcpy(wanted.c_cc, asked.c_cc, sizeof wanted.c_cc);
  wanted.c_ispeed = rate;
  wanted.c_ospeed = rate;
  return wanted;
}

// Character size and parity: what a pseudo-terminal cannot carry (the kernel
// forces 8 bits without parity there).
constexpr tcflag_t kPseudoTerminalDrops = CSIZE | PARENB;

// True when the device holds every setting of `asked` but those in `drops`.
// glibc's tcsetattr answers EINVAL when a pseudo-terminal dropped the parity
// even though everything else was applied.
inline bool HoldsAllBut(const termios& held, const termios& asked, tcflag_t drops) {
  return held.c_iflag == asked.c_iflag && held.c_oflag == asked.c_oflag && held.c_lflag == asked.c_lflag &&
         ((held.c_cflag ^ asked.c_cflag) & ~(drops | kInputRateMask)) == 0 &&
         held.c_cc[VMIN] == asked.c_cc[VMIN] && held.c_cc[VTIME] == asked.c_cc[VTIME] &&
         cfgetospeed(&held) == cfgetospeed(&asked);
}

}  // namespace posix_termios
