// Paths as Windows names places: made full by GetFullPathNameW, an 8.3 name
// read as its long name, compared as CompareStringOrdinal compares; and
// where a moved folder went, for the user answered for. Uses:
// GetFullPathNameW, GetLongPathNameW, GetDriveTypeW, GetProcAddress, and
// from advapi32, loaded only to read OneDrive's accounts:
// RegOpenCurrentUser, RegOpenKeyExW, RegEnumKeyExW, RegGetValueW,
// RegCloseKey.
#define _WIN32_WINNT 0x0600
#include "places.h"
#include "win32.h"

static wchar_t Wide[LONGEST_PATH + 1], OtherWide[LONGEST_PATH + 1];
static PathText Tidy, OtherTidy;

// Made full after the long-path prefix is gone, which would keep the
// platform from reading "/" and "." as it otherwise does.
static void TidyPath(Text path, PathText *tidy) {
    memcpy(tidy->bytes, path.bytes, path.length);
    tidy->length = path.length;
    DropLongPathPrefix(tidy);
    if (ToWide(TextOfPath(tidy), Wide) > 0) {
        DWORD length = GetFullPathNameW(Wide, LONGEST_PATH + 1, OtherWide, nullptr);
        if (length > 0 && length <= LONGEST_PATH)
            ToUtf8(OtherWide, length, tidy);
    }
    DropTrailingSeparators(tidy);
}

// Where the folder does not exist it keeps the form it has.
static void ToLongForm(PathText *tidy) {
    if (ToWide(TextOfPath(tidy), Wide) == 0)
        return;
    DWORD length = GetLongPathNameW(Wide, OtherWide, LONGEST_PATH + 1);
    if (length > 0 && length <= LONGEST_PATH) {
        ToUtf8(OtherWide, length, tidy);
        DropTrailingSeparators(tidy);
    }
}

bool NameOnePlace(Text a, Text b) {
    TidyPath(a, &Tidy);
    TidyPath(b, &OtherTidy);
    if (SameTextIgnoringCase(TextOfPath(&Tidy), TextOfPath(&OtherTidy)))
        return true;
    // Paths on two drives or two shares are never one place; asking a
    // share for long names would wait out the redirector off the network.
    if (!HaveOneRoot(TextOfPath(&Tidy), TextOfPath(&OtherTidy), SameTextIgnoringCase))
        return false;
    ToLongForm(&Tidy);
    ToLongForm(&OtherTidy);
    return SameTextIgnoringCase(TextOfPath(&Tidy), TextOfPath(&OtherTidy));
}

// A signed-in user has a root or two; a root that does not fit is no root.
static char RootBytes[16 * 1024];
static Text Roots[32];
static size_t RootCount, RootBytesUsed;

static void KeepRoot(const wchar_t *wide, DWORD length) {
    ToUtf8(wide, length, &Tidy);
    if (!IsAbsolutePath(TextOfPath(&Tidy)))
        return;
    TidyPath(TextOfPath(&Tidy), &OtherTidy);
    if (RootCount == sizeof Roots / sizeof Roots[0] ||
        OtherTidy.length > sizeof RootBytes - RootBytesUsed)
        return;
    memcpy(RootBytes + RootBytesUsed, OtherTidy.bytes, OtherTidy.length);
    Roots[RootCount++] = Text{RootBytes + RootBytesUsed, OtherTidy.length};
    RootBytesUsed += OtherTidy.length;
}

typedef LONG(WINAPI *UserKeyOpening)(REGSAM, HKEY *);
typedef LONG(WINAPI *KeyOpening)(HKEY, const wchar_t *, DWORD, REGSAM, HKEY *);
typedef LONG(WINAPI *KeyEnumeration)(HKEY, DWORD, wchar_t *, DWORD *, DWORD *, wchar_t *, DWORD *,
                                     FILETIME *);
typedef LONG(WINAPI *ValueQuery)(HKEY, const wchar_t *, const wchar_t *, DWORD, DWORD *, void *,
                                 DWORD *);
