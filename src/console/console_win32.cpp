// The Windows console and the standard handles. A console gets UTF-16, so
// that every character shows whatever the code pages; a file or a pipe gets
// the bytes that cmd's for /f and PowerShell decode it with.
// Uses: GetStdHandle, SetConsoleTextAttribute, GetConsoleScreenBufferInfo,
// FillConsoleOutputCharacterA, FillConsoleOutputAttribute,
// SetConsoleCursorPosition, SetConsoleCtrlHandler, GetConsoleMode, GetConsoleOutputCP, GetACP,
// MultiByteToWideChar, WideCharToMultiByte, WriteConsoleW, GetFileType,
// WriteFile, ReadFile, GetLastError, SetLastError, Sleep, GetTickCount,
// CreateEventW, SetEvent, WaitForSingleObject, ExitProcess.
#include <windows.h>
#include "platform.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

// A piece in UTF-16 takes no more units than it has bytes in UTF-8, and in
// any code page no more than four bytes a unit (GB 18030).
static wchar_t WidePiece[TEXT_CAPACITY];
static char EncodedPiece[4 * TEXT_CAPACITY];

static TextAttribute StartAttribute;
static bool StartAttributeKept;

// A console event runs its handler on a thread of its own while the program
// goes on. Whoever puts the start colours back first does it for good: the
// attribute is then never set again, by either thread.
enum { ATTRIBUTE_FREE, ATTRIBUTE_BEING_SET, ATTRIBUTE_PUT_BACK };
static volatile long AttributeState = ATTRIBUTE_FREE;

static bool TakeAttribute() {
    for (;;) {
        long state =
            __sync_val_compare_and_swap(&AttributeState, ATTRIBUTE_FREE, ATTRIBUTE_BEING_SET);
        if (state == ATTRIBUTE_FREE)
            return true;
        if (state == ATTRIBUTE_PUT_BACK)
            return false;
        Sleep(0);
    }
}

