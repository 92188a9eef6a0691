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
                               the folder asked with the token
       floor.exe profiles      what korvane /profiles desktop needs of
                               users who are not signed in: each profile of
                               ProfileList, its hive loaded, its Desktop
                               value read, the hive unloaded
       floor.exe problems      what korvane /problems needs: every known
                               folder's two locations in one COM session,
                               each per-user one's asked of the disk, the
                               user's shell folders read, and ProfileList
       floor.exe profiles problems   what korvane /profiles /problems needs:
                               each hive loaded, every value of its shell
                               folders read, unloaded, then each value's
                               place asked of the disk
       floor.exe make-profiles N   not measured: N made-up profiles, each
                               with a hive of its own, for the two above */
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

/* Desktop, Documents, Downloads, Music, Pictures, Videos, Favorites,
   AppData, Local AppData: asked of the disk whether moved or not. */
static int EveryProfileHas(const GUID *id)
{
    static const GUID *const ids[] = {&FOLDERID_Desktop, &FOLDERID_Documents,
                                      &FOLDERID_Downloads, &FOLDERID_Music, &FOLDERID_Pictures,
                                      &FOLDERID_Videos, &FOLDERID_Favorites,
                                      &FOLDERID_RoamingAppData, &FOLDERID_LocalAppData};
    for (int i = 0; i < 9; i++)
        if (IsEqualGUID(id, ids[i]))
            return 1;
    return 0;
}

static size_t AppendMoved(char *out, const wchar_t *name, const GUID *id, int checked)
{
    wchar_t *now = NULL, *byDefault = NULL;
    size_t used = 0;
    int moved = 0;
    if (SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, NULL, &now) == S_OK &&
        SHGetKnownFolderPath(id, KF_FLAG_DEFAULT_PATH | KF_FLAG_DONT_VERIFY, NULL, &byDefault) ==
            S_OK &&
        ((moved = CompareStringOrdinal(now, -1, byDefault, -1, TRUE) != CSTR_EQUAL) ||
         (checked && EveryProfileHas(id))) &&
        (!checked || GetFileAttributesW(now) == INVALID_FILE_ATTRIBUTES || moved)) {
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

static const wchar_t PROFILE_LIST[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
static const wchar_t SHELL_FOLDERS[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

/* Every value of a user's shell folders, read. */
static void ReadShellFolders(HKEY user)
{
    HKEY folders;
    static wchar_t name[256], value[MAX_PATH];
    if (RegOpenKeyExW(user, SHELL_FOLDERS, 0, KEY_READ, &folders) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0, n = 256, size = sizeof value;
         RegEnumValueW(folders, i, name, &n, NULL, NULL, (BYTE *)value, &size) == ERROR_SUCCESS;
         i++, n = 256, size = sizeof value)
        ;
    RegCloseKey(folders);
}

/* Each profile's folder, as ProfileList names it. */
static void ReadProfileFolders(void)
{
    HKEY list;
    wchar_t name[256], path[MAX_PATH];
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, PROFILE_LIST, 0, KEY_READ, &list) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0, n = 256; RegEnumKeyExW(list, i, name, &n, NULL, NULL, NULL, NULL) ==
                               ERROR_SUCCESS;
         i++, n = 256) {
        DWORD size = sizeof path;
        RegGetValueW(list, name, L"ProfileImagePath", RRF_RT_REG_SZ, NULL, path, &size);
    }
    RegCloseKey(list);
}

/* 0: every folder's name and path; 1: those moved; 2: those per-user
   folders that are moved or missing, with the user's registry read. */
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
                else if (definition.category != KF_CATEGORY_VIRTUAL &&
                         (movedOnly == 1 || definition.category == KF_CATEGORY_PERUSER))
                    used += AppendMoved(out + used, definition.pszName, &ids[i], movedOnly == 2);
                FreeKnownFolderDefinitionFields(&definition);
            }
            folder->lpVtbl->Release(folder);
        }
        CoTaskMemFree(ids);
        manager->lpVtbl->Release(manager);
    }
    CoUninitialize();
    if (movedOnly == 2) {
        GetDriveTypeW(L"C:\\");
        ReadShellFolders(HKEY_CURRENT_USER);
        ReadProfileFolders();
    }
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

static void EnableHivePrivileges(void)
{
    static const wchar_t *const names[] = {L"SeBackupPrivilege", L"SeRestorePrivilege"};
    HANDLE token;
    OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token);
    for (int i = 0; i < 2; i++) {
        TOKEN_PRIVILEGES wanted = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        LookupPrivilegeValueW(NULL, names[i], &wanted.Privileges[0].Luid);
        AdjustTokenPrivileges(token, FALSE, &wanted, 0, NULL, NULL);
    }
    CloseHandle(token);
}

/* With `every`, all of each user's shell folders, and each place asked of
   the disk once the hive is unloaded. */
