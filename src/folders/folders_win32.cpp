// Folder paths from the Windows shell, the temporary-path query and the
// known-folder manager, asked in UTF-16 and kept in UTF-8. The ANSI calls
// lose every character that their code page lacks, or put a look-alike in
// its place, which names another folder. Every question carries the
// signed-in user's token where /loggedon took one. Uses: SHGetMalloc,
// SHGetFolderLocation, SHGetPathFromIDListW, SHGetFolderPathW,
// SHCreateDirectoryExW, IMalloc::Alloc, Free and Release, GetTempPathW,
// GetFileAttributesW, MultiByteToWideChar, GetWindowsDirectoryW,
// GetFullPathNameW, GetModuleHandleA, GetProcAddress, FreeLibrary, and
// where they exist SHGetKnownFolderPath, CoInitializeEx,
// CoCreateInstance, CoUninitialize, IKnownFolderManager (GetFolder,
// GetFolderByName, GetFolderIds) and IKnownFolder (GetId, GetCategory,
// GetPath, GetFolderDefinition).
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <knownfolders.h>
#include "places.h"
#include "win32.h"

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

static void KeepAsUtf8(const wchar_t *wide, DWORD length, PathText *path) {
    path->length = 0;
    if (IsFileSystemPath(wide, length))
        ToUtf8(wide, length, path);
}

// The item list tells a known id from an unknown one. Its path would be
// the caller's, whatever token asked for the list: a known folder's list
// holds aliases such as %USERPROFILE%, which SHGetPathFromIDListW resolves
// for whoever calls it. So with another user's token the path comes from
// the question that carries the token. A virtual folder has none either
// way, though Wine's shell answers the printers with its system directory.
static bool AskShell(FolderId id, PathText *path) {
    LPITEMIDLIST list = nullptr;
    if (SHGetFolderLocation(nullptr, id, UserToken, 0, &list) != S_OK)
        return false;
    WidePath[0] = 0;
    if (IsVirtualShellId(id) ||
        (UserToken != nullptr
             ? SHGetFolderPathW(nullptr, id, UserToken, SHGFP_TYPE_CURRENT, WidePath) != S_OK
             : !SHGetPathFromIDListW(list, WidePath)))
        WidePath[0] = 0;
    FreeShellMemory(list);
    KeepAsUtf8(WidePath, WideLength(WidePath, MAX_PATH), path);
    return true;
}

// Made as the shell makes it, initialised (its desktop.ini, its icon, its
// name in the user's language). A folder that cannot be initialised, such
// as one on a share that takes no desktop.ini, fails even where it exists:
// then it is made, or found, without.
static bool CreateShellFolder(FolderId id) {
    return SHGetFolderPathW(nullptr, id | CSIDL_FLAG_CREATE | CSIDL_FLAG_PER_USER_INIT, UserToken,
                            SHGFP_TYPE_CURRENT, WidePath) == S_OK ||
           SHGetFolderPathW(nullptr, id | CSIDL_FLAG_CREATE, UserToken, SHGFP_TYPE_CURRENT,
                            WidePath) == S_OK;
}

// The item list above exists only for a folder that exists. Where the shell
// has no path even unverified, the folder is asked as without the option:
// a virtual folder is known and has no path, an unknown id is unknown. Its
// path now is no default, so a default it lacks stays without a path.
static bool AskShellWith(FolderId id, FolderOption option, PathText *path) {
    DWORD type = option == OPTION_DEFAULT ? SHGFP_TYPE_DEFAULT : SHGFP_TYPE_CURRENT;
    if (option == OPTION_NONE || IsVirtualShellId(id) ||
        SHGetFolderPathW(nullptr, id | CSIDL_FLAG_DONT_VERIFY, UserToken, type, WidePath) != S_OK) {
        bool known = AskShell(id, path);
        if (option == OPTION_DEFAULT)
            path->length = 0;
        return known;
    }
    if (option == OPTION_CREATE && !CreateShellFolder(id))
        WidePath[0] = 0;
    KeepAsUtf8(WidePath, WideLength(WidePath, MAX_PATH), path);
    return true;
}

