// The far end of a serial line, for the device simulator, host programs and
// tests: pseudo-terminal pairs and raw byte I/O with timeouts. A line is an
// int descriptor; -1 means none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Creates a pseudo-terminal pair in raw mode and returns its master end; the
// slave's device path goes to slavePath. -1 on failure.
int FarEndOpenPty(char* slavePath, size_t pathSize);
// Opens an existing device (or the slave of a pair) in raw mode; -1 on failure.
int FarEndOpenDevice(const char* path);
void FarEndClose(int line);

// Waits up to timeoutMs (-1: no limit) for the first byte, then takes what is
// there, up to size bytes. Returns the count, 0 on timeout, -1 on failure.
long FarEndRead(int line, uint8_t* buffer, size_t size, int timeoutMs);
// Reads until size bytes arrived or timeoutMs passed in all; returns the count.
size_t FarEndReadExactly(int line, uint8_t* buffer, size_t size, int timeoutMs);
// Reads until the line stays silent for idleMs (or size bytes); returns the count.
size_t FarEndReadUntilIdle(int line, uint8_t* buffer, size_t size, int firstByteMs, int idleMs);
// Writes every byte; false on failure.
bool FarEndWrite(int line, const uint8_t* bytes, size_t size);
// Writes what the line takes within timeoutMs; returns the count written.
size_t FarEndWriteWithin(int line, const uint8_t* bytes, size_t size, int timeoutMs);
// Sets the speed and character format of a serial device (8 data bits;
// parity 'N', 'E' or 'O'; 1 or 2 stop bits; any rate from 1 baud, through
// termios2 where no B constant exists). A pseudo-terminal, which carries
// neither parity nor character size, is accepted with what it holds. False
// when the device refuses or settles on another rate; why, if given, then
// tells which.
bool FarEndConfigure(int line, int baud, char parity, int stopBits, std::string* why = nullptr);
// Bytes waiting to be read, or -1.
long FarEndAvailable(int line);
// Throws away pending input.
void FarEndFlushInput(int line);

// Points a symbolic link at target, replacing an existing link.
bool MakeSymlink(const char* target, const char* linkPath);
bool RemoveFile(const char* path);

// A lock file marks a path one process serves (a simulator's link): it holds
// that process's id, and its lock ends with the process, so a file left by
// one that died is taken over. Returns the held file, or -1 with holder set
// to the id of the process that holds it (0 when it has not written it yet)
// or to -1 when the file cannot be made.
int HoldLockFile(const char* path, long* holder);
// Removes the file and gives up its lock.
void ReleaseLockFile(int lock, const char* path);

// Monotonic milliseconds, and a sleep that does not busy-wait.
int64_t MonotonicNowMs();
void SleepForMs(int milliseconds);
