// The rules of a folder's problems, for every platform.
#include "problems.h"
#include "places.h"

const char *const ProblemWords[PROBLEM_WORD_COUNT] = {
    "missing", "unreachable", "unlinked", "shared", "root", "foreign", "untold", "twin",
};

// clang-format off
static const struct {
    const char *folder, *second; // the second value, or null
} Named[] = {
    {"{B4BFCC3A-DB2C-424C-B029-7FE99A87C641}", "{754AC886-DF64-4CBA-86B5-F7FBF4FBCEF5}"},
    {"{FDD39AD0-238F-46AF-ADB4-6C85480369C7}", "{F42EE2D3-909F-4907-8871-4C22FC0BF756}"},
    {"{374DE290-123F-4565-9164-39C4925E467B}", "{7D83EE9B-2244-4E70-B1F5-5393042AF1E4}"},
    {"{4BD8D571-6D19-48D3-BE97-422220080E43}", "{A0C69A99-21C8-4671-8703-7934162FCF1D}"},
    {"{33E28130-4E1E-4676-835A-98395C3BC3BB}", "{0DDD015D-B06C-45D5-8C4C-F59713854639}"},
    {"{18989B1D-99B5-455B-841C-AB7C74E4DDFC}", "{35286A68-3C57-41A1-BBB1-0EAE73D76C95}"},
    {"{1777F761-68AD-4D8A-87BD-30B759FA33DD}", nullptr}, // Favorites
    {"{3EB685DB-65F9-4CF6-A03A-E3EF65729F3D}", nullptr}, // AppData
    {"{F1B32785-6FBA-4FCF-9D55-7B8E7F157091}", nullptr}, // Local AppData
};
// clang-format on

static int NamedIndex(const FolderGuid *id) {
    char text[GUID_TEXT_LENGTH];
    FormatFolderGuid(id, text);
    for (size_t i = 0; i < sizeof Named / sizeof Named[0]; i++)
        if (memcmp(text, Named[i].folder, GUID_TEXT_LENGTH) == 0)
            return int(i);
    return -1;
}

const char *SecondValueName(const FolderGuid *id) {
    int at = NamedIndex(id);
    return at < 0 ? nullptr : Named[at].second;
}

bool EveryProfileHas(const FolderGuid *id) {
    return NamedIndex(id) >= 0;
}

static bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// At or under a folder named "OneDrive", or "OneDrive - " and a name,
// directly inside the profile folder.
static bool IsInProfilesOneDrive(Text place, Text profile, bool (*same)(Text, Text)) {
    size_t end = profile.length;
    if (end >= place.length || !IsSeparator(place.bytes[end]) ||
        !same(Text{place.bytes, end}, profile))
        return false;
    Text name = {place.bytes + end + 1, 0};
    while (end + 1 + name.length < place.length && !IsSeparator(name.bytes[name.length]))
        name.length++;
    return SpellsInAnyCase(name, "ONEDRIVE") ||
           (BeginsInAnyCase(name, "ONEDRIVE - ") && name.length > 11);
}

// The other profile whose folder holds the place, if any: never the user's
// own, nor one that holds the user's own.
static bool FindForeign(Text place, const UserPlaces *user, bool (*same)(Text, Text), Text *other) {
    for (size_t i = 0; i < user->otherCount; i++)
        if (IsAtOrUnder(place, user->others[i], same) &&
            !IsAtOrUnder(user->profile, user->others[i], same)) {
            *other = user->others[i];
            return true;
        }
    return false;
}

static size_t Add(FoundProblem *found, size_t count, size_t capacity, size_t folder,
                  ProblemWord word, Text other) {
    if (count < capacity)
        found[count] = FoundProblem{folder, word, other};
    return count + 1;
}

size_t FindProblems(const CheckedFolder *folders, size_t count, const UserPlaces *user,
                    bool (*same)(Text, Text), FoundProblem *found, size_t capacity) {
    size_t kept = 0;
    const Text none = {"", 0};
    for (size_t i = 0; i < count; i++) {
        const CheckedFolder *folder = &folders[i];
        Text place = folder->place, other = none;
        if (place.length == 0 || (folder->moved && folder->movedTo == MOVE_UNTOLD)) {
            kept = Add(found, kept, capacity, i, PROBLEM_UNTOLD, none);
            continue;
        }
        if (folder->disk == DISK_UNREACHABLE) {
            kept = Add(found, kept, capacity, i, PROBLEM_UNREACHABLE, none);
            continue;
        }
        bool root = IsRootPlace(place) || same(place, user->profile) || same(place, user->windows);
        bool foreign = FindForeign(place, user, same, &other);
        if ((folder->moved || EveryProfileHas(&folder->id)) && folder->disk == DISK_NOT_FOUND &&
            !root && !foreign)
            kept = Add(found, kept, capacity, i, PROBLEM_MISSING, none);
        if (folder->movedTo != MOVED_TO_ONEDRIVE &&
            IsInProfilesOneDrive(place, user->profile, same))
            kept = Add(found, kept, capacity, i, PROBLEM_UNLINKED, none);
        for (size_t j = 0; j < count; j++)
            if (j != i && folders[j].place.length > 0 && folders[j].disk != DISK_UNREACHABLE &&
                same(place, folders[j].place)) {
                kept = Add(found, kept, capacity, i, PROBLEM_SHARED, folders[j].name);
                break;
            }
        if (root)
            kept = Add(found, kept, capacity, i, PROBLEM_ROOT, none);
        if (foreign)
            kept = Add(found, kept, capacity, i, PROBLEM_FOREIGN, other);
        if (folder->secondPlace.length > 0 && !same(folder->secondPlace, place))
            kept = Add(found, kept, capacity, i, PROBLEM_TWIN, folder->secondPath);
    }
    return kept < capacity ? kept : capacity;
}
