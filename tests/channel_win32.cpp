#include <windows.h>
#include "channel.h"

Channel OpenChannel() {
    HANDLE reader = nullptr, writer = nullptr;
    CreatePipe(&reader, &writer, nullptr, 1 << 16);
    return Channel{reader, writer};
}

std::string TakeWaiting(const Channel &channel) {
    DWORD waiting = 0;
    PeekNamedPipe(channel.reader, nullptr, 0, nullptr, &waiting, nullptr);
    std::string bytes(waiting, '\0');
    DWORD got = 0;
    if (waiting > 0)
        ReadFile(channel.reader, &bytes[0], waiting, &got, nullptr);
    bytes.resize(got);
    return bytes;
}

void Put(const Channel &channel, const std::string &bytes) {
    DWORD written;
    WriteFile(channel.writer, bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

static void CloseEnd(PlatformHandle *end) {
    if (*end)
        CloseHandle(*end);
    *end = nullptr;
}

void CloseReader(Channel *channel) {
    CloseEnd(&channel->reader);
}

void CloseWriter(Channel *channel) {
    CloseEnd(&channel->writer);
}

void CloseChannel(Channel *channel) {
    CloseReader(channel);
    CloseWriter(channel);
}

void MakeWriterNonBlocking(const Channel &channel) {
    DWORD mode = PIPE_NOWAIT;
    SetNamedPipeHandleState(channel.writer, &mode, nullptr, nullptr);
}

std::string TakeUntilClosed(const Channel &channel) {
    std::string bytes;
    char chunk[4096];
    DWORD got;
    while (ReadFile(channel.reader, chunk, sizeof chunk, &got, nullptr))
        bytes.append(chunk, got);
    return bytes;
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
