// Whose folders are asked: by default the caller's own; with /loggedon, the
// user signed in at this machine, as a script that runs as SYSTEM wants.
#ifndef KORVANE_SESSION_H
#define KORVANE_SESSION_H

#include <stdint.h>
#include <stddef.h>
#include "../text.h"

// The platform's session ids; the console's is NO_SESSION while sessions
// switch.
const uint32_t NO_SESSION = 0xFFFFFFFF;

struct UserSession {
    uint32_t id;
    bool active;  // someone works in it now (a locked console is active too)
    bool hasUser; // a user is signed in to it
};

// The session whose user is answered for: the console's, where a user is
// signed in there; else the one active session that has a user, such as a
// single remote desktop; else NO_SESSION (nobody signed in, or a terminal
// server with several users and nobody at the console). The console's user
// is asked for directly, since a platform may list no sessions.
uint32_t ChooseUserSession(uint32_t console, bool consoleHasUser, const UserSession *sessions,
                           size_t count);

// Whether a session's user is this process's account, by the names the
// platform's security authority gives both: one user name and one domain,
// each alike as `same` compares them (the platform ignores letter case).
// No name lookup, which an Entra ID name or a domain out of reach defeats.
// A session without a user name is nobody's.
bool IsSessionAccount(Text name, Text domain, Text sessionName, Text sessionDomain,
                      bool (*same)(Text, Text));

// The platform's (session_win32.cpp, session_posix.cpp). From here on every
// question about a folder, and every look at the disk, is for the signed-in
// user; false where there is nobody, and then nothing changes.
bool AnswerForSignedInUser();
// The caller's own again; whatever was held for the user is let go.
void StopAnsweringForSignedInUser();
// Whether this process runs as the machine's own account (SYSTEM), whose
// folders are seldom what a script run as it means.
bool RunsAsSystem();

#endif