typedef LONG(WINAPI *KeyClosing)(HKEY);

// Each signed-in account (Business1, Business2, Personal, ...) keeps its
// root as UserFolder, in the given hive, or that of the user the thread is. RegGetValueW expands a
// REG_EXPAND_SZ one and then counts it as REG_SZ; asked for REG_EXPAND_SZ it would refuse.
static void KeepAccountRoots(HKEY given) {
    HMODULE advapi = LoadSystemLibrary(L"advapi32.dll");
    if (advapi == nullptr)
        return;
    UserKeyOpening openUser = UserKeyOpening((void *)GetProcAddress(advapi, "RegOpenCurrentUser"));
    KeyOpening open = KeyOpening((void *)GetProcAddress(advapi, "RegOpenKeyExW"));
    KeyEnumeration enumerate = KeyEnumeration((void *)GetProcAddress(advapi, "RegEnumKeyExW"));
    ValueQuery query = ValueQuery((void *)GetProcAddress(advapi, "RegGetValueW"));
    KeyClosing close = KeyClosing((void *)GetProcAddress(advapi, "RegCloseKey"));
    HKEY user = given, accounts;
    if (openUser && open && enumerate && query && close &&
        (user != nullptr ||
         openUser(KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &user) == ERROR_SUCCESS) &&
        open(user, L"Software\\Microsoft\\OneDrive\\Accounts", 0,
             KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &accounts) == ERROR_SUCCESS) {
        wchar_t account[256];
        DWORD length = 256, size = sizeof Wide;
        LONG read;
        // A name too long for an account's is passed over.
        for (DWORD i = 0; (read = enumerate(accounts, i, account, &length, nullptr, nullptr,
                                            nullptr, nullptr)) == ERROR_SUCCESS ||
                          read == ERROR_MORE_DATA;
             i++, length = 256, size = sizeof Wide)
            if (read == ERROR_SUCCESS &&
                query(accounts, account, L"UserFolder", RRF_RT_REG_SZ, nullptr, Wide, &size) ==
                    ERROR_SUCCESS &&
                size >= sizeof(wchar_t))
                KeepRoot(Wide, size / sizeof(wchar_t) - 1);
        close(accounts);
    }
    if (user != nullptr && user != given)
        close(user);
    FreeLibrary(advapi);
}

void FindOneDriveRoots() {
    RootCount = RootBytesUsed = 0;
    static const wchar_t *const names[] = {L"OneDriveCommercial", L"OneDriveConsumer", L"OneDrive"};
    for (const wchar_t *name : names) {
        DWORD length = UserVariable(name, Wide, LONGEST_PATH + 1);
        if (length > 0)
            KeepRoot(Wide, length);
    }
    KeepAccountRoots(nullptr);
}

void FindOneDriveRootsOf(HKEY user, const Text *variables, size_t count) {
    RootCount = RootBytesUsed = 0;
    for (size_t i = 0; i < count; i++) {
        int units = ToWide(variables[i], Wide);
        if (units > 0)
            KeepRoot(Wide, DWORD(units));
    }
    KeepAccountRoots(user);
}

FolderMove WhereMoved(Text now) {
    TidyPath(now, &Tidy);
    for (size_t i = 0; i < RootCount; i++)
        if (IsAtOrUnder(TextOfPath(&Tidy), Roots[i], SameTextIgnoringCase))
            return MOVED_TO_ONEDRIVE;
    if (Tidy.length >= 2 && Tidy.bytes[0] == '\\' && Tidy.bytes[1] == '\\')
        return MOVED_TO_NETWORK;
    const wchar_t root[] = {wchar_t(Tidy.length > 0 ? Tidy.bytes[0] : 0), L':', L'\\', 0};
    return IsAbsolutePath(TextOfPath(&Tidy)) && GetDriveTypeW(root) == DRIVE_REMOTE
               ? MOVED_TO_NETWORK
               : MOVED_LOCALLY;
}