static int ReadProfiles(int every)
{
    /* The definitions of the folders to read, and the caller's own. */
    if (every) {
        IKnownFolderManager *manager;
        KNOWNFOLDERID *ids = NULL;
        UINT count = 0;
        CoInitializeEx(NULL, COINIT_MULTITHREADED);
        if (CoCreateInstance(&CLSID_KnownFolderManager, NULL, CLSCTX_INPROC_SERVER,
                             &IID_IKnownFolderManager, (void **)&manager) == S_OK &&
            manager->lpVtbl->GetFolderIds(manager, &ids, &count) == S_OK) {
            for (UINT i = 0; i < count; i++) {
                IKnownFolder *folder;
                KNOWNFOLDER_DEFINITION definition;
                if (manager->lpVtbl->GetFolder(manager, &ids[i], &folder) != S_OK)
                    continue;
                if (folder->lpVtbl->GetFolderDefinition(folder, &definition) == S_OK)
                    FreeKnownFolderDefinitionFields(&definition);
                folder->lpVtbl->Release(folder);
            }
            CoTaskMemFree(ids);
            manager->lpVtbl->Release(manager);
        }
        CoUninitialize();
        ListKnownFolders(2);
    }
    static char out[1 << 16];
    size_t used = 0;
    HKEY list;
    wchar_t name[256], path[MAX_PATH + 16], value[MAX_PATH];
    EnableHivePrivileges();
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, PROFILE_LIST, 0, KEY_READ, &list) != ERROR_SUCCESS)
        return 1;
    for (DWORD i = 0, n = 256; RegEnumKeyExW(list, i, name, &n, NULL, NULL, NULL, NULL) ==
                               ERROR_SUCCESS && used + MAX_PATH < sizeof out;
         i++, n = 256) {
        DWORD size = sizeof path;
        if (RegGetValueW(list, name, L"ProfileImagePath", RRF_RT_REG_SZ, NULL, path, &size) !=
            ERROR_SUCCESS)
            continue;
        wcscat(path, L"\\NTUSER.DAT");
        if (RegLoadKeyW(HKEY_USERS, L"floor", path) != ERROR_SUCCESS)
            continue;
        size = sizeof value;
        HKEY folders;
        if (every && RegOpenKeyExW(HKEY_USERS, L"floor", 0, KEY_READ, &folders) == ERROR_SUCCESS) {
            ReadShellFolders(folders);
            RegCloseKey(folders);
        }
        if (RegOpenKeyExW(HKEY_USERS, L"floor", 0, KEY_READ, &folders) == ERROR_SUCCESS) {
            if (RegGetValueW(folders, SHELL_FOLDERS, L"Desktop", RRF_RT_REG_SZ, NULL, value,
                             &size) == ERROR_SUCCESS)
                used += WideCharToMultiByte(CP_ACP, 0, value, -1, out + used, MAX_PATH, NULL,
                                            NULL) - 1;
            out[used++] = '\n';
            RegCloseKey(folders);
        }
        RegUnLoadKeyW(HKEY_USERS, L"floor");
        if (every) {
            GetDriveTypeW(L"C:\\");
            static const wchar_t *const below[] = {L"Desktop", L"Documents", L"Downloads",
                                                   L"Music", L"Pictures", L"Videos",
                                                   L"Favorites", L"AppData\\Roaming",
                                                   L"AppData\\Local"};
            for (int j = 0; j < 9; j++) {
                wchar_t place[2 * MAX_PATH];
                size_t base = wcslen(path) - wcslen(L"\\NTUSER.DAT");
                memcpy(place, path, base * sizeof(wchar_t));
                place[base] = L'\\';
                wcscpy(place + base + 1, below[j]);
                GetFileAttributesW(place);
            }
        }
    }
    RegCloseKey(list);
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out, (DWORD)used, &written, NULL);
    return 0;
}

static int MakeProfiles(int count)
{
    EnableHivePrivileges();
    CreateDirectoryW(L"C:\\korvane-bench", NULL);
    for (int i = 0; i < count; i++) {
        wchar_t folder[MAX_PATH], file[MAX_PATH], key[MAX_PATH], desktop[MAX_PATH];
        HKEY made;
        wsprintfW(folder, L"C:\\korvane-bench\\user%d", i);
        wsprintfW(file, L"%s\\NTUSER.DAT", folder);
        wsprintfW(desktop, L"%s\\Desktop", folder);
        wsprintfW(key, L"%s\\S-1-5-21-9-9-9-%d", PROFILE_LIST, 2000 + i);
        CreateDirectoryW(folder, NULL);
        CreateDirectoryW(desktop, NULL);
        DeleteFileW(file);
        RegCreateKeyExW(HKEY_CURRENT_USER, L"korvane-bench", 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                        &made, NULL);
        RegSetKeyValueW(made, SHELL_FOLDERS, L"Desktop", REG_EXPAND_SZ,
                        L"%USERPROFILE%\\Desktop", sizeof L"%USERPROFILE%\\Desktop");
        RegSaveKeyW(made, file, NULL);
        RegCloseKey(made);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"korvane-bench");
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, key, L"ProfileImagePath", REG_SZ, folder,
                        (DWORD)(2 * (wcslen(folder) + 1)));
    }
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 2 && (strcmp(argv[1], "known") == 0 || strcmp(argv[1], "moved") == 0 ||
                      strcmp(argv[1], "problems") == 0))
        return ListKnownFolders(strcmp(argv[1], "known") == 0 ? 0
                                : strcmp(argv[1], "moved") == 0 ? 1
                                                                : 2);
    if (argc >= 2 && strcmp(argv[1], "profiles") == 0)
        return ReadProfiles(argc == 3 && strcmp(argv[2], "problems") == 0);
    if (argc == 3 && strcmp(argv[1], "make-profiles") == 0)
        return MakeProfiles(atoi(argv[2]));
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
            /* An item list's path would be the caller's: with a token the
               path comes from the question that carries it. */
            if (SHGetFolderLocation(NULL, id, token, 0, &list) == S_OK) {
                if (token != NULL ? SHGetFolderPathA(NULL, id, token, 0, path) == S_OK
                                  : SHGetPathFromIDListA(list, path))
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
