// Counts the heap allocations made in this process: every global operator
// new, and every malloc, calloc and realloc of the code linked into the
// benchmark (the driver's objects among it; the link wraps those three).
#pragma once

#include <cstdint>

uint64_t AllocationCount();
