// What the platform itself says a folder's path is, asked independently of
// the program; TestEnvironment (process.h) is defined beside it.
#ifndef KORVANE_TESTS_ORACLE_H
#define KORVANE_TESTS_ORACLE_H

#include <functional>
#include <string>
#include <vector>

// The folder's path as the platform reports it, in UTF-8, before any
// backslash is added: where it is found; unverified, where it is or would
// be; or where it would be had nothing moved it (on Windows through the
// don't-verify and default flags; the host never verifies, nor moves).
enum Asked { AS_FOUND, UNVERIFIED, BY_DEFAULT };
std::string ReportedPath(const std::string &keyword, Asked asked = AS_FOUND);

// What a run must print, as the caller and with /loggedon. `AskedBoth`
// asks the oracle twice: the second time every question carries the token
// of the user signed in here, where the platform hands it to the caller
// (under Wine always; on Windows only to SYSTEM, and elsewhere the program
// answers as the caller too). A text alone is the same both ways.
struct Expected {
    Expected(const std::string &both) : asCaller(both), forUser(both) {}
    Expected(const std::string &caller, const std::string &user)
        : asCaller(caller), forUser(user) {}
    std::string asCaller, forUser;
};
Expected AskedBoth(const std::function<std::string()> &ask);

// A UTF-8 text in the bytes that the program writes to a file or a pipe, as
// the platform encodes it: on Windows in the ANSI code page (a launched
// program has no console), with "?" for what the code page lacks.
std::string Redirected(const std::string &text);

// A path the platform reports as the program gives it, in UTF-8, and as it
// writes it to a file or a pipe.
inline std::string Delimited(const std::string &reported) {
    if (reported.empty() || reported.back() == '\\')
        return reported;
    return reported + "\\";
}

inline std::string Printed(const std::string &reported) {
    return Redirected(Delimited(reported));
}

// Windows: what the known-folder manager itself says of "{GUID}" or a
// canonical name (no path for a virtual folder), and the shell of a CSIDL:
// whether it knows the folder, and its path, for the user whose token is
// given (the caller's by default).
bool AskedByManager(const std::string &guidOrName, std::string *path);
bool AskedByCsidl(int csidl, std::string *path, void *token = nullptr);

// Windows: every folder the known-folder manager lists, as it lists it
// (an id may come twice): its canonical name, its id as the platform
// writes it, its category's name, its path (none for a virtual one), where
// the platform names it now and by default, unverified, and whether those
// two are named and are not one place. Nothing on the host.
struct ListedFolder {
    std::string name, id, category, path, unverifiedPath, defaultPath;
    bool moved;
};
std::vector<ListedFolder> ListedByManager();
// Windows: whether two paths name one place: made full by the platform,
// alike but for letter case or trailing backslashes, or one folder to the
// file system.
bool AreOnePlace(const std::string &a, const std::string &b);

// The environment under which the temporary directory is `path`, and an
// absolute path of the platform's form for a name.
std::vector<std::string> TempEnvironment(const std::string &path);
std::string AbsolutePath(const std::string &name);
std::string ReportedTempPath(const std::vector<std::string> &environment);

// Windows only: UTF-8 to UTF-16 and back, by the platform's own conversions.
std::wstring Wide(const std::string &utf8);
std::string Utf8(const std::wstring &wide);

// The platform's error numbers for a write to a full device and into a pipe
// whose reader has gone.
extern const unsigned DISK_FULL_ERROR;
extern const unsigned BROKEN_PIPE_ERROR;

#endif
