// The few platform calls the test harness is built on, defined once each in
// system_win32.cpp and system_posix.cpp: pipes, files, devices, children.
#ifndef KORVANE_TESTS_SYSTEM_H
#define KORVANE_TESTS_SYSTEM_H

#include <stdint.h>
#include <string>
#include <vector>
#include "../src/console/console.h"

// No handle: a closed end, or a stream the child starts without. It is
// INVALID_HANDLE_VALUE on Windows and descriptor -1 on the host.
const PlatformHandle NO_HANDLE = PlatformHandle(intptr_t(-1));

// Neither end is inherited by a child unless it is handed to StartProgram.
void OpenPipe(PlatformHandle *reader, PlatformHandle *writer);
// An empty file for reading and writing, removed once closed.
PlatformHandle OpenTemporaryFile();
// A device on which every write fails as on a full disk; NO_HANDLE where
// the platform has none (Windows: only Wine shows Linux's /dev/full).
PlatformHandle OpenFullDevice();
void Rewind(PlatformHandle file);
// How many bytes the file holds now, whoever writes them.
size_t FileSizeNow(PlatformHandle file);
// Closes the end, if open, and leaves NO_HANDLE in its place.
void CloseEnd(PlatformHandle *end);

// Waits for some bytes; false at the end, where none come, or on a failure.
bool ReadSome(PlatformHandle handle, char *bytes, size_t capacity, size_t *got);
// How many bytes a read takes now without waiting.
size_t WaitingBytes(PlatformHandle reader);
// May take fewer bytes than given; false on a failure.
bool WriteSome(PlatformHandle handle, const char *bytes, size_t count, size_t *written);
// The writer then takes nothing while the pipe is full, instead of waiting.
void MakeNonBlocking(PlatformHandle writer);

// The korvane to test: on Windows KORVANE_EXE, else the one beside the
// test program, else the build tree's; on the host the build's.
std::string ProgramPath();
// Starts the built program with these words and "NAME=value" variables over
// the current environment, its standard input and output on these ends
// (NO_HANDLE for closed). Gives the child, or NO_HANDLE and the error.
PlatformHandle StartProgram(const std::vector<std::string> &words,
                            const std::vector<std::string> &environment, PlatformHandle in,
                            PlatformHandle out, unsigned *error);
// Waits for the child's end; its exit status and peak resident memory.
unsigned WaitForProgram(PlatformHandle child, size_t *peakMemory);
// While the child runs: its peak resident memory so far, or 0 where the
// platform cannot tell yet; and whether it has ended, without reaping it.
size_t PeakMemoryNow(PlatformHandle child);
bool HasEnded(PlatformHandle child);
// Ends a child that has run too long, as a kill does.
void EndProgram(PlatformHandle child);

// A handle of a kind the streams cannot use (an event, a directory); the
// standard output set to a handle, returning the one it was; and whether a
// handle is still open.
PlatformHandle OpenOddHandle();
PlatformHandle SwapStandardOutput(PlatformHandle handle);
bool IsOpenHandle(PlatformHandle handle);

#endif
