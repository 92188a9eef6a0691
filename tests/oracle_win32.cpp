// Asks the shell, with the ids under the platform's own names, so that a wrong
// id in the program's table or a lost byte shows. (SHGetFolderPathA is no
// oracle: it spells some folders in another letter case.)
// Known folders came with Vista.
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>
#include <shobjidl.h>
#include <wtsapi32.h>
#include <gtest/gtest.h>
#include <map>
#include "oracle.h"
#include "process.h"

std::vector<std::string> TestEnvironment() {
    return {};
}

std::wstring Wide(const std::string &utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0],
                                           int(wide.size()))));
    return wide;
}

std::string Utf8(const std::wstring &wide) {
    std::string utf8(3 * wide.size(), '\0');
    utf8.resize(size_t(WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), &utf8[0],
                                           int(utf8.size()), nullptr, nullptr)));
    return utf8;
}

// Wine names some virtual folders "::{CLSID}": no path for a file.
static std::string FileSystemPath(const wchar_t *path) {
    return path == nullptr || path[0] == L':' ? "" : Utf8(path);
}

// The signed-in user's token while AskedBoth asks for that user.
static HANDLE UserToken;

Expected AskedBoth(const std::function<std::string()> &ask) {
    std::string asCaller = ask();
    if (!WTSQueryUserToken(WTSGetActiveConsoleSessionId(), &UserToken))
        UserToken = nullptr;
    std::string forUser = ask();
    if (UserToken != nullptr)
        CloseHandle(UserToken);
    UserToken = nullptr;
    return Expected(asCaller, forUser);
}

// A known folder's path by SHGetKnownFolderPath, which alone honours the
// don't-verify and default flags under Wine.
static std::string KnownFolderPath(const GUID &id, Asked asked) {
    static const DWORD flags[] = {0, KF_FLAG_DONT_VERIFY,
                                  KF_FLAG_DEFAULT_PATH | KF_FLAG_DONT_VERIFY};
    wchar_t *found = nullptr;
    std::string reported;
    if (SHGetKnownFolderPath(id, flags[asked], UserToken, &found) == S_OK)
        reported = Utf8(found);
    CoTaskMemFree(found);
    return reported;
}

