// The signed-in user's token, and the disk seen as that user sees it. Only
// SYSTEM may take another session's token; where Windows refuses, the
// program answers only if it runs as that user already. Uses:
// GetProcAddress, CloseHandle, GetCurrentProcess, and from libraries loaded
// from the system folder only for /loggedon: WTSGetActiveConsoleSessionId
// (kernel32), WTSQuerySessionInformationW, WTSEnumerateSessionsW,
// WTSFreeMemory, WTSQueryUserToken (wtsapi32), OpenProcessToken, GetTokenInformation,
// LookupAccountSidW, ImpersonateLoggedOnUser, RevertToSelf (advapi32), WideCharToMultiByte.
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include <wtsapi32.h>
#include "session.h"
#include "win32.h"

typedef DWORD(WINAPI *ConsoleSessionQuery)();
typedef BOOL(WINAPI *SessionQuery)(HANDLE, DWORD, WTS_INFO_CLASS, wchar_t **, DWORD *);
typedef BOOL(WINAPI *SessionEnumeration)(HANDLE, DWORD, DWORD, WTS_SESSION_INFOW **, DWORD *);
typedef void(WINAPI *WtsFree)(void *);
typedef BOOL(WINAPI *UserTokenQuery)(ULONG, HANDLE *);
typedef BOOL(WINAPI *ProcessTokenOpening)(HANDLE, DWORD, HANDLE *);
typedef BOOL(WINAPI *TokenQuery)(HANDLE, TOKEN_INFORMATION_CLASS, void *, DWORD, DWORD *);
typedef BOOL(WINAPI *SidNaming)(const wchar_t *, PSID, wchar_t *, DWORD *, wchar_t *, DWORD *,
                                SID_NAME_USE *);
typedef BOOL(WINAPI *Impersonation)(HANDLE);
typedef BOOL(WINAPI *Reversion)();

static HMODULE Wtsapi, Advapi;
static SessionQuery QuerySession;
static WtsFree FreeWts;
static Reversion RevertToOwnUser;

static void *Find(HMODULE library, const char *name) {
    return library != nullptr ? (void *)GetProcAddress(library, name) : nullptr;
}

static SessionUser Sessions[1024];
static UserSession Choices[1024];
static Text KeepName(const wchar_t *wide);

// The console's session comes first in the list, where there is one.
static const SessionUser *FindSignedInSession() {
    DWORD console;
    size_t count = ListSessionUsers(Sessions, sizeof Sessions / sizeof Sessions[0], &console);
    for (size_t i = 0; i < count; i++)
        Choices[i] = {Sessions[i].id, Sessions[i].active, Sessions[i].name.length > 0};
    uint32_t chosen = ChooseUserSession(
        console, count > 0 && Sessions[0].id == console && Choices[0].hasUser, Choices, count);
    for (size_t i = 0; i < count; i++)
        if (Sessions[i].id == chosen)
            return &Sessions[i];
    return nullptr;
}

