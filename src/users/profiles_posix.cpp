// The host has one user, whoever runs the program: their profile is their
// home, and their answers are a lookup's.
#include <stdlib.h>
#include "profiles.h"

static ProfileAnswer Only;
static PathText Path, ByDefault;

bool AskEveryProfile(const FolderQuery *query, int paths, bool (*)(), ProfileAnswers *answers) {
    *answers = {};
    if (!NamesAFolder(query))
        return false;
    FolderQuery asked = *query;
    AskPlatformForFolder(&asked, &Path);
    ByDefault.length = 0;
    if (paths & PATHS_NOW_AND_BY_DEFAULT) {
        asked.option = OPTION_DEFAULT;
        AskPlatformForFolder(&asked, &ByDefault);
    }
    const char *user = getenv("USER"), *home = getenv("HOME");
    if (home == nullptr || home[0] != '/')
        return true;
    Only = {TextOf(user != nullptr ? user : ""),
            TextOf(""),
            TextOf(home),
            true,
            true,
            TextOfPath(&Path),
            TextOfPath(&ByDefault),
            false,
            MOVE_UNTOLD};
    answers->answers = &Only;
    answers->count = 1;
    return true;
}

void ForgetProfiles(ProfileAnswers *answers) {
    answers->answers = nullptr;
    answers->count = 0;
}
