// Starts korvane.exe with CreateProcessA, so that the command line reaches it
// byte for byte (wine itself would quote the words again).
#include <windows.h>
#include <psapi.h>
#include <gtest/gtest.h>
#include <map>
#include <thread>
#include "oracle.h"
#include "process.h"

// The build tree's path as Wine shows it: Z: is the Unix root.
static std::string ProgramPath() {
    std::string path = std::string("Z:") + KORVANE_PROGRAM;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

static std::string ReadWhole(HANDLE handle) {
    std::string bytes;
    char chunk[4096];
    DWORD got;
    while (ReadFile(handle, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    return bytes;
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

static std::string TemporaryFile() {
    char folder[MAX_PATH], file[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "kv", 0, file);
    return file;
}

static HANDLE OpenFile(const std::string &name, DWORD access, DWORD disposition, bool inherit) {
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, inherit};
    return CreateFileA(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                       disposition, 0, nullptr);
}

// One end for the child, one kept here.
static void OpenPipe(HANDLE *childs, HANDLE *ours, bool childReads) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE reader, writer;
    CreatePipe(&reader, &writer, &inheritable, 0);
    *childs = childReads ? reader : writer;
    *ours = childReads ? writer : reader;
    SetHandleInformation(*ours, HANDLE_FLAG_INHERIT, 0);
}

static void Feed(HANDLE writer, std::string input, size_t repeats) {
    for (size_t at = 0; repeats > 0; at = 0, repeats--) {
        while (at < input.size()) {
            DWORD written = 0;
            if (!WriteFile(writer, input.data() + at, DWORD(input.size() - at), &written,
                           nullptr)) {
                repeats = 1; // the child has stopped reading
                break;
            }
            at += written;
        }
    }
    CloseHandle(writer);
}

Outcome RunKorvane(const Launch &launch) {
    HANDLE out = INVALID_HANDLE_VALUE, reader = nullptr;
    std::string file;
    switch (launch.sink) {
    case SINK_FILE:
        file = TemporaryFile();
        out = OpenFile(file, GENERIC_WRITE, CREATE_ALWAYS, true);
        break;
    case SINK_PIPE:
        OpenPipe(&out, &reader, false);
        break;
    case SINK_BROKEN_PIPE:
        OpenPipe(&out, &reader, false);
        CloseHandle(reader);
        reader = nullptr;
        break;
    case SINK_FULL:
        out = OpenFile("Z:\\dev\\full", GENERIC_WRITE, OPEN_EXISTING, true);
        break;
    case SINK_CLOSED:
        break;
    }
    HANDLE in = INVALID_HANDLE_VALUE, feeder = nullptr, holder = nullptr;
    std::string inputFile;
    if (launch.source == SOURCE_EMPTY) {
        inputFile = TemporaryFile();
        in = OpenFile(inputFile, GENERIC_READ, OPEN_EXISTING, true);
    }
    if (launch.source == SOURCE_BYTES)
        OpenPipe(&in, &feeder, true);
    if (launch.source == SOURCE_OPEN)
        OpenPipe(&in, &holder, true);

    std::string command = "\"" + ProgramPath() + "\"";
    for (const std::string &word : launch.words)
        command += " " + word;
    std::wstring environment = EnvironmentBlock(launch.environment);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE,
                                  DETACHED_PROCESS | CREATE_UNICODE_ENVIRONMENT, &environment[0],
                                  nullptr, &startup, &process);
    DWORD error = GetLastError();
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    if (in != INVALID_HANDLE_VALUE)
        CloseHandle(in);
    std::thread feeding;
    if (feeder)
        feeding = std::thread(Feed, feeder, launch.input, launch.inputRepeats);
    Outcome outcome = {"", 0xDEAD, 0};
    if (started) {
        if (reader)
            outcome.out = ReadWhole(reader);
        // Wine tells the memory of a running process only, so ask while it runs.
        PROCESS_MEMORY_COUNTERS memory = {};
        do
            if (K32GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory))
                outcome.peakMemory = memory.PeakWorkingSetSize;
        while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT);
        DWORD status;
        GetExitCodeProcess(process.hProcess, &status);
        outcome.status = status;
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    } else {
        ADD_FAILURE() << "CreateProcessA failed with " << error;
        if (feeder)
            CloseHandle(feeder);
        feeder = nullptr;
    }
    if (feeding.joinable())
        feeding.join();
    if (holder)
        CloseHandle(holder);
    if (reader)
        CloseHandle(reader);
    if (!file.empty()) {
        HANDLE written = OpenFile(file, GENERIC_READ, OPEN_EXISTING, false);
        outcome.out = ReadWhole(written);
        CloseHandle(written);
        DeleteFileA(file.c_str());
    }
    if (!inputFile.empty())
        DeleteFileA(inputFile.c_str());
    return outcome;
}
