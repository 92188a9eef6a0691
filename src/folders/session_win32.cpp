// The signed-in user's token, and the disk seen as that user sees it. Only
// SYSTEM may take another session's token; where Windows refuses, the
// program answers only if it runs as that user already. Uses:
// GetProcAddress, CloseHandle, GetCurrentProcess, and from libraries loaded
// from the system folder only for /loggedon: WTSGetActiveConsoleSessionId
// (kernel32), WTSQuerySessionInformationW, WTSEnumerateSessionsW,
// WTSFreeMemory, WTSQueryUserToken (wtsapi32), ExpandEnvironmentStringsForUserW
// (userenv), OpenProcessToken, GetTokenInformation, LookupAccountSidW,
// ImpersonateLoggedOnUser, RevertToSelf (advapi32), WideCharToMultiByte.
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include <wtsapi32.h>
#include "session.h"
#include "win32.h"

HANDLE UserToken;

typedef DWORD(WINAPI *ConsoleSessionQuery)();
typedef BOOL(WINAPI *SessionQuery)(HANDLE, DWORD, WTS_INFO_CLASS, wchar_t **, DWORD *);
typedef BOOL(WINAPI *SessionEnumeration)(HANDLE, DWORD, DWORD, WTS_SESSION_INFOW **, DWORD *);
typedef void(WINAPI *WtsFree)(void *);
typedef BOOL(WINAPI *UserTokenQuery)(ULONG, HANDLE *);
typedef BOOL(WINAPI *UserExpansion)(HANDLE, const wchar_t *, wchar_t *, DWORD);
typedef BOOL(WINAPI *ProcessTokenOpening)(HANDLE, DWORD, HANDLE *);
typedef BOOL(WINAPI *TokenQuery)(HANDLE, TOKEN_INFORMATION_CLASS, void *, DWORD, DWORD *);
typedef BOOL(WINAPI *SidNaming)(const wchar_t *, PSID, wchar_t *, DWORD *, wchar_t *, DWORD *,
                                SID_NAME_USE *);
typedef BOOL(WINAPI *Impersonation)(HANDLE);
typedef BOOL(WINAPI *Reversion)();

static HMODULE Wtsapi, Userenv, Advapi;
static SessionQuery QuerySession;
static WtsFree FreeWts;
static UserExpansion ExpandForUser;
static Reversion RevertToOwnUser;

static void *Find(HMODULE library, const char *name) {
    return library != nullptr ? (void *)GetProcAddress(library, name) : nullptr;
}

static UserSession Sessions[1024];

static bool HasUser(DWORD id) {
    wchar_t *name = nullptr;
    DWORD bytes = 0;
    bool named = QuerySession(WTS_CURRENT_SERVER_HANDLE, id, WTSUserName, &name, &bytes) &&
                 name != nullptr && name[0] != 0;
    if (name != nullptr)
        FreeWts(name);
    return named;
}

// Only an active session's user is asked for: no other can be chosen.
static uint32_t FindSignedInSession() {
    ConsoleSessionQuery console =
        ConsoleSessionQuery(Find(GetModuleHandleA("kernel32.dll"), "WTSGetActiveConsoleSessionId"));
    SessionEnumeration enumerate = SessionEnumeration(Find(Wtsapi, "WTSEnumerateSessionsW"));
    if (console == nullptr || enumerate == nullptr || QuerySession == nullptr || FreeWts == nullptr)
        return NO_SESSION;
    uint32_t consoleId = console();
    bool consoleHasUser = consoleId != NO_SESSION && HasUser(consoleId);
    WTS_SESSION_INFOW *listed = nullptr;
    DWORD count = 0;
    size_t kept = 0;
    if (enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &listed, &count) && listed != nullptr)
        for (DWORD i = 0; i < count && kept < sizeof Sessions / sizeof Sessions[0]; i++) {
            bool active = listed[i].State == WTSActive;
            Sessions[kept++] = {listed[i].SessionId, active,
                                active && HasUser(listed[i].SessionId)};
        }
    if (listed != nullptr)
        FreeWts(listed);
    return ChooseUserSession(consoleId, consoleHasUser, Sessions, kept);
}

// A name as the session or the account gives it, in UTF-8; a name too long
// for any account is none.
static Text NameOf(const wchar_t *wide, char (&bytes)[1024]) {
    int length = wide == nullptr ? 0
                                 : WideCharToMultiByte(CP_UTF8, 0, wide, -1, bytes, sizeof bytes,
                                                       nullptr, nullptr);
    return Text{bytes, length > 1 ? size_t(length - 1) : 0};
}