// Made with the folders above it; made or not, it counts once it is a folder.
static bool MakeFolder(wchar_t *wide, DWORD length) {
    wchar_t last = wide[length - 1];
    if (last == L'\\')
        wide[length - 1] = 0;
    SHCreateDirectoryExW(nullptr, wide, nullptr);
    DWORD attributes = GetFileAttributesW(wide);
    wide[length - 1] = last;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Another user's, in GetTempPathW's order and within its limits: a value
// longer than MAX_PATH, or a full path longer than MAX_PATH - 2 units, is
// no path.
static DWORD UserTempPath() {
    static wchar_t value[MAX_PATH + 1];
    static const wchar_t *const names[] = {L"TMP", L"TEMP", L"USERPROFILE"};
    DWORD length = 0;
    for (size_t i = 0; i < 3 && length == 0; i++)
        length = UserVariable(names[i], value, MAX_PATH + 1);
    if (length == 0)
        length = GetWindowsDirectoryW(value, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        return 0;
    length = GetFullPathNameW(value, MAX_PATH, WidePath, nullptr);
    if (length == 0 || length > MAX_PATH - 2)
        return 0;
    if (WidePath[length - 1] != L'\\') {
        WidePath[length++] = L'\\';
        WidePath[length] = 0;
    }
    return length;
}

// GetTempPathW reports the size it needs, terminator included, when the
// buffer is too small; the path can change between the two calls, so the
// second answer is checked as strictly as the first. The path is never
// checked, so NOVERIFY changes nothing.
static void AskTempPath(FolderOption option, PathText *path) {
    const DWORD first = MAX_PATH - 1;
    DWORD length = UserToken != nullptr ? UserTempPath() : GetTempPathW(first, WidePath);
    if (length > first) {
        DWORD size = length;
        length = size <= LONGEST_PATH + 1 ? GetTempPathW(size, WidePath) : 0;
        if (length >= size)
            length = 0;
    }
    if (option == OPTION_CREATE && length > 0 && !MakeFolder(WidePath, length))
        length = 0;
    KeepAsUtf8(WidePath, length, path);
}

typedef HRESULT(WINAPI *KnownFolderPathQuery)(const GUID *, DWORD, HANDLE, wchar_t **);

// Known folders came with Vista; where shell32 lacks the query the program
// still starts, and these folders have no path.
void GetKnownFolderPathFrom(void *library, const FolderGuid *guid, PathText *path,
                            FolderOption option) {
    // The headers' operator| on these flags is no constant: a static table
    // of it would need a guard from the C++ runtime.
    static const DWORD flags[] = {0, KF_FLAG_DONT_VERIFY,
                                  DWORD(KF_FLAG_CREATE) | DWORD(KF_FLAG_INIT),
                                  DWORD(KF_FLAG_DEFAULT_PATH) | DWORD(KF_FLAG_DONT_VERIFY)};
    path->length = 0;
    KnownFolderPathQuery query = nullptr;
    if (library != nullptr)
        query =
            KnownFolderPathQuery((void *)GetProcAddress(HMODULE(library), "SHGetKnownFolderPath"));
    if (query == nullptr)
        return;
    wchar_t *found = nullptr;
    HRESULT asked = query((const GUID *)guid, flags[option], UserToken, &found);
    // As with a shell id: a folder made, or there, that cannot be
    // initialised is asked again without.
    if (asked != S_OK && option == OPTION_CREATE) {
        FreeShellMemory(found);
        found = nullptr;
        asked = query((const GUID *)guid, KF_FLAG_CREATE, UserToken, &found);
    }
    if (asked == S_OK)
        KeepAsUtf8(found, WideLength(found, LONGEST_PATH), path);
    // The query may hand back a string even when it fails.
    FreeShellMemory(found);
}

// Windows gives a virtual folder no path; Wine 8 gives one to PrintersFolder,
// its system directory, which is not the printers. Wine's GetPath checks
// that the folder exists whatever its flags, and takes no token, so an
// option or another user's folder goes through SHGetKnownFolderPath, by the
// folder's id.
static void AskPathOf(IKnownFolder *folder, KF_CATEGORY category, FolderOption option,
                      PathText *path) {
    path->length = 0;
    wchar_t *wide = nullptr;
    GUID id;
    if (category == KF_CATEGORY_VIRTUAL)
        return;
    if (option != OPTION_NONE || UserToken != nullptr) {
        if (folder->GetId(&id) == S_OK)
            GetKnownFolderPathFrom(GetModuleHandleA("shell32.dll"), (const FolderGuid *)&id, path,
                                   option);
        return;
    }
    if (folder->GetPath(0, &wide) == S_OK)
        KeepAsUtf8(wide, WideLength(wide, LONGEST_PATH), path);
    FreeShellMemory(wide);
}

// The folder a GUID or a canonical name names; null where none.
static IKnownFolder *FindFolder(IKnownFolderManager *manager, const FolderQuery *query) {
    IKnownFolder *folder = nullptr;
    HRESULT found = E_FAIL;
    if (query->kind == FOLDER_BY_GUID || query->kind == KNOWN_FOLDER) {
        found = manager->GetFolder(*(const GUID *)&query->guid, &folder);
    } else if (query->kind == FOLDER_BY_NAME && query->name.length <= LONGEST_PATH) {
        int units = MultiByteToWideChar(CP_ACP, 0, query->name.bytes, int(query->name.length),
                                        WidePath, LONGEST_PATH);
        WidePath[units > 0 ? units : 0] = 0;
        if (units > 0)
            found = manager->GetFolderByName(WidePath, &folder);
    }
    if (found != S_OK && folder != nullptr) {
        folder->Release();
        folder = nullptr;
    }
    return folder;
}

static bool AskManager(IKnownFolderManager *manager, const FolderQuery *query, PathText *path) {
    IKnownFolder *folder = FindFolder(manager, query);
    if (folder == nullptr)
        return false;
    // A folder of no category reported is asked as any other.
    KF_CATEGORY category = KF_CATEGORY_FIXED;
    folder->GetCategory(&category);
    AskPathOf(folder, category, query->option, path);
    folder->Release();
    return true;
}

typedef HRESULT(WINAPI *ComStart)(void *, DWORD);
typedef HRESULT(WINAPI *ComCreate)(REFCLSID, IUnknown *, DWORD, REFIID, void **);
typedef void(WINAPI *ComEnd)();

// The manager came with Vista too. COM lives only as long as the question
// or the list, so that no other word and no other run pays for it.
struct ManagerSession {
    HMODULE ole;
    ComEnd end;
    IKnownFolderManager *manager;
};

static bool StartManager(ManagerSession *session, DWORD apartment = COINIT_APARTMENTTHREADED) {
    session->manager = nullptr;
    session->end = nullptr;
    session->ole = LoadSystemLibrary(L"ole32.dll");
    if (session->ole == nullptr)
        return false;
    ComStart start = ComStart((void *)GetProcAddress(session->ole, "CoInitializeEx"));
    ComCreate create = ComCreate((void *)GetProcAddress(session->ole, "CoCreateInstance"));
    ComEnd end = ComEnd((void *)GetProcAddress(session->ole, "CoUninitialize"));
    if (start && create && end && SUCCEEDED(start(nullptr, apartment))) {
        session->end = end;
        if (create(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER, IID_IKnownFolderManager,
                   (void **)&session->manager) != S_OK)
            session->manager = nullptr;
    }
    return session->manager != nullptr;
}

static void EndManager(ManagerSession *session) {
    if (session->manager != nullptr)
        session->manager->Release();
    if (session->end != nullptr)
        session->end();
    if (session->ole != nullptr)
        FreeLibrary(session->ole);
}

static bool AskKnownFolderManager(const FolderQuery *query, PathText *path) {
    ManagerSession session;
    bool known = StartManager(&session) && AskManager(session.manager, query, path);
    EndManager(&session);
    return known;
}

static void FreeDefinition(KNOWNFOLDER_DEFINITION *definition) {
    wchar_t *texts[] = {definition->pszName,         definition->pszDescription,
                        definition->pszRelativePath, definition->pszParsingName,
                        definition->pszTooltip,      definition->pszLocalizedName,
                        definition->pszIcon,         definition->pszSecurity};
    for (wchar_t *text : texts)
        FreeShellMemory(text);
}

// A name longer than any path names no folder that a word could reach.
static bool KeepName(const wchar_t *wide, PathText *name) {
    DWORD length = WideLength(wide, LONGEST_PATH + 1);
    if (wide == nullptr || length > LONGEST_PATH)
        return false;
    ToUtf8(wide, length, name);
    return length == 0 || name->length > 0;
}

// The known folder that the query names: a shell id through the manager's
// own map.
static bool KnownFolderOf(IKnownFolderManager *manager, const FolderQuery *query, GUID *id) {
    if (query->kind == SHELL_FOLDER)
        return manager->FolderIdFromCsidl(query->id, id) == S_OK;
    IKnownFolder *folder = FindFolder(manager, query);
    bool found = folder != nullptr && folder->GetId(id) == S_OK;
    if (folder != nullptr)
        folder->Release();
    return found;
}

// A folder at the top of its chain may have no relative path.
static bool KeepInChain(FolderChain *chain, size_t *used, const wchar_t *wide, Text *kept) {
    static PathText text;
    text.length = 0;
    if ((wide != nullptr && !KeepName(wide, &text)) || text.length > sizeof chain->bytes - *used)
        return false;
    memcpy(chain->bytes + *used, text.bytes, text.length);
    *kept = Text{chain->bytes + *used, text.length};
    *used += text.length;
    return true;
}

// Every folder's definition, read once, so that each chain is followed up
// in memory rather than asked of the manager link by link.
struct Definition {
    GUID id, parent;
    int category, shellId;
    const wchar_t *name, *relativePath;
};

static const Definition *FindDefinition(const Definition *all, size_t count, const GUID *id) {
    for (size_t i = 0; i < count; i++)
        if (IsEqualGUID(all[i].id, *id))
            return &all[i];
    return nullptr;
}

static bool ChainFromDefinitions(const Definition *all, size_t count, GUID id, FolderChain *chain) {
    size_t used = 0;
    chain->count = 0;
    chain->isProfile = chain->endsAtProfile = false;
    chain->category = FOLDER_PER_USER;
    bool found = true;
    while (found && !(chain->endsAtProfile = IsEqualGUID(id, FOLDERID_Profile))) {
        const Definition *definition = FindDefinition(all, count, &id);
        DefinedFolder *link = &chain->links[chain->count];
        found = definition != nullptr && chain->count < DEEPEST_CHAIN &&
                KeepInChain(chain, &used, definition->name, &link->name) &&
                KeepInChain(chain, &used, definition->relativePath, &link->relativePath);
        if (!found)
            break;
        if (chain->count++ == 0)
            chain->category = FolderCategory(definition->category);
        memcpy(&link->id, &id, sizeof link->id);
        link->shellId = definition->shellId;
        id = definition->parent;
        if (IsEqualGUID(id, GUID_NULL))
            break;
    }
    chain->isProfile = found && chain->endsAtProfile && chain->count == 0;
    return found;
}

// A folder's definition as a chain needs it; its texts stay in `kept`
// until FreeDefinition.
static bool ReadDefinition(IKnownFolderManager *manager, const GUID *id,
                           KNOWNFOLDER_DEFINITION *kept, Definition *definition) {
    IKnownFolder *folder = nullptr;
    int csidl;
    *kept = {};
    bool read =
        manager->GetFolder(*id, &folder) == S_OK && folder->GetFolderDefinition(kept) == S_OK;
    if (read)
        *definition = {*id,
                       kept->fidParent,
                       int(kept->category),
                       manager->FolderIdToCsidl(*id, &csidl) == S_OK ? csidl : -1,
                       kept->pszName,
                       kept->pszRelativePath};
    if (folder != nullptr)
        folder->Release();
    return read;
}

// One folder's chain: the definitions up to the profile folder read first.
static bool ChainFrom(IKnownFolderManager *manager, GUID id, FolderChain *chain) {
    Definition links[DEEPEST_CHAIN + 1];
    KNOWNFOLDER_DEFINITION kept[DEEPEST_CHAIN + 1];
    size_t count = 0;
    for (GUID next = id; count <= DEEPEST_CHAIN && !IsEqualGUID(next, FOLDERID_Profile) &&
                         !IsEqualGUID(next, GUID_NULL) &&
                         ReadDefinition(manager, &next, &kept[count], &links[count]);
         next = links[count++].parent)
        ;
    bool found = ChainFromDefinitions(links, count, id, chain);
    for (size_t i = 0; i < count; i++)
        FreeDefinition(&kept[i]);
    return found;
}

// The definitions need no shell namespace: a multithreaded apartment
// spares the hidden window of a single-threaded one, which costs more than
// reading every profile (the manager lives in both).
bool ChainOfFolder(const FolderQuery *query, FolderChain *chain) {
    ManagerSession session;
    GUID id;
    bool found = StartManager(&session, COINIT_MULTITHREADED) &&
                 KnownFolderOf(session.manager, query, &id) &&
                 ChainFrom(session.manager, id, chain);
    EndManager(&session);
    return found;
}

size_t ChainsOfPerUserFolders(FolderChain *chains, size_t capacity) {
    static Definition all[512];
    static KNOWNFOLDER_DEFINITION definitions[512];
    ManagerSession session;
    GUID *ids = nullptr;
    UINT count = 0;
    size_t defined = 0, found = 0;
    if (StartManager(&session, COINIT_MULTITHREADED) &&
        session.manager->GetFolderIds(&ids, &count) == S_OK)
        for (UINT i = 0; i < count && defined < 512; i++)
            defined +=
                FindDefinition(all, defined, &ids[i]) == nullptr &&
                ReadDefinition(session.manager, &ids[i], &definitions[defined], &all[defined]);
    for (size_t i = 0; i < defined && found < capacity; i++)
        found += all[i].category == KF_CATEGORY_PERUSER &&
                 ChainFromDefinitions(all, defined, all[i].id, &chains[found]) &&
                 chains[found].count > 0;
    for (size_t i = 0; i < defined; i++)
        FreeDefinition(&definitions[i]);
    FreeShellMemory(ids);
    EndManager(&session);
    return found;
}

// Where a folder is found, is now and is by default share one block with its
// name.
static void AddToList(KnownFolderList *list, IKnownFolderManager *manager, const GUID *id,
                      int paths) {
    static PathText texts[4];
    PathText *name = &texts[0], *path = &texts[1], *now = &texts[2], *byDefault = &texts[3];
    IKnownFolder *folder = nullptr;
    KNOWNFOLDER_DEFINITION definition = {};
    char *block = nullptr;
    if (manager->GetFolder(*id, &folder) == S_OK &&
        folder->GetFolderDefinition(&definition) == S_OK &&
        (!(paths & PER_USER_ONLY) || definition.category == KF_CATEGORY_PERUSER) &&
        KeepName(definition.pszName, name)) {
        path->length = now->length = byDefault->length = 0;
        if (paths & PATH_FOUND)
            AskPathOf(folder, definition.category, OPTION_NONE, path);
        if (paths & PATHS_NOW_AND_BY_DEFAULT) {
            AskPathOf(folder, definition.category, OPTION_NOVERIFY, now);
            AskPathOf(folder, definition.category, OPTION_DEFAULT, byDefault);
        }
        block = (char *)AllocateShellMemory(name->length + path->length + now->length +
                                            byDefault->length + 1);
    }
    if (block != nullptr) {
        Text kept[4];
        for (size_t i = 0, at = 0; i < 4; at += texts[i++].length) {
            memcpy(block + at, texts[i].bytes, texts[i].length);
            kept[i] = Text{block + at, texts[i].length};
        }
        KnownFolder *entry = &list->folders[list->count++];
        entry->name = kept[0];
        memcpy(&entry->id, id, sizeof entry->id);
        entry->category = FolderCategory(definition.category);
        entry->path = kept[1];
        entry->unverifiedPath = kept[2];
        entry->defaultPath = kept[3];
        entry->moved = kept[2].length > 0 && kept[3].length > 0 && !NameOnePlace(kept[2], kept[3]);
        entry->movedTo = entry->moved && (paths & WHERE_MOVED) ? WhereMoved(kept[2]) : MOVE_UNTOLD;
    }
    FreeDefinition(&definition);
    if (folder != nullptr)
        folder->Release();
}

// The manager may list an id twice.
static bool IsListed(const KnownFolderList *list, const GUID *id) {
    for (size_t i = 0; i < list->count; i++)
        if (memcmp(&list->folders[i].id, id, sizeof(GUID)) == 0)
            return true;
    return false;
}

void ListKnownFolders(KnownFolderList *list, int paths) {
    list->folders = nullptr;
    list->count = 0;
    ManagerSession session;
    GUID *ids = nullptr;
    UINT count = 0;
    if (paths & WHERE_MOVED)
        FindOneDriveRoots();
    if (StartManager(&session) && session.manager->GetFolderIds(&ids, &count) == S_OK) {
        list->folders = (KnownFolder *)AllocateShellMemory(count * sizeof(KnownFolder) + 1);
        for (UINT i = 0; list->folders != nullptr && i < count; i++)
            if (!IsListed(list, &ids[i]))
                AddToList(list, session.manager, &ids[i], paths);
    }
    FreeShellMemory(ids);
    EndManager(&session);
}

void ForgetKnownFolders(KnownFolderList *list) {
    for (size_t i = 0; i < list->count; i++)
        FreeShellMemory((void *)list->folders[i].name.bytes);
    FreeShellMemory(list->folders);
    list->folders = nullptr;
    list->count = 0;
}

bool NamesAFolder(const FolderQuery *query) {
    if (query->byKeyword)
        return true;
    if (query->kind == SHELL_FOLDER)
        return SHGetFolderPathW(nullptr, query->id | CSIDL_FLAG_DONT_VERIFY, UserToken,
                                SHGFP_TYPE_CURRENT, WidePath) == S_OK;
    static PathText path;
    FolderQuery asked = *query;
    asked.option = OPTION_NOVERIFY;
    return AskKnownFolderManager(&asked, &path);
}

bool AskPlatformForFolder(const FolderQuery *query, PathText *path) {
    path->length = 0;
    switch (query->kind) {
    case SHELL_FOLDER:
        return AskShellWith(query->id, query->option, path);
    case TEMP_FOLDER:
        AskTempPath(query->option, path);
        return true;
    case KNOWN_FOLDER:
        GetKnownFolderPathFrom(GetModuleHandleA("shell32.dll"), &query->guid, path, query->option);
        return true;
    default:
        return AskKnownFolderManager(query, path);
    }
}
