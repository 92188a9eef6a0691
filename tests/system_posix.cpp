// The harness's platform calls on the host: descriptors, and the program
// started with fork and execv.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include "process.h"
#include "system.h"

static int Descriptor(PlatformHandle handle) {
    return int(intptr_t(handle));
}

static PlatformHandle HandleOf(int fd) {
    return PlatformHandle(intptr_t(fd));
}

void OpenPipe(PlatformHandle *reader, PlatformHandle *writer) {
    int ends[2] = {-1, -1};
    pipe2(ends, O_CLOEXEC);
    *reader = HandleOf(ends[0]);
    *writer = HandleOf(ends[1]);
}

PlatformHandle OpenTemporaryFile() {
    char name[] = "/tmp/korvane-test-XXXXXX";
    int fd = mkostemp(name, O_CLOEXEC);
    unlink(name);
    return HandleOf(fd);
}

PlatformHandle OpenFullDevice() {
    return HandleOf(open("/dev/full", O_WRONLY | O_CLOEXEC));
}

void Rewind(PlatformHandle file) {
    lseek(Descriptor(file), 0, SEEK_SET);
}

size_t FileSizeNow(PlatformHandle file) {
    struct stat status;
    return fstat(Descriptor(file), &status) == 0 ? size_t(status.st_size) : 0;
}

void CloseEnd(PlatformHandle *end) {
    if (Descriptor(*end) >= 0)
        close(Descriptor(*end));
    *end = NO_HANDLE;
}

bool ReadSome(PlatformHandle handle, char *bytes, size_t capacity, size_t *got) {
    ssize_t took = read(Descriptor(handle), bytes, capacity);
    *got = took > 0 ? size_t(took) : 0;
    return took > 0;
}

size_t WaitingBytes(PlatformHandle reader) {
    int waiting = 0;
    return ioctl(Descriptor(reader), FIONREAD, &waiting) == 0 ? size_t(waiting) : 0;
}

bool WriteSome(PlatformHandle handle, const char *bytes, size_t count, size_t *written) {
    ssize_t took = write(Descriptor(handle), bytes, count);
    *written = took > 0 ? size_t(took) : 0;
    return took >= 0;
}

void MakeNonBlocking(PlatformHandle writer) {
    fcntl(Descriptor(writer), F_SETFL, O_NONBLOCK);
}

static void PutOn(PlatformHandle handle, int target) {
    if (handle == NO_HANDLE)
        close(target);
    else
        dup2(Descriptor(handle), target);
}

// Each word is one argv entry.
PlatformHandle StartProgram(const std::vector<std::string> &words,
                            const std::vector<std::string> &environment, PlatformHandle in,
                            PlatformHandle out, unsigned *error) {
    signal(SIGPIPE, SIG_IGN); // a child that stops reading must not end the test
    std::string program = ProgramPath();
    std::vector<char *> argv = {&program[0]};
    for (const std::string &word : words)
        argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        PutOn(in, STDIN_FILENO);
        PutOn(out, STDOUT_FILENO);
        for (const std::string &variable : environment)
            putenv(const_cast<char *>(variable.c_str()));
        execv(argv[0], argv.data());
        _exit(127);
    }
    *error = child < 0 ? unsigned(errno) : 0;
    return child < 0 ? NO_HANDLE : HandleOf(child);
}

unsigned WaitForProgram(PlatformHandle child, size_t *peakMemory) {
    int status = 0;
    struct rusage usage = {};
    wait4(pid_t(intptr_t(child)), &status, 0, &usage);
    *peakMemory = size_t(usage.ru_maxrss) * 1024;
    return WIFEXITED(status) ? unsigned(WEXITSTATUS(status)) : ENDED_BY_SIGNAL + WTERMSIG(status);
}

// The high-water mark of the child's resident set, which a child that has
// ended (a zombie) no longer shows.
size_t PeakMemoryNow(PlatformHandle child) {
    std::string path = "/proc/" + std::to_string(intptr_t(child)) + "/status";
    FILE *status = fopen(path.c_str(), "r");
    char line[256];
    size_t kilobytes = 0;
    while (status != nullptr && fgets(line, sizeof line, status) != nullptr)
        if (sscanf(line, "VmHWM: %zu kB", &kilobytes) == 1)
            break;
    if (status != nullptr)
        fclose(status);
    return kilobytes * 1024;
}

bool HasEnded(PlatformHandle child) {
    siginfo_t info = {};
    waitid(P_PID, id_t(intptr_t(child)), &info, WEXITED | WNOHANG | WNOWAIT);
    return info.si_pid != 0;
}

void EndProgram(PlatformHandle child) {
    kill(pid_t(intptr_t(child)), SIGKILL);
}

PlatformHandle OpenOddHandle() {
    return HandleOf(open("/", O_RDONLY | O_DIRECTORY));
}

// Descriptor 1 stays the standard output; what it refers to changes.
PlatformHandle SwapStandardOutput(PlatformHandle handle) {
    int was = dup(STDOUT_FILENO);
    dup2(Descriptor(handle), STDOUT_FILENO);
    close(Descriptor(handle));
    return HandleOf(was);
}

bool IsOpenHandle(PlatformHandle handle) {
    return fcntl(Descriptor(handle), F_GETFD) != -1;
}

std::string ProgramPath() {
    return KORVANE_PROGRAM;
}
