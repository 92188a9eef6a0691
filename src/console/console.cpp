// Coloured pieces of text over a small buffered stream of our own, so that
// every piece reaches a console before the next colour change, while a file
// or a pipe gets 128-byte blocks. Each piece is converted whole from UTF-8,
// before any block is cut, so that no character is ever split.
#include "platform.h"

PlatformHandle ConsoleHandle;
OutputStream StandardOutput;
InputStream StandardInput;
uint32_t StreamErrorNumber;

static const char CTRL_Z = 0x1A;

TextAttribute MakeTextAttribute(uint8_t foreground, uint8_t background) {
    return TextAttribute(foreground + 16 * background);
}

// The first failure is the one worth reporting; the program ends soon after.
static void RecordStreamError(uint32_t number) {
    if (StreamErrorNumber == 0)
        StreamErrorNumber = number;
}

// A standard handle of no use here stays open all the same: it is not ours.
static bool OpenOutput() {
    if (StandardOutput.open)
        return true;
    PlatformHandle handle = GetStandardOutput();
    FileKind kind = IsValidHandle(handle) ? QueryFileKind(handle) : FILE_KIND_UNKNOWN;
    if (kind == FILE_KIND_UNKNOWN) {
        RecordStreamError(ERROR_OUTPUT_NOT_OPEN);
        return false;
    }
    StandardOutput.handle = handle;
    StandardOutput.kind = kind == FILE_KIND_CONSOLE     ? STREAM_CONSOLE
                          : kind == FILE_KIND_CHARACTER ? STREAM_DEVICE
                                                        : STREAM_OTHER;
    StandardOutput.held = 0;
    StandardOutput.open = true;
    return true;
}

uint32_t WriteAllBytes(PlatformHandle handle, const char *bytes, size_t count) {
    while (count > 0) {
        size_t written = 0;
        uint32_t error = WriteSomeBytes(handle, bytes, count, &written);
        if (error != 0)
            return error;
        bytes += written;
        count -= written;
    }
    return 0;
}

// The bytes are gone once handed over, written or not.
static void WriteHeld() {
    if (StandardOutput.held == 0)
        return;
    uint32_t error =
        WriteAllBytes(StandardOutput.handle, StandardOutput.buffer, StandardOutput.held);
    StandardOutput.held = 0;
    if (error != 0)
        RecordStreamError(error);
}

static bool IsContinuationByte(char c) {
    return (c & 0xC0) == 0x80;
}

size_t WholeCharacters(Text text, size_t limit) {
    if (text.length <= limit)
        return text.length;
    size_t length = limit;
    // A character takes four bytes at most; past that the text is no UTF-8
    // and is cut where it must be.
    while (length > 0 && limit - length < 3 && IsContinuationByte(text.bytes[length]))
        length--;
    return length > 0 && !IsContinuationByte(text.bytes[length]) ? length : limit;
}

static void HoldBytes(Text text) {
    while (text.length > 0) {
        size_t room = STREAM_BUFFER_SIZE - StandardOutput.held;
        size_t taken = text.length < room ? text.length : room;
        memcpy(StandardOutput.buffer + StandardOutput.held, text.bytes, taken);
        StandardOutput.held += taken;
        text.bytes += taken;
        text.length -= taken;
        if (StandardOutput.held == STREAM_BUFFER_SIZE)
            WriteHeld();
    }
}

void WriteToOutput(Text text) {
    if (!OpenOutput())
        return;
    while (text.length > 0) {
        Text piece = {text.bytes, WholeCharacters(text, TEXT_CAPACITY)};
        text.bytes += piece.length;
        text.length -= piece.length;
        if (StandardOutput.kind != STREAM_CONSOLE) {
            HoldBytes(EncodeForOutput(piece));
            continue;
        }
        uint32_t error = WriteToConsole(StandardOutput.handle, piece);
        if (error != 0)
            RecordStreamError(error);
    }
}

void FlushOutput() {
    if (StandardOutput.open && StandardOutput.kind != STREAM_OTHER)
        WriteHeld();
}

void WriteLineEnd() {
    WriteToOutput(Text{"\r\n", 2});
    FlushOutput();
}

