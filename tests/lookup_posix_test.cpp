// The host build takes argv as the shell split it.
#include <gtest/gtest.h>
#include "listing.h"
#include "oracle.h"
#include "process.h"

TEST(HostArguments, AreTakenWholeAndEmptyOnesSkipped) {
    const struct {
        std::vector<std::string> words;
        std::string keyword;
    } cases[] = {
        {{"  temp  "}, "TEMP"},
        {{"- temp"}, ""},
        {{"   "}, ""},
        {{"", "", "appdata"}, "APPDATA"},
        {{"app data", "temp"}, "TEMP"},
        // No known-folder manager: these name nothing; a CSIDL names what
        // the host has a place for.
        {{"{374DE290-123F-4565-9164-39C4925E467B}", "temp"}, "TEMP"},
        {{"shell:Downloads", "temp"}, "TEMP"},
        {{"csidl:26", "temp"}, "APPDATA"},
        {{"csidl:10", "temp"}, "TEMP"},
    };
    for (const auto &c : cases) {
        Launch launch;
        launch.words = c.words;
        Outcome outcome = RunKorvane(launch);
        EXPECT_EQ(outcome.out, c.keyword.empty() ? "" : ReportedPath(c.keyword) + "\\");
        EXPECT_EQ(outcome.status, 0u);
    }
}

TEST(HostArguments, AnUnsetHomeLeavesItsFoldersEmpty) {
    Launch launch;
    launch.words = {"personal"};
    launch.environment = {"HOME=", "XDG_DOCUMENTS_DIR="};
    Outcome outcome = RunKorvane(launch);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.status, 0u);
}

TEST(HostArguments, OnlyEmptyArgumentsMeanNoArguments) {
    const std::string listing = ExpectedListing();
    const struct {
        std::vector<std::string> words;
        bool lists;
    } cases[] = {{{}, true}, {{""}, true}, {{"", ""}, true}, {{"   "}, false}, {{"", "x"}, false}};
    for (const auto &c : cases) {
        Launch launch;
        launch.words = c.words;
        Outcome outcome = RunKorvane(launch);
        EXPECT_EQ(outcome.out, c.lists ? listing : "") << c.words.size();
        EXPECT_EQ(outcome.status, 0u);
    }
}

TEST(HostArguments, OddBytesAndTheLongestArgumentAreTakenSafely) {
    std::string odd;
    for (int b = 1; b <= 0xFF; b++)
        if (b <= 0x20 || b >= 0x7F)
            odd += char(b);
    const struct {
        const char *what;
        std::vector<std::string> words;
        std::string keyword;
    } cases[] = {
        {"the longest argument", {std::string(131071, 'a'), "appdata"}, "APPDATA"},
        {"control and high bytes", {odd, odd + "temp" + odd}, ""},
        {"control and high bytes, then a keyword", {odd, "temp"}, "TEMP"},
        {"a lone quote", {"\"", "temp"}, "TEMP"},
    };
    for (const auto &c : cases) {
        Launch launch;
        launch.words = c.words;
        Outcome outcome = RunKorvane(launch);
        EXPECT_EQ(outcome.out, c.keyword.empty() ? "" : ReportedPath(c.keyword) + "\\") << c.what;
        EXPECT_EQ(outcome.status, 0u) << c.what;
    }
}
