// Other users' hives: loaded under HKEY_USERS only while their values are
// read, unloaded at once, and what a killed run left loaded unloaded by the
// next. A hive left loaded locks its user's NTUSER.DAT until the machine
// restarts, and their next sign-in gets a temporary profile. Uses:
// GetCurrentProcess, GetCurrentProcessId,
// GetProcessTimes, GetModuleFileNameW, OpenProcess, WaitForSingleObject,
// CloseHandle, GetLastError, SetLastError, Sleep, GetModuleHandleA, GetProcAddress,
// FreeLibrary, where it exists QueryFullProcessImageNameW, and advapi32's
// calls (win32.h).
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include "../console/console.h"
#include "hives.h"
#include "win32.h"

RegistryCalls Registry;
static HMODULE Advapi;

bool LoadRegistryCalls() {
    static const struct {
        const char *name;
        size_t at;
    } calls[] = {
        {"RegOpenKeyExW", offsetof(RegistryCalls, OpenKey)},
        {"RegOpenCurrentUser", offsetof(RegistryCalls, OpenCurrentUser)},
        {"RegEnumKeyExW", offsetof(RegistryCalls, EnumerateKeys)},
        {"RegEnumValueW", offsetof(RegistryCalls, EnumerateValues)},
        {"RegQueryValueExW", offsetof(RegistryCalls, ReadValue)},
        {"RegGetValueW", offsetof(RegistryCalls, QueryValue)},
        {"RegCloseKey", offsetof(RegistryCalls, CloseKey)},
        {"RegLoadKeyW", offsetof(RegistryCalls, LoadHive)},
        {"RegUnLoadKeyW", offsetof(RegistryCalls, UnloadHive)},
        {"OpenProcessToken", offsetof(RegistryCalls, OpenToken)},
        {"LookupPrivilegeValueW", offsetof(RegistryCalls, LookupPrivilege)},
        {"AdjustTokenPrivileges", offsetof(RegistryCalls, SetPrivileges)},
        {"GetTokenInformation", offsetof(RegistryCalls, QueryToken)},
        {"ConvertSidToStringSidW", offsetof(RegistryCalls, WriteSid)},
        {"ConvertStringSidToSidW", offsetof(RegistryCalls, ReadSid)},
        {"LookupAccountSidW", offsetof(RegistryCalls, NameSid)},
    };
    Advapi = LoadSystemLibrary(L"advapi32.dll");
    bool all = Advapi != nullptr;
    for (const auto &call : calls) {
        FARPROC found = all ? GetProcAddress(Advapi, call.name) : nullptr;
        memcpy((char *)&Registry + call.at, &found, sizeof found);
        all = found != nullptr;
    }
    if (!all)
        FreeRegistryCalls();
    return all;
}

void FreeRegistryCalls() {
    if (Advapi != nullptr)
        FreeLibrary(Advapi);
    Advapi = nullptr;
    memset(&Registry, 0, sizeof Registry);
}

static bool (*Stopping)();

// Privileges as they were before the run enabled them: Windows hands back
// the previous state of those it changed, none where it changed none.
struct PrivilegesState {
    DWORD count;
    LUID_AND_ATTRIBUTES privileges[2];
};
static PrivilegesState Previous;

static bool AdjustPrivileges(TOKEN_PRIVILEGES *wanted, PrivilegesState *previous) {
    HANDLE token = nullptr;
    DWORD size = 0;
    bool adjusted =
        Registry.OpenToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token) &&
        Registry.SetPrivileges(token, FALSE, wanted, previous ? sizeof *previous : 0,
                               (TOKEN_PRIVILEGES *)previous, previous ? &size : nullptr);
    if (token != nullptr)
        CloseHandle(token);
    if (!adjusted && previous != nullptr)
        previous->count = 0;
    return adjusted;
}

// Loading another user's hive needs both enabled; an elevated
// administrator and SYSTEM hold them, anyone else is refused the load.
static void EnableHivePrivileges() {
    static const wchar_t *const names[] = {L"SeBackupPrivilege", L"SeRestorePrivilege"};
    struct {
        DWORD count;
        LUID_AND_ATTRIBUTES privileges[2];
    } wanted = {2, {}};
    bool found = true;
    for (size_t i = 0; i < 2; i++) {
        found = found && Registry.LookupPrivilege(nullptr, names[i], &wanted.privileges[i].Luid);
        wanted.privileges[i].Attributes = SE_PRIVILEGE_ENABLED;
    }
    Previous.count = 0;
    if (found)
        AdjustPrivileges((TOKEN_PRIVILEGES *)&wanted, &Previous);
}

static uint32_t OwnPid;
static uint64_t OwnCreation;
static wchar_t OwnImage[MAX_PATH + 1];

