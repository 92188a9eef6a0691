// Failing streams and odd folders: each test here backs rows of the fault
// matrix in docs/developing.md.
#include <gtest/gtest.h>
#include <vector>
#include "../src/console/console.h"
#include "listing.h"
#include "oracle.h"
#include "process.h"
#include "system.h"

// Lookup output of more than 128 bytes: a long temporary directory.
static Launch LongTemp() {
    Launch launch = {{"temp"}};
    for (const std::string &variable : TempEnvironment(AbsolutePath(std::string(200, 'L'))))
        launch.environment.push_back(variable);
    return launch;
}

struct FailingSink {
    Sink sink;
    unsigned status;
};

static void ExpectEveryModeToEndWith(const std::vector<FailingSink> &sinks) {
    const struct {
        const char *mode;
        Launch launch;
    } modes[] = {
        {"lookup, under 128 bytes", {{"appdata"}}},
        {"lookup, over 128 bytes", LongTemp()},
        {"listing, over 128 bytes", {}},
        {"every folder", {{"/all"}}},
        {"every folder in JSON", {{"/json"}}},
        {"every known folder in JSON", {{"/known", "/json"}}},
        {"the moved folders in JSON", {{"/moved", "/json"}}},
        {"the version", {{"/version"}}},
        {"every folder for the signed-in user", {{"/loggedon", "/all"}}},
        {"every profile's folder in JSON", {{"/profiles", "/json", "appdata"}}},
        {"what is wrong with the folders", {{"/problems"}}},
    };
    for (const auto &mode : modes) {
        Outcome whole = RunKorvane(mode.launch);
        EXPECT_EQ(whole.status, 0u) << mode.mode;
        EXPECT_GT(whole.out.size(), 0u) << mode.mode;
        for (const auto &sink : sinks) {
            Launch launch = mode.launch;
            launch.sink = sink.sink;
            EXPECT_EQ(RunKorvane(launch).status, sink.status)
                << mode.mode << ", sink " << sink.sink;
        }
    }
    EXPECT_GT(RunKorvane(LongTemp()).out.size(), 128u);
    // Nothing to write, so nothing can fail.
    for (const auto &sink : sinks)
        EXPECT_EQ(RunKorvane({{"nothing"}, sink.sink}).status, 0u) << sink.sink;
}

TEST(Faults, AFailingStandardOutputEndsWithItsErrorInEveryMode) {
    ExpectEveryModeToEndWith({{SINK_CLOSED, 105}, {SINK_BROKEN_PIPE, BROKEN_PIPE_ERROR}});
}

// Only where the platform has a device that is always full.
TEST(Faults, AFullDeviceEndsWithItsErrorInEveryMode) {
    PlatformHandle full = OpenFullDevice();
    if (full == NO_HANDLE)
        GTEST_SKIP() << "no device that is always full here";
    CloseEnd(&full);
    ExpectEveryModeToEndWith({{SINK_FULL, DISK_FULL_ERROR}});
}

// The stream reads 128 bytes at a time, so a line of 10 MB costs no memory.
// The test never holds the 10 MB either: a forked child counts the test's
// memory as its own until its exec. Each figure is the largest of those
// read while the program waits for its input, once it has taken the input,
// and until its end: both must exist, or the test measured nothing. The
// input waits until the file holds every whole block of the listing, so
// that a program that ends at once after it has still been measured
// after its lookups, and not only at its start.
TEST(Faults, ATenMegabyteLineKeepsMemoryFlat) {
    size_t blocks = RunKorvane({}).out.size() / STREAM_BUFFER_SIZE * STREAM_BUFFER_SIZE;
    Launch one = {{}, SINK_FILE, SOURCE_BYTES, "\n"};
    // 10 MB, and no line end
    Launch tenMegabytes = {{}, SINK_FILE, SOURCE_BYTES, std::string(1 << 16, 'x'), 160};
    one.outputBeforeInput = tenMegabytes.outputBeforeInput = blocks;
    Outcome small = RunKorvane(one), huge = RunKorvane(tenMegabytes);
    EXPECT_EQ(huge.status, 0u);
    EXPECT_EQ(huge.out, small.out);
    ASSERT_GT(small.peakMemory, 0u) << "the platform should tell the peak memory";
    ASSERT_GT(huge.peakMemory, 0u) << "the platform should tell the peak memory";
    EXPECT_LT(huge.peakMemory, small.peakMemory + (1 << 20))
        << small.peakMemory << " bytes for one line, " << huge.peakMemory << " for 10 MB";
}

// A folder without a file-system path, one this system does not know, and
// ones for which Wine's shell gives the name of a virtual folder, "::{...}":
// nothing printed, status 0, and the words after it not looked at.
TEST(Faults, AFolderWithoutAPathStillEndsTheSearch) {
    for (const char *keyword :
         {"BITBUCKET", "COMPUTERSNEARME", "INTERNET", "NETWORK", "PRINTERS"}) {
        ASSERT_EQ(ReportedPath(keyword), "") << keyword << " should have no path here";
        Outcome outcome = RunKorvane({{keyword, "appdata", "temp"}, SINK_PIPE});
        EXPECT_EQ(outcome.out, "") << keyword;
        EXPECT_EQ(outcome.status, 0u) << keyword;
    }
}

TEST(Faults, TenThousandWordsThatNameNoFolder) {
    std::vector<std::string> words;
    for (int i = 0; i < 10000; i++)
        words.push_back("w" + std::to_string(i % 10));
    Outcome outcome = RunKorvane({words, SINK_PIPE});
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.status, 0u);
}
