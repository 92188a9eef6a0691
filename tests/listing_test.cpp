// The built program, started for real, in listing mode.
#include <gtest/gtest.h>
#include <algorithm>
#include <map>
#include "../src/folders/folders.h"
#include "listing.h"
#include "oracle.h"
#include "process.h"

static const char *const Listed[] = {
    "DESKTOP",
    "PROGRAMS",
    "PERSONAL",
    "FAVORITES",
    "STARTUP",
    "RECENT",
    "SENDTO",
    "STARTMENU",
    "DESKTOPDIRECTORY",
    "FONTS",
    "TEMPLATES",
    "APPDATA",
    "LOCAL_APPDATA",
    "PRINTHOOD",
    "NETHOOD",
    "COOKIES",
    "HISTORY",
    "ADMINTOOLS",
    "CDBURN_AREA",
    "COMMON_ADMINTOOLS",
    "COMMON_APPDATA",
    "COMMON_DOCUMENTS",
    "COMMON_TEMPLATES",
    "COMMON_MUSIC",
    "COMMON_PICTURES",
    "COMMON_VIDEO",
    "COMMON_FAVORITES",
    "PROGRAM_FILES",
    "PROGRAM_FILES_COMMON",
    "RESOURCES",
    "RESOURCES_LOCALIZED",
    "SYSTEM",
    "WINDOWS",
    "TEMP",
};

std::string ExpectedListing() {
    std::string text = "korvane.exe [Parameter]\r\n \r\nPARAMETERS LIST:\r\n";
    for (const char *keyword : Listed)
        text += std::string(keyword) + " => " + Printed(ReportedPath(keyword)) + "\r\n";
    return text;
}

bool IsReportLine(const std::string &text, unsigned number) {
    char head[32];
    snprintf(head, sizeof head, "Runtime error %3u at ", number & 0xFF);
    if (text.size() != 31 || text.compare(0, 21, head) != 0 || text.compare(29, 2, "\r\n") != 0)
        return false;
    for (size_t i = 21; i < 29; i++)
        if (!isdigit((unsigned char)text[i]) && !(text[i] >= 'A' && text[i] <= 'F'))
            return false;
    return true;
}

TEST(Listing, WritesTheTableAndEndsWhenTheInputLineIsRead) {
    const Expected listing = AskedBoth(ExpectedListing);
    const struct {
        Sink sink;
        Source source;
        std::string input;
    } cases[] = {
        {SINK_FILE, SOURCE_EMPTY, ""},
        {SINK_PIPE, SOURCE_EMPTY, ""},
        {SINK_FILE, SOURCE_BYTES, "\r\n"},
        {SINK_PIPE, SOURCE_BYTES, "one line\r\nand more\r\n"},
        {SINK_FILE, SOURCE_BYTES, ""},
        {SINK_FILE, SOURCE_BYTES, "no line end"},
        {SINK_FILE, SOURCE_BYTES, "\x1a"},
        {SINK_PIPE, SOURCE_BYTES,
         "\x1a"
         "appdata\r\n"},
        {SINK_FILE, SOURCE_BYTES, std::string(1000, 'x') + "\n"},
    };
    // A line read ends the wait for the signed-in user's listing too.
    for (const auto &c : cases)
        ExpectOutput({{}, c.sink, c.source, c.input}, listing, c.input == "\r\n");
}

