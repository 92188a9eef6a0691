// The built program, started for real, in lookup mode.
#include <gtest/gtest.h>
#include "../src/folders/folders.h"
#include "oracle.h"
#include "process.h"

static std::string Spelled(const std::string &keyword, size_t form) {
    static const char *const prefixes[] = {"", "/", "-", "+", "\\"};
    std::string word = prefixes[form % 5] + keyword;
    for (size_t i = 0; i < word.size(); i++)
        if ((form + i) % 3 == 0)
            word[i] = char(tolower(word[i]));
    return word;
}

TEST(Lookup, EveryKeywordInEveryFormPrintsWhatThePlatformReports) {
    size_t form = 0, withPath = 0;
    // The oracle names each folder independently, by the platform's own ids.
    for (const FolderKeyword &row : FolderKeywordTable) {
        const char *keyword = row.keyword;
        Expected expected = AskedBoth([&] { return Printed(ReportedPath(keyword)); });
        withPath += !expected.asCaller.empty();
        // A folder without a path must still end the search. One spelling
        // of each is also asked for the signed-in user.
        for (int spelling = 0; spelling < 2; spelling++, form++)
            ExpectOutput({{Spelled(keyword, form), "temp"}, form % 2 ? SINK_PIPE : SINK_FILE},
                         expected, spelling == 0);
    }
    EXPECT_GE(withPath, 30u) << "the platform should know most of the folders";
}

TEST(Lookup, OnlyTheFirstRecognisedWordCounts) {
    const std::string appdata = Printed(ReportedPath("APPDATA"));
    const std::string temp = Printed(ReportedPath("TEMP"));
    // Wine's shell names no per-user default with a token: those rows are
    // not asked for the signed-in user (forUser false).
    const struct {
        std::vector<std::string> words;
        std::string out;
        bool forUser = true;
    } cases[] = {
        {{"foo", "appdata", "temp"}, appdata},
        {{"temp", "appdata"}, temp},
        {{"--appdata"}, ""},
        {{"--appdata", "/temp"}, temp},
        {{"nothing", "here"}, ""},
        {{"desk", "desktopdirectoryx"}, ""},
        // A folder without a file-system path still ends the search.
        {{"bitbucket", "appdata"}, Printed(ReportedPath("BITBUCKET"))},
        // Whatever the kind of the first word that names a folder.
        {{"temp", "shell:Downloads"}, temp},
        {{"shell:NoSuchFolder", "{00000000-0000-0000-0000-0000000000AB}", "temp"}, temp},
        {{"csidl:0x1a", "temp"}, appdata},
        // Options name nothing; they apply to the word that names a folder.
        {{"/noverify", "appdata"}, appdata},
        {{"-CREATE", "nothing", "temp"}, temp},
        {{"/create"}, ""},
        {{"appdata", "/create", "temp"}, appdata},
        {{"/noverify", "/create", "bitbucket", "temp"}, Printed(ReportedPath("BITBUCKET"))},
        // Where it would be had nothing moved it, whatever other option.
        {{"/default", "appdata"}, Printed(ReportedPath("APPDATA", BY_DEFAULT)), false},
        {{"-DEFAULT", "/create", "downloads"},
         Printed(ReportedPath("DOWNLOADS", BY_DEFAULT)),
         false},
        {{"/create", "default", "csidl:0x1a"}, Printed(ReportedPath("APPDATA", BY_DEFAULT)), false},
        {{"/default", "program_files"}, Printed(ReportedPath("PROGRAM_FILES", BY_DEFAULT))},
        // For the signed-in user, before the word that names a folder; an
        // option after it is never looked at.
        {{"/create", "-LOGGEDON", "appdata"}, appdata},
        {{"loggedon", "/noverify", "csidl:26"}, Printed(ReportedPath("APPDATA", UNVERIFIED))},
        {{"temp", "/loggedon"}, temp},
        {{"/default", "temp"}, temp},
        {{"/default", "bitbucket", "temp"}, ""},
    };
    for (const auto &c : cases)
        ExpectOutput({c.words}, c.out, c.forUser);
}

// A temporary path longer than the first buffer (259 bytes, which the
// 255-letter name fills up) is asked for again, never taken from bytes the
// platform did not write. Wine reports no temporary path past 259 bytes.
TEST(Lookup, ALongTemporaryPathIsPrintedWhole) {
    for (size_t length : {200, 254, 255, 256, 400, 2000}) {
        std::string path = AbsolutePath(std::string(length, 't'));
        Launch launch;
        launch.words = {"temp"};
        launch.environment = TempEnvironment(path);
        std::string reported = ReportedTempPath(launch.environment);
        if (length <= 255) {
            EXPECT_EQ(Printed(reported), path + "\\") << "the platform should report it";
        }
        Outcome outcome = RunKorvane(launch);
        EXPECT_EQ(outcome.out, Printed(reported)) << length;
        EXPECT_EQ(outcome.status, 0u);
    }
}

// Cyrillic (in code pages 1251 and 866), a letter that neither has and whose
// best fit would name another folder, and CJK (in 932 and 936). Redirected,
// the path comes in the output code page, with "?" for what it lacks.
TEST(CodePages, APathComesOutInTheOutputCodePageWithoutBestFit) {
    for (const char *name : {"Временные", "Müller", "文件", "Мой Müller 文件 表"}) {
        Launch launch;
        launch.words = {"temp"};
        launch.environment = TempEnvironment(AbsolutePath(std::string("korvane-") + name));
        std::string reported = ReportedTempPath(launch.environment);
        EXPECT_NE(reported.find(name), std::string::npos) << "the platform should report it";
        for (Sink sink : {SINK_FILE, SINK_PIPE}) {
            launch.sink = sink;
            Outcome outcome = RunKorvane(launch);
            EXPECT_EQ(outcome.out, Printed(reported)) << name;
            EXPECT_EQ(outcome.out.find("Muller"), std::string::npos) << name;
            EXPECT_EQ(outcome.status, 0u) << name;
        }
    }
}

TEST(Lookup, ALongCommandLineIsSplitInFull) {
    std::vector<std::string> words(16000, "a");
    words.back() = "appdata";
    Outcome outcome = RunKorvane({words, SINK_PIPE});
    EXPECT_EQ(outcome.out, Printed(ReportedPath("APPDATA")));
    EXPECT_EQ(outcome.status, 0u);
}
