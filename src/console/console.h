// Coloured output, screen control, and the standard streams underneath.
#ifndef KORVANE_CONSOLE_H
#define KORVANE_CONSOLE_H

#include <stdint.h>
#include "../text.h"

typedef void *PlatformHandle;
typedef uint16_t TextAttribute;

// Standard output, taken once at start-up and never closed.
extern PlatformHandle ConsoleHandle;

PlatformHandle GetStandardOutput();
TextAttribute MakeTextAttribute(uint8_t foreground, uint8_t background);
void SetTextAttribute(PlatformHandle handle, TextAttribute attribute);
// The colours the console had when the program started, put back at its end.
void KeepTextAttribute(PlatformHandle handle);
void RestoreTextAttribute();
// A console event (Ctrl-C, Ctrl-Break, the window closed) puts the colours
// back and ends the program. While it holds what must be let go of first
// (another user's hive), from HoldInterrupts to ReleaseInterrupts, an event
// only sets what Interrupted tells, whatever the output is, and a closed
// window waits a few seconds for ReleaseInterrupts; the program then ends
// itself with EndAsInterrupted.
void HoldInterrupts();
void ReleaseInterrupts();
bool Interrupted();
[[noreturn]] void EndAsInterrupted();
void ClearScreen();
void MoveCursor(int16_t x, int16_t y);

void WriteColored(Text text, uint8_t foreground, uint8_t background, PlatformHandle handle);
void WriteLineColored(Text text, uint8_t foreground, uint8_t background, PlatformHandle handle);

const size_t STREAM_BUFFER_SIZE = 128;

// A console and any other character device get each piece at once, a file or
// a pipe 128-byte blocks.
enum StreamKind { STREAM_CONSOLE, STREAM_DEVICE, STREAM_OTHER };

struct OutputStream {
    PlatformHandle handle;
    StreamKind kind;
    char buffer[STREAM_BUFFER_SIZE];
    size_t held;
    bool open;
};

struct InputStream {
    PlatformHandle handle;
    char buffer[STREAM_BUFFER_SIZE];
    size_t count;
    size_t next;
    bool open;
};

extern OutputStream StandardOutput;
extern InputStream StandardInput;
// 0 until a stream operation fails; never cleared.
extern uint32_t StreamErrorNumber;

const uint32_t ERROR_OUTPUT_NOT_OPEN = 105;
const uint32_t ERROR_INPUT_NOT_OPEN = 104;

// The length of the longest start of the text, at most limit bytes, that
// ends with a whole UTF-8 character.
size_t WholeCharacters(Text text, size_t limit);
void WriteToOutput(Text text);
void FlushOutput();
void WriteLineEnd();
// Writes out what the output stream still holds, whatever its kind.
void WriteOutRemaining();
void SkipInputLine();
void CheckStreamError();

// "Runtime error NNN at XXXXXXXX" and CR LF, for the low 8 bits of the number.
const size_t REPORT_LENGTH = 31;
void FormatStreamReport(uint32_t number, uint32_t place, char report[REPORT_LENGTH]);
uint32_t ExitStatusFor(uint32_t number);
// A line and CR LF on standard error, as well as it can be written: for
// what a script's log must show beside the output.
void WriteErrorLine(Text text);
// Ends the program for a failure that is not the streams': the colours put
// back, and the status the number's, as ExitStatusFor gives it.
[[noreturn]] void EndWithError(uint32_t number);

#endif
