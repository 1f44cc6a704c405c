// What a transaction costs on a real serial line: 10 bits a character (8N1)
// and silent intervals of 3.5 characters (1750 us above 19200 baud, as RTU
// framing fixes it): one before each reply (the device's turnaround), and
// one before each request (the silence after the line's last byte).
#pragma once

struct WireLoad {
  int bytes = 0;      // request and reply bytes of the whole transaction
  int exchanges = 0;  // request and reply pairs
};

// The bytes and the interval before each reply: how long a device takes
// from the request's first byte to its reply's last.
double WireMicroseconds(const WireLoad& load, int baud);
// Transactions per second that the line allows at most: the bytes and both
// intervals of each exchange.
double WireLimit(const WireLoad& load, int baud);
// The time an echo of bytes takes on the wire, at 11 bits a character as
// the driver times its line.
double EchoMicroseconds(int bytes, int baud);
