// korvane: tells where the special folders live.
//   korvane KEYWORD...   prints the path of the first keyword that names a folder;
//                        /noverify, /create or /default before it: where it
//                        would be, made where it is missing, or where it
//                        would be had nothing moved it
//   korvane              lists the keywords and their paths, then waits for Enter
//   korvane /?           lists them, then every mode and option, and ends at
//                        once; also /help, /h, --help
//   korvane /version     prints the version and the build's word size
//   korvane /all         prints every keyword and its path, KEYWORD=PATH a line
//   korvane /json        prints the same as one JSON object
//   korvane /known       prints every folder the platform knows, NAME=PATH a
//                        line; with /json after it, as a JSON array
//   korvane /moved       the same, for the folders moved from their default
//   korvane /loggedon ...  any of these but help and version, for the user
//                        signed in at this machine rather than the caller
//   korvane /profiles WORD  the folder of every profile on this machine, a
//                        line each; /noverify and /json may come before WORD
//   korvane /problems    what is wrong with the caller's folders, a line
//                        each, status 1 if anything; /loggedon and
//                        /profiles before it, /json after it
#include "../console/console.h"
#include "../folders/folders.h"
#include "../folders/problems.h"
#include "../users/profiles.h"
#include "../users/session.h"
#include "arguments.h"
#include "json.h"

static const uint8_t BLACK = 0, BLUE = 1, GREEN = 2, BROWN = 6, LIGHT_GREY = 7, DARK_GREY = 8,
                     LIGHT_GREEN = 10, LIGHT_CYAN = 11;

// clang-format off
static const char *const ListingKeywords[] = {
    "DESKTOP", "PROGRAMS", "PERSONAL", "FAVORITES", "STARTUP", "RECENT", "SENDTO",
    "STARTMENU", "DESKTOPDIRECTORY", "FONTS", "TEMPLATES", "APPDATA", "LOCAL_APPDATA",
    "PRINTHOOD", "NETHOOD", "COOKIES", "HISTORY", "ADMINTOOLS", "CDBURN_AREA",
    "COMMON_ADMINTOOLS", "COMMON_APPDATA", "COMMON_DOCUMENTS", "COMMON_TEMPLATES",
    "COMMON_MUSIC", "COMMON_PICTURES", "COMMON_VIDEO", "COMMON_FAVORITES", "PROGRAM_FILES",
    "PROGRAM_FILES_COMMON", "RESOURCES", "RESOURCES_LOCALIZED", "SYSTEM", "WINDOWS", "TEMP",
};
// clang-format on

// What the help adds after the list: every mode and option, a line each, in
// the manual's order, last, so that a console of 25 lines shows it whole
// once the list has scrolled by; no line wider than 79 columns. One text,
// written as one piece.
static const char HelpText[] =
    "\r\n"
    "korvane KEYWORD [KEYWORD...]  the path of the first word that names a folder\r\n"
    "korvane /noverify KEYWORD     where the folder is or would be, made or not\r\n"
    "korvane /create KEYWORD       the folder, made first where it is missing\r\n"
    "korvane /default KEYWORD      where it would be had nothing moved it\r\n"
    "korvane                       the list above, then wait for Enter\r\n"
    "korvane /?                    the list and this, at once (also --help, /h)\r\n"
    "korvane /all                  every keyword: KEYWORD=PATH, a line each\r\n"
    "korvane /json                 every keyword, as one JSON object\r\n"
    "korvane \"{GUID}\" | shell:NAME | csidl:N   any folder Windows knows\r\n"
    "korvane /known [/json]        every folder Windows knows: NAME=PATH, or JSON\r\n"
    "korvane /moved [/json]        the folders moved from where Windows puts them\r\n"
    "korvane /loggedon ...         any of these but /? and --version, for the user\r\n"
    "                              signed in at this PC, from a script run as SYSTEM\r\n"
    "korvane /profiles WORD        that folder for every profile on this PC\r\n"
    "korvane /profiles /json WORD  every profile, its user and its folder, as JSON\r\n"
    "korvane /problems [/json]     what is wrong with the folders: status 1 if any;\r\n"
    "                              also after /loggedon, or /profiles\r\n"
    "korvane --version             the version and the build: korvane X.Y.Z (64-bit)\r\n"
    "What each keyword names, and recipes for scripts: README.txt in the archive.\r\n";

