/* The floor: the least a Windows program does to give korvane's answers.
   It asks the shell for each folder id on its command line (9999 is the
   temporary directory) and writes the paths with one WriteFile.
       floor.exe 26          what korvane appdata needs
       floor.exe 0 2 ... 9999  what the listing needs */
#include <windows.h>
#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv)
{
    static char out[64 * (MAX_PATH + 2)];
    size_t used = 0;
    for (int i = 1; i < argc && i < 64; i++) {
        int id = atoi(argv[i]);
        char *path = out + used;
        if (id == 9999) {
            used += GetTempPathA(MAX_PATH, path);
        } else {
            LPITEMIDLIST list;
            if (SHGetSpecialFolderLocation(NULL, id, &list) == S_OK) {
                if (SHGetPathFromIDListA(list, path))
                    used += strlen(path);
                ILFree(list);
            }
        }
        out[used++] = '\n';
    }
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out, (DWORD)used, &written, NULL);
    return 0;
}
