// Every profile on this machine: which profiles are users', their order,
// and a folder's path read from a user's own registry as the shell reads
// it. The rules here need no platform; profiles_win32.cpp reads the
// profile list and the hives, profiles_posix.cpp answers for the one user.
#ifndef KORVANE_PROFILES_H
#define KORVANE_PROFILES_H

#include "../folders/folders.h"
#include "../folders/problems.h"
#include "hives.h"

// A user's SID, in decimal parts: "S-1-5-21-..." (local and domain
// accounts) or "S-1-12-1-..." (Entra ID accounts). Never a system or
// service account's, nor a name that is no SID (a ".bak" copy).
bool IsUserSid(Text name);

// By profile folder, as `order` compares two texts (below 0, 0, above 0:
// the platform's ordinal comparison ignoring case); the Default profile
// last.
bool ProfileComesBefore(Text folder, bool isDefault, Text otherFolder, bool otherIsDefault,
                        int (*order)(Text, Text));

// Variables as a logon sets them, in layers, the first that has a name
// winning: "NAME=value" entries, whose values may name others.
struct VariableLayer {
    const Text *entries;
    size_t count;
};

// Each %NAME% replaced, the name in any letter case, and the value's own
// %NAME% too (a few levels deep). False, and no path, where a name is in
// no layer, the text does not fit, or it names more than a few dozen
// variables in all, however nested: nothing is guessed, and the work stays
// linear in the values read.
bool ExpandVariables(Text value, const VariableLayer *layers, size_t layerCount, PathText *out);
// The names every expansion has looked up so far: the work, as tests count it.
extern size_t VariablesLookedUp;

// A known folder and those above it, the folder first: each with its
// value in the user's shell folders, where it has one, and its path below
// the folder above it. A value that is no text that fits is empty.
struct FolderLink {
    bool hasValue;
    Text value;
    Text relativePath;
};

// The folder's path for the user: the first value met up the chain,
// expanded, with the relative paths of the links below it; where no link
// has a value and the chain ends at the profile folder, under that. The
// default (`ownValueIgnored`) lies under the parent's current place. A
// value that expands to nothing names no place, and nothing below it.
bool PathFromChain(const FolderLink *links, size_t count, bool endsAtProfile, Text profile,
                   const VariableLayer *layers, size_t layerCount, bool ownValueIgnored,
                   PathText *out);

// The name under which the shell keeps a folder's place: its canonical
// name where it has one of the shell ids that Windows defines (Desktop,
// Personal, My Pictures, ...; none above COMPUTERSNEARME, 0x3D), else its
// id in braces. Wine's manager gives Downloads and a few others ids of its
// own above that, yet keeps their places under their ids too.
void ShellFolderValueName(Text canonicalName, int shellId, const FolderGuid *id, PathText *out);

// The folders whose places a logon puts in variables: the variable, the
// folder's value name in the user's shell folders, and its default below
// the profile folder.
struct LogonFolder {
    const char *variable, *valueName, *relativePath;
};
const size_t LOGON_FOLDER_COUNT = 2;
extern const LogonFolder LogonFolders[LOGON_FOLDER_COUNT];

// What a logon sets from a user's own registry, in `out` as "NAME=value":
// APPDATA and LOCALAPPDATA, each from its folder's value in `values` (in
// LogonFolders' order), expanded over the layers, else under the profile;
// USERDOMAIN, the account's domain. One that cannot be named is not set.
// How many are set.
size_t LogonVariables(const FolderLink values[LOGON_FOLDER_COUNT], Text profile, Text domain,
                      const VariableLayer *layers, size_t layerCount,
                      PathText out[LOGON_FOLDER_COUNT + 1]);

// The temporary directory in the temporary-path query's order over these
// variables: TMP, TEMP, USERPROFILE, then `windows`.
bool TempPathFrom(const VariableLayer *layers, size_t layerCount, Text windows, PathText *out);

// A profile's answers for one folder. A profile whose registry cannot be
// read has none: not `answered`, and no paths.
struct ProfileAnswer {
    Text user; // DOMAIN\name; empty where the account has no name
    Text sid;  // empty for the Default profile
    Text profile;
    bool signedIn, answered;
    Text path, defaultPath;
    bool moved;
    FolderMove movedTo;
};

// A key under HKEY_USERS that stays loaded: an unload failed, however
// often it was tried.
struct HiveLeftLoaded {
    char name[HIVE_NAME_CAPACITY];
    size_t length;
};
const size_t MOST_HIVES_LEFT_TOLD = 8;

// One user's folders that their shell folders can move, in /known's order,
// and every problem found in them.
struct UserProblems {
    CheckedFolder *folders;
    size_t folderCount;
    FoundProblem *problems;
    size_t problemCount;
};

struct ProfileAnswers {
    ProfileAnswer *answers;
    // With FOLDER_PROBLEMS, each answer's problems, in the same order.
    UserProblems *problems;
    size_t count;
    // The first failed unload's error number, 0 for none, and the first
    // keys that stay loaded.
    uint32_t unloadError;
    size_t leftLoadedCount;
    HiveLeftLoaded leftLoaded[MOST_HIVES_LEFT_TOLD];
    // Asked to stop: what was loaded is unloaded, and answers are missing.
    bool stopped;
};

// The platform's (profiles_win32.cpp, profiles_posix.cpp): every profile
// whose folder exists, in their order, each answered for its own user:
// the caller's own as a lookup, a signed-in user's with their token where
// the caller may take it, any other from their registry, read whole
// before any of their paths is looked at. `paths` as ListKnownFolders
// takes it. Console events are held only from each load to its unload
// and while ended runs' keys are unloaded (at any other moment, a network
// time-out included, one ends the run at once); `stopping` is asked before
// each profile and each load, and after each unload: once it says so, no
// more are loaded. Every hive it loads is unloaded, or told, before it
// returns. False where the query names no
// folder (NamesAFolder). The answers hold their texts until
// ForgetProfiles.
// With FOLDER_PROBLEMS in `paths` the query is not asked: each profile's
// folders are checked instead, from what was read while the hive was
// loaded, never a path looked at meanwhile.
const int FOLDER_PROBLEMS = 8;
bool AskEveryProfile(const FolderQuery *query, int paths, bool (*stopping)(),
                     ProfileAnswers *answers);
void ForgetProfiles(ProfileAnswers *answers);

// The problems of the folders of whoever the thread answers for (the
// caller, or the signed-in user), as a lookup finds them; their texts
// until ForgetUserProblems. Another profile's folder is foreign to them.
void CheckOwnFolders(UserProblems *problems);
void ForgetUserProblems(UserProblems *problems);

#endif