// Big enough for any path; kept out of the stack.
static PathText FolderPath;

static Text PrintedPath(FolderId id) {
    GetFolderPath(id, &FolderPath);
    WithTrailingDelimiter(&FolderPath);
    return TextOfPath(&FolderPath);
}

static bool IsLoggedOnWord(Text word) {
    return SpellsInAnyCase(NormalizeArgument(word), "LOGGEDON");
}

// A keyword always names a folder; a GUID, a shell name or a CSIDL only one
// that the platform knows. Options before the word that names a folder
// apply to it; words after it are never looked at. Another user's folders
// are asked for from the first word that may name one; where nobody is
// signed in, nothing is printed.
static void RunLookupMode(ArgumentWalk *arguments, bool forUser) {
    Text word;
    FolderOption option = OPTION_NONE;
    bool answering = false;
    while (NextArgument(arguments, &word)) {
        Text normal = NormalizeArgument(word);
        if (ReadOptionWord(normal, &option))
            continue;
        if (SpellsInAnyCase(normal, "LOGGEDON")) {
            forUser = true;
            continue;
        }
        if (forUser && !answering && !(answering = AnswerForSignedInUser()))
            return;
        FolderId id = KeywordToFolderId(normal);
        if (id >= 0)
            GetFolderPath(id, &FolderPath, option);
        else if (!GetNamedFolderPath(normal, &FolderPath, option))
            continue;
        WithTrailingDelimiter(&FolderPath);
        WriteColored(TextOfPath(&FolderPath), LIGHT_GREEN, BLACK, ConsoleHandle);
        return;
    }
}

// Every keyword in the table's order, a folder without a path included.
// NAME=PATH, in the listing's colours.
static void WriteNameAndPath(Text name, Text path) {
    WriteColored(name, GREEN, BLACK, ConsoleHandle);
    WriteColored(TextOf("="), BROWN, BLACK, ConsoleHandle);
    WriteLineColored(path, LIGHT_GREY, BLACK, ConsoleHandle);
}

static void RunAllMode() {
    for (const FolderKeyword &row : FolderKeywordTable)
        WriteNameAndPath(TextOf(row.keyword), PrintedPath(row.id));
}

// A line, or a piece of one, of JSON or of standard error: one text escaped
// (the longest path or folder name) and a few short ones fit.
static char JsonLine[JSON_BYTES_PER_BYTE * PATH_CAPACITY + 128];

static size_t AppendText(size_t at, Text text) {
    memcpy(JsonLine + at, text.bytes, text.length);
    return at + text.length;
}

static size_t AppendJsonString(size_t at, Text text) {
    JsonLine[at++] = '"';
    at += EscapeJson(text, JsonLine + at);
    JsonLine[at++] = '"';
    return at;
}

// A folder without a path has null.
static size_t AppendJsonPath(size_t at, Text path) {
    return path.length > 0 ? AppendJsonString(at, path) : AppendText(at, TextOf("null"));
}

static void RunJsonMode() {
    WriteLineColored(TextOf("{"), LIGHT_GREY, BLACK, ConsoleHandle);
    for (size_t i = 0; i < FOLDER_KEYWORD_COUNT; i++) {
        size_t length = AppendText(0, TextOf("  \""));
        length = AppendText(length, TextOf(FolderKeywordTable[i].keyword));
        length = AppendText(length, TextOf("\": "));
        length = AppendJsonPath(length, PrintedPath(FolderKeywordTable[i].id));
        if (i + 1 < FOLDER_KEYWORD_COUNT)
            JsonLine[length++] = ',';
        WriteLineColored(Text{JsonLine, length}, LIGHT_GREY, BLACK, ConsoleHandle);
    }
    WriteLineColored(TextOf("}"), LIGHT_GREY, BLACK, ConsoleHandle);
}

