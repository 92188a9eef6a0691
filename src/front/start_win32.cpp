// Where korvane.exe starts. The C runtime's own start-up would split the
// command line into argv by rules the program does not use, and on a
// 32,767-byte command line that costs more than the program's whole walk;
// the program needs nothing else from it, so it starts here.
// Uses: SetErrorMode, GetModuleHandleA, GetProcAddress, ExitProcess, and
// where it exists SetDefaultDllDirectories.
#include <windows.h>

int main(int argc, char **argv);

// Named outright, since i386 C names carry a leading underscore and x86-64
// ones do not; the link names this symbol as the entry on both.
extern "C" void KorvaneStart() __asm__("KorvaneStart");

typedef BOOL(WINAPI *DllDirectoriesSetting)(DWORD);

// Run as SYSTEM from a folder that users can write to, the program must not
// load a library planted there: a DLL loaded by its full path still finds
// its own dependencies by name, the program's folder first, and so do
// those that the shell and COM load for it. Windows 7 before its 2011
// loader update lacks the call; there the full-path loads stay.
static void LoadLibrariesFromTheSystemFolderOnly() {
    DllDirectoriesSetting set = DllDirectoriesSetting(
        (void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories"));
    if (set != nullptr)
        set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// A drive without its medium (a card reader, an empty DVD drive) must give
// a failed question, not a modal box that a script run as SYSTEM waits on
// for ever; the flags the program inherits stay.
void KorvaneStart() {
    SetErrorMode(SetErrorMode(SEM_FAILCRITICALERRORS) | SEM_FAILCRITICALERRORS);
    LoadLibrariesFromTheSystemFolderOnly();
    ExitProcess(main(0, nullptr));
}

// GCC has main call __main to run static constructors. The program has none,
// and without the runtime's start-up their list is not set up to be walked.
extern "C" void __main() {}
