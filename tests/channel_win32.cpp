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
