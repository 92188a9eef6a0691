// Runs the built program as a child process with its standard streams
// redirected, and collects what it wrote and its exit status.
#ifndef KORVANE_TESTS_PROCESS_H
#define KORVANE_TESTS_PROCESS_H

#include <string>
#include <vector>

enum Sink { SINK_FILE, SINK_PIPE, SINK_FULL, SINK_BROKEN_PIPE, SINK_CLOSED };
enum Source { SOURCE_EMPTY, SOURCE_BYTES, SOURCE_CLOSED };

struct Outcome {
    std::string out;
    unsigned status;
};

struct Launch {
    // On Windows the words are joined with single spaces into the raw command
    // line, exactly as written; on the host each is one argv entry.
    std::vector<std::string> words;
    Sink sink = SINK_FILE;
    Source source = SOURCE_EMPTY;
    std::string input;                    // for SOURCE_BYTES
    std::vector<std::string> environment; // "NAME=value", set for the child only
};

Outcome RunKorvane(const Launch &launch);

#endif