static uint64_t TimeOf(FILETIME time) {
    return uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// The file name of a path: what follows its last backslash.
static const wchar_t *FileNameOf(const wchar_t *path) {
    const wchar_t *name = path;
    for (const wchar_t *at = path; *at != 0; at++)
        if (*at == L'\\')
            name = at + 1;
    return name;
}

typedef BOOL(WINAPI *ImageNameQuery)(HANDLE, DWORD, wchar_t *, DWORD *);

static bool RunsOwnImageName(HANDLE process) {
    static wchar_t image[LONGEST_PATH + 1];
    DWORD size = LONGEST_PATH + 1;
    ImageNameQuery query = ImageNameQuery(
        (void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameW"));
    static PathText one, other;
    const wchar_t *own = FileNameOf(OwnImage);
    if (query == nullptr || !query(process, 0, image, &size))
        return true;
    const wchar_t *theirs = FileNameOf(image);
    ToUtf8(own, WideLength(own, MAX_PATH), &one);
    ToUtf8(theirs, WideLength(theirs, LONGEST_PATH), &other);
    return SameTextIgnoringCase(TextOfPath(&one), TextOfPath(&other));
}

// A process's default DACL names its user and SYSTEM alone, so an elevated
// administrator is refused another user's process, which has often taken a
// killed run's pid, unless SeDebugPrivilege is enabled. It is, at the first
// refusal, until the clean-up ends, and then put back as it was.
static PrivilegesState DebugPrevious;
static bool DebugEnabled;

static HANDLE OpenToAsk(uint32_t pid) {
    const DWORD access = PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE;
    HANDLE process = OpenProcess(access, FALSE, pid);
    if (process != nullptr || GetLastError() != ERROR_ACCESS_DENIED || DebugEnabled)
        return process;
    TOKEN_PRIVILEGES debug = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    DebugEnabled = true;
    if (!Registry.LookupPrivilege(nullptr, L"SeDebugPrivilege", &debug.Privileges[0].Luid) ||
        !AdjustPrivileges(&debug, &DebugPrevious)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return OpenProcess(access, FALSE, pid);
}

static void PutDebugPrivilegeBack() {
    if (DebugEnabled && DebugPrevious.count > 0)
        AdjustPrivileges((TOKEN_PRIVILEGES *)&DebugPrevious, nullptr);
    DebugPrevious.count = 0;
    DebugEnabled = false;
}

// A process that has ended while someone still holds a handle to it is no
// live one; one that may not be asked even so is taken for alive.
static HiveOwner OwnerOf(uint32_t pid) {
    HiveOwner owner = {NO_OWNER, 0, false};
    HANDLE process = OpenToAsk(pid);
    if (process == nullptr) {
        owner.seen = GetLastError() == ERROR_INVALID_PARAMETER ? NO_OWNER : OWNER_HIDDEN;
        return owner;
    }
    FILETIME created, exited, kernel, user;
    if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
        owner.seen = NO_OWNER;
    } else if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        owner = {OWNER_SEEN, TimeOf(created), RunsOwnImageName(process)};
    } else {
        owner.seen = OWNER_HIDDEN;
    }
    CloseHandle(process);
    return owner;
}

static DWORD UnloadKey(const wchar_t *name) {
    LONG unloaded = Registry.UnloadHive(HKEY_USERS, name);
    // A virus scanner, or any program, may hold a key in the hive a moment.
    for (int tries = 0; unloaded == ERROR_ACCESS_DENIED && tries < 10; tries++) {
        Sleep(100);
        unloaded = Registry.UnloadHive(HKEY_USERS, name);
    }
    return DWORD(unloaded);
}

// Task Scheduler's stop, a deployment's time-out and taskkill /f end a run
// with no handler at all; its keys are unloaded here, console events held
// meanwhile. HKEY_USERS holds a few keys, each user's and a run's; they are
// listed before any goes.
static void UnloadKeysOfEndedRuns() {
    static wchar_t names[64][HIVE_NAME_CAPACITY];
    size_t count = 0;
    DWORD length = HIVE_NAME_CAPACITY;
    LONG read;
    for (DWORD i = 0; count < 64; i++, length = HIVE_NAME_CAPACITY) {
        read = Registry.EnumerateKeys(HKEY_USERS, i, names[count], &length, nullptr, nullptr,
                                      nullptr, nullptr);
        if (read != ERROR_SUCCESS && read != ERROR_MORE_DATA)
            break;
        // A name too long for a run's is none.
        static PathText name;
        HiveName hive;
        ToUtf8(names[count], read == ERROR_SUCCESS ? length : 0, &name);
        if (ReadHiveName(TextOfPath(&name), &hive)) {
            HiveOwner owner = OwnerOf(hive.pid);
            count += IsLeftByEndedRun(&hive, OwnPid, &owner);
        }
    }
    PutDebugPrivilegeBack();
    HoldInterrupts();
    for (size_t i = 0; i < count && !Stopping(); i++)
        UnloadKey(names[i]);
    ReleaseInterrupts();
}

void StartReadingHives(bool (*stopping)()) {
    FILETIME created, exited, kernel, user;
    Stopping = stopping;
    OwnPid = GetCurrentProcessId();
    OwnCreation = GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)
                      ? TimeOf(created)
                      : 0;
    DWORD length = GetModuleFileNameW(nullptr, OwnImage, MAX_PATH + 1);
    OwnImage[length <= MAX_PATH ? length : 0] = 0;
    EnableHivePrivileges();
    UnloadKeysOfEndedRuns();
}

void StopReadingHives() {
    if (Previous.count > 0)
        AdjustPrivileges((TOKEN_PRIVILEGES *)&Previous, nullptr);
    Previous.count = 0;
}

// The key this run loaded last, and the hive open in it; none where the
// one open is a user's own.
static wchar_t LoadedName[HIVE_NAME_CAPACITY];
static char LoadedNameText[HIVE_NAME_CAPACITY];
static size_t LoadedLength;
static HKEY LoadedKey;

static wchar_t File[LONGEST_PATH + 1];

static bool OpenSignedInHive(Text sid, HKEY *hive) {
    static wchar_t wide[256];
    return sid.length > 0 && sid.length < 256 && ToWide(sid, wide) > 0 &&
           Registry.OpenKey(HKEY_USERS, wide, 0, KEY_READ, hive) == ERROR_SUCCESS;
}

// A hive in use (another run, the user signing in) is tried again for a
// second; the user may then be signed in, and theirs is the one to read.
static LONG LoadFile(Text sid, HKEY *hive) {
    LONG loaded = Registry.LoadHive(HKEY_USERS, LoadedName, File);
    for (int tries = 0; loaded == ERROR_SHARING_VIOLATION && tries < 10 && !Stopping(); tries++) {
        Sleep(100);
        if (OpenSignedInHive(sid, hive))
            return ERROR_ALREADY_EXISTS;
        loaded = Registry.LoadHive(HKEY_USERS, LoadedName, File);
    }
    return loaded;
}

bool OpenUserHive(Text sid, Text folder, HKEY *hive, bool *loadedNow) {
    static const wchar_t *const names[] = {L"NTUSER.MAN", L"NTUSER.DAT"};
    static uint32_t loads;
    *hive = nullptr;
    *loadedNow = false;
    if (OpenSignedInHive(sid, hive))
        return true;
    size_t base = size_t(ToWide(folder, File));
    if (base == 0 || base + 12 > LONGEST_PATH || Stopping())
        return false;
    if (File[base - 1] != L'\\')
        File[base++] = L'\\';
    LoadedLength = FormatHiveName(OwnPid, OwnCreation, loads++, LoadedNameText);
    for (size_t i = 0; i <= LoadedLength; i++)
        LoadedName[i] = i < LoadedLength ? wchar_t(LoadedNameText[i]) : 0;
    // A mandatory profile's is the one Windows loads, whatever is beside it.
    // A missing file is found by its load, which asks no more of the disk
    // than a look would. From the load to the unload a console event only
    // asks the run to stop: at any other time it ends the run at once.
    HoldInterrupts();
    LONG loaded = ERROR_FILE_NOT_FOUND;
    for (size_t i = 0; i < 2 && loaded == ERROR_FILE_NOT_FOUND; i++) {
        memcpy(File + base, names[i], 11 * sizeof(wchar_t));
        loaded = LoadFile(sid, hive);
    }
    if (loaded == ERROR_SUCCESS &&
        Registry.OpenKey(HKEY_USERS, LoadedName, 0, KEY_READ, hive) == ERROR_SUCCESS) {
        LoadedKey = *hive;
        *loadedNow = true;
        return true;
    }
    // A failed load may still leave a key of that name (Wine does, for a
    // file that is no hive).
    if (loaded == ERROR_SUCCESS)
        UnloadKey(LoadedName);
    else if (loaded != ERROR_FILE_NOT_FOUND && loaded != ERROR_ALREADY_EXISTS)
        Registry.UnloadHive(HKEY_USERS, LoadedName);
    ReleaseInterrupts();
    if (loaded == ERROR_ALREADY_EXISTS)
        return true;
    *hive = nullptr;
    return false;
}

DWORD CloseUserHive(HKEY hive, Text *name) {
    Registry.CloseKey(hive);
    if (hive != LoadedKey)
        return 0;
    LoadedKey = nullptr;
    *name = Text{LoadedNameText, LoadedLength};
    DWORD unloaded = UnloadKey(LoadedName);
    ReleaseInterrupts();
    return unloaded;
}
