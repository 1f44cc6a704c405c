// What the OS layer has to tell the journal of its own accord: a rate the
// device cannot run at, the kernel's RS-485 mode. The layer knows nothing of
// the host, so the driver hands it a sink; until then notes are dropped.
// Windows has no such layer of ours, and nothing is ever noted there.
#pragma once

using OsNoteSink = void (*)(const char* note);

#ifdef _WIN32
inline void SetOsNoteSink(OsNoteSink) {}
#else
// Safe to call from any thread; the sink is called on the thread whose
// serial call has the note.
void SetOsNoteSink(OsNoteSink sink);
#endif
