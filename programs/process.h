// Child processes for tests and host programs (a line-pair helper, a peer).
#pragma once

// Starts argv[0] (searched on PATH) with the arguments; its process id, or
// -1 on failure. argv ends with a null pointer.
long StartProcess(const char* const argv[]);
// Asks the process to end, waits for it (bounded) and reaps it.
void StopProcess(long pid);
