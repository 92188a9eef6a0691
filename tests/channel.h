// A pipe of the platform's own, for feeding the streams and reading what
// they wrote, byte for byte.
#ifndef KORVANE_TESTS_CHANNEL_H
#define KORVANE_TESTS_CHANNEL_H

#include <string>
#include "system.h"

struct Channel {
    PlatformHandle reader;
    PlatformHandle writer;
};

Channel OpenChannel();
// What has arrived so far, without waiting for more.
std::string TakeWaiting(const Channel &channel);
void Put(const Channel &channel, const std::string &bytes);
void CloseReader(Channel *channel);
void CloseWriter(Channel *channel);
void CloseChannel(Channel *channel);
// The writer then takes nothing while the pipe is full, instead of waiting.
void MakeWriterNonBlocking(const Channel &channel);
// Everything that arrives until the writer is closed.
std::string TakeUntilClosed(const Channel &channel);

#endif
