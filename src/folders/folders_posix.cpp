// The host build's stand-in for the shell: each folder id answers from the
// user's XDG locations, a fixed system location, or the empty text.
// TEMP answers from TMPDIR, else /tmp.
#include <stdlib.h>
#include "folders.h"

struct HostFolder {
    FolderId id;
    const char *variable; // the environment variable that names the base, if any
    const char *fallback; // the base when the variable is unset; "~" stands for HOME
    const char *suffix;   // appended to the base
};

static const HostFolder HostFolders[] = {
    {0, "XDG_DESKTOP_DIR", "~/Desktop", ""},
    {16, "XDG_DESKTOP_DIR", "~/Desktop", ""},
    {5, "XDG_DOCUMENTS_DIR", "~/Documents", ""},
    {40, "HOME", "", ""},
    {10000, "XDG_DOWNLOAD_DIR", "~/Downloads", ""},
    {10007, "XDG_PUBLICSHARE_DIR", "~/Public", ""},
    {13, "XDG_MUSIC_DIR", "~/Music", ""},
    {39, "XDG_PICTURES_DIR", "~/Pictures", ""},
    {14, "XDG_VIDEOS_DIR", "~/Videos", ""},
    {32, "XDG_CACHE_HOME", "~/.cache", ""},
    {21, "XDG_TEMPLATES_DIR", "~/Templates", ""},
    {46, "XDG_PUBLICSHARE_DIR", "~/Public", ""},
    {53, "XDG_MUSIC_DIR", "~/Music", ""},
    {54, "XDG_PICTURES_DIR", "~/Pictures", ""},
    {55, "XDG_VIDEOS_DIR", "~/Videos", ""},
    {26, "XDG_CONFIG_HOME", "~/.config", ""},
    {7, "XDG_CONFIG_HOME", "~/.config", "/autostart"},
    {28, "XDG_DATA_HOME", "~/.local/share", ""},
    {2, "XDG_DATA_HOME", "~/.local/share", "/applications"},
    {11, "XDG_DATA_HOME", "~/.local/share", "/applications"},
    {TEMP_FOLDER_ID, "TMPDIR", "/tmp", ""},
    {20, nullptr, "/usr/share/fonts", ""},
    {35, nullptr, "/etc/xdg", ""},
    {24, nullptr, "/etc/xdg/autostart", ""},
    {22, nullptr, "/usr/share/applications", ""},
    {23, nullptr, "/usr/share/applications", ""},
    {36, nullptr, "/usr", ""},
    {37, nullptr, "/usr/bin", ""},
    {38, nullptr, "/opt", ""},
    {43, nullptr, "/usr/lib", ""},
    {56, nullptr, "/usr/share/themes", ""},
};

// Only absolute locations count, as the XDG rules say of their variables.
static const char *AbsoluteVariable(const char *name) {
    const char *value = name ? getenv(name) : nullptr;
    return value && value[0] == '/' ? value : nullptr;
}

static bool Append(PathText *path, const char *bytes) {
    size_t length = strlen(bytes);
    if (length > PATH_CAPACITY - 3 - path->length)
        return false;
    memcpy(path->bytes + path->length, bytes, length);
    path->length += length;
    return true;
}

static void ComposeHostPath(const HostFolder *folder, PathText *path) {
    const char *base = AbsoluteVariable(folder->variable);
    bool whole;
    if (base)
        whole = Append(path, base);
    else if (folder->fallback[0] == '~')
        whole = AbsoluteVariable("HOME") && Append(path, AbsoluteVariable("HOME")) &&
                Append(path, folder->fallback + 1);
    else
        whole = Append(path, folder->fallback);
    if (!whole || !Append(path, folder->suffix))
        path->length = 0;
}

// No known-folder manager here: a GUID or a shell name names nothing, as on
// Windows before Vista. A shell id names a folder where the host has one.
// The host never checks that a folder exists and moves none, so the options
// change nothing: NOVERIFY is what it always does, CREATE makes nothing,
// and every folder is where it is by default.
bool AskPlatformForFolder(const FolderQuery *query, PathText *path) {
    path->length = 0;
    if (query->kind == FOLDER_BY_GUID || query->kind == FOLDER_BY_NAME)
        return false;
    for (const HostFolder &folder : HostFolders)
        if (folder.id == query->id) {
            ComposeHostPath(&folder, path);
            return true;
        }
    return false;
}

// The host names every place unverified already.
bool NamesAFolder(const FolderQuery *query) {
    static PathText path;
    return query->byKeyword || AskPlatformForFolder(query, &path);
}

void ListKnownFolders(KnownFolderList *list, int) {
    list->folders = nullptr;
    list->count = 0;
}

void ForgetKnownFolders(KnownFolderList *) {}
