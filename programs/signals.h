// Termination requests (Ctrl-C, kill) for command-line programs that run
// until they are told to stop.
#pragma once

// Holds SIGINT, SIGTERM and SIGHUP back from the calling thread and every
// thread it starts later, so that only TerminationRequestWait sees them.
// Call first in main, before any thread starts.
bool TerminationRequestsHold();
// Blocks until a termination request arrives; returns its signal number.
int TerminationRequestWait();
