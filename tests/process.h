// Runs the built program as a child process with its standard streams
// redirected, and collects what it wrote and its exit status.
#ifndef KORVANE_TESTS_PROCESS_H
#define KORVANE_TESTS_PROCESS_H

#include <string>
#include <vector>
#include "oracle.h"

// The environment every launch runs in unless it says otherwise.
std::vector<std::string> TestEnvironment();

enum Sink { SINK_FILE, SINK_PIPE, SINK_FULL, SINK_BROKEN_PIPE, SINK_CLOSED };
// SOURCE_EMPTY is an empty file; SOURCE_BYTES a pipe that a thread of the
// test feeds with the input, once the program's memory has been read, and
// then closes; SOURCE_OPEN a pipe that stays
// open, and empty, until the program has ended.
enum Source { SOURCE_EMPTY, SOURCE_BYTES, SOURCE_CLOSED, SOURCE_OPEN };

// Statuses no exit gives: the program could not be started at all (the
// test has failed already), or on the host it was ended by signal N, as
// ENDED_BY_SIGNAL + N. A program still running after RUN_LIMIT is ended
// (a korvane that wrongly waits on its input would block the run for
// ever), and the test fails.
const unsigned NOT_STARTED = 0xDEAD;
const int RUN_LIMIT_SECONDS = 120;
const unsigned ENDED_BY_SIGNAL = 0x100;

struct Outcome {
    std::string out;
    unsigned status;   // the exit status, or one of the two above
    size_t peakMemory; // the child's peak resident memory, in bytes; 0 if never read
};

struct Launch {
    // On Windows the words are joined with single spaces into the raw command
    // line, exactly as written; on the host each is one argv entry.
    std::vector<std::string> words = {};
    Sink sink = SINK_FILE;
    Source source = SOURCE_EMPTY;
    std::string input = "";  // for SOURCE_BYTES
    size_t inputRepeats = 1; // fed this many times, never held whole
    // For SINK_FILE and SOURCE_BYTES: the input is held back until the file
    // holds this many bytes of output too.
    size_t outputBeforeInput = 0;
    // "NAME=value", set for the child only
    std::vector<std::string> environment = TestEnvironment();
};

Outcome RunKorvane(const Launch &launch);

// Runs the launch and expects this output and status 0; and, where
// `forUser`, the same with /loggedon in front, which answers for the user
// signed in here: whoever runs the tests.
void ExpectOutput(const Launch &launch, const Expected &out, bool forUser = true);

#endif
