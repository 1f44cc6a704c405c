#include <cstring>

#include "entry/instance.h"

void CopyPortName(char (&to)[12], const char* from) {
  std::strncpy(to, from, sizeof to);
}

bool SamePortName(const char* a, const char* b) {
  return std::strncmp(a, b, 12) == 0;
}

void PortNameToCString(const char* name, char (&out)[13]) {
  std::strncpy(out, name, 12);
  out[12] = '\0';
}
