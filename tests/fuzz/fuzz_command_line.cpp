// The raw command line: split into words, each normalised and looked up as a
// keyword and as a word of the other forms, taken as a path by the
// trailing-delimiter rule, and escaped as a JSON string. Checks what must
// hold by the rules, whatever the bytes.
#include <iconv.h>
#include <stdint.h>
#include <string.h>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>
#include "../../src/folders/folders.h"
#include "../../src/front/arguments.h"
#include "../../src/front/json.h"
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

static bool IsHex(char c) {
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}

static bool BeginsWith(Text word, const char *lower) {
    size_t length = strlen(lower);
    if (word.length < length)
        return false;
    for (size_t i = 0; i < length; i++)
        if (tolower((unsigned char)word.bytes[i]) != lower[i])
            return false;
    return true;
}

// Each recogniser accepts only its own form, on a copy of exactly the word's
// size, so that ASan sees a read past it.
static void CheckForms(Text normal) {
    std::unique_ptr<char[]> copy(new char[normal.length + 1]);
    memcpy(copy.get(), normal.bytes, normal.length);
    Text word = {copy.get(), normal.length};
    FolderGuid guid;
    if (ParseFolderGuid(word, &guid)) {
        CHECK(word.length == 38 && word.bytes[0] == '{' && word.bytes[37] == '}');
        for (size_t i = 1; i < 37; i++)
            CHECK(i == 9 || i == 14 || i == 19 || i == 24 ? word.bytes[i] == '-'
                                                          : IsHex(word.bytes[i]));
        char spelled[40];
        snprintf(spelled, sizeof spelled, "%08x-%04x-%04x-%02x%02x-", guid.data1, guid.data2,
                 guid.data3, guid.data4[0], guid.data4[1]);
        for (int i = 0; i < 24; i++)
            CHECK(tolower((unsigned char)word.bytes[1 + i]) == spelled[i]);
    }
    Text name;
    if (ParseShellName(word, &name)) {
        CHECK(BeginsWith(word, "shell:") && word.length > 6);
        CHECK(name.bytes == word.bytes + 6 && name.length == word.length - 6);
    }
    FolderId id = NO_FOLDER_ID;
    if (ParseCsidl(word, &id)) {
        CHECK(BeginsWith(word, "csidl:") && id >= 0 && id <= 255);
        bool hex = BeginsWith(Text{word.bytes + 6, word.length - 6}, "0x");
        std::string digits(word.bytes + 6 + 2 * hex, word.length - 6 - 2 * hex);
        CHECK(!digits.empty());
        for (char c : digits)
            CHECK(hex ? IsHex(c) : c >= '0' && c <= '9');
        CHECK(strtol(digits.c_str(), nullptr, hex ? 16 : 10) == id);
    }
}

// The code points of UTF-8 text, by the C library's decoder; false where it
// is not UTF-8.
static bool DecodeUtf8(Text text, std::vector<uint32_t> *points) {
    static iconv_t decoder = iconv_open("UTF-32LE", "UTF-8");
    points->assign(text.length, 0);
    char *in = const_cast<char *>(text.bytes), *out = (char *)points->data();
    size_t inLeft = text.length, outLeft = 4 * text.length;
    iconv(decoder, nullptr, nullptr, nullptr, nullptr);
    if (iconv(decoder, &in, &inLeft, &out, &outLeft) == size_t(-1))
        return false;
    points->resize(text.length - outLeft / 4);
    return true;
}

// The escaped text is ASCII without a bare quote or control, and a JSON
// reader gets the word back from it whenever the word is UTF-8.
static void CheckJson(Text word) {
    std::string json(JSON_BYTES_PER_BYTE * word.length, '\0');
    json.resize(EscapeJson(word, &json[0]));
    std::vector<uint32_t> read, expected;
    for (size_t i = 0; i < json.size(); i++) {
        CHECK((unsigned char)json[i] >= 0x20 && (unsigned char)json[i] < 0x7F && json[i] != '"');
        if (json[i] != '\\') {
            read.push_back((unsigned char)json[i]);
            continue;
        }
        CHECK(i + 1 < json.size());
        char kind = json[++i];
        if (kind == '"' || kind == '\\') {
            read.push_back((unsigned char)kind);
            continue;
        }
        CHECK(kind == 'u' && i + 4 < json.size());
        uint32_t unit = uint32_t(strtoul(json.substr(i + 1, 4).c_str(), nullptr, 16));
        i += 4;
        if (!read.empty() && read.back() >= 0xD800 && read.back() < 0xDC00 && unit >= 0xDC00 &&
            unit < 0xE000)
            read.back() = 0x10000 + ((read.back() - 0xD800) << 10) + (unit - 0xDC00);
        else
            read.push_back(unit);
    }
    if (DecodeUtf8(word, &expected))
        CHECK(read == expected);
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
    CheckForms(normal);
    CheckJson(word);

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
