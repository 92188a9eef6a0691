// Raw command lines: the program splits them by its own rules, which are not
// the C runtime's (no backslash escapes, "" pairs skipped before a word).
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <set>
#include "../src/folders/win32.h"
#include "../src/users/profiles.h"
#include "listing.h"
#include "oracle.h"
#include "process.h"
#include "system.h"

TEST(RawCommandLine, IsSplitByTheProgramsOwnRules) {
    const struct {
        std::string tail;    // what follows the program's quoted path
        std::string keyword; // whose path is printed; empty for nothing
    } cases[] = {
        {"/appdata", "APPDATA"},
        {"-AppData", "APPDATA"},
        {"+APPDATA", "APPDATA"},
        {"\\appdata", "APPDATA"},
        {"\"  temp  \"", "TEMP"},
        {"\"- temp\"", ""},
        {"\"   \"", ""},
        {"\"   \" appdata", "APPDATA"},
        {"\"app\"data", "APPDATA"},
        {"ap\"pd\"ata", "APPDATA"},
        {"\"\"appdata", "APPDATA"},
        {"\"\" \"\" temp", "TEMP"},
        {"\\\"temp", "TEMP"},
        {"\\\"temp\\\"", ""},
        {"x\"y appdata", ""},
        {"\"appdata", "APPDATA"},
        {"appdata\"", "APPDATA"},
        {"\"foo bar\" appdata", "APPDATA"},
        {"\t appdata\t", "APPDATA"},
        {"\x7f"
         "appdata temp",
         "TEMP"},
        {"\xe9"
         "appdata",
         ""},
        {"--appdata temp", "TEMP"},
    };
    for (const auto &c : cases) {
        Launch launch;
        launch.words = {c.tail};
        Outcome outcome = RunKorvane(launch);
        EXPECT_EQ(outcome.out, c.keyword.empty() ? "" : Printed(ReportedPath(c.keyword)))
            << "command line tail: " << c.tail;
        EXPECT_EQ(outcome.status, 0u) << c.tail;
    }
}

// The favourites moved, through the shell's own setting, to a folder whose
// name ends in a character whose second byte in code page 932 is 0x5C, a
// backslash's: the delimiter still follows it. /known shows the move too,
// in the output code page, and exactly in JSON.
TEST(CodePages, TheDelimiterFollowsADoubleByteCharacter) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER,
                            L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User "
                            L"Shell Folders",
                            0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    wchar_t saved[MAX_PATH] = L"";
    DWORD size = sizeof saved;
    bool had = RegQueryValueExW(key, L"Favorites", nullptr, nullptr, (BYTE *)saved, &size) ==
               ERROR_SUCCESS;
    const std::wstring folder = Wide("C:\\korvane-Избранное 表");
    CreateDirectoryW(folder.c_str(), nullptr);
    RegSetValueExW(key, L"Favorites", 0, REG_EXPAND_SZ, (const BYTE *)folder.c_str(),
                   DWORD(2 * (folder.size() + 1)));
    std::string reported = ReportedPath("FAVORITES");
    Outcome outcome = RunKorvane({{"favorites"}});
    std::string known = EveryKnownFolder(false), knownJson = EveryKnownFolder(true);
    Outcome listed = RunKorvane({{"/known"}}), listedJson = RunKorvane({{"/known", "/json"}});
    if (had)
        RegSetValueExW(key, L"Favorites", 0, REG_EXPAND_SZ, (const BYTE *)saved, size);
    else
        RegDeleteValueW(key, L"Favorites");
    RegCloseKey(key);
    RemoveDirectoryW(folder.c_str());
    EXPECT_EQ(reported, Utf8(folder)) << "the platform should report the folder";
    EXPECT_EQ(outcome.out, Redirected(Utf8(folder) + "\\"));
    EXPECT_NE(known.find("\nFavorites=" + Redirected(Utf8(folder) + "\\") + "\r\n"),
              std::string::npos)
        << "the manager should list the folder";
    EXPECT_EQ(listed.out, known);
    EXPECT_NE(knownJson.find("\\u0418\\u0437"), std::string::npos);
    EXPECT_EQ(listedJson.out, knownJson);
}

// Before Vista shell32 has no SHGetKnownFolderPath: looked up in a library
// without it, or in none, the known folders have no path; in shell32 they
// have the platform's.
TEST(KnownFolders, HaveNoPathWhereTheQueryIsMissing) {
    static PathText path;
    size_t known = 0;
    for (const FolderKeyword &row : FolderKeywordTable) {
        if (KnownFolderGuid(row.id) == nullptr)
            continue;
        known++;
        for (const char *library : {"kernel32.dll", "user32.dll", ""}) {
            path.length = 1;
            GetKnownFolderPathFrom(*library ? GetModuleHandleA(library) : nullptr, &row.known,
                                   &path);
            EXPECT_EQ(path.length, 0u) << row.keyword << " from " << library;
        }
        GetKnownFolderPathFrom(GetModuleHandleA("shell32.dll"), &row.known, &path);
        EXPECT_EQ(std::string(path.bytes, path.length), ReportedPath(row.keyword)) << row.keyword;
    }
    EXPECT_EQ(known, 11u);
}

// The program's shell ids without a path are those whose known folder the
// manager itself files as virtual.
TEST(KnownFolders, VirtualShellIdsAreTheManagersVirtualFolders) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IKnownFolderManager *manager = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IKnownFolderManager, (void **)&manager),
              S_OK);
    for (int csidl = 0; csidl <= CSIDL_COMPUTERSNEARME; csidl++) {
        KNOWNFOLDERID id;
        IKnownFolder *folder = nullptr;
        KF_CATEGORY category = KF_CATEGORY_FIXED;
        if (manager->FolderIdFromCsidl(csidl, &id) == S_OK &&
            manager->GetFolder(id, &folder) == S_OK)
            folder->GetCategory(&category);
        if (folder)
            folder->Release();
        EXPECT_EQ(IsVirtualShellId(csidl), category == KF_CATEGORY_VIRTUAL) << csidl;
    }
    manager->Release();
    CoUninitialize();
}

