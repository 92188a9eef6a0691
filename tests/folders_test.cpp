#include <gtest/gtest.h>
#include <algorithm>
#include <set>
#include <string>
#include <vector>
#include "../src/folders/places.h"
#include "../src/users/hives.h"
#include "../src/users/profiles.h"
#include "../src/users/session.h"

static Text Txt(const std::string &s) {
    return Text{s.data(), s.size()};
}

TEST(UpperCaseAscii, ChangesOnlyTheLettersAToZ) {
    const std::string in("az AZ`{@[09_\x80\xe9\xff");
    std::string out(in.size(), '?');
    UpperCaseAscii(Txt(in), &out[0]);
    EXPECT_EQ(out, "AZ AZ`{@[09_\x80\xe9\xff");
}

TEST(KeywordToFolderId, MatchesWholeKeywordsInAnyLetterCase) {
    const struct {
        std::string keyword;
        FolderId id;
    } cases[] = {
        {"appdata", 26},
        {"AppData", 26},
        {"APPDATA", 26},
        {" appdata", NO_FOLDER_ID},
        {"appdata ", NO_FOLDER_ID},
        {"/appdata", NO_FOLDER_ID},
        {"TEMP", TEMP_FOLDER_ID},
        {"temp", TEMP_FOLDER_ID},
        {"", NO_FOLDER_ID},
        {"DESKTOPDIRECTORY", 16},
        {"DESKTOP", 0},
        {"DESK", NO_FOLDER_ID},
        {"desktopdirectoryx", NO_FOLDER_ID},
        {"program_files_common", 43},
        {"Local_AppData", 28},
        {"common_desktopdirectory", 25},
        {"common_desktopdirectoryx", NO_FOLDER_ID},
        {"Downloads", FIRST_KNOWN_FOLDER_ID},
        {std::string("temp\0", 5), NO_FOLDER_ID},
        {"t\xc5mp", NO_FOLDER_ID},
        {std::string(40000, 'a'), NO_FOLDER_ID},
    };
    for (const auto &c : cases)
        EXPECT_EQ(KeywordToFolderId(Txt(c.keyword)), c.id) << c.keyword.substr(0, 30);
}

// Each keyword and each id once, ids within the shell's range, and every
// keyword found again from its lower-case spelling.
TEST(KeywordToFolderId, TableIsOneToOneAndReachableFromLowerCase) {
    std::set<std::string> keywords;
    std::set<FolderId> ids;
    for (const FolderKeyword &row : FolderKeywordTable) {
        keywords.insert(row.keyword);
        ids.insert(row.id);
        bool known = row.id >= FIRST_KNOWN_FOLDER_ID && row.id < FIRST_KNOWN_FOLDER_ID + 11;
        EXPECT_TRUE((row.id >= 0 && row.id <= 61) || row.id == TEMP_FOLDER_ID || known)
            << row.keyword;
        EXPECT_EQ(KnownFolderGuid(row.id) == &row.known, known) << row.keyword;
        EXPECT_EQ(row.known.data1 != 0, known) << row.keyword;
        std::string lower = row.keyword;
        for (char &c : lower)
            c = char(tolower(c));
        EXPECT_EQ(KeywordToFolderId(Txt(lower)), row.id) << lower;
    }
    EXPECT_EQ(keywords.size(), 67u);
    EXPECT_EQ(ids.size(), 67u);
}

static std::string Delimited(const std::string &in) {
    static PathText path;
    in.copy(path.bytes, in.size());
    path.length = in.size();
    WithTrailingDelimiter(&path);
    return std::string(path.bytes, path.length);
}

