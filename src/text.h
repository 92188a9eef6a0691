// Texts: byte strings in UTF-8, with an explicit length; the platform's own
// encodings are met only at the edges, where paths come in and output goes out.
// Command-line words are the one exception: they keep the ANSI code page, as
// they are only ever compared with ASCII keywords, never printed.
// A Text is a view; whoever made it keeps the bytes alive.
#ifndef KORVANE_TEXT_H
#define KORVANE_TEXT_H

#include <stddef.h>
#include <string.h>

// The longest text any edge converts in one go: a path of 32,767 UTF-16 units
// takes at most three UTF-8 bytes a unit, and the delimiter rule may add ":\".
const size_t TEXT_CAPACITY = 3 * 32767 + 3;

struct Text {
    const char *bytes;
    size_t length;
};

inline Text TextOf(const char *zeroEnded) {
    return Text{zeroEnded, strlen(zeroEnded)};
}

// Whether the text is these bytes. Stops at the first byte that differs, so
// that a long command line of words that name nothing costs little more
// than its walk.
inline bool SpellsText(Text text, const char *zeroEnded) {
    for (size_t i = 0; i < text.length; i++)
        if (zeroEnded[i] == '\0' || zeroEnded[i] != text.bytes[i])
            return false;
    return zeroEnded[text.length] == '\0';
}

// Whether the text begins with these upper-case bytes, its ASCII letters in
// either case.
inline bool BeginsInAnyCase(Text text, const char *upper) {
    for (size_t i = 0; upper[i] != '\0'; i++) {
        if (i == text.length)
            return false;
        char c = text.bytes[i];
        if ((c >= 'a' && c <= 'z' ? char(c - 0x20) : c) != upper[i])
            return false;
    }
    return true;
}

inline bool SpellsInAnyCase(Text text, const char *upper) {
    return text.length == strlen(upper) && BeginsInAnyCase(text, upper);
}

#endif
