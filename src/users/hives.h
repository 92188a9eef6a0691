// The names of the hives a /profiles run loads under HKEY_USERS, so that a
// later run can tell a key that a killed run left from one a live run
// holds. The rules need no platform; hives_win32.cpp loads and unloads.
#ifndef KORVANE_HIVES_H
#define KORVANE_HIVES_H

#include <stdint.h>
#include "../text.h"

// "korvane-<pid>-<creation time>-<n>": the run's process id in decimal, the
// process's creation time as 16 upper-case hex digits, high part first, and
// the load's number in decimal; its length.
const size_t HIVE_NAME_CAPACITY = 64;
size_t FormatHiveName(uint32_t pid, uint64_t created, uint32_t load, char name[HIVE_NAME_CAPACITY]);

// A key's name as a run named it: that form, or version 1.6.0's
// "korvane-<pid>-<n>", which has no creation time. False for every other
// name, which is never a run's.
struct HiveName {
    uint32_t pid;
    bool hasCreationTime;
    uint64_t created;
};
bool ReadHiveName(Text name, HiveName *hive);

// What the platform tells of the live process that has a key's pid: there
// is none; there is one it may not ask about (which counts as alive); or
// there is one, created then, running an image that has this program's
// file name or not.
enum OwnerSeen { NO_OWNER, OWNER_HIDDEN, OWNER_SEEN };
struct HiveOwner {
    OwnerSeen seen;
    uint64_t created;
    bool sameImageName;
};

// Whether a run that has ended left the key, so that it is unloaded: no
// live process has its pid and creation time; for a 1.6.0 name, none with
// its pid runs a korvane, this run being none (it names keys the new way).
bool IsLeftByEndedRun(const HiveName *hive, uint32_t ownPid, const HiveOwner *owner);

#endif
