// Paths as Windows names places: made full by GetFullPathNameW, an 8.3 name
// read as its long name, compared as CompareStringOrdinal compares; and
// where a moved folder went, for the user answered for. Uses:
// GetFullPathNameW, GetLongPathNameW, GetDriveTypeW, GetProcAddress, and
// from advapi32, loaded only to read OneDrive's accounts and a user's
// mapped drives: RegOpenCurrentUser, RegOpenKeyExW, RegEnumKeyExW,
// RegGetValueW, RegCloseKey.
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

// Where the folder does not exist it keeps the form it has. Only a short
// name has a "~" in it: a path without one is in its long form already,
// and the disk need not be asked.
static void ToLongForm(PathText *tidy) {
    if (memchr(tidy->bytes, '~', tidy->length) == nullptr || ToWide(TextOfPath(tidy), Wide) == 0)
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

void PlaceOfPath(Text path, PathText *place) {
    place->length = 0;
    if (!IsAbsolutePath(path))
        return;
    TidyPath(path, place);
    if (place->length >= 2 && place->bytes[1] == ':')
        ToLongForm(place);
}

// A signed-in user has a root or two; a root that does not fit is no root.
// They are kept as read, and made full only when a folder is placed, so
// that reading another user's hive asks nothing of the file system.
static char RootBytes[16 * 1024];
static Text Roots[32];
static size_t RootCount, RootBytesUsed;
// A user read from their registry has the drives they mapped to shares
// there; any other letter is left to the platform, as is every letter of
// the user the thread is.
static bool MappedToShare[26];

static void KeepRoot(const wchar_t *wide, DWORD length) {
    ToUtf8(wide, length, &Tidy);
    if (!IsAbsolutePath(TextOfPath(&Tidy)) || RootCount == sizeof Roots / sizeof Roots[0] ||
        Tidy.length > sizeof RootBytes - RootBytesUsed)
        return;
    memcpy(RootBytes + RootBytesUsed, Tidy.bytes, Tidy.length);
    Roots[RootCount++] = Text{RootBytes + RootBytesUsed, Tidy.length};
    RootBytesUsed += Tidy.length;
}

typedef LONG(WINAPI *UserKeyOpening)(REGSAM, HKEY *);
typedef LONG(WINAPI *KeyOpening)(HKEY, const wchar_t *, DWORD, REGSAM, HKEY *);
typedef LONG(WINAPI *KeyEnumeration)(HKEY, DWORD, wchar_t *, DWORD *, DWORD *, wchar_t *, DWORD *,
                                     FILETIME *);
typedef LONG(WINAPI *ValueQuery)(HKEY, const wchar_t *, const wchar_t *, DWORD, DWORD *, void *,
                                 DWORD *);
typedef LONG(WINAPI *KeyClosing)(HKEY);

struct KeyCalls {
    KeyOpening open;
    KeyEnumeration enumerate;
    ValueQuery query;
    KeyClosing close;
};

// Each subkey of `path` under the user's key whose name fits, with its
// string value `name` read whole; RegGetValueW expands a REG_EXPAND_SZ one
// and then counts it as REG_SZ, and ends what it gives with a zero.
static void ReadSubkeyValues(const KeyCalls *calls, HKEY user, const wchar_t *path,
                             const wchar_t *name,
                             void (*keep)(const wchar_t *, const wchar_t *, DWORD)) {
    HKEY parent;
    if (calls->open(user, path, 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &parent) !=
        ERROR_SUCCESS)
        return;
    wchar_t subkey[256];
    DWORD length = 256, size = sizeof Wide;
    LONG read;
    // A name too long for a drive's or an account's is passed over.
    for (DWORD i = 0; (read = calls->enumerate(parent, i, subkey, &length, nullptr, nullptr,
                                               nullptr, nullptr)) == ERROR_SUCCESS ||
                      read == ERROR_MORE_DATA;
         i++, length = 256, size = sizeof Wide)
        if (read == ERROR_SUCCESS &&
            calls->query(parent, subkey, name, RRF_RT_REG_SZ, nullptr, Wide, &size) ==
                ERROR_SUCCESS &&
            size >= sizeof(wchar_t))
            keep(subkey, Wide, WideLength(Wide, size / sizeof(wchar_t)));
    calls->close(parent);
}

static void KeepAccountRoot(const wchar_t *, const wchar_t *folder, DWORD length) {
    KeepRoot(folder, length);
}

// Network\<letter>\RemotePath: what a user's persistent mapping names.
static void KeepMappedDrive(const wchar_t *letter, const wchar_t *remote, DWORD length) {
    wchar_t upper = wchar_t(letter[0] & ~0x20);
    if (letter[1] == 0 && upper >= L'A' && upper <= L'Z' && length > 0)
        MappedToShare[upper - L'A'] = length >= 2 && remote[0] == L'\\' && remote[1] == L'\\';
}

// Each signed-in account (Business1, Business2, Personal, ...) keeps its
// root as UserFolder, in the given hive, or that of the user the thread
// is; the given hive has the user's mapped drives too.
static void ReadUserKeys(HKEY given) {
    HMODULE advapi = LoadSystemLibrary(L"advapi32.dll");
    if (advapi == nullptr)
        return;
    UserKeyOpening openUser = UserKeyOpening((void *)GetProcAddress(advapi, "RegOpenCurrentUser"));
    KeyCalls calls = {KeyOpening((void *)GetProcAddress(advapi, "RegOpenKeyExW")),
                      KeyEnumeration((void *)GetProcAddress(advapi, "RegEnumKeyExW")),
                      ValueQuery((void *)GetProcAddress(advapi, "RegGetValueW")),
                      KeyClosing((void *)GetProcAddress(advapi, "RegCloseKey"))};
    HKEY user = given;
    if (openUser && calls.open && calls.enumerate && calls.query && calls.close &&
        (user != nullptr ||
         openUser(KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &user) == ERROR_SUCCESS)) {
        ReadSubkeyValues(&calls, user, L"Software\\Microsoft\\OneDrive\\Accounts", L"UserFolder",
                         KeepAccountRoot);
        if (given != nullptr)
            ReadSubkeyValues(&calls, user, L"Network", L"RemotePath", KeepMappedDrive);
    }
    if (user != nullptr && user != given)
        calls.close(user);
    FreeLibrary(advapi);
}

static void ForgetPlaces() {
    RootCount = RootBytesUsed = 0;
    memset(MappedToShare, 0, sizeof MappedToShare);
}

void FindOneDriveRoots() {
    ForgetPlaces();
    static const wchar_t *const names[] = {L"OneDriveCommercial", L"OneDriveConsumer", L"OneDrive"};
    for (const wchar_t *name : names) {
        DWORD length = UserVariable(name, Wide, LONGEST_PATH + 1);
        if (length > 0)
            KeepRoot(Wide, length);
    }
    ReadUserKeys(nullptr);
}

void FindPlacesOf(HKEY user, const Text *variables, size_t count) {
    ForgetPlaces();
    for (size_t i = 0; i < count; i++) {
        int units = ToWide(variables[i], Wide);
        if (units > 0)
            KeepRoot(Wide, DWORD(units));
    }
    ReadUserKeys(user);
}

FolderMove WhereMoved(Text now) {
    TidyPath(now, &Tidy);
    for (size_t i = 0; i < RootCount; i++) {
        TidyPath(Roots[i], &OtherTidy);
        if (IsAtOrUnder(TextOfPath(&Tidy), TextOfPath(&OtherTidy), SameTextIgnoringCase))
            return MOVED_TO_ONEDRIVE;
    }
    if (!IsAbsolutePath(TextOfPath(&Tidy)))
        return MOVED_LOCALLY;
    // A share's two separators, or a drive's letter and colon, whatever
    // form a path that the platform could not make full keeps.
    if (Tidy.bytes[1] != ':')
        return MOVED_TO_NETWORK;
    wchar_t letter = wchar_t(Tidy.bytes[0] & ~0x20);
    if (MappedToShare[letter - L'A'])
        return MOVED_TO_NETWORK;
    const wchar_t root[] = {letter, L':', L'\\', 0};
    switch (GetDriveTypeW(root)) {
    case DRIVE_REMOTE:
        return MOVED_TO_NETWORK;
    case DRIVE_UNKNOWN:
    case DRIVE_NO_ROOT_DIR:
        return MOVE_UNTOLD;
    default:
        return MOVED_LOCALLY;
    }
}