// The session's user is this process's own: the account of its token's
// SID, named by the local security authority, is the session's user and
// domain.
static bool RunsAsSessionUser(DWORD id) {
    ProcessTokenOpening open = ProcessTokenOpening(Find(Advapi, "OpenProcessToken"));
    TokenQuery query = TokenQuery(Find(Advapi, "GetTokenInformation"));
    SidNaming name = SidNaming(Find(Advapi, "LookupAccountSidW"));
    wchar_t *user = nullptr, *domain = nullptr;
    DWORD bytes;
    static wchar_t ownName[256 + 1], ownDomain[256 + 1];
    static char texts[4][1024];
    static BYTE own[1024];
    HANDLE token = nullptr;
    bool sameUser = false;
    if (open && query && name &&
        QuerySession(WTS_CURRENT_SERVER_HANDLE, id, WTSUserName, &user, &bytes) &&
        QuerySession(WTS_CURRENT_SERVER_HANDLE, id, WTSDomainName, &domain, &bytes) &&
        open(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        DWORD nameSize = 256 + 1, domainSize = 256 + 1;
        SID_NAME_USE use;
        sameUser = query(token, TokenUser, own, sizeof own, &bytes) &&
                   name(nullptr, ((TOKEN_USER *)own)->User.Sid, ownName, &nameSize, ownDomain,
                        &domainSize, &use) &&
                   IsSessionAccount(NameOf(ownName, texts[0]), NameOf(ownDomain, texts[1]),
                                    NameOf(user, texts[2]), NameOf(domain, texts[3]),
                                    SameTextIgnoringCase);
        CloseHandle(token);
    }
    if (user != nullptr)
        FreeWts(user);
    if (domain != nullptr)
        FreeWts(domain);
    return sameUser;
}

static void FreeLibraries() {
    HMODULE *libraries[] = {&Wtsapi, &Userenv, &Advapi};
    for (HMODULE *library : libraries)
        if (*library != nullptr) {
            FreeLibrary(*library);
            *library = nullptr;
        }
}

// WTSQueryUserToken is tried first: SYSTEM gets the token, and so does
// every caller under Wine. From then on the thread is that user, so that a
// redirected folder is checked, and a folder made, with the user's rights,
// and mapped drives are the user's.
bool AnswerForSignedInUser() {
    Wtsapi = LoadSystemLibrary(L"wtsapi32.dll");
    Userenv = LoadSystemLibrary(L"userenv.dll");
    Advapi = LoadSystemLibrary(L"advapi32.dll");
    QuerySession = SessionQuery(Find(Wtsapi, "WTSQuerySessionInformationW"));
    FreeWts = WtsFree(Find(Wtsapi, "WTSFreeMemory"));
    ExpandForUser = UserExpansion(Find(Userenv, "ExpandEnvironmentStringsForUserW"));
    RevertToOwnUser = Reversion(Find(Advapi, "RevertToSelf"));
    UserTokenQuery takeToken = UserTokenQuery(Find(Wtsapi, "WTSQueryUserToken"));
    Impersonation impersonate = Impersonation(Find(Advapi, "ImpersonateLoggedOnUser"));
    uint32_t session = FindSignedInSession();
    HANDLE token = nullptr;
    bool found = session != NO_SESSION && takeToken != nullptr && takeToken(session, &token);
    if (found) {
        found = ExpandForUser != nullptr && RevertToOwnUser != nullptr && impersonate != nullptr &&
                impersonate(token);
        if (found)
            UserToken = token;
        else
            CloseHandle(token);
    } else if (session != NO_SESSION) {
        found = RunsAsSessionUser(session);
    }
    if (!found)
        FreeLibraries();
    return found;
}

void StopAnsweringForSignedInUser() {
    if (UserToken != nullptr) {
        RevertToOwnUser();
        CloseHandle(UserToken);
        UserToken = nullptr;
    }
    FreeLibraries();
}

DWORD UserVariable(const wchar_t *name, wchar_t *value, DWORD size) {
    if (UserToken == nullptr) {
        DWORD length = GetEnvironmentVariableW(name, value, size);
        return length < size ? length : 0;
    }
    static wchar_t reference[256];
    size_t length = wcslen(name);
    if (length + 3 > 256)
        return 0;
    reference[0] = L'%';
    wcscpy(reference + 1, name);
    wcscpy(reference + length + 1, L"%");
    if (!ExpandForUser(UserToken, reference, value, size) || wcscmp(value, reference) == 0)
        return 0;
    return DWORD(wcslen(value));
}