static Text CategoryName(FolderCategory category) {
    switch (category) {
    case FOLDER_VIRTUAL:
        return TextOf("virtual");
    case FOLDER_FIXED:
        return TextOf("fixed");
    case FOLDER_COMMON:
        return TextOf("common");
    default:
        return TextOf("per-user");
    }
}

static Text DelimitedCopy(Text path) {
    memcpy(FolderPath.bytes, path.bytes, path.length);
    FolderPath.length = path.length;
    WithTrailingDelimiter(&FolderPath);
    return TextOfPath(&FolderPath);
}

// In FolderMove's order; a folder that has not moved went nowhere.
static Text WhereMovedName(bool moved, FolderMove movedTo) {
    static const char *const names[] = {"null", "\"local\"", "\"network\"", "\"onedrive\""};
    return TextOf(moved ? names[movedTo] : "null");
}

// The end of a known folder's object and of a profile's, after the
// `length` bytes of the line that the object has so far: "path",
// "defaultPath", "moved" and "movedTo", in pieces so that each long path
// fits the line's buffer.
static void WritePathsInJson(size_t length, Text path, Text defaultPath, bool moved,
                             FolderMove movedTo, bool last) {
    length = AppendText(length, TextOf("\"path\": "));
    WriteColored(Text{JsonLine, length}, LIGHT_GREY, BLACK, ConsoleHandle);
    length = AppendJsonPath(0, DelimitedCopy(path));
    length = AppendText(length, TextOf(", \"defaultPath\": "));
    WriteColored(Text{JsonLine, length}, LIGHT_GREY, BLACK, ConsoleHandle);
    length = AppendJsonPath(0, DelimitedCopy(defaultPath));
    length = AppendText(length, TextOf(moved ? ", \"moved\": true" : ", \"moved\": false"));
    length = AppendText(length, TextOf(", \"movedTo\": "));
    length = AppendText(length, WhereMovedName(moved, movedTo));
    length = AppendText(length, TextOf(last ? "}" : "},"));
    WriteLineColored(Text{JsonLine, length}, LIGHT_GREY, BLACK, ConsoleHandle);
}

// An object a line, in three pieces, so that a long name and each long path
// fit the line's buffer.
static void WriteKnownFolderInJson(const KnownFolder *folder, bool last) {
    char id[GUID_TEXT_LENGTH];
    FormatFolderGuid(&folder->id, id);
    size_t length = AppendText(0, TextOf("  {\"name\": "));
    length = AppendJsonString(length, folder->name);
    length = AppendText(length, TextOf(", \"id\": \""));
    length = AppendText(length, Text{id, GUID_TEXT_LENGTH});
    length = AppendText(length, TextOf("\", \"category\": \""));
    length = AppendText(length, CategoryName(folder->category));
    length = AppendText(length, TextOf("\", "));
    WritePathsInJson(length, folder->path, folder->defaultPath, folder->moved, folder->movedTo,
                     last);
}

// Every known folder, or only those moved from their default, NAME=PATH a
// line or as a JSON array; each name works after "shell:", which gives the
// same path as /known. A moved folder's line names where it is now, made
// or not. COM starts once, for the list.
static void RunKnownMode(bool json, bool movedOnly) {
    KnownFolderList list;
    ListKnownFolders(&list, (json || !movedOnly ? PATH_FOUND : 0) |
                                (json || movedOnly ? PATHS_NOW_AND_BY_DEFAULT : 0) |
                                (json ? WHERE_MOVED : 0));
    SortKnownFolders(&list);
    size_t last = list.count;
    for (size_t i = 0; i < list.count; i++)
        if (!movedOnly || list.folders[i].moved)
            last = i;
    if (json)
        WriteLineColored(TextOf("["), LIGHT_GREY, BLACK, ConsoleHandle);
    for (size_t i = 0; i < list.count; i++) {
        const KnownFolder *folder = &list.folders[i];
        if (movedOnly && !folder->moved)
            continue;
        if (json)
            WriteKnownFolderInJson(folder, i == last);
        else
            WriteNameAndPath(folder->name,
                             DelimitedCopy(movedOnly ? folder->unverifiedPath : folder->path));
    }
    if (json)
        WriteLineColored(TextOf("]"), LIGHT_GREY, BLACK, ConsoleHandle);
    ForgetKnownFolders(&list);
}

