// Runs the built program as a child with the standard streams a launch asks
// for, feeds its input, and collects its output and exit status.
#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include "process.h"
#include "system.h"

static std::string ReadWhole(PlatformHandle handle) {
    std::string bytes;
    char chunk[4096];
    size_t got;
    while (ReadSome(handle, chunk, sizeof chunk, &got))
        bytes.append(chunk, got);
    return bytes;
}

// A program can end between two questions for its memory, and then no
// figure exists, or only one from its start. Held at its input it cannot:
// the input is fed once the first figure is read and the output holds the
// bytes asked for (or the program has ended), and the end of input comes
// after one more figure, read with all of it taken but what the pipe holds.
static void Feed(PlatformHandle writer, std::string input, size_t repeats, PlatformHandle child,
                 PlatformHandle output, size_t outputBefore, size_t *peakMemory) {
    for (int waits = 0; waits < 30000 && !HasEnded(child); waits++) {
        // The figure is read once the output is there: one read before it
        // could be from before the lookups.
        if ((outputBefore == 0 || FileSizeNow(output) >= outputBefore) &&
            (*peakMemory = PeakMemoryNow(child)) > 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (; repeats > 0; repeats--)
        for (size_t at = 0, written; at < input.size(); at += written)
            if (!WriteSome(writer, input.data() + at, input.size() - at, &written)) {
                repeats = 1; // the child has stopped reading
                break;
            }
    *peakMemory = std::max(*peakMemory, PeakMemoryNow(child));
    CloseEnd(&writer);
}

Outcome RunKorvane(const Launch &launch) {
    PlatformHandle out = NO_HANDLE, reader = NO_HANDLE, file = NO_HANDLE;
    switch (launch.sink) {
    case SINK_FILE:
        out = file = OpenTemporaryFile();
        break;
    case SINK_PIPE:
        OpenPipe(&reader, &out);
        break;
    case SINK_BROKEN_PIPE:
        OpenPipe(&reader, &out);
        CloseEnd(&reader);
        break;
    case SINK_FULL:
        out = OpenFullDevice();
        break;
    case SINK_CLOSED:
        break;
    }
    PlatformHandle in = NO_HANDLE, feeder = NO_HANDLE, holder = NO_HANDLE;
    switch (launch.source) {
    case SOURCE_EMPTY:
        in = OpenTemporaryFile();
        break;
    case SOURCE_BYTES:
        OpenPipe(&in, &feeder);
        break;
    case SOURCE_OPEN:
        OpenPipe(&in, &holder);
        break;
    case SOURCE_CLOSED:
        break;
    }

    unsigned error = 0;
    PlatformHandle child = StartProgram(launch.words, launch.environment, in, out, &error);
    if (out != file)
        CloseEnd(&out);
    CloseEnd(&in);
    Outcome outcome = {"", NOT_STARTED, 0};
    if (child == NO_HANDLE) {
        ADD_FAILURE() << "the program could not be started: error " << error;
        CloseEnd(&feeder);
    }
    std::thread feeding, watching;
    size_t fedPeak = 0;
    if (feeder != NO_HANDLE)
        feeding = std::thread(Feed, feeder, launch.input, launch.inputRepeats, child, file,
                              launch.outputBeforeInput, &fedPeak);
    std::mutex ending;
    std::condition_variable ended;
    bool done = false, overran = false;
    if (child != NO_HANDLE)
        watching = std::thread([&] {
            std::unique_lock<std::mutex> lock(ending);
            overran = !ended.wait_for(lock, std::chrono::seconds(RUN_LIMIT_SECONDS),
                                      [&] { return done; });
            if (overran)
                EndProgram(child);
        });
    if (child != NO_HANDLE) {
        if (reader != NO_HANDLE)
            outcome.out = ReadWhole(reader);
        outcome.status = WaitForProgram(child, &outcome.peakMemory);
        {
            std::lock_guard<std::mutex> lock(ending);
            done = true;
        }
        ended.notify_one();
        watching.join();
        if (overran)
            ADD_FAILURE() << "the program still ran after " << RUN_LIMIT_SECONDS
                          << " s and was ended";
    }
    if (feeding.joinable())
        feeding.join();
    outcome.peakMemory = std::max(outcome.peakMemory, fedPeak);
    CloseEnd(&holder);
    CloseEnd(&reader);
    if (file != NO_HANDLE) {
        Rewind(file);
        outcome.out = ReadWhole(file);
        CloseEnd(&file);
    }
    return outcome;
}

void ExpectOutput(const Launch &launch, const Expected &out, bool forUser) {
    Launch asked = launch;
    for (bool loggedOn : {false, true}) {
        if (loggedOn && !forUser)
            return;
        if (loggedOn)
            asked.words.insert(asked.words.begin(), "/loggedon");
        Outcome outcome = RunKorvane(asked);
        std::string words;
        for (const std::string &word : asked.words)
            words += word + " ";
        EXPECT_EQ(outcome.out, loggedOn ? out.forUser : out.asCaller) << words;
        EXPECT_EQ(outcome.status, 0u) << words;
    }
}
