// Arguments from the raw command line, split by the program's own rules.
// Uses: GetCommandLineA, CharNextA.
#include <windows.h>
#include "arguments.h"

// The command line holds at most 32,767 characters; in a double-byte code
// page that is up to twice as many bytes.
static char WordBuffer[65536];

const char *NextChar(const char *at) {
    return CharNextA(at);
}

void StartArguments(ArgumentWalk *walk, int, char **) {
    size_t length;
    walk->rest = nullptr;
    walk->cursor = SplitWord(GetCommandLineA(), WordBuffer, sizeof WordBuffer, &length);
}

bool NextArgument(ArgumentWalk *walk, Text *word) {
    size_t length;
    walk->cursor = SplitWord(walk->cursor, WordBuffer, sizeof WordBuffer, &length);
    *word = Text{WordBuffer, length};
    return length > 0;
}