// The log names each key that stays loaded: an unload failed however often
// it was tried.
static void TellHivesLeftLoaded(const ProfileAnswers *answers) {
    for (size_t i = 0; i < answers->leftLoadedCount; i++) {
        size_t length = AppendText(0, TextOf("korvane: HKEY_USERS\\"));
        length =
            AppendText(length, Text{answers->leftLoaded[i].name, answers->leftLoaded[i].length});
        length = AppendText(
            length, TextOf(" could not be unloaded; the next korvane /profiles tries again"));
        WriteErrorLine(Text{JsonLine, length});
    }
}

// Whose an object is: "user", "sid" and "profile", the line's start
// written, its profile left in the line, whose length it gives.
static size_t StartProfileInJson(const ProfileAnswer *answer) {
    size_t length = AppendText(0, TextOf("  {\"user\": "));
    length = AppendJsonPath(length, answer->user);
    length = AppendText(length, TextOf(", \"sid\": "));
    length = AppendJsonPath(length, answer->sid);
    length = AppendText(length, TextOf(", \"profile\": "));
    WriteColored(Text{JsonLine, length}, LIGHT_GREY, BLACK, ConsoleHandle);
    return AppendJsonPath(0, DelimitedCopy(answer->profile));
}

// A profile's object, on one line in pieces as a known folder's is: the
// Default profile has no user and no SID, and a profile whose registry
// could not be read no paths.
static void WriteProfileInJson(const ProfileAnswer *answer, bool last) {
    size_t length = StartProfileInJson(answer);
    length = AppendText(
        length, TextOf(answer->signedIn ? ", \"signedIn\": true, " : ", \"signedIn\": false, "));
    WritePathsInJson(length, answer->path, answer->defaultPath, answer->moved, answer->movedTo,
                     last);
}

// What /problems found ends the run with 1, as Intune's detection scripts
// tell that a remediation is needed; none, with 0.
static int ProblemsStatus;

// Intune keeps at most this many characters of a detection script's output.
static const size_t MOST_PROBLEM_CHARACTERS = 2048;

static size_t CharactersOf(Text text) {
    size_t count = 0;
    for (size_t i = 0; i < text.length; i++)
        count += (uint8_t(text.bytes[i]) & 0xC0) != 0x80;
    return count;
}

static size_t AppendNumber(size_t at, size_t value) {
    char digits[24];
    size_t count = 0;
    do
        digits[count++] = char('0' + value % 10);
    while ((value /= 10) > 0);
    while (count > 0)
        JsonLine[at++] = digits[--count];
    return at;
}

// "WORD: NAME=PATH", as /moved names the folder and prints the path, and
// in brackets the other folder, the second value or the other profile;
// with /profiles, the profile's folder in square brackets first.
static size_t FormatProblemLine(const ProfileAnswer *who, const UserProblems *user,
                                const FoundProblem *problem) {
    static const char *const before[PROBLEM_WORD_COUNT] = {
        "", "", "", " (also ", "", " (in the profile ", "", " (second value: "};
    const CheckedFolder *folder = &user->folders[problem->folder];
    size_t length = 0;
    if (who != nullptr) {
        length = AppendText(length, TextOf("["));
        length = AppendText(length, DelimitedCopy(who->profile));
        length = AppendText(length, TextOf("] "));
    }
    length = AppendText(length, TextOf(ProblemWords[problem->word]));
    length = AppendText(length, TextOf(": "));
    length = AppendText(length, folder->name);
    length = AppendText(length, TextOf("="));
    length = AppendText(length, DelimitedCopy(folder->path));
    if (problem->other.length > 0) {
        length = AppendText(length, TextOf(before[problem->word]));
        length =
            AppendText(length, problem->word == PROBLEM_SHARED ? problem->other
                                                               : DelimitedCopy(problem->other));
        length = AppendText(length, TextOf(")"));
    }
    return length;
}