void WriteOutRemaining() {
    if (StandardOutput.open)
        WriteHeld();
}

void WriteColored(Text text, uint8_t foreground, uint8_t background, PlatformHandle handle) {
    SetTextAttribute(handle, MakeTextAttribute(foreground, background));
    WriteToOutput(text);
    FlushOutput();
    CheckStreamError();
}

void WriteLineColored(Text text, uint8_t foreground, uint8_t background, PlatformHandle handle) {
    SetTextAttribute(handle, MakeTextAttribute(foreground, background));
    WriteToOutput(text);
    WriteLineEnd();
    CheckStreamError();
}

static bool OpenInput() {
    if (StandardInput.open)
        return true;
    PlatformHandle handle = GetStandardInput();
    if (!IsValidHandle(handle)) {
        RecordStreamError(ERROR_INPUT_NOT_OPEN);
        return false;
    }
    StandardInput.handle = handle;
    StandardInput.count = 0;
    StandardInput.next = 0;
    StandardInput.open = true;
    return true;
}

// The next byte without taking it, or -1 at the end of input. Ctrl-Z is an
// end that stays where it is.
static int PeekInput() {
    if (!OpenInput())
        return -1;
    if (StandardInput.next == StandardInput.count) {
        size_t count = 0;
        uint32_t error =
            ReadBytes(StandardInput.handle, StandardInput.buffer, STREAM_BUFFER_SIZE, &count);
        if (error != 0) {
            RecordStreamError(error);
            count = 0;
        }
        StandardInput.count = count;
        StandardInput.next = 0;
        if (count == 0)
            return -1;
    }
    char c = StandardInput.buffer[StandardInput.next];
    return c == CTRL_Z ? -1 : (unsigned char)c;
}

// A CR not followed by LF is an ordinary byte, and a CR LF ends the line at
// its LF, so the line ends at the first LF either way.
void SkipInputLine() {
    int c;
    while ((c = PeekInput()) >= 0) {
        StandardInput.next++;
        if (c == '\n')
            return;
    }
}

void FormatStreamReport(uint32_t number, uint32_t place, char report[REPORT_LENGTH]) {
    static const char digits[] = "0123456789ABCDEF";
    memcpy(report, "Runtime error     at 00000000\r\n", REPORT_LENGTH);
    number &= 0xFF;
    for (size_t column = 16; column >= 14; column--) {
        report[column] = char('0' + number % 10);
        number /= 10;
        if (number == 0)
            break;
    }
    for (size_t column = 28; column >= 21; column--, place >>= 4)
        report[column] = digits[place & 0xF];
}

// An error number whose low 8 bits are 0 must still not end as success.
uint32_t ExitStatusFor(uint32_t number) {
    if (number != 0 && (number & 0xFF) == 0)
        return 0xFF;
    return number & 0xFF;
}

void WriteErrorLine(Text text) {
    PlatformHandle handle = GetStandardError();
    FileKind kind = IsValidHandle(handle) ? QueryFileKind(handle) : FILE_KIND_UNKNOWN;
    const Text pieces[] = {text, Text{"\r\n", 2}};
    for (Text piece : pieces)
        if (kind == FILE_KIND_CONSOLE) {
            WriteToConsole(handle, piece);
        } else if (kind != FILE_KIND_UNKNOWN) {
            Text encoded = EncodeForOutput(piece);
            WriteAllBytes(handle, encoded.bytes, encoded.length);
        }
}

void EndWithError(uint32_t number) {
    RestoreTextAttribute();
    ExitProgram(ExitStatusFor(number));
}

// Kept out of line so that its return address names the place of detection.
__attribute__((noinline)) void CheckStreamError() {
    if (StreamErrorNumber == 0)
        return;
    uint32_t place = CodePlace(__builtin_return_address(0));
    WriteOutRemaining();
    char report[REPORT_LENGTH];
    FormatStreamReport(StreamErrorNumber, place, report);
    WriteAllBytes(GetStandardOutput(), report, REPORT_LENGTH);
    RestoreTextAttribute();
    ExitProgram(ExitStatusFor(StreamErrorNumber));
}