// The SID of this process's account, read from its token; null where it
// cannot be.
static PSID OwnUserSid() {
    ProcessTokenOpening open = ProcessTokenOpening(Find(Advapi, "OpenProcessToken"));
    TokenQuery query = TokenQuery(Find(Advapi, "GetTokenInformation"));
    static BYTE own[1024];
    HANDLE token = nullptr;
    DWORD bytes;
    bool read = open && query && open(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                query(token, TokenUser, own, sizeof own, &bytes);
    if (token != nullptr)
        CloseHandle(token);
    return read ? ((TOKEN_USER *)own)->User.Sid : nullptr;
}

// The session's user is this process's own: the account of its token's
// SID, named by the local security authority, is the session's user and
// domain.
static bool RunsAsSessionUser(const SessionUser *session) {
    SidNaming name = SidNaming(Find(Advapi, "LookupAccountSidW"));
    static wchar_t ownName[256 + 1], ownDomain[256 + 1];
    DWORD nameSize = 256 + 1, domainSize = 256 + 1;
    SID_NAME_USE use;
    PSID own = OwnUserSid();
    return own && name && name(nullptr, own, ownName, &nameSize, ownDomain, &domainSize, &use) &&
           IsSessionAccount(KeepName(ownName), KeepName(ownDomain), session->name, session->domain,
                            SameTextIgnoringCase);
}

static void FreeLibraries() {
    HMODULE *libraries[] = {&Wtsapi, &Advapi};
    for (HMODULE *library : libraries)
        if (*library != nullptr) {
            FreeLibrary(*library);
            *library = nullptr;
        }
}

// Loaded once, for /loggedon or /profiles, and only then.
static void LoadSessionLibraries() {
    if (Wtsapi != nullptr || Advapi != nullptr)
        return;
    Wtsapi = LoadSystemLibrary(L"wtsapi32.dll");
    Advapi = LoadSystemLibrary(L"advapi32.dll");
    QuerySession = SessionQuery(Find(Wtsapi, "WTSQuerySessionInformationW"));
    FreeWts = WtsFree(Find(Wtsapi, "WTSFreeMemory"));
    RevertToOwnUser = Reversion(Find(Advapi, "RevertToSelf"));
}

// S-1-5-18: one sub-authority, 18, under the NT authority, 5.
bool RunsAsSystem() {
    LoadSessionLibraries();
    const SID *sid = (const SID *)OwnUserSid();
    static const BYTE nt[6] = {0, 0, 0, 0, 0, 5};
    return sid != nullptr && sid->SubAuthorityCount == 1 &&
           memcmp(sid->IdentifierAuthority.Value, nt, 6) == 0 && sid->SubAuthority[0] == 18;
}

// Only SYSTEM may take another session's token, and every caller under
// Wine. From then on the thread is that user, so that a redirected folder
// is checked, and a folder made, with the user's rights, and mapped drives
// are the user's.
bool AnswerForUserOfSession(DWORD session) {
    LoadSessionLibraries();
    UserTokenQuery takeToken = UserTokenQuery(Find(Wtsapi, "WTSQueryUserToken"));
    Impersonation impersonate = Impersonation(Find(Advapi, "ImpersonateLoggedOnUser"));
    HANDLE token = nullptr;
    if (session == NO_SESSION || takeToken == nullptr || !takeToken(session, &token))
        return false;
    if (RevertToOwnUser != nullptr && impersonate != nullptr && impersonate(token)) {
        UserToken = token;
        return true;
    }
    CloseHandle(token);
    return false;
}

void StopAnsweringForSessionUser() {
    if (UserToken != nullptr) {
        RevertToOwnUser();
        CloseHandle(UserToken);
        UserToken = nullptr;
    }
}

bool AnswerForSignedInUser() {
    const SessionUser *session = FindSignedInSession();
    bool found =
        session != nullptr && (AnswerForUserOfSession(session->id) || RunsAsSessionUser(session));
    if (!found)
        FreeLibraries();
    return found;
}

void StopAnsweringForSignedInUser() {
    StopAnsweringForSessionUser();
    FreeLibraries();
}

static char Names[64 * 1024];
static size_t NamesUsed;

// An account's name or domain in UTF-8, kept until the next list of
// sessions; empty for none, or where it does not fit.
static Text KeepName(const wchar_t *wide) {
    int length = wide == nullptr
                     ? 0
                     : WideCharToMultiByte(CP_UTF8, 0, wide, -1, Names + NamesUsed,
                                           int(sizeof Names - NamesUsed), nullptr, nullptr);
    Text name = {Names + NamesUsed, length > 1 ? size_t(length - 1) : 0};
    NamesUsed += name.length;
    return name;
}

static Text SessionName(DWORD id, WTS_INFO_CLASS which) {
    wchar_t *wide = nullptr;
    DWORD bytes;
    Text name = KeepName(
        QuerySession(WTS_CURRENT_SERVER_HANDLE, id, which, &wide, &bytes) ? wide : nullptr);
    if (wide != nullptr)
        FreeWts(wide);
    return name;
}

size_t ListSessionUsers(SessionUser *sessions, size_t capacity, DWORD *console) {
    LoadSessionLibraries();
    ConsoleSessionQuery consoleQuery =
        ConsoleSessionQuery(Find(GetModuleHandleA("kernel32.dll"), "WTSGetActiveConsoleSessionId"));
    SessionEnumeration enumerate = SessionEnumeration(Find(Wtsapi, "WTSEnumerateSessionsW"));
    *console = NO_SESSION;
    if (consoleQuery == nullptr || enumerate == nullptr || QuerySession == nullptr ||
        FreeWts == nullptr)
        return 0;
    WTS_SESSION_INFOW *listed = nullptr;
    DWORD listedCount = 0;
    if (!enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &listed, &listedCount) || listed == nullptr)
        listedCount = 0;
    size_t count = 0;
    NamesUsed = 0;
    *console = consoleQuery();
    for (DWORD i = 0; i <= listedCount && count < capacity; i++) {
        DWORD id = i == 0 ? *console : listed[i - 1].SessionId;
        if (id == NO_SESSION || (i > 0 && id == *console))
            continue;
        Text name = SessionName(id, WTSUserName);
        sessions[count++] = {id, i == 0 || listed[i - 1].State == WTSActive, name,
                             name.length > 0 ? SessionName(id, WTSDomainName) : Text{"", 0}};
    }
    if (listed != nullptr)
        FreeWts(listed);
    return count;
}
