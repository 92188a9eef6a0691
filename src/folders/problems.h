// What is wrong with a user's folders: the rules that give a folder its
// problem words from its place, its default, the user's OneDrive roots,
// the other profiles' folders and what the disk answered. They need no
// platform; problems_win32.cpp asks the disk, each server within the
// run's time limit.
#ifndef KORVANE_PROBLEMS_H
#define KORVANE_PROBLEMS_H

#include "folders.h"

// In the order in which a folder's lines are written.
enum ProblemWord {
    PROBLEM_MISSING,
    PROBLEM_UNREACHABLE,
    PROBLEM_UNLINKED,
    PROBLEM_SHARED,
    PROBLEM_ROOT,
    PROBLEM_FOREIGN,
    PROBLEM_UNTOLD,
    PROBLEM_TWIN,
    PROBLEM_WORD_COUNT
};
extern const char *const ProblemWords[PROBLEM_WORD_COUNT];

// What the disk said of a place: there; not there (the share answered);
// refused (SYSTEM is often refused a share: no problem); no answer, or
// any other failure, from a share or a drive the platform calls remote.
enum DiskAnswer { DISK_FOUND, DISK_NOT_FOUND, DISK_DENIED, DISK_UNREACHABLE };

// A folder that the user's shell folders can move. `place` is the path made
// full, tidy and, off the network, in long names (places.h), so that two
// places compare as texts; empty where korvane cannot tell it (a variable
// the user lacks). `secondPlace` likewise, for a folder's second value,
// empty where there is none.
struct CheckedFolder {
    Text name;
    FolderGuid id;
    Text path, defaultPath, place;
    bool moved;
    FolderMove movedTo;
    Text secondPath, secondPlace;
    DiskAnswer disk;
};

// The second value under which Windows 10 and 11 keep the folder's place
// too ("{F42EE2D3-...}" for Documents), or null for a folder that has none.
const char *SecondValueName(const FolderGuid *id);
// Desktop, Documents, Downloads, Music, Pictures, Videos, Favorites,
// AppData and Local AppData: every profile has them, moved or not.
bool EveryProfileHas(const FolderGuid *id);

// The user's own places, tidy as a folder's: their profile folder, the
// Windows folder, and every other profile's folder (the Default and Public
// ones too).
struct UserPlaces {
    Text profile, windows;
    const Text *others;
    size_t otherCount;
};

// A problem: the folder's index, its word, and for `shared` the other
// folder's name, for `twin` the second value's path, for `foreign` the
// other profile's folder; else empty.
struct FoundProblem {
    size_t folder;
    ProblemWord word;
    Text other;
};

// Every problem of these folders, in their order and each folder's in the
// words' order, at most one of each word a folder; a folder that is
// unreachable or untold has that line alone, and one that is a root or
// foreign is not missing as well. `same` compares two places as the
// platform compares paths. At most `capacity` are kept; how many.
size_t FindProblems(const CheckedFolder *folders, size_t count, const UserPlaces *user,
                    bool (*same)(Text, Text), FoundProblem *found, size_t capacity);

// The platform's (problems_win32.cpp). What the disk says of each folder's
// place, never opening anything inside it: a share is asked while the
// run's 5 seconds of waiting on the network last, and a server that has
// not answered once is not asked again.
void AskDiskOfFolders(CheckedFolder *folders, size_t count);

#endif