TEST(WithTrailingDelimiter, EndsEveryPathInABackslash) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"C:", "C:"},
        {"C:\\", "C:\\"},
        {"C:\\Windows\\", "C:\\Windows\\"},
        {"C", "C:\\"},
        {"c", "c:\\"},
        {"7", "7\\"},
        {"\xe9", "\xe9\\"},
        {"\\", "\\"},
        {"C:\\Windows", "C:\\Windows\\"},
        {"/home/me", "/home/me\\"},
        {"ab", "ab\\"},
        // UTF-8 ending in characters of two, three and four bytes: none of
        // their bytes is a backslash's, as the second byte of 表 is in 932.
        {"C:\\Ж", "C:\\Ж\\"},
        {"C:\\users\\表", "C:\\users\\表\\"},
        {"C:\\📁", "C:\\📁\\"},
        {"Ж", "Ж\\"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Delimited(c.in), c.out) << c.in;
}

TEST(GetFolderPath, NeverReportsMoreThanAPathCanHold) {
    static PathText path;
    for (const FolderKeyword &row : FolderKeywordTable) {
        path.length = PATH_CAPACITY + 1;
        GetFolderPath(row.id, &path);
        EXPECT_LE(path.length, PATH_CAPACITY - 3) << row.keyword;
        EXPECT_EQ(memchr(path.bytes, '\0', path.length), nullptr) << row.keyword;
    }
}

// Each word's form decides alone: what it would name is the platform's
// answer, asked only for a word that has the form.
static std::string ParsedForm(const std::string &word) {
    FolderGuid guid;
    Text name;
    FolderId id;
    bool guidForm = ParseFolderGuid(Txt(word), &guid);
    bool nameForm = ParseShellName(Txt(word), &name);
    bool csidlForm = ParseCsidl(Txt(word), &id);
    if (guidForm + nameForm + csidlForm > 1)
        return "more than one form";
    char spelled[48] = "";
    if (guidForm) {
        memcpy(spelled, "guid ", 5);
        FormatFolderGuid(&guid, spelled + 5);
    }
    if (csidlForm)
        snprintf(spelled, sizeof spelled, "csidl %d", id);
    return nameForm ? "name " + std::string(name.bytes, name.length) : spelled;
}

TEST(NamedFolderWords, AreRecognisedByTheirExactForm) {
    const struct {
        std::string word, form;
    } cases[] = {
        {"{374DE290-123F-4565-9164-39C4925E467B}", "guid {374DE290-123F-4565-9164-39C4925E467B}"},
        {"{0123abcd-4567-89ef-0A1b-2C3d4E5f6071}", "guid {0123ABCD-4567-89EF-0A1B-2C3D4E5F6071}"},
        {"{374de290-123f-4565-9164-39c4925e467b}", "guid {374DE290-123F-4565-9164-39C4925E467B}"},
        {"{00000000-0000-0000-0000-000000000000}", "guid {00000000-0000-0000-0000-000000000000}"},
        {"{FFFFFFFF-ffff-FFFF-ffff-FFFFFFFFFFFF}", "guid {FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"},
        {"{374DE290-123F-4565-9164-39C4925E467}", ""},
        {"{374DE290-123F-4565-9164-39C4925E467BB}", ""},
        {"374DE290-123F-4565-9164-39C4925E467B", ""},
        {"{374DE290-123F-4565-9164-39C4925E467B", ""},
        {"{374DE290-123F-4565-9164+39C4925E467B}", ""},
        {"{374DE29G-123F-4565-9164-39C4925E467B}", ""},
        {"{374DE290-123F-4565-9164-39C4925E467 }", ""},
        {"(374DE290-123F-4565-9164-39C4925E467B)", ""},
        {"shell:Downloads", "name Downloads"},
        {"SHELL:Local AppData", "name Local AppData"},
        {"Shell:x", "name x"},
        {"shell:shell:", "name shell:"},
        {"shell:", ""},
        {"shell", ""},
        {"shel:Downloads", ""},
        {" shell:Downloads", ""},
        {"csidl:26", "csidl 26"},
        {"CSIDL:040", "csidl 40"},
        {"csidl:0x1a", "csidl 26"},
        {"Csidl:0X1A", "csidl 26"},
        {"csidl:0", "csidl 0"},
        {"csidl:255", "csidl 255"},
        {"csidl:0xff", "csidl 255"},
        {"csidl:000000000000000000255", "csidl 255"},
        {"csidl:0x0000000000000001", "csidl 1"},
        {"csidl:256", ""},
        {"csidl:0x100", ""},
        {"csidl:4294967322", ""},
        {"csidl:0x", ""},
        {"csidl:26x", ""},
        {"csidl:1a", ""},
        {"csidl:", ""},
        {"csidl:-1", ""},
        {"csidl:+5", ""},
        {"csidl: 5", ""},
        {"csidl:x1a", ""},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ParsedForm(c.word), c.form) << c.word;
}

