// A user at a console, for the terminal test: sets the console's colours,
// starts the program in this console, waits until it has written its lines,
// ends its wait with Enter or a console event, and prints the colours it
// left and its exit status.
//   console_event.exe ATTRIBUTE enter|ctrl-c LINES PROGRAM [ARG...]
// ATTRIBUTE is in hex (1E: yellow on blue); LINES is how many lines the
// program writes before it waits. Prints "attribute 0xNN status N".
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>

// The events reach every process of the console: this one lives on.
static BOOL WINAPI Survive(DWORD) {
    return TRUE;
}

static void PressEnter(HANDLE input) {
    INPUT_RECORD keys[2] = {};
    for (int i = 0; i < 2; i++) {
        keys[i].EventType = KEY_EVENT;
        keys[i].Event.KeyEvent.bKeyDown = i == 0;
        keys[i].Event.KeyEvent.wRepeatCount = 1;
        keys[i].Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
        keys[i].Event.KeyEvent.uChar.UnicodeChar = L'\r';
    }
    DWORD written;
    WriteConsoleInputW(input, keys, 2, &written);
}

static CONSOLE_SCREEN_BUFFER_INFO Screen(HANDLE output) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(output, &info);
    return info;
}

int main(int argc, char **argv) {
    if (argc < 5)
        return 2;
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    SetConsoleCtrlHandler(Survive, TRUE);
    SetConsoleTextAttribute(output, WORD(strtoul(argv[1], nullptr, 16)));
    std::string event = argv[2];
    std::string command = "\"" + std::string(argv[4]) + "\"";
    for (int i = 5; i < argc; i++)
        command += " " + std::string(argv[i]);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return 3;
    // The program clears the screen, so its lines end on row LINES.
    SHORT lines = SHORT(atoi(argv[3]));
    for (int waits = 0; waits < 600 && Screen(output).dwCursorPosition.Y < lines; waits++)
        WaitForSingleObject(process.hProcess, 100);
    if (event == "enter")
        PressEnter(GetStdHandle(STD_INPUT_HANDLE));
    else
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    DWORD status = 0;
    bool ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
    GetExitCodeProcess(process.hProcess, &status);
    WORD attribute = Screen(output).wAttributes;
    if (!ended)
        TerminateProcess(process.hProcess, 1);
    printf("\r\nattribute 0x%02X status %lu %s\r\n", attribute, status,
           ended ? "ended" : "still waiting");
    return 0;
}
