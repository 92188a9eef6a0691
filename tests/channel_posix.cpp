#include <fcntl.h>
#include <poll.h>
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

void MakeWriterNonBlocking(const Channel &channel) {
    fcntl(Descriptor(channel.writer), F_SETFL, O_NONBLOCK);
}

std::string TakeUntilClosed(const Channel &channel) {
    std::string bytes;
    struct pollfd readable = {Descriptor(channel.reader), POLLIN, 0};
    while (poll(&readable, 1, -1) > 0) {
        std::string more = TakeWaiting(channel);
        if (more.empty())
            break;
        bytes += more;
    }
    return bytes;
}

PlatformHandle OpenOddHandle() {
    return PlatformHandle(intptr_t(open("/", O_RDONLY | O_DIRECTORY)));
}

// Descriptor 1 stays the standard output; what it refers to changes.
PlatformHandle SwapStandardOutput(PlatformHandle handle) {
    int was = dup(STDOUT_FILENO);
    dup2(Descriptor(handle), STDOUT_FILENO);
    close(Descriptor(handle));
    return PlatformHandle(intptr_t(was));
}

bool IsOpenHandle(PlatformHandle handle) {
    return fcntl(Descriptor(handle), F_GETFD) != -1;
}