TEST(RawCommandLine, OnlyQuotePairsOrALoneQuoteMeanNoArguments) {
    const std::string listing = ExpectedListing();
    const struct {
        std::string tail;
        bool lists;
    } cases[] = {
        {"", true},       {"\"\"", true},  {"\"", true},       {"\"\" \"\"", true},
        {"\"\"\"", true}, {"  \t ", true}, {"\"   \"", false}, {"\"\" x", false},
    };
    for (const auto &c : cases) {
        Launch launch;
        launch.words = {c.tail};
        Outcome outcome = RunKorvane(launch);
        EXPECT_EQ(outcome.out, c.lists ? listing : "") << "command line tail: " << c.tail;
        EXPECT_EQ(outcome.status, 0u) << c.tail;
    }
}

static std::string RawBytes(int from, int to) {
    std::string bytes;
    for (int b = from; b <= to; b++)
        bytes += char(b);
    return bytes;
}

TEST(RawCommandLine, OddBytesAndTheLongestLineAreSplitSafely) {
    const std::string program = "\"" + ProgramPath() + "\"";
    std::string longest;
    while (program.size() + longest.size() + 2 + 8 < 32767)
        longest += " a";
    longest += " appdata";
    const struct {
        const char *what;
        std::string tail, keyword;
    } cases[] = {
        {"the longest command line", longest.substr(1), "APPDATA"},
        {"control bytes in quotes", "\"" + RawBytes(1, 0x20) + "\"", ""},
        {"control bytes then a keyword", "\"" + RawBytes(1, 0x20) + "\" temp", "TEMP"},
        {"bytes 0x7F to 0xFF", RawBytes(0x7F, 0xFF) + " " + RawBytes(0xA0, 0xFF), ""},
        {"bytes 0x7F to 0xFF then a keyword", RawBytes(0x7F, 0xFF) + " temp", "TEMP"},
        {"an unterminated quote", "\"appdata temp", ""},
        {"a quote as the last byte", "foo \"", ""},
    };
    for (const auto &c : cases) {
        Launch launch;
        launch.words = {c.tail};
        Outcome outcome = RunKorvane(launch);
        EXPECT_EQ(outcome.out, c.keyword.empty() ? "" : Printed(ReportedPath(c.keyword))) << c.what;
        EXPECT_EQ(outcome.status, 0u) << c.what;
    }
}

// A GUID, a shell name or a CSIDL names the folder that the known-folder
// manager or the shell itself knows, and nothing where they do not: then
// the keyword after it is printed.
TEST(NamedFolders, NameWhatThePlatformKnowsAndNothingElse) {
    const std::string downloads = "{374DE290-123F-4565-9164-39C4925E467B}";
    const std::string computer = "{0AC0837C-BBF8-452A-850D-79D08E667CA7}";
    const std::string unknown = "{00000000-0000-0000-0000-0000000000AB}";
    const struct {
        std::string tail;  // the word, then " appdata"
        std::string asked; // "{GUID}", a name, or "#N" for a CSIDL; empty for malformed
        int known;         // -1 unknown, 0 known without a path, 1 with one
    } cases[] = {
        {downloads, downloads, 1},
        {"{374de290-123f-4565-9164-39c4925e467b}", downloads, 1},
        {"/" + downloads, downloads, 1},
        {computer, computer, 0},
        {unknown, unknown, -1},
        {downloads.substr(0, 36) + "}", "", -1},
        {"shell:Downloads", "Downloads", 1},
        {"-shell:Downloads", "Downloads", 1},
        {"SHELL:downloads", "downloads", 1},
        {"\"shell:Local AppData\"", "Local AppData", 1},
        {"\"shell:LOCAL appdata\"", "LOCAL appdata", 1},
        {"shell:Local AppData", "Local", -1},
        {"shell:MyComputerFolder", "MyComputerFolder", 0},
        {"shell:PrintersFolder", "PrintersFolder", 0},
        {"shell:NoSuchFolder", "NoSuchFolder", -1},
        {"shell:", "", -1},
        {"csidl:40", "#40", 1},
        {"CSIDL:040", "#40", 1},
        {"csidl:0x1C", "#28", 1},
        {"csidl:10", "#10", 0},
        {"csidl:15", "#15", -1},
        {"csidl:256", "", -1},
        {"csidl:0x", "", -1},
        {"csidl:26x", "", -1},
    };
    const std::string appdata = Printed(ReportedPath("APPDATA"));
    for (const auto &c : cases) {
        std::string path;
        bool known = !c.asked.empty() &&
                     (c.asked[0] == '#' ? AskedByCsidl(std::stoi(c.asked.substr(1)), &path)
                                        : AskedByManager(c.asked, &path));
        EXPECT_EQ(known ? !path.empty() : -1, c.known) << "the platform should say so: " << c.tail;
        ExpectOutput({{c.tail, "appdata"}, SINK_PIPE}, known ? Printed(path) : appdata);
    }
}

static void RemoveTree(const std::wstring &path);

