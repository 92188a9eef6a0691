// What the Windows sides of the users share: the sessions and their users,
// and a session's user answered for.
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

#endif
