// The keyword table and the rules that do not depend on the platform.
#include "folders.h"

const FolderKeyword FolderKeywordTable[FOLDER_KEYWORD_COUNT] = {
    {"DESKTOP", 0},
    {"INTERNET", 1},
    {"PROGRAMS", 2},
    {"CONTROLS", 3},
    {"PRINTERS", 4},
    {"PERSONAL", 5},
    {"FAVORITES", 6},
    {"STARTUP", 7},
    {"RECENT", 8},
    {"SENDTO", 9},
    {"BITBUCKET", 10},
    {"STARTMENU", 11},
    {"DESKTOPDIRECTORY", 16},
    {"DRIVES", 17},
    {"NETWORK", 18},
    {"NETHOOD", 19},
    {"FONTS", 20},
    {"TEMPLATES", 21},
    {"APPDATA", 26},
    {"PRINTHOOD", 27},
    {"ALTSTARTUP", 29},
    {"COMMON_ALTSTARTUP", 30},
    {"COMMON_FAVORITES", 31},
    {"COOKIES", 33},
    {"HISTORY", 34},
    {"ADMINTOOLS", 48},
    {"CDBURN_AREA", 59},
    {"COMMON_ADMINTOOLS", 47},
    {"COMMON_APPDATA", 35},
    {"COMMON_DOCUMENTS", 46},
    {"COMMON_TEMPLATES", 45},
    {"COMMON_MUSIC", 53},
    {"COMMON_PICTURES", 54},
    {"COMMON_VIDEO", 55},
    {"COMPUTERSNEARME", 61},
    {"CONNECTIONS", 49},
    {"LOCAL_APPDATA", 28},
    {"PROGRAM_FILES", 38},
    {"PROGRAM_FILES_COMMON", 43},
    {"RESOURCES", 56},
    {"RESOURCES_LOCALIZED", 57},
    {"SYSTEM", 37},
    {"WINDOWS", 36},
    {"TEMP", TEMP_FOLDER_ID},
};

// No keyword is longer than this, so a longer text cannot match one.
static const size_t LONGEST_KEYWORD = 20;

static char UpperCaseByte(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 0x20) : c;
}

void UpperCaseAscii(Text text, char *out) {
    for (size_t i = 0; i < text.length; i++)
        out[i] = UpperCaseByte(text.bytes[i]);
}

// Stops at the first byte that differs, so that a long command line of words
// that name nothing costs little more than its walk.
static bool SpellsKeyword(Text text, const char *keyword) {
    for (size_t i = 0; i < text.length; i++)
        if (keyword[i] == '\0' || keyword[i] != text.bytes[i])
            return false;
    return keyword[text.length] == '\0';
}

FolderId KeywordToFolderId(Text keyword) {
    if (keyword.length > LONGEST_KEYWORD)
        return NO_FOLDER_ID;
    char upper[LONGEST_KEYWORD];
    UpperCaseAscii(keyword, upper);
    for (const FolderKeyword &row : FolderKeywordTable)
        if (SpellsKeyword(Text{upper, keyword.length}, row.keyword))
            return row.id;
    return NO_FOLDER_ID;
}

void GetFolderPath(FolderId id, PathText *path) {
    if (id == TEMP_FOLDER_ID)
        GetTempFolderPath(path);
    else
        GetShellFolderPath(id, path);
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
