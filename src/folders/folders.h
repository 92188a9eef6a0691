// Keywords to folder ids, folder ids and the words that name any folder to
// paths, and the trailing-backslash rule. Nothing here writes anything.
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

// What a lookup asks beyond the path: by default the platform names a
// folder only where it exists; NOVERIFY names it where it is or would be,
// CREATE makes it (and the folders above it) where it is missing, and
// names it only if it then exists; DEFAULT names where it would be had
// nothing moved it, and makes nothing. Given several, the one later in
// this order wins, whatever their order on the command line.
enum FolderOption { OPTION_NONE, OPTION_NOVERIFY, OPTION_CREATE, OPTION_DEFAULT };

// What the platform is asked for: a shell folder by its id, the temporary
// directory, a known folder of the keyword table, or any known folder by its
// GUID or its canonical name.
enum FolderKind { SHELL_FOLDER, TEMP_FOLDER, KNOWN_FOLDER, FOLDER_BY_GUID, FOLDER_BY_NAME };

struct FolderQuery {
    FolderKind kind;
    FolderId id;     // SHELL_FOLDER, TEMP_FOLDER and KNOWN_FOLDER
    FolderGuid guid; // KNOWN_FOLDER and FOLDER_BY_GUID
    Text name;       // FOLDER_BY_NAME, in the command line's code page
    FolderOption option;
    bool byKeyword; // the word was a keyword, not csidl:N or another form
};

// The platform's one entry (folders_win32.cpp, folders_posix.cpp): leaves
// the folder's file-system path, or the empty text, in *path, and says
// whether the platform knows the folder at all.
bool AskPlatformForFolder(const FolderQuery *query, PathText *path);

// Whether the question names a folder whoever asks, before anyone's path
// is asked: a keyword's always; a csidl:N word's where the shell names a
// place for the id, made or not; a GUID's or a shell: name's where the
// known-folder manager knows it.
bool NamesAFolder(const FolderQuery *query);

// The shell ids whose known folder the manager files as virtual (the
// Control Panel, the Recycle Bin, the printers, ...): they have no path,
// whoever asks, whatever a shell answers.
bool IsVirtualShellId(FolderId id);

// A known folder as the platform's manager defines it, its texts in UTF-8.
// The category numbers are the platform's.
enum FolderCategory { FOLDER_VIRTUAL = 1, FOLDER_FIXED, FOLDER_COMMON, FOLDER_PER_USER };

// Where a moved folder is now: at or under the root of a OneDrive account,
// on the network (a share, or a drive the platform calls remote), or
// elsewhere; untold for a folder that has not moved, or when not asked.
enum FolderMove { MOVE_UNTOLD, MOVED_LOCALLY, MOVED_TO_NETWORK, MOVED_TO_ONEDRIVE };

struct KnownFolder {
    Text name; // canonical: what "shell:" takes
    FolderGuid id;
    FolderCategory category;
    Text path; // as a lookup finds it, without the delimiter; empty for none
    // Where the platform names it now and by default, neither verified;
    // empty for none.
    Text unverifiedPath, defaultPath;
    // Both are named and do not name one place (places.h).
    bool moved;
    FolderMove movedTo;
};

struct KnownFolderList {
    KnownFolder *folders;
    size_t count;
};

// The platform's second entry: every folder that the known-folder manager
// lists, each id once, in the manager's order; a folder whose definition
// cannot be read is left out. A virtual folder has no path, whatever the
// manager says. Empty where there is no manager. `paths` says which paths
// are asked for, each a question to the platform; those not asked for are
// empty. WHERE_MOVED, with the second, tells where each moved folder is.
// PER_USER_ONLY lists the per-user folders alone, asking nothing of the
// others. The list holds its texts until ForgetKnownFolders.
enum KnownFolderPaths {
    PATH_FOUND = 1,
    PATHS_NOW_AND_BY_DEFAULT = 2,
    WHERE_MOVED = 4,
    PER_USER_ONLY = 16
};
void ListKnownFolders(KnownFolderList *list, int paths);
void ForgetKnownFolders(KnownFolderList *list);

// The order in which they are shown: by name, byte by byte with a to z read
// as A to Z; equal names by the id's text.
bool ComesBefore(const KnownFolder *a, const KnownFolder *b);
void SortKnownFolders(KnownFolderList *list);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, as the platform
// writes a GUID.
const size_t GUID_TEXT_LENGTH = 38;
void FormatFolderGuid(const FolderGuid *guid, char text[GUID_TEXT_LENGTH]);

// Writes text.length bytes to out.
void UpperCaseAscii(Text text, char *out);
FolderId KeywordToFolderId(Text keyword);
// The GUID of a known folder's id; null for any other id.
const FolderGuid *KnownFolderGuid(FolderId id);

// Words that name a folder outside the keyword table. Each recogniser reads
// the word alone and says whether it has the form:
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in hex digits of either case;
// "shell:" in any case and a name of at least one byte; "csidl:" in any case
// and a number from 0 to 255 in decimal, or in hex after "0x".
bool ParseFolderGuid(Text word, FolderGuid *guid);
bool ParseShellName(Text word, Text *name);
bool ParseCsidl(Text word, FolderId *id);
// A word of one of those forms names a folder when the platform knows it;
// then its path, or the empty text, is in *path.
bool GetNamedFolderPath(Text word, PathText *path, FolderOption option = OPTION_NONE);

// The question a keyword, or a word of one of those forms, asks; false for
// any other word.
bool QueryOfWord(Text word, FolderOption option, FolderQuery *query);

// Each of these leaves a path or the empty text in *path, never an error.
void GetFolderPath(FolderId id, PathText *path, FolderOption option = OPTION_NONE);
// Windows: a known folder's path, with the query taken from this library
// (shell32), which may lack it.
void GetKnownFolderPathFrom(void *library, const FolderGuid *guid, PathText *path,
                            FolderOption option = OPTION_NONE);

// Changes *path into the form the program prints.
void WithTrailingDelimiter(PathText *path);

#endif
