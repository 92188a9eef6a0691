// Texts: byte strings in the ANSI code page, with an explicit length.
// A Text is a view; whoever made it keeps the bytes alive.
#ifndef KORVANE_TEXT_H
#define KORVANE_TEXT_H

#include <stddef.h>
#include <string.h>

struct Text {
    const char *bytes;
    size_t length;
};

inline Text TextOf(const char *zeroEnded) {
    return Text{zeroEnded, strlen(zeroEnded)};
}

#endif