static bool IsFolder(const std::string &path) {
    DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static const wchar_t *const SHELL_FOLDERS =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// In a prefix of its own (tests/CMakeLists.txt), each folder is first moved,
// by its shell folders value, into a place made here, and each row starts
// with it removed, and the folder above it: removing the user's own would
// fail on Windows, where each holds its desktop.ini. Without an option a
// folder that is missing is not named (but the temporary directory is
// never checked); /noverify names it where the platform says it would be
// and leaves it missing; /create makes it. An option after the word is
// never looked at. The values go back at the end. (Not Downloads: Wine
// makes it as a link to the Linux home.)
TEST(MissingFolders, AreNamedWithNoverifyAndMadeWithCreate) {
    const std::wstring place = L"C:\\korvane-missing";
    const std::vector<std::string> temp = TempEnvironment("C:\\korvane-missing\\TEMP\\temp");
    const struct {
        std::string word, keyword;
        std::wstring value; // in the user's shell folders; none for temp
    } folders[] = {
        {"favorites", "FAVORITES", L"Favorites"},
        {"saved_games", "SAVED_GAMES", L"{4C5C32FF-BB9D-43B0-B5B4-2D72E54EAAA4}"},
        {"{BFB9D5E0-C6A9-404C-B2B2-AE6DB6AF4968}", "LINKS",
         L"{BFB9D5E0-C6A9-404C-B2B2-AE6DB6AF4968}"},
        {"shell:Contacts", "CONTACTS", L"{56784854-C6CB-462B-8169-88E350ACB882}"},
        {"temp", "TEMP", L""},
    };
    const struct {
        std::vector<std::string> before, after;
        bool named, made;
    } rows[] = {
        {{}, {}, false, false},
        {{"/noverify"}, {}, true, false},
        {{}, {"/create"}, false, false},
        {{"/create"}, {}, true, true},
        {{"-CREATE", "x", "/noverify"}, {}, true, true},
    };
    CreateDirectoryW(place.c_str(), nullptr);
    for (const auto &folder : folders) {
        bool isTemp = folder.keyword == "TEMP";
        wchar_t saved[MAX_PATH];
        DWORD size = sizeof saved, type = REG_EXPAND_SZ;
        bool had = !isTemp &&
                   RegGetValueW(HKEY_CURRENT_USER, SHELL_FOLDERS, folder.value.c_str(),
                                RRF_RT_ANY | RRF_NOEXPAND, &type, saved, &size) == ERROR_SUCCESS;
        std::wstring moved = place + L"\\" + Wide(folder.keyword) + L"\\folder";
        if (!isTemp)
            RegSetKeyValueW(HKEY_CURRENT_USER, SHELL_FOLDERS, folder.value.c_str(), REG_EXPAND_SZ,
                            moved.c_str(), DWORD(2 * (moved.size() + 1)));
        std::string path =
            isTemp ? ReportedTempPath(temp) : ReportedPath(folder.keyword, UNVERIFIED);
        EXPECT_EQ(Wide(path).rfind(place, 0), 0u) << "the platform should name it there";
        std::string above = path.substr(0, path.find_last_of('\\', path.size() - 2));
        for (const auto &row : rows) {
            RemoveTree(Wide(path));
            RemoveDirectoryW(Wide(above).c_str());
            ASSERT_FALSE(IsFolder(path)) << path << " should be removable";
            Launch launch = {row.before};
            launch.words.push_back(folder.word);
            launch.words.insert(launch.words.end(), row.after.begin(), row.after.end());
            if (isTemp)
                launch.environment = temp;
            Outcome outcome = RunKorvane(launch);
            EXPECT_EQ(outcome.out, row.named || isTemp ? Printed(path) : "") << launch.words[0];
            EXPECT_EQ(IsFolder(path), row.made) << launch.words[0] << " " << folder.word;
        }
        if (had)
            RegSetKeyValueW(HKEY_CURRENT_USER, SHELL_FOLDERS, folder.value.c_str(), type, saved,
                            size);
        else if (!isTemp)
            RegDeleteKeyValueW(HKEY_CURRENT_USER, SHELL_FOLDERS, folder.value.c_str());
    }
    RemoveTree(place);
}

// In the same prefix, from the user's shell folders with every value taken
// away (all put back at the end): one row for each problem, made with the
// values it writes, the folders it makes and a second profile; none at
// all; and more than fit in Intune's 2,048 characters, the count line last.
// (Wine answers /loggedon from HKEY_USERS\.DEFAULT, so not here.)
TEST(MovedFolders, ProblemsAreFoundWhereTheValuesPutThem) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, SHELL_FOLDERS, 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    std::vector<std::pair<std::wstring, std::wstring>> saved;
    static wchar_t name[256], data[32768];
    for (DWORD size = sizeof data, length = 256;
         RegEnumValueW(key, 0, name, &length, nullptr, nullptr, (BYTE *)data, &size) ==
         ERROR_SUCCESS;
         size = sizeof data, length = 256) {
        saved.push_back({name, data});
        RegDeleteValueW(key, name);
    }
    auto set = [key](const std::pair<std::wstring, std::wstring> &value) {
        RegSetValueExW(key, value.first.c_str(), 0, REG_EXPAND_SZ,
                       (const BYTE *)value.second.c_str(), DWORD(2 * (value.second.size() + 1)));
    };
    const std::string profile = ReportedPath("PROFILE"), at = "C:\\korvane-problems\\";
    const std::wstring other = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
                               L"S-1-5-21-9-9-9-1001";
    const std::wstring longer = L"C:\\korvane-problems\\" + std::wstring(200, L'x');
    const struct {
        std::vector<std::pair<std::wstring, std::wstring>> values;
        std::vector<std::string> made, lines; // after the count line: none but it
        std::string count;
    } rows[] = {
        {{}, {}, {}, "no problems"},
        {{{L"Personal", L"C:\\korvane-problems\\Documents"}},
         {},
         {"missing: Personal=" + at + "Documents\\"},
         "1 problem"},
        {{{L"My Music", L"\\\\server.invalid\\share\\Music"}},
         {},
         {"unreachable: My Music=\\\\server.invalid\\share\\Music\\"},
         "1 problem"},
        {{{L"Favorites", L"%USERPROFILE%\\OneDrive - Fabrikam\\Favorites"}},
         {profile + "\\OneDrive - Fabrikam\\Favorites"},
         {"unlinked: Favorites=" + profile + "\\OneDrive - Fabrikam\\Favorites\\"},
         "1 problem"},
        {{{L"Desktop", L"C:\\korvane-problems\\Same"},
          {L"Personal", L"C:\\korvane-problems\\Same"}},
         {at + "Same"},
         {"shared: Desktop=" + at + "Same\\ (also Personal)",
          "shared: Personal=" + at + "Same\\ (also Desktop)"},
         "2 problems in 2 folders"},
        {{{L"Personal", L"%USERPROFILE%"}}, {}, {"root: Personal=" + profile + "\\"}, "1 problem"},
        {{{L"My Pictures", L"C:\\korvane-problems\\other\\Pictures"}},
         {at + "other\\Pictures"},
         {"foreign: My Pictures=" + at + "other\\Pictures\\ (in the profile " + at + "other\\)"},
         "1 problem"},
        {{{L"My Music", L"%NOSUCHVAR%\\Music"}}, {}, {"untold: My Music="}, "1 problem"},
        {{{L"{F42EE2D3-909F-4907-8871-4C22FC0BF756}", L"C:\\korvane-problems\\Elsewhere"}},
         {},
         {"twin: Personal=" + profile + "\\Documents\\ (second value: " + at + "Elsewhere\\)"},
         "1 problem"},
        {{{L"Desktop", longer + L"\\1"},
          {L"Personal", longer + L"\\2"},
          {L"{374DE290-123F-4565-9164-39C4925E467B}", longer + L"\\3"},
          {L"My Music", longer + L"\\4"},
          {L"My Pictures", longer + L"\\5"},
          {L"Favorites", longer + L"\\6"},
          {L"SendTo", longer + L"\\7"},
          {L"Templates", longer + L"\\8"},
          {L"Recent", longer + L"\\9"}},
         {},
         {},
         "9 problems in 9 folders"},
    };
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, other.c_str(), L"ProfileImagePath", REG_SZ,
                    L"C:\\korvane-problems\\other", sizeof L"C:\\korvane-problems\\other");
    for (const auto &row : rows) {
        for (const auto &value : row.values)
            set(value);
        CreateDirectoryW(L"C:\\korvane-problems", nullptr);
        CreateDirectoryW(L"C:\\korvane-problems\\other", nullptr);
        for (const std::string &folder : row.made)
            SHCreateDirectoryExW(nullptr, Wide(folder).c_str(), nullptr);
        std::string expected;
        for (const std::string &line : row.lines)
            expected += Redirected(line) + "\r\n";
        {
            Outcome outcome = RunKorvane({{"/problems"}});
            EXPECT_EQ(outcome.status, row.count == "no problems" ? 0u : 1u) << row.count;
            size_t more = outcome.out.find("\r\n... and 1 more\r\n");
            if (row.lines.empty() && row.count != "no problems") {
                ASSERT_NE(more, std::string::npos) << outcome.out;
                // Eight lines and the count fit; one more does not.
                EXPECT_LE(outcome.out.size(), 2048u);
                EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.begin() + more, '\n'), 7)
                    << outcome.out;
                EXPECT_EQ(outcome.out.substr(more + 2), "... and 1 more\r\n" + row.count + "\r\n");
            } else {
                EXPECT_EQ(outcome.out, expected + row.count + "\r\n");
            }
        }
        for (const auto &value : row.values)
            RegDeleteValueW(key, value.first.c_str());
        RemoveTree(L"C:\\korvane-problems");
        RemoveTree(Wide(profile + "\\OneDrive - Fabrikam"));
    }
    std::string json = RunKorvane({{"/problems", "/json"}}).out;
    EXPECT_EQ(json, "[\r\n]\r\n");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, other.c_str());
    for (const auto &value : saved)
        set(value);
    RegCloseKey(key);
}

