/* The floor: the least a Windows program does to give korvane's answers.
   It asks the shell for each folder on its command line, a shell id (9999
   is the temporary directory) or a known folder's {GUID}, and writes the
   paths with one WriteFile.
       floor.exe 26          what korvane appdata needs
       floor.exe 0 2 ... 9999  what the listing needs
       floor.exe 0 1 ... {374DE290-...}  what korvane /all needs
       floor.exe known         what korvane /known needs: every known folder's
                               name and path, in one COM session
       floor.exe moved         what korvane /moved needs: every known folder's
                               name, where it is and where it would be by
                               default, unverified, in one COM session; the
                               names and paths of those that differ
       floor.exe loggedon 26   what korvane /loggedon appdata needs: the
                               console session's user, the sessions, that
                               user's token, the thread as that user, and
                               the folder asked with the token */
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wtsapi32.h>
#include <stdlib.h>
#include <string.h>

#define MOST 80

static int Hex(const char *digits, int count)
{
    char part[9] = "";
    memcpy(part, digits, count);
    return (int)strtoul(part, NULL, 16);
}

static GUID ParseGuid(const char *text)
{
    GUID guid;
    static const int offsets[] = {20, 22, 25, 27, 29, 31, 33, 35};
    guid.Data1 = (unsigned long)strtoul(text + 1, NULL, 16);
    guid.Data2 = (unsigned short)Hex(text + 10, 4);
    guid.Data3 = (unsigned short)Hex(text + 15, 4);
    for (int i = 0; i < 8; i++)
        guid.Data4[i] = (unsigned char)Hex(text + offsets[i], 2);
    return guid;
}

static size_t AppendMoved(char *out, const wchar_t *name, const GUID *id)
{
    wchar_t *now = NULL, *byDefault = NULL;
    size_t used = 0;
    if (SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, NULL, &now) == S_OK &&
        SHGetKnownFolderPath(id, KF_FLAG_DEFAULT_PATH | KF_FLAG_DONT_VERIFY, NULL, &byDefault) ==
            S_OK &&
        CompareStringOrdinal(now, -1, byDefault, -1, TRUE) != CSTR_EQUAL) {
        used = WideCharToMultiByte(CP_ACP, 0, name, -1, out, MAX_PATH, NULL, NULL);
        out[used - 1] = '=';
        used += WideCharToMultiByte(CP_ACP, 0, now, -1, out + used, MAX_PATH, NULL, NULL) - 1;
        out[used++] = '\n';
    }
    CoTaskMemFree(now);
    CoTaskMemFree(byDefault);
    return used;
}

static size_t AppendNameAndPath(char *out, IKnownFolder *folder,
                                const KNOWNFOLDER_DEFINITION *definition)
{
    wchar_t *path = NULL;
    size_t used = WideCharToMultiByte(CP_ACP, 0, definition->pszName, -1, out, MAX_PATH, NULL,
                                      NULL);
    out[used - 1] = '=';
    if (definition->category != KF_CATEGORY_VIRTUAL &&
        folder->lpVtbl->GetPath(folder, 0, &path) == S_OK)
        used += WideCharToMultiByte(CP_ACP, 0, path, -1, out + used, MAX_PATH, NULL, NULL) - 1;
    out[used++] = '\n';
    CoTaskMemFree(path);
    return used;
}

static int ListKnownFolders(int movedOnly)
{
    static char out[1 << 20];
    size_t used = 0;
    IKnownFolderManager *manager;
    KNOWNFOLDERID *ids = NULL;
    UINT count = 0;
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    if (CoCreateInstance(&CLSID_KnownFolderManager, NULL, CLSCTX_INPROC_SERVER,
                         &IID_IKnownFolderManager, (void **)&manager) == S_OK &&
        manager->lpVtbl->GetFolderIds(manager, &ids, &count) == S_OK) {
        for (UINT i = 0; i < count && used + 2 * MAX_PATH < sizeof out; i++) {
            IKnownFolder *folder;
            KNOWNFOLDER_DEFINITION definition;
            if (manager->lpVtbl->GetFolder(manager, &ids[i], &folder) != S_OK)
                continue;
            if (folder->lpVtbl->GetFolderDefinition(folder, &definition) == S_OK) {
                if (!movedOnly)
                    used += AppendNameAndPath(out + used, folder, &definition);
                else if (definition.category != KF_CATEGORY_VIRTUAL)
                    used += AppendMoved(out + used, definition.pszName, &ids[i]);
                FreeKnownFolderDefinitionFields(&definition);
            }
            folder->lpVtbl->Release(folder);
        }
        CoTaskMemFree(ids);
        manager->lpVtbl->Release(manager);
    }
    CoUninitialize();
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out, (DWORD)used, &written, NULL);
    return 0;
}

static HANDLE SignedInToken(void)
{
    DWORD console = WTSGetActiveConsoleSessionId(), bytes, count = 0;
    wchar_t *user = NULL;
    WTS_SESSION_INFOW *sessions = NULL;
    HANDLE token = NULL;
    WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, console, WTSUserName, &user, &bytes);
    WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count);
    if (user != NULL && user[0] != 0 && WTSQueryUserToken(console, &token))
        ImpersonateLoggedOnUser(token);
    WTSFreeMemory(user);
    WTSFreeMemory(sessions);
    return token;
}

int main(int argc, char **argv)
{
    if (argc == 2 && (strcmp(argv[1], "known") == 0 || strcmp(argv[1], "moved") == 0))
        return ListKnownFolders(strcmp(argv[1], "moved") == 0);
    static char out[MOST * (MAX_PATH + 2)];
    size_t used = 0;
    IMalloc *allocator;
    HANDLE token = NULL;
    int first = 1;
    if (argc > 1 && strcmp(argv[1], "loggedon") == 0) {
        token = SignedInToken();
        first = 2;
    }
    SHGetMalloc(&allocator);
    for (int i = first; i < argc && i < MOST; i++) {
        int id = atoi(argv[i]);
        char *path = out + used;
        if (argv[i][0] == '{') {
            GUID guid = ParseGuid(argv[i]);
            wchar_t *found = NULL;
            if (SHGetKnownFolderPath(&guid, 0, NULL, &found) == S_OK)
                used += WideCharToMultiByte(CP_ACP, 0, found, -1, path, MAX_PATH, NULL, NULL) - 1;
            allocator->lpVtbl->Free(allocator, found);
        } else if (id == 9999) {
            used += GetTempPathA(MAX_PATH, path);
        } else {
            LPITEMIDLIST list;
            if (SHGetFolderLocation(NULL, id, token, 0, &list) == S_OK) {
                if (SHGetPathFromIDListA(list, path))
                    used += strlen(path);
                ILFree(list);
            }
        }
        out[used++] = '\n';
    }
    if (token != NULL) {
        RevertToSelf();
        CloseHandle(token);
    }
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out, (DWORD)used, &written, NULL);
    return 0;
}
