// Starts korvane.exe with CreateProcessA, so that the command line reaches it
// byte for byte (wine itself would quote the words again).
#include <windows.h>
#include <gtest/gtest.h>
#include <map>
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

// The current environment with the launch's variables put over it.
static std::string EnvironmentBlock(const std::vector<std::string> &changes) {
    std::map<std::string, std::string> variables;
    char *strings = GetEnvironmentStringsA();
    for (char *entry = strings; *entry; entry += strlen(entry) + 1) {
        std::string text(entry);
        variables[text.substr(0, text.find('=', 1))] = text;
    }
    FreeEnvironmentStringsA(strings);
    for (const std::string &change : changes)
        variables[change.substr(0, change.find('='))] = change;
    std::string block;
    for (const auto &variable : variables)
        block += variable.second + '\0';
    return block + '\0';
}

Outcome RunKorvane(const Launch &launch) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE out = INVALID_HANDLE_VALUE, reader = nullptr;
    char file[MAX_PATH] = "";
    switch (launch.sink) {
    case SINK_FILE: {
        char folder[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        GetTempFileNameA(folder, "kv", 0, file);
        out = CreateFileA(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                          CREATE_ALWAYS, 0, nullptr);
        break;
    }
    case SINK_PIPE:
    case SINK_BROKEN_PIPE:
        CreatePipe(&reader, &out, &inheritable, 0);
        SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
        if (launch.sink == SINK_BROKEN_PIPE) {
            CloseHandle(reader);
            reader = nullptr;
        }
        break;
    case SINK_FULL:
        out = CreateFileA("Z:\\dev\\full", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          &inheritable, OPEN_EXISTING, 0, nullptr);
        break;
    case SINK_CLOSED:
        break;
    }
    HANDLE in = INVALID_HANDLE_VALUE, feeder = nullptr;
    if (launch.source == SOURCE_EMPTY)
        in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                         OPEN_EXISTING, 0, nullptr);
    if (launch.source == SOURCE_BYTES) {
        CreatePipe(&in, &feeder, &inheritable, 1 << 20);
        SetHandleInformation(feeder, HANDLE_FLAG_INHERIT, 0);
        DWORD written;
        WriteFile(feeder, launch.input.data(), DWORD(launch.input.size()), &written, nullptr);
        CloseHandle(feeder);
    }

    std::string command = "\"" + ProgramPath() + "\"";
    for (const std::string &word : launch.words)
        command += " " + word;
    std::string environment = EnvironmentBlock(launch.environment);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, DETACHED_PROCESS,
                                  &environment[0], nullptr, &startup, &process);
    DWORD error = GetLastError();
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    if (in != INVALID_HANDLE_VALUE)
        CloseHandle(in);
    Outcome outcome = {"", 0xDEAD};
    if (!started) {
        ADD_FAILURE() << "CreateProcessA failed with " << error;
        return outcome;
    }
    if (reader) {
        outcome.out = ReadWhole(reader);
        CloseHandle(reader);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status;
    GetExitCodeProcess(process.hProcess, &status);
    outcome.status = status;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (launch.sink == SINK_FILE) {
        HANDLE written = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        outcome.out = ReadWhole(written);
        CloseHandle(written);
        DeleteFileA(file);
    }
    return outcome;
}