// In the same prefix, folders moved as OneDrive and Group Policy move them,
// by User Shell Folders values: under the root that OneDrive's variable
// names, with %USERPROFILE%; under a second account's root, to a folder
// that exists; to a share that cannot resolve; elsewhere, to a folder not
// made. Others name their own default place another way, and have not
// moved: in letter case alone, with a trailing backslash (which Windows'
// shell drops), ".", "/" or an 8.3 name (where the volume makes them;
// else its own long name). A plain lookup
// finds a folder that is there; /default names where it would be, and
// makes nothing, whatever option is beside it. The moves stay: the prefix
// is these tests' own.
TEST(MovedFolders, AreListedAndNamedWhereTheyWouldBe) {
    wchar_t profile[MAX_PATH], shortName[MAX_PATH] = L"";
    ExpandEnvironmentStringsW(L"%USERPROFILE%", profile, MAX_PATH);
    std::wstring slashed = profile;
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
    std::wstring templates = Wide(ReportedPath("TEMPLATES", BY_DEFAULT));
    CreateDirectoryW(templates.c_str(), nullptr);
    GetShortPathNameW(templates.c_str(), shortName, MAX_PATH);
    const struct {
        std::wstring value, to;
        std::string word, keyword, name, movedTo; // movedTo empty: not moved
        bool there;
    } moves[] = {
        {L"Personal", L"%USERPROFILE%\\OneDrive - Contoso\\Documents", "csidl:5", "PERSONAL",
         "Personal", "onedrive", false},
        {L"{374DE290-123F-4565-9164-39C4925E467B}", L"C:\\OneDrive - Fabrikam\\Downloads",
         "downloads", "DOWNLOADS", "Downloads", "onedrive", true},
        {L"My Pictures", L"\\\\server.invalid\\share\\Pictures", "\"shell:My Pictures\"",
         "MYPICTURES", "My Pictures", "network", false},
        {L"SendTo", L"C:\\korvane-not-made\\SendTo", "sendto", "SENDTO", "SendTo", "local", false},
        {L"{7D1D3A04-DEBB-4115-95CF-2F29DA2920DA}", L"%USERPROFILE%\\SEARCHES",
         "{7d1d3a04-debb-4115-95cf-2f29da2920da}", "SEARCHES", "Searches", "", true},
        {L"Desktop", L"%USERPROFILE%\\Desktop\\", "desktop", "DESKTOP", "Desktop", "", true},
        {L"Favorites", std::wstring(profile) + L"\\.\\Favorites", "shell:Favorites", "FAVORITES",
         "Favorites", "", true},
        {L"My Music", slashed + L"/Music", "\"shell:My Music\"", "MYMUSIC", "My Music", "", true},
        {L"Templates", shortName, "shell:Templates", "TEMPLATES", "Templates", "", true},
    };
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER,
                              L"Software\\Microsoft\\OneDrive\\Accounts\\Business2", L"UserFolder",
                              REG_SZ, L"C:\\OneDrive - Fabrikam",
                              DWORD(sizeof L"C:\\OneDrive - Fabrikam")),
              ERROR_SUCCESS);
    std::map<std::string, std::string> movedTo;
    for (const auto &move : moves) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, SHELL_FOLDERS, move.value.c_str(),
                                  REG_EXPAND_SZ, move.to.c_str(), DWORD(2 * (move.to.size() + 1))),
                  ERROR_SUCCESS);
        wchar_t to[MAX_PATH];
        ExpandEnvironmentStringsW(move.to.c_str(), to, MAX_PATH);
        // Made or not as the row says, whatever an earlier run left.
        std::wstring above = std::wstring(to).substr(0, std::wstring(to).find_last_of(L"\\/"));
        if (move.there) {
            CreateDirectoryW(above.c_str(), nullptr);
            CreateDirectoryW(to, nullptr);
        } else {
            RemoveDirectoryW(to);
            RemoveDirectoryW(above.c_str());
        }
        if (!move.movedTo.empty())
            movedTo[move.name] = move.movedTo;
    }
    Launch launch = {{"/moved"}};
    launch.environment = {"OneDriveCommercial=" + Utf8(profile) + "\\OneDrive - Contoso"};
    const std::string moved = RunKorvane(launch).out;
    for (const auto &move : moves) {
        wchar_t to[MAX_PATH];
        ExpandEnvironmentStringsW(move.to.c_str(), to, MAX_PATH);
        std::string now = ReportedPath(move.keyword, UNVERIFIED);
        ASSERT_EQ(Delimited(now), Delimited(Utf8(to))) << "the platform should report the move";
        std::string byDefault = ReportedPath(move.keyword, BY_DEFAULT);
        ASSERT_EQ(!AreOnePlace(now, byDefault), !move.movedTo.empty())
            << "the platform should name the default apart: " << byDefault;
        EXPECT_EQ(RunKorvane({{"/create", "/default", move.word}}).out, Printed(byDefault))
            << move.word;
        EXPECT_EQ(RunKorvane({{move.word}}).out, move.there ? Printed(now) : "") << move.word;
        EXPECT_EQ(("\n" + moved).find("\n" + move.name + "=" + Printed(now) + "\r\n") !=
                      std::string::npos,
                  !move.movedTo.empty())
            << move.name;
    }
    EXPECT_FALSE(IsFolder("C:\\korvane-not-made")) << "/default makes nothing";
    EXPECT_EQ(moved, EveryKnownFolder(false, true));
    for (bool movedOnly : {true, false}) {
        launch.words = {movedOnly ? "/moved" : "/known", "/json"};
        EXPECT_EQ(RunKorvane(launch).out, EveryKnownFolder(true, movedOnly, movedTo));
    }
}

