// Starts build/host/korvane with fork and execv, its descriptors 0 and 1
// set up as the launch asks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include "process.h"

static std::string ReadWhole(int fd) {
    std::string bytes;
    char chunk[4096];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0)
        bytes.append(chunk, size_t(got));
    return bytes;
}

static void PutOn(int fd, int target) {
    if (fd < 0) {
        close(target);
    } else if (fd != target) {
        dup2(fd, target);
        close(fd);
    }
}

static void Feed(int writer, std::string input, size_t repeats) {
    for (size_t at = 0; repeats > 0; at = 0, repeats--) {
        while (at < input.size()) {
            ssize_t written = write(writer, input.data() + at, input.size() - at);
            if (written <= 0) {
                repeats = 1; // the child has stopped reading
                break;
            }
            at += size_t(written);
        }
    }
    close(writer);
}

Outcome RunKorvane(const Launch &launch) {
    signal(SIGPIPE, SIG_IGN); // a child that stops reading must not end the test
    char file[] = "/tmp/korvane-out-XXXXXX";
    int out = -1, reader = -1, feeder = -1, in = -1, holder = -1, ends[2];
    switch (launch.sink) {
    case SINK_FILE:
        out = mkstemp(file);
        break;
    case SINK_PIPE:
    case SINK_BROKEN_PIPE:
        if (pipe2(ends, O_CLOEXEC) == 0) {
            reader = ends[0];
            out = ends[1];
        }
        if (launch.sink == SINK_BROKEN_PIPE) {
            close(reader);
            reader = -1;
        }
        break;
    case SINK_FULL:
        out = open("/dev/full", O_WRONLY | O_CLOEXEC);
        break;
    case SINK_CLOSED:
        break;
    }
    if (launch.source == SOURCE_EMPTY) {
        char input[] = "/tmp/korvane-in-XXXXXX";
        in = mkstemp(input);
        unlink(input);
    }
    if (launch.source == SOURCE_BYTES && pipe2(ends, O_CLOEXEC) == 0) {
        in = ends[0];
        feeder = ends[1];
    }
    if (launch.source == SOURCE_OPEN && pipe2(ends, O_CLOEXEC) == 0) {
        in = ends[0];
        holder = ends[1];
    }

    std::vector<char *> argv = {const_cast<char *>(KORVANE_PROGRAM)};
    for (const std::string &word : launch.words)
        argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        PutOn(in, STDIN_FILENO);
        PutOn(out, STDOUT_FILENO);
        for (const std::string &variable : launch.environment)
            putenv(const_cast<char *>(variable.c_str()));
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (out >= 0)
        close(out);
    if (in >= 0)
        close(in);
    std::thread feeding;
    if (feeder >= 0)
        feeding = std::thread(Feed, feeder, launch.input, launch.inputRepeats);
    Outcome outcome = {"", 0xDEAD, 0};
    if (reader >= 0) {
        outcome.out = ReadWhole(reader);
        close(reader);
    }
    int status = 0;
    struct rusage usage = {};
    wait4(child, &status, 0, &usage);
    if (holder >= 0)
        close(holder);
    if (feeding.joinable())
        feeding.join();
    outcome.status = WIFEXITED(status) ? unsigned(WEXITSTATUS(status)) : 0x100 + WTERMSIG(status);
    outcome.peakMemory = size_t(usage.ru_maxrss) * 1024;
    if (launch.sink == SINK_FILE) {
        int written = open(file, O_RDONLY);
        outcome.out = ReadWhole(written);
        close(written);
        unlink(file);
    }
    return outcome;
}
