// What the Windows sides of the users share: the sessions and their users,
// a session's user answered for, advapi32's registry and token calls, and
// other users' hives.
#ifndef KORVANE_USERS_WIN32_H
#define KORVANE_USERS_WIN32_H

#include "../folders/win32.h"

// A session, whether someone works in it now, and its user's account name
// and domain in UTF-8, empty where nobody is signed in.
struct SessionUser {
    DWORD id;
    bool active;
    Text name, domain;
};
// Every session, the console's first (its id in *console, NO_SESSION while
// sessions switch), asked for directly since Wine lists none; the texts
// stay until the next call.
size_t ListSessionUsers(SessionUser *sessions, size_t capacity, DWORD *console);
// The session's user's token, where the caller may take it (SYSTEM): the
// thread is then that user, and every question carries the token, until
// StopAnsweringForSessionUser. False, and nothing changes, where not.
bool AnswerForUserOfSession(DWORD session);
void StopAnsweringForSessionUser();

// advapi32's calls that /profiles makes, from the system folder, loaded
// for it alone: no other run pays for the library.
struct RegistryCalls {
    LONG(WINAPI *OpenKey)(HKEY, const wchar_t *, DWORD, REGSAM, HKEY *);
    LONG(WINAPI *OpenCurrentUser)(REGSAM, HKEY *);
    LONG(WINAPI *EnumerateKeys)
    (HKEY, DWORD, wchar_t *, DWORD *, DWORD *, wchar_t *, DWORD *, FILETIME *);
    LONG(WINAPI *EnumerateValues)
    (HKEY, DWORD, wchar_t *, DWORD *, DWORD *, DWORD *, BYTE *, DWORD *);
    LONG(WINAPI *ReadValue)(HKEY, const wchar_t *, DWORD *, DWORD *, BYTE *, DWORD *);
    LONG(WINAPI *QueryValue)
    (HKEY, const wchar_t *, const wchar_t *, DWORD, DWORD *, void *, DWORD *);
    LONG(WINAPI *CloseKey)(HKEY);
    LONG(WINAPI *LoadHive)(HKEY, const wchar_t *, const wchar_t *);
    LONG(WINAPI *UnloadHive)(HKEY, const wchar_t *);
    BOOL(WINAPI *OpenToken)(HANDLE, DWORD, HANDLE *);
    BOOL(WINAPI *LookupPrivilege)(const wchar_t *, const wchar_t *, LUID *);
    BOOL(WINAPI *SetPrivileges)
    (HANDLE, BOOL, TOKEN_PRIVILEGES *, DWORD, TOKEN_PRIVILEGES *, DWORD *);
    BOOL(WINAPI *QueryToken)(HANDLE, TOKEN_INFORMATION_CLASS, void *, DWORD, DWORD *);
    BOOL(WINAPI *WriteSid)(PSID, wchar_t **);
    BOOL(WINAPI *ReadSid)(const wchar_t *, PSID *);
    BOOL(WINAPI *NameSid)
    (const wchar_t *, PSID, wchar_t *, DWORD *, wchar_t *, DWORD *, SID_NAME_USE *);
};
extern RegistryCalls Registry;
// False, with the library let go, where any call is missing.
bool LoadRegistryCalls();
void FreeRegistryCalls();

// Other users' hives, between StartReadingHives and StopReadingHives: the
// first enables the privileges that a load needs and unloads what runs
// that have ended left loaded; the last puts the privileges back as they
// were. `stopping` is asked between one unload and the next load, and in
// a load's retries: once it says so, nothing more is loaded. Console
// events are held (HoldInterrupts) while ended runs' keys are unloaded,
// and from each load to its unload, whether it succeeds or not.
void StartReadingHives(bool (*stopping)());
void StopReadingHives();
// The user's own hive, opened for reading: under their SID where it is
// loaded already (the user is signed in, or another program holds it),
// else loaded now from their profile folder, NTUSER.MAN before NTUSER.DAT.
// The Default profile (an empty SID) is always its file. A hive in use is
// tried again for a second, its SID looked for before each try. False
// where there is none to read.
bool OpenUserHive(Text sid, Text folder, HKEY *hive, bool *loadedNow);
// Closes it, and unloads it where this run loaded it, tried again for a
// second while something else holds a key in it: 0, or the unload's
// error, and then *name is the key that stays loaded under HKEY_USERS.
DWORD CloseUserHive(HKEY hive, Text *name);

#endif
