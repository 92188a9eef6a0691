// The host build answers from the environment, so the launches set one and
// this table says what each keyword must then give; docs/developing.md shows it.
#include <errno.h>
#include <map>
#include "oracle.h"
#include "process.h"

std::vector<std::string> TestEnvironment() {
    return {"HOME=/home/tester",
            "XDG_CONFIG_HOME=/home/tester/config",
            "XDG_DATA_HOME=/home/tester/data",
            "XDG_DESKTOP_DIR=/home/tester/On the desk",
            "XDG_MUSIC_DIR=relative/music", // not absolute, so not taken
            "XDG_CACHE_HOME=/home/tester/cache",
            "TMPDIR=/var/tmp/tester"};
}

std::string ReportedPath(const std::string &keyword, Asked) {
    static const std::map<std::string, std::string> paths = {
        {"DESKTOP", "/home/tester/On the desk"},
        {"DESKTOPDIRECTORY", "/home/tester/On the desk"},
        {"PERSONAL", "/home/tester/Documents"},
        {"TEMPLATES", "/home/tester/Templates"},
        {"COMMON_DOCUMENTS", "/home/tester/Public"},
        {"COMMON_MUSIC", "/home/tester/Music"},
        {"COMMON_PICTURES", "/home/tester/Pictures"},
        {"COMMON_VIDEO", "/home/tester/Videos"},
        {"APPDATA", "/home/tester/config"},
        {"STARTUP", "/home/tester/config/autostart"},
        {"LOCAL_APPDATA", "/home/tester/data"},
        {"PROGRAMS", "/home/tester/data/applications"},
        {"STARTMENU", "/home/tester/data/applications"},
        {"TEMP", "/var/tmp/tester"},
        {"FONTS", "/usr/share/fonts"},
        {"COMMON_APPDATA", "/etc/xdg"},
        {"WINDOWS", "/usr"},
        {"SYSTEM", "/usr/bin"},
        {"PROGRAM_FILES", "/opt"},
        {"PROGRAM_FILES_COMMON", "/usr/lib"},
        {"RESOURCES", "/usr/share/themes"},
        {"PROFILE", "/home/tester"},
        {"MYMUSIC", "/home/tester/Music"},
        {"MYPICTURES", "/home/tester/Pictures"},
        {"MYVIDEO", "/home/tester/Videos"},
        {"DOWNLOADS", "/home/tester/Downloads"},
        {"PUBLIC", "/home/tester/Public"},
        {"INTERNET_CACHE", "/home/tester/cache"},
        {"COMMON_STARTUP", "/etc/xdg/autostart"},
        {"COMMON_STARTMENU", "/usr/share/applications"},
        {"COMMON_PROGRAMS", "/usr/share/applications"},
    };
    auto found = paths.find(keyword);
    return found == paths.end() ? "" : found->second;
}

std::vector<ListedFolder> ListedByManager() {
    return {};
}

std::string Redirected(const std::string &text) {
    return text;
}

std::vector<std::string> TempEnvironment(const std::string &path) {
    return {"TMPDIR=" + path};
}

std::string ReportedTempPath(const std::vector<std::string> &environment) {
    return environment[0].substr(environment[0].find('=') + 1);
}

std::string AbsolutePath(const std::string &name) {
    return "/" + name;
}

const unsigned DISK_FULL_ERROR = ENOSPC;
const unsigned BROKEN_PIPE_ERROR = EPIPE;

// The host has no other user: whoever runs the tests is signed in.
Expected AskedBoth(const std::function<std::string()> &ask) {
    return Expected(ask());
}