// Known folders are shown by name, a to z as A to Z and every other byte as
// it is, then by the id's text.
TEST(SortKnownFolders, OrdersByNameInAnyCaseThenById) {
    const std::string low = "{00000000-0000-0000-0000-0000000000AB}";
    const std::string high = "{F0000000-0000-0000-0000-000000000001}";
    const struct {
        std::string name, id;
    } sorted[] = {
        {"", high},
        {" x", low},
        {"AppData", low},
        {"appdata", high},
        {"AppDataX", low},
        {"CD Burning", low},
        {"Common AppData", high},
        {"CommonDownloads", low},
        {"Z_", low},
        {"[", low},
        {"_z", low},
        {"\x7f", low},
        {"\xc3\x84", low},
        {"\xd0\x98", low},
    };
    const size_t count = sizeof sorted / sizeof sorted[0];
    std::vector<KnownFolder> folders(count);
    // Reversed, then sorted again.
    for (size_t i = 0; i < count; i++) {
        KnownFolder &folder = folders[count - 1 - i];
        folder.name = Txt(sorted[i].name);
        ASSERT_TRUE(ParseFolderGuid(Txt(sorted[i].id), &folder.id));
    }
    KnownFolderList list = {folders.data(), count};
    SortKnownFolders(&list);
    for (size_t i = 0; i < count; i++) {
        char id[GUID_TEXT_LENGTH];
        FormatFolderGuid(&folders[i].id, id);
        EXPECT_EQ(std::string(folders[i].name.bytes, folders[i].name.length) + " " +
                      std::string(id, GUID_TEXT_LENGTH),
                  sorted[i].name + " " + sorted[i].id)
            << i;
    }
}

// The platform's comparison is its own; here letter case is ASCII's.
static bool SameInAnyCase(Text a, Text b) {
    return a.length == b.length && strncasecmp(a.bytes, b.bytes, a.length) == 0;
}

