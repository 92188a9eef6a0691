// A pipe of the platform's own, for feeding the streams and reading what
// they wrote, byte for byte.
#ifndef KORVANE_TESTS_CHANNEL_H
#define KORVANE_TESTS_CHANNEL_H

#include <string>
#include "../src/console/console.h"

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

#endif
