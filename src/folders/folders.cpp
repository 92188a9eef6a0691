// The keyword table, the recognisers of the other words that name a folder,
// and the rules that do not depend on the platform.
#include "folders.h"

const FolderKeyword FolderKeywordTable[FOLDER_KEYWORD_COUNT] = {
    {"DESKTOP", 0, {}},
    {"INTERNET", 1, {}},
    {"PROGRAMS", 2, {}},
    {"CONTROLS", 3, {}},
    {"PRINTERS", 4, {}},
    {"PERSONAL", 5, {}},
    {"FAVORITES", 6, {}},
    {"STARTUP", 7, {}},
    {"RECENT", 8, {}},
    {"SENDTO", 9, {}},
    {"BITBUCKET", 10, {}},
    {"STARTMENU", 11, {}},
    {"DESKTOPDIRECTORY", 16, {}},
    {"DRIVES", 17, {}},
    {"NETWORK", 18, {}},
    {"NETHOOD", 19, {}},
    {"FONTS", 20, {}},
    {"TEMPLATES", 21, {}},
    {"APPDATA", 26, {}},
    {"PRINTHOOD", 27, {}},
    {"ALTSTARTUP", 29, {}},
    {"COMMON_ALTSTARTUP", 30, {}},
    {"COMMON_FAVORITES", 31, {}},
    {"COOKIES", 33, {}},
    {"HISTORY", 34, {}},
    {"ADMINTOOLS", 48, {}},
    {"CDBURN_AREA", 59, {}},
    {"COMMON_ADMINTOOLS", 47, {}},
    {"COMMON_APPDATA", 35, {}},
    {"COMMON_DOCUMENTS", 46, {}},
    {"COMMON_TEMPLATES", 45, {}},
    {"COMMON_MUSIC", 53, {}},
    {"COMMON_PICTURES", 54, {}},
    {"COMMON_VIDEO", 55, {}},
    {"COMPUTERSNEARME", 61, {}},
    {"CONNECTIONS", 49, {}},
    {"LOCAL_APPDATA", 28, {}},
    {"PROGRAM_FILES", 38, {}},
    {"PROGRAM_FILES_COMMON", 43, {}},
    {"RESOURCES", 56, {}},
    {"RESOURCES_LOCALIZED", 57, {}},
    {"SYSTEM", 37, {}},
    {"WINDOWS", 36, {}},
    {"TEMP", TEMP_FOLDER_ID, {}},
    {"PROFILE", 40, {}},
    {"MYMUSIC", 13, {}},
    {"MYVIDEO", 14, {}},
    {"MYPICTURES", 39, {}},
    {"COMMON_STARTMENU", 22, {}},
    {"COMMON_PROGRAMS", 23, {}},
    {"COMMON_STARTUP", 24, {}},
    {"COMMON_DESKTOPDIRECTORY", 25, {}},
    {"INTERNET_CACHE", 32, {}},
    {"SYSTEMX86", 41, {}},
    {"PROGRAM_FILESX86", 42, {}},
    {"PROGRAM_FILES_COMMONX86", 44, {}},
    {"DOWNLOADS",
     10000,
     {0x374de290, 0x123f, 0x4565, {0x91, 0x64, 0x39, 0xc4, 0x92, 0x5e, 0x46, 0x7b}}},
    {"PUBLIC_DOWNLOADS",
     10001,
     {0x3d644c9b, 0x1fb8, 0x4f30, {0x9b, 0x45, 0xf6, 0x70, 0x23, 0x5f, 0x79, 0xc0}}},
    {"SAVED_GAMES",
     10002,
     {0x4c5c32ff, 0xbb9d, 0x43b0, {0xb5, 0xb4, 0x2d, 0x72, 0xe5, 0x4e, 0xaa, 0xa4}}},
    {"LINKS",
     10003,
     {0xbfb9d5e0, 0xc6a9, 0x404c, {0xb2, 0xb2, 0xae, 0x6d, 0xb6, 0xaf, 0x49, 0x68}}},
    {"CONTACTS",
     10004,
     {0x56784854, 0xc6cb, 0x462b, {0x81, 0x69, 0x88, 0xe3, 0x50, 0xac, 0xb8, 0x82}}},
    {"SEARCHES",
     10005,
     {0x7d1d3a04, 0xdebb, 0x4115, {0x95, 0xcf, 0x2f, 0x29, 0xda, 0x29, 0x20, 0xda}}},
    {"LOCAL_APPDATA_LOW",
     10006,
     {0xa520a1a4, 0x1780, 0x4ff6, {0xbd, 0x18, 0x16, 0x73, 0x43, 0xc5, 0xaf, 0x16}}},
    {"PUBLIC",
     10007,
     {0xdfdf76a2, 0xc82a, 0x4d63, {0x90, 0x6a, 0x56, 0x44, 0xac, 0x45, 0x73, 0x85}}},
    {"ONEDRIVE",
     10008,
     {0xa52bba46, 0xe9e1, 0x435f, {0xb3, 0xd9, 0x28, 0xda, 0xa6, 0x48, 0xc0, 0xf6}}},
    {"SCREENSHOTS",
     10009,
     {0xb7bede81, 0xdf94, 0x4682, {0xa7, 0xd8, 0x57, 0xa5, 0x26, 0x20, 0xb8, 0x6f}}},
    {"USER_PROGRAM_FILES",
     10010,
     {0x5cd7aee2, 0x2219, 0x4a67, {0xb8, 0x5d, 0x6c, 0x9c, 0xe1, 0x56, 0x60, 0xcb}}},
};

