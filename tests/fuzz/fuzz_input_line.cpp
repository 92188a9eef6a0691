// Standard input as SkipInputLine reads it, through a platform of the test's
// own whose reads return what the fuzzer scripts: reads of any size up to the
// buffer, ends, failures. It must consume exactly one line, never more than
// it was given, and read nothing after an end.
#include <stdint.h>
#include <string.h>
#include <string>
#include <vector>
#include "../../src/console/platform.h"
#include "check.h"

struct ScriptedRead {
    std::string bytes;
    uint32_t error;
};

static std::vector<ScriptedRead> Reads;
static size_t NextRead, Delivered;
static bool Ended, InputClosed;

static PlatformHandle const INPUT = PlatformHandle(intptr_t(0x100));
static const uint32_t READ_FAILURE = 5;

PlatformHandle GetStandardOutput() {
    return nullptr;
}
PlatformHandle GetStandardInput() {
    return InputClosed ? nullptr : INPUT;
}
PlatformHandle GetStandardError() {
    return nullptr;
}
bool IsValidHandle(PlatformHandle handle) {
    return handle != nullptr;
}
FileKind QueryFileKind(PlatformHandle) {
    return FILE_KIND_OTHER;
}
uint32_t WriteSomeBytes(PlatformHandle, const char *, size_t count, size_t *written) {
    *written = count;
    return 0;
}
uint32_t WriteToConsole(PlatformHandle, Text) {
    return 0;
}
Text EncodeForOutput(Text text) {
    return text;
}
void SetTextAttribute(PlatformHandle, TextAttribute) {}
void RestoreTextAttribute() {}
uint32_t CodePlace(const void *) {
    return 0;
}
void ExitProgram(uint32_t) {
    abort();
}

uint32_t ReadBytes(PlatformHandle handle, char *bytes, size_t capacity, size_t *count) {
    CHECK(handle == INPUT);
    CHECK(!Ended);
    CHECK(bytes == StandardInput.buffer && capacity == STREAM_BUFFER_SIZE);
    *count = 0;
    if (NextRead == Reads.size()) {
        Ended = true;
        return 0;
    }
    const ScriptedRead &read = Reads[NextRead++];
    Ended = read.error != 0 || read.bytes.empty();
    memcpy(bytes, read.bytes.data(), read.bytes.size());
    *count = read.bytes.size();
    Delivered += read.bytes.size();
    return read.error;
}

// Byte 255 is a failed read, byte n otherwise a read of n % 129 bytes (0 is
// an end); the bytes follow it. A first byte of 254 means no input at all.
static void Script(const uint8_t *data, size_t size) {
    Reads.clear();
    InputClosed = size > 0 && data[0] == 254;
    for (size_t at = InputClosed; at < size;) {
        uint8_t head = data[at++];
        if (head == 255) {
            Reads.push_back({"", READ_FAILURE});
            continue;
        }
        size_t length = head % (STREAM_BUFFER_SIZE + 1);
        if (length > size - at)
            length = size - at;
        Reads.push_back({std::string(reinterpret_cast<const char *>(data) + at, length), 0});
        at += length;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Script(data, size);
    StandardInput = InputStream{};
    StreamErrorNumber = 0;
    NextRead = Delivered = 0;
    Ended = false;

    SkipInputLine();

    // What the input held up to its first end or failure, and where the line
    // ends in it by the rules.
    std::string given;
    bool failed = false;
    for (const ScriptedRead &read : Reads) {
        given += read.bytes;
        failed = read.error != 0;
        if (read.error != 0 || read.bytes.empty())
            break;
    }
    size_t line = given.size();
    size_t feed = given.find('\n'), stop = given.find('\x1a');
    if (feed != std::string::npos)
        line = feed + 1;
    if (stop != std::string::npos && stop < line)
        line = stop;

    if (InputClosed) {
        CHECK(StreamErrorNumber == ERROR_INPUT_NOT_OPEN && Delivered == 0);
        return 0;
    }
    CHECK(StandardInput.next <= StandardInput.count && StandardInput.count <= STREAM_BUFFER_SIZE);
    size_t consumed = Delivered - (StandardInput.count - StandardInput.next);
    CHECK(Delivered <= given.size());
    CHECK(consumed == line);
    bool lineEnded = feed != std::string::npos || stop != std::string::npos;
    CHECK(StreamErrorNumber == (failed && !lineEnded ? READ_FAILURE : 0));
    return 0;
}
