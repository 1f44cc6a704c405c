// Ctrl-C and termination requests for host programs that must end the
// driver cleanly (EndVpi) instead of dying mid-transaction.
#pragma once

// From now on a termination request (Ctrl-C, SIGTERM, closing the console)
// only sets a flag.
void WatchTerminationRequests();
bool TerminationRequested();
