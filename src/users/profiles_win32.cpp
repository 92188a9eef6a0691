// Every profile of this machine, each answered for its own user: the
// profile list, and each user's own registry, read whole while their hive
// is open (loaded for it where it is not, hives_win32.cpp); only then are
// their folders looked at, so that a share out of reach never keeps a
// hive loaded. Nothing is written to any registry. Uses:
// GetFileAttributesW, GetWindowsDirectoryW, GetEnvironmentVariableW,
// GetCurrentProcess, LocalFree, CloseHandle, and advapi32's calls
// (win32.h).
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include "../folders/places.h"
#include "profiles.h"
#include "session.h"
#include "win32.h"

static const wchar_t *const PROFILE_LIST =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
static const wchar_t *const SHELL_FOLDERS =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

static wchar_t Wide[LONGEST_PATH + 1], OtherWide[LONGEST_PATH + 1];

// The texts of one run: the profiles, the variables, the answers' copies
// are made from here, and it is big enough for any machine's list.
static char Bytes[1024 * 1024];
static size_t BytesUsed;

static bool Keep(Text text, Text *kept) {
    if (text.length > sizeof Bytes - BytesUsed)
        return false;
    memcpy(Bytes + BytesUsed, text.bytes, text.length);
    *kept = Text{Bytes + BytesUsed, text.length};
    BytesUsed += text.length;
    return true;
}

static bool KeepWide(const wchar_t *wide, DWORD length, Text *kept) {
    static PathText text;
    ToUtf8(wide, length, &text);
    return (length == 0 || text.length > 0) && Keep(TextOfPath(&text), kept);
}

