// Arguments from argv: the shell has split them already. Empty ones are
// skipped, as the Windows rules skip "" pairs.
#include "arguments.h"

const char *NextChar(const char *at) {
    return at + 1;
}

void StartArguments(ArgumentWalk *walk, int argc, char **argv) {
    walk->cursor = nullptr;
    walk->rest = argc > 0 ? argv + 1 : argv;
}

bool NextArgument(ArgumentWalk *walk, Text *word) {
    while (*walk->rest != nullptr && (*walk->rest)[0] == '\0')
        walk->rest++;
    if (*walk->rest == nullptr)
        return false;
    *word = TextOf(*walk->rest++);
    return true;
}
