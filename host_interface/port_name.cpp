#include <cstring>

#include "host_interface/instance.h"

void CopyPortName(char (&to)[12], const char* from) {
  size_t i = 0;
  for (; i < sizeof to && from[i] != '\0'; ++i) to[i] = from[i];
  for (; i < sizeof to; ++i) to[i] = '\0';
}

bool SamePortName(const char* a, const char* b) { return std::strncmp(a, b, 12) == 0; }

void PortNameToCString(const char* name, char (&out)[13]) {
  char field[12];
  CopyPortName(field, name);
  std::memcpy(out, field, sizeof field);
  out[12] = '\0';
}
