// Where korvane.exe starts. The C runtime's own start-up would split the
// command line into argv by rules the program does not use, and on a
// 32,767-byte command line that costs more than the program's whole walk;
// the program needs nothing else from it, so it starts here.
// Uses: ExitProcess.
#include <windows.h>

int main(int argc, char **argv);

// Named outright, since i386 C names carry a leading underscore and x86-64
// ones do not; the link names this symbol as the entry on both.
extern "C" void KorvaneStart() __asm__("KorvaneStart");

void KorvaneStart() {
    ExitProcess(main(0, nullptr));
}

// GCC has main call __main to run static constructors. The program has none,
// and without the runtime's start-up their list is not set up to be walked.
extern "C" void __main() {}
