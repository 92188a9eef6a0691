// Failing streams and odd folders: each test here backs rows of the fault
// matrix in the README.
#include <gtest/gtest.h>
#include "listing.h"
#include "oracle.h"
#include "process.h"

static Outcome Launched(std::vector<std::string> words, Sink sink, Source source,
                        std::vector<std::string> environment = TestEnvironment(),
                        const std::string &input = "") {
    Launch launch;
    launch.words = words;
    launch.sink = sink;
    launch.source = source;
    launch.input = input;
    launch.environment = environment;
    return RunKorvane(launch);
}

// Lookup output of more than 128 bytes: a long temporary directory.
static std::vector<std::string> LongTemp() {
    std::vector<std::string> environment = TestEnvironment();
    for (const std::string &variable : TempEnvironment(AbsolutePath(std::string(200, 'L'))))
        environment.push_back(variable);
    return environment;
}

TEST(Faults, AFailingStandardOutputEndsWithItsErrorInEveryMode) {
    const struct {
        const char *mode;
        std::vector<std::string> words;
        std::vector<std::string> environment;
    } modes[] = {
        {"lookup, under 128 bytes", {"appdata"}, TestEnvironment()},
        {"lookup, over 128 bytes", {"temp"}, LongTemp()},
        {"listing, over 128 bytes", {}, TestEnvironment()},
    };
    const struct {
        Sink sink;
        unsigned status;
    } sinks[] = {
        {SINK_CLOSED, 105}, {SINK_FULL, DISK_FULL_ERROR}, {SINK_BROKEN_PIPE, BROKEN_PIPE_ERROR}};
    for (const auto &mode : modes) {
        Outcome whole = Launched(mode.words, SINK_FILE, SOURCE_EMPTY, mode.environment);
        EXPECT_EQ(whole.status, 0u) << mode.mode;
        EXPECT_GT(whole.out.size(), 0u) << mode.mode;
        for (const auto &sink : sinks)
            EXPECT_EQ(Launched(mode.words, sink.sink, SOURCE_EMPTY, mode.environment).status,
                      sink.status)
                << mode.mode << ", sink " << sink.sink;
    }
    EXPECT_GT(Launched({"temp"}, SINK_FILE, SOURCE_EMPTY, LongTemp()).out.size(), 128u);
    // Nothing to write, so nothing can fail.
    for (const auto &sink : sinks)
        EXPECT_EQ(Launched({"nothing"}, sink.sink, SOURCE_EMPTY).status, 0u) << sink.sink;
}

// The stream reads 128 bytes at a time, so a line of 10 MB costs no memory.
// The test never holds the 10 MB either: a forked child counts the test's
// memory as its own until its exec.
TEST(Faults, ATenMegabyteLineKeepsMemoryFlat) {
    Outcome small = Launched({}, SINK_FILE, SOURCE_BYTES, TestEnvironment(), "\n");
    Launch launch;
    launch.source = SOURCE_BYTES;
    launch.environment = TestEnvironment();
    launch.input = std::string(1 << 16, 'x');
    launch.inputRepeats = 160; // 10 MB, and no line end
    Outcome huge = RunKorvane(launch);
    EXPECT_EQ(huge.status, 0u);
    EXPECT_EQ(huge.out, small.out);
    ASSERT_GT(small.peakMemory, 0u) << "the platform should tell the peak memory";
    EXPECT_LT(huge.peakMemory, small.peakMemory + (1 << 20))
        << small.peakMemory << " bytes for one line, " << huge.peakMemory << " for 10 MB";
}

// A folder without a file-system path, and one this system does not know:
// nothing printed, status 0, and the words after it not looked at.
TEST(Faults, AFolderWithoutAPathStillEndsTheSearch) {
    for (const char *keyword : {"BITBUCKET", "COMPUTERSNEARME"}) {
        ASSERT_EQ(ReportedPath(keyword), "") << keyword << " should have no path here";
        Outcome outcome = Launched({keyword, "appdata", "temp"}, SINK_PIPE, SOURCE_EMPTY);
        EXPECT_EQ(outcome.out, "") << keyword;
        EXPECT_EQ(outcome.status, 0u) << keyword;
    }
}

TEST(Faults, TenThousandWordsThatNameNoFolder) {
    std::vector<std::string> words;
    for (int i = 0; i < 10000; i++)
        words.push_back("w" + std::to_string(i % 10));
    Outcome outcome = Launched(words, SINK_PIPE, SOURCE_EMPTY);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.status, 0u);
}
