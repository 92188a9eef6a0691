// The harness's platform calls on Windows. The program is started with
// CreateProcessA, so that the command line reaches it byte for byte (wine
// itself would quote the words again).
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
    char folder[MAX_PATH], file[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "kv", 0, file);
    return CreateFileA(file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

// Wine's view of Linux's device; Windows has none.
PlatformHandle OpenFullDevice() {
    return CreateFileA("Z:\\dev\\full", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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
    static char path[MAX_PATH];
    if (path[0] != 0)
        return path;
    DWORD length = GetEnvironmentVariableA("KORVANE_EXE", path, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        return path;
    char self[MAX_PATH];
    length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder(self, length < MAX_PATH ? length : 0);
    folder.erase(folder.find_last_of('\\') + 1);
    for (const char *place : {"korvane.exe", "..\\korvane.exe"})
        if (GetFullPathNameA((folder + place).c_str(), MAX_PATH, path, nullptr) < MAX_PATH &&
            GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
            break;
    return path;
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
    std::string command = "\"" + ProgramPath() + "\"";
    for (const std::string &word : words)
        command += " " + word;
    std::wstring block = EnvironmentBlock(environment);
    for (HANDLE handle : {in, out})
        if (handle != NO_HANDLE)
            SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    STARTUPINFOA startup = {};
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
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE,
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