// Help: the listing, then a block that names every mode and option, short
// enough for one screen of a console and narrow enough for its width; and
// the version: a line; no wait, whatever standard input holds. Only the
// first word asks for them.
TEST(Listing, AQuestionMarkListsWithoutWaiting) {
    const std::string listing = ExpectedListing(), none = "";
    const std::string help = RunKorvane({{"/?"}, SINK_PIPE, SOURCE_OPEN}).out;
    ASSERT_EQ(help.substr(0, listing.size()), listing);
    const std::string block = help.substr(listing.size());
    size_t lines = 0;
    for (size_t at = 0, end; (end = block.find("\r\n", at)) != std::string::npos; at = end + 2) {
        lines++;
        EXPECT_LE(end - at, 79u) << block.substr(at, end - at);
    }
    EXPECT_LE(lines, 22u);
    EXPECT_EQ(block.size() >= 2 ? block.substr(block.size() - 2) : "", "\r\n");
    for (const char *word :
         {"/all", "/json", "/known", "/moved", "/default", "/noverify", "/create", "/loggedon",
          "/profiles", "/problems", "--version", "{GUID}", "shell:", "csidl:"})
        EXPECT_NE(block.find(word), std::string::npos) << word;
    const std::string appdata = Printed(ReportedPath("APPDATA"));
    const std::string version = std::string("korvane ") + KORVANE_VERSION +
                                (sizeof(void *) == 8 ? " (64-bit)\r\n" : " (32-bit)\r\n");
    const struct {
        std::vector<std::string> words;
        const std::string &out;
    } cases[] = {
        {{"/?"}, help},
        {{"/loggedon", "/?"}, help},
        {{"-LOGGEDON", "--version"}, version},
        {{"-?"}, help},
        {{"?"}, help},
        {{"/?", "appdata"}, help},
        {{" /? "}, help},
        {{"appdata", "/?"}, appdata},
        {{"+?"}, none},
        {{"/??"}, none},
        {{"--HELP", "appdata"}, help},
        {{"/help"}, help},
        {{"-H"}, help},
        {{"--Version", "appdata"}, version},
        {{"/VERSION"}, version},
    };
    for (const auto &c : cases) {
        Launch launch = {c.words, SINK_PIPE, SOURCE_OPEN};
        Outcome outcome = RunKorvane(launch);
        EXPECT_EQ(outcome.out, c.out) << c.words[0];
        EXPECT_EQ(outcome.status, 0u) << c.words[0];
    }
}

TEST(Listing, HasTheHeadingAndThirtyFourRows) {
    std::string out = RunKorvane({}).out;
    size_t lines = 0;
    for (size_t at = 0; (at = out.find("\r\n", at)) != std::string::npos; at += 2)
        lines++;
    EXPECT_EQ(lines, 37u);
    EXPECT_EQ(out.find("\x1b"), std::string::npos) << "no colour bytes in a file";
    EXPECT_NE(out.find("\r\nAPPDATA => "), std::string::npos);
    EXPECT_LT(out.find("\r\nAPPDATA => "), out.find("\r\nLOCAL_APPDATA => "));
    EXPECT_LT(out.find("\r\nCOMMON_VIDEO => "), out.find("\r\nCOMMON_FAVORITES => "));
}

TEST(Listing, AClosedStandardInputIsReportedAfterTheTable) {
    Outcome outcome = RunKorvane({{}, SINK_FILE, SOURCE_CLOSED});
    const std::string listing = ExpectedListing();
    ASSERT_GE(outcome.out.size(), listing.size());
    EXPECT_EQ(outcome.out.substr(0, listing.size()), listing);
    EXPECT_TRUE(IsReportLine(outcome.out.substr(listing.size()), 104))
        << outcome.out.substr(listing.size());
    EXPECT_EQ(outcome.status, 104u);
}

// A JSON string in ASCII, from the code points of a UTF-8 path.
static std::string JsonOf(const std::string &path) {
    std::string json = "\"";
    for (size_t i = 0, n; i < path.size(); i += n) {
        unsigned char lead = (unsigned char)path[i];
        n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        unsigned point = n == 1 ? lead : lead & (0x7F >> n);
        for (size_t k = 1; k < n; k++)
            point = point << 6 | (path[i + k] & 0x3F);
        char unit[16];
        if (point >= 0x10000)
            snprintf(unit, sizeof unit, "\\u%04x\\u%04x", 0xD7C0 + (point >> 10),
                     0xDC00 + (point & 0x3FF));
        else if (point < 0x20 || point >= 0x7F)
            snprintf(unit, sizeof unit, "\\u%04x", point);
        else
            snprintf(unit, sizeof unit, point == '"' || point == '\\' ? "\\%c" : "%c", point);
        json += unit;
    }
    return json + "\"";
}

