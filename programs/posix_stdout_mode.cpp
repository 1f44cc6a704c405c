#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "programs/stdout_mode.h"

bool StdoutRedrawsInPlace() {
  const char* term = std::getenv("TERM");
  return isatty(fileno(stdout)) == 1 && term != nullptr && std::strcmp(term, "dumb") != 0;
}

void StdoutPassesBytes() {}  // POSIX streams never translate
