// Child processes for tests and host programs (a line-pair helper, a peer).
#pragma once

// Starts argv[0] (searched on PATH) with the arguments; its process id, or
// -1 on failure. argv ends with a null pointer.
long StartProcess(const char* const argv[]);
// Starts argv as StartProcess does and waits up to waitMs for it to make the
// file link (a simulator makes the link to its line once it serves it); its
// process id, or -1 with the process stopped.
long StartProcessServing(const char* const argv[], const char* link, int waitMs);
// Asks the process to end, waits for it (bounded) and reaps it.
void StopProcess(long pid);
// CPU time (user and system) this process has used so far, in seconds.
double ProcessCpuSeconds();
