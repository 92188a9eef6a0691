// Starts build/host/korvane with fork and execv, its descriptors 0 and 1
// set up as the launch asks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
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
    if (fd != target) {
        dup2(fd, target);
        close(fd);
    }
}

Outcome RunKorvane(const Launch &launch) {
    char file[] = "/tmp/korvane-out-XXXXXX";
    int out = -1, reader = -1, ends[2];
    switch (launch.sink) {
    case SINK_FILE:
        out = mkstemp(file);
        break;
    case SINK_PIPE:
    case SINK_BROKEN_PIPE:
        if (pipe(ends) == 0) {
            reader = ends[0];
            out = ends[1];
        }
        if (launch.sink == SINK_BROKEN_PIPE) {
            close(reader);
            reader = -1;
        }
        break;
    case SINK_FULL:
        out = open("/dev/full", O_WRONLY);
        break;
    case SINK_CLOSED:
        break;
    }
    int in = -1;
    if (launch.source == SOURCE_EMPTY)
        in = open("/dev/null", O_RDONLY);
    if (launch.source == SOURCE_BYTES) {
        char input[] = "/tmp/korvane-in-XXXXXX";
        in = mkstemp(input);
        unlink(input);
        if (write(in, launch.input.data(), launch.input.size()) != ssize_t(launch.input.size()))
            ADD_FAILURE() << "could not prepare the input";
        lseek(in, 0, SEEK_SET);
    }

    std::vector<char *> argv = {const_cast<char *>(KORVANE_PROGRAM)};
    for (const std::string &word : launch.words)
        argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        if (reader >= 0)
            close(reader);
        if (in >= 0)
            PutOn(in, STDIN_FILENO);
        else
            close(STDIN_FILENO);
        if (out >= 0)
            PutOn(out, STDOUT_FILENO);
        else
            close(STDOUT_FILENO);
        for (const std::string &variable : launch.environment)
            putenv(const_cast<char *>(variable.c_str()));
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (out >= 0)
        close(out);
    if (in >= 0)
        close(in);
    Outcome outcome = {"", 0xDEAD};
    if (reader >= 0) {
        outcome.out = ReadWhole(reader);
        close(reader);
    }
    int status = 0;
    waitpid(child, &status, 0);
    outcome.status = WIFEXITED(status) ? unsigned(WEXITSTATUS(status)) : 0x100 + WTERMSIG(status);
    if (launch.sink == SINK_FILE) {
        int written = open(file, O_RDONLY);
        outcome.out = ReadWhole(written);
        close(written);
        unlink(file);
    }
    return outcome;
}