// Tidy forms (no "\\?\" and no trailing separator but a drive's root's);
// then whether the first is at or under the second, the root, and whether
// both lie on one drive or one share.
TEST(Places, AreTidiedAndComparedOnSeparatorBoundaries) {
    const struct {
        std::string in, tidy, root;
        bool under, oneRoot;
    } cases[] = {
        {"C:\\OneDrive - Contoso\\Desktop\\", "C:\\OneDrive - Contoso\\Desktop",
         "C:\\OneDrive - Contoso", true, true},
        {"C:\\Users\\me\\OneDrive2\\Pictures", "C:\\Users\\me\\OneDrive2\\Pictures",
         "C:\\Users\\me\\OneDrive", false, true},
        {"C:\\onedrive", "C:\\onedrive", "c:\\OneDrive", true, true},
        {"C:\\x\\\\/", "C:\\x", "C:\\", true, true},
        {"C:\\\\", "C:\\", "C:\\", true, true},
        {"D:\\x", "D:\\x", "C:\\", false, false},
        {"\\\\?\\C:\\x\\", "C:\\x", "C:\\x\\y", false, true},
        {"\\\\?\\UNC\\server\\share\\", "\\\\server\\share", "\\\\server\\share", true, true},
        {"\\\\?\\unc\\server\\share2", "\\\\server\\share2", "\\\\server\\share", false, false},
        {"\\\\server\\share\\Pictures", "\\\\server\\share\\Pictures", "\\\\server", true, false},
        {"\\\\SERVER\\Share\\Desktop", "\\\\SERVER\\Share\\Desktop", "\\\\server\\share", true,
         true},
        {"\\\\server\\home$\\me\\Desktop", "\\\\server\\home$\\me\\Desktop", "C:\\Users\\me", false,
         false},
        {"\\\\", "\\", "", false, false},
    };
    for (const auto &c : cases) {
        static PathText path;
        c.in.copy(path.bytes, c.in.size());
        path.length = c.in.size();
        DropLongPathPrefix(&path);
        DropTrailingSeparators(&path);
        EXPECT_EQ(std::string(path.bytes, path.length), c.tidy) << c.in;
        EXPECT_EQ(IsAtOrUnder(TextOfPath(&path), Txt(c.root), SameInAnyCase), c.under) << c.in;
        EXPECT_EQ(HaveOneRoot(TextOfPath(&path), Txt(c.root), SameInAnyCase), c.oneRoot) << c.in;
    }
    for (const char *root : {"C:\\OneDrive", "c:/", "\\\\server\\share", "//server"})
        EXPECT_TRUE(IsAbsolutePath(TextOf(root))) << root;
    for (const char *root :
         {"", "%OneDrive%", "OneDrive", "C:", "C:OneDrive", "\\OneDrive", "1:\\"})
        EXPECT_FALSE(IsAbsolutePath(TextOf(root))) << root;
}

