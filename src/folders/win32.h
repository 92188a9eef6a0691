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
// Alike but for letter case, by the platform's own table, as it compares
// paths and account names.
bool SameTextIgnoringCase(Text a, Text b);
// From the system folder alone, never the program's or the current one.
HMODULE LoadSystemLibrary(const wchar_t *name);

// The signed-in user's token while the program answers for that user (the
// thread then is that user); null for the caller's own folders.
extern HANDLE UserToken;
// An environment variable of the user answered for, in a value of `size`
// units; its length, 0 where it is unset, empty or does not fit. Another
// user's comes from that user's own environment, where one that comes back
// as the unexpanded %NAME% is unset.
DWORD UserVariable(const wchar_t *name, wchar_t *value, DWORD size);

#endif
