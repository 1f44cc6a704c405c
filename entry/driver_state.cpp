#include "entry/instance.h"

int g_ended = 0;
uint8_t g_lastError = 0;
