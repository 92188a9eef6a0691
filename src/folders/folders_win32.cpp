// Folder paths from the Windows shell, the temporary-path query and the
// known-folder manager, asked in UTF-16 and kept in UTF-8. The ANSI calls
// lose every character that their code page lacks, or put a look-alike in
// its place, which names another folder. Uses: SHGetMalloc,
// SHGetSpecialFolderLocation, SHGetPathFromIDListW, IMalloc::Free and
// Release, GetTempPathW, MultiByteToWideChar, WideCharToMultiByte,
// GetModuleHandleA, GetProcAddress, GetSystemDirectoryW, LoadLibraryW,
// FreeLibrary, and where they exist SHGetKnownFolderPath, CoInitializeEx,
// CoCreateInstance, CoUninitialize, IKnownFolderManager and IKnownFolder.
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include "folders.h"

const DWORD LONGEST_PATH = 32767;
static wchar_t WidePath[LONGEST_PATH + 1];

// A path starts with a drive and a colon, or is a network path. What else
// the shell hands back for a folder, such as "::{CLSID}" for a virtual one,
// names no file and is no path.
static bool IsFileSystemPath(const wchar_t *wide, DWORD length) {
    if (length < 2)
        return false;
    wchar_t drive = wchar_t(wide[0] & ~0x20);
    return (wide[0] == L'\\' && wide[1] == L'\\') ||
           (drive >= L'A' && drive <= L'Z' && wide[1] == L':');
}

// Three bytes at most for each unit, so any path fits.
static void KeepAsUtf8(const wchar_t *wide, DWORD length, PathText *path) {
    int bytes = 0;
    if (IsFileSystemPath(wide, length))
        bytes = WideCharToMultiByte(CP_UTF8, 0, wide, int(length), path->bytes,
                                    int(PATH_CAPACITY - 3), nullptr, nullptr);
    path->length = bytes > 0 ? size_t(bytes) : 0;
}

static DWORD WideLength(const wchar_t *wide, DWORD limit) {
    DWORD length = 0;
    while (wide != nullptr && length < limit && wide[length] != 0)
        length++;
    return length;
}

// Strings and item lists that the shell hands over go back to its allocator.
static void FreeShellMemory(void *memory) {
    IMalloc *allocator = nullptr;
    if (SHGetMalloc(&allocator) != S_OK)
        return;
    allocator->Free(memory);
    allocator->Release();
}

static bool AskShell(FolderId id, PathText *path) {
    LPITEMIDLIST list = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, id, &list) != S_OK)
        return false;
    WidePath[0] = 0;
    if (!SHGetPathFromIDListW(list, WidePath))
        WidePath[0] = 0;
    FreeShellMemory(list);
    KeepAsUtf8(WidePath, WideLength(WidePath, MAX_PATH), path);
    return true;
}

// GetTempPathW reports the size it needs, terminator included, when the
// buffer is too small; the path can change between the two calls, so the
// second answer is checked as strictly as the first.
static void AskTempPath(PathText *path) {
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

typedef HRESULT(WINAPI *KnownFolderPathQuery)(const GUID *, DWORD, HANDLE, wchar_t **);

// Known folders came with Vista; where shell32 lacks the query the program
// still starts, and these folders have no path.
void GetKnownFolderPathFrom(void *library, const FolderGuid *guid, PathText *path) {
    path->length = 0;
    KnownFolderPathQuery query = nullptr;
    if (library != nullptr)
        query =
            KnownFolderPathQuery((void *)GetProcAddress(HMODULE(library), "SHGetKnownFolderPath"));
    if (query == nullptr)
        return;
    wchar_t *found = nullptr;
    if (query((const GUID *)guid, 0, nullptr, &found) == S_OK)
        KeepAsUtf8(found, WideLength(found, LONGEST_PATH), path);
    // The query may hand back a string even when it fails.
    FreeShellMemory(found);
}

static bool AskManager(IKnownFolderManager *manager, const FolderQuery *query, PathText *path) {
    IKnownFolder *folder = nullptr;
    HRESULT found = E_FAIL;
    if (query->kind == FOLDER_BY_GUID) {
        found = manager->GetFolder(*(const GUID *)&query->guid, &folder);
    } else if (query->name.length <= LONGEST_PATH) {
        int units = MultiByteToWideChar(CP_ACP, 0, query->name.bytes, int(query->name.length),
                                        WidePath, LONGEST_PATH);
        WidePath[units > 0 ? units : 0] = 0;
        if (units > 0)
            found = manager->GetFolderByName(WidePath, &folder);
    }
    if (found != S_OK) {
        if (folder != nullptr)
            folder->Release();
        return false;
    }
    wchar_t *wide = nullptr;
    if (folder->GetPath(0, &wide) == S_OK)
        KeepAsUtf8(wide, WideLength(wide, LONGEST_PATH), path);
    FreeShellMemory(wide);
    folder->Release();
    return true;
}

typedef HRESULT(WINAPI *ComStart)(void *, DWORD);
typedef HRESULT(WINAPI *ComCreate)(REFCLSID, IUnknown *, DWORD, REFIID, void **);
typedef void(WINAPI *ComEnd)();

// From the system folder alone, never the program's or the current one.
static HMODULE LoadSystemLibrary(const wchar_t *name) {
    wchar_t path[MAX_PATH + 16];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    path[length++] = L'\\';
    for (size_t i = 0; name[i] != 0 && length < MAX_PATH + 15; i++)
        path[length++] = name[i];
    path[length] = 0;
    return LoadLibraryW(path);
}

// The manager came with Vista too. COM lives only as long as the question,
// so that no other word and no run without such a word pays for it.
static bool AskKnownFolderManager(const FolderQuery *query, PathText *path) {
    HMODULE ole = LoadSystemLibrary(L"ole32.dll");
    if (ole == nullptr)
        return false;
    ComStart start = ComStart((void *)GetProcAddress(ole, "CoInitializeEx"));
    ComCreate create = ComCreate((void *)GetProcAddress(ole, "CoCreateInstance"));
    ComEnd end = ComEnd((void *)GetProcAddress(ole, "CoUninitialize"));
    bool known = false;
    if (start && create && end && SUCCEEDED(start(nullptr, COINIT_APARTMENTTHREADED))) {
        IKnownFolderManager *manager = nullptr;
        if (create(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER, IID_IKnownFolderManager,
                   (void **)&manager) == S_OK) {
            known = AskManager(manager, query, path);
            manager->Release();
        }
        end();
    }
    FreeLibrary(ole);
    return known;
}

bool AskPlatformForFolder(const FolderQuery *query, PathText *path) {
    path->length = 0;
    switch (query->kind) {
    case SHELL_FOLDER:
        return AskShell(query->id, path);
    case TEMP_FOLDER:
        AskTempPath(path);
        return true;
    case KNOWN_FOLDER:
        GetKnownFolderPathFrom(GetModuleHandleA("shell32.dll"), &query->guid, path);
        return true;
    default:
        return AskKnownFolderManager(query, path);
    }
}
