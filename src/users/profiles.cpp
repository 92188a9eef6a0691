// The rules of every profile that need no platform: user SIDs, the order,
// expansion over a user's variables, the chain up to the profile folder.
#include "profiles.h"

static bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsUserSid(Text name) {
    size_t at;
    if (BeginsInAnyCase(name, "S-1-5-21-"))
        at = 9;
    else if (BeginsInAnyCase(name, "S-1-12-1-"))
        at = 9;
    else
        return false;
    // Decimal parts, each of one digit at least, between single dashes.
    bool inPart = false;
    for (; at < name.length; at++) {
        if (IsDigit(name.bytes[at]))
            inPart = true;
        else if (name.bytes[at] == '-' && inPart)
            inPart = false;
        else
            return false;
    }
    return inPart;
}

bool ProfileComesBefore(Text folder, bool isDefault, Text otherFolder, bool otherIsDefault,
                        int (*order)(Text, Text)) {
    if (isDefault != otherIsDefault)
        return otherIsDefault;
    return order(folder, otherFolder) < 0;
}

static char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 0x20) : c;
}

static bool FindVariable(Text name, const VariableLayer *layers, size_t layerCount, Text *value) {
    for (size_t layer = 0; layer < layerCount; layer++)
        for (size_t i = 0; i < layers[layer].count; i++) {
            Text entry = layers[layer].entries[i];
            if (entry.length <= name.length || entry.bytes[name.length] != '=')
                continue;
            size_t same = 0;
            while (same < name.length &&
                   UpperAscii(entry.bytes[same]) == UpperAscii(name.bytes[same]))
                same++;
            if (same == name.length) {
                *value = Text{entry.bytes + name.length + 1, entry.length - name.length - 1};
                return true;
            }
        }
    return false;
}

static bool Append(PathText *out, Text text) {
    if (text.length > PATH_CAPACITY - 3 - out->length)
        return false;
    memcpy(out->bytes + out->length, text.bytes, text.length);
    out->length += text.length;
    return true;
}

// A logon expands each variable once, in the order it sets them; a value
// that names another is read through it here, as deep as no real
// environment goes, so that a loop of names ends as unexpanded. A user
// writes their own variables: names repeated at each level would make the
// work grow as a power of the values' length, so one expansion reads at
// most a fixed number of names, far more than a real value needs.
static const int DEEPEST_NAME = 4;
static const size_t MOST_NAMES_READ = 64;
size_t VariablesLookedUp;

static bool ExpandInto(Text value, const VariableLayer *layers, size_t layerCount, int depth,
                       size_t *namesLeft, PathText *out) {
    size_t at = 0;
    while (at < value.length) {
        size_t open = at;
        while (open < value.length && value.bytes[open] != '%')
            open++;
        size_t close = open + 1;
        while (close < value.length && value.bytes[close] != '%')
            close++;
        // A lone "%" and an empty "%%" name nothing, and stay as they are.
        bool named = close < value.length && close > open + 1;
        size_t literal = named ? open : (close < value.length ? close : value.length);
        if (!Append(out, Text{value.bytes + at, literal - at}))
            return false;
        at = literal;
        if (!named)
            continue;
        if (depth == DEEPEST_NAME || *namesLeft == 0)
            return false;
        --*namesLeft;
        VariablesLookedUp++;
        Text found;
        if (!FindVariable(Text{value.bytes + open + 1, close - open - 1}, layers, layerCount,
                          &found) ||
            !ExpandInto(found, layers, layerCount, depth + 1, namesLeft, out))
            return false;
        at = close + 1;
    }
    return true;
}

bool ExpandVariables(Text value, const VariableLayer *layers, size_t layerCount, PathText *out) {
    size_t namesLeft = MOST_NAMES_READ;
    out->length = 0;
    if (ExpandInto(value, layers, layerCount, 0, &namesLeft, out))
        return true;
    out->length = 0;
    return false;
}

bool PathFromChain(const FolderLink *links, size_t count, bool endsAtProfile, Text profile,
                   const VariableLayer *layers, size_t layerCount, bool ownValueIgnored,
                   PathText *out) {
    size_t base = ownValueIgnored ? 1 : 0;
    while (base < count && !links[base].hasValue)
        base++;
    out->length = 0;
    if (base < count) {
        if (!ExpandVariables(links[base].value, layers, layerCount, out) || out->length == 0)
            return false;
    } else if (!endsAtProfile || !Append(out, profile)) {
        out->length = 0;
        return false;
    }
    for (size_t below = base; below-- > 0;) {
        Text relative = links[below].relativePath;
        if (relative.length == 0)
            continue;
        bool separated = out->length > 0 && (out->bytes[out->length - 1] == '\\' ||
                                             out->bytes[out->length - 1] == '/');
        if ((!separated && !Append(out, TextOf("\\"))) || !Append(out, relative)) {
            out->length = 0;
            return false;
        }
    }
    return out->length > 0;
}

void ShellFolderValueName(Text canonicalName, int shellId, const FolderGuid *id, PathText *out) {
    const int COMPUTERSNEARME = 0x3D;
    out->length = 0;
    if (shellId >= 0 && shellId <= COMPUTERSNEARME) {
        Append(out, canonicalName);
        return;
    }
    FormatFolderGuid(id, out->bytes);
    out->length = GUID_TEXT_LENGTH;
}

const LogonFolder LogonFolders[LOGON_FOLDER_COUNT] = {
    {"APPDATA", "AppData", "AppData\\Roaming"},
    {"LOCALAPPDATA", "Local AppData", "AppData\\Local"},
};

static bool SetVariable(const char *name, Text value, PathText *entry) {
    entry->length = 0;
    return Append(entry, TextOf(name)) && Append(entry, TextOf("=")) && Append(entry, value);
}

size_t LogonVariables(const FolderLink values[LOGON_FOLDER_COUNT], Text profile, Text domain,
                      const VariableLayer *layers, size_t layerCount,
                      PathText out[LOGON_FOLDER_COUNT + 1]) {
    static PathText path;
    size_t count = 0;
    for (size_t i = 0; i < LOGON_FOLDER_COUNT; i++) {
        FolderLink link = {values[i].hasValue, values[i].value,
                           TextOf(LogonFolders[i].relativePath)};
        count += PathFromChain(&link, 1, true, profile, layers, layerCount, false, &path) &&
                 SetVariable(LogonFolders[i].variable, TextOfPath(&path), &out[count]);
    }
    count += domain.length > 0 && SetVariable("USERDOMAIN", domain, &out[count]);
    return count;
}

bool TempPathFrom(const VariableLayer *layers, size_t layerCount, Text windows, PathText *out) {
    static const char *const names[] = {"%TMP%", "%TEMP%", "%USERPROFILE%"};
    for (const char *name : names)
        if (ExpandVariables(TextOf(name), layers, layerCount, out) && out->length > 0)
            return true;
    out->length = 0;
    return Append(out, windows) && out->length > 0;
}