// "no problems", "1 problem" or "N problems in M folders", and the
// profiles checked, or a word on SYSTEM's own folders.
static size_t FormatProblemsCount(size_t problems, size_t folders, size_t profiles, bool system) {
    size_t length = 0;
    if (problems == 0)
        length = AppendText(length, TextOf("no problems"));
    else if (problems == 1)
        length = AppendText(length, TextOf("1 problem"));
    else {
        length = AppendNumber(length, problems);
        length = AppendText(length, TextOf(" problems in "));
        length = AppendNumber(length, folders);
        length = AppendText(length, TextOf(" folders"));
    }
    if (profiles > 0) {
        length = AppendText(length, TextOf(", "));
        length = AppendNumber(length, profiles);
        length =
            AppendText(length, TextOf(profiles == 1 ? " profile checked" : " profiles checked"));
    }
    if (system)
        length = AppendText(length, TextOf("; these are SYSTEM's own folders: for the signed-in "
                                           "user's, korvane /loggedon /problems; for every "
                                           "profile's, korvane /profiles /problems"));
    return length;
}

// As many lines as fit in Intune's 2,048 characters with the count line,
// then how many more there are, then the count line; CR LF counts two.
static void WriteProblemLines(const ProfileAnswer *who, const UserProblems *users, size_t count,
                              bool system) {
    size_t total = 0, folders = 0, characters = 0, written = 0, used = 0;
    for (size_t u = 0; u < count; u++)
        for (size_t i = 0; i < users[u].problemCount; i++) {
            const FoundProblem *problem = &users[u].problems[i];
            total++;
            folders += i == 0 || users[u].problems[i - 1].folder != problem->folder;
            characters += CharactersOf(Text{JsonLine, FormatProblemLine(who ? &who[u] : nullptr,
                                                                        &users[u], problem)}) +
                          2;
        }
    static char last[512];
    size_t lastLength = FormatProblemsCount(total, folders, who ? count : 0, system);
    memcpy(last, JsonLine, lastLength);
    size_t room = MOST_PROBLEM_CHARACTERS - (lastLength + 2);
    if (characters > room)
        room -= CharactersOf(TextOf("... and  more")) + 2 + AppendNumber(0, total);
    bool full = false;
    for (size_t u = 0; u < count && !full; u++)
        for (size_t i = 0; i < users[u].problemCount && !full; i++) {
            size_t length =
                FormatProblemLine(who ? &who[u] : nullptr, &users[u], &users[u].problems[i]);
            size_t line = CharactersOf(Text{JsonLine, length}) + 2;
            full = used + line > room;
            if (full)
                break;
            WriteLineColored(Text{JsonLine, length}, LIGHT_GREY, BLACK, ConsoleHandle);
            used += line;
            written++;
        }
    if (written < total) {
        size_t length = AppendText(0, TextOf("... and "));
        length = AppendNumber(length, total - written);
        length = AppendText(length, TextOf(" more"));
        WriteLineColored(Text{JsonLine, length}, LIGHT_GREY, BLACK, ConsoleHandle);
    }
    WriteLineColored(Text{last, lastLength}, LIGHT_GREY, BLACK, ConsoleHandle);
}

// An object a line, in pieces as a profile's is.
static void WriteProblemInJson(const ProfileAnswer *who, const UserProblems *user,
                               const FoundProblem *problem, bool last) {
    const CheckedFolder *folder = &user->folders[problem->folder];
    char id[GUID_TEXT_LENGTH];
    FormatFolderGuid(&folder->id, id);
    size_t length = who != nullptr ? AppendText(StartProfileInJson(who), TextOf(", \"name\": "))
                                   : AppendText(0, TextOf("  {\"name\": "));
    length = AppendJsonString(length, folder->name);
    length = AppendText(length, TextOf(", \"id\": \""));
    length = AppendText(length, Text{id, GUID_TEXT_LENGTH});
    length = AppendText(length, TextOf("\", \"problem\": \""));
    length = AppendText(length, TextOf(ProblemWords[problem->word]));
    length = AppendText(length, TextOf("\", \"path\": "));
    WriteColored(Text{JsonLine, length}, LIGHT_GREY, BLACK, ConsoleHandle);
    bool untold = problem->word == PROBLEM_UNTOLD;
    length = AppendJsonPath(0, untold ? Text{"", 0} : DelimitedCopy(folder->path));
    length = AppendText(length, TextOf(", \"defaultPath\": "));
    WriteColored(Text{JsonLine, length}, LIGHT_GREY, BLACK, ConsoleHandle);
    length = AppendJsonPath(0, DelimitedCopy(folder->defaultPath));
    length = AppendText(length, TextOf(", \"other\": "));
    WriteColored(Text{JsonLine, length}, LIGHT_GREY, BLACK, ConsoleHandle);
    Text other = problem->other;
    length = AppendJsonPath(0, problem->word == PROBLEM_SHARED ? other : DelimitedCopy(other));
    length = AppendText(length, TextOf(last ? "}" : "},"));
    WriteLineColored(Text{JsonLine, length}, LIGHT_GREY, BLACK, ConsoleHandle);
}