// Every keyword in the table's order, TEMP at this path.
static std::string EveryFolder(bool json, const std::string &temp) {
    std::string text = json ? "{\r\n" : "";
    for (size_t i = 0; i < FOLDER_KEYWORD_COUNT; i++) {
        std::string keyword = FolderKeywordTable[i].keyword;
        std::string path = keyword == "TEMP" ? temp : ReportedPath(keyword);
        if (!json)
            text += keyword + "=" + Printed(path) + "\r\n";
        else
            text += "  \"" + keyword + "\": " + (path.empty() ? "null" : JsonOf(Delimited(path))) +
                    (i + 1 < FOLDER_KEYWORD_COUNT ? ",\r\n" : "\r\n");
    }
    return json ? text + "}\r\n" : text;
}

// The manager's folders, each id once, by name with a to z as A to Z, then
// by id.
static std::vector<ListedFolder> KnownInOrder() {
    std::map<std::pair<std::string, std::string>, ListedFolder> sorted;
    for (const ListedFolder &folder : ListedByManager()) {
        std::string key = folder.name;
        for (char &c : key)
            c = c >= 'a' && c <= 'z' ? char(c - 0x20) : c;
        sorted[{key, folder.id}] = folder;
    }
    std::vector<ListedFolder> folders;
    for (const auto &entry : sorted)
        folders.push_back(entry.second);
    return folders;
}

std::string JsonPath(const std::string &path) {
    return path.empty() ? "null" : JsonOf(Delimited(path));
}

std::string EveryKnownFolder(bool json, bool movedOnly,
                             const std::map<std::string, std::string> &movedTo) {
    std::vector<ListedFolder> folders;
    for (const ListedFolder &folder : KnownInOrder())
        if (folder.moved || !movedOnly)
            folders.push_back(folder);
    std::string text = json ? "[\r\n" : "";
    for (size_t i = 0; i < folders.size(); i++) {
        const ListedFolder &f = folders[i];
        if (!json)
            text +=
                Redirected(f.name) + "=" + Printed(movedOnly ? f.unverifiedPath : f.path) + "\r\n";
        else
            text += "  {\"name\": " + JsonOf(f.name) + ", \"id\": \"" + f.id +
                    "\", \"category\": \"" + f.category + "\", \"path\": " + JsonPath(f.path) +
                    ", \"defaultPath\": " + JsonPath(f.defaultPath) +
                    ", \"moved\": " + (f.moved ? "true" : "false") + ", \"movedTo\": " +
                    (!f.moved                ? "null"
                     : movedTo.count(f.name) ? "\"" + movedTo.at(f.name) + "\""
                                             : "\"local\"") +
                    (i + 1 < folders.size() ? "},\r\n" : "}\r\n");
    }
    return json ? text + "]\r\n" : text;
}