// Wine's own: a Windows row needs Windows' answer, not Wine's.
static bool IsWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// A folder and all it holds, as a test made it.
static void RemoveTree(const std::wstring &path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        std::wstring name = found.cFileName, inside = path + L"\\" + name;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveTree(inside);
        else
            DeleteFileW(inside.c_str());
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    RemoveDirectoryW(path.c_str());
}

// Every user's profile that ProfileList names, and the Default one, whose
// folder is there has an object, and the caller's holds its own lookup's
// path: Wine's list holds the caller alone, a machine of two accounts two.
TEST(Listing, ProfilesAreThoseTheProfileListNames) {
    const wchar_t *list = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    size_t expected = 0;
    auto counts = [&](const wchar_t *subkey, const wchar_t *value) {
        wchar_t folder[MAX_PATH], expanded[MAX_PATH];
        DWORD size = sizeof folder;
        expected += RegGetValueW(HKEY_LOCAL_MACHINE, subkey, value, RRF_RT_REG_SZ | RRF_NOEXPAND,
                                 nullptr, folder, &size) == ERROR_SUCCESS &&
                    ExpandEnvironmentStringsW(folder, expanded, MAX_PATH) - 1 < MAX_PATH &&
                    IsFolder(Utf8(expanded));
    };
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, list, 0, KEY_READ, &key), ERROR_SUCCESS);
    wchar_t name[256];
    for (DWORD i = 0, length = 256;
         RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         i++, length = 256)
        if (IsUserSid(TextOf(Utf8(name).c_str())))
            counts((std::wstring(list) + L"\\" + name).c_str(), L"ProfileImagePath");
    RegCloseKey(key);
    counts(list, L"Default");
    for (Sink sink : {SINK_FILE, SINK_PIPE}) {
        std::string out = RunKorvane({{"/profiles", "/json", "appdata"}, sink}).out;
        size_t objects = 0;
        for (size_t at = 0; (at = out.find("  {\"user\": ", at)) != std::string::npos; at++)
            objects++;
        EXPECT_EQ(objects, expected) << out;
        EXPECT_NE(out.find("\"path\": " + JsonPath(ReportedPath("APPDATA"))), std::string::npos)
            << out;
    }
}

// Another user's folders, asked in this process with a token for which
// Wine answers from HKEY_USERS\.DEFAULT (Windows from the Default User
// profile): every path must come from a question that carries the token,
// as an item list's path is the caller's. What it moves is put back.
TEST(MovedFolders, AnotherUsersPathsComeFromQuestionsThatCarryTheirToken) {
    if (!IsWine())
        GTEST_SKIP() << "Windows answers this token for the Default User profile";
    const std::wstring explorer = L".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                                  L"Explorer\\",
                       key = explorer + L"User Shell Folders";
    const struct {
        const wchar_t *value, *to;
        int csidl;
    } otherUsers[] = {
        {L"Desktop", L"C:\\korvane-default-user\\Desktop", CSIDL_DESKTOP},
        {L"Personal", L"C:\\korvane-default-user\\Documents", CSIDL_PERSONAL},
    };
    CreateDirectoryW(L"C:\\korvane-default-user", nullptr);
    for (const auto &move : otherUsers) {
        // Wine's shell writes what it finds to Shell Folders: both go back.
        wchar_t saved[2][MAX_PATH];
        DWORD sizes[2] = {sizeof saved[0], sizeof saved[1]}, types[2];
        std::wstring keys[2] = {key, explorer + L"Shell Folders"};
        bool had[2];
        for (int i = 0; i < 2; i++)
            had[i] =
                RegGetValueW(HKEY_USERS, keys[i].c_str(), move.value, RRF_RT_ANY | RRF_NOEXPAND,
                             &types[i], saved[i], &sizes[i]) == ERROR_SUCCESS;
        CreateDirectoryW(move.to, nullptr);
        RegSetKeyValueW(HKEY_USERS, key.c_str(), move.value, REG_EXPAND_SZ, move.to,
                        DWORD(2 * (wcslen(move.to) + 1)));
        std::string reported;
        AskedByCsidl(move.csidl, &reported, HANDLE(-1));
        static PathText path;
        UserToken = HANDLE(-1);
        GetFolderPath(move.csidl, &path);
        UserToken = nullptr;
        for (int i = 0; i < 2; i++)
            if (had[i])
                RegSetKeyValueW(HKEY_USERS, keys[i].c_str(), move.value, types[i], saved[i],
                                sizes[i]);
            else
                RegDeleteKeyValueW(HKEY_USERS, keys[i].c_str(), move.value);
        EXPECT_EQ(Wide(reported), move.to) << "the platform should answer for the token";
        EXPECT_EQ(std::string(path.bytes, path.length), reported);
    }
    RemoveTree(L"C:\\korvane-default-user");
}

