// A pipe for the stream tests to write through and read back, over the
// platform calls in system.h.
#include "channel.h"
#include "system.h"

Channel OpenChannel() {
    Channel channel;
    OpenPipe(&channel.reader, &channel.writer);
    return channel;
}

std::string TakeWaiting(const Channel &channel) {
    std::string bytes(WaitingBytes(channel.reader), '\0');
    size_t at = 0, got;
    while (at < bytes.size() && ReadSome(channel.reader, &bytes[at], bytes.size() - at, &got))
        at += got;
    bytes.resize(at);
    return bytes;
}

// A short write shows as missing bytes in the test that reads them.
void Put(const Channel &channel, const std::string &bytes) {
    size_t written;
    WriteSome(channel.writer, bytes.data(), bytes.size(), &written);
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
    MakeNonBlocking(channel.writer);
}

std::string TakeUntilClosed(const Channel &channel) {
    std::string bytes;
    char chunk[4096];
    size_t got;
    while (ReadSome(channel.reader, chunk, sizeof chunk, &got))
        bytes.append(chunk, got);
    return bytes;
}