static void WriteProblems(const ProfileAnswer *who, const UserProblems *users, size_t count,
                          bool json, bool system) {
    size_t total = 0, written = 0;
    for (size_t u = 0; u < count; u++)
        total += users[u].problemCount;
    ProblemsStatus = total > 0;
    if (!json) {
        WriteProblemLines(who, users, count, system);
        return;
    }
    WriteLineColored(TextOf("["), LIGHT_GREY, BLACK, ConsoleHandle);
    for (size_t u = 0; u < count; u++)
        for (size_t i = 0; i < users[u].problemCount; i++)
            WriteProblemInJson(who ? &who[u] : nullptr, &users[u], &users[u].problems[i],
                               ++written == total);
    WriteLineColored(TextOf("]"), LIGHT_GREY, BLACK, ConsoleHandle);
}

// Ended as interrupted, once every hive is unloaded, or with a failed
// unload's status once the answers are out: the keys left loaded named
// first, either way.
static void EndIfStoppedOrLeftLoaded(const ProfileAnswers *answers, bool answered) {
    if (Interrupted()) {
        TellHivesLeftLoaded(answers);
        EndAsInterrupted();
    }
    if (answered && answers->unloadError != 0) {
        WriteOutRemaining();
        CheckStreamError();
        TellHivesLeftLoaded(answers);
        EndWithError(answers->unloadError);
    }
}

// Every profile's folders, each read from their own registry.
static void RunProfileProblems(bool json) {
    static ProfileAnswers answers;
    FolderQuery none = {};
    AskEveryProfile(&none, FOLDER_PROBLEMS | WHERE_MOVED, Interrupted, &answers);
    EndIfStoppedOrLeftLoaded(&answers, false);
    WriteProblems(answers.answers, answers.problems, answers.count, json, false);
    ForgetProfiles(&answers);
    EndIfStoppedOrLeftLoaded(&answers, true);
}

// The caller's folders, or the signed-in user's; with nobody signed in, a
// line that says so, and nothing to remediate.
static void RunProblemsMode(ArgumentWalk arguments, bool forUser) {
    Text word;
    bool json = false, profiles = false;
    NextArgument(&arguments, &word);
    while (NextArgument(&arguments, &word)) {
        Text normal = NormalizeArgument(word);
        if (SpellsInAnyCase(normal, "JSON"))
            json = true;
        else if (SpellsInAnyCase(normal, "PROFILES"))
            profiles = true;
        else if (SpellsInAnyCase(normal, "LOGGEDON"))
            forUser = true;
        else
            return;
    }
    if (profiles) {
        if (!forUser)
            RunProfileProblems(json);
        return;
    }
    if (forUser && !AnswerForSignedInUser()) {
        if (!json)
            WriteLineColored(TextOf("nobody is signed in"), LIGHT_GREY, BLACK, ConsoleHandle);
        return;
    }
    static UserProblems own;
    CheckOwnFolders(&own);
    WriteProblems(nullptr, &own, 1, json, !forUser && RunsAsSystem());
    ForgetUserProblems(&own);
}