// The first word alone chooses (and for /known the second, /json); no wait,
// whatever standard input holds.
TEST(Listing, AllAndJsonGiveEveryFolderAtOnce) {
    const Expected all = AskedBoth([] { return EveryFolder(false, ReportedPath("TEMP")); });
    const Expected json = AskedBoth([] { return EveryFolder(true, ReportedPath("TEMP")); });
    const std::string known = EveryKnownFolder(false), knownJson = EveryKnownFolder(true);
    const std::string moved = EveryKnownFolder(false, true),
                      movedJson = EveryKnownFolder(true, true);
    const std::string appdata = Printed(ReportedPath("APPDATA")), none;
    // Wine's shell names no per-user default with a token: the rows that
    // show defaults are not asked for the signed-in user (forUser false).
    const struct {
        std::vector<std::string> words;
        Expected out;
        bool forUser = true;
    } cases[] = {
        {{"/all"}, all},
        {{"/all", "/loggedon"}, all.forUser},
        {{"-ALL"}, all},
        {{"all", "appdata"}, all},
        {{"\\All"}, all},
        {{"/json"}, json},
        {{"+Json", "/all"}, json},
        {{"JSON"}, json},
        {{"appdata", "/all"}, appdata},
        {{"--all", "appdata"}, appdata},
        {{"/alls", "appdata"}, appdata},
        {{"/known"}, known},
        {{"KNOWN", "appdata"}, known},
        {{"/known", "/jsonx"}, known},
        {{"/known", "x", "/json"}, known},
        {{"-Known", "+JSON"}, knownJson, false},
        {{" /known ", "json", "x"}, knownJson, false},
        {{"appdata", "/known"}, appdata},
        {{"--known", "appdata"}, appdata},
        {{"/moved"}, moved, false},
        {{"-MOVED", "/JSON"}, movedJson, false},
        // Never for one signed-in user; the caller's own is counted below.
        {{"/loggedon", "/profiles", "appdata"}, none},
        {{"-PROFILES", "/noverify", "/JSON"}, none},
        {{"profiles", "/create", "appdata"}, none},
        {{"/profiles", "nothing", "appdata"}, none},
        {{"/profiles", "appdata", "/loggedon"}, none},
        // A fresh prefix has no problems; a word beside /problems that it
        // takes no part in, and nothing at all.
        {{"/problems"}, Expected("no problems\r\n"), false},
        {{"-PROBLEMS", "/JSON"}, Expected("[\r\n]\r\n"), false},
        {{"/problems", "/create"}, none},
        {{"problems", "appdata"}, none},
        {{"/profiles", "/problems", "/noverify"}, none},
    };
    for (const auto &c : cases)
        for (Sink sink : {SINK_FILE, SINK_PIPE})
            ExpectOutput({c.words, sink, SOURCE_OPEN}, c.out, c.forUser && sink == SINK_PIPE);
    EXPECT_EQ(std::count(all.asCaller.begin(), all.asCaller.end(), '\n'), 67);
    // Every profile's line, the caller's own among them once, whoever else
    // this machine has.
    std::string profiles = "\n" + RunKorvane({{"/profiles", "appdata"}, SINK_PIPE}).out;
    size_t own = 0;
    for (size_t at = 0; (at = profiles.find("\n" + appdata + "\r\n", at)) != std::string::npos;
         at++)
        own++;
    EXPECT_EQ(own, 1u) << profiles;
    // Each name, after "shell:", gives the path of its line; PrintersFolder
    // is virtual, though Wine's manager gives it the system directory.
    std::vector<ListedFolder> folders = KnownInOrder();
    for (size_t i = 0; i < folders.size(); i++)
        if (i % 10 == 0 || folders[i].name == "PrintersFolder") {
            Outcome outcome = RunKorvane({{"\"shell:" + folders[i].name + "\""}, SINK_PIPE});
            EXPECT_EQ(outcome.out, Printed(folders[i].path)) << folders[i].name;
        }
}

// A Cyrillic temporary directory: in the output code page in every line of
// /all, and exactly, as \u escapes, in JSON.
TEST(CodePages, AllAndJsonCarryANonAsciiTemporaryDirectory) {
    Launch launch;
    const auto moved = TempEnvironment(AbsolutePath("korvane-Временные 表"));
    launch.environment.insert(launch.environment.end(), moved.begin(), moved.end());
    std::string temp = ReportedTempPath(moved);
    EXPECT_NE(temp.find("Временные"), std::string::npos) << "the platform should report it";
    for (bool json : {false, true}) {
        launch.words = {json ? "/json" : "/all"};
        Outcome outcome = RunKorvane(launch);
        EXPECT_EQ(outcome.out, EveryFolder(json, temp)) << launch.words[0];
        EXPECT_EQ(outcome.status, 0u);
    }
}
