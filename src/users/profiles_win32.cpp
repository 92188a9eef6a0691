// Every profile of this machine, each answered for its own user: the
// profile list and each user's hive read from the registry, a hive loaded
// under HKEY_USERS where it is not and unloaded again at once, and nothing
// written. Uses: GetFileAttributesW, GetWindowsDirectoryW,
// GetEnvironmentVariableW, GetCurrentProcess, GetCurrentProcessId, Sleep, wsprintfW,
// LocalFree, CloseHandle, GetProcAddress, FreeLibrary, and from advapi32,
// loaded only for /profiles: RegOpenKeyExW, RegEnumKeyExW, RegEnumValueW,
// RegQueryValueExW, RegGetValueW, RegCloseKey, RegLoadKeyW, RegUnLoadKeyW,
// OpenProcessToken, LookupPrivilegeValueW, AdjustTokenPrivileges,
// GetTokenInformation, ConvertSidToStringSidW, ConvertStringSidToSidW,
// LookupAccountSidW.
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include "../folders/places.h"
#include "profiles.h"
#include "session.h"
#include "win32.h"

typedef LONG(WINAPI *KeyOpening)(HKEY, const wchar_t *, DWORD, REGSAM, HKEY *);
typedef LONG(WINAPI *KeyEnumeration)(HKEY, DWORD, wchar_t *, DWORD *, DWORD *, wchar_t *, DWORD *,
                                     FILETIME *);
typedef LONG(WINAPI *ValueEnumeration)(HKEY, DWORD, wchar_t *, DWORD *, DWORD *, DWORD *, BYTE *,
                                       DWORD *);
typedef LONG(WINAPI *ValueReading)(HKEY, const wchar_t *, DWORD *, DWORD *, BYTE *, DWORD *);
typedef LONG(WINAPI *ValueQuery)(HKEY, const wchar_t *, const wchar_t *, DWORD, DWORD *, void *,
                                 DWORD *);
typedef LONG(WINAPI *KeyClosing)(HKEY);
typedef LONG(WINAPI *HiveLoading)(HKEY, const wchar_t *, const wchar_t *);
typedef LONG(WINAPI *HiveUnloading)(HKEY, const wchar_t *);
typedef BOOL(WINAPI *ProcessTokenOpening)(HANDLE, DWORD, HANDLE *);
typedef BOOL(WINAPI *PrivilegeLookup)(const wchar_t *, const wchar_t *, LUID *);
typedef BOOL(WINAPI *PrivilegeSetting)(HANDLE, BOOL, TOKEN_PRIVILEGES *, DWORD, void *, DWORD *);
typedef BOOL(WINAPI *TokenQuery)(HANDLE, TOKEN_INFORMATION_CLASS, void *, DWORD, DWORD *);
typedef BOOL(WINAPI *SidWriting)(PSID, wchar_t **);
typedef BOOL(WINAPI *SidReading)(const wchar_t *, PSID *);
typedef BOOL(WINAPI *SidNaming)(const wchar_t *, PSID, wchar_t *, DWORD *, wchar_t *, DWORD *,
                                SID_NAME_USE *);

static HMODULE Advapi;
static KeyOpening OpenKey;
static KeyEnumeration EnumerateKeys;
static ValueEnumeration EnumerateValues;
static ValueReading ReadValue;
static ValueQuery QueryValue;
static KeyClosing CloseKey;
static HiveLoading LoadHive;
static HiveUnloading UnloadHive;
static ProcessTokenOpening OpenToken;
static PrivilegeLookup LookupPrivilege;
static PrivilegeSetting SetPrivileges;
static TokenQuery QueryToken;
static SidWriting WriteSid;
static SidReading ReadSid;
static SidNaming NameSid;