// Every profile's folder: a line for each that has a path, as a lookup
// prints it, or an object a line for every profile. Between the mode and
// the word that names the folder only /noverify and /json may stand, in
// either order; any other option, or a first other word that names no
// folder, and nothing at all is printed. The answers are all gathered, and
// every hive loaded for them unloaded, before the first byte goes out.
static void RunProfilesMode(ArgumentWalk arguments) {
    Text word;
    bool json = false, named = false, problems = false;
    FolderOption option = OPTION_NONE;
    FolderQuery query;
    NextArgument(&arguments, &word);
    while (!named && NextArgument(&arguments, &word)) {
        Text normal = NormalizeArgument(word);
        if (SpellsInAnyCase(normal, "JSON"))
            json = true;
        else if (SpellsInAnyCase(normal, "PROBLEMS") && option == OPTION_NONE)
            problems = true;
        else if (problems ||
                 (ReadOptionWord(normal, &option) ? option != OPTION_NOVERIFY
                                                  : !(named = QueryOfWord(normal, option, &query))))
            return;
    }
    if (problems)
        RunProfileProblems(json);
    if (!named)
        return;
    static ProfileAnswers answers;
    // While another user's hive is loaded a console event only asks the run
    // to stop, once it is unloaded.
    bool asked = AskEveryProfile(
        &query, json ? PATH_FOUND | PATHS_NOW_AND_BY_DEFAULT | WHERE_MOVED : PATH_FOUND,
        Interrupted, &answers);
    EndIfStoppedOrLeftLoaded(&answers, false);
    if (!asked)
        return;
    if (json)
        WriteLineColored(TextOf("["), LIGHT_GREY, BLACK, ConsoleHandle);
    for (size_t i = 0; i < answers.count; i++)
        if (json)
            WriteProfileInJson(&answers.answers[i], i + 1 == answers.count);
        else if (answers.answers[i].path.length > 0)
            WriteLineColored(DelimitedCopy(answers.answers[i].path), LIGHT_GREY, BLACK,
                             ConsoleHandle);
    if (json)
        WriteLineColored(TextOf("]"), LIGHT_GREY, BLACK, ConsoleHandle);
    ForgetProfiles(&answers);
    EndIfStoppedOrLeftLoaded(&answers, true);
}

// Each folder is looked up only when its row is due, so that a console shows
// the rows before it while the shell answers.
static void RunListingMode(bool waitsForEnter) {
    WriteColored(TextOf("korvane.exe "), LIGHT_GREEN, BLACK, ConsoleHandle);
    WriteLineColored(TextOf("[Parameter]"), GREEN, BLACK, ConsoleHandle);
    WriteLineColored(TextOf(" "), BROWN, BLACK, ConsoleHandle);
    WriteLineColored(TextOf("PARAMETERS LIST:"), LIGHT_CYAN, BLACK, ConsoleHandle);
    for (const char *keyword : ListingKeywords) {
        WriteColored(TextOf(keyword), GREEN, BLACK, ConsoleHandle);
        WriteColored(TextOf(" => "), BROWN, BLACK, ConsoleHandle);
        WriteLineColored(PrintedPath(KeywordToFolderId(TextOf(keyword))), LIGHT_GREY, BLACK,
                         ConsoleHandle);
    }
    if (waitsForEnter) {
        SkipInputLine();
        CheckStreamError();
    }
}

// The first word alone chooses the mode; the walk itself stays where it is.
// Empty when there are no arguments.
static Text FirstWord(ArgumentWalk arguments) {
    Text word = {"", 0};
    if (!NextArgument(&arguments, &word))
        word.length = 0;
    return word;
}

// Whether the second word, read as a keyword is, is this one.
static bool SecondWordIs(ArgumentWalk arguments, const char *upper) {
    Text word;
    return NextArgument(&arguments, &word) && NextArgument(&arguments, &word) &&
           SpellsInAnyCase(NormalizeArgument(word), upper);
}

// What a Windows user types first, and what a user of other tools does; no
// keyword looks like any of them.
static bool AsksForHelp(Text first, Text mode) {
    first = TrimText(first);
    return SpellsText(first, "/?") || SpellsText(first, "-?") || SpellsText(first, "?") ||
           SpellsInAnyCase(mode, "HELP") || SpellsInAnyCase(mode, "H") ||
           SpellsInAnyCase(first, "--HELP");
}