// No keyword is longer than this, so a longer text cannot match one.
static const size_t LONGEST_KEYWORD = 23;

static char UpperCaseByte(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 0x20) : c;
}

void UpperCaseAscii(Text text, char *out) {
    for (size_t i = 0; i < text.length; i++)
        out[i] = UpperCaseByte(text.bytes[i]);
}

FolderId KeywordToFolderId(Text keyword) {
    if (keyword.length > LONGEST_KEYWORD)
        return NO_FOLDER_ID;
    char upper[LONGEST_KEYWORD];
    UpperCaseAscii(keyword, upper);
    for (const FolderKeyword &row : FolderKeywordTable)
        if (SpellsText(Text{upper, keyword.length}, row.keyword))
            return row.id;
    return NO_FOLDER_ID;
}

const FolderGuid *KnownFolderGuid(FolderId id) {
    if (id < FIRST_KNOWN_FOLDER_ID)
        return nullptr;
    for (const FolderKeyword &row : FolderKeywordTable)
        if (row.id == id)
            return &row.known;
    return nullptr;
}

// Every keyword names a folder, whether or not the platform knows it.
static FolderQuery QueryOfId(FolderId id, FolderOption option) {
    const FolderGuid *known = KnownFolderGuid(id);
    FolderQuery query = {SHELL_FOLDER, id, {}, {}, option, true};
    if (id == TEMP_FOLDER_ID) {
        query.kind = TEMP_FOLDER;
    } else if (known != nullptr) {
        query.kind = KNOWN_FOLDER;
        query.guid = *known;
    }
    return query;
}

bool IsVirtualShellId(FolderId id) {
    // Internet, Control Panel, printers, Recycle Bin, This PC, network,
    // network connections.
    static const FolderId virtualIds[] = {1, 3, 4, 10, 17, 18, 49};
    for (FolderId virtualId : virtualIds)
        if (id == virtualId)
            return true;
    return false;
}

void GetFolderPath(FolderId id, PathText *path, FolderOption option) {
    FolderQuery query = QueryOfId(id, option);
    AskPlatformForFolder(&query, path);
}

static int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = UpperCaseByte(c);
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