static bool IsFolder(const wchar_t *path) {
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static bool IsFolderText(Text path) {
    return ToWide(path, Wide) > 0 && IsFolder(Wide);
}

struct ListedProfile {
    Text sid, folder;
    bool isDefault;
};

static ListedProfile Listed[4096];
static size_t ListedCount;

// The profile folder as ProfileList names it, expanded; a profile whose
// folder is not there is none.
static bool KeepProfile(HKEY list, const wchar_t *subkey, const wchar_t *value, Text sid,
                        size_t *count) {
    DWORD size = sizeof Wide;
    ListedProfile *profile = &Listed[*count];
    if (*count == sizeof Listed / sizeof Listed[0] ||
        Registry.QueryValue(list, subkey, value, RRF_RT_REG_SZ, nullptr, Wide, &size) !=
            ERROR_SUCCESS ||
        WideLength(Wide, size / sizeof(wchar_t)) == 0 || !IsFolder(Wide) ||
        !KeepWide(Wide, WideLength(Wide, size / sizeof(wchar_t)), &profile->folder))
        return false;
    profile->sid = sid;
    profile->isDefault = subkey == nullptr;
    (*count)++;
    return true;
}

static size_t ReadProfileList() {
    HKEY list;
    size_t count = 0;
    if (Registry.OpenKey(HKEY_LOCAL_MACHINE, PROFILE_LIST, 0, KEY_READ, &list) != ERROR_SUCCESS)
        return 0;
    wchar_t name[256];
    DWORD length = 256;
    LONG read;
    for (DWORD i = 0; (read = Registry.EnumerateKeys(list, i, name, &length, nullptr, nullptr,
                                                     nullptr, nullptr)) == ERROR_SUCCESS ||
                      read == ERROR_MORE_DATA;
         i++, length = 256) {
        Text sid;
        size_t mark = BytesUsed;
        if (read != ERROR_SUCCESS || !KeepWide(name, length, &sid) || !IsUserSid(sid) ||
            !KeepProfile(list, name, L"ProfileImagePath", sid, &count))
            BytesUsed = mark;
    }
    KeepProfile(list, nullptr, L"Default", Text{"", 0}, &count);
    Registry.CloseKey(list);
    for (size_t i = 1; i < count; i++) {
        ListedProfile profile = Listed[i];
        size_t at = i;
        for (;
             at > 0 && ProfileComesBefore(profile.folder, profile.isDefault, Listed[at - 1].folder,
                                          Listed[at - 1].isDefault, CompareTextIgnoringCase);
             at--)
            Listed[at] = Listed[at - 1];
        Listed[at] = profile;
    }
    return count;
}

// DOMAIN\name of a SID, and the name and domain apart; false where the
// SID names no account.
static bool NameAccount(PSID sid, Text *user, Text *name, Text *domain) {
    static wchar_t account[256 + 1], accountDomain[256 + 1];
    DWORD nameSize = 256 + 1, domainSize = 256 + 1;
    SID_NAME_USE use;
    if (!Registry.NameSid(nullptr, sid, account, &nameSize, accountDomain, &domainSize, &use) ||
        !KeepWide(accountDomain, DWORD(wcslen(accountDomain)), domain) ||
        !KeepWide(account, DWORD(wcslen(account)), name))
        return false;
    size_t at = BytesUsed;
    Text separator = TextOf("\\"), kept;
    return (domain->length == 0 || Keep(*domain, &kept)) &&
           (domain->length == 0 || Keep(separator, &kept)) && Keep(*name, &kept) &&
           (*user = Text{Bytes + at, BytesUsed - at}, true);
}

// The SID of a token's user, as ProfileList writes it.
static bool SidOfToken(HANDLE token, Text *sid) {
    static BYTE user[1024];
    DWORD bytes;
    wchar_t *text = nullptr;
    bool named = Registry.QueryToken(token, TokenUser, user, sizeof user, &bytes) &&
                 Registry.WriteSid(((TOKEN_USER *)user)->User.Sid, &text) &&
                 KeepWide(text, DWORD(wcslen(text)), sid);
    if (text != nullptr)
        LocalFree(text);
    return named;
}

static Text OwnSid;

static void FindOwnSid() {
    HANDLE token = nullptr;
    OwnSid.length = 0;
    if (Registry.OpenToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        SidOfToken(token, &OwnSid);
        CloseHandle(token);
    }
}

// Variables, as a logon sets them, in layers, the first that has a name
// winning: the profile's own; the user's volatile ones, which a signed-in
// user's logon wrote; the user's; those a logon sets from the user's
// folders and account; the machine's; and the machine-wide names that a
// logon takes from elsewhere, which the program's own environment has.
static Text Entries[4096];
static size_t EntryCount;
enum { OWN, VOLATILE, USERS, LOGON, MACHINE, PROCESS, LAYER_COUNT };
static VariableLayer Layers[LAYER_COUNT];

static bool KeepEntry(const wchar_t *name, Text value) {
    Text kept, rest;
    size_t at = BytesUsed;
    if (EntryCount == sizeof Entries / sizeof Entries[0] ||
        !KeepWide(name, DWORD(wcslen(name)), &kept) || !Keep(TextOf("="), &rest) ||
        !Keep(value, &rest))
        return false;
    Entries[EntryCount++] = Text{Bytes + at, BytesUsed - at};
    return true;
}

// A value read whole into Wide, `size` bytes that the read reported: a
// string's text up to its first zero, whatever its byte count and whether
// or not it ends in one. False for any other type, or a text that does
// not convert.
static bool TextOfValue(DWORD type, DWORD size, PathText *text) {
    DWORD units = WideLength(Wide, size / sizeof(wchar_t));
    text->length = 0;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return false;
    ToUtf8(Wide, units, text);
    return units == 0 || text->length > 0;
}

// Each variable of the key. Sizes come only from reads that succeeded: a
// value too large for the buffer, or of another type, is no variable.
static void KeepKeyVariables(HKEY key, const wchar_t *subkey, size_t layer) {
    HKEY variables;
    size_t start = EntryCount;
    if (Registry.OpenKey(key, subkey, 0, KEY_READ, &variables) == ERROR_SUCCESS) {
        static wchar_t name[16384];
        static PathText value;
        for (DWORD i = 0;; i++) {
            DWORD nameLength = 16384, size = sizeof Wide - sizeof(wchar_t), type;
            LONG read = Registry.EnumerateValues(variables, i, name, &nameLength, nullptr, &type,
                                                 (BYTE *)Wide, &size);
            if (read != ERROR_SUCCESS && read != ERROR_MORE_DATA)
                break;
            if (read == ERROR_SUCCESS && nameLength > 0 && TextOfValue(type, size, &value))
                KeepEntry(name, TextOfPath(&value));
        }
        Registry.CloseKey(variables);
    }
    Layers[layer] = {Entries + start, EntryCount - start};
}

static void KeepProcessVariables() {
    static const wchar_t *const names[] = {
        L"SystemRoot",
        L"SystemDrive",
        L"windir",
        L"ProgramData",
        L"ProgramFiles",
        L"ProgramFiles(x86)",
        L"ProgramW6432",
        L"CommonProgramFiles",
        L"CommonProgramFiles(x86)",
        L"CommonProgramW6432",
        L"PUBLIC",
        L"ALLUSERSPROFILE",
        L"COMPUTERNAME",
    };
    size_t start = EntryCount;
    for (const wchar_t *name : names) {
        DWORD length = GetEnvironmentVariableW(name, Wide, LONGEST_PATH + 1);
        static PathText value;
        ToUtf8(Wide, length, &value);
        if (length > 0 && length <= LONGEST_PATH)
            KeepEntry(name, TextOfPath(&value));
    }
    Layers[PROCESS] = {Entries + start, EntryCount - start};
}

// A folder's value in the user's shell folders: none, its text, or, for a
// value that is no text that fits, an empty one, which names no place:
// nothing is guessed from it.
static void ReadFolderValue(HKEY folders, Text name, FolderLink *link) {
    static PathText value;
    DWORD type, size = sizeof Wide - sizeof(wchar_t);
    LONG read = folders != nullptr && ToWide(name, OtherWide) > 0
                    ? Registry.ReadValue(folders, OtherWide, nullptr, &type, (BYTE *)Wide, &size)
                    : LONG(ERROR_FILE_NOT_FOUND);
    link->hasValue = read != ERROR_FILE_NOT_FOUND;
    link->value = Text{"", 0};
    if (read == ERROR_SUCCESS && TextOfValue(type, size, &value))
        Keep(TextOfPath(&value), &link->value);
}

// A place the answers hold: paths found, and where each folder is now and
// by default.
struct Found {
    PathText path, now, byDefault;
    bool moved;
    FolderMove movedTo;
};

static void Settle(Found *found, int paths) {
    found->moved = found->now.length > 0 && found->byDefault.length > 0 &&
                   !NameOnePlace(TextOfPath(&found->now), TextOfPath(&found->byDefault));
    found->movedTo =
        found->moved && (paths & WHERE_MOVED) ? WhereMoved(TextOfPath(&found->now)) : MOVE_UNTOLD;
}

// As a lookup asks, for whoever the thread is now.
static void AskAsLookup(const FolderQuery *query, int paths, Found *found) {
    FolderQuery asked = *query;
    AskPlatformForFolder(&asked, &found->path);
    found->now.length = found->byDefault.length = 0;
    if (paths & PATHS_NOW_AND_BY_DEFAULT) {
        asked.option = OPTION_NOVERIFY;
        AskPlatformForFolder(&asked, &found->now);
        asked.option = OPTION_DEFAULT;
        AskPlatformForFolder(&asked, &found->byDefault);
    }
    if (paths & WHERE_MOVED)
        FindOneDriveRoots();
    Settle(found, paths);
}

static FolderChain Chain;
static FolderLink Links[DEEPEST_CHAIN];

// With FOLDER_PROBLEMS, every folder the user's shell folders can move:
// its chain, whose first link is the folder itself, in /known's order, and
// for each profile the values up its chain and its second value.
const size_t MOST_CHECKED = 160;
static FolderChain Chains[MOST_CHECKED];
static size_t CheckedChain[MOST_CHECKED];
static size_t CheckedKinds;

static const DefinedFolder *CheckedFolderOf(size_t i) {
    return &Chains[CheckedChain[i]].links[0];
}
static FolderLink ChainLinks[MOST_CHECKED][DEEPEST_CHAIN], Seconds[MOST_CHECKED];

// Whether a text to be expanded names a variable that a logon sets from
// the user's folders.
static bool NamesLogonFolder(Text text) {
    for (size_t at = 0; at < text.length; at++)
        for (const LogonFolder &folder : LogonFolders) {
            size_t length = strlen(folder.variable);
            if (text.bytes[at] == '%' && length + 1 < text.length - at &&
                text.bytes[at + length + 1] == '%' &&
                SpellsInAnyCase(Text{text.bytes + at + 1, length}, folder.variable))
                return true;
        }
    return false;
}

// Their variables are set only where some value may expand through them,
// which spares two reads for each profile of most machines.
static bool NeedsLogonFolders(size_t chainLength, bool problems) {
    for (size_t i = 0; i < chainLength; i++)
        if (NamesLogonFolder(Links[i].value))
            return true;
    for (size_t i = 0; problems && i < CheckedKinds; i++) {
        for (size_t j = 0; j < Chains[CheckedChain[i]].count; j++)
            if (NamesLogonFolder(ChainLinks[i][j].value))
                return true;
        if (NamesLogonFolder(Seconds[i].value))
            return true;
    }
    for (size_t layer = 0; layer < LAYER_COUNT; layer++)
        for (size_t i = 0; i < Layers[layer].count; i++)
            if (NamesLogonFolder(Layers[layer].entries[i]))
                return true;
    return false;
}

// Every value of a user's shell folders, read in one pass where all their
// folders are checked: each one's name, and its text, empty for one that is
// no text that fits.
static Text ValueNames[1024], ValueTexts[1024];
static size_t ValueCount;

static void ReadEveryFolderValue(HKEY folders) {
    static wchar_t name[16384];
    static PathText value;
    ValueCount = 0;
    for (DWORD i = 0; folders != nullptr && ValueCount < 1024; i++) {
        DWORD nameLength = 16384, size = sizeof Wide - sizeof(wchar_t), type;
        LONG read = Registry.EnumerateValues(folders, i, name, &nameLength, nullptr, &type,
                                             (BYTE *)Wide, &size);
        if (read == ERROR_MORE_DATA) {
            nameLength = 16384;
            read = Registry.EnumerateValues(folders, i, name, &nameLength, nullptr, nullptr,
                                            nullptr, nullptr) == ERROR_SUCCESS
                       ? ERROR_MORE_DATA
                       : ERROR_NO_MORE_ITEMS;
        }
        if (read != ERROR_SUCCESS && read != ERROR_MORE_DATA)
            break;
        Text *text = &ValueTexts[ValueCount];
        if (!KeepWide(name, nameLength, &ValueNames[ValueCount]))
            continue;
        if (read != ERROR_SUCCESS || !TextOfValue(type, size, &value) ||
            !Keep(TextOfPath(&value), text))
            *text = Text{"", 0};
        ValueCount++;
    }
}

static void FindFolderValue(Text name, FolderLink *link) {
    link->hasValue = false;
    link->value = Text{"", 0};
    for (size_t i = 0; i < ValueCount && !link->hasValue; i++)
        if (SameTextIgnoringCase(ValueNames[i], name)) {
            link->hasValue = true;
            link->value = ValueTexts[i];
        }
}

// The values up a chain: asked one by one, or, with every value read
// already, found among them.
static void ReadChainValues(HKEY folders, const FolderChain *chain, size_t count, FolderLink *links,
                            bool readAlready) {
    for (size_t i = 0; i < count; i++) {
        static PathText valueName;
        const DefinedFolder *link = &chain->links[i];
        ShellFolderValueName(link->name, link->shellId, &link->id, &valueName);
        if (readAlready)
            FindFolderValue(TextOfPath(&valueName), &links[i]);
        else
            ReadFolderValue(folders, TextOfPath(&valueName), &links[i]);
        links[i].relativePath = link->relativePath;
    }
}

// Everything a user's answer needs from their registry, while their hive
// is open: their variables (a volatile one only in a hive that a signed-in
// user's logon loaded), the values up the folder's chain, and their
// OneDrive roots and mapped drives. Nothing here asks the file system.
static void ReadUserRegistry(HKEY hive, bool loadedNow, const ListedProfile *profile, Text name,
                             Text domain, bool chained, int paths) {
    size_t start = EntryCount;
    KeepEntry(L"USERPROFILE", profile->folder);
    if (name.length > 0)
        KeepEntry(L"USERNAME", name);
    Layers[OWN] = {Entries + start, EntryCount - start};
    Layers[VOLATILE] = {Entries + EntryCount, 0};
    if (!loadedNow)
        KeepKeyVariables(hive, L"Volatile Environment", VOLATILE);
    KeepKeyVariables(hive, L"Environment", USERS);
    Layers[LOGON] = {Entries + EntryCount, 0};
    HKEY folders;
    if (Registry.OpenKey(hive, SHELL_FOLDERS, 0, KEY_READ, &folders) != ERROR_SUCCESS)
        folders = nullptr;
    bool problems = paths & FOLDER_PROBLEMS;
    size_t chainLength = chained && Chain.category == FOLDER_PER_USER ? Chain.count : 0;
    ReadChainValues(folders, &Chain, chainLength, Links, false);
    if (problems)
        ReadEveryFolderValue(folders);
    for (size_t i = 0; problems && i < CheckedKinds; i++) {
        const FolderChain *chain = &Chains[CheckedChain[i]];
        ReadChainValues(folders, chain, chain->count, ChainLinks[i], true);
        const char *second = SecondValueName(&CheckedFolderOf(i)->id);
        Seconds[i].hasValue = false;
        if (second != nullptr)
            FindFolderValue(TextOf(second), &Seconds[i]);
    }
    // A folder whose value is not read sets nothing.
    FolderLink logon[LOGON_FOLDER_COUNT] = {{true, {"", 0}, {}}, {true, {"", 0}, {}}};
    bool needed = NeedsLogonFolders(chainLength, problems);
    for (size_t i = 0; needed && i < LOGON_FOLDER_COUNT; i++)
        ReadFolderValue(folders, TextOf(LogonFolders[i].valueName), &logon[i]);
    static PathText set[LOGON_FOLDER_COUNT + 1];
    size_t count = LogonVariables(logon, profile->folder, domain, Layers, LAYER_COUNT, set);
    start = EntryCount;
    for (size_t i = 0; i < count; i++)
        if (EntryCount < sizeof Entries / sizeof Entries[0] &&
            Keep(TextOfPath(&set[i]), &Entries[EntryCount]))
            EntryCount++;
    Layers[LOGON] = {Entries + start, EntryCount - start};
    if (folders != nullptr)
        Registry.CloseKey(folders);
    if (paths & WHERE_MOVED) {
        static const char *const names[] = {"%OneDriveCommercial%", "%OneDriveConsumer%",
                                            "%OneDrive%"};
        Text roots[3];
        size_t rootCount = 0;
        for (const char *variable : names) {
            static PathText root;
            if (ExpandVariables(TextOf(variable), Layers, LAYER_COUNT, &root) &&
                Keep(TextOfPath(&root), &roots[rootCount]))
                rootCount++;
        }
        FindPlacesOf(hive, roots, rootCount);
    }
}

// The shell's rule over what was read of the user's registry: the
// folder's value, else its default under its parent's place for this
// user, up to the profile folder. Only now is the disk asked.
static void AnswerFromRegistry(const ListedProfile *profile, const FolderQuery *query, bool chained,
                               const Found *machine, int paths, Found *found) {
    found->path.length = found->now.length = found->byDefault.length = 0;
    if (query->kind == TEMP_FOLDER) {
        UINT length = GetWindowsDirectoryW(Wide, LONGEST_PATH + 1);
        static PathText windows;
        ToUtf8(Wide, length <= LONGEST_PATH ? length : 0, &windows);
        TempPathFrom(Layers, LAYER_COUNT, TextOfPath(&windows), &found->now);
        found->byDefault = found->now;
    } else if (chained && Chain.isProfile) {
        memcpy(found->now.bytes, profile->folder.bytes, profile->folder.length);
        found->now.length = found->byDefault.length = profile->folder.length;
        memcpy(found->byDefault.bytes, profile->folder.bytes, profile->folder.length);
    } else if (chained && Chain.category == FOLDER_PER_USER) {
        PathFromChain(Links, Chain.count, Chain.endsAtProfile, profile->folder, Layers, LAYER_COUNT,
                      false, &found->now);
        PathFromChain(Links, Chain.count, Chain.endsAtProfile, profile->folder, Layers, LAYER_COUNT,
                      true, &found->byDefault);
    } else {
        // Common and fixed folders are the machine's, the same for everyone;
        // a virtual one has no path; a shell id that the manager does not
        // map has none read from a registry.
        if (chained)
            *found = *machine;
        return;
    }
    // As in a lookup, the temporary directory is never checked.
    if (query->option == OPTION_NOVERIFY || query->kind == TEMP_FOLDER ||
        IsFolderText(TextOfPath(&found->now)))
        found->path = found->now;
    Settle(found, paths);
}

// One user's checked folders and their texts are gathered here, then kept
// in one block of the shell's memory; a folder whose texts do not fit is
// left out.
static char Scratch[2 * 1024 * 1024];
static size_t ScratchUsed, CheckedCount;
static CheckedFolder Checked[MOST_CHECKED];
static FoundProblem Problems[MOST_CHECKED * PROBLEM_WORD_COUNT];

static bool Stash(Text text, Text *kept) {
    if (text.length > sizeof Scratch - ScratchUsed)
        return false;
    memcpy(Scratch + ScratchUsed, text.bytes, text.length);
    *kept = Text{Scratch + ScratchUsed, text.length};
    ScratchUsed += text.length;
    return true;
}

static bool StashPlace(Text path, Text *kept) {
    static PathText place;
    PlaceOfPath(path, &place);
    return Stash(TextOfPath(&place), kept);
}

// The profile folder itself no value moves; a folder with no default
// names no place.
static void AddChecked(Text name, const FolderGuid *id, Text now, Text byDefault, bool moved,
                       FolderMove movedTo, Text second) {
    static const FolderGuid profile = {
        0x5E6C858F, 0x0E22, 0x4760, {0x9A, 0xFE, 0xEA, 0x33, 0x17, 0xB6, 0x71, 0x73}};
    if (CheckedCount == MOST_CHECKED || byDefault.length == 0 ||
        memcmp(id, &profile, sizeof profile) == 0)
        return;
    CheckedFolder *folder = &Checked[CheckedCount];
    size_t mark = ScratchUsed;
    folder->id = *id;
    folder->moved = moved;
    folder->movedTo = movedTo;
    folder->disk = DISK_FOUND;
    folder->secondPath = folder->secondPlace = Text{"", 0};
    if (Stash(name, &folder->name) && Stash(now, &folder->path) &&
        Stash(byDefault, &folder->defaultPath) && StashPlace(now, &folder->place) &&
        (second.length == 0 ||
         (Stash(second, &folder->secondPath) && StashPlace(second, &folder->secondPlace))))
        CheckedCount++;
    else
        ScratchUsed = mark;
}

static Text Rebased(Text text, char *block) {
    bool inside = text.bytes >= Scratch && text.bytes <= Scratch + ScratchUsed;
    return inside ? Text{block + (text.bytes - Scratch), text.length} : text;
}

// Every profile's folder, the Default one's and the Public folder, and the
// Windows folder, as places: found once for a run, as the disk answers.
static char PlaceBytes[256 * 1024];
static Text ProfilePlaces[4096 + 1], WindowsPlace;
static size_t ProfilePlaceCount;

static bool KeepPlace(Text path, Text *kept, size_t *used) {
    static PathText place;
    PlaceOfPath(path, &place);
    if (place.length == 0 || place.length > sizeof PlaceBytes - *used)
        return false;
    memcpy(PlaceBytes + *used, place.bytes, place.length);
    *kept = Text{PlaceBytes + *used, place.length};
    *used += place.length;
    return true;
}

static void FindProfilePlaces() {
    static PathText path;
    size_t used = 0;
    ProfilePlaceCount = 0;
    for (size_t i = 0; i < ListedCount; i++)
        ProfilePlaceCount += KeepPlace(Listed[i].folder, &ProfilePlaces[ProfilePlaceCount], &used);
    GetFolderPath(KeywordToFolderId(TextOf("PUBLIC")), &path, OPTION_NOVERIFY);
    ProfilePlaceCount += KeepPlace(TextOfPath(&path), &ProfilePlaces[ProfilePlaceCount], &used);
    UINT length = GetSystemWindowsDirectoryW(Wide, LONGEST_PATH + 1);
    ToUtf8(Wide, length <= LONGEST_PATH ? length : 0, &path);
    WindowsPlace = Text{"", 0};
    KeepPlace(TextOfPath(&path), &WindowsPlace, &used);
}

// The disk is asked, the problems found, and everything kept in one block.
static void FinishChecking(Text profile, UserProblems *problems) {
    static Text others[4096 + 1];
    *problems = {};
    UserPlaces user = {Text{"", 0}, WindowsPlace, others, 0};
    StashPlace(profile, &user.profile);
    for (size_t i = 0; i < ProfilePlaceCount; i++)
        if (!SameTextIgnoringCase(ProfilePlaces[i], user.profile))
            others[user.otherCount++] = ProfilePlaces[i];
    AskDiskOfFolders(Checked, CheckedCount);
    size_t found = FindProblems(Checked, CheckedCount, &user, SameTextIgnoringCase, Problems,
                                sizeof Problems / sizeof Problems[0]);
    // Another profile's folder is the run's; the answer keeps its own copy.
    for (size_t i = 0; i < found; i++)
        if (Problems[i].word == PROBLEM_FOREIGN && !Stash(Problems[i].other, &Problems[i].other))
            Problems[i].other = Text{"", 0};
    size_t folderBytes = CheckedCount * sizeof(CheckedFolder),
           problemBytes = found * sizeof(FoundProblem);
    char *block = (char *)AllocateShellMemory(folderBytes + problemBytes + ScratchUsed + 1);
    if (block == nullptr)
        return;
    char *texts = block + folderBytes + problemBytes;
    memcpy(texts, Scratch, ScratchUsed);
    problems->folders = (CheckedFolder *)block;
    problems->problems = (FoundProblem *)(block + folderBytes);
    for (size_t i = 0; i < CheckedCount; i++) {
        CheckedFolder *folder = &problems->folders[i];
        *folder = Checked[i];
        Text *kept[] = {&folder->name,  &folder->path,       &folder->defaultPath,
                        &folder->place, &folder->secondPath, &folder->secondPlace};
        for (Text *text : kept)
            *text = Rebased(*text, texts);
    }
    for (size_t i = 0; i < found; i++) {
        problems->problems[i] = Problems[i];
        problems->problems[i].other = Rebased(Problems[i].other, texts);
    }
    problems->folderCount = CheckedCount;
    problems->problemCount = found;
}

// A value as the user the thread is would see it expanded: the caller's
// variables, or the signed-in user's own. One that names a variable the
// user lacks, does not fit, or names more than a real value does (each
// name costs the user's whole environment), is no place.
static void ExpandForThread(const wchar_t *value, PathText *expanded) {
    static wchar_t out[LONGEST_PATH + 1], name[256];
    DWORD used = 0;
    int namesLeft = 16;
    bool whole = true;
    for (const wchar_t *at = value; *at != 0 && whole;) {
        const wchar_t *close = at[0] == L'%' ? wcschr(at + 1, L'%') : nullptr;
        if (close != nullptr && close > at + 1 && close - at - 1 < 256) {
            whole = namesLeft-- > 0;
            memcpy(name, at + 1, (close - at - 1) * sizeof(wchar_t));
            name[close - at - 1] = 0;
            DWORD length = whole ? UserVariable(name, out + used, LONGEST_PATH + 1 - used) : 0;
            whole = length > 0;
            used += length;
            at = close + 1;
        } else if ((whole = used < LONGEST_PATH)) {
            out[used++] = *at++;
        }
    }
    expanded->length = 0;
    if (whole)
        ToUtf8(out, used, expanded);
}

// The folders of whoever the thread answers for, as a lookup finds them,
// the profile list read already.
static void CheckThreadsFolders(UserProblems *problems) {
    KnownFolderList list;
    static PathText profile, second;
    ListKnownFolders(&list, PATHS_NOW_AND_BY_DEFAULT | WHERE_MOVED | PER_USER_ONLY);
    SortKnownFolders(&list);
    GetFolderPath(KeywordToFolderId(TextOf("PROFILE")), &profile, OPTION_NOVERIFY);
    ScratchUsed = CheckedCount = 0;
    HKEY user = nullptr, folders = nullptr;
    if (Registry.OpenCurrentUser(KEY_READ, &user) != ERROR_SUCCESS)
        user = nullptr;
    if (user == nullptr ||
        Registry.OpenKey(user, SHELL_FOLDERS, 0, KEY_READ, &folders) != ERROR_SUCCESS)
        folders = nullptr;
    for (size_t i = 0; i < list.count; i++) {
        const KnownFolder *folder = &list.folders[i];
        const char *name = SecondValueName(&folder->id);
        DWORD size = sizeof Wide - sizeof(wchar_t);
        second.length = 0;
        if (name != nullptr && folders != nullptr && ToWide(TextOf(name), OtherWide) > 0 &&
            Registry.QueryValue(folders, nullptr, OtherWide,
                                RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, Wide,
                                &size) == ERROR_SUCCESS)
            ExpandForThread(Wide, &second);
        AddChecked(folder->name, &folder->id, folder->unverifiedPath, folder->defaultPath,
                   folder->moved, folder->movedTo, TextOfPath(&second));
    }
    if (folders != nullptr)
        Registry.CloseKey(folders);
    if (user != nullptr)
        Registry.CloseKey(user);
    ForgetKnownFolders(&list);
    FinishChecking(TextOfPath(&profile), problems);
}

void CheckOwnFolders(UserProblems *problems) {
    *problems = {};
    BytesUsed = ListedCount = 0;
    if (!LoadRegistryCalls())
        return;
    ListedCount = ReadProfileList();
    FindProfilePlaces();
    CheckThreadsFolders(problems);
    FreeRegistryCalls();
}

void ForgetUserProblems(UserProblems *problems) {
    FreeShellMemory(problems->folders);
    *problems = {};
}

// A profile's folders from what was read of their registry, by the
// shell's rule, once the hive is unloaded.
static void CheckFromRegistry(const ListedProfile *profile, UserProblems *problems) {
    static PathText now, byDefault, second;
    ScratchUsed = CheckedCount = 0;
    for (size_t i = 0; i < CheckedKinds; i++) {
        const FolderChain *chain = &Chains[CheckedChain[i]];
        PathFromChain(ChainLinks[i], chain->count, chain->endsAtProfile, profile->folder, Layers,
                      LAYER_COUNT, false, &now);
        PathFromChain(ChainLinks[i], chain->count, chain->endsAtProfile, profile->folder, Layers,
                      LAYER_COUNT, true, &byDefault);
        bool moved = now.length > 0 && byDefault.length > 0 &&
                     !NameOnePlace(TextOfPath(&now), TextOfPath(&byDefault));
        second.length = 0;
        if (Seconds[i].hasValue)
            ExpandVariables(Seconds[i].value, Layers, LAYER_COUNT, &second);
        AddChecked(CheckedFolderOf(i)->name, &CheckedFolderOf(i)->id, TextOfPath(&now),
                   TextOfPath(&byDefault), moved,
                   moved ? WhereMoved(TextOfPath(&now)) : MOVE_UNTOLD, TextOfPath(&second));
    }
    FinishChecking(profile->folder, problems);
}

// The machine's definitions of the folders to check, once for a run.
static void FindFoldersToCheck() {
    size_t count = ChainsOfPerUserFolders(Chains, MOST_CHECKED);
    // In /known's order.
    for (size_t i = 0; i < count; i++) {
        KnownFolder folder = {}, other = {};
        folder.name = Chains[i].links[0].name;
        folder.id = Chains[i].links[0].id;
        size_t at = i;
        for (; at > 0; at--) {
            const FolderChain *before = &Chains[CheckedChain[at - 1]];
            other.name = before->links[0].name;
            other.id = before->links[0].id;
            if (!ComesBefore(&folder, &other))
                break;
            CheckedChain[at] = CheckedChain[at - 1];
        }
        CheckedChain[at] = i;
    }
    CheckedKinds = count;
}

// The signed-in session of the account, if any: console or listed, active
// or not.
static bool FindSession(Text name, Text domain, const SessionUser *sessions, size_t count,
                        DWORD *session) {
    for (size_t i = 0; i < count; i++)
        if (IsSessionAccount(name, domain, sessions[i].name, sessions[i].domain,
                             SameTextIgnoringCase)) {
            *session = sessions[i].id;
            return true;
        }
    return false;
}

static void TellLeftLoaded(DWORD error, Text name, ProfileAnswers *answers) {
    if (answers->unloadError == 0)
        answers->unloadError = error;
    if (answers->leftLoadedCount == MOST_HIVES_LEFT_TOLD)
        return;
    HiveLeftLoaded *left = &answers->leftLoaded[answers->leftLoadedCount++];
    memcpy(left->name, name.bytes, name.length);
    left->length = name.length;
}

// Whose answers: the caller's own profile's are a lookup's; a signed-in
// user's are asked with their token where the caller may take it, and that
// token is the profile's user's; any other's come from their registry.
// False where the run is to stop.
static bool AnswerProfile(const ListedProfile *profile, const FolderQuery *query, bool chained,
                          const Found *own, int paths, const SessionUser *sessions,
                          size_t sessionCount, bool (*stopping)(), ProfileAnswers *answers,
                          Found *found) {
    ProfileAnswer *answer = &answers->answers[answers->count];
    Text name = {"", 0}, domain = {"", 0};
    PSID sid = nullptr;
    DWORD session = NO_SESSION;
    answer->user = Text{"", 0};
    if (!profile->isDefault && ToWide(profile->sid, Wide) > 0 && Registry.ReadSid(Wide, &sid))
        NameAccount(sid, &answer->user, &name, &domain);
    if (sid != nullptr)
        LocalFree(sid);
    answer->sid = profile->sid;
    answer->profile = profile->folder;
    answer->signedIn =
        answer->user.length > 0 && FindSession(name, domain, sessions, sessionCount, &session);
    answer->answered = true;
    bool problems = paths & FOLDER_PROBLEMS;
    UserProblems *checked = problems ? &answers->problems[answers->count] : nullptr;
    if (!profile->isDefault && SameTextIgnoringCase(profile->sid, OwnSid)) {
        *found = *own;
        if (problems)
            CheckThreadsFolders(checked);
        return true;
    }
    if (answer->signedIn && AnswerForUserOfSession(session)) {
        Text tokenSid;
        bool theirs =
            SidOfToken(UserToken, &tokenSid) && SameTextIgnoringCase(tokenSid, profile->sid);
        if (theirs && problems)
            CheckThreadsFolders(checked);
        else if (theirs)
            AskAsLookup(query, paths, found);
        StopAnsweringForSessionUser();
        if (theirs)
            return true;
    }
    found->path.length = found->byDefault.length = 0;
    found->moved = false;
    found->movedTo = MOVE_UNTOLD;
    HKEY hive;
    bool loadedNow;
    answer->answered = !stopping() && OpenUserHive(profile->isDefault ? Text{"", 0} : profile->sid,
                                                   profile->folder, &hive, &loadedNow);
    if (!answer->answered)
        return !stopping();
    // One user's variables and values are let go of before the next's.
    size_t entries = EntryCount, bytes = BytesUsed;
    ReadUserRegistry(hive, loadedNow, profile, name, domain, chained, paths);
    Text left;
    DWORD unloaded = CloseUserHive(hive, &left);
    if (unloaded != ERROR_SUCCESS)
        TellLeftLoaded(unloaded, left, answers);
    bool going = !stopping();
    if (going && problems)
        CheckFromRegistry(profile, checked);
    else if (going)
        AnswerFromRegistry(profile, query, chained, own, paths, found);
    EntryCount = entries;
    BytesUsed = bytes;
    return going;
}

// Each answer's paths in one block of the shell's memory.
static bool KeepAnswer(ProfileAnswer *answer, const Found *found) {
    size_t length = found->path.length;
    char *block = (char *)AllocateShellMemory(length + found->byDefault.length + 1);
    if (block == nullptr)
        return false;
    memcpy(block, found->path.bytes, length);
    memcpy(block + length, found->byDefault.bytes, found->byDefault.length);
    answer->path = Text{block, length};
    answer->defaultPath = Text{block + length, found->byDefault.length};
    answer->moved = found->moved;
    answer->movedTo = found->movedTo;
    return true;
}

bool AskEveryProfile(const FolderQuery *query, int paths, bool (*stopping)(),
                     ProfileAnswers *answers) {
    static Found own, found;
    static SessionUser sessions[256];
    *answers = {};
    BytesUsed = 0;
    bool problems = paths & FOLDER_PROBLEMS;
    if (!problems && !NamesAFolder(query))
        return false;
    own = {};
    if (!problems)
        AskAsLookup(query, paths, &own);
    if (!LoadRegistryCalls())
        return true;
    size_t count = ListedCount = ReadProfileList();
    bool chained = !problems && query->kind != TEMP_FOLDER && ChainOfFolder(query, &Chain);
    if (problems) {
        FindFoldersToCheck();
        FindProfilePlaces();
        answers->problems = (UserProblems *)AllocateShellMemory(count * sizeof(UserProblems) + 1);
        if (answers->problems == nullptr)
            count = 0;
        else
            memset(answers->problems, 0, count * sizeof(UserProblems));
    }
    DWORD console;
    size_t sessionCount =
        ListSessionUsers(sessions, sizeof sessions / sizeof sessions[0], &console);
    FindOwnSid();
    EntryCount = 0;
    KeepKeyVariables(HKEY_LOCAL_MACHINE,
                     L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", MACHINE);
    KeepProcessVariables();
    StartReadingHives(stopping);
    answers->answers = (ProfileAnswer *)AllocateShellMemory(count * sizeof(ProfileAnswer) + 1);
    for (size_t i = 0; answers->answers != nullptr && i < count && !answers->stopped; i++) {
        // An event during the clean-up, or during the last profile's load.
        if ((answers->stopped = stopping()))
            break;
        answers->stopped = !AnswerProfile(&Listed[i], query, chained, &own, paths, sessions,
                                          sessionCount, stopping, answers, &found);
        if (!answers->stopped && KeepAnswer(&answers->answers[answers->count], &found))
            answers->count++;
    }
    StopReadingHives();
    StopAnsweringForSignedInUser();
    FreeRegistryCalls();
    return true;
}

void ForgetProfiles(ProfileAnswers *answers) {
    for (size_t i = 0; answers->problems != nullptr && i < answers->count; i++)
        ForgetUserProblems(&answers->problems[i]);
    FreeShellMemory(answers->problems);
    answers->problems = nullptr;
    for (size_t i = 0; i < answers->count; i++)
        FreeShellMemory((void *)answers->answers[i].path.bytes);
    FreeShellMemory(answers->answers);
    answers->answers = nullptr;
    answers->count = 0;
}
