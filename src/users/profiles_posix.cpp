// The host has one user, whoever runs the program: their profile is their
// home, and their answers are a lookup's. No value moves a folder there,
// so none has a problem.
#include <stdlib.h>
#include "profiles.h"

static ProfileAnswer Only;
static UserProblems OnlyProblems;
static PathText Path, ByDefault;

void CheckOwnFolders(UserProblems *problems) {
    *problems = {};
}

void ForgetUserProblems(UserProblems *problems) {
    *problems = {};
}

bool AskEveryProfile(const FolderQuery *query, int paths, bool (*)(), ProfileAnswers *answers) {
    *answers = {};
    if (!(paths & FOLDER_PROBLEMS) && !NamesAFolder(query))
        return false;
    if (paths & FOLDER_PROBLEMS)
        answers->problems = &OnlyProblems;
    FolderQuery asked = *query;
    Path.length = ByDefault.length = 0;
    if (!(paths & FOLDER_PROBLEMS))
        AskPlatformForFolder(&asked, &Path);
    if ((paths & PATHS_NOW_AND_BY_DEFAULT) && !(paths & FOLDER_PROBLEMS)) {
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
    answers->problems = nullptr;
    answers->answers = nullptr;
    answers->count = 0;
}