static bool LoadRegistryCalls() {
    static const struct {
        const char *name;
        void **call;
    } calls[] = {
        {"RegOpenKeyExW", (void **)&OpenKey},
        {"RegEnumKeyExW", (void **)&EnumerateKeys},
        {"RegEnumValueW", (void **)&EnumerateValues},
        {"RegQueryValueExW", (void **)&ReadValue},
        {"RegGetValueW", (void **)&QueryValue},
        {"RegCloseKey", (void **)&CloseKey},
        {"RegLoadKeyW", (void **)&LoadHive},
        {"RegUnLoadKeyW", (void **)&UnloadHive},
        {"OpenProcessToken", (void **)&OpenToken},
        {"LookupPrivilegeValueW", (void **)&LookupPrivilege},
        {"AdjustTokenPrivileges", (void **)&SetPrivileges},
        {"GetTokenInformation", (void **)&QueryToken},
        {"ConvertSidToStringSidW", (void **)&WriteSid},
        {"ConvertStringSidToSidW", (void **)&ReadSid},
        {"LookupAccountSidW", (void **)&NameSid},
    };
    Advapi = LoadSystemLibrary(L"advapi32.dll");
    bool all = Advapi != nullptr;
    for (const auto &call : calls)
        all = all && (*call.call = (void *)GetProcAddress(Advapi, call.name)) != nullptr;
    return all;
}

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

// The profile folder as ProfileList names it, expanded; a profile whose
// folder is not there is none.
static bool KeepProfile(HKEY list, const wchar_t *subkey, const wchar_t *value, Text sid,
                        size_t *count) {
    DWORD size = sizeof Wide;
    ListedProfile *profile = &Listed[*count];
    if (*count == sizeof Listed / sizeof Listed[0] ||
        QueryValue(list, subkey, value, RRF_RT_REG_SZ, nullptr, Wide, &size) != ERROR_SUCCESS ||
        size < 2 * sizeof(wchar_t) || !IsFolder(Wide) ||
        !KeepWide(Wide, size / sizeof(wchar_t) - 1, &profile->folder))
        return false;
    profile->sid = sid;
    profile->isDefault = subkey == nullptr;
    (*count)++;
    return true;
}

