// The helpers the Windows files of the folders share (win32.h). Uses:
// WideCharToMultiByte, MultiByteToWideChar, GetSystemDirectoryW,
// LoadLibraryW, GetModuleHandleA, GetProcAddress, GetEnvironmentVariableW,
// SHGetMalloc and IMalloc's Alloc, Free and Release, and where they exist
// CompareStringOrdinal and, from userenv loaded only with a token,
// ExpandEnvironmentStringsForUserW.
#include <shlobj.h>
#include "win32.h"

DWORD WideLength(const wchar_t *wide, DWORD limit) {
    DWORD length = 0;
    while (wide != nullptr && length < limit && wide[length] != 0)
        length++;
    return length;
}

// Three bytes at most for each unit.
void ToUtf8(const wchar_t *wide, DWORD length, PathText *text) {
    int bytes = length == 0 ? 0
                            : WideCharToMultiByte(CP_UTF8, 0, wide, int(length), text->bytes,
                                                  int(PATH_CAPACITY - 3), nullptr, nullptr);
    text->length = bytes > 0 ? size_t(bytes) : 0;
}

int ToWide(Text text, wchar_t wide[LONGEST_PATH + 1]) {
    int units =
        text.length == 0 || text.length > 3 * LONGEST_PATH
            ? 0
            : MultiByteToWideChar(CP_UTF8, 0, text.bytes, int(text.length), wide, LONGEST_PATH);
    wide[units > 0 ? units : 0] = 0;
    return units > 0 ? units : 0;
}

HMODULE LoadSystemLibrary(const wchar_t *name) {
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

typedef int(WINAPI *OrdinalComparison)(const wchar_t *, int, const wchar_t *, int, BOOL);

// CompareStringOrdinal came with Vista, as the known-folder manager: where
// it is missing no folder is listed to compare, and no two texts outside
// ASCII are alike.
// Texts of ASCII alone compare as the platform's table compares them, by
// their letters' upper case, with no call: a user's folders are compared
// with each other and with every profile's, thousands of times a run.
static bool CompareAscii(Text a, Text b, int *order) {
    size_t shorter = a.length < b.length ? a.length : b.length;
    for (size_t i = 0; i < a.length; i++)
        if (a.bytes[i] & 0x80)
            return false;
    for (size_t i = 0; i < b.length; i++)
        if (b.bytes[i] & 0x80)
            return false;
    for (size_t i = 0; i < shorter; i++) {
        char x = a.bytes[i], y = b.bytes[i];
        x = x >= 'a' && x <= 'z' ? char(x - 0x20) : x;
        y = y >= 'a' && y <= 'z' ? char(y - 0x20) : y;
        if (x != y) {
            *order = x < y ? -1 : 1;
            return true;
        }
    }
    *order = a.length == b.length ? 0 : (a.length < b.length ? -1 : 1);
    return true;
}

int CompareTextIgnoringCase(Text a, Text b) {
    static wchar_t one[LONGEST_PATH + 1], other[LONGEST_PATH + 1];
    static OrdinalComparison compare;
    int order;
    if (CompareAscii(a, b, &order))
        return order;
    if (compare == nullptr)
        compare = OrdinalComparison(
            (void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "CompareStringOrdinal"));
    int aUnits = ToWide(a, one), bUnits = ToWide(b, other);
    return compare != nullptr ? compare(one, aUnits, other, bUnits, TRUE) - CSTR_EQUAL : 1;
}

bool SameTextIgnoringCase(Text a, Text b) {
    return CompareTextIgnoringCase(a, b) == 0;
}

// Strings and item lists that the shell hands over go back to its allocator.
void FreeShellMemory(void *memory) {
    IMalloc *allocator = nullptr;
    if (SHGetMalloc(&allocator) != S_OK)
        return;
    allocator->Free(memory);
    allocator->Release();
}

void *AllocateShellMemory(size_t size) {
    IMalloc *allocator = nullptr;
    if (SHGetMalloc(&allocator) != S_OK)
        return nullptr;
    void *memory = allocator->Alloc(size);
    allocator->Release();
    return memory;
}

HANDLE UserToken;

typedef BOOL(WINAPI *UserExpansion)(HANDLE, const wchar_t *, wchar_t *, DWORD);

// Only a user's token needs their environment, and userenv is loaded for it
// alone; most runs ask none.
DWORD UserVariable(const wchar_t *name, wchar_t *value, DWORD size) {
    if (UserToken == nullptr) {
        DWORD length = GetEnvironmentVariableW(name, value, size);
        return length < size ? length : 0;
    }
    static UserExpansion expand;
    if (expand == nullptr) {
        HMODULE userenv = LoadSystemLibrary(L"userenv.dll");
        if (userenv != nullptr)
            expand =
                UserExpansion((void *)GetProcAddress(userenv, "ExpandEnvironmentStringsForUserW"));
    }
    static wchar_t reference[256];
    size_t length = wcslen(name);
    if (expand == nullptr || length + 3 > 256)
        return 0;
    reference[0] = L'%';
    wcscpy(reference + 1, name);
    wcscpy(reference + length + 1, L"%");
    if (!expand(UserToken, reference, value, size) || wcscmp(value, reference) == 0)
        return 0;
    return DWORD(wcslen(value));
}
