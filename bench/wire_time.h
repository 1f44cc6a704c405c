// What a transaction costs on a real serial line: 10 bits a character (8N1)
// and one silent interval of 3.5 characters per request and reply exchange
// (1750 us above 19200 baud, as RTU framing fixes it).
#pragma once

struct WireLoad {
  int bytes = 0;      // request and reply bytes of the whole transaction
  int exchanges = 0;  // request and reply pairs
};

double WireMicroseconds(const WireLoad& load, int baud);
// Transactions per second that the line allows at most.
double WireLimit(const WireLoad& load, int baud);
