// What the disk says of each folder's place, for whoever the thread is:
// only whether the folder is there, never a file inside it (a OneDrive
// file may be online only, and opening it downloads it). A share is asked
// on a thread of its own, so that one that does not answer costs the run
// at most five seconds in all. Uses: GetFileAttributesW, GetDriveTypeW,
// GetLastError, CreateThread, WaitForSingleObject, CloseHandle,
// GetTickCount, and from advapi32 ImpersonateLoggedOnUser.
#define _WIN32_WINNT 0x0600
#include "places.h"
#include "problems.h"
#include "win32.h"

static wchar_t Wide[LONGEST_PATH + 1];

static DWORD NetworkLeft = 5000;

// The servers ("\\server" or "X:") that have not answered: never asked again.
static char Failed[64][256];
static size_t FailedCount;

static Text ServerOf(Text place) {
    if (place.length >= 2 && place.bytes[1] == ':')
        return Text{place.bytes, 2};
    size_t end = 2;
    while (end < place.length && place.bytes[end] != '\\' && place.bytes[end] != '/')
        end++;
    return Text{place.bytes, end};
}

static bool HasFailed(Text server) {
    for (size_t i = 0; i < FailedCount; i++)
        if (SameTextIgnoringCase(TextOf(Failed[i]), server))
            return true;
    return false;
}

static void MarkFailed(Text server) {
    if (FailedCount == sizeof Failed / sizeof Failed[0] || server.length >= sizeof Failed[0])
        return;
    memcpy(Failed[FailedCount], server.bytes, server.length);
    Failed[FailedCount++][server.length] = 0;
}

// Each drive's type, asked once for a user's folders, which lie on a few.
static UINT DriveTypes[26];

static UINT DriveTypeOf(wchar_t letter) {
    wchar_t upper = wchar_t(letter & ~0x20);
    if (upper < L'A' || upper > L'Z')
        return DRIVE_UNKNOWN;
    const wchar_t root[] = {upper, L':', L'\\', 0};
    UINT *type = &DriveTypes[upper - L'A'];
    if (*type == DRIVE_UNKNOWN)
        *type = GetDriveTypeW(root);
    return *type;
}

static DiskAnswer AnswerOf(DWORD attributes, DWORD error) {
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return attributes & FILE_ATTRIBUTE_DIRECTORY ? DISK_FOUND : DISK_NOT_FOUND;
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return DISK_NOT_FOUND;
    case ERROR_ACCESS_DENIED:
        return DISK_DENIED;
    default:
        return DISK_UNREACHABLE;
    }
}

// A question a thread of its own asks, as the user the thread is; left
// to itself where it outlasts the run's time, so it owns its block.
struct Question {
    HANDLE token;
    DWORD attributes, error;
    wchar_t path[1];
};

typedef BOOL(WINAPI *Impersonation)(HANDLE);

static DWORD WINAPI AskShare(void *asked) {
    Question *question = (Question *)asked;
    if (question->token != nullptr) {
        HMODULE advapi = LoadSystemLibrary(L"advapi32.dll");
        Impersonation impersonate =
            advapi ? Impersonation((void *)GetProcAddress(advapi, "ImpersonateLoggedOnUser"))
                   : nullptr;
        if (impersonate == nullptr || !impersonate(question->token)) {
            question->error = ERROR_ACCESS_DENIED;
            return 0;
        }
    }
    question->attributes = GetFileAttributesW(question->path);
    question->error = GetLastError();
    return 0;
}

static DiskAnswer AskNetwork(const wchar_t *path, int units) {
    if (NetworkLeft == 0)
        return DISK_UNREACHABLE;
    Question *question =
        (Question *)AllocateShellMemory(sizeof(Question) + size_t(units) * sizeof(wchar_t));
    if (question == nullptr)
        return DISK_UNREACHABLE;
    question->token = UserToken;
    question->attributes = INVALID_FILE_ATTRIBUTES;
    question->error = ERROR_BAD_NETPATH;
    memcpy(question->path, path, (size_t(units) + 1) * sizeof(wchar_t));
    DWORD start = GetTickCount();
    HANDLE thread = CreateThread(nullptr, 0, AskShare, question, 0, nullptr);
    if (thread == nullptr) {
        FreeShellMemory(question);
        return DISK_UNREACHABLE;
    }
    bool answered = WaitForSingleObject(thread, NetworkLeft) == WAIT_OBJECT_0;
    DWORD waited = GetTickCount() - start;
    NetworkLeft = answered && waited < NetworkLeft ? NetworkLeft - waited : 0;
    CloseHandle(thread);
    if (!answered)
        return DISK_UNREACHABLE;
    DiskAnswer answer = AnswerOf(question->attributes, question->error);
    FreeShellMemory(question);
    return answer;
}

static void AskDisk(CheckedFolder *folder) {
    folder->disk = DISK_FOUND;
    Text place = folder->place;
    int units = place.length > 0 ? ToWide(place, Wide) : 0;
    if (units == 0)
        return;
    bool share = place.bytes[0] == '\\' || place.bytes[0] == '/';
    UINT drive = share ? DRIVE_UNKNOWN : DriveTypeOf(Wide[0]);
    bool network = share || folder->movedTo == MOVED_TO_NETWORK || drive == DRIVE_REMOTE;
    // A drive that another user mapped to a share is not this process's:
    // its share cannot be asked.
    if (network && drive == DRIVE_NO_ROOT_DIR) {
        folder->disk = DISK_UNREACHABLE;
        return;
    }
    // Only a folder that has moved, or one every profile has, can be
    // missing; only one on the network, unreachable.
    if (!network && !folder->moved && !EveryProfileHas(&folder->id))
        return;
    if (!network) {
        DWORD attributes = GetFileAttributesW(Wide);
        DiskAnswer answer = AnswerOf(attributes, GetLastError());
        folder->disk = answer == DISK_UNREACHABLE ? DISK_NOT_FOUND : answer;
        return;
    }
    Text server = ServerOf(place);
    folder->disk = HasFailed(server) ? DISK_UNREACHABLE : AskNetwork(Wide, units);
    if (folder->disk == DISK_UNREACHABLE)
        MarkFailed(server);
}

void AskDiskOfFolders(CheckedFolder *folders, size_t count) {
    memset(DriveTypes, 0, sizeof DriveTypes);
    for (size_t i = 0; i < count; i++)
        AskDisk(&folders[i]);
}