PlatformHandle GetStandardOutput() {
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

PlatformHandle GetStandardInput() {
    return GetStdHandle(STD_INPUT_HANDLE);
}

PlatformHandle GetStandardError() {
    return GetStdHandle(STD_ERROR_HANDLE);
}

bool IsValidHandle(PlatformHandle handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

FileKind QueryFileKind(PlatformHandle handle) {
    DWORD mode;
    switch (GetFileType(handle)) {
    case FILE_TYPE_CHAR:
        return GetConsoleMode(handle, &mode) ? FILE_KIND_CONSOLE : FILE_KIND_CHARACTER;
    case FILE_TYPE_UNKNOWN:
        return FILE_KIND_UNKNOWN;
    default:
        return FILE_KIND_OTHER;
    }
}

void SetTextAttribute(PlatformHandle handle, TextAttribute attribute) {
    if (!TakeAttribute())
        return;
    SetConsoleTextAttribute(handle, attribute);
    __sync_lock_test_and_set(&AttributeState, ATTRIBUTE_FREE);
}

// Otherwise the prompt and the rest of a batch file stay in the last colour.
void RestoreTextAttribute() {
    if (!TakeAttribute())
        return;
    if (StartAttributeKept)
        SetConsoleTextAttribute(ConsoleHandle, StartAttribute);
    __sync_lock_test_and_set(&AttributeState, ATTRIBUTE_PUT_BACK);
}

// The handler runs on a thread of its own while the program goes on. Each
// side writes its flag before it reads the other's, so that an event that
// comes as the hold ends is either taken by the handler or seen by the
// program, never lost.
static long EventCame, Holding;
static HANDLE Released;

// Ctrl-C, Ctrl-Break, the window closed: the colours go back, and the
// default handling ends the program as it would have. While the program
// holds a hive it must unload first, the event is only noted; Windows ends
// a process 5 s after a closed window's event, so that waits 4 s at most.
static BOOL WINAPI PutColoursBack(DWORD event) {
    __atomic_store_n(&EventCame, 1, __ATOMIC_SEQ_CST);
    if (__atomic_load_n(&Holding, __ATOMIC_SEQ_CST)) {
        if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
            return TRUE;
        WaitForSingleObject(Released, 4000);
    }
    RestoreTextAttribute();
    return FALSE;
}

static void CatchConsoleEvents() {
    static bool caught;
    if (!caught)
        caught = SetConsoleCtrlHandler(PutColoursBack, TRUE);
}

void HoldInterrupts() {
    // Each hold is waited for anew: a run holds once for each hive it loads.
    if (Released == nullptr)
        Released = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    else
        ResetEvent(Released);
    __atomic_store_n(&Holding, 1, __ATOMIC_SEQ_CST);
    CatchConsoleEvents();
}

void ReleaseInterrupts() {
    __atomic_store_n(&Holding, 0, __ATOMIC_SEQ_CST);
    if (Released != nullptr)
        SetEvent(Released);
}

bool Interrupted() {
    return __atomic_load_n(&EventCame, __ATOMIC_SEQ_CST) != 0;
}

void EndAsInterrupted() {
    RestoreTextAttribute();
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

void KeepTextAttribute(PlatformHandle handle) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    StartAttributeKept = GetConsoleScreenBufferInfo(handle, &info);
    if (StartAttributeKept) {
        StartAttribute = info.wAttributes;
        CatchConsoleEvents();
    }
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

static int ToWide(Text text) {
    if (text.length == 0)
        return 0;
    return MultiByteToWideChar(CP_UTF8, 0, text.bytes, int(text.length), WidePiece,
                               int(TEXT_CAPACITY));
}

uint32_t WriteToConsole(PlatformHandle handle, Text text) {
    const wchar_t *units = WidePiece;
    DWORD left = DWORD(ToWide(text));
    while (left > 0) {
        DWORD written = 0;
        if (!WriteConsoleW(handle, units, left, &written, nullptr))
            return GetLastError();
        if (written == 0)
            return ERROR_WRITE_FAULT;
        units += written;
        left -= written;
    }
    return 0;
}

// The code page that cmd and PowerShell decode a program's output with: the
// console's, or the ANSI one for a process without a console.
static UINT OutputCodePage() {
    static UINT codePage = 0;
    if (codePage == 0)
        codePage = GetConsoleOutputCP();
    if (codePage == 0)
        codePage = GetACP();
    return codePage;
}

static bool IsAscii(Text text) {
    for (size_t i = 0; i < text.length; i++)
        if ((unsigned char)text.bytes[i] >= 0x80)
            return false;
    return true;
}

// Never a best fit: "Müller" must not become "Muller", another folder that
// anybody may create, while "M?ller" names none. Some code pages (UTF-7,
// ISO 2022, GB 18030) take no flags, and have every character or none.
Text EncodeForOutput(Text text) {
    UINT codePage = OutputCodePage();
    if (codePage == CP_UTF8 || IsAscii(text))
        return text;
    int units = ToWide(text);
    int bytes = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, WidePiece, units, EncodedPiece,
                                    sizeof EncodedPiece, "?", nullptr);
    if (bytes == 0 && GetLastError() == ERROR_INVALID_FLAGS)
        bytes = WideCharToMultiByte(codePage, 0, WidePiece, units, EncodedPiece,
                                    sizeof EncodedPiece, nullptr, nullptr);
    return Text{EncodedPiece, bytes > 0 ? size_t(bytes) : 0};
}

// A pipe in no-wait mode takes nothing while it is full: wait a moment, as a
// blocking pipe would.
uint32_t WriteSomeBytes(PlatformHandle handle, const char *bytes, size_t count, size_t *written) {
    DWORD took = 0;
    *written = 0;
    if (!WriteFile(handle, bytes, DWORD(count), &took, nullptr))
        return GetLastError();
    if (took == 0)
        Sleep(1);
    *written = took;
    return 0;
}

// Windows 10 and 11 end a console read that Ctrl-C interrupts with success
// and no bytes (older ones with ERROR_OPERATION_ABORTED), and the default
// handler ends the program on a thread of its own: taken for the end of
// input, the read would race it to a status 0. The read may even come back
// before that thread has noted the event, so a console's empty read waits
// a moment for it. Then the program ends as the handler would, the colours
// put back.
static void EndIfInterrupted(PlatformHandle handle) {
    DWORD mode, start = GetTickCount();
    bool aborted = GetLastError() == ERROR_OPERATION_ABORTED;
    if (!GetConsoleMode(handle, &mode))
        return;
    while (!aborted && !Interrupted() && GetTickCount() - start < 100)
        Sleep(1);
    if (aborted || Interrupted())
        EndAsInterrupted();
}

// A pipe whose writer has gone answers ERROR_BROKEN_PIPE: that is its end.
uint32_t ReadBytes(PlatformHandle handle, char *bytes, size_t capacity, size_t *count) {
    DWORD got = 0;
    *count = 0;
    SetLastError(0);
    if (ReadFile(handle, bytes, DWORD(capacity), &got, nullptr)) {
        if (got == 0)
            EndIfInterrupted(handle);
        *count = got;
        return 0;
    }
    DWORD error = GetLastError();
    if (error == ERROR_OPERATION_ABORTED)
        EndIfInterrupted(handle);
    return error == ERROR_BROKEN_PIPE ? 0 : error;
}

// The offset in the image, so that relocation does not change it.
uint32_t CodePlace(const void *address) {
    return uint32_t(uintptr_t(address) - uintptr_t(&__ImageBase));
}

void ExitProgram(uint32_t status) {
    ExitProcess(status);
}