std::string ReportedPath(const std::string &keyword, Asked asked) {
    static const std::map<std::string, int> ids = {
        {"DESKTOP", CSIDL_DESKTOP},
        {"INTERNET", CSIDL_INTERNET},
        {"PROGRAMS", CSIDL_PROGRAMS},
        {"CONTROLS", CSIDL_CONTROLS},
        {"PRINTERS", CSIDL_PRINTERS},
        {"PERSONAL", CSIDL_PERSONAL},
        {"FAVORITES", CSIDL_FAVORITES},
        {"STARTUP", CSIDL_STARTUP},
        {"RECENT", CSIDL_RECENT},
        {"SENDTO", CSIDL_SENDTO},
        {"BITBUCKET", CSIDL_BITBUCKET},
        {"STARTMENU", CSIDL_STARTMENU},
        {"DESKTOPDIRECTORY", CSIDL_DESKTOPDIRECTORY},
        {"DRIVES", CSIDL_DRIVES},
        {"NETWORK", CSIDL_NETWORK},
        {"NETHOOD", CSIDL_NETHOOD},
        {"FONTS", CSIDL_FONTS},
        {"TEMPLATES", CSIDL_TEMPLATES},
        {"APPDATA", CSIDL_APPDATA},
        {"PRINTHOOD", CSIDL_PRINTHOOD},
        {"ALTSTARTUP", CSIDL_ALTSTARTUP},
        {"COMMON_ALTSTARTUP", CSIDL_COMMON_ALTSTARTUP},
        {"COMMON_FAVORITES", CSIDL_COMMON_FAVORITES},
        {"COOKIES", CSIDL_COOKIES},
        {"HISTORY", CSIDL_HISTORY},
        {"ADMINTOOLS", CSIDL_ADMINTOOLS},
        {"CDBURN_AREA", CSIDL_CDBURN_AREA},
        {"COMMON_ADMINTOOLS", CSIDL_COMMON_ADMINTOOLS},
        {"COMMON_APPDATA", CSIDL_COMMON_APPDATA},
        {"COMMON_DOCUMENTS", CSIDL_COMMON_DOCUMENTS},
        {"COMMON_TEMPLATES", CSIDL_COMMON_TEMPLATES},
        {"COMMON_MUSIC", CSIDL_COMMON_MUSIC},
        {"COMMON_PICTURES", CSIDL_COMMON_PICTURES},
        {"COMMON_VIDEO", CSIDL_COMMON_VIDEO},
        {"COMPUTERSNEARME", CSIDL_COMPUTERSNEARME},
        {"CONNECTIONS", CSIDL_CONNECTIONS},
        {"LOCAL_APPDATA", CSIDL_LOCAL_APPDATA},
        {"PROGRAM_FILES", CSIDL_PROGRAM_FILES},
        {"PROGRAM_FILES_COMMON", CSIDL_PROGRAM_FILES_COMMON},
        {"RESOURCES", CSIDL_RESOURCES},
        {"RESOURCES_LOCALIZED", CSIDL_RESOURCES_LOCALIZED},
        {"SYSTEM", CSIDL_SYSTEM},
        {"WINDOWS", CSIDL_WINDOWS},
        {"PROFILE", CSIDL_PROFILE},
        {"MYMUSIC", CSIDL_MYMUSIC},
        {"MYVIDEO", CSIDL_MYVIDEO},
        {"MYPICTURES", CSIDL_MYPICTURES},
        {"COMMON_STARTMENU", CSIDL_COMMON_STARTMENU},
        {"COMMON_PROGRAMS", CSIDL_COMMON_PROGRAMS},
        {"COMMON_STARTUP", CSIDL_COMMON_STARTUP},
        {"COMMON_DESKTOPDIRECTORY", CSIDL_COMMON_DESKTOPDIRECTORY},
        {"INTERNET_CACHE", CSIDL_INTERNET_CACHE},
        {"SYSTEMX86", CSIDL_SYSTEMX86},
        {"PROGRAM_FILESX86", CSIDL_PROGRAM_FILESX86},
        {"PROGRAM_FILES_COMMONX86", CSIDL_PROGRAM_FILES_COMMONX86},
    };
    static const std::map<std::string, const KNOWNFOLDERID *> known = {
        {"DOWNLOADS", &FOLDERID_Downloads},
        {"PUBLIC_DOWNLOADS", &FOLDERID_PublicDownloads},
        {"SAVED_GAMES", &FOLDERID_SavedGames},
        {"LINKS", &FOLDERID_Links},
        {"CONTACTS", &FOLDERID_Contacts},
        {"SEARCHES", &FOLDERID_SavedSearches},
        {"LOCAL_APPDATA_LOW", &FOLDERID_LocalAppDataLow},
        {"PUBLIC", &FOLDERID_Public},
        {"ONEDRIVE", &FOLDERID_SkyDrive},
        {"SCREENSHOTS", &FOLDERID_Screenshots},
        {"USER_PROGRAM_FILES", &FOLDERID_UserProgramFiles},
    };
    wchar_t path[32768] = L"";
    if (keyword == "TEMP")
        return Utf8(std::wstring(path, GetTempPathW(32768, path)));
    auto knownFolder = known.find(keyword);
    if (knownFolder != known.end())
        return KnownFolderPath(*knownFolder->second, asked);
    auto found = ids.find(keyword);
    if (found == ids.end()) {
        ADD_FAILURE() << "no such keyword: " << keyword;
        return "?";
    }
    std::string reported;
    if (asked == AS_FOUND)
        AskedByCsidl(found->second, &reported, UserToken);
    else if (SHGetFolderPathW(nullptr, found->second | CSIDL_FLAG_DONT_VERIFY, UserToken,
                              asked == BY_DEFAULT ? SHGFP_TYPE_DEFAULT : SHGFP_TYPE_CURRENT,
                              path) == S_OK)
        reported = FileSystemPath(path);
    return reported;
}

// Whether the manager files the shell id's known folder as virtual.
static bool IsVirtual(int csidl) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IKnownFolderManager *manager = nullptr;
    IKnownFolder *folder = nullptr;
    KNOWNFOLDERID id;
    KF_CATEGORY category = KF_CATEGORY_FIXED;
    if (CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IKnownFolderManager, (void **)&manager) == S_OK &&
        manager->FolderIdFromCsidl(csidl, &id) == S_OK && manager->GetFolder(id, &folder) == S_OK)
        folder->GetCategory(&category);
    if (folder)
        folder->Release();
    if (manager)
        manager->Release();
    CoUninitialize();
    return category == KF_CATEGORY_VIRTUAL;
}

// An item list's path is the caller's, whoever's token made the list. A
// virtual folder has no path with a token either, though Wine's shell
// gives the printers one.
bool AskedByCsidl(int csidl, std::string *path, void *token) {
    wchar_t wide[MAX_PATH] = L"";
    LPITEMIDLIST list = nullptr;
    path->clear();
    if (SHGetFolderLocation(nullptr, csidl, token, 0, &list) != S_OK)
        return false;
    if (token != nullptr ? !IsVirtual(csidl) && SHGetFolderPathW(nullptr, csidl, token,
                                                                 SHGFP_TYPE_CURRENT, wide) == S_OK
                         : SHGetPathFromIDListW(list, wide))
        *path = FileSystemPath(wide);
    CoTaskMemFree(list);
    return true;
}

