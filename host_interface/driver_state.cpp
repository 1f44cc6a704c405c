#include "host_interface/instance.h"

std::atomic<int> g_ended{0};
std::atomic<uint8_t> g_lastError{0};
