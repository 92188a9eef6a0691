// Which session's user /loggedon answers for, and whether that is the caller.
#include "session.h"

uint32_t ChooseUserSession(uint32_t console, bool consoleHasUser, const UserSession *sessions,
                           size_t count) {
    if (console != NO_SESSION && consoleHasUser)
        return console;
    uint32_t chosen = NO_SESSION;
    size_t withUsers = 0;
    for (size_t i = 0; i < count; i++)
        if (sessions[i].active && sessions[i].hasUser) {
            chosen = sessions[i].id;
            withUsers++;
        }
    return withUsers == 1 ? chosen : NO_SESSION;
}

bool IsSessionAccount(Text name, Text domain, Text sessionName, Text sessionDomain,
                      bool (*same)(Text, Text)) {
    return sessionName.length > 0 && same(name, sessionName) &&
           (domain.length == 0 ? sessionDomain.length == 0 : same(domain, sessionDomain));
}
