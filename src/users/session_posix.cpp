// The host has no sessions to choose from: whoever runs korvane is the user
// signed in, as on Windows when that user runs it, so nothing changes.
#include "session.h"

bool AnswerForSignedInUser() {
    return true;
}

void StopAnsweringForSignedInUser() {}

bool RunsAsSystem() {
    return false;
}
