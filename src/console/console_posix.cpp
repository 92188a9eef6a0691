// The host build's console: descriptors 0 and 1, and on a terminal the
// console colours as SGR escapes, and SIGINT caught to reset them. Text is
// UTF-8 everywhere, so nothing is converted. Uses: ESC[<fg>;<bg>m, ESC[0m, ESC[H, ESC[2J, ESC[3J,
// ESC[<row>;<col>H.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include "platform.h"

extern "C" const char __executable_start[];

static int Descriptor(PlatformHandle handle) {
    return int(intptr_t(handle));
}

static PlatformHandle HandleOf(int fd) {
    return fcntl(fd, F_GETFD) == -1 ? PlatformHandle(intptr_t(-1)) : PlatformHandle(intptr_t(fd));
}

PlatformHandle GetStandardOutput() {
    return HandleOf(STDOUT_FILENO);
}

PlatformHandle GetStandardInput() {
    return HandleOf(STDIN_FILENO);
}

PlatformHandle GetStandardError() {
    return HandleOf(STDERR_FILENO);
}

bool IsValidHandle(PlatformHandle handle) {
    return Descriptor(handle) >= 0;
}

FileKind QueryFileKind(PlatformHandle handle) {
    struct stat status;
    if (fstat(Descriptor(handle), &status) != 0)
        return FILE_KIND_UNKNOWN;
    if (S_ISCHR(status.st_mode))
        return isatty(Descriptor(handle)) ? FILE_KIND_CONSOLE : FILE_KIND_CHARACTER;
    if (S_ISREG(status.st_mode) || S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode))
        return FILE_KIND_OTHER;
    return FILE_KIND_UNKNOWN;
}

// Escapes go straight out: on a terminal the stream holds nothing between
// pieces, so they keep their place among the text.
static void WriteToTerminal(PlatformHandle handle, const char *bytes, size_t count) {
    if (IsValidHandle(handle) && isatty(Descriptor(handle)))
        WriteAllBytes(handle, bytes, count);
}

// Console colour bits are blue 1, green 2, red 4; SGR's are red 1, green 2, blue 4.
static int SgrColour(int colour) {
    return (colour & 2) | (colour & 1) << 2 | (colour & 4) >> 2;
}

void SetTextAttribute(PlatformHandle handle, TextAttribute attribute) {
    int foreground = attribute & 0xF, background = attribute >> 4 & 0xF;
    char escape[32];
    int length = snprintf(
        escape, sizeof escape, "\x1b[%d;%dm", (foreground & 8 ? 90 : 30) + SgrColour(foreground),
        background == 0 ? 49 : (background & 8 ? 100 : 40) + SgrColour(background));
    WriteToTerminal(handle, escape, size_t(length));
}

static volatile sig_atomic_t ColoursPutBack;

// A terminal's own colours are what SGR 0 brings back; once, whether at the
// end or on Ctrl-C.
void RestoreTextAttribute() {
    static const char reset[] = "\x1b[0m";
    if (ColoursPutBack)
        return;
    ColoursPutBack = 1;
    WriteToTerminal(ConsoleHandle, reset, sizeof reset - 1);
}

// Then the signal ends the program as it would have, unless the program
// holds what it must let go of first: then it is only noted. Nothing here
// but write(2) and the signal calls, which a handler may make.
static volatile sig_atomic_t SignalCame, Holding;

static void EndBySignal(int number) {
    RestoreTextAttribute();
    signal(number, SIG_DFL);
    raise(number);
}

static void PutColoursBack(int number) {
    SignalCame = 1;
    if (!Holding)
        EndBySignal(number);
}

static void CatchInterrupt() {
    struct sigaction was;
    if (sigaction(SIGINT, nullptr, &was) == 0 && was.sa_handler != SIG_IGN)
        signal(SIGINT, PutColoursBack);
}

// The terminal keeps its own colours; only Ctrl-C needs catching, and not
// where whoever started the program has it ignored.
void KeepTextAttribute(PlatformHandle handle) {
    if (isatty(Descriptor(handle)))
        CatchInterrupt();
}

void HoldInterrupts() {
    Holding = 1;
    CatchInterrupt();
}

void ReleaseInterrupts() {
    Holding = 0;
}

bool Interrupted() {
    return SignalCame != 0;
}

void EndAsInterrupted() {
    EndBySignal(SIGINT);
    _exit(130);
}

void ClearScreen() {
    static const char clear[] = "\x1b[2J\x1b[3J";
    WriteToTerminal(ConsoleHandle, clear, sizeof clear - 1);
    MoveCursor(0, 0);
}

void MoveCursor(int16_t x, int16_t y) {
    char escape[32];
    int length = snprintf(escape, sizeof escape, "\x1b[%d;%dH", y + 1, x + 1);
    WriteToTerminal(ConsoleHandle, escape, size_t(length));
}

uint32_t WriteToConsole(PlatformHandle handle, Text text) {
    return WriteAllBytes(handle, text.bytes, text.length);
}

Text EncodeForOutput(Text text) {
    return text;
}

// A reader that has gone must show as a failed write, not kill the process.
// A descriptor left non-blocking by whoever started the program takes
// nothing while the reader is behind: wait until it takes more.
uint32_t WriteSomeBytes(PlatformHandle handle, const char *bytes, size_t count, size_t *written) {
    static bool sigpipeIgnored = false;
    if (!sigpipeIgnored) {
        signal(SIGPIPE, SIG_IGN);
        sigpipeIgnored = true;
    }
    *written = 0;
    ssize_t took = write(Descriptor(handle), bytes, count);
    if (took < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        struct pollfd writable = {Descriptor(handle), POLLOUT, 0};
        poll(&writable, 1, -1);
        return 0;
    }
    if (took < 0)
        return errno == EINTR ? 0 : uint32_t(errno);
    if (took == 0)
        return EIO;
    *written = size_t(took);
    return 0;
}

uint32_t ReadBytes(PlatformHandle handle, char *bytes, size_t capacity, size_t *count) {
    ssize_t got;
    do
        got = read(Descriptor(handle), bytes, capacity);
    while (got < 0 && errno == EINTR);
    *count = got > 0 ? size_t(got) : 0;
    return got < 0 ? uint32_t(errno) : 0;
}

// The offset from the start of the executable, the same on every run.
uint32_t CodePlace(const void *address) {
    return uint32_t(uintptr_t(address) - uintptr_t(__executable_start));
}

void ExitProgram(uint32_t status) {
    _exit(int(status));
}