bool AskedByManager(const std::string &guidOrName, std::string *path) {
    path->clear();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IKnownFolderManager *manager = nullptr;
    IKnownFolder *folder = nullptr;
    GUID id;
    std::wstring wide = Wide(guidOrName);
    bool known = false;
    if (CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IKnownFolderManager, (void **)&manager) == S_OK) {
        HRESULT found = guidOrName[0] == '{' && CLSIDFromString(&wide[0], &id) == S_OK
                            ? manager->GetFolder(id, &folder)
                            : manager->GetFolderByName(wide.c_str(), &folder);
        known = found == S_OK;
        KF_CATEGORY category = KF_CATEGORY_FIXED;
        wchar_t *reported = nullptr;
        if (known && folder->GetCategory(&category) == S_OK && category != KF_CATEGORY_VIRTUAL &&
            folder->GetPath(0, &reported) == S_OK)
            *path = FileSystemPath(reported);
        CoTaskMemFree(reported);
        if (folder)
            folder->Release();
        manager->Release();
    }
    CoUninitialize();
    return known;
}

// The file system's own identity of a folder that exists: its volume and
// its index there.
static bool FolderIdentity(const std::wstring &path, BY_HANDLE_FILE_INFORMATION *identity) {
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, identity);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return known;
}

static std::wstring FullPath(const std::string &path) {
    wchar_t full[32768];
    std::wstring wide(full, GetFullPathNameW(Wide(path).c_str(), 32768, full, nullptr));
    while (wide.size() > 3 && wide.back() == L'\\')
        wide.pop_back();
    return wide;
}

bool AreOnePlace(const std::string &a, const std::string &b) {
    std::wstring x = FullPath(a), y = FullPath(b);
    BY_HANDLE_FILE_INFORMATION one, other;
    return CompareStringOrdinal(x.data(), int(x.size()), y.data(), int(y.size()), TRUE) ==
               CSTR_EQUAL ||
           (FolderIdentity(x, &one) && FolderIdentity(y, &other) &&
            one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
            one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow);
}

std::vector<ListedFolder> ListedByManager() {
    static const char *const categories[] = {"", "virtual", "fixed", "common", "per-user"};
    std::vector<ListedFolder> listed;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IKnownFolderManager *manager = nullptr;
    KNOWNFOLDERID *ids = nullptr;
    UINT count = 0;
    if (CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IKnownFolderManager, (void **)&manager) == S_OK &&
        manager->GetFolderIds(&ids, &count) == S_OK) {
        for (UINT i = 0; i < count; i++) {
            IKnownFolder *folder = nullptr;
            KNOWNFOLDER_DEFINITION definition;
            if (manager->GetFolder(ids[i], &folder) != S_OK ||
                folder->GetFolderDefinition(&definition) != S_OK) {
                if (folder)
                    folder->Release();
                continue;
            }
            wchar_t id[40];
            StringFromGUID2(ids[i], id, 40);
            ListedFolder entry;
            entry.name = Utf8(definition.pszName);
            entry.id = Utf8(id);
            entry.category = categories[definition.category];
            AskedByManager(entry.id, &entry.path);
            if (definition.category != KF_CATEGORY_VIRTUAL) {
                entry.unverifiedPath = KnownFolderPath(ids[i], UNVERIFIED);
                entry.defaultPath = KnownFolderPath(ids[i], BY_DEFAULT);
            }
            entry.moved = !entry.unverifiedPath.empty() && !entry.defaultPath.empty() &&
                          !AreOnePlace(entry.unverifiedPath, entry.defaultPath);
            listed.push_back(entry);
            FreeKnownFolderDefinitionFields(&definition);
            folder->Release();
        }
        CoTaskMemFree(ids);
    }
    if (manager)
        manager->Release();
    CoUninitialize();
    return listed;
}

std::string Redirected(const std::string &text) {
    std::wstring wide = Wide(text);
    std::string bytes(4 * wide.size(), '\0');
    bytes.resize(
        size_t(WideCharToMultiByte(GetACP(), WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()),
                                   &bytes[0], int(bytes.size()), "?", nullptr)));
    return bytes;
}

// Asked in this process, with the variables set here for the moment.
std::string ReportedTempPath(const std::vector<std::string> &environment) {
    std::vector<std::pair<std::wstring, std::wstring>> saved;
    for (const std::string &variable : environment) {
        std::wstring text = Wide(variable);
        std::wstring name = text.substr(0, text.find(L'='));
        wchar_t value[32768];
        DWORD length = GetEnvironmentVariableW(name.c_str(), value, 32768);
        saved.push_back({name, std::wstring(value, length < 32768 ? length : 0)});
        SetEnvironmentVariableW(name.c_str(), text.c_str() + name.size() + 1);
    }
    std::string path = ReportedPath("TEMP");
    for (const auto &variable : saved)
        SetEnvironmentVariableW(variable.first.c_str(), variable.second.c_str());
    return path;
}

std::vector<std::string> TempEnvironment(const std::string &path) {
    return {"TMP=" + path, "TEMP=" + path};
}

std::string AbsolutePath(const std::string &name) {
    return "C:\\" + name;
}

const unsigned DISK_FULL_ERROR = ERROR_DISK_FULL;
const unsigned BROKEN_PIPE_ERROR = ERROR_NO_DATA;
