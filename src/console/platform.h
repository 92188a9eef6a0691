// What the streams need of the platform; one definition per platform,
// in console_win32.cpp and console_posix.cpp.
#ifndef KORVANE_CONSOLE_PLATFORM_H
#define KORVANE_CONSOLE_PLATFORM_H

#include "console.h"

// A console is a character device that takes text as the program holds it;
// any other device, file or pipe takes bytes in the output encoding.
enum FileKind { FILE_KIND_CONSOLE, FILE_KIND_CHARACTER, FILE_KIND_OTHER, FILE_KIND_UNKNOWN };

PlatformHandle GetStandardInput();
PlatformHandle GetStandardError();
bool IsValidHandle(PlatformHandle handle);
FileKind QueryFileKind(PlatformHandle handle);

// Each returns 0 or the platform's error code. WriteSomeBytes may take fewer
// bytes than it was given, none at all while the reader is behind, and says
// how many; WriteAllBytes (console.cpp) goes on until all are taken.
// ReadBytes reports the end of input as 0 bytes read.
uint32_t WriteSomeBytes(PlatformHandle handle, const char *bytes, size_t count, size_t *written);
uint32_t WriteAllBytes(PlatformHandle handle, const char *bytes, size_t count);
uint32_t ReadBytes(PlatformHandle handle, char *bytes, size_t capacity, size_t *count);

// A whole piece of text, at most TEXT_CAPACITY bytes: written to a console,
// or encoded as a file or a pipe of this process takes it. The encoded
// bytes stay valid until the next call.
uint32_t WriteToConsole(PlatformHandle handle, Text text);
Text EncodeForOutput(Text text);

// A fixed number for a code address, the same on every run.
uint32_t CodePlace(const void *address);
[[noreturn]] void ExitProgram(uint32_t status);

#endif
