// Keywords to folder ids, folder ids to paths, and the trailing-backslash
// rule. Nothing here writes anything.
#ifndef KORVANE_FOLDERS_H
#define KORVANE_FOLDERS_H

#include <stdint.h>
#include "../text.h"

typedef int32_t FolderId;

const FolderId TEMP_FOLDER_ID = 9999;
const FolderId NO_FOLDER_ID = -1;

struct FolderKeyword {
    const char *keyword;
    FolderId id;
};

const size_t FOLDER_KEYWORD_COUNT = 44;
extern const FolderKeyword FolderKeywordTable[FOLDER_KEYWORD_COUNT];

// Large enough for any path the platform can report, in UTF-8, plus the ":\"
// that the delimiter rule may add.
const size_t PATH_CAPACITY = TEXT_CAPACITY;

struct PathText {
    char bytes[PATH_CAPACITY];
    size_t length;
};

inline Text TextOfPath(const PathText *path) {
    return Text{path->bytes, path->length};
}

// Writes text.length bytes to out.
void UpperCaseAscii(Text text, char *out);
FolderId KeywordToFolderId(Text keyword);

// Each of these leaves a path or the empty text in *path, never an error.
void GetFolderPath(FolderId id, PathText *path);
void GetShellFolderPath(FolderId id, PathText *path);
void GetTempFolderPath(PathText *path);

// Changes *path into the form the program prints.
void WithTrailingDelimiter(PathText *path);

#endif