static std::set<std::wstring> SubkeysOf(HKEY key) {
    std::set<std::wstring> names;
    wchar_t name[256];
    for (DWORD i = 0, length = 256;
         RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         i++, length = 256)
        names.insert(name);
    return names;
}

static std::string FileBytes(const std::wstring &path) {
    std::string bytes;
    if (FILE *file = _wfopen(path.c_str(), L"rb")) {
        char buffer[4096];
        for (size_t got; (got = fread(buffer, 1, sizeof buffer, file)) > 0;)
            bytes.append(buffer, got);
        fclose(file);
    }
    return bytes;
}

// In the same prefix, other users' profiles, made up: ProfileList entries
// and hive files that the platform writes (RegSaveKeyW of a key filled
// here). One is offline, with a moved Desktop and Downloads, a redirected
// AppData that its Favorites follows through %APPDATA%, an unexpandable
// Documents, its own TMP, variables of 70 KB and over 1 MB, Pictures of no
// string type, and Music on a drive it maps to a share; one's hive is
// loaded already, with a Volatile Environment that its Documents names, a
// Music of no string type, and variables without a terminator or of an
// odd byte count; one is mandatory, its NTUSER.MAN beside an NTUSER.DAT,
// its Music on a drive nobody has, and its AppData, Documents and Pictures
// through variables of its own nested at the registry's limit (each
// naming the next 10,922 times, the last empty, one naming %APPDATA%), in
// a cycle, or naming themselves: no path, at once; one has no hive and one a file that is
// no hive (no answers at all); one has no folder and one is no SID (never
// listed); and the Default profile, its own hive. Keys that ended runs
// left loaded are unloaded, a live run's is kept. Each line is the value
// written here, or its default under the profile or the redirected
// parent; the caller's is its own lookup's, missing where its folder is
// (its Templates value names a folder not made: Wine links Templates to
// the Linux home, which renaming the link would move). Nothing else stays
// loaded and no hive file changes. The profiles go again: Wine has no
// Default profile of its own.
TEST(MovedFolders, EveryProfileIsAnsweredFromItsOwnRegistry) {
    if (!IsWine())
        GTEST_SKIP() << "needs a machine whose profiles are the caller's alone";
    const std::wstring root = L"C:\\korvane-profiles\\",
                       list = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    const std::wstring shellFolders =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    HANDLE token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    for (const wchar_t *name : {L"SeBackupPrivilege", L"SeRestorePrivilege"}) {
        TOKEN_PRIVILEGES wanted = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid);
        AdjustTokenPrivileges(token, FALSE, &wanted, 0, nullptr, nullptr);
    }
    CloseHandle(token);
    // A value: a shell folder's, or "Key\\NAME" in that key; its type, and
    // how many bytes short of its terminator it is written.
    struct Value {
        std::wstring name, data;
        DWORD type = REG_EXPAND_SZ;
        DWORD shortBy = 0;
    };
    enum Hive { FILE_HIVE, LOADED, MANDATORY, NO_HIVE, NOT_A_HIVE, NO_FOLDER };
    auto times = [](const wchar_t *name) {
        std::wstring all;
        for (int i = 0; i < 10922; i++)
            all.append(L"%").append(name).append(L"%");
        return all;
    };
    const struct {
        std::wstring key, folder;
        Hive hive;
        std::vector<Value> values;
    } profiles[] = {
        {L"S-1-5-21-7-7-7-1001",
         L"alice",
         FILE_HIVE,
         {{L"Desktop", root + L"alice-moved\\Desktop"},
          {L"{374DE290-123F-4565-9164-39C4925E467B}", root + L"alice-moved\\Downloads"},
          {L"AppData", L"%USERPROFILE%\\Roaming"},
          {L"Favorites", L"%APPDATA%\\Favs"},
          {L"Personal", L"%HOMESHARE%\\Documents"},
          {L"My Pictures", L"C:\\binary", REG_BINARY},
          {L"My Music", L"H:\\Music"},
          {L"Network\\H\\RemotePath", L"\\\\server.invalid\\home\\alice", REG_SZ},
          {L"Environment\\TMP", L"%USERPROFILE%\\tmp"},
          {L"Environment\\BIG", std::wstring(35000, L'b')},
          {L"Environment\\HUGE", std::wstring(600000, L'h')}}},
        {L"S-1-5-21-7-7-7-1002",
         L"bob",
         LOADED,
         {{L"Desktop", L"%USERPROFILE%\\Bureau"},
          {L"Personal", L"%HOMESHARE%\\Docs"},
          {L"My Music", L"\x10", REG_DWORD},
          {L"Volatile Environment\\HOMESHARE", L"\\\\server.invalid\\home\\bob"},
          {L"Environment\\TMP", L"%WHERE%\\tmp", REG_SZ, 1},
          {L"Environment\\WHERE", L"%USERPROFILE%\\b", REG_SZ, 2}}},
        {L"S-1-5-21-7-7-7-1003", L"carol", NO_HIVE, {}},
        {L"S-1-5-21-7-7-7-1006",
         L"dave",
         MANDATORY,
         {{L"Desktop", root + L"dave\\Mandatory"},
          {L"My Music", L"Q:\\Music"},
          {L"Environment\\TMP", L"%USERPROFILE%\\Man"},
          {L"AppData", times(L"A")},
          {L"Environment\\A", times(L"B")},
          {L"Environment\\B", times(L"C")},
          {L"Environment\\C", times(L"D")},
          {L"Environment\\D", L""},
          {L"Environment\\X", L"%APPDATA%"},
          {L"Personal", L"%CA%"},
          {L"Environment\\CA", L"%CB%a"},
          {L"Environment\\CB", L"%CA%b"},
          {L"My Pictures", L"%S%"},
          {L"Environment\\S", L"%S%s"}}},
        {L"S-1-12-1-7-7-7-1004", L"erin", NOT_A_HIVE, {}},
        {L"S-1-5-21-7-7-7-1005", L"gone", NO_FOLDER, {}},
        {L"S-1-5-21-7-7-7-1001.bak", L"carol", NO_HIVE, {}},
        {L"", L"Default", FILE_HIVE, {{L"Environment\\TMP", L"%USERPROFILE%\\AppData\\Temp"}}},
    };
    // A hive file of these values, as the platform writes one.
    auto saveHive = [&](const std::vector<Value> &values, const std::wstring &file) {
        HKEY made;
        DeleteFileW(file.c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, L"korvane-hive");
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"korvane-hive", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &made, nullptr),
                  ERROR_SUCCESS);
        for (const Value &value : values) {
            size_t split = value.name.rfind(L'\\');
            std::wstring key =
                split == std::wstring::npos ? shellFolders : value.name.substr(0, split);
            DWORD size = value.type == REG_DWORD ? 4 : DWORD(2 * (value.data.size() + 1));
            RegSetKeyValueW(made, key.c_str(), value.name.c_str() + split + 1, value.type,
                            value.data.c_str(), size - value.shortBy);
        }
        ASSERT_EQ(RegSaveKeyW(made, file.c_str(), nullptr), ERROR_SUCCESS);
        RegCloseKey(made);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"korvane-hive");
    };
    CreateDirectoryW(root.c_str(), nullptr);
    for (const auto &profile : profiles) {
        std::wstring folder = root + profile.folder, hive = folder + L"\\NTUSER.DAT";
        RegUnLoadKeyW(HKEY_USERS, profile.key.c_str());
        DeleteFileW(hive.c_str());
        if (profile.hive != NO_FOLDER)
            CreateDirectoryW(folder.c_str(), nullptr);
        if (profile.hive == NOT_A_HIVE)
            fclose(_wfopen(hive.c_str(), L"wb"));
        if (profile.hive == MANDATORY) {
            saveHive({{L"Desktop", root + L"dave\\Roaming"}}, hive);
            hive = folder + L"\\NTUSER.MAN";
        }
        if (profile.hive == FILE_HIVE || profile.hive == LOADED || profile.hive == MANDATORY)
            saveHive(profile.values, hive);
        if (profile.hive == LOADED) {
            ASSERT_EQ(RegLoadKeyW(HKEY_USERS, profile.key.c_str(), hive.c_str()), ERROR_SUCCESS);
        }
        std::wstring entry = list + (profile.key.empty() ? L"" : L"\\" + profile.key),
                     path = L"%SystemDrive%\\korvane-profiles\\" + profile.folder;
        ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, entry.c_str(),
                                  profile.key.empty() ? L"Default" : L"ProfileImagePath",
                                  REG_EXPAND_SZ, path.c_str(), DWORD(2 * (path.size() + 1))),
                  ERROR_SUCCESS);
    }
    const std::string at = "C:\\korvane-profiles\\", templates = "Microsoft\\Windows\\Templates";
    for (const std::string &made : std::vector<std::string>{
             "alice-moved\\Desktop", "bob\\Bureau", "Default\\Desktop", "dave\\Mandatory",
             "Default\\Documents", "Default\\Downloads", "Default\\Music", "Default\\Pictures",
             "Default\\Videos", "Default\\Favorites", "Default\\AppData\\Local",
             "alice\\Roaming\\" + templates, "bob\\AppData\\Roaming\\" + templates,
             "Default\\AppData\\Roaming\\" + templates})
        SHCreateDirectoryExW(nullptr, Wide(at + made).c_str(), nullptr);
    // Keys of runs: a killed one's (no process has its pid), a 1.6.0 one's
    // whose pid runs no korvane, and this live process's, which stays.
    FILETIME created, unused[3];
    GetProcessTimes(GetCurrentProcess(), &created, &unused[0], &unused[1], &unused[2]);
    wchar_t live[64], killed[64], old[64];
    swprintf(live, 64, L"korvane-%lu-%08lX%08lX-0", GetCurrentProcessId(), created.dwHighDateTime,
             created.dwLowDateTime);
    swprintf(killed, 64, L"korvane-99999996-%08lX%08lX-0", created.dwHighDateTime,
             created.dwLowDateTime);
    swprintf(old, 64, L"korvane-%lu-1", GetCurrentProcessId());
    for (const wchar_t *key : {live, killed, old}) {
        std::wstring file = root + key + L".dat";
        saveHive({}, file);
        ASSERT_EQ(RegLoadKeyW(HKEY_USERS, key, file.c_str()), ERROR_SUCCESS) << Utf8(key);
    }
    std::set<std::wstring> loaded = SubkeysOf(HKEY_USERS);
    loaded.erase(killed);
    loaded.erase(old);
    const std::string hives = FileBytes(root + L"alice\\NTUSER.DAT") +
                              FileBytes(root + L"Default\\NTUSER.DAT") +
                              FileBytes(root + L"erin\\NTUSER.DAT");
    // alice, bob, dave, then the caller's own lookup, then Default; carol
    // and erin have none.
    const std::string programs = "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\",
                      windows = Printed(ReportedPath("WINDOWS"));
    wchar_t callersTemplates[MAX_PATH];
    DWORD size = sizeof callersTemplates, type;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, shellFolders.c_str(), L"Templates",
                           RRF_RT_ANY | RRF_NOEXPAND, &type, callersTemplates, &size),
              ERROR_SUCCESS);
    const struct {
        std::vector<std::string> words;
        std::string alice, bob, dave, byDefault;
        bool withoutCallers = false;
    } rows[] = {
        {{"desktop"},
         at + "alice-moved\\Desktop\\",
         at + "bob\\Bureau\\",
         at + "dave\\Mandatory\\",
         at + "Default\\Desktop\\"},
        {{"/noverify", "programs"},
         at + "alice\\Roaming" + programs.substr(16),
         at + "bob" + programs,
         "",
         at + "Default" + programs},
        {{"/noverify", "csidl:5"},
         "",
         "\\\\server.invalid\\home\\bob\\Docs\\",
         "",
         at + "Default\\Documents\\"},
        {{"/noverify", "favorites"},
         at + "alice\\Roaming\\Favs\\",
         at + "bob\\Favorites\\",
         at + "dave\\Favorites\\",
         at + "Default\\Favorites\\"},
        {{"/noverify", "downloads"},
         at + "alice-moved\\Downloads\\",
         at + "bob\\Downloads\\",
         at + "dave\\Downloads\\",
         at + "Default\\Downloads\\"},
        {{"/noverify", "mypictures"}, "", at + "bob\\Pictures\\", "", at + "Default\\Pictures\\"},
        {{"/noverify", "mymusic"}, "H:\\Music\\", "", "Q:\\Music\\", at + "Default\\Music\\"},
        {{"temp"},
         at + "alice\\tmp\\",
         at + "bob\\b\\tmp\\",
         at + "dave\\Man\\",
         at + "Default\\AppData\\Temp\\"},
        {{"PROFILE"}, at + "alice\\", at + "bob\\", at + "dave\\", at + "Default\\"},
        {{"{F38BF404-1D43-42F2-9305-67DE0B28FC23}"}, windows, windows, windows, windows},
        {{"templates"},
         at + "alice\\Roaming\\" + templates + "\\",
         at + "bob\\AppData\\Roaming\\" + templates + "\\",
         "",
         at + "Default\\AppData\\Roaming\\" + templates + "\\",
         true},
    };
    for (const auto &row : rows) {
        Launch launch = {{"/profiles"}};
        launch.words.insert(launch.words.end(), row.words.begin(), row.words.end());
        const wchar_t away[] = L"C:\\korvane-not-made\\Templates";
        if (row.withoutCallers)
            RegSetKeyValueW(HKEY_CURRENT_USER, shellFolders.c_str(), L"Templates", REG_SZ, away,
                            sizeof away);
        std::string own = RunKorvane({row.words}).out, out = RunKorvane(launch).out;
        if (row.withoutCallers)
            RegSetKeyValueW(HKEY_CURRENT_USER, shellFolders.c_str(), L"Templates", type,
                            callersTemplates, size);
        EXPECT_EQ(own.empty(), row.withoutCallers) << "the caller's " << row.words.back();
        auto line = [](const std::string &path) { return path.empty() ? "" : path + "\r\n"; };
        EXPECT_EQ(out, line(row.alice) + line(row.bob) + line(row.dave) + line(own) +
                           line(row.byDefault))
            << row.words.back();
    }
    std::string json = RunKorvane({{"/profiles", "/json", "desktop"}}).out;
    auto object = [](const std::string &sid, const std::string &profile, const std::string &path,
                     const std::string &byDefault, const std::string &movedTo) {
        return "  {\"user\": null, \"sid\": " + (sid.empty() ? "null" : "\"" + sid + "\"") +
               ", \"profile\": " + JsonPath(profile) +
               ", \"signedIn\": false, \"path\": " + JsonPath(path) +
               ", \"defaultPath\": " + JsonPath(byDefault) +
               ", \"moved\": " + (movedTo.empty() ? "false" : "true") + ", \"movedTo\": " +
               (movedTo.empty() || movedTo == "untold" ? "null" : "\"" + movedTo + "\"");
    };
    for (const std::string &expected :
         {"[\r\n" +
              object("S-1-5-21-7-7-7-1001", at + "alice", at + "alice-moved\\Desktop",
                     at + "alice\\Desktop", "local") +
              "},\r\n" +
              object("S-1-5-21-7-7-7-1002", at + "bob", at + "bob\\Bureau", at + "bob\\Desktop",
                     "local") +
              "},\r\n" + object("S-1-5-21-7-7-7-1003", at + "carol", "", "", "") + "},\r\n" +
              object("S-1-5-21-7-7-7-1006", at + "dave", at + "dave\\Mandatory",
                     at + "dave\\Desktop", "local") +
              "},\r\n" + object("S-1-12-1-7-7-7-1004", at + "erin", "", "", "") + "},\r\n",
          object("", at + "Default", at + "Default\\Desktop", at + "Default\\Desktop", "") +
              "}\r\n]\r\n"})
        EXPECT_NE(json.find(expected), std::string::npos) << json;
    EXPECT_NE(
        json.find("\"signedIn\": true, \"path\": " + JsonPath(ReportedPath("DESKTOP")) + ", "),
        std::string::npos)
        << "the caller's own, signed in: " << json;
    // A drive the user mapped to a share is the network; one that neither
    // the user nor this machine has is a place untold.
    json = RunKorvane({{"/profiles", "/json", "mymusic"}}).out;
    for (const std::string &expected :
         {object("S-1-5-21-7-7-7-1001", at + "alice", "", at + "alice\\Music", "network"),
          object("S-1-5-21-7-7-7-1006", at + "dave", "", at + "dave\\Music", "untold")})
        EXPECT_NE(json.find(expected), std::string::npos) << json;
    // What is wrong: alice's Downloads moved to a place not made, her
    // Documents through a variable she lacks; the Default profile, whose
    // every folder is there, nothing.
    json = RunKorvane({{"/profiles", "/problems", "/json"}}).out;
    auto problem = [&](const std::string &name, const std::string &id, const std::string &word,
                       const std::string &path, const std::string &byDefault) {
        return "  {\"user\": null, \"sid\": \"S-1-5-21-7-7-7-1001\", \"profile\": " +
               JsonPath(at + "alice") + ", \"name\": \"" + name + "\", \"id\": \"" + id +
               "\", \"problem\": \"" + word + "\", \"path\": " + JsonPath(path) +
               ", \"defaultPath\": " + JsonPath(byDefault) + ", \"other\": null}";
    };
    for (const std::string &expected :
         {problem("Downloads", "{374DE290-123F-4565-9164-39C4925E467B}", "missing",
                  at + "alice-moved\\Downloads", at + "alice\\Downloads"),
          problem("Personal", "{FDD39AD0-238F-46AF-ADB4-6C85480369C7}", "untold", "",
                  at + "alice\\Documents")})
        EXPECT_NE(json.find(expected), std::string::npos) << expected << "\n" << json;
    EXPECT_EQ(json.find(JsonPath(at + "Default")), std::string::npos) << json;
    EXPECT_EQ(SubkeysOf(HKEY_USERS), loaded);
    EXPECT_EQ(FileBytes(root + L"alice\\NTUSER.DAT") + FileBytes(root + L"Default\\NTUSER.DAT") +
                  FileBytes(root + L"erin\\NTUSER.DAT"),
              hives);
    for (const wchar_t *key : {L"S-1-5-21-7-7-7-1002", (const wchar_t *)live})
        RegUnLoadKeyW(HKEY_USERS, key);
    for (const auto &profile : profiles)
        if (profile.key.empty())
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, list.c_str(), L"Default");
        else
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, (list + L"\\" + profile.key).c_str());
    RemoveTree(L"C:\\korvane-profiles");
}