bool ParseFolderGuid(Text word, FolderGuid *guid) {
    static const char shape[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (word.length != sizeof shape - 1)
        return false;
    uint8_t bytes[16];
    size_t count = 0;
    // Hex digits come in pairs, each pair one byte as written.
    for (size_t i = 0; i < word.length; i++) {
        if (shape[i] != 'X') {
            if (word.bytes[i] != shape[i])
                return false;
            continue;
        }
        int high = HexDigitValue(word.bytes[i]), low = HexDigitValue(word.bytes[++i]);
        if (high < 0 || low < 0)
            return false;
        bytes[count++] = uint8_t(high << 4 | low);
    }
    guid->data1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | bytes[2] << 8 | bytes[3];
    guid->data2 = uint16_t(bytes[4] << 8 | bytes[5]);
    guid->data3 = uint16_t(bytes[6] << 8 | bytes[7]);
    memcpy(guid->data4, bytes + 8, 8);
    return true;
}

// What follows the prefix, when the word begins with it in any case.
static bool AfterPrefix(Text word, const char *upper, Text *rest) {
    if (!BeginsInAnyCase(word, upper))
        return false;
    size_t length = strlen(upper);
    *rest = Text{word.bytes + length, word.length - length};
    return true;
}

bool ParseShellName(Text word, Text *name) {
    Text rest;
    if (!AfterPrefix(word, "SHELL:", &rest) || rest.length == 0)
        return false;
    *name = rest;
    return true;
}

bool ParseCsidl(Text word, FolderId *id) {
    Text number;
    if (!AfterPrefix(word, "CSIDL:", &number))
        return false;
    int base = AfterPrefix(number, "0X", &number) ? 16 : 10;
    if (number.length == 0)
        return false;
    FolderId value = 0;
    for (size_t i = 0; i < number.length; i++) {
        int digit = HexDigitValue(number.bytes[i]);
        if (digit < 0 || digit >= base)
            return false;
        value = value * base + digit;
        if (value > 255)
            return false;
    }
    *id = value;
    return true;
}

static bool QueryOfName(Text word, FolderOption option, FolderQuery *query) {
    *query = {FOLDER_BY_GUID, NO_FOLDER_ID, {}, {}, option, false};
    if (ParseShellName(word, &query->name))
        query->kind = FOLDER_BY_NAME;
    else if (ParseCsidl(word, &query->id))
        query->kind = SHELL_FOLDER;
    else if (!ParseFolderGuid(word, &query->guid))
        return false;
    return true;
}

bool GetNamedFolderPath(Text word, PathText *path, FolderOption option) {
    FolderQuery query;
    path->length = 0;
    return QueryOfName(word, option, &query) && AskPlatformForFolder(&query, path);
}

bool QueryOfWord(Text word, FolderOption option, FolderQuery *query) {
    FolderId id = KeywordToFolderId(word);
    if (id == NO_FOLDER_ID)
        return QueryOfName(word, option, query);
    *query = QueryOfId(id, option);
    return true;
}

void FormatFolderGuid(const FolderGuid *guid, char text[GUID_TEXT_LENGTH]) {
    static const char digits[] = "0123456789ABCDEF";
    uint8_t bytes[16] = {uint8_t(guid->data1 >> 24), uint8_t(guid->data1 >> 16),
                         uint8_t(guid->data1 >> 8),  uint8_t(guid->data1),
                         uint8_t(guid->data2 >> 8),  uint8_t(guid->data2),
                         uint8_t(guid->data3 >> 8),  uint8_t(guid->data3)};
    memcpy(bytes + 8, guid->data4, 8);
    size_t at = 0;
    text[at++] = '{';
    for (size_t i = 0; i < 16; i++) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text[at++] = '-';
        text[at++] = digits[bytes[i] >> 4];
        text[at++] = digits[bytes[i] & 0xF];
    }
    text[at] = '}';
}

bool ComesBefore(const KnownFolder *a, const KnownFolder *b) {
    size_t shorter = a->name.length < b->name.length ? a->name.length : b->name.length;
    for (size_t i = 0; i < shorter; i++) {
        unsigned char x = UpperCaseByte(a->name.bytes[i]), y = UpperCaseByte(b->name.bytes[i]);
        if (x != y)
            return x < y;
    }
    if (a->name.length != b->name.length)
        return a->name.length < b->name.length;
    char x[GUID_TEXT_LENGTH], y[GUID_TEXT_LENGTH];
    FormatFolderGuid(&a->id, x);
    FormatFolderGuid(&b->id, y);
    return memcmp(x, y, GUID_TEXT_LENGTH) < 0;
}

// A machine knows a hundred or two folders: an insertion sort is quick
// enough, and needs neither memory nor a library routine.
void SortKnownFolders(KnownFolderList *list) {
    for (size_t i = 1; i < list->count; i++) {
        KnownFolder folder = list->folders[i];
        size_t at = i;
        for (; at > 0 && ComesBefore(&folder, &list->folders[at - 1]); at--)
            list->folders[at] = list->folders[at - 1];
        list->folders[at] = folder;
    }
}

static void AppendByte(PathText *path, char c) {
    if (path->length < PATH_CAPACITY)
        path->bytes[path->length++] = c;
}

void WithTrailingDelimiter(PathText *path) {
    if (path->length == 0)
        return;
    char last = path->bytes[path->length - 1];
    if (last == ':' || last == '\\')
        return;
    char first = UpperCaseByte(path->bytes[0]);
    if (path->length == 1 && first >= 'A' && first <= 'Z')
        AppendByte(path, ':');
    AppendByte(path, '\\');
}
