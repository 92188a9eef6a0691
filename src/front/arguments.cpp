// Argument splitting and normalisation.
#include "arguments.h"

static bool IsBlank(char c) {
    return (unsigned char)c <= 0x20;
}

Text TrimText(Text text) {
    while (text.length > 0 && IsBlank(text.bytes[0])) {
        text.bytes++;
        text.length--;
    }
    while (text.length > 0 && IsBlank(text.bytes[text.length - 1]))
        text.length--;
    return text;
}

Text NormalizeArgument(Text text) {
    text = TrimText(text);
    if (text.length > 0) {
        char first = text.bytes[0];
        if (first == '+' || first == '-' || first == '/' || first == '\\') {
            text.bytes++;
            text.length--;
        }
    }
    return text;
}

bool ReadOptionWord(Text normal, FolderOption *option) {
    FolderOption read = SpellsInAnyCase(normal, "DEFAULT")    ? OPTION_DEFAULT
                        : SpellsInAnyCase(normal, "CREATE")   ? OPTION_CREATE
                        : SpellsInAnyCase(normal, "NOVERIFY") ? OPTION_NOVERIFY
                                                              : OPTION_NONE;
    if (read > *option)
        *option = read;
    return read != OPTION_NONE;
}

const char *SplitWord(const char *from, char *word, size_t capacity, size_t *length) {
    for (;;) {
        if (*from != '\0' && IsBlank(*from))
            from = NextChar(from);
        else if (from[0] == '"' && from[1] == '"')
            from += 2;
        else
            break;
    }
    size_t held = 0;
    bool quoted = false;
    while (*from != '\0') {
        if (*from == '"') {
            quoted = !quoted;
            from++;
            continue;
        }
        if (!quoted && IsBlank(*from))
            break;
        // Never step over the terminator, whatever the code page says.
        const char *next = NextChar(from);
        for (; from < next && *from != '\0'; from++)
            if (held < capacity)
                word[held++] = *from;
    }
    *length = held;
    return from;
}
