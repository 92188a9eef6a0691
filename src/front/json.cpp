// The JSON string escaper.
#include <stdint.h>
#include "json.h"

static const uint32_t REPLACEMENT_CHARACTER = 0xFFFD;

static bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The code point of the UTF-8 character at the start of the text and its
// length, or the replacement character for one byte that starts none:
// overlong forms, surrogates and values past U+10FFFF start none.
static uint32_t DecodeCharacter(Text text, size_t *length) {
    const unsigned char *b = (const unsigned char *)text.bytes;
    *length = 1;
    if (b[0] < 0x80)
        return b[0];
    size_t more = b[0] >= 0xF0 ? 3 : b[0] >= 0xE0 ? 2 : b[0] >= 0xC0 ? 1 : 0;
    if (more == 0 || b[0] > 0xF4 || text.length <= more)
        return REPLACEMENT_CHARACTER;
    uint32_t point = b[0] & (0x3F >> more);
    for (size_t i = 1; i <= more; i++) {
        if (!IsContinuation(b[i]))
            return REPLACEMENT_CHARACTER;
        point = point << 6 | (b[i] & 0x3F);
    }
    static const uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (point < smallest[more] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        return REPLACEMENT_CHARACTER;
    *length = more + 1;
    return point;
}

static size_t WriteUnit(uint32_t unit, char *out) {
    static const char digits[] = "0123456789abcdef";
    out[0] = '\\';
    out[1] = 'u';
    for (int i = 0; i < 4; i++)
        out[2 + i] = digits[unit >> (12 - 4 * i) & 0xF];
    return 6;
}

size_t EscapeJson(Text text, char *out) {
    size_t written = 0;
    while (text.length > 0) {
        size_t length;
        uint32_t point = DecodeCharacter(text, &length);
        text.bytes += length;
        text.length -= length;
        if (point == '"' || point == '\\') {
            out[written++] = '\\';
            out[written++] = char(point);
        } else if (point >= 0x20 && point < 0x7F) {
            out[written++] = char(point);
        } else if (point < 0x10000) {
            written += WriteUnit(point, out + written);
        } else {
            point -= 0x10000;
            written += WriteUnit(0xD800 + (point >> 10), out + written);
            written += WriteUnit(0xDC00 + (point & 0x3FF), out + written);
        }
    }
    return written;
}
