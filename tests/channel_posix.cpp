#include <fcntl.h>
#include <stdint.h>
#include <unistd.h>
#include "channel.h"

static int Descriptor(PlatformHandle handle) {
    return int(intptr_t(handle));
}

Channel OpenChannel() {
    int ends[2] = {-1, -1};
    if (pipe(ends) == 0)
        fcntl(ends[0], F_SETFL, O_NONBLOCK);
    return Channel{PlatformHandle(intptr_t(ends[0])), PlatformHandle(intptr_t(ends[1]))};
}

std::string TakeWaiting(const Channel &channel) {
    std::string bytes;
    char chunk[4096];
    ssize_t got;
    while ((got = read(Descriptor(channel.reader), chunk, sizeof chunk)) > 0)
        bytes.append(chunk, size_t(got));
    return bytes;
}

void Put(const Channel &channel, const std::string &bytes) {
    // A short write shows as missing bytes in the test that reads them.
    ssize_t written = write(Descriptor(channel.writer), bytes.data(), bytes.size());
    (void)written;
}

static void CloseEnd(PlatformHandle *end) {
    if (Descriptor(*end) >= 0)
        close(Descriptor(*end));
    *end = PlatformHandle(intptr_t(-1));
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
