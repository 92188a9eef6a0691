// Folder paths from the Windows shell and the temporary-path query.
// Uses: SHGetMalloc, SHGetSpecialFolderLocation, SHGetPathFromIDListA,
// IMalloc::Free and Release, GetTempPathA.
#include <windows.h>
#include <shlobj.h>
#include "folders.h"

void GetShellFolderPath(FolderId id, PathText *path) {
    path->length = 0;
    IMalloc *allocator = nullptr;
    if (SHGetMalloc(&allocator) != S_OK)
        return;
    LPITEMIDLIST list = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, id, &list) == S_OK) {
        path->bytes[0] = '\0';
        if (!SHGetPathFromIDListA(list, path->bytes))
            path->bytes[0] = '\0';
        allocator->Free(list);
        path->length = strnlen(path->bytes, MAX_PATH + 1);
    }
    allocator->Release();
}

// GetTempPathA reports the size it needs, terminator included, when the
// buffer is too small; the path can change between the two calls, so the
// second answer is checked as strictly as the first.
void GetTempFolderPath(PathText *path) {
    const DWORD first = MAX_PATH - 1;
    DWORD length = GetTempPathA(first, path->bytes);
    if (length > first) {
        DWORD size = length;
        length = size < PATH_CAPACITY - 2 ? GetTempPathA(size, path->bytes) : 0;
        if (length >= size)
            length = 0;
    }
    path->length = length;
}
