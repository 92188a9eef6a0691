// What the streams need of the platform; one definition per platform,
// in console_win32.cpp and console_posix.cpp.
#ifndef KORVANE_CONSOLE_PLATFORM_H
#define KORVANE_CONSOLE_PLATFORM_H

#include "console.h"

enum FileKind { FILE_KIND_CHARACTER, FILE_KIND_OTHER, FILE_KIND_UNKNOWN };

PlatformHandle GetStandardInput();
bool IsValidHandle(PlatformHandle handle);
FileKind QueryFileKind(PlatformHandle handle);
void CloseStandardHandle(PlatformHandle handle);

// Each returns 0 or the platform's error code. ReadBytes reports the end of
// input as 0 bytes read.
uint32_t WriteBytes(PlatformHandle handle, const char *bytes, size_t count);
uint32_t ReadBytes(PlatformHandle handle, char *bytes, size_t capacity, size_t *count);

// A fixed number for a code address, the same on every run.
uint32_t CodePlace(const void *address);
[[noreturn]] void ExitProgram(uint32_t status);

#endif
