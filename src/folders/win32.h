// What the Windows sides of the folders share: UTF-8 to UTF-16 and back,
// and libraries loaded from the system folder alone.
#ifndef KORVANE_WIN32_H
#define KORVANE_WIN32_H

#include <windows.h>
#include "folders.h"

const DWORD LONGEST_PATH = 32767;

// The text in UTF-16, ended by a zero; its units, 0 for none (a longer
// text than a path converts to none).
int ToWide(Text text, wchar_t wide[LONGEST_PATH + 1]);
// Any text of LONGEST_PATH units fits; one that does not convert is empty.
void ToUtf8(const wchar_t *wide, DWORD length, PathText *text);
// From the system folder alone, never the program's or the current one.
HMODULE LoadSystemLibrary(const wchar_t *name);

#endif
