// The Windows console and the standard handles.
// Uses: GetStdHandle, SetConsoleTextAttribute, GetConsoleScreenBufferInfo,
// FillConsoleOutputCharacterA, FillConsoleOutputAttribute,
// SetConsoleCursorPosition, GetFileType, WriteFile, ReadFile, GetLastError,
// CloseHandle, ExitProcess.
#include <windows.h>
#include "platform.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

PlatformHandle GetStandardOutput() {
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

PlatformHandle GetStandardInput() {
    return GetStdHandle(STD_INPUT_HANDLE);
}

bool IsValidHandle(PlatformHandle handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

FileKind QueryFileKind(PlatformHandle handle) {
    switch (GetFileType(handle)) {
    case FILE_TYPE_CHAR:
        return FILE_KIND_CHARACTER;
    case FILE_TYPE_UNKNOWN:
        return FILE_KIND_UNKNOWN;
    default:
        return FILE_KIND_OTHER;
    }
}

void CloseStandardHandle(PlatformHandle handle) {
    CloseHandle(handle);
}

void SetTextAttribute(PlatformHandle handle, TextAttribute attribute) {
    SetConsoleTextAttribute(handle, attribute);
}

// The whole buffer, scroll-back included, takes the attribute in force.
void ClearScreen() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(ConsoleHandle, &info)) {
        DWORD cells = DWORD(int32_t(info.dwSize.X) * int32_t(info.dwSize.Y));
        DWORD written = 0;
        COORD origin = {0, 0};
        FillConsoleOutputCharacterA(ConsoleHandle, ' ', cells, origin, &written);
        FillConsoleOutputAttribute(ConsoleHandle, info.wAttributes, written, origin, &written);
    }
    MoveCursor(0, 0);
}

void MoveCursor(int16_t x, int16_t y) {
    COORD position = {x, y};
    SetConsoleCursorPosition(ConsoleHandle, position);
}

uint32_t WriteBytes(PlatformHandle handle, const char *bytes, size_t count) {
    DWORD written;
    return WriteFile(handle, bytes, DWORD(count), &written, nullptr) ? 0 : GetLastError();
}

// A pipe whose writer has gone answers ERROR_BROKEN_PIPE: that is its end.
uint32_t ReadBytes(PlatformHandle handle, char *bytes, size_t capacity, size_t *count) {
    DWORD got = 0;
    *count = 0;
    if (ReadFile(handle, bytes, DWORD(capacity), &got, nullptr)) {
        *count = got;
        return 0;
    }
    DWORD error = GetLastError();
    return error == ERROR_BROKEN_PIPE ? 0 : error;
}

// The offset in the image, so that relocation does not change it.
uint32_t CodePlace(const void *address) {
    return uint32_t(uintptr_t(address) - uintptr_t(&__ImageBase));
}

void ExitProgram(uint32_t status) {
    ExitProcess(status);
}
