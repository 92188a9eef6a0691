// The harness's platform calls on Windows, in UTF-16, so that a kit under
// any folder name runs (C:\Users\Дмитрий\... on a Western Windows). The
// words of a command line are converted from the ANSI code page as
// CreateProcessA converts them, so that they reach the program byte for
// byte (wine itself would quote the words again).
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <map>
#include "oracle.h"
#include "system.h"

void OpenPipe(PlatformHandle *reader, PlatformHandle *writer) {
    if (!CreatePipe(reader, writer, nullptr, 1 << 16))
        *reader = *writer = NO_HANDLE;
}

PlatformHandle OpenTemporaryFile() {
    wchar_t folder[MAX_PATH + 1], file[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, folder);
    GetTempFileNameW(folder, L"kv", 0, file);
    return CreateFileW(file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

// Wine's view of Linux's device; Windows has none.
PlatformHandle OpenFullDevice() {
    return CreateFileW(L"Z:\\dev\\full", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

void Rewind(PlatformHandle file) {
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
}

size_t FileSizeNow(PlatformHandle file) {
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file, &size) ? size_t(size.QuadPart) : 0;
}

void CloseEnd(PlatformHandle *end) {
    if (*end != NO_HANDLE)
        CloseHandle(*end);
    *end = NO_HANDLE;
}

bool ReadSome(PlatformHandle handle, char *bytes, size_t capacity, size_t *got) {
    DWORD took = 0;
    bool read = ReadFile(handle, bytes, DWORD(capacity), &took, nullptr);
    *got = took;
    return read && took > 0;
}

size_t WaitingBytes(PlatformHandle reader) {
    DWORD waiting = 0;
    PeekNamedPipe(reader, nullptr, 0, nullptr, &waiting, nullptr);
    return waiting;
}

bool WriteSome(PlatformHandle handle, const char *bytes, size_t count, size_t *written) {
    DWORD took = 0;
    bool wrote = WriteFile(handle, bytes, DWORD(count), &took, nullptr);
    *written = took;
    return wrote;
}

void MakeNonBlocking(PlatformHandle writer) {
    DWORD mode = PIPE_NOWAIT;
    SetNamedPipeHandleState(writer, &mode, nullptr, nullptr);
}

// KORVANE_EXE where it is set; else the korvane.exe beside this test
// program, as in the checks archive; else the build tree's, in the folder
// above, so that no build's path is built into the test programs.
std::string ProgramPath() {
    static wchar_t path[32768];
    if (path[0] != 0)
        return Utf8(path);
    DWORD length = GetEnvironmentVariableW(L"KORVANE_EXE", path, 32768);
    if (length > 0 && length < 32768)
        return Utf8(path);
    static wchar_t self[32768];
    length = GetModuleFileNameW(nullptr, self, 32768);
    std::wstring folder(self, length < 32768 ? length : 0);
    folder.erase(folder.find_last_of(L'\\') + 1);
    for (const wchar_t *place : {L"korvane.exe", L"..\\korvane.exe"})
        if (GetFullPathNameW((folder + place).c_str(), 32768, path, nullptr) < 32768 &&
            GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
            break;
    return Utf8(path);
}

// The current environment with the launch's variables (UTF-8) put over it, in
// UTF-16, so that a value may hold any character.
static std::wstring EnvironmentBlock(const std::vector<std::string> &changes) {
    std::map<std::wstring, std::wstring> variables;
    wchar_t *strings = GetEnvironmentStringsW();
    for (wchar_t *entry = strings; *entry; entry += wcslen(entry) + 1) {
        std::wstring text(entry);
        variables[text.substr(0, text.find(L'=', 1))] = text;
    }
    FreeEnvironmentStringsW(strings);
    for (const std::string &change : changes) {
        std::wstring text = Wide(change);
        variables[text.substr(0, text.find(L'='))] = text;
    }
    std::wstring block;
    for (const auto &variable : variables)
        block += variable.second + L'\0';
    return block + L'\0';
}

// The words are joined with single spaces into the raw command line.
PlatformHandle StartProgram(const std::vector<std::string> &words,
                            const std::vector<std::string> &environment, PlatformHandle in,
                            PlatformHandle out, unsigned *error) {
    std::string tail;
    for (const std::string &word : words)
        tail += " " + word;
    std::wstring command = L"\"" + Wide(ProgramPath()) + L"\"", wideTail(tail.size(), L'\0');
    wideTail.resize(size_t(MultiByteToWideChar(CP_ACP, 0, tail.data(), int(tail.size()),
                                               &wideTail[0], int(wideTail.size()))));
    command += wideTail;
    std::wstring block = EnvironmentBlock(environment);
    for (HANDLE handle : {in, out})
        if (handle != NO_HANDLE)
            SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process;
    // Now and then Wine loses a new process inside its own loader, before
    // the process has finished starting and so before the program's first
    // instruction; CreateProcess then fails with ERROR_INTERNAL_ERROR. The
    // program has not run at all, so it is started once more, and the test's
    // log says so.
    for (int attempt = 1;; attempt++) {
        if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE,
                           DETACHED_PROCESS | CREATE_UNICODE_ENVIRONMENT, &block[0], nullptr,
                           &startup, &process))
            break;
        *error = GetLastError();
        if (*error != ERROR_INTERNAL_ERROR || attempt == 2)
            return NO_HANDLE;
        fprintf(stderr, "Wine lost the program before it started (error 1359); once more\n");
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

// Wine tells the memory of a running process only.
size_t PeakMemoryNow(PlatformHandle child) {
    PROCESS_MEMORY_COUNTERS memory = {};
    return K32GetProcessMemoryInfo(child, &memory, sizeof memory) ? memory.PeakWorkingSetSize : 0;
}

bool HasEnded(PlatformHandle child) {
    return WaitForSingleObject(child, 0) != WAIT_TIMEOUT;
}

void EndProgram(PlatformHandle child) {
    TerminateProcess(child, 1);
}

// So ask while it runs; the largest answer is the peak.
unsigned WaitForProgram(PlatformHandle child, size_t *peakMemory) {
    *peakMemory = 0;
    do {
        size_t peak = PeakMemoryNow(child);
        if (peak > *peakMemory)
            *peakMemory = peak;
    } while (WaitForSingleObject(child, 20) == WAIT_TIMEOUT);
    DWORD status = 0;
    GetExitCodeProcess(child, &status);
    CloseHandle(child);
    return status;
}

PlatformHandle OpenOddHandle() {
    return CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

PlatformHandle SwapStandardOutput(PlatformHandle handle) {
    HANDLE was = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, handle);
    return was;
}

bool IsOpenHandle(PlatformHandle handle) {
    DWORD flags;
    return GetHandleInformation(handle, &flags);
}