// The names the security authority gives: alike but for letter case, an
// Entra ID name among them; an empty domain matches only an empty one.
TEST(IsSessionAccount, TakesOneNameAndOneDomainInAnyCase) {
    const struct {
        std::string name, domain, sessionName, sessionDomain;
        bool same;
    } cases[] = {
        {"FirstnameLastname", "AzureAD", "firstnamelastname", "AZUREAD", true},
        {"me", "PC", "you", "PC", false},
        {"me", "PC", "me", "CONTOSO", false},
        {"me", "", "ME", "", true},
        {"me", "PC", "me", "", false},
        {"", "", "", "", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsSessionAccount(Txt(c.name), Txt(c.domain), Txt(c.sessionName),
                                   Txt(c.sessionDomain), SameInAnyCase),
                  c.same)
            << c.sessionDomain << "\\" << c.sessionName;
}

// The console's user first, even with another active session; else the one
// active session with a user; else nobody.
TEST(ChooseUserSession, PrefersTheConsoleThenTheOneActiveUser) {
    const UserSession remote = {3, true, true}, other = {4, true, true}, gone = {5, false, true},
                      listener = {65536, true, false};
    const struct {
        uint32_t console;
        bool consoleHasUser;
        std::vector<UserSession> sessions;
        uint32_t chosen;
    } cases[] = {
        {1, true, {}, 1},
        {1, true, {remote}, 1},
        {NO_SESSION, false, {remote, listener}, 3},
        {1, false, {remote, gone}, 3},
        {1, false, {remote, other}, NO_SESSION},
        {1, false, {gone}, NO_SESSION},
        {1, false, {}, NO_SESSION},
    };
    for (const auto &c : cases)
        EXPECT_EQ(
            ChooseUserSession(c.console, c.consoleHasUser, c.sessions.data(), c.sessions.size()),
            c.chosen)
            << c.console << " " << c.consoleHasUser << " " << c.sessions.size();
}

static int OrderInAnyCase(Text a, Text b) {
    int order = strncasecmp(a.bytes, b.bytes, std::min(a.length, b.length));
    return order != 0 ? order : int(a.length) - int(b.length);
}

// What every profile's answer rests on: which ProfileList names are users',
// the order, the user's variables over the machine's (an unexpandable name
// is no path), the chain up to the profile folder, and the value's name.
TEST(Profiles, AreListedOrderedAndReadByTheShellsRule) {
    for (const char *sid : {"S-1-5-21-1-2-3-1001", "S-1-12-1-4-5-6-7", "s-1-5-21-9"})
        EXPECT_TRUE(IsUserSid(TextOf(sid))) << sid;
    for (const char *sid : {"S-1-5-18", "S-1-5-19", "S-1-5-20", "S-1-5-80-1-2", "S-1-5-82-1",
                            "S-1-5-21-1-2-3-1001.bak", "S-1-5-21-", "S-1-5-21-1--2", "S-1-5-21-1-"})
        EXPECT_FALSE(IsUserSid(TextOf(sid))) << sid;
    EXPECT_TRUE(ProfileComesBefore(TextOf("C:\\Users\\anna"), false, TextOf("c:\\users\\Bob"),
                                   false, OrderInAnyCase));
    EXPECT_FALSE(ProfileComesBefore(TextOf("C:\\Users\\Default"), true, TextOf("D:\\z"), false,
                                    OrderInAnyCase));
    const Text user[] = {TextOf("USERPROFILE=C:\\Users\\me"), TextOf("TEMP=%USERPROFILE%\\tmp"),
                         TextOf("OneDrive=%onedrivecommercial%")};
    const Text machine[] = {TextOf("TEMP=%SystemRoot%\\TEMP"), TextOf("SystemRoot=C:\\Windows"),
                            TextOf("LOOP=%LOOP%")};
    const VariableLayer layers[] = {{user, 3}, {machine, 3}};
    const struct {
        std::string value, expanded; // empty: no path
    } expansions[] = {
        {"%temp%\\x", "C:\\Users\\me\\tmp\\x"},
        {"%SystemRoot%\\100%", "C:\\Windows\\100%"},
        {"%HOMESHARE%\\Documents", ""},
        {"%OneDrive%\\Desktop", ""},
        {"%LOOP%", ""},
    };
    for (const auto &c : expansions) {
        static PathText out;
        EXPECT_EQ(ExpandVariables(Txt(c.value), layers, 2, &out), !c.expanded.empty()) << c.value;
        EXPECT_EQ(std::string(out.bytes, out.length), c.expanded) << c.value;
    }
    // A user's own variables, each naming the next n times (the last
    // empty), in a cycle, or naming themselves: no path, and no more names
    // read than bytes, where reading each reference through reads n^4.
    for (size_t n : {12, 10922}) {
        auto times = [n](const std::string &name) {
            std::string all;
            for (size_t i = 0; i < n; i++)
                all += "%" + name + "%";
            return all;
        };
        const std::string hostile[] = {
            "A=" + times("B"), "B=" + times("C"), "C=" + times("D"), "D=",
            "CA=%CB%a",        "CB=%CA%b",        "S=%S%s"};
        std::vector<Text> entries;
        size_t bytes = 0;
        for (const std::string &entry : hostile) {
            entries.push_back(Txt(entry));
            bytes += entry.size();
        }
        const VariableLayer own[] = {{entries.data(), entries.size()}};
        for (const std::string &value : {times("A"), std::string("%CA%"), std::string("%S%")}) {
            static PathText out;
            size_t before = VariablesLookedUp;
            EXPECT_FALSE(ExpandVariables(Txt(value), own, 1, &out)) << n << value.substr(0, 9);
            EXPECT_LE(VariablesLookedUp - before, bytes + value.size()) << n << value.substr(0, 9);
        }
    }
    // Programs, Start Menu, AppData: the first value up the chain, then the
    // relative paths below it; the default ignores the folder's own value.
    // A parent's value that names an unknown variable, or that could not be
    // read (empty), leaves no path.
    const struct {
        bool programs, startMenu, appData, endsAtProfile;
        std::string now, byDefault, appDataValue = "D:\\Roaming";
    } chains[] = {
        {false, false, true, true, "D:\\Roaming\\SM\\P", "D:\\Roaming\\SM\\P"},
        {true, false, true, true, "E:\\P", "D:\\Roaming\\SM\\P"},
        {false, false, false, true, "C:\\Users\\me\\AD\\SM\\P", "C:\\Users\\me\\AD\\SM\\P"},
        {false, false, false, false, "", ""},
        {false, true, false, false, "", ""},
        {false, false, true, true, "", "", ""},
        {true, false, true, true, "E:\\P", "", ""},
    };
    for (const auto &c : chains) {
        const FolderLink links[] = {{c.programs, TextOf("E:\\P"), TextOf("P")},
                                    {c.startMenu, TextOf("%X%\\SM"), TextOf("SM")},
                                    {c.appData, Txt(c.appDataValue), TextOf("AD")}};
        for (bool ownIgnored : {false, true}) {
            static PathText out;
            bool found = PathFromChain(links, 3, c.endsAtProfile, TextOf("C:\\Users\\me"), layers,
                                       1, ownIgnored, &out);
            std::string expected = ownIgnored ? c.byDefault : c.now;
            EXPECT_EQ(std::string(out.bytes, out.length), expected) << c.now << ownIgnored;
            EXPECT_EQ(found, !expected.empty()) << c.now;
        }
    }
    // A shell id of Windows' own names the value; none, or one of Wine's
    // beyond Windows' range (Downloads is 0x47 there), the id.
    const FolderGuid downloads = {
        0x374DE290, 0x123F, 0x4565, {0x91, 0x64, 0x39, 0xC4, 0x92, 0x5E, 0x46, 0x7B}};
    const std::string byId = "{374DE290-123F-4565-9164-39C4925E467B}";
    for (const auto &c : std::vector<std::pair<int, std::string>>{
             {39, "Name"}, {0x3D, "Name"}, {0, "Name"}, {0x3E, byId}, {0x47, byId}, {-1, byId}}) {
        static PathText name;
        ShellFolderValueName(TextOf("Name"), c.first, &downloads, &name);
        EXPECT_EQ(std::string(name.bytes, name.length), c.second) << c.first;
    }
    // What a logon sets from the user's AppData and Local AppData values:
    // expanded, else under the profile; a value that names APPDATA itself,
    // or could not be read, sets nothing; USERDOMAIN from the account.
    const Text own[] = {TextOf("USERPROFILE=C:\\Users\\me")};
    const VariableLayer logonLayers[] = {{own, 1}, {machine, 3}};
    const struct {
        bool hasAppData;
        std::string appData;
        bool hasLocal;
        std::string local, domain, set;
    } logons[] = {
        {true, "\\\\server\\r\\%USERNAME%", false, "", "",
         "LOCALAPPDATA=C:\\Users\\me\\AppData\\Local "},
        {true, "D:\\Roaming", true, "%USERPROFILE%\\L", "CONTOSO",
         "APPDATA=D:\\Roaming LOCALAPPDATA=C:\\Users\\me\\L USERDOMAIN=CONTOSO "},
        {false, "", true, "%APPDATA%\\..\\Local", "", "APPDATA=C:\\Users\\me\\AppData\\Roaming "},
        {true, "", true, "%SystemRoot%\\L", "", "LOCALAPPDATA=C:\\Windows\\L "},
    };
    for (const auto &c : logons) {
        const FolderLink values[] = {{c.hasAppData, Txt(c.appData), {}},
                                     {c.hasLocal, Txt(c.local), {}}};
        static PathText set[LOGON_FOLDER_COUNT + 1];
        size_t count =
            LogonVariables(values, TextOf("C:\\Users\\me"), Txt(c.domain), logonLayers, 2, set);
        std::string all;
        for (size_t i = 0; i < count; i++)
            all += std::string(set[i].bytes, set[i].length) + " ";
        EXPECT_EQ(all, c.set) << c.appData << " " << c.local;
    }
}

// Each problem word where its rule puts it, and nowhere else: the user at
// C:\Users\me, another profile at C:\Users\old; Documents has a second
// value, Links none and is not a folder every profile has.
TEST(Problems, AreFoundByTheirRules) {
    FolderGuid documents, links;
    ParseFolderGuid(TextOf("{FDD39AD0-238F-46AF-ADB4-6C85480369C7}"), &documents);
    ParseFolderGuid(TextOf("{BFB9D5E0-C6A9-404C-B2B2-AE6DB6AF4968}"), &links);
    const Text others[] = {TextOf("C:\\Users\\old"), TextOf("C:\\Users\\Public")};
    const UserPlaces user = {TextOf("C:\\Users\\me"), TextOf("C:\\Windows"), others, 2};
    auto same = [](Text a, Text b) {
        return a.length == b.length && strncasecmp(a.bytes, b.bytes, a.length) == 0;
    };
    const struct {
        bool isDocuments;
        std::string place;
        bool moved;
        FolderMove movedTo;
        DiskAnswer disk;
        std::string second, words;
    } rows[] = {
        {true, "C:\\Users\\me\\Documents", false, MOVE_UNTOLD, DISK_FOUND, "", ""},
        {true, "C:\\Users\\me\\Documents", false, MOVE_UNTOLD, DISK_NOT_FOUND, "", "missing"},
        {false, "C:\\Users\\me\\Links", false, MOVE_UNTOLD, DISK_NOT_FOUND, "", ""},
        {false, "D:\\Links", true, MOVED_LOCALLY, DISK_NOT_FOUND, "", "missing"},
        {true, "D:\\Docs", true, MOVED_LOCALLY, DISK_DENIED, "", ""},
        {true, "\\\\s\\h\\Docs", true, MOVED_TO_NETWORK, DISK_UNREACHABLE, "E:\\x", "unreachable"},
        {true, "c:\\users\\ME\\OneDrive - Contoso\\Docs", true, MOVED_LOCALLY, DISK_NOT_FOUND, "",
         "missing unlinked"},
        {true, "C:\\Users\\me\\OneDrive\\Docs", true, MOVED_TO_ONEDRIVE, DISK_FOUND, "", ""},
        {true, "C:\\Users\\me\\OneDrive2\\Docs", true, MOVED_LOCALLY, DISK_FOUND, "", ""},
        {true, "C:\\Users\\me\\OneDrive - \\Docs", true, MOVED_LOCALLY, DISK_FOUND, "", ""},
        {true, "C:\\", true, MOVED_LOCALLY, DISK_NOT_FOUND, "", "root"},
        {true, "\\\\server\\share", true, MOVED_TO_NETWORK, DISK_FOUND, "", "root"},
        {true, "C:\\Users\\me", true, MOVED_LOCALLY, DISK_FOUND, "", "root"},
        {true, "c:\\windows", true, MOVED_LOCALLY, DISK_FOUND, "", "root"},
        {true, "C:\\Users\\old\\Documents", true, MOVED_LOCALLY, DISK_NOT_FOUND, "", "foreign"},
        {true, "C:\\Users\\older\\Documents", true, MOVED_LOCALLY, DISK_FOUND, "", ""},
        {true, "", true, MOVED_LOCALLY, DISK_NOT_FOUND, "E:\\x", "untold"},
        {true, "H:\\Docs", true, MOVE_UNTOLD, DISK_NOT_FOUND, "", "untold"},
        {true, "C:\\Users\\me\\Documents", false, MOVE_UNTOLD, DISK_FOUND,
         "c:\\users\\me\\documents", ""},
        {true, "C:\\Users\\me\\Documents", false, MOVE_UNTOLD, DISK_FOUND, "D:\\Docs", "twin"},
        {true, "C:\\Users\\old", true, MOVED_LOCALLY, DISK_FOUND, "D:\\Docs", "foreign twin"},
    };
    for (const auto &row : rows) {
        CheckedFolder folder = {};
        folder.name = TextOf("Personal");
        folder.id = row.isDocuments ? documents : links;
        folder.place = Txt(row.place);
        folder.moved = row.moved;
        folder.movedTo = row.movedTo;
        folder.disk = row.disk;
        folder.secondPlace = folder.secondPath = Txt(row.second);
        FoundProblem found[PROBLEM_WORD_COUNT];
        size_t count = FindProblems(&folder, 1, &user, same, found, PROBLEM_WORD_COUNT);
        std::string words;
        for (size_t i = 0; i < count; i++)
            words += (i > 0 ? " " : "") + std::string(ProblemWords[found[i].word]);
        EXPECT_EQ(words, row.words) << row.place;
    }
    // Two folders at one place name each other; a third is left alone.
    CheckedFolder three[3] = {};
    const char *names[] = {"Desktop", "Personal", "My Music"},
               *places[] = {"D:\\Same", "d:\\same", "D:\\Other"};
    for (int i = 0; i < 3; i++) {
        three[i].name = TextOf(names[i]);
        three[i].id = links;
        three[i].place = TextOf(places[i]);
    }
    FoundProblem found[3];
    ASSERT_EQ(FindProblems(three, 3, &user, same, found, 3), 2u);
    for (size_t i = 0; i < 2; i++) {
        EXPECT_EQ(found[i].folder, i);
        EXPECT_EQ(found[i].word, PROBLEM_SHARED);
        EXPECT_EQ(std::string(found[i].other.bytes, found[i].other.length), names[1 - i]);
    }
}

// The keys a run loads are named for its process, and a later run unloads
// those whose process has ended: none has the pid, or one created at
// another time; for 1.6.0's names, none runs a korvane, this one being
// none. One that cannot be asked about is alive; no other name is a run's.
TEST(Hives, AreUnloadedOnceTheRunThatLoadedThemHasEnded) {
    char name[HIVE_NAME_CAPACITY];
    size_t length = FormatHiveName(4242, 0x01DB6E5F12345678ull, 3, name);
    EXPECT_EQ(std::string(name, length), "korvane-4242-01DB6E5F12345678-3");
    const uint32_t own = 77;
    const HiveOwner none = {NO_OWNER, 0, false}, hidden = {OWNER_HIDDEN, 0, false},
                    same = {OWNER_SEEN, 0x01DB6E5F12345678ull, true},
                    later = {OWNER_SEEN, 0x01DB6E5F12345679ull, true},
                    other = {OWNER_SEEN, 0x01DB6E5F12345678ull, false};
    const struct {
        std::string key;
        const HiveOwner &owner;
        int left; // -1: no run's key; 0: kept; 1: unloaded
    } cases[] = {
        {std::string(name, length), none, 1},
        {std::string(name, length), hidden, 0},
        {std::string(name, length), same, 0},
        {std::string(name, length), later, 1},
        {"korvane-4242-3", same, 0},
        {"korvane-4242-3", other, 1},
        {"korvane-4242-3", hidden, 0},
        {"korvane-77-0", same, 1},
        {"korvane-4294967295-4294967295", same, 0},
        {"korvane-4294967296-1", none, -1},
        {"korvane-4242-01DB6E5F1234567-3", none, -1},
        {"korvane-4242-01DB6E5F12345678-3-4", none, -1},
        {"korvane-4242", none, -1},
        {"korvane--3", none, -1},
        {"korvane-x-3", none, -1},
        {"S-1-5-21-1-2-3-1001", none, -1},
    };
    for (const auto &c : cases) {
        HiveName hive;
        bool ours = ReadHiveName(Txt(c.key), &hive);
        EXPECT_EQ(ours ? int(IsLeftByEndedRun(&hive, own, &c.owner)) : -1, c.left) << c.key;
    }
}
