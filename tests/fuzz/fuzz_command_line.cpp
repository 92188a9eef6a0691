// The raw command line: split into words, each normalised and looked up, and
// each taken as a path by the trailing-delimiter rule. Checks what must hold
// by the rules, whatever the bytes.
#include <stdint.h>
#include <string.h>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>
#include "../../src/folders/folders.h"
#include "../../src/front/arguments.h"
#include "check.h"

static bool IsBlank(char c) {
    return (unsigned char)c <= 0x20;
}

static bool IsPrefix(char c) {
    return c == '+' || c == '-' || c == '/' || c == '\\';
}

static bool Within(Text inner, Text outer) {
    return inner.bytes >= outer.bytes && inner.bytes + inner.length <= outer.bytes + outer.length;
}

static void CheckWord(Text word) {
    CHECK(memchr(word.bytes, '"', word.length) == nullptr);

    Text trimmed = TrimText(word);
    CHECK(Within(trimmed, word));
    if (trimmed.length > 0) {
        CHECK(!IsBlank(trimmed.bytes[0]));
        CHECK(!IsBlank(trimmed.bytes[trimmed.length - 1]));
    }
    for (size_t i = 0; i < word.length; i++)
        if (!IsBlank(word.bytes[i]))
            CHECK(trimmed.length > 0); // only a word of blanks trims to nothing

    Text normal = NormalizeArgument(word);
    bool dropped = trimmed.length > 0 && IsPrefix(trimmed.bytes[0]);
    CHECK(normal.bytes == trimmed.bytes + dropped);
    CHECK(normal.length == trimmed.length - dropped);

    FolderId id = KeywordToFolderId(normal);
    bool found = id == NO_FOLDER_ID;
    for (const FolderKeyword &row : FolderKeywordTable) {
        if (row.id != id)
            continue;
        found = true;
        CHECK(normal.length == strlen(row.keyword));
        for (size_t i = 0; i < normal.length; i++)
            CHECK((normal.bytes[i] & ~0x20) == row.keyword[i] || normal.bytes[i] == row.keyword[i]);
    }
    CHECK(found);

    static PathText path;
    if (word.length > PATH_CAPACITY - 2)
        return;
    memcpy(path.bytes, word.bytes, word.length);
    path.length = word.length;
    WithTrailingDelimiter(&path);
    CHECK(memcmp(path.bytes, word.bytes, word.length) == 0);
    CHECK(path.length >= word.length && path.length <= word.length + 2);
    if (word.length > 0) {
        char last = path.bytes[path.length - 1];
        CHECK(last == '\\' || (last == ':' && path.length == word.length));
    } else {
        CHECK(path.length == 0);
    }
}

// A small buffer takes the first bytes of each word and the walk goes on
// exactly as with a large one.
static const size_t SMALL = 16;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The platform hands over a command line that ends at its first NUL.
    std::string line(reinterpret_cast<const char *>(data), size);
    line.resize(strlen(line.c_str()));
    const char *start = line.c_str(), *end = start + line.size();
    // Exactly as long as their capacity, so that ASan sees a byte past it.
    std::vector<char> word(line.size() + (line.empty() ? 1 : 0));
    std::unique_ptr<char[]> small(new char[SMALL]);
    size_t words = 0;
    for (const char *cursor = start;;) {
        size_t length = SIZE_MAX, smallLength = SIZE_MAX;
        const char *next = SplitWord(cursor, word.data(), line.size(), &length);
        CHECK(SplitWord(cursor, small.get(), SMALL, &smallLength) == next);
        CHECK(smallLength == std::min(length, SMALL));
        CHECK(memcmp(small.get(), word.data(), smallLength) == 0);
        CHECK(next >= cursor && next <= end);
        CHECK(length <= line.size());
        if (length == 0) {
            CHECK(next == end); // an empty word only at the end of the line
            break;
        }
        CHECK(next > cursor);
        CHECK(++words <= line.size());
        CheckWord(Text{word.data(), length});
        cursor = next;
    }
    return 0;
}
