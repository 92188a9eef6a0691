// The names of the hives a run loads, and which a later run unloads.
#include "hives.h"

static size_t AppendDecimal(uint32_t value, char *out) {
    char digits[10];
    size_t count = 0;
    do
        digits[count++] = char('0' + value % 10);
    while ((value /= 10) != 0);
    for (size_t i = 0; i < count; i++)
        out[i] = digits[count - 1 - i];
    return count;
}

size_t FormatHiveName(uint32_t pid, uint64_t created, uint32_t load,
                      char name[HIVE_NAME_CAPACITY]) {
    static const char hex[] = "0123456789ABCDEF";
    memcpy(name, "korvane-", 8);
    size_t at = 8 + AppendDecimal(pid, name + 8);
    name[at++] = '-';
    for (int shift = 60; shift >= 0; shift -= 4)
        name[at++] = hex[(created >> shift) & 0xF];
    name[at++] = '-';
    return at + AppendDecimal(load, name + at);
}

// A part of digits up to the next dash or the end: decimal ones that fit
// 32 bits, or exactly 16 hex ones in either case.
static bool ReadPart(Text name, size_t *at, bool hex, uint64_t *value) {
    size_t start = *at;
    *value = 0;
    for (; *at < name.length && name.bytes[*at] != '-'; (*at)++) {
        char c = name.bytes[*at];
        char upper = c >= 'a' && c <= 'f' ? char(c - 0x20) : c;
        int digit = c >= '0' && c <= '9'                  ? c - '0'
                    : hex && upper >= 'A' && upper <= 'F' ? upper - 'A' + 10
                                                          : -1;
        if (digit < 0 || (!hex && *value > (0xFFFFFFFFu - uint64_t(digit)) / 10))
            return false;
        *value = *value * (hex ? 16 : 10) + uint64_t(digit);
    }
    return hex ? *at - start == 16 : *at > start;
}

bool ReadHiveName(Text name, HiveName *hive) {
    if (!BeginsInAnyCase(name, "KORVANE-"))
        return false;
    uint64_t parts[3];
    size_t at = 8, count = 0;
    for (;;) {
        // Of three parts, the middle one is the creation time.
        bool hex = count == 1 && memchr(name.bytes + at, '-', name.length - at) != nullptr;
        if (count == 3 || !ReadPart(name, &at, hex, &parts[count++]))
            return false;
        if (at == name.length)
            break;
        at++;
    }
    if (count < 2)
        return false;
    hive->pid = uint32_t(parts[0]);
    hive->hasCreationTime = count == 3;
    hive->created = count == 3 ? parts[1] : 0;
    return true;
}

bool IsLeftByEndedRun(const HiveName *hive, uint32_t ownPid, const HiveOwner *owner) {
    if (!hive->hasCreationTime && hive->pid == ownPid)
        return true;
    switch (owner->seen) {
    case NO_OWNER:
        return true;
    case OWNER_HIDDEN:
        return false;
    default:
        return hive->hasCreationTime ? owner->created != hive->created : !owner->sameImageName;
    }
}
