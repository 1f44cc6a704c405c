// Invariant checks of the fuzz targets: a broken invariant is reported and
// aborts, which libFuzzer (and the corpus replay test) counts as a finding.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, ...)                                                               \
  do {                                                                                           \
    if (!(condition)) {                                                                          \
      std::fprintf(stderr, "invariant broken at %s:%d: %s\n  ", __FILE__, __LINE__, #condition); \
      std::fprintf(stderr, __VA_ARGS__);                                                         \
      std::fprintf(stderr, "\n");                                                                \
      std::abort();                                                                              \
    }                                                                                            \
  } while (0)
