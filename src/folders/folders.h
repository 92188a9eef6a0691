// Keywords to folder ids, folder ids to paths, and the trailing-backslash
// rule. Nothing here writes anything.
#ifndef KORVANE_FOLDERS_H
#define KORVANE_FOLDERS_H

#include <stdint.h>
#include "../text.h"

typedef int32_t FolderId;

const FolderId TEMP_FOLDER_ID = 9999;
const FolderId NO_FOLDER_ID = -1;
// Folders newer than the shell's ids are named by GUID; the program gives
// each an id of its own, from this one on.
const FolderId FIRST_KNOWN_FOLDER_ID = 10000;

// A known folder's GUID, laid out as the platform's.
struct FolderGuid {
    uint32_t data1;
    uint16_t data2, data3;
    uint8_t data4[8];
};

// A keyword names a shell folder id, the temporary directory, or a known
// folder, whose row also holds its GUID.
struct FolderKeyword {
    const char *keyword;
    FolderId id;
    FolderGuid known;
};

const size_t FOLDER_KEYWORD_COUNT = 67;
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
// The GUID of a known folder's id; null for any other id.
const FolderGuid *KnownFolderGuid(FolderId id);

// Each of these leaves a path or the empty text in *path, never an error.
void GetFolderPath(FolderId id, PathText *path);
void GetShellFolderPath(FolderId id, PathText *path);
void GetTempFolderPath(PathText *path);
void GetKnownFolderPath(FolderId id, PathText *path);
// Windows: the same, with the query taken from this library (shell32), which
// may lack it.
void GetKnownFolderPathFrom(void *library, FolderId id, PathText *path);

// Changes *path into the form the program prints.
void WithTrailingDelimiter(PathText *path);

#endif
