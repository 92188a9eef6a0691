// The program's arguments: split from the raw command line on Windows, taken
// from argv on the host, and normalised into keywords.
#ifndef KORVANE_ARGUMENTS_H
#define KORVANE_ARGUMENTS_H

#include "../folders/folders.h"
#include "../text.h"

Text TrimText(Text text);
Text NormalizeArgument(Text text);

// Whether a normalised word is a lookup option, NOVERIFY, CREATE or DEFAULT
// in any case, which names no folder; if so, *option takes it, unless it
// holds one that wins over it (FolderOption's order).
bool ReadOptionWord(Text normal, FolderOption *option);

// Splits the word that starts at or after `from`: copies it, quotes dropped,
// into word (bytes past capacity are dropped), sets *length, and returns
// where the search for the next word starts. An empty word means the end.
const char *SplitWord(const char *from, char *word, size_t capacity, size_t *length);

// The next character of the ANSI code page, which may take two bytes.
const char *NextChar(const char *at);

// One pass over the arguments, word 1 onwards. The Windows build walks the raw
// command line with `cursor`; the host build walks argv with `rest`.
struct ArgumentWalk {
    const char *cursor;
    char *const *rest;
};

void StartArguments(ArgumentWalk *walk, int argc, char **argv);
// False at the end. The word stays valid until the next call.
bool NextArgument(ArgumentWalk *walk, Text *word);

#endif
