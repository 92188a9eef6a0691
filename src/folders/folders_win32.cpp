// Folder paths from the Windows shell and the temporary-path query, asked in
// UTF-16 and kept in UTF-8. The ANSI calls lose every character that their
// code page lacks, or put a look-alike in its place, which names another
// folder. Uses: SHGetMalloc, SHGetSpecialFolderLocation, SHGetPathFromIDListW,
// IMalloc::Free and Release, GetTempPathW, WideCharToMultiByte,
// GetModuleHandleA, GetProcAddress, and SHGetKnownFolderPath where it exists.
#include <windows.h>
#include <shlobj.h>
#include "folders.h"

const DWORD LONGEST_PATH = 32767;
static wchar_t WidePath[LONGEST_PATH + 1];

// Three bytes at most for each unit, so any path fits.
static void KeepAsUtf8(const wchar_t *wide, DWORD length, PathText *path) {
    int bytes = 0;
    if (length > 0)
        bytes = WideCharToMultiByte(CP_UTF8, 0, wide, int(length), path->bytes,
                                    int(PATH_CAPACITY - 3), nullptr, nullptr);
    path->length = bytes > 0 ? size_t(bytes) : 0;
}

static DWORD WideLength(const wchar_t *wide, DWORD limit) {
    DWORD length = 0;
    while (length < limit && wide[length] != 0)
        length++;
    return length;
}

void GetShellFolderPath(FolderId id, PathText *path) {
    path->length = 0;
    IMalloc *allocator = nullptr;
    if (SHGetMalloc(&allocator) != S_OK)
        return;
    LPITEMIDLIST list = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, id, &list) == S_OK) {
        WidePath[0] = 0;
        if (!SHGetPathFromIDListW(list, WidePath))
            WidePath[0] = 0;
        allocator->Free(list);
        KeepAsUtf8(WidePath, WideLength(WidePath, MAX_PATH), path);
    }
    allocator->Release();
}

typedef HRESULT(WINAPI *KnownFolderPathQuery)(const GUID *, DWORD, HANDLE, wchar_t **);

// Known folders came with Vista; where shell32 lacks the query the program
// still starts, and these folders have no path.
void GetKnownFolderPathFrom(void *library, FolderId id, PathText *path) {
    path->length = 0;
    const FolderGuid *known = KnownFolderGuid(id);
    KnownFolderPathQuery query = nullptr;
    if (library != nullptr)
        query =
            KnownFolderPathQuery((void *)GetProcAddress(HMODULE(library), "SHGetKnownFolderPath"));
    IMalloc *allocator = nullptr;
    if (known == nullptr || query == nullptr || SHGetMalloc(&allocator) != S_OK)
        return;
    wchar_t *found = nullptr;
    if (query((const GUID *)known, 0, nullptr, &found) == S_OK)
        KeepAsUtf8(found, WideLength(found, LONGEST_PATH), path);
    // The query may hand back a string even when it fails.
    allocator->Free(found);
    allocator->Release();
}

void GetKnownFolderPath(FolderId id, PathText *path) {
    GetKnownFolderPathFrom(GetModuleHandleA("shell32.dll"), id, path);
}

// GetTempPathW reports the size it needs, terminator included, when the
// buffer is too small; the path can change between the two calls, so the
// second answer is checked as strictly as the first.
void GetTempFolderPath(PathText *path) {
    const DWORD first = MAX_PATH - 1;
    DWORD length = GetTempPathW(first, WidePath);
    if (length > first) {
        DWORD size = length;
        length = size <= LONGEST_PATH + 1 ? GetTempPathW(size, WidePath) : 0;
        if (length >= size)
            length = 0;
    }
    KeepAsUtf8(WidePath, length, path);
}