static size_t ReadProfileList() {
    HKEY list;
    size_t count = 0;
    if (OpenKey(HKEY_LOCAL_MACHINE, PROFILE_LIST, 0, KEY_READ, &list) != ERROR_SUCCESS)
        return 0;
    wchar_t name[256];
    DWORD length = 256;
    LONG read;
    for (DWORD i = 0; (read = EnumerateKeys(list, i, name, &length, nullptr, nullptr, nullptr,
                                            nullptr)) != ERROR_NO_MORE_ITEMS;
         i++, length = 256) {
        Text sid;
        size_t mark = BytesUsed;
        if (read != ERROR_SUCCESS || !KeepWide(name, length, &sid) || !IsUserSid(sid) ||
            !KeepProfile(list, name, L"ProfileImagePath", sid, &count))
            BytesUsed = mark;
    }
    KeepProfile(list, nullptr, L"Default", Text{"", 0}, &count);
    CloseKey(list);
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
    if (!NameSid(nullptr, sid, account, &nameSize, accountDomain, &domainSize, &use) ||
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
    bool named = QueryToken(token, TokenUser, user, sizeof user, &bytes) &&
                 WriteSid(((TOKEN_USER *)user)->User.Sid, &text) &&
                 KeepWide(text, DWORD(wcslen(text)), sid);
    if (text != nullptr)
        LocalFree(text);
    return named;
}

static Text OwnSid;

static void FindOwnSid() {
    HANDLE token = nullptr;
    OwnSid.length = 0;
    if (OpenToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        SidOfToken(token, &OwnSid);
        CloseHandle(token);
    }
}

// Loading another user's hive needs both privileges enabled; an elevated
// administrator and SYSTEM hold them, anyone else is refused the load.
static void EnableHivePrivileges() {
    static const wchar_t *const names[] = {L"SeBackupPrivilege", L"SeRestorePrivilege"};
    struct {
        DWORD count;
        LUID_AND_ATTRIBUTES privileges[2];
    } wanted = {2, {}};
    HANDLE token = nullptr;
    bool found = true;
    for (size_t i = 0; i < 2; i++) {
        found = found && LookupPrivilege(nullptr, names[i], &wanted.privileges[i].Luid);
        wanted.privileges[i].Attributes = SE_PRIVILEGE_ENABLED;
    }
    if (found && OpenToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        SetPrivileges(token, FALSE, (TOKEN_PRIVILEGES *)&wanted, 0, nullptr, nullptr);
    if (token != nullptr)
        CloseHandle(token);
}

// The hive this run has loaded, if any, and the keys open in it: a console
// event may end the program while it is.
static wchar_t LoadedName[64];
static volatile bool HiveLoaded;
static HKEY HiveKey, ShellFoldersKey;

static void CloseHiveKeys() {
    HKEY *keys[] = {&ShellFoldersKey, &HiveKey};
    for (HKEY *key : keys)
        if (*key != nullptr) {
            CloseKey(*key);
            *key = nullptr;
        }
}

void UnloadProfileHives() {
    if (CloseKey == nullptr || UnloadHive == nullptr)
        return;
    CloseHiveKeys();
    if (HiveLoaded) {
        UnloadHive(HKEY_USERS, LoadedName);
        HiveLoaded = false;
    }
}

// "korvane-<process id>-<n>": no other program's, and none of an earlier
// load of this run.
static void NameLoadedHive() {
    static unsigned loads;
    wsprintfW(LoadedName, L"korvane-%u-%u", unsigned(GetCurrentProcessId()), loads++);
}

static bool AppendFileName(Text folder, const wchar_t *name) {
    int units = ToWide(folder, Wide);
    size_t length = wcslen(name);
    if (units == 0 || size_t(units) + 1 + length > LONGEST_PATH)
        return false;
    if (Wide[units - 1] != L'\\')
        Wide[units++] = L'\\';
    memcpy(Wide + units, name, (length + 1) * sizeof(wchar_t));
    return true;
}

// A hive in use (another run, the user signing in) is tried again for a
// second. A failed load but for a missing file may still leave a key of
// that name (Wine does, for a file that is no hive): it is unloaded.
static bool LoadProfileHive(Text folder) {
    if (!(AppendFileName(folder, L"NTUSER.DAT") &&
          GetFileAttributesW(Wide) != INVALID_FILE_ATTRIBUTES) &&
        !(AppendFileName(folder, L"NTUSER.MAN") &&
          GetFileAttributesW(Wide) != INVALID_FILE_ATTRIBUTES))
        return false;
    static bool enabled;
    if (!enabled) {
        EnableHivePrivileges();
        enabled = true;
    }
    NameLoadedHive();
    LONG loaded = LoadHive(HKEY_USERS, LoadedName, Wide);
    for (int tries = 0; loaded == ERROR_SHARING_VIOLATION && tries < 10; tries++) {
        Sleep(100);
        loaded = LoadHive(HKEY_USERS, LoadedName, Wide);
    }
    if (loaded != ERROR_SUCCESS && loaded != ERROR_FILE_NOT_FOUND)
        UnloadHive(HKEY_USERS, LoadedName);
    HiveLoaded = loaded == ERROR_SUCCESS;
    return HiveLoaded;
}

// The user's own hive: loaded already where the user is signed in or
// another program holds it (and then never unloaded here), else from the
// profile's file. The Default profile is always its file: HKEY_USERS\.DEFAULT
// is SYSTEM's own.
static bool OpenProfileHive(const ListedProfile *profile) {
    if (!profile->isDefault && ToWide(profile->sid, Wide) > 0 &&
        OpenKey(HKEY_USERS, Wide, 0, KEY_READ, &HiveKey) == ERROR_SUCCESS)
        return true;
    HiveKey = nullptr;
    if (!LoadProfileHive(profile->folder))
        return false;
    if (OpenKey(HKEY_USERS, LoadedName, 0, KEY_READ, &HiveKey) == ERROR_SUCCESS)
        return true;
    HiveKey = nullptr;
    UnloadProfileHives();
    return false;
}

// Variables, as a logon sets them, in layers: the profile's own, the
// user's, the machine's, and the machine-wide names that a logon takes
// from elsewhere, which the program's own environment has.
static Text Entries[4096];
static size_t EntryCount;
static VariableLayer Layers[4];

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

static void KeepKeyVariables(HKEY key, const wchar_t *subkey) {
    HKEY variables;
    if (OpenKey(key, subkey, 0, KEY_READ, &variables) != ERROR_SUCCESS)
        return;
    static wchar_t name[16384];
    DWORD nameLength = 16384, size = sizeof Wide - sizeof(wchar_t), type;
    LONG read;
    for (DWORD i = 0; (read = EnumerateValues(variables, i, name, &nameLength, nullptr, &type,
                                              (BYTE *)Wide, &size)) != ERROR_NO_MORE_ITEMS;
         i++, nameLength = 16384, size = sizeof Wide - sizeof(wchar_t)) {
        static PathText value;
        Wide[size / sizeof(wchar_t)] = 0;
        ToUtf8(Wide, DWORD(wcslen(Wide)), &value);
        if (read == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ))
            KeepEntry(name, TextOfPath(&value));
    }
    CloseKey(variables);
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
    for (const wchar_t *name : names) {
        DWORD length = GetEnvironmentVariableW(name, Wide, LONGEST_PATH + 1);
        static PathText value;
        ToUtf8(Wide, length, &value);
        if (length > 0 && length <= LONGEST_PATH)
            KeepEntry(name, TextOfPath(&value));
    }
}

// The machine's layers are read once; each user's two before each answer.
static void StartMachineLayers() {
    EntryCount = 0;
    KeepKeyVariables(HKEY_LOCAL_MACHINE,
                     L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment");
    size_t machine = EntryCount;
    KeepProcessVariables();
    Layers[2] = {Entries, machine};
    Layers[3] = {Entries + machine, EntryCount - machine};
}

static void StartUserLayers(const ListedProfile *profile, Text name) {
    size_t start = EntryCount;
    KeepEntry(L"USERPROFILE", profile->folder);
    if (name.length > 0)
        KeepEntry(L"USERNAME", name);
    size_t own = EntryCount;
    KeepKeyVariables(HiveKey, L"Environment");
    Layers[0] = {Entries + start, own - start};
    Layers[1] = {Entries + own, EntryCount - own};
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
static bool AskAsLookup(const FolderQuery *query, int paths, Found *found) {
    FolderQuery asked = *query;
    bool known = AskPlatformForFolder(&asked, &found->path);
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
    return known;
}

static FolderChain Chain;

// The shell's rule over the user's registry: the folder's value, else its
// default under its parent's place for this user, up to the profile folder.
static void AskRegistry(const ListedProfile *profile, const FolderQuery *query, bool chained,
                        const Found *machine, int paths, Found *found) {
    found->path.length = found->now.length = found->byDefault.length = 0;
    if (query->kind == TEMP_FOLDER) {
        UINT length = GetWindowsDirectoryW(Wide, LONGEST_PATH + 1);
        static PathText windows;
        ToUtf8(Wide, length <= LONGEST_PATH ? length : 0, &windows);
        TempPathFrom(Layers, 4, TextOfPath(&windows), &found->now);
        found->byDefault = found->now;
    } else if (chained && Chain.isProfile) {
        memcpy(found->now.bytes, profile->folder.bytes, profile->folder.length);
        found->now.length = found->byDefault.length = profile->folder.length;
        memcpy(found->byDefault.bytes, profile->folder.bytes, profile->folder.length);
    } else if (chained && Chain.category == FOLDER_PER_USER) {
        FolderLink links[DEEPEST_CHAIN];
        if (OpenKey(HiveKey, SHELL_FOLDERS, 0, KEY_READ, &ShellFoldersKey) != ERROR_SUCCESS)
            ShellFoldersKey = nullptr;
        for (size_t i = 0; i < Chain.count; i++) {
            static PathText name, value;
            const DefinedFolder *link = &Chain.links[i];
            ShellFolderValueName(link->name, link->hasShellId, &link->id, &name);
            DWORD type, size = sizeof Wide - sizeof(wchar_t);
            links[i] = {false, {}, link->relativePath};
            if (ShellFoldersKey != nullptr && ToWide(TextOfPath(&name), OtherWide) > 0 &&
                ReadValue(ShellFoldersKey, OtherWide, nullptr, &type, (BYTE *)Wide, &size) ==
                    ERROR_SUCCESS &&
                (type == REG_SZ || type == REG_EXPAND_SZ)) {
                Wide[size / sizeof(wchar_t)] = 0;
                ToUtf8(Wide, DWORD(wcslen(Wide)), &value);
                links[i].hasValue = Keep(TextOfPath(&value), &links[i].value);
            }
        }
        PathFromChain(links, Chain.count, Chain.endsAtProfile, profile->folder, Layers, 4, false,
                      &found->now);
        PathFromChain(links, Chain.count, Chain.endsAtProfile, profile->folder, Layers, 4, true,
                      &found->byDefault);
        if (ShellFoldersKey != nullptr)
            CloseKey(ShellFoldersKey);
        ShellFoldersKey = nullptr;
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
    if (paths & WHERE_MOVED) {
        static const char *const names[] = {"%OneDriveCommercial%", "%OneDriveConsumer%",
                                            "%OneDrive%"};
        Text roots[3];
        size_t count = 0;
        for (const char *name : names) {
            static PathText root;
            if (ExpandVariables(TextOf(name), Layers, 4, &root) &&
                Keep(TextOfPath(&root), &roots[count]))
                count++;
        }
        FindOneDriveRootsOf(HiveKey, roots, count);
    }
    Settle(found, paths);
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

// Whose answers: the caller's own profile's are a lookup's; a signed-in
// user's are asked with their token where the caller may take it, and that
// token is the profile's user's; any other's come from their registry.
static void AnswerProfile(const ListedProfile *profile, const FolderQuery *query, bool chained,
                          const Found *own, int paths, const SessionUser *sessions,
                          size_t sessionCount, ProfileAnswer *answer, Found *found) {
    Text name = {"", 0}, domain = {"", 0};
    PSID sid = nullptr;
    DWORD session = NO_SESSION;
    answer->user = Text{"", 0};
    if (!profile->isDefault && ToWide(profile->sid, Wide) > 0 && ReadSid(Wide, &sid))
        NameAccount(sid, &answer->user, &name, &domain);
    if (sid != nullptr)
        LocalFree(sid);
    answer->sid = profile->sid;
    answer->profile = profile->folder;
    answer->signedIn =
        answer->user.length > 0 && FindSession(name, domain, sessions, sessionCount, &session);
    answer->answered = true;
    if (!profile->isDefault && SameTextIgnoringCase(profile->sid, OwnSid)) {
        *found = *own;
        return;
    }
    if (answer->signedIn && AnswerForUserOfSession(session)) {
        Text tokenSid;
        bool theirs =
            SidOfToken(UserToken, &tokenSid) && SameTextIgnoringCase(tokenSid, profile->sid);
        if (theirs)
            AskAsLookup(query, paths, found);
        StopAnsweringForSessionUser();
        if (theirs)
            return;
    }
    answer->answered = OpenProfileHive(profile);
    found->path.length = found->byDefault.length = 0;
    found->moved = false;
    found->movedTo = MOVE_UNTOLD;
    // One user's variables and values are let go of before the next's.
    if (answer->answered) {
        size_t entries = EntryCount, bytes = BytesUsed;
        StartUserLayers(profile, name);
        AskRegistry(profile, query, chained, own, paths, found);
        EntryCount = entries;
        BytesUsed = bytes;
    }
    UnloadProfileHives();
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

bool AskEveryProfile(const FolderQuery *query, int paths, ProfileAnswers *answers) {
    static Found own, found;
    static SessionUser sessions[256];
    answers->answers = nullptr;
    answers->count = 0;
    BytesUsed = 0;
    if (!AskAsLookup(query, paths, &own))
        return false;
    if (!LoadRegistryCalls()) {
        if (Advapi != nullptr)
            FreeLibrary(Advapi);
        return true;
    }
    size_t count = ReadProfileList();
    bool chained = query->kind != TEMP_FOLDER && ChainOfFolder(query, &Chain);
    DWORD console;
    size_t sessionCount =
        ListSessionUsers(sessions, sizeof sessions / sizeof sessions[0], &console);
    FindOwnSid();
    StartMachineLayers();
    answers->answers = (ProfileAnswer *)AllocateShellMemory(count * sizeof(ProfileAnswer) + 1);
    for (size_t i = 0; answers->answers != nullptr && i < count; i++) {
        ProfileAnswer *answer = &answers->answers[answers->count];
        AnswerProfile(&Listed[i], query, chained, &own, paths, sessions, sessionCount, answer,
                      &found);
        if (KeepAnswer(answer, &found))
            answers->count++;
    }
    StopAnsweringForSignedInUser();
    CloseKey = nullptr;
    FreeLibrary(Advapi);
    Advapi = nullptr;
    return true;
}

void ForgetProfiles(ProfileAnswers *answers) {
    for (size_t i = 0; i < answers->count; i++)
        FreeShellMemory((void *)answers->answers[i].path.bytes);
    FreeShellMemory(answers->answers);
    answers->answers = nullptr;
    answers->count = 0;
}
