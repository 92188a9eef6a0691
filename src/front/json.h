// Texts as JSON strings in ASCII alone, so that a reader in any code page
// gets every character of a path whole.
#ifndef KORVANE_JSON_H
#define KORVANE_JSON_H

#include "../text.h"

// No byte of UTF-8 takes more than this in JSON: a control byte is \u00XX.
const size_t JSON_BYTES_PER_BYTE = 6;

// Writes the body of the text's JSON string, without its quotes, to out,
// which has room for JSON_BYTES_PER_BYTE bytes for each byte of the text, and
// returns its length. " and \ are escaped; control characters and every
// character outside ASCII become \uXXXX of their UTF-16 units; a byte that is
// no part of a whole UTF-8 character becomes \ufffd.
size_t EscapeJson(Text text, char *out);

#endif
