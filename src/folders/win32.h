// What the Windows sides of the folders share, and the users' with them:
// UTF-8 to UTF-16 and back, libraries loaded from the system folder alone,
// and the token that every question carries.
#ifndef KORVANE_WIN32_H
#define KORVANE_WIN32_H

#include <windows.h>
#include "folders.h"

const DWORD LONGEST_PATH = 32767;

// The text in UTF-16, ended by a zero; its units, 0 for none (a longer
// text than a path converts to none).
int ToWide(Text text, wchar_t wide[LONGEST_PATH + 1]);
// Any text of LONGEST_PATH units fits; one that does not convert is empty.
void ToUtf8(const wchar_t *wide, DWORD length, PathText *text);
// The units before the first zero, within `limit`: a string that the
// registry or the shell hands over may have no terminator, or one early.
DWORD WideLength(const wchar_t *wide, DWORD limit);
// Alike but for letter case, by the platform's own table, as it compares
// paths and account names.
bool SameTextIgnoringCase(Text a, Text b);
// The shell's allocator: what the shell hands over goes back to it, and the
// program takes its own blocks from it too, so that no other import is
// needed. Null where it has no memory.
void *AllocateShellMemory(size_t size);
void FreeShellMemory(void *memory);
// From the system folder alone, never the program's or the current one.
HMODULE LoadSystemLibrary(const wchar_t *name);

// The signed-in user's token while the program answers for that user (the
// thread then is that user); null for the caller's own folders.
extern HANDLE UserToken;
// An environment variable of the user answered for, in a value of `size`
// units; its length, 0 where it is unset, empty or does not fit. Another
// user's comes from that user's own environment, where one that comes back
// as the unexpanded %NAME% is unset.
DWORD UserVariable(const wchar_t *name, wchar_t *value, DWORD size);

// A known folder and those above it, as the manager defines them, the
// folder first: each one's canonical name, id, shell id (-1 for none), and
// its path below the one above. The chain ends at the profile folder,
// or at a folder with no parent.
const size_t DEEPEST_CHAIN = 8;
struct DefinedFolder {
    Text name;
    FolderGuid id;
    int shellId;
    Text relativePath;
};
struct FolderChain {
    FolderCategory category; // the folder's own
    bool isProfile, endsAtProfile;
    size_t count;
    DefinedFolder links[DEEPEST_CHAIN];
    char bytes[16 * 1024];
};
// False where the query names no known folder, or its chain is longer.
bool ChainOfFolder(const FolderQuery *query, FolderChain *chain);
// The chain of every per-user folder the manager lists, in its order, each
// once, at most `capacity`: how many. The folder's own name and id are its
// first link's.
size_t ChainsOfPerUserFolders(FolderChain *chains, size_t capacity);

// For WhereMoved, the places of a user whose registry is read, not the
// thread's: the OneDrive roots in their variables' values, as their logon
// would set them, and in their accounts' keys, and the drives they mapped
// to shares. Only the registry is read: nothing asks the file system.
void FindPlacesOf(HKEY user, const Text *variables, size_t count);

// Ordinal, ignoring letter case by the platform's table: below 0, 0 or
// above 0.
int CompareTextIgnoringCase(Text a, Text b);

#endif