static bool AsksForVersion(Text first, Text mode) {
    return SpellsInAnyCase(mode, "VERSION") || SpellsInAnyCase(TrimText(first), "--VERSION");
}

// KORVANE_VERSION is the project's, from CMakeLists.txt, as in the version
// record.
static void RunVersionMode() {
    WriteLineColored(TextOf(sizeof(void *) == 8 ? "korvane " KORVANE_VERSION " (64-bit)"
                                                : "korvane " KORVANE_VERSION " (32-bit)"),
                     LIGHT_GREY, BLACK, ConsoleHandle);
}

// Whether a word the walk has left is /loggedon, so that no order of a
// mode's words quietly gives the caller's folders.
static bool AnyWordIsLoggedOn(ArgumentWalk arguments) {
    Text word;
    while (NextArgument(&arguments, &word))
        if (IsLoggedOnWord(word))
            return true;
    return false;
}

// The modes that list folders: false for a first word that chooses none.
// Where nobody is signed in for /loggedon, nothing at all is written, not
// even JSON's brackets, and there is no wait.
static bool RunListMode(Text first, Text mode, ArgumentWalk arguments, bool forUser) {
    enum { LISTING, ALL, JSON, KNOWN, MOVED, PROFILES, PROBLEMS } chosen;
    if (first.length == 0)
        chosen = LISTING;
    else if (SpellsInAnyCase(mode, "ALL"))
        chosen = ALL;
    else if (SpellsInAnyCase(mode, "JSON"))
        chosen = JSON;
    else if (SpellsInAnyCase(mode, "KNOWN"))
        chosen = KNOWN;
    else if (SpellsInAnyCase(mode, "MOVED"))
        chosen = MOVED;
    else if (SpellsInAnyCase(mode, "PROFILES"))
        chosen = PROFILES;
    else if (SpellsInAnyCase(mode, "PROBLEMS"))
        chosen = PROBLEMS;
    else
        return false;
    if (chosen == PROBLEMS) {
        RunProblemsMode(arguments, forUser);
        return true;
    }
    bool loggedOn = forUser || AnyWordIsLoggedOn(arguments);
    // One signed-in user and every user make no sense together.
    if (chosen == PROFILES && !loggedOn)
        RunProfilesMode(arguments);
    if (chosen == PROFILES || (loggedOn && !AnswerForSignedInUser()))
        return true;
    switch (chosen) {
    case LISTING:
        RunListingMode(true);
        break;
    case ALL:
        RunAllMode();
        break;
    case JSON:
        RunJsonMode();
        break;
    default:
        RunKnownMode(SecondWordIs(arguments, "JSON"), chosen == MOVED);
    }
    return true;
}

int main(int argc, char **argv) {
    ConsoleHandle = GetStandardOutput();
    KeepTextAttribute(ConsoleHandle);
    SetTextAttribute(ConsoleHandle, MakeTextAttribute(BLUE, BLACK));
    ClearScreen();
    SetTextAttribute(ConsoleHandle, MakeTextAttribute(DARK_GREY, BLACK));

    ArgumentWalk arguments;
    StartArguments(&arguments, argc, argv);
    Text first = FirstWord(arguments), skipped;
    // /loggedon before the word that chooses the mode; help and version
    // take no notice of it.
    bool forUser = false;
    while (IsLoggedOnWord(first)) {
        forUser = true;
        NextArgument(&arguments, &skipped);
        first = FirstWord(arguments);
    }
    // A mode's name is read as a keyword is: trimmed, one prefix dropped.
    Text mode = NormalizeArgument(first);
    if (AsksForHelp(first, mode)) {
        RunListingMode(false);
        WriteColored(TextOf(HelpText), LIGHT_GREY, BLACK, ConsoleHandle);
    } else if (AsksForVersion(first, mode))
        RunVersionMode();
    else if (!RunListMode(first, mode, arguments, forUser))
        RunLookupMode(&arguments, forUser);
    StopAnsweringForSignedInUser();

    // The last bytes of a file or a pipe go out only now, and may fail too.
    WriteOutRemaining();
    CheckStreamError();
    RestoreTextAttribute();
    return ProblemsStatus;
}
